#!/usr/bin/env bash
# Starts the Windows build's qltool.exe under Wine on the bundled sample game
# folder, the way a user would: the model list fills, a click loads the first
# model, its count box is confirmed and 纹理模式 is picked. Checks that the
# program drew the model, by the frame the drawing area saves on each swap
# (QL_FRAME_DUMP; under Xvfb Wine's GL child windows show black in
# screenshots although they render), and saves a screenshot of the windows.
#
# Usage: scripts/wine-smoke.sh [BUILD_DIR]   (default build/windows64)
# Needs a display (run it under xvfb-run -a without one), xdotool, unzip and
# ImageMagick. Exit status 0 when the frame shows the model.
set -euo pipefail
cd "$(dirname "$0")/.."
repo=$(pwd)
build=$(cd "${1:-build/windows64}" && pwd)
arch=win64
grep -q 'toolchain-mingw-i686' "$build/CMakeCache.txt" 2>/dev/null && arch=win32
fail() { echo "wine-smoke: $*" >&2; exit 1; }
[[ -f $build/qltool.exe ]] || fail "$build/qltool.exe is missing; build the preset first"
[[ -d $build/sample/pmodel ]] || fail "$build/sample is missing; build the preset first"
[[ -n ${DISPLAY:-} ]] || fail "no display (run under xvfb-run -a)"

# A prefix of its own: the program's registry entry must not reach the tests.
prefix=$build/wine-smoke-prefix
wine() { "$repo/scripts/wine-run.sh" "$prefix" "$arch" "$@"; }
drive=$prefix/drive_c
wine cmd /c exit 0 >/dev/null 2>&1 || true  # creates the prefix on first use

# A program folder as a finished first start leaves it: the memory file
# naming the game folder (GBK, no line end) and the textures extracted flat.
prog=$drive/qlprog
rm -rf "$prog" "$drive/game" "$drive/frame.bmp"
mkdir -p "$prog/lx_ptx_tmp" "$drive/game"
cp "$build/qltool.exe" "$prog/"
cp -r "$build/sample/." "$drive/game/"
unzip -j -o -q "$drive/game/ptexture.pak" -d "$prog/lx_ptx_tmp"
memory_file=$(printf '\xc1\xf7\xd0\xc7\xc4\xbf\xc2\xbc.txt' | iconv -f GBK -t UTF-8)  # 流星目录.txt
printf 'C:\\game' > "$prog/$memory_file"
# WinRAR is looked up at every start; registered, nothing is asked.
wine reg add 'HKLM\Software\Classes\WinRAR\shell\open\command' /ve /d '"C:\Program Files\WinRAR\WinRAR.exe" "%1"' /f \
  >/dev/null

frame=$drive/frame.bmp
shot=$build/wine-smoke-screenshot.png
framepng=$build/wine-smoke-frame.png
(cd "$prog" && QL_FRAME_DUMP='C:\frame.bmp' wine 'C:\qlprog\qltool.exe') >"$build/wine-smoke.log" 2>&1 &
pid=$!
stop() {
  kill "$pid" 2>/dev/null || true
  local server=/usr/lib/wine/wineserver64
  [[ $arch == win32 || ! -x $server ]] && server=wineserver
  WINEPREFIX=$prefix "$server" -k 2>/dev/null || true
}
trap stop EXIT

main=""
for _ in $(seq 120); do
  main=$(xdotool search --name 'V0\.24' 2>/dev/null | head -1 || true)
  [[ -n $main ]] && break
  sleep 0.5
done
[[ -n $main ]] || fail "the main window did not open (see $build/wine-smoke.log)"
sleep 2
# Coordinates are relative to the main window's client area: the first
# entry of the model list, then the mode box under it and its last entry.
xdotool mousemove --window "$main" 26 27 click 1
sleep 4
xdotool key Return  # the count box that follows a load
sleep 2
xdotool mousemove --window "$main" 92 444 click 1
sleep 1.5
import -window root "${shot%.png}-modes.png"  # the open mode box and its entries
xdotool mousemove --window "$main" 26 518 click 1
for _ in $(seq 40); do
  [[ -f $frame ]] && break
  sleep 0.5
done
sleep 2  # a few more ticks, so the frame is one drawn in the new mode
import -window root "$shot"
[[ -f $frame ]] || fail "the drawing area saved no frame"
convert "$frame" "$framepng"
# The view clears to white; the model is whatever is not.
drawn=$(convert "$framepng" -fill black +opaque white -format '%[fx:int((1-mean)*w*h+0.5)]' info:)
echo "wine-smoke: screenshot $shot, frame $framepng ($drawn pixels of model)"
((drawn > 1000)) || fail "the frame shows no model ($drawn pixels that are not background)"
