#!/usr/bin/env bash
# Installs the Debian 12 packages the build, the tests and the sample run need.
# Idempotent: prints nothing and asks apt nothing when everything is there.
set -euo pipefail

packages=(
  build-essential cmake ninja-build pkg-config ccache clang libclang-rt-14-dev
  zlib1g-dev libpcre2-dev libboost1.81-dev libstb-dev libcpp-httplib-dev libarchive-dev
  libfltk1.3-dev libgl1-mesa-dev libglu1-mesa-dev libosmesa6-dev libegl-dev libegl-mesa0
  libgtest-dev libgmock-dev libbenchmark-dev libtinyobjloader-dev
  fonts-wqy-microhei xvfb xauth xdotool imagemagick
  # The Windows cross builds and the tests of the 64-bit one under Wine
  # (wine32 is left out: the kernels we build on cannot run 32-bit programs).
  g++-mingw-w64-i686-posix g++-mingw-w64-x86-64-posix libz-mingw-w64-dev
  googletest wine wine64
)

missing=()
for p in "${packages[@]}"; do
  status=$(dpkg-query -W -f='${Status}' "$p" 2>/dev/null || true)
  [[ "$status" == "install ok installed" ]] || missing+=("$p")
done
((${#missing[@]} == 0)) && exit 0

echo "setup: installing ${missing[*]}"
sudo=""
[[ $(id -u) == 0 ]] || sudo="sudo"
export DEBIAN_FRONTEND=noninteractive
$sudo apt-get update -qq
$sudo apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
