// Character-like meshes built from simple shapes, skinned to a small
// skeleton, in the shape the game's models have: z up from the feet at 0,
// 0-based vertex indices, per-vertex texture coordinates and bone weights.
#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

namespace ql::samplegen {

struct Vec3 {
  double x = 0, y = 0, z = 0;
};

// Bone weights are kept in units of 1/100000 so that the five printed
// decimals of a vertex always add up to exactly 1.
inline constexpr int kWeightUnits = 100000;
inline constexpr int kMaxInfluences = 5;

struct Influence {
  int bone = 0;
  int weight = 0;  // in kWeightUnits
};

struct Vertex {
  Vec3 pos;
  double u = 0, v = 0;
  std::vector<Influence> bones;  // heaviest first, 1 to kMaxInfluences
};

struct Triangle {
  int material = 0;
  int a = 0, b = 0, c = 0;  // 0-based vertex indices
};

struct Mesh {
  std::vector<Vertex> vertices;
  std::vector<Triangle> triangles;
};

// Where along a part each bone pulls: t runs from the part's start (0) to
// its end (1); side limits an anchor to one half of the body (+1 for x > 0,
// -1 for x < 0, 0 for both).
struct Anchor {
  int bone = 0;
  double t = 0;
  int side = 0;
};

struct Rig {
  Vec3 start, end;  // the axis that t is measured along
  double reach = 0.5;
  std::vector<Anchor> anchors;
};

// Skeleton of every sample character.
enum Bone : int {
  kPelvis, kSpine, kChest, kNeck, kHead,
  kLeftUpperArm, kLeftForearm, kLeftHand,
  kRightUpperArm, kRightForearm, kRightHand,
  kLeftThigh, kLeftCalf, kLeftFoot,
  kRightThigh, kRightCalf, kRightFoot,
};

class MeshBuilder {
 public:
  void setMaterial(int material) { material_ = material; }

  // A tapered open tube from a (radius ra) to b (radius rb).
  void tube(Vec3 a, Vec3 b, double ra, double rb, int segments, int rings, const Rig& rig);
  // An ellipsoid with texture coordinates wrapped around z.
  void ellipsoid(Vec3 centre, Vec3 radii, int segments, int rings, const Rig& rig);
  // An axis-aligned box, each face mapped to the whole texture.
  void box(Vec3 lo, Vec3 hi, const Rig& rig);
  // A flat grid spanned by du and dv from origin (a cape, a banner).
  void sheet(Vec3 origin, Vec3 du, Vec3 dv, int nu, int nv, const Rig& rig);

  Mesh take() { return std::move(mesh_); }

 private:
  int addVertex(Vec3 p, double u, double v, const Rig& rig);
  void quad(int a, int b, int c, int d);
  void triangle(int a, int b, int c);

  Mesh mesh_;
  int material_ = 0;
};

}  // namespace ql::samplegen
