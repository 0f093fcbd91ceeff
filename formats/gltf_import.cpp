#include "formats/gltf_import.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <cmath>
#include <cstring>
#include <limits>
#include <map>
#include <unordered_map>

#include <nlohmann/json.hpp>

#include "formats/gltf_bones.h"
#include "formats/gltf_export.h"
#include "formats/gltf_library.h"
#include "formats/gltf_text.h"

namespace ql::gltf {
namespace {

// ---- The GLB container (glTF 2.0, "Binary glTF Layout")
constexpr uint32_t kGlbMagic = 0x46546C67;      // "glTF"
constexpr uint32_t kGlbVersion = 2;
constexpr uint32_t kChunkJson = 0x4E4F534A;     // "JSON"
constexpr uint32_t kChunkBin = 0x004E4942;      // "BIN\0"
constexpr size_t kHeaderBytes = 12;             // magic, version, length
constexpr size_t kChunkHeaderBytes = 8;         // chunkLength, chunkType

constexpr size_t kVertexColumns = 5;
constexpr size_t kTriangleColumns = 4;
constexpr size_t kInfluencesPerSet = 4;
// Rows the store's tables can number (1-based 32-bit rows).
constexpr uint64_t kMaxRows = uint64_t(INT32_MAX);

uint32_t le32(const uint8_t* p) {
  return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}

std::string hex(uint64_t v) {
  char buf[24];
  const auto r = std::to_chars(buf, buf + sizeof buf, v, 16);
  return "0x" + std::string(buf, r.ptr);
}

std::string str(uint64_t v) { return std::to_string(v); }

ImportFault fault(ImportProblem p, std::string detail) { return ImportFault{p, std::move(detail)}; }

// ---- Before the library reads the JSON: every buffer view inside the
// length its buffer declares. The library takes the bytes of an image's
// buffer view by its offset before anything else could look at them.
std::optional<ImportFault> checkBufferViews(std::string_view json) {
  const nlohmann::json doc = nlohmann::json::parse(json.begin(), json.end(), nullptr, false);
  if (!doc.is_object()) return std::nullopt;  // the library says what is wrong with it
  std::vector<uint64_t> declared;
  if (auto it = doc.find("buffers"); it != doc.end() && it->is_array()) {
    for (const auto& b : *it) {
      const auto length = b.is_object() ? b.find("byteLength") : b.end();
      declared.push_back(length != b.end() && length->is_number_unsigned() ? length->get<uint64_t>() : 0);
    }
  }
  const auto views = doc.find("bufferViews");
  if (views == doc.end() || !views->is_array()) return std::nullopt;
  for (size_t i = 0; i < views->size(); ++i) {
    const auto& v = (*views)[i];
    if (!v.is_object()) continue;
    auto unsignedOf = [&](const char* key) -> std::optional<uint64_t> {
      const auto f = v.find(key);
      if (f == v.end()) return uint64_t(0);
      if (!f->is_number_unsigned()) return std::nullopt;
      return f->get<uint64_t>();
    };
    const auto buffer = unsignedOf("buffer");
    const auto offset = unsignedOf("byteOffset");
    const auto length = unsignedOf("byteLength");
    if (!buffer || !offset || !length) continue;  // the library refuses those
    const std::string where = "bufferViews[" + str(i) + "]";
    if (*buffer >= declared.size())
      return fault(ImportProblem::kBufferViewOutside, where + ": buffer " + str(*buffer) + " does not exist");
    if (*offset > declared[*buffer] || *length > declared[*buffer] - *offset)
      return fault(ImportProblem::kBufferViewOutside, where + ": bytes " + hex(*offset) + " + " + hex(*length) +
                                                          " past buffer " + str(*buffer) + " of " +
                                                          hex(declared[*buffer]) + " bytes");
  }
  return std::nullopt;
}

// ---- The library, reading outside buffers through the host.
struct FsContext {
  ImportHost* host;
};

bool nameStaysInside(std::string_view name) {
  if (name.empty() || name.front() == '/' || name.find('\\') != std::string_view::npos ||
      name.find(':') != std::string_view::npos)
    return false;
  size_t from = 0;
  while (from <= name.size()) {
    size_t end = name.find('/', from);
    if (end == std::string_view::npos) end = name.size();
    if (name.substr(from, end - from) == "..") return false;
    from = end + 1;
  }
  return true;
}

std::string_view withoutDotSlash(std::string_view path) {
  while (path.size() >= 2 && path.substr(0, 2) == "./") path.remove_prefix(2);
  return path;
}

bool fsFileExists(const std::string& path, void*) { return nameStaysInside(withoutDotSlash(path)); }
std::string fsExpand(const std::string& path, void*) { return path; }
bool fsRead(std::vector<unsigned char>* out, std::string* err, const std::string& path, void* user) {
  const std::string_view name = withoutDotSlash(path);
  if (!nameStaysInside(name)) {
    if (err) *err = "the name leaves the file's folder";
    return false;
  }
  auto bytes = static_cast<FsContext*>(user)->host->readFile(name);
  if (!bytes) {
    if (err) *err = "cannot read it";
    return false;
  }
  out->assign(bytes->begin(), bytes->end());
  return true;
}
bool fsWrite(std::string* err, const std::string&, const std::vector<unsigned char>&, void*) {
  if (err) *err = "no writing here";
  return false;
}

// Images are never decoded: the materials' names and extras are all the
// import takes from them.
bool keepImageUndecoded(tinygltf::Image*, const int, std::string*, std::string*, int, int, const unsigned char*, int,
                        void*) {
  return true;
}

std::optional<ImportFault> loadModel(std::span<const uint8_t> file, ImportHost& host, tinygltf::Model& model) {
  tinygltf::TinyGLTF loader;
  FsContext context{&host};
  loader.SetFsCallbacks(tinygltf::FsCallbacks{fsFileExists, fsExpand, fsRead, fsWrite, &context});
  loader.SetImageLoader(keepImageUndecoded, nullptr);
  std::string err, warn;
  bool ok;
  const bool binary = file.size() >= 4 && le32(file.data()) == kGlbMagic;
  if (binary) {
    if (file.size() < kHeaderBytes + kChunkHeaderBytes)
      return fault(ImportProblem::kTooShort, str(file.size()) + " bytes, fewer than a GLB header and its JSON chunk");
    const uint32_t version = le32(file.data() + 4);
    if (version != kGlbVersion) return fault(ImportProblem::kVersion, "GLB version " + str(version));
    const uint32_t length = le32(file.data() + 8);
    if (length > file.size())
      return fault(ImportProblem::kLengthPastFile,
                   "the header declares " + str(length) + " bytes, the file has " + str(file.size()));
    const uint32_t jsonLength = le32(file.data() + kHeaderBytes);
    if (le32(file.data() + kHeaderBytes + 4) != kChunkJson)
      return fault(ImportProblem::kChunk, "the first chunk is not JSON");
    if (jsonLength > length - kHeaderBytes - kChunkHeaderBytes)
      return fault(ImportProblem::kChunk, "the JSON chunk of " + str(jsonLength) + " bytes runs past the file's " +
                                              str(length) + " bytes");
    const size_t binAt = kHeaderBytes + kChunkHeaderBytes + size_t(jsonLength);
    if (binAt < length) {
      if (length - binAt < kChunkHeaderBytes)
        return fault(ImportProblem::kChunk, "a chunk header cut short at byte " + hex(binAt));
      const uint32_t binLength = le32(file.data() + binAt);
      if (le32(file.data() + binAt + 4) != kChunkBin)
        return fault(ImportProblem::kChunk, "the chunk at " + hex(binAt) + " is not BIN");
      if (binLength > length - binAt - kChunkHeaderBytes)
        return fault(ImportProblem::kChunk, "the BIN chunk of " + str(binLength) + " bytes runs past the file's " +
                                                str(length) + " bytes");
    }
    const auto* json = reinterpret_cast<const char*>(file.data() + kHeaderBytes + kChunkHeaderBytes);
    if (auto f = checkBufferViews(std::string_view(json, jsonLength))) return f;
    ok = loader.LoadBinaryFromMemory(&model, &err, &warn, file.data(), length, "");
  } else {
    const size_t first = std::string_view(reinterpret_cast<const char*>(file.data()), file.size())
                             .find_first_not_of(" \t\r\n");
    if (first == std::string_view::npos) return fault(ImportProblem::kTooShort, "the file holds no JSON");
    if (file[first] != '{') return fault(ImportProblem::kNotGlb, "neither the GLB magic nor a JSON object at its start");
    if (file.size() > UINT32_MAX) return fault(ImportProblem::kTooLarge, str(file.size()) + " bytes of JSON");
    const auto* json = reinterpret_cast<const char*>(file.data());
    if (auto f = checkBufferViews(std::string_view(json, file.size()))) return f;
    ok = loader.LoadASCIIFromString(&model, &err, &warn, json, unsigned(file.size()), "");
  }
  if (!ok) {
    while (!err.empty() && (err.back() == '\n' || err.back() == '\r')) err.pop_back();
    return fault(ImportProblem::kLibrary, err.empty() ? "the file is no glTF" : err);
  }
  return std::nullopt;
}

// ---- Accessors, checked before they are read.
struct View {
  const uint8_t* first = nullptr;
  size_t count = 0;
  size_t stride = 0;
  int componentType = 0;
  int components = 0;
  bool normalized = false;
};

size_t componentBytes(int type) {
  switch (type) {
    case TINYGLTF_COMPONENT_TYPE_BYTE:
    case TINYGLTF_COMPONENT_TYPE_UNSIGNED_BYTE: return 1;
    case TINYGLTF_COMPONENT_TYPE_SHORT:
    case TINYGLTF_COMPONENT_TYPE_UNSIGNED_SHORT: return 2;
    case TINYGLTF_COMPONENT_TYPE_INT:
    case TINYGLTF_COMPONENT_TYPE_UNSIGNED_INT:
    case TINYGLTF_COMPONENT_TYPE_FLOAT: return 4;
    default: return 0;
  }
}

int componentsOf(int type) {
  switch (type) {
    case TINYGLTF_TYPE_SCALAR: return 1;
    case TINYGLTF_TYPE_VEC2: return 2;
    case TINYGLTF_TYPE_VEC3: return 3;
    case TINYGLTF_TYPE_VEC4: return 4;
    default: return 0;
  }
}

// What a use of an accessor allows.
struct Kind {
  int components;
  bool floats;           // FLOAT
  bool normalizedBytes;  // normalized UNSIGNED_BYTE / UNSIGNED_SHORT
  bool integers;         // UNSIGNED_BYTE / UNSIGNED_SHORT (and UNSIGNED_INT with `wideIntegers`)
  bool wideIntegers;
};

std::optional<ImportFault> viewOf(const tinygltf::Model& model, int index, const std::string& use, const Kind& kind,
                                  View& out) {
  const std::string where = use + ": accessors[" + std::to_string(index) + "]";
  if (index < 0 || size_t(index) >= model.accessors.size())
    return fault(ImportProblem::kAccessorOutside, use + ": accessor " + std::to_string(index) + " does not exist");
  const tinygltf::Accessor& a = model.accessors[size_t(index)];
  if (a.sparse.isSparse || a.bufferView < 0) return fault(ImportProblem::kSparse, where + " is sparse or has no data");
  const int components = componentsOf(a.type);
  const size_t bytes = componentBytes(a.componentType);
  const bool isFloat = a.componentType == TINYGLTF_COMPONENT_TYPE_FLOAT;
  const bool isSmall = a.componentType == TINYGLTF_COMPONENT_TYPE_UNSIGNED_BYTE ||
                       a.componentType == TINYGLTF_COMPONENT_TYPE_UNSIGNED_SHORT;
  const bool isWide = a.componentType == TINYGLTF_COMPONENT_TYPE_UNSIGNED_INT;
  const bool allowed = components == kind.components &&
                       ((kind.floats && isFloat) || (kind.normalizedBytes && isSmall && a.normalized) ||
                        (kind.integers && !a.normalized && (isSmall || (kind.wideIntegers && isWide))));
  if (!allowed)
    return fault(ImportProblem::kAccessorKind, where + ": type " + std::to_string(a.type) + ", component type " +
                                                   std::to_string(a.componentType) +
                                                   (a.normalized ? " normalized" : ""));
  if (size_t(a.bufferView) >= model.bufferViews.size())
    return fault(ImportProblem::kAccessorOutside, where + ": buffer view " + std::to_string(a.bufferView) + " does not exist");
  const tinygltf::BufferView& v = model.bufferViews[size_t(a.bufferView)];
  if (v.buffer < 0 || size_t(v.buffer) >= model.buffers.size())
    return fault(ImportProblem::kBufferViewOutside, where + ": its buffer " + std::to_string(v.buffer) + " does not exist");
  const uint64_t bufferBytes = model.buffers[size_t(v.buffer)].data.size();
  if (v.byteOffset > bufferBytes || v.byteLength > bufferBytes - v.byteOffset)
    return fault(ImportProblem::kBufferViewOutside, where + ": buffer view " + std::to_string(a.bufferView) + " (" +
                                                        hex(v.byteOffset) + " + " + hex(v.byteLength) +
                                                        ") past its buffer of " + hex(bufferBytes) + " bytes");
  const uint64_t element = uint64_t(bytes) * uint64_t(components);
  const uint64_t stride = v.byteStride == 0 ? element : v.byteStride;
  if (stride < element)
    return fault(ImportProblem::kAccessorOutside, where + ": stride " + str(stride) + " below its element of " +
                                                      str(element) + " bytes");
  if (a.count > 0) {
    // Offset, then the last element's start, then its end, each checked
    // against the view before the next is formed.
    const uint64_t room = v.byteLength;
    const uint64_t offset = a.byteOffset;
    const uint64_t count = a.count;
    if (offset > room || element > room - offset || (count - 1) > (room - offset - element) / stride)
      return fault(ImportProblem::kAccessorOutside, where + ": " + str(count) + " elements of " + str(element) +
                                                        " bytes every " + str(stride) + " from " + hex(offset) +
                                                        " past buffer view " + std::to_string(a.bufferView) + " of " +
                                                        hex(room) + " bytes");
  }
  out.first = model.buffers[size_t(v.buffer)].data.data() + v.byteOffset + a.byteOffset;
  out.count = a.count;
  out.stride = size_t(stride);
  out.componentType = a.componentType;
  out.components = components;
  out.normalized = a.normalized;
  return std::nullopt;
}

// Component k of element i, as a number (normalized integers scaled to 0 … 1).
double component(const View& v, size_t i, int k) {
  const uint8_t* p = v.first + i * v.stride;
  switch (v.componentType) {
    case TINYGLTF_COMPONENT_TYPE_FLOAT: {
      float f;
      std::memcpy(&f, p + size_t(k) * 4, 4);
      return f;
    }
    case TINYGLTF_COMPONENT_TYPE_UNSIGNED_BYTE: {
      const double b = p[k];
      return v.normalized ? b / 255.0 : b;
    }
    case TINYGLTF_COMPONENT_TYPE_UNSIGNED_SHORT: {
      uint16_t s;
      std::memcpy(&s, p + size_t(k) * 2, 2);
      return v.normalized ? double(s) / 65535.0 : double(s);
    }
    case TINYGLTF_COMPONENT_TYPE_UNSIGNED_INT: {
      uint32_t u;
      std::memcpy(&u, p + size_t(k) * 4, 4);
      return double(u);
    }
  }
  return 0;
}

float floatComponent(const View& v, size_t i, int k) {
  if (v.componentType != TINYGLTF_COMPONENT_TYPE_FLOAT) return float(component(v, i, k));
  float f;
  std::memcpy(&f, v.first + i * v.stride + size_t(k) * 4, 4);
  return f;
}

// All the elements of a scalar index accessor, by their component type.
template <class T>
void readAs(const View& v, std::vector<uint32_t>& out) {
  for (size_t i = 0; i < v.count; ++i) {
    T x;
    std::memcpy(&x, v.first + i * v.stride, sizeof x);
    out[i] = uint32_t(x);
  }
}
void readIndices(const View& v, std::vector<uint32_t>& out) {
  out.resize(v.count);
  switch (v.componentType) {
    case TINYGLTF_COMPONENT_TYPE_UNSIGNED_BYTE: readAs<uint8_t>(v, out); break;
    case TINYGLTF_COMPONENT_TYPE_UNSIGNED_SHORT: readAs<uint16_t>(v, out); break;
    default: readAs<uint32_t>(v, out); break;
  }
}

const Kind kPosition{3, true, false, false, false};
const Kind kTexCoord{2, true, true, false, false};
const Kind kJoints{4, false, false, true, false};
const Kind kWeights{4, true, true, false, false};
const Kind kScalarFloat{1, true, false, false, false};
const Kind kIndices{1, false, false, true, true};

// ---- Bone texts from the file, for the vertices whose weights are unchanged.
// A vertex's influences as the file gives them: bone and single-precision
// weight, sorted by bone.
using ExactInfluences = std::vector<std::pair<int32_t, float>>;

struct TextTable {
  std::vector<std::string> texts;
  std::vector<std::string> keys;          // influenceKey of each text as the export wrote it
  std::vector<ExactInfluences> written;   // what the export wrote for it, to the bit
  std::unordered_map<std::string, size_t> byKey;  // the first text of each key

