// The glTF export: a model as one binary glTF file (.glb) with its textures
// embedded. Apart from the runtime: the caller hands over the store's tables
// and texts and the bytes of the texture files; nothing here reads a file.
//
// What the file holds, and how it maps to the store:
// - One mesh, one primitive per material that has triangles; every primitive
//   shares the same vertex attributes, one vertex per row of the vertex table.
// - Positions turned from the game's z-up to glTF's y-up: (x, y, z) becomes
//   (x, z, −y), a rotation, so the winding of the faces is kept.
// - Texture coordinates (u, 1 − v): glTF puts v = 0 at the top of a picture,
//   the view at its bottom.
// - Normals from the faces around each vertex (the game's files have none).
// - A skin with one joint per bone number (a node named bone_NN), up to four
//   influences per vertex in JOINTS_0/WEIGHTS_0, the next four in
//   JOINTS_1/WEIGHTS_1 and so on. A vertex whose bone text gives no weights
//   is bound to a joint named "unweighted".
// - Each distinct bone text in the mesh's extras, and per vertex the number
//   of its text in the attribute _SKC_BONES, so that the import can give an
//   unchanged vertex its text back verbatim; the primitive of each triangle
//   in the store's order, so that it can give the triangles their order back.
// - One material per SKC material, its texture embedded as PNG or JPEG, its
//   SKC block and texture name in its extras; the SKC head, the model's file
//   name and the texture names in the scene's extras.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace ql::gltf {

// Names shared with the import.
inline constexpr char kBoneNodePrefix[] = "bone_";
inline constexpr char kUnweightedNode[] = "unweighted";
inline constexpr char kBoneTextAttribute[] = "_SKC_BONES";
inline constexpr char kExtraHead[] = "skcHead";
inline constexpr char kExtraModelFileName[] = "skcModelFileName";
inline constexpr char kExtraTextureNames[] = "skcTextures";
inline constexpr char kExtraBoneTexts[] = "skcBoneTexts";
// The primitive of each triangle in the store's order, as base64 of the
// numbers packed in as few bits as the primitives need (1 for two, 2 for
// four, …), the first triangle in the lowest bits of the first byte.
inline constexpr char kExtraTrianglePrimitives[] = "skcTrianglePrimitives";

// The bits a primitive number takes among `primitives` of them (1 at least).
unsigned primitiveBits(size_t primitives);
inline constexpr char kExtraMaterialNumber[] = "skcMaterial";
inline constexpr char kExtraMaterialBlock[] = "skcBlock";
inline constexpr char kExtraMaterialTexture[] = "skcTexture";
// A text that is not exact GBK goes into the extras as base64 of its bytes,
// under its key with this suffix.
inline constexpr char kExtraBytesSuffix[] = "Base64";
// The bone texts are joined into one string, each followed by this byte (a
// text never holds a NUL).
inline constexpr char kBoneTextEnd = '\0';

struct ExportMaterial {
  std::string name;         // GBK
  std::string textureName;  // the texture's file name (GBK); "" for none
  int32_t image = -1;       // index of its texture in ExportInput::images; −1 for none
  std::string skcBlock;     // its lines of the SKC head, verbatim; "" when there is no head
  bool alphaMask = false;   // Option ALPHA
  bool doubleSided = false; // TwoSide TRUE
};

struct ExportImage {
  std::string name;   // GBK
  std::string bytes;  // the texture file as read
};

struct ExportInput {
  // Row-major tables as the store holds them: `vertexStride` floats per
  // vertex row (x, y, z, u, v first), `triangleStride` integers per triangle
  // row (material, then three 0-based vertex indices).
  const float* vertices = nullptr;
  size_t vertexCount = 0;
  size_t vertexStride = 5;
  const int32_t* triangles = nullptr;
  size_t triangleCount = 0;
  size_t triangleStride = 4;
  // One per vertex; vertices beyond the list have no bone text ("0").
  std::span<const std::string_view> boneTexts;
  std::vector<ExportMaterial> materials;
  std::vector<ExportImage> images;
  std::string_view skcHead;        // "" when the model has none
  std::string_view modelFileName;  // "" when unknown
  std::string_view meshName;       // the node's and the mesh's name
};

enum class ExportProblem : uint8_t {
  kNoVertices,           // the model has no vertex
  kPositionNotFinite,    // a vertex coordinate is infinite or not a number (index: the vertex row)
  kTexCoordNotFinite,    // a texture coordinate is infinite or not a number
  kMaterialOutside,      // a triangle's material is not one of the materials (index: the triangle row)
  kVertexIndexOutside,   // a triangle names a vertex the table does not hold
  kTooManyBones,         // more distinct bone numbers than JOINTS can number
  kTooLarge,             // the file would pass glTF's 4 GB limit
};

struct ExportFault {
  ExportProblem problem;
  int64_t row = 0;    // 1-based row of the table at fault, 0 for the whole model
  int64_t value = 0;  // the value at fault
  int64_t limit = 0;  // the number of entries it must stay below
  std::string describe() const;
};

// Where the file goes, piece by piece.
class GlbSink {
 public:
  virtual ~GlbSink() = default;
  // About how many bytes will come, before the first.
  virtual void reserve(size_t bytes) = 0;
  virtual void write(std::string_view bytes) = 0;
};

struct ExportNotes {
  // Images whose bytes are no picture the export can embed (by index); their
  // materials carry no texture.
  std::vector<size_t> imagesNotEmbedded;
};

// The whole .glb of the model into `out`, or why it cannot be written: then
// `out` has had nothing, or (for kTooLarge) what it got must be dropped.
std::optional<ExportFault> writeGlb(const ExportInput& in, GlbSink& out, ExportNotes& notes);

// The same into a string.
struct ExportOutput {
  std::string glb;
  ExportNotes notes;
};
std::optional<ExportFault> buildGlb(const ExportInput& in, ExportOutput& out);

// Option and TwoSide of an SKC material block: the word after the keyword,
// compared ignoring letter case ("ALPHA", "TRUE").
struct MaterialOptions {
  bool alphaMask = false;
  bool doubleSided = false;
};
MaterialOptions materialOptions(std::string_view block);

// The material blocks of an SKC head: the lines from each line "  Material"
// (after the Materials line) up to the next one or the head's end, verbatim
// with their CR LF.
std::vector<std::string_view> materialBlocks(std::string_view head);

}  // namespace ql::gltf
