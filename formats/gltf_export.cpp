#include "formats/gltf_export.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>
#include <limits>
#include <map>
#include <ostream>
#include <streambuf>
#include <unordered_map>

#include "formats/gltf_bones.h"
#include "formats/gltf_images.h"
#include "formats/gltf_library.h"
#include "formats/gltf_text.h"

namespace ql::gltf {
namespace {

constexpr size_t kInfluencesPerSet = 4;
constexpr size_t kMaxByteJoints = 256;
constexpr size_t kMaxJoints = 65536;  // joint numbers as unsigned shorts
// Joint numbers, bone-text numbers and vertex numbers in single-precision
// attributes are exact up to this.
constexpr size_t kMaxExactFloatInteger = size_t(1) << 24;
// The largest vertex index an unsigned short index may hold: 65535 means a
// primitive restart to some readers.
constexpr size_t kMaxShortIndexVertices = 65535;
// A glTF binary's length is a 32-bit number; a 32-bit program cannot hold
// half that twice.
constexpr uint64_t kMaxFileBytes = sizeof(size_t) >= 8 ? uint64_t(UINT32_MAX) : uint64_t(INT32_MAX) / 2;
constexpr size_t kAlignment = 4;

const char kNoBoneText[] = "0";  // a vertex beyond the bone texts: no influences

// The bytes written through a std::ostream, straight into a string.
class StringSink final : public std::streambuf {
 public:
  explicit StringSink(std::string& out) : out_(out) {}

 protected:
  std::streamsize xsputn(const char* s, std::streamsize n) override {
    out_.append(s, size_t(n));
    return n;
  }
  int_type overflow(int_type c) override {
    if (!traits_type::eq_int_type(c, traits_type::eof())) out_.push_back(traits_type::to_char_type(c));
    return traits_type::not_eof(c);
  }

 private:
  std::string& out_;
};

size_t padded(size_t n) { return (n + kAlignment - 1) / kAlignment * kAlignment; }

// The buffer of the file, filled front to back, one buffer view per piece.
class BufferWriter {
 public:
  BufferWriter(tinygltf::Model& model, size_t totalBytes) : model_(model) {
    model_.buffers.emplace_back();
    model_.buffers[0].data.reserve(totalBytes);
  }

  // A buffer view of the bytes; `target` 0 for none.
  int view(const void* bytes, size_t length, int target) {
    std::vector<unsigned char>& data = model_.buffers[0].data;
    tinygltf::BufferView v;
    v.buffer = 0;
    v.byteOffset = data.size();
    v.byteLength = length;
    v.target = target;
    const auto* p = static_cast<const unsigned char*>(bytes);
    data.insert(data.end(), p, p + length);
    data.resize(padded(data.size()), 0);
    model_.bufferViews.push_back(std::move(v));
    return int(model_.bufferViews.size() - 1);
  }

  template <class T>
  int view(const std::vector<T>& values, int target) {
    return view(values.data(), values.size() * sizeof(T), target);
  }

  int accessor(int view, int componentType, int type, size_t count, bool normalized = false) {
    tinygltf::Accessor a;
    a.bufferView = view;
    a.componentType = componentType;
    a.type = type;
    a.count = count;
    a.normalized = normalized;
    model_.accessors.push_back(std::move(a));
    return int(model_.accessors.size() - 1);
  }