  void add(std::string text) {
    std::vector<Influence> influences = parseBoneText(text);
    const std::vector<float> weights = fileWeights(influences);
    ExactInfluences exact;
    for (size_t k = 0; k < influences.size(); ++k) {
      influences[k].weight = weights[k];
      exact.emplace_back(influences[k].bone, weights[k]);
    }
    std::sort(exact.begin(), exact.end());
    written.push_back(exact);
    keys.push_back(influenceKey(influences));
    byKey.try_emplace(keys.back(), texts.size());
    texts.push_back(std::move(text));
  }
};

// gameV() of the values seen, by their bits: a model repeats its texture
// coordinates (every vertex of a seam, 0 and 1), and the search for the
// shortest text costs a few conversions. Direct-mapped: a value takes its
// slot from whatever was there.
class GameVCache {
 public:
  GameVCache() : slots_(kSlots) {}
  float gameV(float stored) {
    uint32_t bits;
    std::memcpy(&bits, &stored, 4);
    Slot& s = slots_[(bits * 0x9E3779B1u) >> (32 - kSlotBits)];
    if (!s.filled || s.bits != bits) s = Slot{bits, ql::gltf::gameV(stored), true};
    return s.value;
  }

 private:
  static constexpr unsigned kSlotBits = 12;
  static constexpr size_t kSlots = size_t(1) << kSlotBits;
  struct Slot {
    uint32_t bits = 0;
    float value = 0;
    bool filled = false;
  };
  std::vector<Slot> slots_;
};

// What a joint of a skin stands for.
constexpr int32_t kJointUnweighted = -1;
constexpr int32_t kJointUnknown = -2;

int32_t boneOfNode(const std::string& name) {
  if (name == kUnweightedNode) return kJointUnweighted;
  const std::string_view prefix = kBoneNodePrefix;
  if (name.size() <= prefix.size() || name.compare(0, prefix.size(), prefix) != 0) return kJointUnknown;
  int32_t bone = 0;
  const char* begin = name.data() + prefix.size();
  const char* end = name.data() + name.size();
  const auto r = std::from_chars(begin, end, bone);
  if (r.ec != std::errc() || r.ptr != end || bone < 0) return kJointUnknown;
  return bone;
}

// The vertices of one distinct set of vertex attributes.
struct AttributeSet {
  View position;
  std::optional<View> texCoord;
  std::vector<View> joints, weights;
  std::optional<View> textNumber;
};

class Reader {
 public:
  Reader(const tinygltf::Model& model, ImportedModel& out) : model_(model), out_(out) {}

