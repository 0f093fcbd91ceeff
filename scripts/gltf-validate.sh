#!/usr/bin/env bash
# Checks glTF files with the Khronos glTF validator (the npm package
# gltf-validator, run under node) and prints its report for each file.
#
#   scripts/gltf-validate.sh [--validator-dir DIR] FILE...
#
# The validator is installed into DIR (default: build/gltf-validator beside
# this script's project) the first time. Exit status: 0 when no file has an
# error, 1 when one has, 77 when node, npm or the install is not to be had
# (the tests count that as skipped).
set -euo pipefail

here=$(cd "$(dirname "$0")" && pwd)
dir="$here/../build/gltf-validator"
if [[ "${1:-}" == "--validator-dir" ]]; then
  dir=$2
  shift 2
fi
(($# > 0)) || { echo "usage: $0 [--validator-dir DIR] FILE..." >&2; exit 2; }

if ! command -v node >/dev/null || ! command -v npm >/dev/null; then
  echo "gltf-validate: node and npm are needed (Debian: nodejs, npm)" >&2
  exit 77
fi
if [[ ! -f "$dir/node_modules/gltf-validator/package.json" ]]; then
  mkdir -p "$dir"
  if ! npm install --prefix "$dir" --no-audit --no-fund --silent gltf-validator >/dev/null 2>"$dir/npm-install.log"; then
    echo "gltf-validate: npm could not install gltf-validator (see $dir/npm-install.log)" >&2
    exit 77
  fi
fi
NODE_PATH="$dir/node_modules" exec node "$here/gltf-validate.js" "$@"
