// The glTF import: our own files back, files other tools changed or wrote,
// and files it must refuse.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <random>
#include <sstream>

#include "formats/gltf_import.h"
#include "tests/gltf/gltf_test_support.h"

namespace ql::gltf {
namespace {

using test::boxModel;
using test::exported;
using test::imported;
using test::parsed;
using test::refusal;
using test::TestModel;
using test::written;

std::vector<std::string> boneTexts(const ImportedModel& m) {
  std::vector<std::string> out;
  for (size_t k = 0; k < m.vertexCount(); ++k) out.emplace_back(m.boneText(k));
  return out;
}

// The box's bone texts as the export numbered them (the last vertex has none: "0").
std::vector<std::string> boxTexts() {
  std::vector<std::string> t = boxModel().bones;
  t.push_back("0");
  return t;
}

TEST(GltfImport, OurOwnFileGivesTheModelBack) {
  const TestModel box = boxModel();
  const ImportedModel m = imported(exported(box));
  ASSERT_EQ(m.vertexCount(), box.vertices.size());
  for (size_t i = 0; i < box.vertices.size(); ++i)
    for (size_t c = 0; c < 5; ++c) EXPECT_EQ(m.vertices[i * 5 + c], box.vertices[i][c]) << i << "," << c;
  ASSERT_EQ(m.triangleCount(), box.triangles.size());
  for (size_t t = 0; t < box.triangles.size(); ++t)
    for (size_t c = 0; c < 4; ++c) EXPECT_EQ(m.triangles[t * 4 + c], box.triangles[t][c]) << t << "," << c;
  EXPECT_EQ(boneTexts(m), boxTexts());
  EXPECT_EQ(m.boneTextsKept, 8u);
  EXPECT_EQ(m.boneTextsRebuilt, 0u);
  EXPECT_EQ(m.skcHead, box.head);
  EXPECT_EQ(m.modelFileName, "box.skc");
  ASSERT_EQ(m.materials.size(), 2u);
  EXPECT_EQ(m.materials[0].name, "mat1_a");
  EXPECT_EQ(m.materials[0].textureName, "a.tga");
  EXPECT_EQ(m.materials[1].textureName, "b.jpg");
}

TEST(GltfImport, TextsThatAreNotExactGbkComeBackByte_for_byte) {
  TestModel box = boxModel();
  box.head = "  Materials: 2\r\n\x81\x20 half a character\r\n";  // 0x81 0x20 is no GBK character
  box.modelFileName = "\xff.skc";
  box.bones[0] = "1 5 1.00000 \x80";
  const std::string glb = exported(box);
  const tinygltf::Model parsedFile = parsed(glb);
  EXPECT_TRUE(parsedFile.scenes.at(0).extras.Has(std::string(kExtraHead) + kExtraBytesSuffix));
  const ImportedModel m = imported(glb);
  EXPECT_EQ(m.skcHead, box.head);
  EXPECT_EQ(m.modelFileName, box.modelFileName);
  EXPECT_EQ(m.boneText(0), box.bones[0]);
}

// The export's file with its vertices changed as an editor would: new vertex
// i is old vertex source[i].
std::string edited(const std::vector<size_t>& source, bool keepTextNumbers,
                   void (*change)(std::vector<test::Vertex>&) = nullptr) {
  const tinygltf::Model original = parsed(exported(boxModel()));
  std::vector<test::Vertex> v = test::vertices(original);
  if (change) change(v);
  return written(test::withVertices(original, source, v, keepTextNumbers));
}

TEST(GltfImport, VerticesDeletedDuplicatedAndReorderedKeepTheirWeights) {
  // Vertex 6 gone, vertex 1 twice, everything in another order.
  const std::vector<size_t> source = {7, 5, 4, 3, 2, 1, 0, 1};
  const TestModel box = boxModel();
  const std::vector<std::string> texts = boxTexts();
  for (bool numbered : {true, false}) {
    SCOPED_TRACE(numbered ? "with _SKC_BONES" : "without _SKC_BONES");
    const ImportedModel m = imported(edited(source, numbered));
    ASSERT_EQ(m.vertexCount(), source.size());
    for (size_t i = 0; i < source.size(); ++i) {
      SCOPED_TRACE(i);
      for (size_t c = 0; c < 5; ++c) EXPECT_EQ(m.vertices[i * 5 + c], box.vertices[source[i]][c]);
      const std::string& own = texts[source[i]];
      // Without the numbers, a text that means what an earlier one means
      // ("1 5 1" and "1 5 1.00000"; "garbage" and "0": no weights) comes
      // back as that earlier one.
      const std::string expected = numbered ? own : own == "1 5 1" ? "1 5 1.00000" : own == "garbage" ? "0" : own;
      EXPECT_EQ(m.boneText(i), expected);
    }
    EXPECT_EQ(m.boneTextsKept, source.size());
    // The five triangles around vertex 6 went with it; the head stays.
    EXPECT_EQ(m.triangleCount(), 12u - 5u);
    EXPECT_EQ(m.skcHead, box.head);
    for (size_t t = 0; t < m.triangleCount(); ++t)
      for (size_t c = 1; c <= 3; ++c) EXPECT_LT(size_t(m.triangles[t * 4 + c]), source.size());
  }
}

TEST(GltfImport, ChangedWeightsGetATextInTheGameFormat) {
  const ImportedModel m = imported(edited({0, 1, 2}, true, [](std::vector<test::Vertex>& v) {
    // Vertex 1 (bone_11 0.83333, bone_02 0.16667) repainted: 0.6 and 0.4.
    v[1].weights[0] = 0.6f;
    v[1].weights[1] = 0.4f;
    // Vertex 0 (bone_05 1.0): a sliver of 0.000001 more of bone_01 rounds away.
    v[0].joints[1] = 0;
    v[0].weights[1] = 0.000001f;
  }));
  EXPECT_EQ(m.boneText(0), "1 5 1.00000");
  EXPECT_EQ(m.boneText(1), "2 11 0.60000  2 0.40000");
  EXPECT_EQ(m.boneText(2), "5 1 0.2  2 0.2  3 0.2  4 0.2  5 0.2");
  EXPECT_EQ(m.boneTextsKept, 2u);
  EXPECT_EQ(m.boneTextsRebuilt, 1u);
}

TEST(GltfImport, FilesWithoutOurExtras) {
  // As a tool that drops extras writes the file: the materials' names and
  // pictures are all that is left of them; no head, no model name.
  tinygltf::Model file = parsed(exported(boxModel()));
  for (auto& s : file.scenes) s.extras = tinygltf::Value();
  for (auto& mesh : file.meshes) mesh.extras = tinygltf::Value();
  for (auto& mat : file.materials) mat.extras = tinygltf::Value();
  file.meshes[0].primitives[1].material = -1;
  const ImportedModel m = imported(written(file));
  EXPECT_FALSE(m.skcHead.has_value());
  EXPECT_FALSE(m.modelFileName.has_value());
  ASSERT_EQ(m.materials.size(), 3u);
  EXPECT_EQ(m.materials[0].name, "mat1_a");
  EXPECT_EQ(m.materials[0].textureName, "a.tga");  // the picture's name
  EXPECT_EQ(m.materials[1].textureName, "b.jpg");
  EXPECT_EQ(m.materials[2].name, "");  // for the primitive without a material
  // Primitive by primitive: the export's order of the triangles is gone.
  ASSERT_EQ(m.triangleCount(), 12u);
  for (size_t t = 0; t < 8; ++t) EXPECT_EQ(m.triangles[t * 4], 0) << t;
  for (size_t t = 8; t < 12; ++t) EXPECT_EQ(m.triangles[t * 4], 2) << t;
  // Bone texts from the weights alone, in the game's format.
  EXPECT_EQ(m.boneText(0), "1 5 1.00000");
  EXPECT_EQ(m.boneText(1), "2 11 0.83333  2 0.16667");
  EXPECT_EQ(m.boneText(2), "5 1 0.20000  2 0.20000  3 0.20000  4 0.20000  5 0.20000");
  EXPECT_EQ(m.boneText(3), "0");
  EXPECT_EQ(m.boneTextsRebuilt, 8u);
}

// A model of four vertices in one primitive of the given mode and indices.
std::string fourVertices(int mode, const std::vector<uint16_t>& indices) {
  tinygltf::Model m;
  m.asset.version = "2.0";
  m.buffers.emplace_back();
  const float pos[] = {0, 0, 0, 1, 0, 0, 0, 1, 0, 1, 1, 0, 2, 2, 2, 3, 3, 3};
  auto add = [&](const void* bytes, size_t length) {
    std::vector<unsigned char>& d = m.buffers[0].data;
    tinygltf::BufferView v;
    v.buffer = 0;
    v.byteOffset = d.size();
    v.byteLength = length;
    d.insert(d.end(), static_cast<const unsigned char*>(bytes), static_cast<const unsigned char*>(bytes) + length);
    d.resize((d.size() + 3) / 4 * 4);
    m.bufferViews.push_back(v);
    return int(m.bufferViews.size() - 1);
  };
  tinygltf::Accessor a;
  a.bufferView = add(pos, sizeof pos);
  a.componentType = TINYGLTF_COMPONENT_TYPE_FLOAT;
  a.type = TINYGLTF_TYPE_VEC3;
  a.count = 6;
  m.accessors.push_back(a);
  tinygltf::Primitive p;
  p.attributes["POSITION"] = 0;
  p.mode = mode;
  if (!indices.empty()) {
    tinygltf::Accessor i;
    i.bufferView = add(indices.data(), indices.size() * 2);
    i.componentType = TINYGLTF_COMPONENT_TYPE_UNSIGNED_SHORT;
    i.type = TINYGLTF_TYPE_SCALAR;
    i.count = indices.size();
    m.accessors.push_back(i);
    p.indices = 1;
  }
  m.meshes.emplace_back();
  m.meshes[0].primitives.push_back(p);
  m.nodes.emplace_back();
  m.nodes[0].mesh = 0;
  m.scenes.emplace_back();
  m.scenes[0].nodes = {0};
  return written(m);
}

TEST(GltfImport, TriangleListsStripsAndFans) {
  struct Case {
    const char* name;
    int mode;
    std::vector<uint16_t> indices;
    std::vector<int32_t> corners;  // three per triangle
  };
  const Case cases[] = {
      {"list", TINYGLTF_MODE_TRIANGLES, {0, 1, 2, 2, 1, 3}, {0, 1, 2, 2, 1, 3}},
      {"list without indices", TINYGLTF_MODE_TRIANGLES, {}, {0, 1, 2, 3, 4, 5}},
      {"list with two corners left over", TINYGLTF_MODE_TRIANGLES, {0, 1, 2, 3, 1}, {0, 1, 2}},
      {"strip", TINYGLTF_MODE_TRIANGLE_STRIP, {0, 1, 2, 3}, {0, 1, 2, 2, 1, 3}},
      {"fan", TINYGLTF_MODE_TRIANGLE_FAN, {0, 1, 3, 2}, {1, 3, 0, 3, 2, 0}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const ImportedModel m = imported(fourVertices(c.mode, c.indices));
    ASSERT_EQ(m.triangleCount() * 3, c.corners.size());
    for (size_t t = 0; t < m.triangleCount(); ++t) {
      EXPECT_EQ(m.triangles[t * 4], 0);  // no material: the one made for it
      for (size_t k = 0; k < 3; ++k) EXPECT_EQ(m.triangles[t * 4 + 1 + k], c.corners[t * 3 + k]);
    }
    ASSERT_EQ(m.materials.size(), 1u);
    EXPECT_EQ(m.vertexCount(), 6u);
    EXPECT_EQ(m.boneText(0), "0");  // no skin
    // (0, 1, 0) of glTF is the game's (0, 0, 1).
    EXPECT_EQ(m.vertices[2 * 5 + 2], 1.0f);
  }
}

TEST(GltfImport, GltfWithOutsideBuffers) {
  tinygltf::Model m = parsed(fourVertices(TINYGLTF_MODE_TRIANGLES, {0, 1, 2}));
  const std::string bin(m.buffers[0].data.begin(), m.buffers[0].data.end());
  auto asGltf = [&](const std::string& uri) {
    tinygltf::Model copy = m;
    copy.buffers[0].data.clear();
    std::string json = [&] {
      std::ostringstream out;
      tinygltf::TinyGLTF writer;
      writer.WriteGltfSceneToStream(&copy, out, false, false);
      return out.str();
    }();
    // The writer gives the buffer no length when it is empty here: name the file and its length.
    const std::string from = "{\"byteLength\":0";
    const size_t at = json.find(from);
    EXPECT_NE(at, std::string::npos);
    json.replace(at, from.size(), "{\"byteLength\":" + std::to_string(bin.size()) + ",\"uri\":\"" + uri + "\"");
    const size_t data = json.find(",\"uri\":\"data:");
    if (data != std::string::npos) json.erase(data, json.find('"', data + 8) - data + 1);
    return json;
  };
  {
    test::MapHost host;
    host.files["sub/box data.bin"] = bin;
    ImportedModel out;
    const std::string json = asGltf("sub/box%20data.bin");
    const auto f = readGltf(std::span(reinterpret_cast<const uint8_t*>(json.data()), json.size()), host, out);
    ASSERT_FALSE(f.has_value()) << f->describe();
    EXPECT_EQ(out.triangleCount(), 1u);
    EXPECT_EQ(host.asked, (std::vector<std::string>{"sub/box data.bin"}));
  }
  for (const char* outside : {"../box.bin", "/etc/box.bin", "C:/box.bin", "sub/../../box.bin"}) {
    SCOPED_TRACE(outside);
    test::MapHost host;
    host.files[outside] = bin;
    ImportedModel out;
    const std::string json = asGltf(outside);
    const auto f = readGltf(std::span(reinterpret_cast<const uint8_t*>(json.data()), json.size()), host, out);
    ASSERT_TRUE(f.has_value());
    EXPECT_EQ(f->problem, ImportProblem::kLibrary);
    EXPECT_TRUE(host.asked.empty());
  }
}

// ---- Files it must refuse ---------------------------------------------------------

void put32(std::string& s, size_t at, uint32_t v) { std::memcpy(&s[at], &v, 4); }

// The export's file with one thing changed in what the library read.
std::string changed(void (*change)(tinygltf::Model&)) {
  tinygltf::Model m = parsed(exported(boxModel()));
  change(m);
  return written(m);
}

int positionAccessor(const tinygltf::Model& m) { return m.meshes[0].primitives[0].attributes.at("POSITION"); }

void setFloat(tinygltf::Model& m, int accessor, size_t element, float value) {
  const tinygltf::Accessor& a = m.accessors[size_t(accessor)];
  const tinygltf::BufferView& v = m.bufferViews[size_t(a.bufferView)];
  std::memcpy(&m.buffers[0].data[v.byteOffset + a.byteOffset + element * 4], &value, 4);
}

TEST(GltfImport, HostileFilesAreRefused) {
  const std::string glb = exported(boxModel());
  struct Case {
    const char* name;
    std::string file;
    ImportProblem problem;
  };
  std::vector<Case> cases;
  cases.push_back({"truncated", glb.substr(0, glb.size() / 2), ImportProblem::kLengthPastFile});
  cases.push_back({"header only", glb.substr(0, 10), ImportProblem::kTooShort});
  {
    std::string f = glb;
    put32(f, 8, 0x80000000u);  // 2 GB declared
    cases.push_back({"2 GB declared", f, ImportProblem::kLengthPastFile});
  }
  {
    std::string f = glb;
    put32(f, 4, 1);
    cases.push_back({"version 1", f, ImportProblem::kVersion});
  }
  {
    std::string f = glb;
    put32(f, 12, uint32_t(glb.size()));
    cases.push_back({"JSON chunk past the file", f, ImportProblem::kChunk});
  }
  {
    std::string f = glb;
    uint32_t json;
    std::memcpy(&json, &f[12], 4);
    put32(f, 20 + json, uint32_t(glb.size()));  // the BIN chunk's length
    cases.push_back({"BIN chunk past the file", f, ImportProblem::kChunk});
  }
  cases.push_back({"buffer view past its buffer",
                   changed([](tinygltf::Model& m) { m.bufferViews[0].byteLength += 4096; }),
                   ImportProblem::kBufferViewOutside});
  cases.push_back({"picture's buffer view far past its buffer",
                   changed([](tinygltf::Model& m) { m.bufferViews[size_t(m.images[0].bufferView)].byteOffset = 1ull << 40; }),
                   ImportProblem::kBufferViewOutside});
  cases.push_back({"accessor count over the buffer",
                   changed([](tinygltf::Model& m) { m.accessors[size_t(positionAccessor(m))].count = 1u << 30; }),
                   ImportProblem::kAccessorOutside});
  cases.push_back({"accessor offset past its view",
                   changed([](tinygltf::Model& m) { m.accessors[size_t(positionAccessor(m))].byteOffset = 1u << 30; }),
                   ImportProblem::kAccessorOutside});
  cases.push_back({"stride below the element",
                   changed([](tinygltf::Model& m) {
                     m.bufferViews[size_t(m.accessors[size_t(positionAccessor(m))].bufferView)].byteStride = 4;
                   }),
                   ImportProblem::kAccessorOutside});
  cases.push_back({"index past the vertices", changed([](tinygltf::Model& m) {
                     const tinygltf::Accessor& a = m.accessors[size_t(m.meshes[0].primitives[0].indices)];
                     const uint16_t bad = 999;
                     std::memcpy(&m.buffers[0].data[m.bufferViews[size_t(a.bufferView)].byteOffset + 2], &bad, 2);
                   }),
                   ImportProblem::kIndexOutside});
  cases.push_back({"points", changed([](tinygltf::Model& m) { m.meshes[0].primitives[1].mode = TINYGLTF_MODE_POINTS; }),
                   ImportProblem::kNotTriangles});
  cases.push_back({"lines", changed([](tinygltf::Model& m) { m.meshes[0].primitives[0].mode = TINYGLTF_MODE_LINE; }),
                   ImportProblem::kNotTriangles});
  cases.push_back({"NaN weight", changed([](tinygltf::Model& m) {
                     setFloat(m, m.meshes[0].primitives[0].attributes.at("WEIGHTS_0"), 5, std::nanf(""));
                   }),
                   ImportProblem::kBadWeight});
  cases.push_back({"negative weight", changed([](tinygltf::Model& m) {
                     setFloat(m, m.meshes[0].primitives[0].attributes.at("WEIGHTS_1"), 0, -0.5f);
                   }),
                   ImportProblem::kBadWeight});
  cases.push_back({"NaN position", changed([](tinygltf::Model& m) { setFloat(m, positionAccessor(m), 4, std::nanf("")); }),
                   ImportProblem::kNotFinite});
  cases.push_back({"weighted joint of another name",
                   changed([](tinygltf::Model& m) { m.nodes[size_t(m.skins[0].joints[4])].name = "Bone.001"; }),
                   ImportProblem::kUnknownJoint});
  cases.push_back({"joint past the skin", changed([](tinygltf::Model& m) { m.skins[0].joints.resize(3); }),
                   ImportProblem::kJointOutside});
  cases.push_back({"positions of two components", changed([](tinygltf::Model& m) {
                     m.accessors[size_t(positionAccessor(m))].type = TINYGLTF_TYPE_VEC2;
                     m.accessors[size_t(positionAccessor(m))].minValues.resize(2);
                     m.accessors[size_t(positionAccessor(m))].maxValues.resize(2);
                   }),
                   ImportProblem::kAccessorKind});
  cases.push_back({"fewer texture coordinates than positions", changed([](tinygltf::Model& m) {
                     m.accessors[size_t(m.meshes[0].primitives[0].attributes.at("TEXCOORD_0"))].count = 3;
                   }),
                   ImportProblem::kCountsDiffer});
  cases.push_back({"material past the materials",
                   changed([](tinygltf::Model& m) { m.meshes[0].primitives[0].material = 7; }),
                   ImportProblem::kMaterialOutside});
  cases.push_back({"no mesh", changed([](tinygltf::Model& m) {
                     m.meshes.clear();
                     m.nodes[0].mesh = -1;
                     m.nodes[0].skin = -1;
                   }),
                   ImportProblem::kNoTriangles});
  cases.push_back({"not glTF at all", std::string("\x89PNG\r\n\x1a\n and more"), ImportProblem::kNotGlb});
  cases.push_back({"empty", std::string(), ImportProblem::kTooShort});
  cases.push_back({"broken JSON", std::string("{\"asset\": {\"version\": \"2.0\"},"), ImportProblem::kLibrary});
  cases.push_back({"JSON of no model", std::string("{\"asset\": {\"version\": \"2.0\"}}"), ImportProblem::kNoTriangles});

  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const auto f = refusal(c.file);
    ASSERT_TRUE(f.has_value());
    EXPECT_EQ(f->problem, c.problem) << f->describe();
    EXPECT_FALSE(f->detail.empty());
  }
}

TEST(GltfImport, SparseAccessorsAreRefused) {
  std::string json = R"({"asset":{"version":"2.0"},"accessors":[{"componentType":5126,"count":3,"type":"VEC3",
    "sparse":{"count":1,"indices":{"bufferView":0,"componentType":5123},"values":{"bufferView":0}}}],
    "buffers":[{"byteLength":16,"uri":"data:application/octet-stream;base64,AAAAAAAAAAAAAAAAAAAAAA=="}],
    "bufferViews":[{"buffer":0,"byteLength":16}],
    "meshes":[{"primitives":[{"attributes":{"POSITION":0}}]}]})";
  const auto f = refusal(json);
  ASSERT_TRUE(f.has_value());
  EXPECT_EQ(f->problem, ImportProblem::kSparse) << f->describe();
}

TEST(GltfImport, TextureCoordinatesComeBackExactly) {
  // The values the game's files hold (few decimals) return as they were,
  // though 1 − v rounds away a bit of each below 0.5.
  const float values[] = {0, 1, 0.418f, 0.622f, -0.02f, 1.02f, 0.333f, 0.041f, 0.001f, 1e-5f, 0.99999f, 0.5f,
                          0.25f, 0.1f, 3.75f, -1.5f, 0.123457f, 0.3f, 1e-4f};
  for (float v : values) EXPECT_EQ(gameV(float(1.0 - double(v))), v) << v;
  // Whatever the stored value, the one given back turns into it again.
  std::mt19937 random(20);
  std::uniform_real_distribution<float> any(-2.0f, 2.0f);
  for (int i = 0; i < 10000; ++i) {
    const float v = any(random);
    const float stored = float(1.0 - double(v));
    EXPECT_EQ(float(1.0 - double(gameV(stored))), stored) << v;
  }
}

}  // namespace
}  // namespace ql::gltf