  std::optional<ImportFault> read() {
    readExtras();
    for (size_t m = 0; m < model_.meshes.size(); ++m) {
      const tinygltf::Mesh& mesh = model_.meshes[m];
      const std::vector<int32_t> bones = bonesOfMesh(int(m));
      const size_t trianglesBefore = triangleRows_.size();
      std::vector<size_t> perPrimitive;
      for (size_t p = 0; p < mesh.primitives.size(); ++p) {
        const size_t before = triangleRows_.size();
        if (auto f = primitive(mesh.primitives[p], "meshes[" + str(m) + "].primitives[" + str(p) + "]", bones)) return f;
        perPrimitive.push_back(triangleRows_.size() - before);
      }
      if (model_.meshes.size() == 1) reorder(mesh, trianglesBefore, perPrimitive);
    }
    if (triangleRows_.empty()) return fault(ImportProblem::kNoTriangles, "no primitive has a triangle");
    return finish();
  }

 private:
  struct Triangle {
    int material;  // glTF material, −1 for none
    std::array<uint32_t, 3> corners;
  };

  void readExtras() {
    const int sceneIndex = model_.defaultScene >= 0 ? model_.defaultScene : 0;
    if (size_t(sceneIndex) < model_.scenes.size()) {
      const tinygltf::Value& e = model_.scenes[size_t(sceneIndex)].extras;
      head_ = getText(e, kExtraHead);
      out_.modelFileName = getText(e, kExtraModelFileName);
      textureNames_ = getTextList(e, kExtraTextureNames);
    }
    for (const tinygltf::Mesh& mesh : model_.meshes) {
      if (auto texts = getTextList(mesh.extras, kExtraBoneTexts)) {
        for (std::string& t : *texts) table_.add(std::move(t));
        break;
      }
    }
  }

