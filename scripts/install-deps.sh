#!/usr/bin/env bash
# Installs every Debian package the build and the tests need. Quick when all is present:
# apt-get update runs only when something is missing, and at most once.
set -euo pipefail

packages=(
  cmake make g++ pkg-config
  g++-mingw-w64-i686-posix g++-mingw-w64-x86-64-posix binutils-mingw-w64-i686 binutils-mingw-w64-x86-64
  wine wine32:i386 wine64
  xvfb xauth x11-utils
  libgtest-dev libgmock-dev googletest libbenchmark-dev
  libx11-dev libfreetype-dev libfontconfig-dev fonts-dejavu-core fonts-dejavu-extra
  libsndfile1-dev zlib1g-dev
  dpf-plugins-vst
  libjack-jackd2-dev jackd2
  # The LV2 hosts of the tests: the lilv tools, jalv (GTK front end) and Ardour (ardour7-lua and
  # its dummy back end are in the package itself; what they load comes without the recommends).
  lv2-dev lilv-utils sordi jalv ardour
  clang libfuzzer-14-dev libclang-rt-14-dev
  lintian dpkg-dev file man-db
)

sudo_cmd=()
[ "$(id -u)" -eq 0 ] || sudo_cmd=(sudo)

if ! dpkg --print-foreign-architectures | grep -qx i386; then
  "${sudo_cmd[@]}" dpkg --add-architecture i386
  need_update=1
fi

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
    missing+=("$p")
  fi
done

if [ "${#missing[@]}" -eq 0 ]; then
  exit 0
fi

echo "install-deps: installing ${missing[*]}"
export DEBIAN_FRONTEND=noninteractive
"${sudo_cmd[@]}" apt-get update -qq
"${sudo_cmd[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
