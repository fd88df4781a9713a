#!/usr/bin/env bash
# Makes the packages in build/packages: the Debian package for Linux x86-64 and a ZIP per Windows
# architecture.
#   scripts/package.sh [linux] [win32] [win64]        (default: all three)
# Each comes from its own build folder (build/release, build/win32, build/win64); a folder that
# exists is used as it is configured, a missing one is configured as a release build without tests.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${KV_BUILD_DIR:-$root/build}
jobs=${KV_JOBS:-$(nproc)}
out="$build/packages"
targets=("$@")
[ ${#targets[@]} -gt 0 ] || targets=(linux win32 win64)

bash "$root/scripts/install-deps.sh"
mkdir -p "$out"

package() {  # target name, build folder, cpack generator, extra cmake arguments...
  local target=$1 dir="$build/$2" generator=$3
  shift 3
  if [ ! -f "$dir/CMakeCache.txt" ]; then
    cmake -S "$root" -B "$dir" -DCMAKE_BUILD_TYPE=Release -DKV_TESTS=OFF "$@" >"$dir.configure.log" 2>&1 \
      || { cat "$dir.configure.log"; echo "package: configuring $target failed"; return 1; }
  fi
  cmake --build "$dir" -j"$jobs" >"$dir.package-build.log" 2>&1 \
    || { tail -n 60 "$dir.package-build.log"; echo "package: building $target failed"; return 1; }
  (cd "$dir" && cpack -G "$generator" -B "$out" >"$dir.cpack.log" 2>&1) \
    || { cat "$dir.cpack.log"; echo "package: packing $target failed"; return 1; }
  sed -n 's/^CPack: - package: \(.*\) generated\.$/\1/p' "$dir.cpack.log"
}

for t in "${targets[@]}"; do
  case $t in
    linux) package linux release DEB ;;
    win32) package win32 win32 ZIP -DCMAKE_TOOLCHAIN_FILE="$root/cmake/toolchain-win32.cmake" ;;
    win64) package win64 win64 ZIP -DCMAKE_TOOLCHAIN_FILE="$root/cmake/toolchain-win64.cmake" ;;
    *) echo "usage: scripts/package.sh [linux] [win32] [win64]" >&2; exit 2 ;;
  esac
done
rm -rf "$out/_CPack_Packages"
