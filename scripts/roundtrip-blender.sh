#!/usr/bin/env bash
# Round trip of sample models through headless Blender, as a modder would
# take one: qlconv exports the SKC model to OBJ, Blender imports and exports
# it again with the README's settings, qlconv turns Blender's OBJ back into
# SKC, and the SKC's vertex block (positions, texture coordinates, bone
# texts) is compared with the original's; the triangles are compared as a
# set (Blender writes them grouped by material). Exit status 0 when they are
# the same, but for the texture coordinates of vertices no triangle uses.
#
#   scripts/roundtrip-blender.sh [--settings readme|defaults] [MODEL.skc ...]
#
# --settings defaults uses Blender's own defaults on both sides instead, to
# show what they do. Without models, every model of the sample game folder.
# Needs Debian's blender (3.4) and a build (QL_BUILD_DIR, default build/release).
set -euo pipefail
cd "$(dirname "$0")/.."
build=${QL_BUILD_DIR:-build/release}
settings=readme
if [[ ${1:-} == --settings ]]; then
  settings=${2:?--settings needs readme or defaults}
  shift 2
fi
[[ $settings == readme || $settings == defaults ]] || { echo "roundtrip: unknown settings $settings" >&2; exit 2; }
qlconv=$build/tools/qlconv/qlconv
unpack=$build/runtime-files/qlunpack
[[ -x $qlconv && -x $unpack ]] || { echo "roundtrip: $qlconv or $unpack is missing; build first" >&2; exit 1; }
command -v blender >/dev/null || { echo "roundtrip: blender is not installed (apt-get install blender)" >&2; exit 1; }
models=("$@")
if [[ ${#models[@]} -eq 0 ]]; then models=("$build"/sample/pmodel/*.skc); fi

work=$(mktemp -d "${TMPDIR:-/tmp}/qlroundtrip.XXXXXX")
trap '[[ -n ${QL_KEEP:-} ]] || rm -rf "$work"' EXIT

cat > "$work/blender_roundtrip.py" <<'PY'
# Imports one OBJ into an empty scene and exports it again.
import sys
import bpy

src, dst, settings = sys.argv[sys.argv.index("--") + 1:]
bpy.ops.object.select_all(action="SELECT")
bpy.ops.object.delete()
if settings == "readme":
    # File > Import > Wavefront (.obj) (legacy): Split "Keep Vert Order",
    # Forward Y, Up Z. File > Export > Wavefront (.obj): Forward Z, Up -Y.
    bpy.ops.import_scene.obj(filepath=src, split_mode="OFF", axis_forward="Y", axis_up="Z")
    bpy.ops.wm.obj_export(filepath=dst, forward_axis="Z", up_axis="NEGATIVE_Y")
else:
    bpy.ops.wm.obj_import(filepath=src)
    bpy.ops.wm.obj_export(filepath=dst)
PY

cat > "$work/compare.py" <<'PY'
# Compares two SKC files: the vertex block exactly (single-precision values,
# bone texts byte for byte) and the triangles as a set.
import struct
import sys


def f32(text):
    return struct.unpack("f", struct.pack("f", float(text)))[0]


def read_skc(path):
    vertices, triangles = [], []
    for line in open(path, "rb").read().split(b"\r\n"):
        words = line.split()
        if words[:1] == [b"v"]:
            vt, bones = words.index(b"vt"), line.index(b" Bones ") + len(b" Bones ")
            vertices.append((tuple(f32(w) for w in words[1:4] + words[vt + 1:vt + 3]), line[bones:].strip()))
        elif words[:2] == [b"f", b"3"]:
            m, a, b, c = (int(w) for w in words[2:6])
            turns = [(a, b, c), (b, c, a), (c, a, b)]
            triangles.append((m, min(turns)))
    return vertices, sorted(triangles)


(ov, ot), (bv, bt) = read_skc(sys.argv[1]), read_skc(sys.argv[2])
used = {v for _, corners in ot for v in corners}
differ = [i for i, (a, b) in enumerate(zip(ov, bv)) if a != b]
# NOTE: a 3D program keeps texture coordinates per face corner, so a vertex
# that no triangle uses has none to give back; its u, v do not matter.
only_unused_uv = all(i not in used and ov[i][0][:3] == bv[i][0][:3] and ov[i][1] == bv[i][1] for i in differ)
print(f"vertices {len(ov)} -> {len(bv)}, identical rows {len(ov) - len(differ) if len(ov) == len(bv) else '-'}"
      + (f" (the other {len(differ)}: vertices no triangle uses, u v only)" if differ and only_unused_uv else "")
      + f"; triangles {len(ot)} -> {len(bt)}, same set: {'yes' if ot == bt else 'no'}")
sys.exit(0 if len(ov) == len(bv) and only_unused_uv and ot == bt else 1)
PY

status=0
echo "roundtrip: Blender $(blender --version 2>/dev/null | head -1 | cut -d' ' -f2), settings: $settings"
for model in "${models[@]}"; do
  name=$(basename "$model" .skc)
  obj=$work/obj/$name
  mine=$work/blender/$name
  "$qlconv" --to obj -o "$work/obj" "$model" 2>"$work/$name-export.log" ||
    { cat "$work/$name-export.log" >&2; status=1; continue; }
  # The textures where the MTL names them (beside the output, as qlconv writes).
  mkdir -p "$obj/lx_ptx_tmp"
  "$unpack" e "$(dirname "$model")/../ptexture.pak" "$obj/lx_ptx_tmp/" >/dev/null
  mkdir -p "$mine"
  blender -b --factory-startup --python "$work/blender_roundtrip.py" -- "$obj/$name.obj" "$mine/$name.obj" \
    "$settings" >"$work/$name-blender.log" 2>&1 || { cat "$work/$name-blender.log" >&2; status=1; continue; }
  # The side files stay beside the model, as when Blender writes over the export.
  cp "$obj"/.bones "$obj"/.skchead "$obj"/.skcname "$mine/"
  echo "== $name"
  echo "   Blender's OBJ: $(grep -c '^v ' "$mine/$name.obj") v, $(grep -c '^vt ' "$mine/$name.obj") vt," \
    "$(grep -c '^f ' "$mine/$name.obj") f lines; line ends: $(grep -c $'\r' "$mine/$name.obj" || true) CR"
  while read -r texture; do
    # Found as Windows and the tool find it: ignoring the case of letters.
    [[ $texture == /* ]] || texture=$mine/$texture
    if [[ -n $(find "$(dirname "$texture")" -maxdepth 1 -iname "$(basename "$texture")" 2>/dev/null) ]]; then
      found=found
    else
      found=MISSING
    fi
    echo "   map_Kd $texture ($found)"
  done < <(sed -n 's/^map_Kd //p' "$mine/$name.mtl")
  if ! "$qlconv" --to skc -o "$work/back" "$mine/$name.obj" 2>"$work/$name-import.log"; then
    cat "$work/$name-import.log" >&2
    status=1
    continue
  fi
  # What the import and the SKC writer said, beyond the routine lines.
  sed -n 's/^[^:]*: //p' "$work/$name-import.log" | grep -v '^已输出' | sed 's/^/   qlconv: /'
  printf '   '
  python3 "$work/compare.py" "$model" "$work/back/$name.skc" || status=1
done
exit $status