  // The bone number of each joint of the skin that the mesh's node uses.
  std::vector<int32_t> bonesOfMesh(int mesh) {
    for (const tinygltf::Node& node : model_.nodes) {
      if (node.mesh != mesh || node.skin < 0 || size_t(node.skin) >= model_.skins.size()) continue;
      std::vector<int32_t> bones;
      jointNames_.clear();
      for (int joint : model_.skins[size_t(node.skin)].joints) {
        const bool exists = joint >= 0 && size_t(joint) < model_.nodes.size();
        jointNames_.push_back(exists ? model_.nodes[size_t(joint)].name : "(node " + std::to_string(joint) + ")");
        bones.push_back(exists ? boneOfNode(model_.nodes[size_t(joint)].name) : kJointUnknown);
      }
      return bones;
    }
    jointNames_.clear();
    return {};
  }

  std::optional<ImportFault> primitive(const tinygltf::Primitive& p, const std::string& where,
                                       const std::vector<int32_t>& bones) {
    const int mode = p.mode < 0 ? TINYGLTF_MODE_TRIANGLES : p.mode;
    if (mode != TINYGLTF_MODE_TRIANGLES && mode != TINYGLTF_MODE_TRIANGLE_STRIP && mode != TINYGLTF_MODE_TRIANGLE_FAN)
      return fault(ImportProblem::kNotTriangles, where + ": mode " + std::to_string(mode));
    if (p.material >= 0 && size_t(p.material) >= model_.materials.size())
      return fault(ImportProblem::kMaterialOutside, where + ": material " + std::to_string(p.material) + " of " +
                                                        str(model_.materials.size()));
    size_t base = 0, count = 0;
    if (auto f = vertices(p, where, bones, base, count)) return f;

    // The corners' vertices: the indices, or every vertex in order.
    std::vector<uint32_t> corner;
    if (p.indices >= 0) {
      View v;
      if (auto f = viewOf(model_, p.indices, where + " indices", kIndices, v)) return f;
      readIndices(v, corner);
    } else {
      corner.resize(count);
      for (size_t k = 0; k < count; ++k) corner[k] = uint32_t(k);
    }
    const size_t corners = corner.size();
    for (size_t k = 0; k < corners; ++k) {
      if (corner[k] >= count)
        return fault(ImportProblem::kIndexOutside, where + ": index " + str(k) + " is " + str(corner[k]) +
                                                       ", the primitive has " + str(count) + " vertices");
      corner[k] += uint32_t(base);
    }
    triangleRows_.reserve(triangleRows_.size() + corners / 3 + 1);
    auto add = [&](size_t a, size_t b, size_t c) {
      triangleRows_.push_back(Triangle{p.material, {corner[a], corner[b], corner[c]}});
    };
    if (mode == TINYGLTF_MODE_TRIANGLES) {
      for (size_t k = 0; k + 2 < corners; k += 3) add(k, k + 1, k + 2);
    } else if (mode == TINYGLTF_MODE_TRIANGLE_STRIP) {
      // Every other triangle of a strip turns the other way round.
      for (size_t k = 0; k + 2 < corners; ++k) k % 2 == 0 ? add(k, k + 1, k + 2) : add(k + 1, k, k + 2);
    } else {
      for (size_t k = 1; k + 1 < corners; ++k) add(k, k + 1, 0);
    }
    if (triangleRows_.size() > kMaxRows) return fault(ImportProblem::kTooLarge, "more than " + str(kMaxRows) + " triangles");
    return std::nullopt;
  }