 private:
  tinygltf::Model& model_;
};

// The influences of one distinct bone text, as the file's attributes hold
// them: joint numbers and weights, kInfluencesPerSet per set.
struct TextInfluences {
  std::vector<Influence> influences;
  std::vector<uint16_t> joints;
  std::vector<float> weights;
};

bool finite(float v) { return std::isfinite(v); }

std::optional<ExportFault> checkTables(const ExportInput& in) {
  if (in.vertexCount == 0) return ExportFault{ExportProblem::kNoVertices};
  for (size_t r = 0; r < in.vertexCount; ++r) {
    const float* v = in.vertices + r * in.vertexStride;
    if (!finite(v[0]) || !finite(v[1]) || !finite(v[2])) return ExportFault{ExportProblem::kPositionNotFinite, int64_t(r + 1)};
    if (!finite(v[3]) || !finite(v[4])) return ExportFault{ExportProblem::kTexCoordNotFinite, int64_t(r + 1)};
  }
  for (size_t r = 0; r < in.triangleCount; ++r) {
    const int32_t* t = in.triangles + r * in.triangleStride;
    if (t[0] < 0 || size_t(t[0]) >= in.materials.size())
      return ExportFault{ExportProblem::kMaterialOutside, int64_t(r + 1), t[0], int64_t(in.materials.size())};
    for (size_t k = 1; k <= 3; ++k)
      if (t[k] < 0 || size_t(t[k]) >= in.vertexCount)
        return ExportFault{ExportProblem::kVertexIndexOutside, int64_t(r + 1), t[k], int64_t(in.vertexCount)};
  }
  return std::nullopt;
}

// The game's z-up position in glTF's y-up frame.
std::array<float, 3> turned(const float* v) { return {v[0], v[2], -v[1]}; }

std::vector<float> faceNormals(const ExportInput& in) {
  std::vector<float> n(in.vertexCount * 3, 0.0f);
  for (size_t r = 0; r < in.triangleCount; ++r) {
    const int32_t* t = in.triangles + r * in.triangleStride;
    const auto a = turned(in.vertices + size_t(t[1]) * in.vertexStride);
    const auto b = turned(in.vertices + size_t(t[2]) * in.vertexStride);
    const auto c = turned(in.vertices + size_t(t[3]) * in.vertexStride);
    const std::array<float, 3> e1{b[0] - a[0], b[1] - a[1], b[2] - a[2]};
    const std::array<float, 3> e2{c[0] - a[0], c[1] - a[1], c[2] - a[2]};
    // Not normalised: a larger face counts for more.
    const std::array<float, 3> f{e1[1] * e2[2] - e1[2] * e2[1], e1[2] * e2[0] - e1[0] * e2[2],
                                 e1[0] * e2[1] - e1[1] * e2[0]};
    for (size_t k = 1; k <= 3; ++k)
      for (size_t i = 0; i < 3; ++i) n[size_t(t[k]) * 3 + i] += f[i];
  }
  for (size_t v = 0; v < in.vertexCount; ++v) {
    float* p = &n[v * 3];
    const double length = std::sqrt(double(p[0]) * p[0] + double(p[1]) * p[1] + double(p[2]) * p[2]);
    if (!(length > 0) || !std::isfinite(length)) {
      // A vertex of no face, or of faces without area: any unit vector will do.
      p[0] = 0, p[1] = 1, p[2] = 0;
      continue;
    }
    for (size_t i = 0; i < 3; ++i) p[i] = float(p[i] / length);
  }
  return n;
}

tinygltf::Value intList(const std::vector<int>& values) {
  tinygltf::Value::Array list;
  list.reserve(values.size());
  for (int v : values) list.emplace_back(v);
  return tinygltf::Value(std::move(list));
}

std::string nodeName(int32_t bone) {
  std::string digits = std::to_string(bone);
  if (digits.size() < 2) digits.insert(0, "0");
  return kBoneNodePrefix + digits;
}

}  // namespace

std::string ExportFault::describe() const {
  switch (problem) {
    case ExportProblem::kNoVertices: return "the model has no vertex";
    case ExportProblem::kPositionNotFinite: return "vertex " + std::to_string(row) + ": a coordinate is not finite";
    case ExportProblem::kTexCoordNotFinite:
      return "vertex " + std::to_string(row) + ": a texture coordinate is not finite";
    case ExportProblem::kMaterialOutside:
      return "triangle " + std::to_string(row) + ": material " + std::to_string(value) + " is not below " +
             std::to_string(limit);
    case ExportProblem::kVertexIndexOutside:
      return "triangle " + std::to_string(row) + ": vertex index " + std::to_string(value) + " is not below " +
             std::to_string(limit);
    case ExportProblem::kTooManyBones:
      return std::to_string(value) + " bone numbers, more than " + std::to_string(limit);
    case ExportProblem::kTooLarge: return "the file would take " + std::to_string(value) + " bytes";
  }
  return "unknown problem";
}

std::optional<ExportFault> buildGlb(const ExportInput& in, ExportOutput& out) {
  if (auto fault = checkTables(in)) return fault;
  const size_t n = in.vertexCount;

  // ---- Bone texts: each distinct one once, in order of first use.
  std::vector<std::string_view> texts;
  std::vector<uint32_t> textOfVertex(n);
  {
    std::unordered_map<std::string_view, uint32_t> number;
    number.reserve(std::min<size_t>(n, 1 << 16));
    for (size_t v = 0; v < n; ++v) {
      const std::string_view text = v < in.boneTexts.size() ? in.boneTexts[v] : std::string_view(kNoBoneText);
      auto [it, added] = number.try_emplace(text, uint32_t(texts.size()));
      if (added) texts.push_back(text);
      textOfVertex[v] = it->second;
    }
  }
  std::vector<TextInfluences> perText(texts.size());
  std::vector<int32_t> bones;
  bool unweighted = false;
  for (size_t i = 0; i < texts.size(); ++i) {
    perText[i].influences = parseBoneText(texts[i]);
    if (perText[i].influences.empty()) unweighted = true;
    for (const Influence& inf : perText[i].influences) bones.push_back(inf.bone);
  }
  std::sort(bones.begin(), bones.end());
  bones.erase(std::unique(bones.begin(), bones.end()), bones.end());
  const size_t jointCount = bones.size() + (unweighted ? 1 : 0);
  if (jointCount > kMaxJoints)
    return ExportFault{ExportProblem::kTooManyBones, 0, int64_t(jointCount), int64_t(kMaxJoints)};
  const uint16_t unweightedJoint = uint16_t(bones.size());

  size_t influencesPerVertex = 1;
  for (const TextInfluences& t : perText) influencesPerVertex = std::max(influencesPerVertex, t.influences.size());
  const size_t sets = (influencesPerVertex + kInfluencesPerSet - 1) / kInfluencesPerSet;
  const size_t slots = sets * kInfluencesPerSet;
  for (TextInfluences& t : perText) {
    t.joints.assign(slots, 0);
    t.weights.assign(slots, 0.0f);
    if (t.influences.empty()) {
      t.joints[0] = unweightedJoint;
      t.weights[0] = 1.0f;
      continue;
    }
    const std::vector<float> w = fileWeights(t.influences);
    for (size_t k = 0; k < t.influences.size(); ++k) {
      t.joints[k] = uint16_t(std::lower_bound(bones.begin(), bones.end(), t.influences[k].bone) - bones.begin());
      t.weights[k] = w[k];
    }
  }

  // ---- Triangles by material, and the runs that give back their order.
  std::vector<std::vector<uint32_t>> corners(in.materials.size());
  std::vector<int> runs;  // material, count, material, count, …
  for (size_t r = 0; r < in.triangleCount; ++r) {
    const int32_t* t = in.triangles + r * in.triangleStride;
    for (size_t k = 1; k <= 3; ++k) corners[size_t(t[0])].push_back(uint32_t(t[k]));
    if (!runs.empty() && runs[runs.size() - 2] == t[0]) {
      ++runs.back();
    } else {
      runs.push_back(t[0]);
      runs.push_back(1);
    }
  }
  // Primitives are numbered over the materials that have triangles.
  std::vector<int> primitiveOf(in.materials.size(), -1);
  int primitives = 0;
  for (size_t m = 0; m < corners.size(); ++m)
    if (!corners[m].empty()) primitiveOf[m] = primitives++;
  for (size_t k = 0; k < runs.size(); k += 2) runs[k] = primitiveOf[size_t(runs[k])];

  // ---- Pictures that can go in.
  std::vector<std::optional<EmbeddedImage>> pictures(in.images.size());
  for (size_t i = 0; i < in.images.size(); ++i) {
    pictures[i] = embeddableImage(in.images[i].bytes);
    if (!pictures[i]) out.imagesNotEmbedded.push_back(i);
  }

  // ---- The buffer's size, checked before anything large is made.
  const bool shortIndices = n <= kMaxShortIndexVertices;
  const bool byteJoints = jointCount <= kMaxByteJoints;
  const bool textNumbers = texts.size() <= kMaxExactFloatInteger;
  uint64_t total = 0;
  total += padded(n * 12) * 2 + padded(n * 8);                               // positions, normals, texture coordinates
  total += sets * (padded(n * kInfluencesPerSet * (byteJoints ? 1 : 2)) + padded(n * 16));  // joints, weights
  if (textNumbers) total += padded(n * 4);
  total += uint64_t(in.triangleCount) * 3 * (shortIndices ? 2 : 4) + uint64_t(primitives) * kAlignment;
  for (const auto& p : pictures)
    if (p) total += padded(p->bytes.size());
  if (total > kMaxFileBytes) return ExportFault{ExportProblem::kTooLarge, 0, int64_t(total), int64_t(kMaxFileBytes)};

  tinygltf::Model model;
  model.asset.version = "2.0";
  model.asset.generator = "qltool";
  BufferWriter buffer(model, size_t(total));

  // ---- Vertex attributes, shared by every primitive.
  std::map<std::string, int> attributes;
  {
    std::vector<float> positions(n * 3);
    std::vector<double> lo(3, std::numeric_limits<double>::infinity()), hi(3, -std::numeric_limits<double>::infinity());
    std::vector<float> texCoords(n * 2);
    for (size_t v = 0; v < n; ++v) {
      const float* row = in.vertices + v * in.vertexStride;
      const auto p = turned(row);
      for (size_t i = 0; i < 3; ++i) {
        positions[v * 3 + i] = p[i];
        lo[i] = std::min(lo[i], double(p[i]));
        hi[i] = std::max(hi[i], double(p[i]));
      }
      texCoords[v * 2] = row[3];
      texCoords[v * 2 + 1] = float(1.0 - double(row[4]));
    }
    const int position = buffer.accessor(buffer.view(positions, TINYGLTF_TARGET_ARRAY_BUFFER),
                                         TINYGLTF_COMPONENT_TYPE_FLOAT, TINYGLTF_TYPE_VEC3, n);
    model.accessors[size_t(position)].minValues = lo;
    model.accessors[size_t(position)].maxValues = hi;
    attributes["POSITION"] = position;
    attributes["NORMAL"] = buffer.accessor(buffer.view(faceNormals(in), TINYGLTF_TARGET_ARRAY_BUFFER),
                                           TINYGLTF_COMPONENT_TYPE_FLOAT, TINYGLTF_TYPE_VEC3, n);
    attributes["TEXCOORD_0"] = buffer.accessor(buffer.view(texCoords, TINYGLTF_TARGET_ARRAY_BUFFER),
                                               TINYGLTF_COMPONENT_TYPE_FLOAT, TINYGLTF_TYPE_VEC2, n);
  }
  for (size_t s = 0; s < sets; ++s) {
    std::vector<uint8_t> joints8;
    std::vector<uint16_t> joints16;
    std::vector<float> weights(n * kInfluencesPerSet);
    (byteJoints ? joints8.resize(n * kInfluencesPerSet) : joints16.resize(n * kInfluencesPerSet));
    for (size_t v = 0; v < n; ++v) {
      const TextInfluences& t = perText[textOfVertex[v]];
      for (size_t k = 0; k < kInfluencesPerSet; ++k) {
        const size_t slot = s * kInfluencesPerSet + k;
        if (byteJoints) joints8[v * kInfluencesPerSet + k] = uint8_t(t.joints[slot]);
        else joints16[v * kInfluencesPerSet + k] = t.joints[slot];
        weights[v * kInfluencesPerSet + k] = t.weights[slot];
      }
    }
    const int jointView = byteJoints ? buffer.view(joints8, TINYGLTF_TARGET_ARRAY_BUFFER)
                                     : buffer.view(joints16, TINYGLTF_TARGET_ARRAY_BUFFER);
    const std::string set = std::to_string(s);
    attributes["JOINTS_" + set] =
        buffer.accessor(jointView, byteJoints ? TINYGLTF_COMPONENT_TYPE_UNSIGNED_BYTE : TINYGLTF_COMPONENT_TYPE_UNSIGNED_SHORT,
                        TINYGLTF_TYPE_VEC4, n);
    attributes["WEIGHTS_" + set] = buffer.accessor(buffer.view(weights, TINYGLTF_TARGET_ARRAY_BUFFER),
                                                   TINYGLTF_COMPONENT_TYPE_FLOAT, TINYGLTF_TYPE_VEC4, n);
  }
  if (textNumbers) {
    std::vector<float> numbers(n);
    for (size_t v = 0; v < n; ++v) numbers[v] = float(textOfVertex[v]);
    attributes[kBoneTextAttribute] = buffer.accessor(buffer.view(numbers, TINYGLTF_TARGET_ARRAY_BUFFER),
                                                     TINYGLTF_COMPONENT_TYPE_FLOAT, TINYGLTF_TYPE_SCALAR, n);
  }

  // ---- One primitive per material with triangles.
  tinygltf::Mesh mesh;
  mesh.name = utf8Name(in.meshName);
  for (size_t m = 0; m < corners.size(); ++m) {
    if (corners[m].empty()) continue;
    int view;
    if (shortIndices) {
      std::vector<uint16_t> indices(corners[m].begin(), corners[m].end());
      view = buffer.view(indices, TINYGLTF_TARGET_ELEMENT_ARRAY_BUFFER);
    } else {
      view = buffer.view(corners[m], TINYGLTF_TARGET_ELEMENT_ARRAY_BUFFER);
    }
    tinygltf::Primitive p;
    p.attributes = attributes;
    p.indices = buffer.accessor(view, shortIndices ? TINYGLTF_COMPONENT_TYPE_UNSIGNED_SHORT : TINYGLTF_COMPONENT_TYPE_UNSIGNED_INT,
                                TINYGLTF_TYPE_SCALAR, corners[m].size());
    p.material = int(m);
    p.mode = TINYGLTF_MODE_TRIANGLES;
    mesh.primitives.push_back(std::move(p));
    std::vector<uint32_t>().swap(corners[m]);
  }
  {
    tinygltf::Value::Object extras;
    putTextList(extras, kExtraBoneTexts, texts);
    extras[kExtraTriangleRuns] = intList(runs);
    mesh.extras = tinygltf::Value(std::move(extras));
  }
  model.meshes.push_back(std::move(mesh));

  // ---- Pictures, textures and materials.
  std::vector<int> textureOfImage(in.images.size(), -1);
  for (size_t i = 0; i < in.images.size(); ++i) {
    if (!pictures[i]) continue;
    tinygltf::Image image;
    image.name = utf8Name(in.images[i].name);
    image.mimeType = pictures[i]->mimeType;
    image.bufferView = buffer.view(pictures[i]->bytes.data(), pictures[i]->bytes.size(), 0);
    pictures[i].reset();
    model.images.push_back(std::move(image));
    tinygltf::Texture texture;
    texture.source = int(model.images.size() - 1);
    model.textures.push_back(std::move(texture));
    textureOfImage[i] = int(model.textures.size() - 1);
  }
  for (size_t m = 0; m < in.materials.size(); ++m) {
    const ExportMaterial& em = in.materials[m];
    tinygltf::Material mat;
    mat.name = utf8Name(em.name);
    mat.pbrMetallicRoughness.metallicFactor = 0;  // painted skin and cloth, not metal
    mat.pbrMetallicRoughness.roughnessFactor = 1;
    if (em.image >= 0 && size_t(em.image) < textureOfImage.size() && textureOfImage[size_t(em.image)] >= 0)
      mat.pbrMetallicRoughness.baseColorTexture.index = textureOfImage[size_t(em.image)];
    if (em.alphaMask) mat.alphaMode = "MASK";
    mat.doubleSided = em.doubleSided;
    tinygltf::Value::Object extras;
    extras[kExtraMaterialNumber] = tinygltf::Value(int(m));
    if (!em.textureName.empty()) putText(extras, kExtraMaterialTexture, em.textureName);
    if (!em.skcBlock.empty()) putText(extras, kExtraMaterialBlock, em.skcBlock);
    mat.extras = tinygltf::Value(std::move(extras));
    model.materials.push_back(std::move(mat));
  }

  // ---- The mesh's node, the skeleton and its joints.
  {
    tinygltf::Node meshNode;
    meshNode.name = model.meshes[0].name;
    meshNode.mesh = 0;
    meshNode.skin = 0;
    model.nodes.push_back(std::move(meshNode));
    tinygltf::Node root;
    root.name = "skeleton";
    model.nodes.push_back(std::move(root));
    tinygltf::Skin skin;
    skin.skeleton = 1;
    for (size_t j = 0; j < jointCount; ++j) {
      tinygltf::Node joint;
      joint.name = j < bones.size() ? nodeName(bones[j]) : std::string(kUnweightedNode);
      model.nodes.push_back(std::move(joint));
      const int node = int(model.nodes.size() - 1);
      model.nodes[1].children.push_back(node);
      skin.joints.push_back(node);
    }
    model.skins.push_back(std::move(skin));
  }

  tinygltf::Scene scene;
  scene.name = model.meshes[0].name;
  scene.nodes = {0, 1};
  {
    tinygltf::Value::Object extras;
    if (!in.skcHead.empty()) putText(extras, kExtraHead, in.skcHead);
    if (!in.modelFileName.empty()) putText(extras, kExtraModelFileName, in.modelFileName);
    std::vector<std::string_view> names;
    for (const ExportMaterial& em : in.materials) names.push_back(em.textureName);
    putTextList(extras, kExtraTextureNames, names);
    scene.extras = tinygltf::Value(std::move(extras));
  }
  model.scenes.push_back(std::move(scene));
  model.defaultScene = 0;

  out.glb.clear();
  out.glb.reserve(size_t(total) + (1 << 16));
  StringSink sink(out.glb);
  std::ostream stream(&sink);
  tinygltf::TinyGLTF writer;
  writer.WriteGltfSceneToStream(&model, stream, false, true);
  if (out.glb.size() > kMaxFileBytes)
    return ExportFault{ExportProblem::kTooLarge, 0, int64_t(out.glb.size()), int64_t(kMaxFileBytes)};
  return std::nullopt;
}

MaterialOptions materialOptions(std::string_view block) {
  MaterialOptions o;
  auto equalsIgnoringCase = [](std::string_view a, std::string_view b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
             return (x | 0x20) == (y | 0x20);
           });
  };
  size_t at = 0;
  while (at < block.size()) {
    size_t end = block.find("\r\n", at);
    if (end == std::string_view::npos) end = block.size();
    const std::string_view line = block.substr(at, end - at);
    at = end + 2;
    size_t p = 0;
    auto word = [&] {
      while (p < line.size() && (line[p] == ' ' || line[p] == '\t')) ++p;
      const size_t b = p;
      while (p < line.size() && line[p] != ' ' && line[p] != '\t') ++p;
      return line.substr(b, p - b);
    };
    const std::string_view key = word();
    const std::string_view value = word();
    if (key == "Option") o.alphaMask = equalsIgnoringCase(value, "ALPHA");
    else if (key == "TwoSide") o.doubleSided = equalsIgnoringCase(value, "TRUE");
  }
  return o;
}

std::vector<std::string_view> materialBlocks(std::string_view head) {
  std::vector<std::string_view> blocks;
  const size_t materials = head.find("Materials:");
  if (materials == std::string_view::npos) return blocks;
  size_t at = head.find("\r\n", materials);
  if (at == std::string_view::npos) return blocks;
  at += 2;
  size_t blockStart = std::string_view::npos;
  while (at < head.size()) {
    size_t end = head.find("\r\n", at);
    const size_t next = end == std::string_view::npos ? head.size() : end + 2;
    std::string_view line = head.substr(at, (end == std::string_view::npos ? head.size() : end) - at);
    while (!line.empty() && (line.front() == ' ' || line.front() == '\t')) line.remove_prefix(1);
    while (!line.empty() && (line.back() == ' ' || line.back() == '\t')) line.remove_suffix(1);
    if (line == "Material") {
      if (blockStart != std::string_view::npos) blocks.push_back(head.substr(blockStart, at - blockStart));
      blockStart = at;
    }
    at = next;
  }
  if (blockStart != std::string_view::npos) blocks.push_back(head.substr(blockStart));
  return blocks;
}

}  // namespace ql::gltf
