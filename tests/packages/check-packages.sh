#!/usr/bin/env bash
# Checks the packages scripts/package.sh made, as a user gets them:
#   - the .deb holds the plug-in, the tools, a manual page per tool and the documents, depends on
#     the libraries its binaries load, and is clean under lintian (the tags we accept are listed,
#     each with its reason, in lintian-overrides.txt beside this script);
#   - unpacked into a temporary root, its vsthost loads its plug-in and renders through it;
#   - each ZIP holds the DLL, varnex.exe, vsthost.exe and the README; the DLL is of the ZIP's
#     architecture, and the ZIP's vsthost loads it under Wine.
#   tests/packages/check-packages.sh PACKAGE-FOLDER [LINUX-BUILD-FOLDER]
# With the Linux build folder, every LV2 bundle built there must be in the .deb under /usr/lib/lv2.
set -uo pipefail
here=$(cd "$(dirname "$0")" && pwd)
root=$(cd "$here/../.." && pwd)
packages=$(cd "$1" && pwd)
linux_build=${2:-}
tools=(vsthost piperun kvsh varnex)
failures=0
fail() { echo "packages: $*"; failures=$((failures + 1)); }
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# --- the Debian package
deb=$(ls "$packages"/varnex_*_amd64.deb 2>/dev/null | head -n 1)
if [ -z "$deb" ]; then
  fail "no .deb in $packages"
else
  dpkg-deb -c "$deb" | awk '{print $NF}' >"$work/deb.list"
  expected=(./usr/lib/vst/Varnex.so ./usr/share/doc/varnex/README.md ./usr/share/doc/varnex/LICENSE
            ./usr/share/doc/varnex/copyright ./usr/share/doc/varnex/changelog.gz)
  for t in "${tools[@]}"; do expected+=("./usr/bin/$t" "./usr/share/man/man1/$t.1.gz"); done
  for f in "${expected[@]}"; do grep -qx "$f" "$work/deb.list" || fail "$(basename "$deb") lacks $f"; done
  if [ -n "$linux_build" ]; then
    for manifest in $(find "$linux_build" -path '*.lv2/manifest.ttl' -not -path '*/_CPack_Packages/*' 2>/dev/null); do
      bundle=$(basename "$(dirname "$manifest")")
      grep -qx "./usr/lib/lv2/$bundle/manifest.ttl" "$work/deb.list" || fail "$(basename "$deb") lacks the LV2 bundle $bundle"
    done
  fi
  depends=$(dpkg-deb -f "$deb" Depends)
  for lib in libc6 libstdc++6 libsndfile1 libx11-6 libfreetype6 libfontconfig1; do
    [[ "$depends" == *"$lib"* ]] || fail "Depends lacks $lib: $depends"
  done
  [[ "$depends" != *libjack* ]] || fail "Depends names libjack, which is loaded only when present: $depends"
  lintian --fail-on error,warning,info --suppress-tags-from-file "$here/lintian-overrides.txt" "$deb" >"$work/lintian.log" 2>&1 \
    || { cat "$work/lintian.log"; fail "lintian finds faults in $(basename "$deb")"; }

  dpkg-deb -x "$deb" "$work/root"
  out=$("$work/root/usr/bin/vsthost" "$work/root/usr/lib/vst/Varnex.so" --bass 1 -o "$work/deb.wav" 2>&1)
  [[ "$out" == *"effect:   Varnex"* && "$out" == *"rendered 44100 frames"* && -s "$work/deb.wav" ]] \
    || { echo "$out"; fail "the unpacked vsthost did not render through the unpacked plug-in"; }
  for t in "${tools[@]}"; do
    "$work/root/usr/bin/$t" --version | grep -q "^$t " || fail "the unpacked $t does not answer --version"
    LC_ALL=C.UTF-8 MANWIDTH=80 man --warnings -l "$work/root/usr/share/man/man1/$t.1.gz" 2>&1 >/dev/null | grep . \
      && fail "the manual page of $t has warnings"
  done
fi

# --- the Windows archives
for arch in win32 win64; do
  zip=$(ls "$packages"/varnex-*-"$arch".zip 2>/dev/null | head -n 1)
  if [ -z "$zip" ]; then
    fail "no $arch ZIP in $packages"
    continue
  fi
  top=$(basename "$zip" .zip)
  mkdir -p "$work/$arch"
  (cd "$work/$arch" && cmake -E tar xf "$zip") || { fail "cannot unpack $zip"; continue; }
  for f in Varnex.dll varnex.exe vsthost.exe README.txt LICENSE.txt; do
    [ -s "$work/$arch/$top/$f" ] || fail "$(basename "$zip") lacks $top/$f"
  done
  [ "$arch" = win32 ] && format=pei-i386 || format=pei-x86-64
  [ "$arch" = win32 ] && triple=i686-w64-mingw32 || triple=x86_64-w64-mingw32
  "$triple-objdump" -f "$work/$arch/$top/Varnex.dll" | grep -q "file format $format" \
    || fail "$(basename "$zip"): Varnex.dll is not $format"
  out=$(cd "$work/$arch/$top" && bash "$root/scripts/wine-run.sh" vsthost.exe Varnex.dll 2>&1)
  [[ "$out" == *"effect:   Varnex"* && "$out" == *"6 parameters"* ]] \
    || { echo "$out"; fail "$(basename "$zip"): its vsthost.exe did not load its Varnex.dll under Wine"; }
done

if [ $failures -ne 0 ]; then
  echo "packages: $failures fault(s)"
  exit 1
fi
echo "packages: the .deb and both ZIPs hold what they should; each plug-in loads from its package"
