#include "formats/gltf_commands.h"

#include <map>
#include <new>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "formats/gltf_export.h"
#include "formats/obj_export.h"
#include "model/writer_support.h"
#include "module/app/image_link.h"
#include "module/support/support.h"
#include "qvkm_image.h"
#include "ui/main_window.h"

namespace ql::formats {
namespace {

namespace text = gen::text;

TextRef c(uint32_t offset) { return app::constText(offset); }

constexpr std::string_view kNoTextureName = "NULL";

template <class T>
const T* firstElement(const void* table) {
  return reinterpret_cast<const T*>(static_cast<const uint8_t*>(table) + arr::headerSize(table));
}

// The model file's name without its extension names the mesh; "model" when
// the store has no name.
std::string meshNameOf(TextRef modelFileName) {
  std::string name(modelFileName.view());
  const size_t dot = name.rfind('.');
  if (dot != std::string::npos && dot > 0) name.resize(dot);
  return name.empty() ? std::string("model") : name;
}

// What the export takes from the store, and the texture files it read. The
// texts and tables are the store's own, read in place.
struct Gathered {
  gltf::ExportInput input;
  std::vector<std::string_view> boneTexts;
  std::string meshName;
  std::vector<Text> imagePaths;  // the texture file of each image
};

Gathered gather() {
  Gathered g;
  const Globals& gl = globals();
  gltf::ExportInput& in = g.input;

  const void* vertexTable = store::vertexTable().block();
  const int32_t vertices = model::readableRows(vertexTable, gl.vertexCount, model::kVertexColumns);
  if (vertices > 0) {
    in.vertices = firstElement<float>(vertexTable);
    in.vertexCount = size_t(vertices);
    in.vertexStride = arr::dimensionSize(vertexTable, 1);
  }
  const void* triangleTable = store::triangleTable().block();
  const int32_t triangles = model::readableRows(triangleTable, gl.triangleCount, model::kTriangleColumns);
  if (triangles > 0) {
    in.triangles = firstElement<int32_t>(triangleTable);
    in.triangleCount = size_t(triangles);
    in.triangleStride = arr::dimensionSize(triangleTable, 1);
  }

  auto bones = store::boneTexts();
  const uint32_t boneEntries = model::listEntries(bones.block());
  g.boneTexts.reserve(boneEntries);
  for (uint32_t i = 1; i <= boneEntries; ++i) g.boneTexts.push_back(bones.text(i).view());
  in.boneTexts = g.boneTexts;

  // Option and TwoSide come from each material's block of the head; a model
  // without one gets what the SKC writer would write for it.
  const std::string_view head = store::skcHead().get().view();
  const std::vector<std::string_view> blocks = gltf::materialBlocks(head);
  const gltf::MaterialOptions generated =
      gltf::materialOptions(app::constBytes(gen::byteset::kSkcMaterialTemplate).view());

  auto paths = store::texturePaths();
  const uint32_t materials = model::listEntries(paths.block());
  std::map<std::string, int32_t> imageOfPath;
  for (uint32_t i = 1; i <= materials; ++i) {
    const TextRef path = paths.text(i);
    gltf::ExportMaterial m;
    m.name = std::string(objMaterialName(int32_t(i), path).view());
    m.textureName = std::string(model::fileNameOf(path).view());
    if (i <= blocks.size()) m.skcBlock = std::string(blocks[i - 1]);
    const gltf::MaterialOptions options = m.skcBlock.empty() ? generated : gltf::materialOptions(m.skcBlock);
    m.alphaMask = options.alphaMask;
    m.doubleSided = options.doubleSided;
    // NOTE: the game's files name the texture "NULL" for a material without one.
    if (!path.empty() && m.textureName != kNoTextureName) {
      auto [it, added] = imageOfPath.try_emplace(std::string(path.view()), int32_t(in.images.size()));
      if (added) {
        const Bytes file = kernel::fileExists(path) ? kernel::readFile(path) : Bytes();
        if (file.absent()) {
          ui::appendLogLine(concat(c(text::kGltfTextureMissing), path, c(text::kCloseBracket)));
          it->second = -1;
        } else {
          in.images.push_back(gltf::ExportImage{m.textureName, std::string(file.view())});
          g.imagePaths.push_back(Text::copy(path));
        }
      }
      m.image = it->second;
    }
    in.materials.push_back(std::move(m));
  }

  in.skcHead = head;
  in.modelFileName = store::modelFileName().get().view();
  g.meshName = meshNameOf(store::modelFileName());
  in.meshName = g.meshName;
  return g;
}

void reportFault(const gltf::ExportFault& f) {
  using gltf::ExportProblem;
  auto number = [](int64_t v) { return kernel::toText(double(v)); };
  Text message;
  switch (f.problem) {
    case ExportProblem::kNoVertices: message = concat(c(text::kGltfNotExported), c(text::kGltfNoVertices)); break;
    case ExportProblem::kPositionNotFinite:
    case ExportProblem::kTexCoordNotFinite:
      message = concat(c(text::kGltfNotExported), c(text::kGltfVertex), number(f.row),
                       c(f.problem == ExportProblem::kPositionNotFinite ? text::kGltfPositionNotFinite
                                                                        : text::kGltfTexCoordNotFinite));
      break;
    case ExportProblem::kMaterialOutside:
      message = concat(c(text::kInvalidMaterialPrefix), number(f.row), c(text::kInvalidMaterialNumber),
                       number(f.value), c(text::kInvalidMaterialCount), number(f.limit), c(text::kInvalidMaterialEnd));
      break;
    case ExportProblem::kVertexIndexOutside:
      message = concat(c(text::kInvalidMaterialPrefix), number(f.row), c(text::kGltfVertexIndex), number(f.value),
                       c(text::kGltfVertexIndexOutside), number(f.limit), c(text::kInvalidMaterialEnd));
      break;
    case ExportProblem::kTooManyBones:
      message = concat(c(text::kGltfNotExported), c(text::kGltfTooManyBones), number(f.value),
                       c(text::kGltfTooManyBonesLimit), number(f.limit));
      break;
    case ExportProblem::kTooLarge: message = concat(c(text::kGltfNotExported), c(text::kGltfTooLarge)); break;
  }
  kernel::messageBox(message);
}

// The .glb of the store, or nothing when the model cannot be written (the
// user has been told why).
std::optional<Bytes> buildGlbBytes() {
  Gathered g = gather();
  gltf::ExportOutput out;
  std::optional<gltf::ExportFault> fault;
  try {
    fault = gltf::buildGlb(g.input, out);
  } catch (const std::bad_alloc&) {
    fault = gltf::ExportFault{gltf::ExportProblem::kTooLarge};
  }
  if (fault) {
    reportFault(*fault);
    return std::nullopt;
  }
  for (size_t i : out.imagesNotEmbedded)
    ui::appendLogLine(concat(c(text::kGltfTextureNotPicture), g.imagePaths[i], c(text::kCloseBracket)));
  return Bytes::copy(out.glb);
}

}  // namespace

intptr_t exportGltf(intptr_t, intptr_t, intptr_t) {
  if (!globals().modelLoaded) {
    kernel::messageBox(c(text::kNoOutputData));
    return 0;
  }
  // Built before the dialog: a model that cannot be written asks for nothing.
  const std::optional<Bytes> glb = buildGlbBytes();
  if (!glb) return 0;
  const std::optional<Text> path = model::chooseExportFile(text::kGltfFilter);
  if (!path) {
    kernel::messageBox(c(text::kExportCancelled));
    return 0;
  }
  if (model::writeBytesFile(*path, *glb)) kernel::messageBox(concat(c(text::kModelExported), *path));
  return 0;
}

}  // namespace ql::formats
