#include "formats/gltf_commands.h"

#include <map>
#include <new>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "common/gbk.h"
#include "formats/gltf_export.h"
#include "formats/gltf_import.h"
#include "formats/obj_export.h"
#include "game/textures.h"
#include "model/text_builder.h"
#include "model/writer_support.h"
#include "module/app/image_link.h"
#include "module/support/support.h"
#include "qvkm_image.h"
#include "ui/main_window.h"
#include "ui/units.h"

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

// The file built in place as a byte set, ready for the write-file command.
class ByteSetSink final : public gltf::GlbSink {
 public:
  void reserve(size_t bytes) override { builder_.reserve(bytes); }
  void write(std::string_view bytes) override { builder_.append(bytes); }
  Bytes finish() { return builder_.finishBytes(); }

 private:
  model::TextBuilder builder_{model::TextBuilder::Layout::kByteSet};
};

// The .glb of the store, or nothing when the model cannot be written (the
// user has been told why).
std::optional<Bytes> buildGlbBytes() {
  Gathered g = gather();
  ByteSetSink sink;
  gltf::ExportNotes notes;
  std::optional<gltf::ExportFault> fault;
  try {
    fault = gltf::writeGlb(g.input, sink, notes);
  } catch (const std::bad_alloc&) {
    fault = gltf::ExportFault{gltf::ExportProblem::kTooLarge};
  }
  if (fault) {
    reportFault(*fault);
    return std::nullopt;
  }
  for (size_t i : notes.imagesNotEmbedded)
    ui::appendLogLine(concat(c(text::kGltfTextureNotPicture), g.imagePaths[i], c(text::kCloseBracket)));
  return sink.finish();
}

// ---- Import

constexpr int32_t kTimerStopped = 0;
constexpr int32_t kRedrawInterval = 50;  // milliseconds
constexpr int32_t kNotFound = -1;

// The outside files of a .gltf, from its folder.
class RuntimeImportHost final : public gltf::ImportHost {
 public:
  explicit RuntimeImportHost(TextRef folderPrefix) : folderPrefix_(folderPrefix) {}

  std::optional<std::string> readFile(std::string_view relativeName) override {
    std::optional<std::string> name = utf8ToGbk(relativeName);
    if (!name) return std::nullopt;
    for (char& ch : *name)
      if (ch == '/') ch = '\\';
    const Text path = concat(folderPrefix_, TextRef(name->c_str()));
    if (!kernel::fileExists(path)) return std::nullopt;
    return std::string(kernel::readFile(path).view());
  }

 private:
  TextRef folderPrefix_;
};

uint32_t problemText(gltf::ImportProblem p) {
  using gltf::ImportProblem;
  switch (p) {
    case ImportProblem::kTooShort: return text::kGltfTooShort;
    case ImportProblem::kNotGlb: return text::kGltfNotGltf;
    case ImportProblem::kVersion: return text::kGltfVersion;
    case ImportProblem::kLengthPastFile: return text::kGltfLengthPastFile;
    case ImportProblem::kChunk: return text::kGltfChunk;
    case ImportProblem::kLibrary: return text::kGltfLibrary;
    case ImportProblem::kBufferViewOutside: return text::kGltfBufferViewOutside;
    case ImportProblem::kAccessorOutside: return text::kGltfAccessorOutside;
    case ImportProblem::kAccessorKind: return text::kGltfAccessorKind;
    case ImportProblem::kSparse: return text::kGltfSparse;
    case ImportProblem::kCountsDiffer: return text::kGltfCountsDiffer;
    case ImportProblem::kNoPosition: return text::kGltfNoPosition;
    case ImportProblem::kNotTriangles: return text::kGltfNotTriangles;
    case ImportProblem::kIndexOutside: return text::kGltfIndexOutside;
    case ImportProblem::kNotFinite: return text::kGltfNotFinite;
    case ImportProblem::kBadWeight: return text::kGltfBadWeight;
    case ImportProblem::kJointOutside: return text::kGltfJointOutside;
    case ImportProblem::kUnknownJoint: return text::kGltfUnknownJoint;
    case ImportProblem::kMaterialOutside: return text::kGltfMaterialOutside;
    case ImportProblem::kNoTriangles: return text::kGltfNoTriangles;
    case ImportProblem::kTooLarge: return text::kGltfImportTooLarge;
  }
  return text::kEmpty;
}

// "glTF文件有误，未载入：" + the path, then the reason and where it lies.
void reportImportFault(TextRef path, uint32_t reason, std::string_view detail) {
  // The detail names what the file names (UTF-8); what GBK cannot show goes.
  std::string shown = utf8ToGbk(detail).value_or(std::string());
  if (shown.empty() && !detail.empty())
    for (char ch : detail)
      if ((unsigned char)ch < 0x80) shown.push_back(ch);
  Text message = concat(c(text::kGltfRejected), path, c(text::kCrLf), c(reason));
  if (!shown.empty()) message = concat(message, c(text::kGltfDetailSeparator), TextRef(shown.c_str()));
  kernel::messageBox(message);
}

