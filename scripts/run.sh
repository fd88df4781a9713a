#!/usr/bin/env bash
# The main job: builds the Linux plug-in and the host, then runs a bass clip through the real
# plug-in binary, writes the result, and draws the input's and the output's spectra beside it.
#   scripts/run.sh [IN] [OUT.wav|OUT.flac]
# Without IN a bass clip is synthesised; OUT defaults to build/varnex-demo.wav, and the spectra go
# to OUT with -spectrum.png in place of its extension. The build is silent unless it fails.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${KV_BUILD_DIR:-$root/build}/release
bash "$root/scripts/install-deps.sh"
mkdir -p "$build"
log="$build/build.log"
if ! { cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=Release -DKV_TESTS=OFF && cmake --build "$build" -j"$(nproc)"; } >"$log" 2>&1; then
  cat "$log"
  echo "run: the build failed (the whole output is in $log)"
  exit 1
fi
in=${1:-}
out=${2:-${KV_BUILD_DIR:-$root/build}/varnex-demo.wav}
if [ -n "$in" ]; then
  source=(-i "$in")
else
  source=(--bass 4 --harmonics 55)
fi
spectrum="${out%.*}-spectrum.png"
"$build/tools/vsthost" "$build/plugin/Varnex.so" "${source[@]}" -o "$out" --spectrum "$spectrum"
echo "plug-in: $build/plugin/Varnex.so"
