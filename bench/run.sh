#!/usr/bin/env bash
# Builds the Release plug-ins (Linux, and Windows 32-bit unless KV_BENCH_LINUX_ONLY=1) and times
# them through their VST interface on one core, the Linux and the Windows plug-in taking turns
# at each setting; then splits the Linux graph per effect class.
#   bench/run.sh
# Prints ns per frame and the multiple of real time. Settings: KV_BENCH_RATES (default
# "44100 48000 96000"), KV_BENCH_BLOCKS ("32 64 512 4096"), KV_BENCH_REPS (passes per setting, 7),
# KV_BENCH_SECONDS (audio per pass, 2), KV_BENCH_CPU (the core, 1).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${KV_BUILD_DIR:-$root/build}
cpu=${KV_BENCH_CPU:-1}
targets=(linux)
[ "${KV_BENCH_LINUX_ONLY:-0}" = 1 ] || targets+=(win32)

for t in "${targets[@]}"; do
  dir="$build/bench-$t"
  args=(-DCMAKE_BUILD_TYPE=Release -DKV_TESTS=OFF -DKV_BENCH=ON)
  [ "$t" = win32 ] && args+=(-DCMAKE_TOOLCHAIN_FILE="$root/cmake/toolchain-win32.cmake")
  cmake -S "$root" -B "$dir" "${args[@]}" >"$dir.configure.log" 2>&1 || { cat "$dir.configure.log"; exit 1; }
  cmake --build "$dir" -j"${KV_JOBS:-2}" --target Varnex vstbench effectbench >"$dir.build.log" 2>&1 \
    || { tail -n 40 "$dir.build.log"; exit 1; }
done

run() {  # target, vstbench arguments...
  local t=$1; shift
  if [ "$t" = win32 ]; then
    (cd "$build/bench-win32" && taskset -c "$cpu" "$root/scripts/wine-run.sh" bench/vstbench.exe plugin/Varnex.dll "$@")
  else
    (cd "$build/bench-linux" && taskset -c "$cpu" bench/vstbench plugin/Varnex.so "$@")
  fi
}

if [ "${#targets[@]}" -gt 1 ]; then
  export KV_WINEPREFIX=${KV_WINEPREFIX:-$build/wineprefix}
  if [ ! -f "$KV_WINEPREFIX/system.reg" ]; then
    WINEPREFIX="$KV_WINEPREFIX" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml=" wineboot -i >/dev/null 2>&1
    WINEPREFIX="$KV_WINEPREFIX" wineserver -w
  fi
fi

read -r -a rates <<<"${KV_BENCH_RATES:-44100 48000 96000}"
read -r -a blocks <<<"${KV_BENCH_BLOCKS:-32 64 512 4096}"
extra=(--reps "${KV_BENCH_REPS:-7}" --seconds "${KV_BENCH_SECONDS:-2}")
echo "== the plug-in through its VST interface (core $cpu), ns per frame: median, fastest, slowest of the passes"
printf '%-6s%7s %6s %10s %10s %10s %12s\n' target rate block ns/frame fastest slowest "x realtime"
for rate in "${rates[@]}"; do
  for block in "${blocks[@]}"; do
    for t in "${targets[@]}"; do
      printf '%-6s' "$t"
      run "$t" --rates "$rate" --blocks "$block" "${extra[@]}" | tail -n 1
    done
  done
done
echo "== the graph per effect class (Linux, core $cpu)"
(cd "$build/bench-linux" && taskset -c "$cpu" bench/effectbench --rate 48000 --block 512 "${extra[@]}")
