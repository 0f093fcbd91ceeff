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

// The bytes the library writes to a std::ostream, straight to the sink.
class SinkBuffer final : public std::streambuf {
 public:
  explicit SinkBuffer(GlbSink& out) : out_(out) {}
  uint64_t written() const { return written_; }

 protected:
  std::streamsize xsputn(const char* s, std::streamsize n) override {
    out_.write(std::string_view(s, size_t(n)));
    written_ += uint64_t(n);
    return n;
  }
  int_type overflow(int_type c) override {
    if (traits_type::eq_int_type(c, traits_type::eof())) return traits_type::not_eof(c);
    const char ch = traits_type::to_char_type(c);
    xsputn(&ch, 1);
    return c;
  }

 private:
  GlbSink& out_;
  uint64_t written_ = 0;
};

class StringSink final : public GlbSink {
 public:
  explicit StringSink(std::string& out) : out_(out) {}
  void reserve(size_t bytes) override { out_.reserve(bytes); }
  void write(std::string_view bytes) override { out_.append(bytes); }

 private:
  std::string& out_;
};

// Room for the JSON beside the buffer.
constexpr size_t kJsonEstimate = 1 << 16;

size_t padded(size_t n) { return (n + kAlignment - 1) / kAlignment * kAlignment; }

// The buffer of the file, filled front to back, one buffer view per piece.
// Pieces are written in place: the buffer is reserved whole up front, and
// each piece is made at its end and filled there.
class BufferWriter {
 public:
  BufferWriter(tinygltf::Model& model, size_t totalBytes) : model_(model) {
    model_.buffers.emplace_back();
    model_.buffers[0].data.reserve(totalBytes);
  }

  // Room for `count` elements at the buffer's end, in a view of its own;
  // `target` 0 for none.
  template <class T>
  class Region {
   public:
    Region(std::vector<unsigned char>& data, size_t offset) : data_(data), offset_(offset) {}
    void set(size_t i, T value) { std::memcpy(data_.data() + offset_ + i * sizeof(T), &value, sizeof(T)); }
    T get(size_t i) const {
      T value;
      std::memcpy(&value, data_.data() + offset_ + i * sizeof(T), sizeof(T));
      return value;
    }

   private:
    std::vector<unsigned char>& data_;
    size_t offset_;
  };
  template <class T>
  Region<T> region(size_t count, int target, int& viewIndex) {
    std::vector<unsigned char>& data = model_.buffers[0].data;
    const size_t offset = data.size();
    viewIndex = addView(offset, count * sizeof(T), target);
    data.resize(padded(offset + count * sizeof(T)), 0);
    return Region<T>(data, offset);
  }

