#!/usr/bin/env bash
# The main job: builds the Linux plug-in and the host, then runs a bass clip through the real
# plug-in binary and writes the result as a WAV.
#   scripts/run.sh [IN.wav] [OUT.wav]
# Without IN.wav a bass clip is synthesised; OUT.wav defaults to build/varnex-demo.wav.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${KV_BUILD_DIR:-$root/build}/release
bash "$root/scripts/install-deps.sh"
cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=Release -DKV_TESTS=OFF >/dev/null
cmake --build "$build" -j"$(nproc)" >/dev/null
in=${1:-}
out=${2:-${KV_BUILD_DIR:-$root/build}/varnex-demo.wav}
if [ -n "$in" ]; then
  source=(-i "$in")
else
  source=(--bass 4 --harmonics 55)
fi
"$build/tools/vsthost" "$build/plugin/Varnex.so" "${source[@]}" -o "$out"
echo "plug-in: $build/plugin/Varnex.so"
