// The glTF import: a .glb or .gltf file (ours, or one that Blender or
// another tool wrote) as the tables and texts of the model store. Apart from
// the runtime: the caller hands over the file's bytes and reads the outside
// buffers of a .gltf for it.
//
// Every offset, length and count of the file is checked before anything is
// read through it; a file that cannot be read whole is refused with the
// reason, and nothing is returned.
//
// What comes back, as the export maps it (formats/gltf_export.h), undone:
// - Vertices: every vertex of every distinct set of vertex attributes, in
//   file order; y-up (x, y, z) becomes the game's (x, −z, y); the texture
//   coordinate v becomes 1 − v.
// - Triangles from every primitive (triangle lists, strips and fans), in
//   primitive order, or in the order the export recorded when the file still
//   has the export's primitives.
// - A bone text per vertex from its joints (nodes named bone_NN) and weights:
//   the file's own text for that vertex when its weights are unchanged,
//   otherwise one in the game's format.
// - The SKC head, the model's file name and the materials from the extras;
//   without the export's extras, materials as the file names them.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace ql::gltf {

// Reads the outside files a .gltf names (buffers), by their names relative
// to the .gltf's folder (UTF-8, '/' separators, already checked to stay
// inside that folder). Nothing when the file cannot be read.
class ImportHost {
 public:
  virtual ~ImportHost() = default;
  virtual std::optional<std::string> readFile(std::string_view relativeName) = 0;
};

struct ImportedMaterial {
  std::string name;         // GBK
  std::string textureName;  // the texture's file name (GBK); "" for none
};

struct ImportedModel {
  std::vector<float> vertices;     // rows of x, y, z, u, v
  std::vector<int32_t> triangles;  // rows of material, then three 0-based vertex indices
  // The bone text of vertex k is boneTexts[boneTextOf[k]]: each distinct
  // text once.
  std::vector<std::string> boneTexts;
  std::vector<uint32_t> boneTextOf;
  std::vector<ImportedMaterial> materials;
  std::optional<std::string> skcHead;  // kept only when the materials are the head's
  std::optional<std::string> modelFileName;
  size_t boneTextsKept = 0;     // vertices that got the file's own text back
  size_t boneTextsRebuilt = 0;  // vertices whose text was made from their weights

  size_t vertexCount() const { return vertices.size() / 5; }
  size_t triangleCount() const { return triangles.size() / 4; }
  std::string_view boneText(size_t k) const { return boneTexts[boneTextOf[k]]; }
};

enum class ImportProblem : uint8_t {
  kTooShort,            // fewer bytes than a GLB header, or no JSON at all
  kNotGlb,              // neither the GLB magic nor a JSON object
  kVersion,             // a GLB version other than 2
  kLengthPastFile,      // the header declares more bytes than the file has
  kChunk,               // a chunk's header or length does not fit
  kLibrary,             // the glTF library refused the file (detail: its words)
  kBufferViewOutside,   // a buffer view reaches past its buffer
  kAccessorOutside,     // an accessor reaches past its buffer view
  kAccessorKind,        // an accessor of a type or component type its use does not allow
  kSparse,              // a sparse accessor or one without data (not supported)
  kCountsDiffer,        // the attributes of a primitive have different counts
  kNoPosition,          // a primitive without POSITION
  kNotTriangles,        // a primitive of points or lines
  kIndexOutside,        // an index past the vertices of its primitive
  kNotFinite,           // a position or texture coordinate that is not a finite number
  kBadWeight,           // a weight that is negative or not a finite number
  kJointOutside,        // a joint number past the skin's joints
  kUnknownJoint,        // a weighted joint whose node is not named bone_NN
  kMaterialOutside,     // a primitive's material past the materials
  kNoTriangles,         // no triangle in the whole file
  kTooLarge,            // more vertices or triangles than the tables can number
};

struct ImportFault {
  ImportProblem problem;
  std::string detail;  // what, where and the values (ASCII, English)
  std::string describe() const;
};

// Reads the whole model; nothing in `out` is meaningful after a fault.
std::optional<ImportFault> readGltf(std::span<const uint8_t> file, ImportHost& host, ImportedModel& out);

// The game's texture coordinate v for the stored 1 − v. Of the values that
// the export would have turned into `stored`, the one with the shortest
// decimal text: the export's 1 − v loses a bit below v = 0.5, and the game's
// files write few decimals.
float gameV(float stored);

}  // namespace ql::gltf
