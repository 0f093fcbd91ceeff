#include "tools/samplegen/mesh.h"

#include <algorithm>
#include <cmath>
#include <numbers>

namespace ql::samplegen {
namespace {

constexpr double kMinWeight = 0.05;  // lighter pulls are dropped, as exporters do
// Texture coordinates run slightly past the texture's edges, as in the
// game's models, whose textures repeat.
constexpr double kUvOvershoot = 0.02;

Vec3 operator+(Vec3 a, Vec3 b) { return {a.x + b.x, a.y + b.y, a.z + b.z}; }
Vec3 operator-(Vec3 a, Vec3 b) { return {a.x - b.x, a.y - b.y, a.z - b.z}; }
Vec3 operator*(Vec3 a, double s) { return {a.x * s, a.y * s, a.z * s}; }
double dot(Vec3 a, Vec3 b) { return a.x * b.x + a.y * b.y + a.z * b.z; }
Vec3 cross(Vec3 a, Vec3 b) { return {a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x}; }
Vec3 normalized(Vec3 a) {
  const double len = std::sqrt(dot(a, a));
  return len > 0 ? a * (1.0 / len) : Vec3{0, 0, 1};
}

double stretchUv(double s) { return -kUvOvershoot + s * (1.0 + 2 * kUvOvershoot); }

std::vector<Influence> weigh(Vec3 p, const Rig& rig) {
  const Vec3 axis = rig.end - rig.start;
  const double len2 = dot(axis, axis);
  const double t = len2 > 0 ? dot(p - rig.start, axis) / len2 : 0.0;

  std::vector<std::pair<double, int>> pulls;  // (weight, bone)
  for (const Anchor& a : rig.anchors) {
    if ((a.side > 0 && p.x <= 0) || (a.side < 0 && p.x >= 0)) continue;
    const double w = 1.0 - std::fabs(t - a.t) / rig.reach;
    if (w > kMinWeight) pulls.emplace_back(w, a.bone);
  }
  if (pulls.empty()) {
    // Outside every anchor's reach: the nearest bone takes it whole.
    const Anchor* nearest = &rig.anchors.front();
    for (const Anchor& a : rig.anchors)
      if (std::fabs(t - a.t) < std::fabs(t - nearest->t)) nearest = &a;
    return {{nearest->bone, kWeightUnits}};
  }
  std::stable_sort(pulls.begin(), pulls.end(), [](const auto& l, const auto& r) { return l.first > r.first; });
  if (pulls.size() > size_t(kMaxInfluences)) pulls.resize(kMaxInfluences);

  double sum = 0;
  for (const auto& [w, bone] : pulls) sum += w;
  std::vector<Influence> out;
  int given = 0;
  for (size_t i = 0; i < pulls.size(); ++i) {
    int units = (i + 1 == pulls.size()) ? kWeightUnits - given : int(std::lround(pulls[i].first / sum * kWeightUnits));
    if (units <= 0) continue;
    given += units;
    out.push_back({pulls[i].second, units});
  }
  if (given != kWeightUnits) out.back().weight += kWeightUnits - given;
  return out;
}

}  // namespace

int MeshBuilder::addVertex(Vec3 p, double u, double v, const Rig& rig) {
  mesh_.vertices.push_back({p, u, v, weigh(p, rig)});
  return int(mesh_.vertices.size()) - 1;
}

void MeshBuilder::triangle(int a, int b, int c) { mesh_.triangles.push_back({material_, a, b, c}); }

void MeshBuilder::quad(int a, int b, int c, int d) {
  triangle(a, b, c);
  triangle(a, c, d);
}

void MeshBuilder::tube(Vec3 a, Vec3 b, double ra, double rb, int segments, int rings, const Rig& rig) {
  const Vec3 axis = normalized(b - a);
  const Vec3 helper = std::fabs(axis.z) < 0.9 ? Vec3{0, 0, 1} : Vec3{1, 0, 0};
  const Vec3 side1 = normalized(cross(axis, helper));
  const Vec3 side2 = cross(axis, side1);
  const int base = int(mesh_.vertices.size());
  for (int i = 0; i <= rings; ++i) {
    const double s = double(i) / rings;
    const Vec3 centre = a + (b - a) * s;
    const double r = ra + (rb - ra) * s;
    for (int j = 0; j <= segments; ++j) {
      const double ang = 2 * std::numbers::pi * j / segments;
      const Vec3 p = centre + side1 * (r * std::cos(ang)) + side2 * (r * std::sin(ang));
      addVertex(p, stretchUv(double(j) / segments), stretchUv(s), rig);
    }
  }
  const int row = segments + 1;
  for (int i = 0; i < rings; ++i)
    for (int j = 0; j < segments; ++j) {
      const int v0 = base + i * row + j;
      quad(v0, v0 + 1, v0 + row + 1, v0 + row);
    }
}

void MeshBuilder::ellipsoid(Vec3 c, Vec3 radii, int segments, int rings, const Rig& rig) {
  const int base = int(mesh_.vertices.size());
  for (int i = 0; i <= rings; ++i) {
    const double polar = std::numbers::pi * i / rings;  // 0 at the top
    for (int j = 0; j <= segments; ++j) {
      const double ang = 2 * std::numbers::pi * j / segments;
      const Vec3 p{c.x + radii.x * std::sin(polar) * std::cos(ang), c.y + radii.y * std::sin(polar) * std::sin(ang),
                   c.z + radii.z * std::cos(polar)};
      addVertex(p, stretchUv(double(j) / segments), double(i) / rings, rig);
    }
  }
  const int row = segments + 1;
  for (int i = 0; i < rings; ++i)
    for (int j = 0; j < segments; ++j) {
      const int v0 = base + i * row + j;
      // The pole rows collapse to a point: one triangle there, not two.
      if (i == 0) triangle(v0, v0 + row + 1, v0 + row);
      else if (i == rings - 1) triangle(v0, v0 + 1, v0 + row);
      else quad(v0, v0 + 1, v0 + row + 1, v0 + row);
    }
}

void MeshBuilder::box(Vec3 lo, Vec3 hi, const Rig& rig) {
  const Vec3 corner[8] = {{lo.x, lo.y, lo.z}, {hi.x, lo.y, lo.z}, {hi.x, hi.y, lo.z}, {lo.x, hi.y, lo.z},
                          {lo.x, lo.y, hi.z}, {hi.x, lo.y, hi.z}, {hi.x, hi.y, hi.z}, {lo.x, hi.y, hi.z}};
  constexpr int kFaces[6][4] = {{0, 3, 2, 1}, {4, 5, 6, 7}, {0, 1, 5, 4}, {1, 2, 6, 5}, {2, 3, 7, 6}, {3, 0, 4, 7}};
  constexpr double kUv[4][2] = {{0, 0}, {1, 0}, {1, 1}, {0, 1}};
  for (const auto& face : kFaces) {
    int idx[4];
    for (int k = 0; k < 4; ++k) idx[k] = addVertex(corner[face[k]], stretchUv(kUv[k][0]), stretchUv(kUv[k][1]), rig);
    quad(idx[0], idx[1], idx[2], idx[3]);
  }
}

void MeshBuilder::sheet(Vec3 origin, Vec3 du, Vec3 dv, int nu, int nv, const Rig& rig) {
  const int base = int(mesh_.vertices.size());
  for (int i = 0; i <= nv; ++i)
    for (int j = 0; j <= nu; ++j) {
      const double s = double(j) / nu, t = double(i) / nv;
      addVertex(origin + du * s + dv * t, s, stretchUv(t), rig);
    }
  const int row = nu + 1;
  for (int i = 0; i < nv; ++i)
    for (int j = 0; j < nu; ++j) {
      const int v0 = base + i * row + j;
      quad(v0, v0 + 1, v0 + row + 1, v0 + row);
    }
}

}  // namespace ql::samplegen