template <class T>
T* elementsOf(Array<T>& table) {
  return reinterpret_cast<T*>(static_cast<uint8_t*>(table.block()) + arr::headerSize(table.block()));
}

template <class T>
Array<T> emptyList() {
  return Array<T>::fromShape(app::constShape(gen::shape::kEmptyList));
}

}  // namespace

bool importGltfFile(TextRef path) {
  const int32_t at = kernel::findLast(path, c(text::kBackslash));
  const Text folderPrefix = at == kNotFound ? Text::copy(c(text::kEmpty)) : kernel::left(path, at);

  ui::replaceLog(c(text::kGltfLoadBanner));
  const Bytes file = kernel::fileExists(path) ? kernel::readFile(path) : Bytes();
  if (file.absent()) {
    reportImportFault(path, text::kGltfUnreadable, {});
    return false;
  }
  RuntimeImportHost host(folderPrefix);
  gltf::ImportedModel m;
  if (const auto fault = gltf::readGltf(file.bytes(), host, m)) {
    reportImportFault(path, problemText(fault->problem), fault->detail);
    return false;
  }

  // The new tables and lists, made whole before the store changes.
  const int32_t vertexCount = int32_t(m.vertexCount());
  const int32_t triangleCount = int32_t(m.triangleCount());
  FloatTable vertices;
  vertices.dimension(vertexCount, int32_t(model::kVertexColumns));
  std::copy(m.vertices.begin(), m.vertices.end(), elementsOf(vertices));
  std::vector<float>().swap(m.vertices);
  IntTable triangles;
  triangles.dimension(triangleCount, int32_t(model::kTriangleColumns));
  std::copy(m.triangles.begin(), m.triangles.end(), elementsOf(triangles));
  std::vector<int32_t>().swap(m.triangles);
  TextList bones;
  bones.dimension(vertexCount);
  for (int32_t i = 1; i <= vertexCount; ++i) bones.storeText(Text::fromBytes(m.boneText(size_t(i - 1))), i);

  // Texture names are the game's, in the texture folder as an SKC load has them.
  Array<MaterialEntry*> library = emptyList<MaterialEntry*>();
  TextList texturePaths = emptyList<char*>();
  IntList textureIds = emptyList<int32_t>();
  if (!m.materials.empty()) {
    const int32_t count = int32_t(m.materials.size());
    library.dimension(count);
    texturePaths.dimension(count);
    textureIds.dimension(count);
    for (int32_t i = 1; i <= count; ++i) {
      const gltf::ImportedMaterial& im = m.materials[size_t(i - 1)];
      const Text texturePath = im.textureName.empty()
                                   ? Text::copy(c(text::kEmpty))
                                   : concat(store::textureFolder(), c(text::kBackslash), TextRef(im.textureName.c_str()));
      library.at(i) = newMaterialEntry(TextRef(im.name.c_str()), texturePath);
      texturePaths.storeText(Text::copy(texturePath), i);
    }
  }

  prop::writeInt(ui::kTimer1, prop::kInterval, kTimerStopped);
  game::releaseTextures();
  Globals& g = globals();
  store::vertexTable().replace(vertices.release());
  store::triangleTable().replace(triangles.release());
  g.vertexCount = vertexCount;
  g.triangleCount = triangleCount;
  store::materialLibrary().replace(library.release());
  store::texturePaths().replace(texturePaths.release());
  store::textureIds().replace(textureIds.release());
  store::boneTexts().replace(bones.release());
  store::skcHead().set(TextRef(m.skcHead ? m.skcHead->c_str() : ""));
  store::modelFileName().set(TextRef(m.modelFileName ? m.modelFileName->c_str() : ""));
  g.modelLoaded = 1;

  game::prepareTextures();
  ui::appendLogLine(concat(c(text::kGltfBoneTextsKept), kernel::toText(double(m.boneTextsKept)),
                           c(text::kGltfBoneTextsRebuilt), kernel::toText(double(m.boneTextsRebuilt)),
                           c(text::kGltfBoneTextsEnd)));
  ui::appendLogLine(concat(c(text::kLoadedVerticesLog), kernel::toText(g.vertexCount), c(text::kLoadedVerticesTail)));
  prop::writeInt(ui::kTimer1, prop::kInterval, kRedrawInterval);
  return true;
}

intptr_t importGltf(intptr_t, intptr_t, intptr_t) {
  prop::writeText(ui::kFileDialog4, prop::kInitialFolder, kernel::programFolder());
  prop::writeText(ui::kFileDialog4, prop::kFilter, c(text::kGltfImportFilter));
  // Cancelled: nothing changes and nothing is said.
  if (!kernel::showFileDialog(ui::kMainWindow, ui::kFileDialog4)) return 0;
  const Text path = prop::readText(ui::kFileDialog4, prop::kFileName);
  importGltfFile(path);
  return 0;
}

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
