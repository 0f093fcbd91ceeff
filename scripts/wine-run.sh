#!/usr/bin/env bash
# Runs a Windows program of the cross build under Wine, in a Wine prefix of
# the build's own (created on first use). CMake's cross-compiling emulator:
#   wine-run.sh PREFIX_DIR win32|win64 PROGRAM.exe [ARGS...]
# win32 for the i686 build, win64 for the x86_64 one. The prefix's registry
# maps the Windows UI fonts onto a font with Chinese glyphs, for GUI tests.
set -euo pipefail

# With --prepare first, only the prefix is made (at build time); a machine
# whose Wine cannot run this width gets a warning, not a failed build.
# --optional runs the program only where the prefix can be made (build-time
# set-up of the test prefix), again with a warning otherwise.
prepare=0
optional=0
if [[ ${1:-} == --prepare ]]; then
  prepare=1
  shift
  set -- "$@" none
elif [[ ${1:-} == --optional ]]; then
  optional=1
  shift
fi
if (($# < 3)); then
  echo "usage: wine-run.sh [--prepare|--optional] PREFIX_DIR win32|win64 PROGRAM [ARGS...]" >&2
  exit 2
fi
export WINEPREFIX=$1
export WINEARCH=$2
shift 2
export WINEDEBUG=${WINEDEBUG:--all}
# No Mono or Gecko installers, no "update the prefix" dialog.
export WINEDLLOVERRIDES=${WINEDLLOVERRIDES:-mscoree,mshtml=}

# Debian's /usr/bin/wine prefers the 32-bit loader whenever wine32 is
# installed, and that loader cannot run where the kernel has no 32-bit
# support: name the loader of the prefix's own width.
libdir=/usr/lib/wine
if [[ $WINEARCH == win64 && -x $libdir/wine64 ]]; then
  loader=$libdir/wine64
elif [[ $WINEARCH == win32 && -x $libdir/wine ]]; then
  loader=$libdir/wine
else
  loader=$(command -v wine || true)
fi
if [[ -z $loader ]]; then
  echo "wine-run.sh: wine is not installed (scripts/setup.sh installs it)" >&2
  exit 127
fi
export WINELOADER=$loader
server=$(command -v wineserver || true)
[[ -x $libdir/wineserver64 ]] && server=$libdir/wineserver64

mkdir -p "$(dirname "$WINEPREFIX")"
# Tests run in parallel: one of them creates the prefix, the others wait.
exec 9>"$WINEPREFIX.lock"
flock 9
if [[ ! -f $WINEPREFIX/.ql-ready ]]; then
  rm -rf "$WINEPREFIX"
  if ! "$loader" wineboot -i >"$WINEPREFIX.log" 2>&1; then
    echo "wine-run.sh: cannot create the Wine prefix $WINEPREFIX ($loader):" >&2
    cat "$WINEPREFIX.log" >&2
    ((prepare || optional)) && exit 0
    exit 126
  fi
  reg=$WINEPREFIX/drive_c/ql-fonts.reg
  {
    printf 'REGEDIT4\r\n\r\n[HKEY_CURRENT_USER\\Software\\Wine\\Fonts\\Replacements]\r\n'
    for font in SimSun Tahoma "MS Shell Dlg" "MS Shell Dlg 2"; do
      printf '"%s"="WenQuanYi Micro Hei"\r\n' "$font"
    done
    printf '\r\n'
  } >"$reg"
  "$loader" regedit /S 'C:\ql-fonts.reg' >>"$WINEPREFIX.log" 2>&1
  # Let the registry reach the disk before anyone uses the prefix.
  [[ -n $server ]] && "$server" -w
  touch "$WINEPREFIX/.ql-ready"
fi
# A wineserver that outlives single tests saves its start-up on every test
# (it ends by itself 30 s after the last one). When this call starts it, the
# prefix's background processes start here too, away from our output: had
# the program under test started them, they would hold its stdout open
# after it ends, and whoever reads that pipe (gtest discovery) would wait.
if [[ -n $server ]] && "$server" -p30 >/dev/null 2>&1; then
  "$loader" wineboot </dev/null >/dev/null 2>&1 || true
fi
flock -u 9
exec 9>&-
((prepare)) && exit 0

exec "$loader" "$@"