  // The vertices of a primitive's attributes: added once per distinct set.
  std::optional<ImportFault> vertices(const tinygltf::Primitive& p, const std::string& where,
                                      const std::vector<int32_t>& bones, size_t& base, size_t& count) {
    auto attribute = [&](const std::string& name) {
      const auto it = p.attributes.find(name);
      return it == p.attributes.end() ? -1 : it->second;
    };
    std::vector<int> key{attribute("POSITION"), attribute("TEXCOORD_0"), attribute(kBoneTextAttribute)};
    for (size_t s = 0;; ++s) {
      const int j = attribute("JOINTS_" + str(s)), w = attribute("WEIGHTS_" + str(s));
      if (j < 0 && w < 0) break;
      key.push_back(j);
      key.push_back(w);
    }
    if (key[0] < 0) return fault(ImportProblem::kNoPosition, where + " has no POSITION");
    if (auto known = sets_.find(key); known != sets_.end()) {
      base = known->second.first;
      count = known->second.second;
      return std::nullopt;
    }

    AttributeSet a;
    if (auto f = viewOf(model_, key[0], where + " POSITION", kPosition, a.position)) return f;
    count = a.position.count;
    auto optional = [&](int index, const std::string& use, const Kind& kind, std::optional<View>& into) {
      if (index < 0) return std::optional<ImportFault>();
      View v;
      if (auto f = viewOf(model_, index, where + " " + use, kind, v)) return f;
      into = v;
      return std::optional<ImportFault>();
    };
    if (auto f = optional(key[1], "TEXCOORD_0", kTexCoord, a.texCoord)) return f;
    if (auto f = optional(key[2], kBoneTextAttribute, kScalarFloat, a.textNumber)) return f;
    for (size_t k = 3; k + 1 < key.size(); k += 2) {
      const std::string set = str((k - 3) / 2);
      std::optional<View> j, w;
      if (auto f = optional(key[k], "JOINTS_" + set, kJoints, j)) return f;
      if (auto f = optional(key[k + 1], "WEIGHTS_" + set, kWeights, w)) return f;
      // A set without its other half carries no influence.
      if (!j || !w) continue;
      a.joints.push_back(*j);
      a.weights.push_back(*w);
    }
    for (const View* v : {a.texCoord ? &*a.texCoord : nullptr, a.textNumber ? &*a.textNumber : nullptr})
      if (v && v->count != count)
        return fault(ImportProblem::kCountsDiffer, where + ": " + str(v->count) + " and " + str(count) + " vertices");
    for (size_t s = 0; s < a.joints.size(); ++s)
      if (a.joints[s].count != count || a.weights[s].count != count)
        return fault(ImportProblem::kCountsDiffer, where + ": joints or weights of set " + str(s) + " not " + str(count));

    base = out_.vertices.size() / kVertexColumns;
    if (uint64_t(base) + count > kMaxRows) return fault(ImportProblem::kTooLarge, "more than " + str(kMaxRows) + " vertices");
    if (auto f = addVertices(a, where, bones)) return f;
    sets_.emplace(std::move(key), std::make_pair(base, count));
    return std::nullopt;
  }

