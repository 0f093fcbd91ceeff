#!/usr/bin/env bash
# The sample game's models as .glb files (textures embedded), checked with
# the Khronos glTF validator.
#
#   tests/gltf/validate_samples.sh QLCONV QLUNPACK SAMPLE_DIR WORK_DIR VALIDATOR_DIR
set -euo pipefail
qlconv=$1 unpack=$2 sample=$3 work=$4 validator=$5
here=$(cd "$(dirname "$0")" && pwd)

rm -rf "$work"
mkdir -p "$work/textures"
"$unpack" e "$sample/ptexture.pak" "$work/textures/" >/dev/null
"$qlconv" --to gltf --textures "$work/textures" -o "$work/glb" "$sample/pmodel" 2>"$work/qlconv.log"
"$here/../../scripts/gltf-validate.sh" --validator-dir "$validator" "$work"/glb/*.glb
