# Run by Blender (blender -b --factory-startup --python blender_check.py --
# IN.glb OUT.glb): imports a .glb of our export, checks what Blender makes of
# it, deletes the upper part of the mesh and exports the rest as Blender's
# glTF exporter writes it. Prints one "check:" line per finding; exits 1 when
# a check fails.
import sys

# Blender 3.4's glTF add-on still names numpy.bool, which numpy 1.24 removed.
import numpy
numpy.bool = bool

import bmesh
import bpy

args = sys.argv[sys.argv.index("--") + 1:]
source, target = args[0], args[1]
failed = []


def check(ok, what):
    print(("check: ok   " if ok else "check: FAIL ") + what)
    if not ok:
        failed.append(what)


bpy.ops.wm.read_factory_settings(use_empty=True)
bpy.ops.import_scene.gltf(filepath=source)

meshes = [o for o in bpy.data.objects if o.type == 'MESH']
armatures = [o for o in bpy.data.objects if o.type == 'ARMATURE']
check(len(meshes) == 1, "one mesh object (%d)" % len(meshes))
check(len(armatures) == 1, "one armature (%d)" % len(armatures))
obj = meshes[0]
corners = [obj.matrix_world @ v.co for v in obj.data.vertices]
xs, ys, zs = ([c[i] for c in corners] for i in range(3))
width, depth, height = max(xs) - min(xs), max(ys) - min(ys), max(zs) - min(zs)
check(height > 2 * width and height > 2 * depth and abs(min(zs)) < 1,
      "upright: %.1f wide, %.1f deep, %.1f high from z = %.2f" % (width, depth, height, min(zs)))

bones = sorted(b.name for b in armatures[0].data.bones if b.name.startswith("bone_"))
groups = sorted(g.name for g in obj.vertex_groups if g.name.startswith("bone_"))
check(len(bones) > 5 and groups == bones, "a vertex group per bone: %d groups, %d bones" % (len(groups), len(bones)))

textured = 0
for m in obj.data.materials:
    images = [n.image for n in m.node_tree.nodes if n.type == 'TEX_IMAGE' and n.image]
    if images and images[0].size[0] > 0 and images[0].has_data:
        textured += 1
check(textured == len(obj.data.materials) and textured > 0,
      "textures: %d of %d materials show a picture" % (textured, len(obj.data.materials)))

# The upper part (above 3/4 of the height) goes.
cut = min(zs) + 0.75 * height
mesh = bmesh.new()
mesh.from_mesh(obj.data)
doomed = [v for v in mesh.verts if (obj.matrix_world @ v.co).z > cut]
bmesh.ops.delete(mesh, geom=doomed, context='VERTS')
mesh.to_mesh(obj.data)
mesh.free()
print("check: info deleted %d of %d vertices above z = %.1f" % (len(doomed), len(corners), cut))

bpy.ops.export_scene.gltf(filepath=target, export_format='GLB', export_extras=True, export_all_influences=True)
sys.exit(1 if failed else 0)
