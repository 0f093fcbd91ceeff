#!/usr/bin/env bash
# A sample model through Blender: our .glb opens with its textures, upright,
# with a vertex group per bone; after a part of the mesh is deleted in
# Blender and Blender's own export is imported again, every remaining vertex
# carries its original bone text.
#
#   tests/gltf/blender_check.sh QLCONV QLUNPACK SAMPLE_DIR WORK_DIR [MODEL]
# Exit status 77 (skipped) without Blender or python3-numpy.
set -euo pipefail
qlconv=$1 unpack=$2 sample=$3 work=$4 model=${5:-hero01}
here=$(cd "$(dirname "$0")" && pwd)

command -v blender >/dev/null || { echo "blender_check: no blender" >&2; exit 77; }
# Debian's Blender runs on Debian's Python, whose numpy its glTF add-on needs.
system_python=/usr/bin/python3
[[ -x $system_python ]] || system_python=python3
"$system_python" -c "import numpy" 2>/dev/null || { echo "blender_check: no python3-numpy" >&2; exit 77; }

rm -rf "$work"
mkdir -p "$work/textures"
"$unpack" e "$sample/ptexture.pak" "$work/textures/" >/dev/null
"$qlconv" --to gltf --textures "$work/textures" -o "$work" "$sample/pmodel/$model.skc" 2>"$work/export.log"
"$qlconv" --to skc -o "$work/original" "$sample/pmodel/$model.skc" 2>/dev/null

status=0
blender -b --factory-startup --python "$here/blender_check.py" -- "$work/$model.glb" "$work/edited.glb" \
  >"$work/blender.log" 2>&1 || status=$?
grep '^check:' "$work/blender.log" || true
if ((status != 0)) || ! grep -q '^check: info deleted' "$work/blender.log"; then
  echo "blender_check: Blender's part failed (see $work/blender.log)" >&2
  exit 1
fi

"$qlconv" -o "$work/back" "$work/edited.glb" 2>"$work/import.log"
grep -h '骨骼文本' "$work/import.log" || true
python3 - "$work/original/$model.skc" "$work/back/edited.skc" <<'PY'
import re, sys

def vertices(path):
    rows = []
    for line in open(path, 'rb').read().decode('latin-1').split('\r\n'):
        m = re.match(r' *v +(\S+) +(\S+) +(\S+) +vt +(\S+) +(\S+) +Bones +(.*)', line)
        if m:
            rows.append(((float(m[1]), float(m[2]), float(m[3])), m[6]))
    return rows

original, back = vertices(sys.argv[1]), vertices(sys.argv[2])
texts = {}
for position, text in original:
    texts.setdefault(position, set()).add(text)
lost = [p for p, t in back if t not in texts.get(p, ())]
print("check: %s %d of %d original vertices remain; %d of them without their original bone text"
      % ("ok  " if back and len(back) < len(original) and not lost else "FAIL", len(back), len(original), len(lost)))
sys.exit(0 if back and len(back) < len(original) and not lost else 1)
PY
