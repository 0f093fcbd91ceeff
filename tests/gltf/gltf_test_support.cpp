#include "tests/gltf/gltf_test_support.h"

#include <gtest/gtest.h>

#include <cstring>
#include <map>
#include <sstream>

#include "common/stb_private.h"

namespace ql::gltf::test {

ExportInput TestModel::input() const {
  ExportInput in;
  auto* self = const_cast<TestModel*>(this);
  self->boneViews.assign(bones.begin(), bones.end());
  in.vertices = vertices.empty() ? nullptr : vertices[0].data();
  in.vertexCount = vertices.size();
  in.triangles = triangles.empty() ? nullptr : triangles[0].data();
  in.triangleCount = triangles.size();
  in.boneTexts = boneViews;
  in.materials = materials;
  in.images = images;
  in.skcHead = head;
  in.modelFileName = modelFileName;
  in.meshName = meshName;
  return in;
}

TestModel boxModel() {
  TestModel m;
  const float lo[3] = {-1, -1, 0}, hi[3] = {1, 1, 2};
  const float corner[8][3] = {{lo[0], lo[1], lo[2]}, {hi[0], lo[1], lo[2]}, {hi[0], hi[1], lo[2]},
                              {lo[0], hi[1], lo[2]}, {lo[0], lo[1], hi[2]}, {hi[0], lo[1], hi[2]},
                              {hi[0], hi[1], hi[2]}, {lo[0], hi[1], hi[2]}};
  // Texture coordinates as the game's files give them: few decimals, some
  // past the texture's edges.
  const float uv[8][2] = {{0, 0},       {1, 0},   {1, 1},      {0, 1},
                          {0.418f, 0.622f}, {-0.02f, 1.02f}, {0.5f, 0.25f}, {0.333f, 0.041f}};
  for (size_t i = 0; i < 8; ++i)
    m.vertices.push_back({corner[i][0], corner[i][1], corner[i][2], uv[i][0], uv[i][1]});
  constexpr int kFaces[6][4] = {{0, 3, 2, 1}, {4, 5, 6, 7}, {0, 1, 5, 4}, {1, 2, 6, 5}, {2, 3, 7, 6}, {3, 0, 4, 7}};
  int32_t t = 0;
  for (const auto& f : kFaces) {
    // Materials interleaved, so that the order of the triangles matters.
    m.triangles.push_back({int32_t(t++ % 3 == 0), f[0], f[1], f[2]});
    m.triangles.push_back({int32_t(t++ % 3 == 0), f[0], f[2], f[3]});
  }
  // One entry short: the last vertex has no bone text.
  m.bones = {"1 5 1.00000", "2 11 0.83333  2 0.16667", "5 1 0.2  2 0.2  3 0.2  4 0.2  5 0.2", "0",
             "1 5 1",       "garbage",                 "2 8 0.50005  9 0.49995"};
  m.head = "# Character Skin Export for Interserv\r\n#\t\t\t\t\xd7\xf7\xd5\xdf\r\n{\r\n  Materials: 2\r\n"
           "  Material\r\n    Texture   a.tga\r\n    Option    NONE\r\n    TwoSide   TRUE\r\n"
           "  Material\r\n    Texture   b.jpg\r\n    Option    ALPHA\r\n    TwoSide   FALSE\r\n";
  m.modelFileName = "box.skc";
  m.meshName = "box";
  const std::vector<std::string_view> blocks = materialBlocks(m.head);
  m.materials = {ExportMaterial{"mat1_a", "a.tga", 0, std::string(blocks.at(0)), false, true},
                 ExportMaterial{"mat2_b", "b.jpg", 1, std::string(blocks.at(1)), true, false}};
  m.images = {ExportImage{"a.tga", tga32()}, ExportImage{"b.jpg", jpeg()}};
  return m;
}

std::string exported(const TestModel& m) {
  ExportOutput out;
  const ExportInput in = m.input();
  if (auto f = buildGlb(in, out)) {
    ADD_FAILURE() << "export refused: " << f->describe();
    return {};
  }
  return out.glb;
}

namespace {
bool undecoded(tinygltf::Image*, const int, std::string*, std::string*, int, int, const unsigned char*, int, void*) {
  return true;
}
}  // namespace

tinygltf::Model parsed(const std::string& glb) {
  tinygltf::TinyGLTF loader;
  loader.SetImageLoader(undecoded, nullptr);
  tinygltf::Model model;
  std::string err, warn;
  const bool ok = loader.LoadBinaryFromMemory(&model, &err, &warn, reinterpret_cast<const unsigned char*>(glb.data()),
                                              unsigned(glb.size()), "");
  EXPECT_TRUE(ok) << err;
  return model;
}

std::string written(const tinygltf::Model& model) {
  std::ostringstream out;
  tinygltf::TinyGLTF writer;
  writer.WriteGltfSceneToStream(&model, out, false, true);
  return out.str();
}

std::vector<double> numbers(const tinygltf::Model& model, int index) {
  const tinygltf::Accessor& a = model.accessors.at(size_t(index));
  const tinygltf::BufferView& v = model.bufferViews.at(size_t(a.bufferView));
  const std::vector<unsigned char>& data = model.buffers.at(size_t(v.buffer)).data;
  const int components = tinygltf::GetNumComponentsInType(uint32_t(a.type));
  const int bytes = tinygltf::GetComponentSizeInBytes(uint32_t(a.componentType));
  const size_t stride = v.byteStride ? v.byteStride : size_t(components * bytes);
  std::vector<double> out;
  for (size_t i = 0; i < a.count; ++i) {
    for (int k = 0; k < components; ++k) {
      const unsigned char* p = &data.at(v.byteOffset + a.byteOffset + i * stride + size_t(k * bytes));
      switch (a.componentType) {
        case TINYGLTF_COMPONENT_TYPE_FLOAT: {
          float f;
          std::memcpy(&f, p, 4);
          out.push_back(f);
          break;
        }
        case TINYGLTF_COMPONENT_TYPE_UNSIGNED_BYTE: out.push_back(*p); break;
        case TINYGLTF_COMPONENT_TYPE_UNSIGNED_SHORT: {
          uint16_t s;
          std::memcpy(&s, p, 2);
          out.push_back(s);
          break;
        }
        case TINYGLTF_COMPONENT_TYPE_UNSIGNED_INT: {
          uint32_t u;
          std::memcpy(&u, p, 4);
          out.push_back(u);
          break;
        }
        default: ADD_FAILURE() << "component type " << a.componentType;
      }
    }
  }
  return out;
}

std::vector<Vertex> vertices(const tinygltf::Model& model) {
  const auto& attributes = model.meshes.at(0).primitives.at(0).attributes;
  const std::vector<double> pos = numbers(model, attributes.at("POSITION"));
  const std::vector<double> uv = numbers(model, attributes.at("TEXCOORD_0"));
  std::vector<Vertex> out(pos.size() / 3);
  for (size_t i = 0; i < out.size(); ++i) {
    out[i].position = {float(pos[i * 3]), float(pos[i * 3 + 1]), float(pos[i * 3 + 2])};
    out[i].texCoord = {float(uv[i * 2]), float(uv[i * 2 + 1])};
  }
  for (size_t s = 0; attributes.count("JOINTS_" + std::to_string(s)); ++s) {
    const std::vector<double> j = numbers(model, attributes.at("JOINTS_" + std::to_string(s)));
    const std::vector<double> w = numbers(model, attributes.at("WEIGHTS_" + std::to_string(s)));
    for (size_t i = 0; i < out.size(); ++i)
      for (size_t k = 0; k < 4; ++k) {
        out[i].joints.push_back(uint16_t(j[i * 4 + k]));
        out[i].weights.push_back(float(w[i * 4 + k]));
      }
  }
  if (attributes.count(kBoneTextAttribute)) {
    const std::vector<double> n = numbers(model, attributes.at(kBoneTextAttribute));
    for (size_t i = 0; i < out.size(); ++i) out[i].textNumber = float(n[i]);
  }
  return out;
}

namespace {

template <class T>
int addView(tinygltf::Model& m, const std::vector<T>& values) {
  std::vector<unsigned char>& data = m.buffers[0].data;
  tinygltf::BufferView v;
  v.buffer = 0;
  v.byteOffset = data.size();
  v.byteLength = values.size() * sizeof(T);
  const auto* p = reinterpret_cast<const unsigned char*>(values.data());
  data.insert(data.end(), p, p + v.byteLength);
  data.resize((data.size() + 3) / 4 * 4, 0);
  m.bufferViews.push_back(v);
  return int(m.bufferViews.size() - 1);
}

template <class T>
int addAccessor(tinygltf::Model& m, const std::vector<T>& values, int componentType, int type, size_t count) {
  tinygltf::Accessor a;
  a.bufferView = addView(m, values);
  a.componentType = componentType;
  a.type = type;
  a.count = count;
  m.accessors.push_back(a);
  return int(m.accessors.size() - 1);
}

}  // namespace

tinygltf::Model withVertices(const tinygltf::Model& model, const std::vector<size_t>& source,
                             const std::vector<Vertex>& changed, bool keepTextNumbers) {
  tinygltf::Model out = model;
  out.buffers.assign(1, tinygltf::Buffer());
  out.bufferViews.clear();
  out.accessors.clear();
  // The pictures lived in the old buffer: they go (the materials keep their
  // names and extras).
  out.images.clear();
  out.textures.clear();
  for (tinygltf::Material& m : out.materials) m.pbrMetallicRoughness.baseColorTexture = tinygltf::TextureInfo();

  std::vector<float> pos, uv, weights, textNumbers;
  std::vector<uint16_t> joints;
  const size_t slots = changed.empty() ? 0 : changed[0].joints.size();
  for (size_t i : source) {
    const Vertex& v = changed.at(i);
    pos.insert(pos.end(), v.position.begin(), v.position.end());
    uv.insert(uv.end(), v.texCoord.begin(), v.texCoord.end());
    joints.insert(joints.end(), v.joints.begin(), v.joints.end());
    weights.insert(weights.end(), v.weights.begin(), v.weights.end());
    textNumbers.push_back(v.textNumber);
  }
  std::map<std::string, int> attributes;
  attributes["POSITION"] = addAccessor(out, pos, TINYGLTF_COMPONENT_TYPE_FLOAT, TINYGLTF_TYPE_VEC3, source.size());
  attributes["TEXCOORD_0"] = addAccessor(out, uv, TINYGLTF_COMPONENT_TYPE_FLOAT, TINYGLTF_TYPE_VEC2, source.size());
  for (size_t s = 0; s * 4 < slots; ++s) {
    std::vector<uint16_t> j;
    std::vector<float> w;
    for (size_t i = 0; i < source.size(); ++i)
      for (size_t k = 0; k < 4; ++k) {
        j.push_back(joints[i * slots + s * 4 + k]);
        w.push_back(weights[i * slots + s * 4 + k]);
      }
    attributes["JOINTS_" + std::to_string(s)] =
        addAccessor(out, j, TINYGLTF_COMPONENT_TYPE_UNSIGNED_SHORT, TINYGLTF_TYPE_VEC4, source.size());
    attributes["WEIGHTS_" + std::to_string(s)] =
        addAccessor(out, w, TINYGLTF_COMPONENT_TYPE_FLOAT, TINYGLTF_TYPE_VEC4, source.size());
  }
  if (keepTextNumbers)
    attributes[kBoneTextAttribute] =
        addAccessor(out, textNumbers, TINYGLTF_COMPONENT_TYPE_FLOAT, TINYGLTF_TYPE_SCALAR, source.size());

  // The first copy of each old vertex.
  std::map<size_t, uint32_t> copyOf;
  for (size_t i = 0; i < source.size(); ++i) copyOf.try_emplace(source[i], uint32_t(i));
  for (tinygltf::Primitive& p : out.meshes.at(0).primitives) {
    const std::vector<double> old = numbers(model, p.indices);
    std::vector<uint32_t> indices;
    for (size_t k = 0; k + 2 < old.size(); k += 3) {
      std::array<uint32_t, 3> t{};
      bool kept = true;
      for (size_t c = 0; c < 3; ++c) {
        auto it = copyOf.find(size_t(old[k + c]));
        kept = kept && it != copyOf.end();
        if (kept) t[c] = it->second;
      }
      if (kept) indices.insert(indices.end(), t.begin(), t.end());
    }
    p.attributes = attributes;
    p.indices = addAccessor(out, indices, TINYGLTF_COMPONENT_TYPE_UNSIGNED_INT, TINYGLTF_TYPE_SCALAR, indices.size());
  }
  return out;
}

std::optional<std::string> MapHost::readFile(std::string_view name) {
  asked.emplace_back(name);
  auto it = files.find(std::string(name));
  if (it == files.end()) return std::nullopt;
  return it->second;
}

ImportedModel imported(const std::string& file) {
  MapHost host;
  ImportedModel m;
  if (auto f = readGltf(std::span(reinterpret_cast<const uint8_t*>(file.data()), file.size()), host, m)) {
    ADD_FAILURE() << "import refused: " << f->describe();
    return {};
  }
  return m;
}

std::optional<ImportFault> refusal(const std::string& file) {
  MapHost host;
  ImportedModel m;
  return readGltf(std::span(reinterpret_cast<const uint8_t*>(file.data()), file.size()), host, m);
}

std::string tga32() {
  // Uncompressed true-colour, 2×2, 32 bits, 8 alpha bits, rows bottom-up.
  std::string t = {0, 0, 2, 0, 0, 0, 0, 0, 0, 0, 0, 0, 2, 0, 2, 0, 32, 8};
  const unsigned char pixels[16] = {0, 0, 255, 255, 0, 255, 0, 128, 255, 0, 0, 0, 255, 255, 255, 255};
  t.append(reinterpret_cast<const char*>(pixels), sizeof pixels);
  return t;
}

std::string bmp24() {
  std::string b(54, '\0');
  auto put32 = [&](size_t at, uint32_t v) { std::memcpy(&b[at], &v, 4); };
  b[0] = 'B', b[1] = 'M';
  put32(2, 54 + 16);
  put32(10, 54);
  put32(14, 40);
  put32(18, 2);
  put32(22, 2);
  b[26] = 1;
  b[28] = 24;
  put32(34, 16);
  // Two rows of two pixels, each row padded to 8 bytes.
  const unsigned char rows[16] = {255, 0, 0, 0, 255, 0, 0, 0, 0, 0, 255, 255, 255, 255, 0, 0};
  b.append(reinterpret_cast<const char*>(rows), sizeof rows);
  return b;
}

Picture decoded(const std::string& bytes) {
  Picture p;
  stbi_uc* pixels = stbi_load_from_memory(reinterpret_cast<const stbi_uc*>(bytes.data()), int(bytes.size()), &p.width,
                                          &p.height, &p.channels, 0);
  if (!pixels) return Picture{};
  p.pixels.assign(pixels, pixels + size_t(p.width) * size_t(p.height) * size_t(p.channels));
  stbi_image_free(pixels);
  return p;
}

std::string jpeg() {
  const unsigned char rgb[12] = {255, 0, 0, 0, 255, 0, 0, 0, 255, 255, 255, 255};
  std::string out;
  stbi_write_jpg_to_func(
      [](void* context, void* data, int size) { static_cast<std::string*>(context)->append(static_cast<char*>(data), size_t(size)); },
      &out, 2, 2, 3, rgb, 90);
  return out;
}

}  // namespace ql::gltf::test
