#!/usr/bin/env bash
# Builds and runs the whole test suite: once normally, once under
# AddressSanitizer + UndefinedBehaviorSanitizer. Usage: scripts/test.sh [preset...]
set -euo pipefail
cd "$(dirname "$0")/.."
presets=("$@")
((${#presets[@]})) || presets=(debug asan)
jobs=$(nproc)
for preset in "${presets[@]}"; do
  echo "=== $preset: configure and build"
  cmake --preset "$preset" >/dev/null
  cmake --build --preset "$preset" -j "$jobs"
  echo "=== $preset: test"
  ctest --preset "$preset" -j "$jobs"
done
