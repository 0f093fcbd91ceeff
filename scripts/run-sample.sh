#!/usr/bin/env bash
# Starts qltool on the bundled sample game folder. It prepares a program
# folder the way a finished first start leaves it (the memory file naming the
# sample game folder, the textures extracted by the archive adapter), so the
# sample models are listed at once.
#
# With a display the tool opens normally. Without one it runs under Xvfb,
# loads the first sample model, saves a screenshot and prints where it is.
set -euo pipefail
cd "$(dirname "$0")/.."
build=${QL_BUILD_DIR:-build/release}
[[ -x $build/qltool ]] || { echo "run-sample: $build/qltool is missing; build first (see README)" >&2; exit 1; }
[[ -d $build/sample/pmodel ]] || { echo "run-sample: $build/sample is missing; build first" >&2; exit 1; }

root=$(cd "$build" && pwd)
prog=$root/sample-program
game=$root/sample
mkdir -p "$prog"
cp "$root/qltool" "$prog/qltool"

# The tool sees paths as GBK texts with backslashes: /a/b becomes \a\b.
to_module_path() { printf '%s' "${1//\//\\}" | iconv -f UTF-8 -t GBK; }
memory_file=$(printf '\xc1\xf7\xd0\xc7\xc4\xbf\xc2\xbc.txt' | iconv -f GBK -t UTF-8)  # 流星目录.txt
to_module_path "$game" > "$prog/$memory_file"
mkdir -p "$prog/lx_ptx_tmp"
"$root/runtime-files/qlunpack" e "$game/ptexture.pak" "$prog/lx_ptx_tmp/" >/dev/null

cd "$prog"
if [[ -n ${DISPLAY:-} ]]; then
  exec ./qltool
fi

shot=$root/sample-screenshot.png
echo "run-sample: no display; running under Xvfb"
xvfb-run -a -s "-screen 0 1024x768x24" bash -c '
  ./qltool & pid=$!
  for _ in $(seq 50); do
    win=$(xdotool search --class FLTK 2>/dev/null | head -1) && [[ -n $win ]] && break
    sleep 0.2
  done
  sleep 1
  # The first entry of the model list (top left of the main window, below the menu bar).
  main=$(xdotool search --name "qltool" 2>/dev/null | head -1 || true)
  xdotool mousemove 80 85 click 1 || true
  sleep 2
  # The count message box that follows a load: confirm it. The view shows
  # the model in 纹理模式 from the start.
  xdotool key Return || true
  sleep 2
  import -window root "'"$shot"'"
  kill $pid 2>/dev/null || true
  wait $pid 2>/dev/null || true
'
echo "run-sample: screenshot saved to $shot"