  int view(const void* bytes, size_t length, int target) {
    std::vector<unsigned char>& data = model_.buffers[0].data;
    const size_t offset = data.size();
    const auto* p = static_cast<const unsigned char*>(bytes);
    data.insert(data.end(), p, p + length);
    data.resize(padded(data.size()), 0);
    return addView(offset, length, target);
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
  int addView(size_t offset, size_t length, int target) {
    tinygltf::BufferView v;
    v.buffer = 0;
    v.byteOffset = offset;
    v.byteLength = length;
    v.target = target;
    model_.bufferViews.push_back(std::move(v));
    return int(model_.bufferViews.size() - 1);
  }

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

// Normals from the faces around each vertex, accumulated in place in the
// buffer's region for them.
template <class Region>
void faceNormals(const ExportInput& in, Region& n) {
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
      for (size_t i = 0; i < 3; ++i) n.set(size_t(t[k]) * 3 + i, n.get(size_t(t[k]) * 3 + i) + f[i]);
  }
  for (size_t v = 0; v < in.vertexCount; ++v) {
    const double x = n.get(v * 3), y = n.get(v * 3 + 1), z = n.get(v * 3 + 2);
    const double length = std::sqrt(x * x + y * y + z * z);
    if (!(length > 0) || !std::isfinite(length)) {
      // A vertex of no face, or of faces without area: any unit vector will do.
      n.set(v * 3, 0), n.set(v * 3 + 1, 1), n.set(v * 3 + 2, 0);
      continue;
    }
    n.set(v * 3, float(x / length)), n.set(v * 3 + 1, float(y / length)), n.set(v * 3 + 2, float(z / length));
  }
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
  out.glb.clear();
  out.notes = ExportNotes{};
  StringSink sink(out.glb);
  return writeGlb(in, sink, out.notes);
}

std::optional<ExportFault> writeGlb(const ExportInput& in, GlbSink& out, ExportNotes& notes) {
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

  // ---- Triangles by material, and the primitive of each in table order.
  std::vector<size_t> trianglesOf(in.materials.size(), 0);
  for (size_t r = 0; r < in.triangleCount; ++r) ++trianglesOf[size_t(in.triangles[r * in.triangleStride])];
  // Primitives are numbered over the materials that have triangles.
  std::vector<uint16_t> primitiveOf(in.materials.size(), 0);
  size_t primitives = 0;
  for (size_t m = 0; m < trianglesOf.size(); ++m)
    if (trianglesOf[m] != 0) primitiveOf[m] = uint16_t(primitives++);
  const unsigned bits = primitiveBits(primitives);
  std::string order((in.triangleCount * bits + 7) / 8, '\0');
  for (size_t r = 0; r < in.triangleCount; ++r) {
    const uint32_t p = primitiveOf[size_t(in.triangles[r * in.triangleStride])];
    for (unsigned b = 0; b < bits; ++b)
      if (p >> b & 1) order[(r * bits + b) / 8] = char(order[(r * bits + b) / 8] | 1 << ((r * bits + b) % 8));
  }

  // ---- Pictures that can go in.
  std::vector<std::optional<EmbeddedImage>> pictures(in.images.size());
  for (size_t i = 0; i < in.images.size(); ++i) {
    pictures[i] = embeddableImage(in.images[i].bytes);
    if (!pictures[i]) notes.imagesNotEmbedded.push_back(i);
  }

  // ---- The buffer's size, checked before anything large is made.
  const bool shortIndices = n <= kMaxShortIndexVertices;
  const bool byteJoints = jointCount <= kMaxByteJoints;
  const bool textNumbers = texts.size() <= kMaxExactFloatInteger;
  // In 64 bits: a 32-bit program's sizes could wrap before they are compared.
  const uint64_t vertices = n;
  uint64_t total = 0;
  total += vertices * (12 + 12 + 8);                                             // positions, normals, texture coordinates
  total += sets * vertices * (kInfluencesPerSet * (byteJoints ? 1 : 2) + 16);  // joints, weights
  if (textNumbers) total += vertices * 4;
  total += uint64_t(in.triangleCount) * 3 * (shortIndices ? 2 : 4);
  for (const auto& p : pictures)
    if (p) total += p->bytes.size();
  total += (uint64_t(8 + sets * 2) + uint64_t(primitives) + in.images.size()) * kAlignment;  // padding of each view
  if (total > kMaxFileBytes) return ExportFault{ExportProblem::kTooLarge, 0, int64_t(total), int64_t(kMaxFileBytes)};

  tinygltf::Model model;
  model.asset.version = "2.0";
  model.asset.generator = "qltool";
  BufferWriter buffer(model, size_t(total));

  // ---- Vertex attributes, shared by every primitive.
  std::map<std::string, int> attributes;
  {
    int positionView, texCoordView;
    auto positions = buffer.region<float>(n * 3, TINYGLTF_TARGET_ARRAY_BUFFER, positionView);
    auto texCoords = buffer.region<float>(n * 2, TINYGLTF_TARGET_ARRAY_BUFFER, texCoordView);
    std::vector<double> lo(3, std::numeric_limits<double>::infinity()), hi(3, -std::numeric_limits<double>::infinity());
    for (size_t v = 0; v < n; ++v) {
      const float* row = in.vertices + v * in.vertexStride;
      const auto p = turned(row);
      for (size_t i = 0; i < 3; ++i) {
        positions.set(v * 3 + i, p[i]);
        lo[i] = std::min(lo[i], double(p[i]));
        hi[i] = std::max(hi[i], double(p[i]));
      }
      texCoords.set(v * 2, row[3]);
      texCoords.set(v * 2 + 1, float(1.0 - double(row[4])));
    }
    const int position = buffer.accessor(positionView, TINYGLTF_COMPONENT_TYPE_FLOAT, TINYGLTF_TYPE_VEC3, n);
    model.accessors[size_t(position)].minValues = lo;
    model.accessors[size_t(position)].maxValues = hi;
    attributes["POSITION"] = position;
    attributes["TEXCOORD_0"] = buffer.accessor(texCoordView, TINYGLTF_COMPONENT_TYPE_FLOAT, TINYGLTF_TYPE_VEC2, n);
    int normalView;
    auto normals = buffer.region<float>(n * 3, TINYGLTF_TARGET_ARRAY_BUFFER, normalView);
    faceNormals(in, normals);
    attributes["NORMAL"] = buffer.accessor(normalView, TINYGLTF_COMPONENT_TYPE_FLOAT, TINYGLTF_TYPE_VEC3, n);
  }
  for (size_t s = 0; s < sets; ++s) {
    int jointView, weightView;
    const std::string set = std::to_string(s);
    if (byteJoints) {
      auto joints = buffer.region<uint8_t>(n * kInfluencesPerSet, TINYGLTF_TARGET_ARRAY_BUFFER, jointView);
      for (size_t v = 0; v < n; ++v)
        for (size_t k = 0; k < kInfluencesPerSet; ++k)
          joints.set(v * kInfluencesPerSet + k, uint8_t(perText[textOfVertex[v]].joints[s * kInfluencesPerSet + k]));
    } else {
      auto joints = buffer.region<uint16_t>(n * kInfluencesPerSet, TINYGLTF_TARGET_ARRAY_BUFFER, jointView);
      for (size_t v = 0; v < n; ++v)
        for (size_t k = 0; k < kInfluencesPerSet; ++k)
          joints.set(v * kInfluencesPerSet + k, perText[textOfVertex[v]].joints[s * kInfluencesPerSet + k]);
    }
    auto weights = buffer.region<float>(n * kInfluencesPerSet, TINYGLTF_TARGET_ARRAY_BUFFER, weightView);
    for (size_t v = 0; v < n; ++v)
      for (size_t k = 0; k < kInfluencesPerSet; ++k)
        weights.set(v * kInfluencesPerSet + k, perText[textOfVertex[v]].weights[s * kInfluencesPerSet + k]);
    attributes["JOINTS_" + set] = buffer.accessor(
        jointView, byteJoints ? TINYGLTF_COMPONENT_TYPE_UNSIGNED_BYTE : TINYGLTF_COMPONENT_TYPE_UNSIGNED_SHORT,
        TINYGLTF_TYPE_VEC4, n);
    attributes["WEIGHTS_" + set] = buffer.accessor(weightView, TINYGLTF_COMPONENT_TYPE_FLOAT, TINYGLTF_TYPE_VEC4, n);
  }
  if (textNumbers) {
    int view;
    auto numbers = buffer.region<float>(n, TINYGLTF_TARGET_ARRAY_BUFFER, view);
    for (size_t v = 0; v < n; ++v) numbers.set(v, float(textOfVertex[v]));
    attributes[kBoneTextAttribute] = buffer.accessor(view, TINYGLTF_COMPONENT_TYPE_FLOAT, TINYGLTF_TYPE_SCALAR, n);
  }

  // ---- One primitive per material with triangles.
  tinygltf::Mesh mesh;
  mesh.name = utf8Name(in.meshName);
  {
    // Each material's corners into its own view, in table order.
    std::vector<int> views(in.materials.size(), -1);
    std::vector<BufferWriter::Region<uint16_t>> shortRegions;
    std::vector<BufferWriter::Region<uint32_t>> longRegions;
    std::vector<size_t> regionOf(in.materials.size(), 0), filled(in.materials.size(), 0);
    for (size_t m = 0; m < trianglesOf.size(); ++m) {
      if (trianglesOf[m] == 0) continue;
      regionOf[m] = shortIndices ? shortRegions.size() : longRegions.size();
      if (shortIndices)
        shortRegions.push_back(buffer.region<uint16_t>(trianglesOf[m] * 3, TINYGLTF_TARGET_ELEMENT_ARRAY_BUFFER, views[m]));
      else
        longRegions.push_back(buffer.region<uint32_t>(trianglesOf[m] * 3, TINYGLTF_TARGET_ELEMENT_ARRAY_BUFFER, views[m]));
    }
    for (size_t r = 0; r < in.triangleCount; ++r) {
      const int32_t* t = in.triangles + r * in.triangleStride;
      const size_t m = size_t(t[0]);
      for (size_t k = 1; k <= 3; ++k, ++filled[m]) {
        if (shortIndices) shortRegions[regionOf[m]].set(filled[m], uint16_t(t[k]));
        else longRegions[regionOf[m]].set(filled[m], uint32_t(t[k]));
      }
    }
    for (size_t m = 0; m < trianglesOf.size(); ++m) {
      if (trianglesOf[m] == 0) continue;
      tinygltf::Primitive p;
      p.attributes = attributes;
      p.indices = buffer.accessor(
          views[m], shortIndices ? TINYGLTF_COMPONENT_TYPE_UNSIGNED_SHORT : TINYGLTF_COMPONENT_TYPE_UNSIGNED_INT,
          TINYGLTF_TYPE_SCALAR, trianglesOf[m] * 3);
      p.material = int(m);
      p.mode = TINYGLTF_MODE_TRIANGLES;
      mesh.primitives.push_back(std::move(p));
    }
  }
  {
    tinygltf::Value::Object extras;
    putTextList(extras, kExtraBoneTexts, texts);
    extras[kExtraTrianglePrimitives] = tinygltf::Value(
        tinygltf::base64_encode(reinterpret_cast<const unsigned char*>(order.data()), unsigned(order.size())));
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

  out.reserve(size_t(total) + order.size() * 2 + kJsonEstimate);
  SinkBuffer sink(out);
  std::ostream stream(&sink);
  tinygltf::TinyGLTF writer;
  writer.WriteGltfSceneToStream(&model, stream, false, true);
  if (sink.written() > kMaxFileBytes)
    return ExportFault{ExportProblem::kTooLarge, 0, int64_t(sink.written()), int64_t(kMaxFileBytes)};
  return std::nullopt;
}

unsigned primitiveBits(size_t primitives) {
  unsigned bits = 1;
  while (bits < 32 && (size_t(1) << bits) < primitives) ++bits;
  return bits;
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