  std::optional<ImportFault> addVertices(const AttributeSet& a, const std::string& where,
                                         const std::vector<int32_t>& bones) {
    const size_t count = a.position.count;
    const size_t firstValue = out_.vertices.size();
    out_.vertices.resize(firstValue + count * kVertexColumns);
    out_.boneTextOf.reserve(out_.boneTextOf.size() + count);
    ExactInfluences exact;
    float weights[kInfluencesPerSet];
    uint32_t joints[kInfluencesPerSet];
    for (size_t i = 0; i < count; ++i) {
      const float x = floatComponent(a.position, i, 0), y = floatComponent(a.position, i, 1),
                  z = floatComponent(a.position, i, 2);
      const float u = a.texCoord ? floatComponent(*a.texCoord, i, 0) : 0.0f;
      const float v = a.texCoord ? floatComponent(*a.texCoord, i, 1) : 1.0f;
      if (!std::isfinite(x) || !std::isfinite(y) || !std::isfinite(z) || !std::isfinite(u) || !std::isfinite(v))
        return fault(ImportProblem::kNotFinite, where + ": vertex " + str(i));
      // y-up back to the game's z-up; the texture's top back to its bottom.
      float* row = &out_.vertices[firstValue + i * kVertexColumns];
      row[0] = x, row[1] = -z, row[2] = y, row[3] = u, row[4] = vCache_.gameV(v);

      exact.clear();
      for (size_t s = 0; s < a.joints.size(); ++s) {
        readWeights(a.weights[s], i, weights);
        readJoints(a.joints[s], i, joints);
        for (size_t k = 0; k < kInfluencesPerSet; ++k) {
          const float w = weights[k];
          if (!std::isfinite(w) || w < 0)
            return fault(ImportProblem::kBadWeight, where + ": vertex " + str(i) + ", WEIGHTS_" + str(s) + " holds " +
                                                        std::to_string(w));
          if (w == 0) continue;
          const uint32_t joint = joints[k];
          if (joint >= bones.size())
            return fault(ImportProblem::kJointOutside, where + ": vertex " + str(i) + " names joint " + str(joint) +
                                                           ", the skin has " + str(bones.size()));
          if (bones[joint] == kJointUnknown)
            return fault(ImportProblem::kUnknownJoint, where + ": vertex " + str(i) + " is weighted to joint " +
                                                           str(joint) + " (" + jointNames_[joint] + ")");
          if (bones[joint] == kJointUnweighted) continue;
          exact.emplace_back(bones[joint], w);
        }
      }
      std::sort(exact.begin(), exact.end());
      out_.boneTextOf.push_back(textFor(a, i, exact));
    }
    return std::nullopt;
  }

  // The weights and joints of one vertex of one set, by component type.
  static void readWeights(const View& v, size_t i, float (&out)[kInfluencesPerSet]) {
    const uint8_t* p = v.first + i * v.stride;
    if (v.componentType == TINYGLTF_COMPONENT_TYPE_FLOAT) {
      std::memcpy(out, p, sizeof out);
      return;
    }
    for (size_t k = 0; k < kInfluencesPerSet; ++k) out[k] = float(component(v, i, int(k)));
  }
  static void readJoints(const View& v, size_t i, uint32_t (&out)[kInfluencesPerSet]) {
    const uint8_t* p = v.first + i * v.stride;
    if (v.componentType == TINYGLTF_COMPONENT_TYPE_UNSIGNED_BYTE) {
      for (size_t k = 0; k < kInfluencesPerSet; ++k) out[k] = p[k];
      return;
    }
    for (size_t k = 0; k < kInfluencesPerSet; ++k) {
      uint16_t j;
      std::memcpy(&j, p + k * 2, 2);
      out[k] = j;
    }
  }

  // The text of a vertex: the one the file numbers for it when its weights
  // are still the ones written for that text (to the bit, or at five
  // decimals), else the file's first text of those weights, else one made
  // from them.
  uint32_t textFor(const AttributeSet& a, size_t i, const ExactInfluences& exact) {
    std::optional<size_t> numbered;
    if (a.textNumber) {
      const double number = floatComponent(*a.textNumber, i, 0);
      if (number >= 0 && number < double(table_.texts.size()) && number == std::floor(number)) numbered = size_t(number);
    }
    if (numbered && table_.written[*numbered] == exact) return kept(*numbered);
    std::vector<Influence> influences;
    influences.reserve(exact.size());
    for (const auto& [bone, weight] : exact) influences.push_back(Influence{bone, weight});
    const std::string key = influenceKey(influences);
    if (numbered && table_.keys[*numbered] == key) return kept(*numbered);
    if (auto it = table_.byKey.find(key); it != table_.byKey.end()) return kept(it->second);
    ++out_.boneTextsRebuilt;
    auto [it, added] = rebuilt_.try_emplace(key, uint32_t(out_.boneTexts.size()));
    if (added) out_.boneTexts.push_back(gameBoneText(influences));
    return it->second;
  }

