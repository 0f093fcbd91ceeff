#!/usr/bin/env bash
# Installs the Debian 12 packages the build, the tests and the sample run need.
# Idempotent: prints nothing and asks apt nothing when everything is there.
set -euo pipefail

packages=(
  build-essential cmake ninja-build pkg-config ccache clang libclang-rt-14-dev
  zlib1g-dev libpcre2-dev libboost1.81-dev libstb-dev libcpp-httplib-dev libarchive-dev
  libfltk1.3-dev libgl1-mesa-dev libglu1-mesa-dev libosmesa6-dev libegl-dev libegl-mesa0
  libgtest-dev libgmock-dev libbenchmark-dev libtinyobjloader-dev libtinygltf-dev nlohmann-json3-dev
  fonts-wqy-microhei xvfb xauth xdotool imagemagick
  # The Windows cross builds, and Wine for their tests: the 32-bit program
  # (the one we ship) under 32-bit Wine, which needs the host's 32-bit GL
  # for its drawing area.
  g++-mingw-w64-i686-posix g++-mingw-w64-x86-64-posix libz-mingw-w64-dev
  googletest wine wine64 wine32:i386 libgl1:i386 libgl1-mesa-dri:i386 libglx-mesa0:i386
  # Checkers of the glTF export: Blender (its glTF add-on needs numpy), and
  # node for the Khronos validator, which the tests install from npm.
  blender python3-numpy
)
# A node of another origin (its own npm) serves as well as Debian's.
command -v npm >/dev/null || packages+=(nodejs npm)

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
# The 32-bit packages come from the i386 architecture, added once.
if ! dpkg --print-foreign-architectures | grep -qx i386; then
  $sudo dpkg --add-architecture i386
fi
$sudo apt-get update -qq
$sudo apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
