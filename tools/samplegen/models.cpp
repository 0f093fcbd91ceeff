#include "tools/samplegen/models.h"

namespace ql::samplegen {
namespace {

// Proportions of a standing figure, feet at z = 0, top of the head near 41.
struct Body {
  double height = 1.0;  // scales every z
  double shoulderX = 5.6, wristX = 6.6, hipX = 2.0;
  double legTopR = 2.0, legBottomR = 1.3, armTopR = 1.25, armBottomR = 0.9;
  double waistR = 3.7, chestR = 4.8;
  Vec3 headRadii{3.3, 3.5, 3.8};
  int segments = 10;
  int headMaterial = 0, torsoMaterial = 0, armMaterial = 0, handMaterial = 0, legMaterial = 0, footMaterial = 0;
};

constexpr double kAnkleZ = 1.2, kHipZ = 19.0, kShoulderZ = 32.0, kNeckTopZ = 34.2, kHeadZ = 37.2, kWristZ = 19.6;

Rig limbRig(Vec3 a, Vec3 b, int upper, int lower, int end, int parent) {
  return {a, b, 0.5, {{parent, -0.15, 0}, {upper, 0.0, 0}, {lower, 0.5, 0}, {end, 1.0, 0}}};
}

void addBody(MeshBuilder& mb, const Body& b) {
  const double h = b.height;
  const Rig torsoRig{{0, 0, kHipZ * h},
                     {0, 0, kShoulderZ * h},
                     0.7,
                     {{kLeftThigh, -0.2, 1}, {kRightThigh, -0.2, -1}, {kPelvis, 0.0, 0}, {kSpine, 0.35, 0},
                      {kChest, 0.75, 0}, {kNeck, 1.0, 0}, {kLeftUpperArm, 0.95, 1}, {kRightUpperArm, 0.95, -1}}};
  const Rig headRig{{0, 0, kShoulderZ * h}, {0, 0, (kHeadZ + b.headRadii.z) * h}, 0.6, {{kNeck, 0.0, 0}, {kHead, 0.6, 0}}};

  mb.setMaterial(b.torsoMaterial);
  mb.tube({0, 0, kHipZ * h}, {0, 0, kShoulderZ * h}, b.waistR, b.chestR, b.segments + 4, 6, torsoRig);

  mb.setMaterial(b.headMaterial);
  mb.tube({0, 0, kShoulderZ * h}, {0, 0, kNeckTopZ * h}, 1.4, 1.3, b.segments, 1, headRig);
  mb.ellipsoid({0, 0, kHeadZ * h}, {b.headRadii.x, b.headRadii.y, b.headRadii.z * h}, b.segments + 4, 10, headRig);

  for (const int side : {1, -1}) {
    const bool left = side > 0;
    const Vec3 shoulder{side * b.shoulderX, 0, kShoulderZ * h}, wrist{side * b.wristX, 0, kWristZ * h};
    mb.setMaterial(b.armMaterial);
    mb.tube(shoulder, wrist, b.armTopR, b.armBottomR, b.segments - 2, 6,
            limbRig(shoulder, wrist, left ? kLeftUpperArm : kRightUpperArm, left ? kLeftForearm : kRightForearm,
                    left ? kLeftHand : kRightHand, kChest));
    mb.setMaterial(b.handMaterial);
    const Vec3 hand{side * (b.wristX + 0.2), 0, (kWristZ - 1.5) * h};
    mb.ellipsoid(hand, {0.9, 0.7, 1.5 * h}, 6, 4,
                 {hand, hand, 1.0, {{left ? kLeftHand : kRightHand, 0.0, 0}}});

    const Vec3 hip{side * b.hipX, 0, kHipZ * h}, ankle{side * b.hipX, 0, kAnkleZ * h};
    mb.setMaterial(b.legMaterial);
    mb.tube(hip, ankle, b.legTopR, b.legBottomR, b.segments, 6,
            limbRig(hip, ankle, left ? kLeftThigh : kRightThigh, left ? kLeftCalf : kRightCalf,
                    left ? kLeftFoot : kRightFoot, kPelvis));
    mb.setMaterial(b.footMaterial);
    mb.box({side * b.hipX - 1.2, -3.4, 0}, {side * b.hipX + 1.2, 1.2, kAnkleZ * h + 0.3},
           {ankle, ankle, 1.0, {{left ? kLeftFoot : kRightFoot, 0.0, 0}}});
  }
}

SampleModel hero() {
  SampleModel m{"hero01.skc", {"Marten Quill", "S_01", false, 5}, {}, {}};
  m.materials = {{"hr01head.tga"}, {"hr01body.tga"}, {"hr01arms.jpg"}, {"hr01legs.JPG"}, {"hr01feet.bmp", false, false, 0.8, 0.9, 0.2}};
  Body b;
  b.headMaterial = 0, b.torsoMaterial = 1, b.armMaterial = 2, b.handMaterial = 0, b.legMaterial = 3, b.footMaterial = 4;
  b.segments = 12;
  MeshBuilder mb;
  addBody(mb, b);
  m.mesh = mb.take();
  return m;
}

SampleModel guard() {
  // Written by another exporter: TAB colour lines, three decimals, "s_01".
  SampleModel m{"guard02.skc", {"Ilse Varrow", "s_01", true, 3}, {}, {}};
  m.materials = {{"gd02body.tga", false, false, 0.7, 0.7}, {"gd02cape.jpg", false, true, 0.7, 0.8},
                 {"gd02helm.bmp", false, false, 0.7, 0.9, 0.5}, {"gd02skin.tga", false, false, 0.7, 0.7}};
  Body b;
  b.shoulderX = 6.3, b.wristX = 7.3, b.chestR = 5.4, b.waistR = 4.2, b.legTopR = 2.3;
  b.headMaterial = 3, b.torsoMaterial = 0, b.armMaterial = 0, b.handMaterial = 3, b.legMaterial = 0, b.footMaterial = 2;
  MeshBuilder mb;
  addBody(mb, b);
  const Rig helmRig{{0, 0, 34}, {0, 0, 41.5}, 0.8, {{kHead, 0.5, 0}}};
  mb.setMaterial(2);
  mb.ellipsoid({0, 0, 38.0}, {3.9, 4.0, 2.9}, 14, 6, helmRig);
  mb.tube({0, 0, 40.4}, {0, 0, 41.6}, 0.8, 0.08, 8, 2, helmRig);
  // The cape hangs behind the back from the shoulders; two-sided material.
  mb.setMaterial(1);
  mb.sheet({-5.5, 5.6, 32.5}, {11.0, 0, 0}, {0, 1.8, -24.0}, 8, 10,
           {{0, 0, 32.5}, {0, 0, 8.5}, 0.6, {{kChest, 0.0, 0}, {kSpine, 0.4, 0}, {kPelvis, 0.9, 0}}});
  m.mesh = mb.take();
  return m;
}

SampleModel monk() {
  SampleModel m{"monk03.skc", {"Marten Quill", "S_01", false, 5}, {}, {}};
  m.materials = {{"mk03robe.JPG", false, true}, {"mk03skin.tga", false, false, 0.9, 1.0}, {"NULL", false, false, 0.6, 0.6}};
  Body b;
  b.headRadii = {3.4, 3.4, 3.6};
  b.headMaterial = 1, b.torsoMaterial = 0, b.armMaterial = 0, b.handMaterial = 1, b.legMaterial = 0, b.footMaterial = 1;
  MeshBuilder mb;
  addBody(mb, b);
  // A long robe over the legs, and a staff with no texture.
  mb.setMaterial(0);
  mb.tube({0, 0, kHipZ + 1.0}, {0, 0, 2.5}, 4.2, 6.2, 16, 6,
          {{0, 0, kHipZ}, {0, 0, 2.5}, 0.6, {{kPelvis, 0.0, 0}, {kLeftThigh, 0.3, 1}, {kRightThigh, 0.3, -1},
                                             {kLeftCalf, 0.8, 1}, {kRightCalf, 0.8, -1}}});
  mb.setMaterial(2);
  const Vec3 staffBottom{7.6, -1.0, 0.0}, staffTop{7.6, -1.0, 40.5};
  mb.tube(staffBottom, staffTop, 0.35, 0.35, 6, 8, {staffBottom, staffTop, 1.0, {{kRightHand, 0.5, 0}}});
  m.mesh = mb.take();
  return m;
}

SampleModel lady() {
  SampleModel m{"lady04.skc", {"Ilse Varrow", "S_01", false, 5}, {}, {}};
  m.materials = {{"ld04hair.tga", true, true},  {"ld04face.tga"},         {"ld04dress.jpg"},
                 {"ld04sleeve.jpg"},           {"ld04skin.bmp"},         {"ld04belt.bmp", false, false, 0.8, 0.8, 0.6},
                 {"ld04shoe.tga"}};
  Body b;
  b.height = 0.96;
  b.shoulderX = 5.0, b.wristX = 5.9, b.hipX = 1.7, b.chestR = 4.1, b.waistR = 3.1;
  b.legTopR = 1.7, b.legBottomR = 1.1, b.armTopR = 1.0, b.armBottomR = 0.75;
  b.headRadii = {3.0, 3.2, 3.6};
  b.headMaterial = 1, b.torsoMaterial = 2, b.armMaterial = 3, b.handMaterial = 4, b.legMaterial = 4, b.footMaterial = 6;
  MeshBuilder mb;
  addBody(mb, b);
  const double h = b.height;
  mb.setMaterial(5);
  mb.tube({0, 0, 19.2 * h}, {0, 0, 21.2 * h}, 3.4, 3.3, 16, 1, {{0, 0, 19 * h}, {0, 0, 22 * h}, 1.0, {{kPelvis, 0.0, 0}}});
  mb.setMaterial(2);
  mb.tube({0, 0, 19.4 * h}, {0, 0, 7.0 * h}, 3.6, 7.2, 16, 5,
          {{0, 0, 19 * h}, {0, 0, 7 * h}, 0.6, {{kPelvis, 0.0, 0}, {kLeftThigh, 0.4, 1}, {kRightThigh, 0.4, -1}}});
  // Hair: a cap over the head and a tail down the back, with see-through strands.
  const Rig hairRig{{0, 0, 33 * h}, {0, 0, 41 * h}, 0.8, {{kNeck, 0.0, 0}, {kHead, 0.7, 0}}};
  mb.setMaterial(0);
  mb.ellipsoid({0, 0.9, kHeadZ * h + 0.6}, {3.3, 3.6, 3.7 * h}, 14, 8, hairRig);
  mb.tube({0, 3.4, 38.5 * h}, {0, 4.6, 26.0 * h}, 1.3, 0.4, 8, 6, hairRig);
  m.mesh = mb.take();
  return m;
}

}  // namespace

std::vector<SampleModel> sampleModels() { return {hero(), guard(), monk(), lady()}; }

std::vector<TextureSpec> sampleTextures() {
  using F = ImageFormat;
  using P = Pattern;
  return {
      {"hr01head.tga", F::kTga, P::kRings, 0.05},
      {"hr01body.tga", F::kTga, P::kChecker, 0.60},
      {"hr01arms.jpg", F::kJpeg, P::kStripes, 0.30},
      {"hr01legs.JPG", F::kJpeg, P::kPlaid, 0.75},
      {"hr01feet.bmp", F::kBmp, P::kScales, 0.12},
      {"gd02body.tga", F::kTga, P::kScales, 0.55},
      // The model names it "gd02cape.jpg": Windows never minded the case.
      {"gd02cape.JPG", F::kJpeg, P::kStripes, 0.95},
      {"gd02helm.bmp", F::kBmp, P::kRings, 0.15},
      {"gd02skin.tga", F::kTga, P::kPlaid, 0.08},
      {"mk03robe.JPG", F::kJpeg, P::kChecker, 0.10},
      {"mk03skin.tga", F::kTga, P::kRings, 0.07},
      {"ld04hair.tga", F::kTga, P::kStripes, 0.80, true},
      {"ld04face.tga", F::kTga, P::kRings, 0.98},
      {"ld04dress.jpg", F::kJpeg, P::kScales, 0.85},
      {"ld04sleeve.jpg", F::kJpeg, P::kChecker, 0.45},
      {"ld04skin.bmp", F::kBmp, P::kPlaid, 0.06},
      {"ld04belt.bmp", F::kBmp, P::kStripes, 0.16},
      {"ld04shoe.tga", F::kTga, P::kChecker, 0.70},
  };
}

}  // namespace ql::samplegen
