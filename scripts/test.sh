#!/usr/bin/env bash
# Builds and runs the whole test suite: once normally, once under
# AddressSanitizer + UndefinedBehaviorSanitizer, and the Windows cross build
# with its tests under Wine. Usage: scripts/test.sh [preset...]
set -euo pipefail
cd "$(dirname "$0")/.."
presets=("$@")
((${#presets[@]})) || presets=(debug asan windows)
jobs=$(nproc)

# Wine's 32-bit loader needs a kernel that runs 32-bit programs; some
# (containers, minimal VMs) cannot. The 32-bit build is then only built, and
# the tests run on the 64-bit build instead.
wine32_runs() {
  [[ -x /usr/lib/wine/wine ]] && /usr/lib/wine/wine --version >/dev/null 2>&1
}

# Wine shows windows only with a display: give the GUI tests a virtual one
# when there is none and xvfb-run exists (the other tests need neither).
run_ctest() {
  local preset=$1
  shift
  if [[ $preset == windows* && -z ${DISPLAY:-} ]] && command -v xvfb-run >/dev/null; then
    xvfb-run -a ctest --preset "$preset" "$@"
  else
    ctest --preset "$preset" "$@"
  fi
}

for preset in "${presets[@]}"; do
  echo "=== $preset: configure and build"
  cmake --preset "$preset" >/dev/null
  cmake --build --preset "$preset" -j "$jobs"
  test_preset=$preset
  if [[ $preset == windows ]] && ! wine32_runs; then
    echo "=== windows: this machine cannot run 32-bit Wine; testing the 64-bit build (windows64)"
    test_preset=windows64
    cmake --preset windows64 >/dev/null
    cmake --build --preset windows64 -j "$jobs"
  fi
  echo "=== $test_preset: test"
  # LeakSanitizer's exit-time scan now and then crashes in its own tracer
  # while Mesa's render threads wind down (under load, in two render tests in
  # a row): the asan preset runs llvmpipe without them (LP_NUM_THREADS=0),
  # and a second run tells what is left apart from a real failure.
  # Under Wine a test program now and then ends at start-up without output.
  run_ctest "$test_preset" -j "$jobs" --repeat until-pass:2
  if [[ $test_preset == windows* ]]; then
    echo "=== $test_preset: qltool.exe on the sample game folder under Wine"
    if [[ -n ${DISPLAY:-} ]]; then
      scripts/wine-smoke.sh "build/$test_preset"
    else
      xvfb-run -a -s "-screen 0 1024x768x24" scripts/wine-smoke.sh "build/$test_preset"
    fi
  fi
done
