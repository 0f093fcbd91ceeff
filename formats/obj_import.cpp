#include "formats/obj_import.h"

#include <cstring>
#include <span>
#include <string>
#include <vector>

#include "formats/obj_parse.h"
#include "game/textures.h"
#include "model/writer_support.h"
#include "module/app/image_link.h"
#include "module/support/support.h"
#include "qvkm_image.h"
#include "ui/main_window.h"
#include "ui/units.h"
#include "ui/view.h"

namespace ql::formats {
namespace {

namespace text = gen::text;

constexpr int32_t kNotFound = -1;
constexpr int32_t kTimerStopped = 0;
constexpr int32_t kRedrawInterval = 50;  // milliseconds
constexpr size_t kElementWidth = 4;

TextRef c(uint32_t offset) { return app::constText(offset); }

// The runtime behind the line readers: its number conversions, the material
// library beside the OBJ file, and the message for an unknown material name.
class RuntimeHost final : public obj::Host {
 public:
  explicit RuntimeHost(TextRef folderPrefix) : folderPrefix_(folderPrefix) {}

  double toDouble(const char* token) override { return kernel::toDouble(TextRef(token)); }
  int32_t toInt(const char* token) override { return kernel::toInt(TextRef(token)); }

  std::string readLibrary(const char* name) override {
    // The name is relative to the OBJ file's folder, whatever the current folder.
    libraryName_ = Text::copy(TextRef(name));
    const Bytes content = kernel::readFile(concat(folderPrefix_, TextRef(name)));
    return std::string(content.view());
  }

  void materialMissing(const char*) override { kernel::messageBox(c(text::kMaterialLookupFailed)); }

  TextRef libraryName() const { return libraryName_; }

