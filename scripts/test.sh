#!/usr/bin/env bash
# The whole test suite: installs what is missing, builds the three targets (the native one with
# AddressSanitizer and UndefinedBehaviorSanitizer), and runs every suite; the Windows suites run
# under Wine in a private prefix made once per run. The thread suite also runs in a native build
# with ThreadSanitizer, where any report fails it. Fails when any suite fails.
set -uo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${KV_BUILD_DIR:-$root/build}
jobs=${KV_JOBS:-$(nproc)}
start=$(date +%s)

bash "$root/scripts/install-deps.sh" || { echo "test: installing the dependencies failed"; exit 1; }

configure() {  # dir, extra cmake arguments...
  local dir=$1; shift
  cmake -S "$root" -B "$build/$dir" -DKV_TESTS=ON "$@" >"$build/$dir.configure.log" 2>&1 \
    || { cat "$build/$dir.configure.log"; return 1; }
}

mkdir -p "$build"
status=0
configure linux -DCMAKE_BUILD_TYPE=Debug -DKV_SANITIZE=ON || status=1
configure win32 -DCMAKE_TOOLCHAIN_FILE="$root/cmake/toolchain-win32.cmake" -DCMAKE_BUILD_TYPE=Release || status=1
configure win64 -DCMAKE_TOOLCHAIN_FILE="$root/cmake/toolchain-win64.cmake" -DCMAKE_BUILD_TYPE=Release || status=1
configure fuzz -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ -DKV_FUZZ=ON -DKV_TESTS=OFF || status=1
configure tsan -DCMAKE_BUILD_TYPE=RelWithDebInfo -DKV_TSAN=ON || status=1
[ $status -eq 0 ] || exit 1

for t in linux win32 win64; do
  echo "== build $t"
  cmake --build "$build/$t" -j"$jobs" >"$build/$t.build.log" 2>&1 || { tail -n 60 "$build/$t.build.log"; exit 1; }
done
echo "== build fuzz"
cmake --build "$build/fuzz" -j"$jobs" --target fuzz_spcpp fuzz_picture fuzz_copybuffer fuzz_wav >"$build/fuzz.build.log" 2>&1 \
  || { tail -n 60 "$build/fuzz.build.log"; exit 1; }

# Under ThreadSanitizer only the thread suite runs: the plug-in and that suite are all it needs.
echo "== build tsan"
cmake --build "$build/tsan" -j"$jobs" --target Varnex test_threads >"$build/tsan.build.log" 2>&1 \
  || { tail -n 60 "$build/tsan.build.log"; exit 1; }

# Windowed tests need a display: a private Xvfb on a free number. -noreset: a server left
# without clients (between two editor openings) must not reset and refuse the next one.
display=""
for n in $(seq 90 120); do
  if [ ! -e "/tmp/.X$n-lock" ] && [ ! -e "/tmp/.X11-unix/X$n" ]; then display=$n; break; fi
done
Xvfb ":$display" -screen 0 1024x768x24 -nolisten tcp -noreset >/dev/null 2>&1 &
xvfb_pid=$!
export DISPLAY=":$display"

export KV_WINEPREFIX="$build/wineprefix"
export WINEPREFIX="$KV_WINEPREFIX" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml=;winedbg.exe=d"
cleanup() {
  WINEPREFIX="$KV_WINEPREFIX" wineserver -k >/dev/null 2>&1 || true
  kill "$xvfb_pid" >/dev/null 2>&1 || true
}
trap cleanup EXIT
if [ ! -f "$KV_WINEPREFIX/system.reg" ]; then
  echo "== making the Wine prefix"
  wineboot -i >/dev/null 2>&1 || { echo "test: wineboot failed"; exit 1; }
  wineserver -w
fi

failed=()
for t in linux win32 win64; do
  echo "== test $t"
  (cd "$build/$t" && ctest --output-on-failure --timeout 600 -j"$jobs") | tee "$build/$t.test.log" | grep -E 'tests passed|Failed|FAILED|\*\*\*' 
  grep -q '100% tests passed' "$build/$t.test.log" || failed+=("$t")
  grep -hE '^\[  PASSED  \] [0-9]+ test' "$build/$t.test.log" >/dev/null 2>&1 || true
done

# Each fuzz target for a bounded time from its seeds: a crash, a leak or a hang fails it.
echo "== fuzz"
(cd "$build/fuzz" && ctest --output-on-failure --timeout 300 -j"$jobs") >"$build/fuzz.test.log" 2>&1
grep -E '^ *[0-9]+/[0-9]+ Test|tests passed' "$build/fuzz.test.log"
grep -q '100% tests passed' "$build/fuzz.test.log" || { failed+=("fuzz"); tail -n 80 "$build/fuzz.test.log"; }

# A report of ThreadSanitizer makes the suite exit non-zero (66); every report is printed.
echo "== test tsan"
(cd "$build/tsan" && TSAN_OPTIONS="halt_on_error=0 exitcode=66" ctest --output-on-failure --timeout 600 -R '^test_threads\.') \
  | tee "$build/tsan.test.log" | grep -E 'tests passed|Failed|FAILED|\*\*\*|ThreadSanitizer'
grep -q '100% tests passed' "$build/tsan.test.log" || failed+=("tsan")

# The same input and schedule must give the same output, sample for sample, on every target.
reference="$build/linux/tests/e2e/varnex_render.wav"
for t in win32 win64; do
  if ! cmp -s "$reference" "$build/$t/tests/e2e/varnex_render.wav"; then
    echo "== render of $t differs from linux"
    [[ " ${failed[*]-} " == *" $t "* ]] || failed+=("$t")
  else
    echo "== render of $t is identical to linux"
  fi
done

# The packages as a user gets them: made from the release builds, their contents checked, each
# plug-in loaded from its unpacked package.
echo "== packages"
if bash "$root/scripts/package.sh" >"$build/packages.log" 2>&1 &&
   bash "$root/tests/packages/check-packages.sh" "$build/packages" "$build/release" >>"$build/packages.log" 2>&1; then
  tail -n 1 "$build/packages.log"
else
  tail -n 40 "$build/packages.log"
  failed+=(packages)
fi

for t in linux win32 win64 fuzz; do
  n=$(cd "$build/$t" && ctest -N | sed -n 's/^Total Tests: //p')
  echo "suite $t: ${n:-0} entries$([[ " ${failed[*]-} " == *" $t "* ]] && echo ', FAILED' || echo ', passed')"
done
echo "packages: $([[ " ${failed[*]-} " == *" packages "* ]] && echo 'FAILED' || echo 'passed')"
echo "suite tsan (thread suite under ThreadSanitizer)$([[ " ${failed[*]-} " == *" tsan "* ]] && echo ', FAILED' || echo ', passed')"
echo "wall time: $(( $(date +%s) - start )) s"
if [ ${#failed[@]} -ne 0 ]; then
  echo "$(( 6 - ${#failed[@]} )) passed, ${#failed[@]} failed: ${failed[*]}"
  exit 1
fi
echo "6 passed, 0 failed"
