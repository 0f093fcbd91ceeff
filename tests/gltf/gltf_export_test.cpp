// The .glb the export writes, read back with the glTF library.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>

#include "formats/gltf_export.h"
#include "tests/gltf/gltf_test_support.h"


namespace ql::gltf {
namespace {

using test::boxModel;
using test::exported;
using test::numbers;
using test::parsed;
using test::TestModel;

const tinygltf::Primitive& firstPrimitive(const tinygltf::Model& m) { return m.meshes.at(0).primitives.at(0); }

TEST(GltfExport, PositionsStandUpAndTextureCoordinatesTurnOver) {
  const TestModel box = boxModel();
  const tinygltf::Model m = parsed(exported(box));
  const auto& attributes = firstPrimitive(m).attributes;
  const std::vector<double> pos = numbers(m, attributes.at("POSITION"));
  const std::vector<double> uv = numbers(m, attributes.at("TEXCOORD_0"));
  ASSERT_EQ(pos.size(), box.vertices.size() * 3);
  for (size_t i = 0; i < box.vertices.size(); ++i) {
    SCOPED_TRACE(i);
    const auto& v = box.vertices[i];
    // z up becomes y up: (x, y, z) is (x, z, −y).
    EXPECT_EQ(pos[i * 3], v[0]);
    EXPECT_EQ(pos[i * 3 + 1], v[2]);
    EXPECT_EQ(pos[i * 3 + 2], -v[1]);
    EXPECT_EQ(uv[i * 2], v[3]);
    EXPECT_EQ(float(uv[i * 2 + 1]), float(1.0 - v[4]));
  }
  const tinygltf::Accessor& a = m.accessors.at(size_t(attributes.at("POSITION")));
  EXPECT_EQ(a.minValues, (std::vector<double>{-1, 0, -1}));
  EXPECT_EQ(a.maxValues, (std::vector<double>{1, 2, 1}));
}

TEST(GltfExport, FrontFacesFaceOutwards) {
  // The box's faces, seen from outside, turn counter-clockwise: the volume
  // they enclose comes out positive, as glTF's front faces need it.
  const tinygltf::Model m = parsed(exported(boxModel()));
  const std::vector<double> pos = numbers(m, firstPrimitive(m).attributes.at("POSITION"));
  const std::vector<double> normals = numbers(m, firstPrimitive(m).attributes.at("NORMAL"));
  double volume = 0;
  size_t triangles = 0;
  for (const tinygltf::Primitive& p : m.meshes[0].primitives) {
    const std::vector<double> idx = numbers(m, p.indices);
    for (size_t k = 0; k + 2 < idx.size(); k += 3, ++triangles) {
      const double* a = &pos[size_t(idx[k]) * 3];
      const double* b = &pos[size_t(idx[k + 1]) * 3];
      const double* c = &pos[size_t(idx[k + 2]) * 3];
      volume += a[0] * (b[1] * c[2] - b[2] * c[1]) - a[1] * (b[0] * c[2] - b[2] * c[0]) + a[2] * (b[0] * c[1] - b[1] * c[0]);
    }
  }
  EXPECT_EQ(triangles, 12u);
  EXPECT_NEAR(volume / 6, 8.0, 1e-9);  // 2 × 2 × 2
  // Normals are of unit length and point away from the box's middle (0, 1, 0).
  for (size_t i = 0; i < normals.size() / 3; ++i) {
    const double* n = &normals[i * 3];
    EXPECT_NEAR(n[0] * n[0] + n[1] * n[1] + n[2] * n[2], 1.0, 1e-6);
    const double out = n[0] * pos[i * 3] + n[1] * (pos[i * 3 + 1] - 1) + n[2] * pos[i * 3 + 2];
    EXPECT_GT(out, 0) << i;
  }
}

TEST(GltfExport, OnePrimitivePerMaterialSharingTheVertices) {
  const tinygltf::Model m = parsed(exported(boxModel()));
  ASSERT_EQ(m.meshes.size(), 1u);
  ASSERT_EQ(m.meshes[0].primitives.size(), 2u);
  const auto& p0 = m.meshes[0].primitives[0];
  const auto& p1 = m.meshes[0].primitives[1];
  EXPECT_EQ(p0.material, 0);
  EXPECT_EQ(p1.material, 1);
  EXPECT_EQ(p0.attributes, p1.attributes);
  EXPECT_EQ(p0.mode, TINYGLTF_MODE_TRIANGLES);
  // Triangles 0, 3, 6, 9 have material 1, the rest material 0, in table order.
  EXPECT_EQ(numbers(m, p1.indices), (std::vector<double>{0, 3, 2, 4, 6, 7, 1, 2, 6, 2, 7, 6}));
  EXPECT_EQ(numbers(m, p0.indices).size(), 24u);
  // The primitive of each triangle, in table order, a bit each:
  // 1 0 0 1 0 0 1 0 | 0 1 0 0.
  EXPECT_EQ(tinygltf::base64_decode(m.meshes[0].extras.Get(kExtraTrianglePrimitives).Get<std::string>()),
            std::string("\x49\x02", 2));
  EXPECT_EQ(primitiveBits(1), 1u);
  EXPECT_EQ(primitiveBits(2), 1u);
  EXPECT_EQ(primitiveBits(3), 2u);
  EXPECT_EQ(primitiveBits(8), 3u);
  EXPECT_EQ(primitiveBits(9), 4u);
  EXPECT_EQ(primitiveBits(300), 9u);
}

TEST(GltfExport, BonesBecomeJointsAndWeights) {
  const TestModel box = boxModel();
  const tinygltf::Model m = parsed(exported(box));
  ASSERT_EQ(m.skins.size(), 1u);
  std::vector<std::string> joints;
  for (int j : m.skins[0].joints) joints.push_back(m.nodes.at(size_t(j)).name);
  // Every bone number that occurs, in order, and one joint for the vertices
  // without weights ("0", a malformed text, no text at all).
  EXPECT_EQ(joints, (std::vector<std::string>{"bone_01", "bone_02", "bone_03", "bone_04", "bone_05", "bone_08",
                                              "bone_09", "bone_11", "unweighted"}));
  EXPECT_EQ(m.nodes.at(0).skin, 0);
  EXPECT_EQ(m.nodes.at(0).mesh, 0);

  const std::vector<test::Vertex> v = test::vertices(m);
  ASSERT_EQ(v.size(), 8u);
  ASSERT_EQ(v[0].joints.size(), 8u);  // five influences need a second set
  // Weights to five decimals: the file's add up to 1 in single precision.
  auto influences = [&](size_t i) {
    std::vector<std::pair<std::string, double>> out;
    for (size_t k = 0; k < v[i].joints.size(); ++k)
      if (v[i].weights[k] != 0) out.emplace_back(joints.at(v[i].joints[k]), std::round(v[i].weights[k] * 1e5) / 1e5);
    return out;
  };
  using Expected = std::vector<std::pair<std::string, double>>;
  EXPECT_EQ(influences(0), (Expected{{"bone_05", 1.0}}));
  EXPECT_EQ(influences(1), (Expected{{"bone_11", 0.83333}, {"bone_02", 0.16667}}));
  EXPECT_EQ(influences(2).size(), 5u);
  EXPECT_EQ(influences(2)[4].first, "bone_05");  // in JOINTS_1
  for (size_t i : {3, 5, 7}) EXPECT_EQ(influences(i), (Expected{{"unweighted", 1.0}})) << i;
  for (size_t i = 0; i < v.size(); ++i) {
    double sum = 0;
    for (float w : v[i].weights) sum += w;
    EXPECT_NEAR(sum, 1.0, 1e-7) << i;
  }
  // Each vertex names its text among the distinct texts of the mesh.
  std::vector<std::string> texts;
  const tinygltf::Value& list = m.meshes[0].extras.Get(kExtraBoneTexts);
  for (size_t k = 0; k < list.ArrayLen(); ++k) texts.push_back(list.Get(int(k)).Get<std::string>());
  ASSERT_EQ(texts.size(), 7u);  // vertex 7 has the "0" of vertex 3
  for (size_t i = 0; i < v.size(); ++i)
    EXPECT_EQ(texts.at(size_t(v[i].textNumber)), i < box.bones.size() ? box.bones[i] : "0") << i;
}

TEST(GltfExport, MaterialsAndTheirTexturesAndExtras) {
  const TestModel box = boxModel();
  const tinygltf::Model m = parsed(exported(box));
  ASSERT_EQ(m.materials.size(), 2u);
  const tinygltf::Material& a = m.materials[0];
  const tinygltf::Material& b = m.materials[1];
  EXPECT_EQ(a.name, "mat1_a");
  EXPECT_EQ(a.alphaMode, "OPAQUE");
  EXPECT_TRUE(a.doubleSided);
  EXPECT_EQ(b.alphaMode, "MASK");
  EXPECT_FALSE(b.doubleSided);
  EXPECT_EQ(a.pbrMetallicRoughness.metallicFactor, 0);
  EXPECT_EQ(a.extras.Get(kExtraMaterialNumber).Get<int>(), 0);
  EXPECT_EQ(b.extras.Get(kExtraMaterialNumber).Get<int>(), 1);
  EXPECT_EQ(b.extras.Get(kExtraMaterialTexture).Get<std::string>(), "b.jpg");
  EXPECT_EQ(b.extras.Get(kExtraMaterialBlock).Get<std::string>(), box.materials[1].skcBlock);

  // The TGA as a PNG with its alpha, the JPEG as it is.
  ASSERT_EQ(m.images.size(), 2u);
  const auto imageBytes = [&](const tinygltf::Image& image) {
    const tinygltf::BufferView& v = m.bufferViews.at(size_t(image.bufferView));
    return std::string(reinterpret_cast<const char*>(m.buffers[0].data.data() + v.byteOffset), v.byteLength);
  };
  const tinygltf::Image& png = m.images.at(size_t(m.textures.at(size_t(a.pbrMetallicRoughness.baseColorTexture.index)).source));
  const tinygltf::Image& jpg = m.images.at(size_t(m.textures.at(size_t(b.pbrMetallicRoughness.baseColorTexture.index)).source));
  EXPECT_EQ(png.mimeType, "image/png");
  EXPECT_EQ(png.name, "a.tga");
  EXPECT_EQ(jpg.mimeType, "image/jpeg");
  EXPECT_EQ(imageBytes(jpg), box.images[1].bytes);
  const test::Picture picture = test::decoded(imageBytes(png));
  ASSERT_EQ(picture.pixels.size(), 16u);
  EXPECT_EQ(picture.width, 2);
  EXPECT_EQ(picture.channels, 4);
  // The TGA's first row is the picture's bottom; the PNG's first row its top:
  // its top-left pixel is the TGA's third (BGRA 255 0 0 0: blue, alpha 0).
  EXPECT_EQ(std::vector<int>(picture.pixels.begin(), picture.pixels.begin() + 4), (std::vector<int>{0, 0, 255, 0}));
  EXPECT_EQ(std::vector<int>(picture.pixels.begin() + 8, picture.pixels.begin() + 12),
            (std::vector<int>{255, 0, 0, 255}));

  // The head (its GBK author as UTF-8), the model's name and the texture names.
  const tinygltf::Value& e = m.scenes.at(0).extras;
  EXPECT_EQ(e.Get(kExtraHead).Get<std::string>().find("#\t\t\t\t作者\r\n"), 39u);
  EXPECT_EQ(e.Get(kExtraModelFileName).Get<std::string>(), "box.skc");
  EXPECT_EQ(e.Get(kExtraTextureNames).ArrayLen(), 2u);
}

TEST(GltfExport, PicturesThatCannotGoIn) {
  TestModel box = boxModel();
  box.images = {ExportImage{"a.tga", "not a picture"}, ExportImage{"b.bmp", test::bmp24()}};
  ExportOutput out;
  ASSERT_FALSE(buildGlb(box.input(), out).has_value());
  EXPECT_EQ(out.notes.imagesNotEmbedded, (std::vector<size_t>{0}));
  const tinygltf::Model m = parsed(out.glb);
  ASSERT_EQ(m.images.size(), 1u);
  EXPECT_EQ(m.images[0].mimeType, "image/png");  // the BMP, converted
  EXPECT_EQ(m.materials[0].pbrMetallicRoughness.baseColorTexture.index, -1);
  EXPECT_EQ(m.materials[1].pbrMetallicRoughness.baseColorTexture.index, 0);
}

TEST(GltfExport, ModelsItCannotWrite) {
  struct Case {
    const char* name;
    void (*change)(TestModel&);
    ExportProblem problem;
    int64_t row, value, limit;
  };
  const Case cases[] = {
      {"no vertex", [](TestModel& m) { m.vertices.clear(), m.triangles.clear(); }, ExportProblem::kNoVertices, 0, 0, 0},
      {"NaN coordinate", [](TestModel& m) { m.vertices[2][1] = std::nanf(""); }, ExportProblem::kPositionNotFinite, 3, 0, 0},
      {"infinite texture coordinate", [](TestModel& m) { m.vertices[7][4] = INFINITY; },
       ExportProblem::kTexCoordNotFinite, 8, 0, 0},
      {"material past the list", [](TestModel& m) { m.triangles[4][0] = 2; }, ExportProblem::kMaterialOutside, 5, 2, 2},
      {"negative material", [](TestModel& m) { m.triangles[0][0] = -1; }, ExportProblem::kMaterialOutside, 1, -1, 2},
      {"vertex past the table", [](TestModel& m) { m.triangles[11][3] = 8; }, ExportProblem::kVertexIndexOutside, 12, 8, 8},
      {"negative vertex", [](TestModel& m) { m.triangles[1][1] = -5; }, ExportProblem::kVertexIndexOutside, 2, -5, 8},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    TestModel m = boxModel();
    c.change(m);
    ExportOutput out;
    const auto fault = buildGlb(m.input(), out);
    ASSERT_TRUE(fault.has_value());
    EXPECT_EQ(fault->problem, c.problem);
    EXPECT_EQ(fault->row, c.row);
    EXPECT_EQ(fault->value, c.value);
    EXPECT_EQ(fault->limit, c.limit);
  }
}

TEST(GltfExport, BoneNumbersBeyondTheJoints) {
  // 65,536 joints at most: one per bone number that occurs.
  TestModel m = boxModel();
  m.vertices.resize(70000, m.vertices[0]);
  m.bones.clear();
  for (int i = 0; i < 70000; ++i) m.bones.push_back("1 " + std::to_string(i) + " 1");
  ExportOutput out;
  const auto fault = buildGlb(m.input(), out);
  ASSERT_TRUE(fault.has_value());
  EXPECT_EQ(fault->problem, ExportProblem::kTooManyBones);
  EXPECT_EQ(fault->value, 70000);
}

TEST(GltfExport, MaterialBlocksOfAHead) {
  const TestModel box = boxModel();
  const std::vector<std::string_view> blocks = materialBlocks(box.head);
  ASSERT_EQ(blocks.size(), 2u);
  EXPECT_EQ(blocks[0], "  Material\r\n    Texture   a.tga\r\n    Option    NONE\r\n    TwoSide   TRUE\r\n");
  EXPECT_EQ(blocks[1], "  Material\r\n    Texture   b.jpg\r\n    Option    ALPHA\r\n    TwoSide   FALSE\r\n");
  EXPECT_TRUE(materialBlocks("# no materials\r\n").empty());
  EXPECT_TRUE(materialBlocks("  Materials: 0\r\n").empty());

  struct Case {
    const char* block;
    bool alpha, twoSide;
  };
  const Case cases[] = {
      {"    Option    ALPHA\r\n    TwoSide   TRUE", true, true},
      {"    Option\tAlpha\r\n    TwoSide\tfalse\r\n", true, false},
      {"    Option    NONE\r\n", false, false},
      {"", false, false},
      {"    Texture   ALPHA.tga\r\n", false, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.block);
    const MaterialOptions o = materialOptions(c.block);
    EXPECT_EQ(o.alphaMask, c.alpha);
    EXPECT_EQ(o.doubleSided, c.twoSide);
  }
}

}  // namespace
}  // namespace ql::gltf