  // The output number of the file's text `t`, made at its first use.
  uint32_t kept(size_t t) {
    ++out_.boneTextsKept;
    if (keptAs_.size() < table_.texts.size()) keptAs_.resize(table_.texts.size(), kNotYet);
    if (keptAs_[t] == kNotYet) {
      keptAs_[t] = uint32_t(out_.boneTexts.size());
      out_.boneTexts.push_back(table_.texts[t]);
    }
    return keptAs_[t];
  }

  // The export's order of the triangles, when the primitives are still the
  // ones it wrote: as many triangles of each as the order names.
  void reorder(const tinygltf::Mesh& mesh, size_t first, const std::vector<size_t>& perPrimitive) {
    if (!mesh.extras.Has(kExtraTrianglePrimitives) || !mesh.extras.Get(kExtraTrianglePrimitives).IsString()) return;
    const std::string order = tinygltf::base64_decode(mesh.extras.Get(kExtraTrianglePrimitives).Get<std::string>());
    const size_t triangles = triangleRows_.size() - first;
    const unsigned bits = primitiveBits(perPrimitive.size());
    if (triangles == 0 || order.size() != (triangles * bits + 7) / 8) return;
    std::vector<size_t> next(perPrimitive.size(), first), counted(perPrimitive.size(), 0);
    for (size_t p = 1; p < perPrimitive.size(); ++p) next[p] = next[p - 1] + perPrimitive[p - 1];
    auto primitiveAt = [&](size_t t) {
      size_t p = 0;
      for (unsigned b = 0; b < bits; ++b) p |= size_t(uint8_t(order[(t * bits + b) / 8]) >> ((t * bits + b) % 8) & 1) << b;
      return p;
    };
    for (size_t t = 0; t < triangles; ++t) {
      const size_t p = primitiveAt(t);
      if (p >= perPrimitive.size() || ++counted[p] > perPrimitive[p]) return;
    }
    // Rows before `first` (none: one mesh) keep their places.
    order_.resize(first + triangles);
    for (size_t t = 0; t < first; ++t) order_[t] = uint32_t(t);
    for (size_t t = 0; t < triangles; ++t) order_[first + t] = uint32_t(next[primitiveAt(t)]++);
  }

  int skcNumberOf(int material) const {
    if (material < 0) return -1;
    const tinygltf::Value& e = model_.materials[size_t(material)].extras;
    if (!e.Has(kExtraMaterialNumber) || !e.Get(kExtraMaterialNumber).IsInt()) return -1;
    return e.Get(kExtraMaterialNumber).GetNumberAsInt();
  }

  // The name of the picture a material's base colour shows.
  std::string imageNameOf(const tinygltf::Material& m) const {
    const int texture = m.pbrMetallicRoughness.baseColorTexture.index;
    if (texture < 0 || size_t(texture) >= model_.textures.size()) return {};
    const int source = model_.textures[size_t(texture)].source;
    if (source < 0 || size_t(source) >= model_.images.size()) return {};
    const tinygltf::Image& image = model_.images[size_t(source)];
    if (!image.name.empty()) return gbkName(image.name);
    const size_t slash = image.uri.find_last_of('/');
    return image.uri.rfind("data:", 0) == 0 ? std::string() : gbkName(image.uri.substr(slash == std::string::npos ? 0 : slash + 1));
  }

  std::optional<ImportFault> finish() {
    // The SKC material of each glTF material, looked up once.
    std::vector<int> skcNumbers(model_.materials.size());
    for (size_t g = 0; g < skcNumbers.size(); ++g) skcNumbers[g] = skcNumberOf(int(g));
    auto skcNumberOfTriangle = [&](const Triangle& t) { return t.material < 0 ? -1 : skcNumbers[size_t(t.material)]; };
    // The head stays when every triangle's material is one of its materials.
    bool headKept = head_.has_value() && textureNames_.has_value();
    for (size_t k = 0; headKept && k < triangleRows_.size(); ++k) {
      const int n = skcNumberOfTriangle(triangleRows_[k]);
      headKept = n >= 0 && size_t(n) < textureNames_->size();
    }
    out_.triangles.resize(triangleRows_.size() * kTriangleColumns);
    if (headKept) {
      out_.skcHead = std::move(head_);
      for (const std::string& t : *textureNames_) out_.materials.push_back(ImportedMaterial{"", t});
      for (size_t g = 0; g < model_.materials.size(); ++g) {
        const int n = skcNumbers[g];
        if (n >= 0 && size_t(n) < out_.materials.size() && out_.materials[size_t(n)].name.empty())
          out_.materials[size_t(n)].name = gbkName(model_.materials[g].name);
      }
    } else {
      for (const tinygltf::Material& m : model_.materials) {
        auto texture = getText(m.extras, kExtraMaterialTexture);
        out_.materials.push_back(ImportedMaterial{gbkName(m.name), texture ? *texture : imageNameOf(m)});
      }
    }
    // Triangles of no material get one of their own, after the file's.
    const int noMaterial = int(out_.materials.size());
    bool noMaterialUsed = false;
    // In the export's order when it could be given back, else as read.
    int32_t* row = out_.triangles.data();
    for (size_t k = 0; k < triangleRows_.size(); ++k, row += kTriangleColumns) {
      const Triangle& t = triangleRows_[order_.empty() ? k : order_[k]];
      int material = headKept ? skcNumberOfTriangle(t) : t.material;
      if (material < 0) {
        material = noMaterial;
        noMaterialUsed = true;
      }
      row[0] = material;
      for (size_t c = 0; c < 3; ++c) row[1 + c] = int32_t(t.corners[c]);
    }
    if (noMaterialUsed) out_.materials.push_back(ImportedMaterial{});
    return std::nullopt;
  }

