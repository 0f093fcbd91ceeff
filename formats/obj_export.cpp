#include "formats/obj_export.h"

#include <array>
#include <charconv>
#include <optional>
#include <string_view>
#include <vector>

#include "model/text_builder.h"
#include "model/writer_support.h"
#include "module/app/image_link.h"
#include "module/support/globals.h"
#include "module/support/kernel.h"
#include "qvkm_image.h"

namespace ql::formats {
namespace {

namespace text = gen::text;
using model::TextBuilder;

constexpr int32_t kNotFound = -1;
// Room reserved up front: a v line and a vt line per vertex, an f line per triangle.
constexpr size_t kVertexBytesEstimate = 60;
constexpr size_t kTriangleBytesEstimate = 40;

std::string_view constView(uint32_t offset) { return app::constText(offset).view(); }

// Face indices as plain decimal, formatted here: a face line holds six of
// them, and the runtime's conversion would cost a call and a text each.
class Decimal {
 public:
  explicit Decimal(int64_t v) { size_ = size_t(std::to_chars(digits_, digits_ + sizeof digits_, v).ptr - digits_); }
  std::string_view view() const { return std::string_view(digits_, size_); }

 private:
  char digits_[21];
  size_t size_;
};

// The name part of a file name: up to, not including, its last dot.
Text withoutExtension(TextRef fileName) {
  const int32_t dot = kernel::findLast(fileName, app::constText(text::kDot));
  if (dot == kNotFound) return Text::copy(fileName);
  return kernel::left(fileName, dot - 1);
}

// The material names, 1-based as the triangle table's material numbers + 1.
std::vector<Text> materialNames() {
  auto paths = store::texturePaths();
  const uint32_t count = model::listEntries(paths.block());
  std::vector<Text> names;
  names.reserve(count);
  for (uint32_t i = 1; i <= count; ++i) names.push_back(objMaterialName(int32_t(i), paths.text(i)));
  return names;
}

// The first triangle whose material is not one of the texture paths; the
// OBJ would otherwise name a material its MTL does not hold.
struct BadMaterial {
  int32_t triangle;
  int32_t material;
  int32_t materials;
};
std::optional<BadMaterial> firstBadMaterial() {
  const void* table = store::triangleTable().block();
  const int32_t triangles = model::readableRows(table, globals().triangleCount, model::kTriangleColumns);
  const int32_t materials = int32_t(model::listEntries(store::texturePaths().block()));
  std::array<int32_t, model::kTriangleColumns> t{};
  for (int32_t row = 1; row <= triangles; ++row) {
    model::readRow(table, row, t);
    if (t[0] < 0 || t[0] >= materials) return BadMaterial{row, t[0], materials};
  }
  return std::nullopt;
}

void reportBadMaterial(const BadMaterial& bad) {
  kernel::messageBox(concat(app::constText(text::kInvalidMaterialPrefix), kernel::toText(bad.triangle),
                            app::constText(text::kInvalidMaterialNumber), kernel::toText(bad.material),
                            app::constText(text::kInvalidMaterialCount), kernel::toText(bad.materials),
                            app::constText(text::kInvalidMaterialEnd)));
}

}  // namespace

Text objOutputFolder(TextRef objPath) {
  const int32_t at = kernel::findLast(objPath, app::constText(text::kBackslash));
  // NOTE: a bare name (no folder) writes beside the program's current folder.
  if (at == kNotFound) return Text::copy(app::constText(text::kEmpty));
  return kernel::left(objPath, at);
}

Text objBaseName(TextRef objPath) {
  const int32_t at = kernel::findLast(objPath, app::constText(text::kBackslash));
  if (at == kNotFound) return withoutExtension(objPath);
  return withoutExtension(kernel::right(objPath, kernel::length(objPath) - at));
}

Text objMaterialName(int32_t number, TextRef texturePath) {
  // A texture path without a folder gives an empty base name.
  const int32_t at = kernel::findLast(texturePath, app::constText(text::kBackslash));
  const Text base = at == kNotFound ? Text::copy(app::constText(text::kEmpty))
                                    : withoutExtension(kernel::right(texturePath, kernel::length(texturePath) - at));
  return concat(app::constText(text::kMaterialNamePrefix), kernel::toText(number),
                app::constText(text::kUnderscore), base);
}

Text buildObjText(TextRef mtlFileName) {
  const Globals& g = globals();
  const void* vertexTable = store::vertexTable().block();
  const void* triangleTable = store::triangleTable().block();
  const int32_t vertices = model::readableRows(vertexTable, g.vertexCount, model::kVertexColumns);
  const int32_t triangles = model::readableRows(triangleTable, g.triangleCount, model::kTriangleColumns);
  const std::string_view space = constView(text::kSpace);
  const std::string_view slash = constView(text::kSlash);

  TextBuilder out;
  out.reserve(size_t(vertices) * kVertexBytesEstimate + size_t(triangles) * kTriangleBytesEstimate);
  out.append(constView(text::kObjHeader));
  out.append(constView(text::kObjCommentLine)).append(constView(text::kHelpThreadAddress));
  out.append(constView(text::kObjMtllib)).append(mtlFileName);
  out.append(constView(text::kObjObjectLine));

  std::array<float, model::kVertexColumns> v{};
  const std::string_view vLine = constView(text::kObjVertex);
  for (int32_t row = 1; row <= vertices; ++row) {
    model::readRow(vertexTable, row, v);
    out.append(vLine).appendNumber(v[0]).append(space).appendNumber(v[1]).append(space).appendNumber(v[2]);
  }
  // No coordinate is transformed: the texture coordinates go out as stored.
  const std::string_view vtLine = constView(text::kObjTexCoord);
  for (int32_t row = 1; row <= vertices; ++row) {
    model::readRow(vertexTable, row, v);
    out.append(vtLine).appendNumber(v[3]).append(space).appendNumber(v[4]);
  }

  const std::vector<Text> names = materialNames();
  const std::string_view usemtl = constView(text::kObjUsemtl);
  const std::string_view fLine = constView(text::kObjFace);
  std::array<int32_t, model::kTriangleColumns> t{};
  int64_t previous = 0;  // a first face with a valid material (0 or more) always names it
  for (int32_t row = 1; row <= triangles; ++row) {
    model::readRow(triangleTable, row, t);
    const int64_t m = int64_t(t[0]) + 1;
    if (m != previous) {
      // exportObj refuses models whose materials fall outside the names.
      const bool named = m >= 1 && size_t(m) <= names.size();
      out.append(usemtl).append(named ? names[size_t(m) - 1].view() : std::string_view());
      previous = m;
    }
    out.append(fLine);
    for (size_t k = 1; k < model::kTriangleColumns; ++k) {
      const Decimal p(int64_t(t[k]) + 1);  // a stored index of INT32_MAX must not wrap
      if (k > 1) out.append(space);
      out.append(p.view()).append(slash).append(p.view());
    }
  }
  return out.finish();
}

Text buildMtlText() {
  const std::vector<Text> names = materialNames();
  auto paths = store::texturePaths();
  TextBuilder out;
  out.append(constView(text::kMtlCountLine)).appendNumber(int32_t(names.size())).append(constView(text::kCrLf));
  for (size_t i = 0; i < names.size(); ++i) {
    out.append(constView(text::kMtlNewmtl)).append(names[i]).append(constView(text::kCrLf));
    out.append(constView(text::kMtlColourBlock)).append(constView(text::kMtlSurfaceBlock));
    out.append(constView(text::kMtlMapKd)).append(paths.text(uint32_t(i + 1)));
  }
  return out.finish();
}

Text buildBonesText() {
  auto bones = store::boneTexts();
  const uint32_t count = model::listEntries(bones.block());
  TextBuilder out;
  for (uint32_t i = 1; i <= count; ++i) {
    if (i > 1) out.append(constView(text::kCrLf));
    out.append(bones.text(i));
  }
  return out.finish();
}

intptr_t exportObj(intptr_t, intptr_t, intptr_t) {
  if (!globals().modelLoaded) {
    kernel::messageBox(app::constText(text::kNoOutputData));
    return 0;
  }
  // Checked before the dialog: nothing is asked for and nothing written.
  if (const auto bad = firstBadMaterial()) {
    reportBadMaterial(*bad);
    return 0;
  }
  const std::optional<Text> path = model::chooseExportFile(text::kObjFilter);
  if (!path) {
    kernel::messageBox(app::constText(text::kExportCancelled));
    return 0;
  }
  const Text folder = objOutputFolder(*path);
  const Text mtlName = concat(objBaseName(*path), app::constText(text::kMtlExtension));
  const Text mtlPath = concat(folder, mtlName);

  // The side files go beside the OBJ file, where the import looks for them.
  struct Output {
    Text path;
    Text content;
  };
  const std::array<Output, 5> outputs{{
      {Text::copy(*path), buildObjText(mtlName)},
      {Text::copy(mtlPath), buildMtlText()},
      {concat(folder, app::constText(text::kBonesFile)), buildBonesText()},
      {concat(folder, app::constText(text::kSkcHeadFile)), Text::copy(store::skcHead())},
      {concat(folder, app::constText(text::kSkcNameFile)), Text::copy(store::modelFileName())},
  }};
  for (const Output& o : outputs)
    if (!model::writeTextFile(o.path, o.content)) return 0;
  kernel::messageBox(concat(app::constText(text::kModelExported), *path));
  return 0;
}

}  // namespace ql::formats