 private:
  TextRef folderPrefix_;
  Text libraryName_;
};

// A file's bytes; `text` is the part before the first NUL.
struct FileText {
  Bytes bytes;
  std::string_view text;
};
FileText readFileText(TextRef path) {
  FileText f{kernel::readFile(path), {}};
  f.text = obj::textOf(f.bytes.view());
  return f;
}

Text readSideText(TextRef path) { return kernel::bytesToText(kernel::readFile(path)); }

// Elements of a table block (header of a two-dimensional array skipped).
template <class T>
std::span<T> elements(Array<T>& table) {
  auto* block = static_cast<uint8_t*>(table.block());
  return std::span<T>(reinterpret_cast<T*>(block + arr::headerSize(block)), size_t(table.count()));
}

// Keeps rows 1 … rows of a two-dimensional table.
template <class T>
void shrinkRows(Array<T>& table, int32_t rows) {
  const uint32_t columns = table.size(2);
  void* block = table.release();
  const uint32_t newRows = uint32_t(rows);
  std::memcpy(static_cast<uint8_t*>(block) + 4, &newRows, 4);
  block = svc::reallocate(block, uintptr_t(arr::headerSize(block) + size_t(newRows) * columns * kElementWidth));
  table = Array<T>::adopt(block);
}

template <class T>
Array<T> emptyList() {
  return Array<T>::fromShape(app::constShape(gen::shape::kEmptyList));
}

std::vector<obj::Material> currentLibrary() {
  auto library = store::materialLibrary();
  std::vector<obj::Material> out;
  const uint64_t count = library.dims() == 1 ? library.count() : 0;
  for (uint64_t i = 1; i <= count; ++i) {
    const MaterialEntry* e = library.get(int32_t(i));
    if (!e) continue;
    out.push_back(obj::Material{std::string(TextRef(e->materialName).view()), std::string(TextRef(e->textureFile).view())});
  }
  return out;
}

Text faultReason(const obj::Fault& f) {
  using obj::Problem;
  switch (f.problem) {
    case Problem::kNoVertexLines: return Text::copy(c(text::kObjNoVertexLines));
    case Problem::kNoFaceLines: return Text::copy(c(text::kObjNoFaceLines));
    case Problem::kShortVertexLine: return Text::copy(c(text::kObjShortVertexLine));
    case Problem::kShortTexCoordLine: return Text::copy(c(text::kObjShortTexCoordLine));
    case Problem::kShortFace: return Text::copy(c(text::kObjShortFace));
    case Problem::kVertexNumberOutside:
    case Problem::kTexCoordNumberOutside:
      return concat(c(f.problem == Problem::kVertexNumberOutside ? text::kObjVertexNumber : text::kObjTexCoordNumber),
                    kernel::toText(f.value), c(text::kObjNumberOutside), kernel::toText(f.limit),
                    c(text::kObjNumberOutsideEnd));
    case Problem::kVertexNumberBefore:
    case Problem::kTexCoordNumberBefore: {
      const bool vertex = f.problem == Problem::kVertexNumberBefore;
      return concat(c(vertex ? text::kObjVertexNumber : text::kObjTexCoordNumber), kernel::toText(f.value),
                    c(text::kObjNumberBefore), kernel::toText(f.limit),
                    c(vertex ? text::kObjVertexLinesEnd : text::kObjTexCoordLinesEnd));
    }
    case Problem::kMapKdBeforeNewmtl: return Text::copy(c(text::kMtlMapKdBeforeNewmtl));
  }
  return Text::copy(c(text::kEmpty));
}

void reportFault(const obj::Fault& f, TextRef objPath, TextRef libraryName) {
  Text where;
  if (f.line == 0)
    where = Text::copy(c(text::kCrLf));
  else if (f.inLibrary)
    where = concat(c(text::kMtlRejectedLine), libraryName, c(text::kMtlRejectedLineNumber), kernel::toText(f.line),
                   c(text::kObjRejectedLineEnd));
  else
    where = concat(c(text::kObjRejectedLine), kernel::toText(f.line), c(text::kObjRejectedLineEnd));
  kernel::messageBox(concat(c(text::kObjRejected), objPath, where, faultReason(f)));
}

}  // namespace

bool importObjFile(TextRef path) {
  // The OBJ folder: the path before its last backslash; side files and the
  // material library are looked for there.
  const int32_t at = kernel::findLast(path, c(text::kBackslash));
  const Text folder = at == kNotFound ? Text::copy(c(text::kEmpty)) : kernel::left(path, at - 1);
  const Text folderPrefix = at == kNotFound ? Text::copy(c(text::kEmpty)) : kernel::left(path, at);

  FileText obj = readFileText(path);
  const obj::Counts counts = obj::countObjLines(obj.text);

  ui::replaceLog(c(text::kObjLoadBanner));
  ui::appendLogLine(concat(c(text::kBonesProbe), folder, c(text::kBonesPath)));
  TextList bones = kernel::split(readSideText(concat(folderPrefix, c(text::kBonesFile))), c(text::kCrLf));
  Text skcHead = readSideText(concat(folderPrefix, c(text::kSkcHeadFile)));
  Text modelFileName = readSideText(concat(folderPrefix, c(text::kSkcNameFile)));
  ui::appendLogLine(c(bones.count() >= 1 ? text::kBonesLoaded : text::kBonesMissing));

  // The new tables, as many rows as the lines that fill them (not one per
  // line of the file), shrunk to the rows read once the lines are read.
  FloatTable vertices;
  IntTable triangles;
  const obj::TableRows rows = obj::tableRows(counts);
  vertices.dimension(rows.vertexRows, int32_t(obj::kVertexColumns));
  triangles.dimension(rows.triangleRows, int32_t(obj::kTriangleColumns));

  RuntimeHost host(folderPrefix);
  obj::ObjResult result;
  result.library = currentLibrary();
  if (const auto fault = obj::parseObj(obj.text, counts, obj::Tables{elements(vertices), elements(triangles)}, host,
                                       result)) {
    reportFault(*fault, path, host.libraryName());
    return false;
  }
  obj = FileText{};  // the file's bytes are no longer needed
  shrinkRows(vertices, result.vertexCount);
  shrinkRows(triangles, result.triangleCount);

  Array<MaterialEntry*> library;
  TextList texturePaths = emptyList<char*>();
  IntList textureIds = emptyList<int32_t>();
  if (result.libraryRead && !result.library.empty()) {
    const int32_t count = int32_t(result.library.size());
    library.dimension(count);
    texturePaths.dimension(count);
    textureIds.dimension(count);
    for (int32_t i = 1; i <= count; ++i) {
      const obj::Material& m = result.library[size_t(i) - 1];
      library.at(i) = newMaterialEntry(TextRef(m.name.c_str()), TextRef(m.textureFile.c_str()));
      // A bare name is the OBJ folder's; a full path (as the OBJ writer
      // gives the texture folder's files) names its file itself. A material
      // without a map_Kd line has no texture, not the OBJ folder as one.
      const TextRef file(m.textureFile.c_str());
      const bool own = m.textureFile.empty() || game::isFullPath(m.textureFile);
      texturePaths.storeText(own ? Text::copy(file) : concat(folderPrefix, file), i);
    }
  } else if (result.libraryRead) {
    library = emptyList<MaterialEntry*>();
  }

  // The redraw stops while the model changes. The previous model's texture
  // names are deleted while textureIds still holds them, instead of being
  // left allocated behind a list of zeros.
  prop::writeInt(ui::kTimer1, prop::kInterval, kTimerStopped);
  game::releaseTextures();

  // The whole model goes into the store at once; the view never sees half of it.
  Globals& g = globals();
  store::vertexTable().replace(vertices.release());
  store::triangleTable().replace(triangles.release());
  g.vertexCount = result.vertexCount;
  g.triangleCount = result.triangleCount;
  // Without an mtllib line the previous library stays for later lookups.
  if (result.libraryRead) store::materialLibrary().replace(library.release());
  store::texturePaths().replace(texturePaths.release());
  store::textureIds().replace(textureIds.release());
  store::boneTexts().replace(bones.release());
  store::skcHead().set(std::move(skcHead));
  store::modelFileName().set(std::move(modelFileName));
  g.modelLoaded = 1;

  // The texture names were joined to the OBJ folder, not the texture folder.
  game::prepareTextures(folder);
  // Bone lines are matched to vertices by their numbers: a count that
  // differs means the vertices were added, dropped or reordered elsewhere.
  if (const auto mismatch = model::bonesMismatch()) ui::appendLogLine(*mismatch);
  ui::appendLogLine(concat(c(text::kLoadedVerticesLog), kernel::toText(g.vertexCount), c(text::kLoadedVerticesTail)));
  // The next frame shows the model whole, upright and centred.
  ui::frameModel();
  prop::writeInt(ui::kTimer1, prop::kInterval, kRedrawInterval);
  return true;
}

intptr_t importObj(intptr_t, intptr_t, intptr_t) {
  prop::writeText(ui::kFileDialog4, prop::kInitialFolder, kernel::programFolder());
  prop::writeText(ui::kFileDialog4, prop::kFilter, c(text::kObjFilter));
  // Cancelled: nothing changes and nothing is said.
  if (!kernel::showFileDialog(ui::kMainWindow, ui::kFileDialog4)) return 0;
  const Text path = prop::readText(ui::kFileDialog4, prop::kFileName);
  importObjFile(path);
  return 0;
}

}  // namespace ql::formats