  const tinygltf::Model& model_;
  ImportedModel& out_;
  std::optional<std::string> head_;
  std::optional<std::vector<std::string>> textureNames_;
  TextTable table_;
  static constexpr uint32_t kNotYet = UINT32_MAX;
  std::vector<uint32_t> keptAs_;                           // the output number of each text of the file
  std::unordered_map<std::string, uint32_t> rebuilt_;      // the output number of each text made, by key
  GameVCache vCache_;
  std::vector<std::string> jointNames_;
  std::map<std::vector<int>, std::pair<size_t, size_t>> sets_;  // attribute accessors → first vertex, count
  std::vector<Triangle> triangleRows_;
  std::vector<uint32_t> order_;  // the row of triangleRows_ for each output row; empty: as read
};

const char* problemText(ImportProblem p) {
  switch (p) {
    case ImportProblem::kTooShort: return "too short";
    case ImportProblem::kNotGlb: return "not a GLB file";
    case ImportProblem::kVersion: return "unknown GLB version";
    case ImportProblem::kLengthPastFile: return "declared length past the file";
    case ImportProblem::kChunk: return "bad chunk";
    case ImportProblem::kLibrary: return "refused by the glTF library";
    case ImportProblem::kBufferViewOutside: return "buffer view outside its buffer";
    case ImportProblem::kAccessorOutside: return "accessor outside its buffer view";
    case ImportProblem::kAccessorKind: return "accessor of the wrong kind";
    case ImportProblem::kSparse: return "sparse accessor";
    case ImportProblem::kCountsDiffer: return "attribute counts differ";
    case ImportProblem::kNoPosition: return "primitive without positions";
    case ImportProblem::kNotTriangles: return "primitive of points or lines";
    case ImportProblem::kIndexOutside: return "index past the vertices";
    case ImportProblem::kNotFinite: return "coordinate not finite";
    case ImportProblem::kBadWeight: return "weight negative or not finite";
    case ImportProblem::kJointOutside: return "joint past the skin";
    case ImportProblem::kUnknownJoint: return "weighted joint not named bone_NN";
    case ImportProblem::kMaterialOutside: return "material past the materials";
    case ImportProblem::kNoTriangles: return "no triangles";
    case ImportProblem::kTooLarge: return "too large for the tables";
  }
  return "unknown problem";
}

// The float closest to the decimal text of `value` with `digits` significant digits.
double roundedToDigits(double value, int digits) {
  char buf[40];
  const auto r = std::to_chars(buf, buf + sizeof buf, value, std::chars_format::general, digits);
  double back = value;
  std::from_chars(buf, r.ptr, back);
  return back;
}

}  // namespace

std::string ImportFault::describe() const { return std::string(problemText(problem)) + ": " + detail; }

float gameV(float stored) {
  auto exported = [](float v) { return float(1.0 - double(v)); };
  const float guess = exported(stored);
  const float below = std::nextafter(guess, -std::numeric_limits<float>::infinity());
  const float above = std::nextafter(guess, std::numeric_limits<float>::infinity());
  // Most values have one origin: nothing to choose.
  if (exported(guess) != stored || (exported(below) != stored && exported(above) != stored)) return guess;
  // The floats that give `stored`: 1 − v within half a step of it either way.
  const double step = double(std::nextafter(stored, std::numeric_limits<float>::infinity())) - double(stored);
  const double stepDown = double(stored) - double(std::nextafter(stored, -std::numeric_limits<float>::infinity()));
  float lo = float(1.0 - (double(stored) + step / 2));
  float hi = float(1.0 - (double(stored) - stepDown / 2));
  while (lo < guess && exported(lo) != stored) lo = std::nextafter(lo, guess);
  while (hi > guess && exported(hi) != stored) hi = std::nextafter(hi, guess);
  if (lo <= 0 && hi >= 0 && exported(0.0f) == stored) return 0.0f;  // the shortest text of all
  const double middle = (double(lo) + double(hi)) / 2;
  // The decimal of fewest digits nearest the middle lies inside if any of
  // that many digits does.
  for (int digits = 1; digits <= std::numeric_limits<float>::max_digits10; ++digits) {
    const double d = roundedToDigits(middle, digits);
    const float candidate = float(d);
    if (candidate >= lo && candidate <= hi && exported(candidate) == stored) return candidate;
  }
  return guess;
}

std::optional<ImportFault> readGltf(std::span<const uint8_t> file, ImportHost& host, ImportedModel& out) {
  out = ImportedModel{};
  tinygltf::Model model;
  try {
    if (auto f = loadModel(file, host, model)) return f;
    Reader reader(model, out);
    return reader.read();
  } catch (const std::bad_alloc&) {
    return fault(ImportProblem::kTooLarge, "not enough memory to hold it");
  } catch (const std::exception& e) {
    // The library's JSON parser and containers throw on input they cannot take.
    return fault(ImportProblem::kLibrary, e.what());
  }
}

}  // namespace ql::gltf
