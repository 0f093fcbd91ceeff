#!/usr/bin/env bash
# Starts the Windows build's qltool.exe under Wine on the bundled sample game
# folder, the way a user would: a first start in an empty program folder
# (the notice, the package dialog, the extraction through the archive tool
# found in the registry), then the model list fills, a click loads the first
# model, its count box is confirmed and 纹理模式 is picked. Checks what the
# first start left and that the program drew the model, by the frame the
# drawing area saves on each swap (QL_FRAME_DUMP; under Xvfb Wine's GL child
# windows show black in screenshots although they render), and saves a
# screenshot of the windows.
#
# Usage: scripts/wine-smoke.sh [BUILD_DIR]   (default build/windows, the shipped 32-bit one)
# Needs a display (run it under xvfb-run -a without one), xdotool and
# ImageMagick. Exit status 0 when the frame shows the model.
set -euo pipefail
cd "$(dirname "$0")/.."
repo=$(pwd)
build=$(cd "${1:-build/windows}" && pwd)
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

# An empty program folder beside the game, and the tests' stand-in for
# WinRAR installed where WinRAR goes and registered as its installer does.
prog=$drive/qlprog
rar="$drive/Program Files/WinRAR"
[[ -f $build/tests/fakerar/qlfakerar.exe ]] || fail "$build/tests/fakerar/qlfakerar.exe is missing; build the preset first"
rm -rf "$prog" "$drive/game" "$drive/frame.bmp" "$rar"
mkdir -p "$prog" "$drive/game" "$rar"
cp "$build/qltool.exe" "$prog/"
cp -r "$build/sample/." "$drive/game/"
cp "$build/tests/fakerar/qlfakerar.exe" "$rar/WinRAR.exe"
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

# The steps taken, for a run that goes wrong.
steps=$build/wine-smoke-steps.log
: >"$steps"
windows() {
  local w
  for w in $(xdotool search --onlyvisible --name '' 2>/dev/null | sort -n); do
    echo "  $w $(xdotool getwindowgeometry "$w" 2>/dev/null | tr -s ' \n' ' ') $(xdotool getwindowname "$w" 2>/dev/null)"
  done
}
stuck() {
  import -window root "${shot%.png}-stuck.png" || true
  { echo "stuck: $1"; windows; } >>"$steps"
  fail "$1 (see $steps and ${shot%.png}-stuck.png)"
}

# Without a window manager no key goes to a message box that opens after
# another program ran, so boxes are answered by a click on their button
# (centred, near the bottom). A box is a visible window not answered before,
# on the screen (Wine keeps helper windows at -1,-1) and narrower than the
# program's own windows. Window ids say nothing about order: each Wine
# process has its own range.
seen=" "
answer_box() {
  local what=$1 w geometry
  for _ in $(seq 120); do
    for w in $(xdotool search --onlyvisible --name '' 2>/dev/null); do
      [[ $seen == *" $w "* ]] && continue
      # The window may close between the calls: then look again.
      geometry=$(xdotool getwindowgeometry --shell "$w" 2>/dev/null) || continue
      eval "$geometry"
      ((X >= 0 && Y >= 0 && WIDTH < 600)) || continue
      sleep 0.5
      seen+="$w "
      echo "box for $what: window $w ${WIDTH}x$HEIGHT at $X,$Y" >>"$steps"
      xdotool mousemove --window "$w" $((WIDTH / 2)) $((HEIGHT - 22)) click 1
      return 0
    done
    sleep 0.5
  done
  stuck "no message box for $what"
}

answer_box "the missing texture folder"
dialog=""
for _ in $(seq 60); do
  dialog=$(xdotool search --onlyvisible --name 'Meteor' 2>/dev/null | head -1 || true)
  [[ -n $dialog ]] && break
  sleep 0.5
done
[[ -n $dialog ]] || stuck "the package dialog did not open"
echo "package dialog: window $dialog" >>"$steps"
seen+="$dialog "
sleep 1
xdotool type --delay 20 'C:\game\ptexture.pak'  # over the preset name, which is selected
xdotool key Return
answer_box "the package to extract"
answer_box "the extraction's outcome"

main=""
for _ in $(seq 120); do
  main=$(xdotool search --name 'V0\.24' 2>/dev/null | head -1 || true)
  [[ -n $main ]] && break
  sleep 0.5
done
[[ -n $main ]] || fail "the main window did not open (see $build/wine-smoke.log)"
memory_file=$(printf '\xc1\xf7\xd0\xc7\xc4\xbf\xc2\xbc.txt' | iconv -f GBK -t UTF-8)  # 流星目录.txt
for _ in $(seq 40); do
  [[ -f $prog/$memory_file ]] && break
  sleep 0.5
done
[[ $(cat "$prog/$memory_file" 2>/dev/null) == 'C:\game' ]] || fail "the first start did not remember C:\game"
[[ -f $prog/lx_ptx_tmp/gd02skin.tga ]] || fail "the first start extracted no textures into $prog/lx_ptx_tmp"
sleep 2
# Coordinates are relative to the main window's client area: the first
# entry of the model list, then the mode box under it and its last entry.
xdotool mousemove --window "$main" 26 27 click 1
sleep 4
answer_box "the count that follows a load"
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
