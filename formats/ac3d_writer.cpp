#include "formats/ac3d_writer.h"

#include <array>
#include <string_view>

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

// Room reserved up front: a vertex line, and a surface of six lines.
constexpr size_t kVertexLineEstimate = 40;
constexpr size_t kSurfaceEstimate = 110;
// With several textures the object names the second one.
constexpr uint32_t kSeveralTexturesEntry = 2;

std::string_view constView(uint32_t offset) { return app::constText(offset).view(); }

// Entry 2 when there are several textures, else entry 1; "" when none.
Text textureName() {
  auto paths = store::texturePaths();
  const uint32_t entries = model::listEntries(paths.block());
  if (entries == 0) return Text::copy(app::constText(text::kEmpty));
  return model::fileNameOf(paths.text(entries > 1 ? kSeveralTexturesEntry : 1));
}

}  // namespace

Text buildAc3dText() {
  const Globals& g = globals();
  const std::string_view crlf = constView(text::kCrLf);
  const std::string_view space = constView(text::kSpace);

  const void* vertexTable = store::vertexTable().block();
  const void* triangleTable = store::triangleTable().block();
  const int32_t vertices = model::readableRows(vertexTable, g.vertexCount, model::kVertexColumns);
  const int32_t triangles = model::readableRows(triangleTable, g.triangleCount, model::kTriangleColumns);

  TextBuilder out;
  out.reserve(size_t(vertices) * kVertexLineEstimate + size_t(triangles) * kSurfaceEstimate);

  out.append(kernel::toText(app::constBytes(gen::byteset::kAc3dHeader)));
  out.append(constView(text::kAcTextureLine)).append(textureName()).append(constView(text::kAcTextureEnd));

  out.append(constView(text::kAcNumvert)).appendNumber(vertices).append(crlf);
  std::array<float, model::kVertexColumns> v{};
  for (int32_t row = 1; row <= vertices; ++row) {
    model::readRow(vertexTable, row, v);
    out.appendNumber(v[0]).append(space).appendNumber(v[1]).append(space).appendNumber(v[2]).append(crlf);
  }

  out.append(constView(text::kAcNumsurf)).appendNumber(triangles).append(crlf);
  const std::string_view surf = constView(text::kAcSurf);
  const std::string_view mat = constView(text::kAcMat);
  const std::string_view refs = constView(text::kAcRefs);
  std::array<int32_t, model::kTriangleColumns> t{};
  std::array<float, model::kVertexColumns> corner{};
  for (int32_t row = 1; row <= triangles; ++row) {
    model::readRow(triangleTable, row, t);
    out.append(surf).append(mat).append(refs);
    for (size_t column = 1; column < model::kTriangleColumns; ++column) {
      const int32_t index = t[column];
      // An index outside the written vertices has no texture coordinates
      // to give: its corner gets 0 0.
      corner.fill(0.0f);
      if (index >= 0 && index < vertices) model::readRow(vertexTable, index + 1, corner);
      out.appendNumber(index).append(space).appendNumber(corner[3]).append(space).appendNumber(corner[4]);
      out.append(crlf);
    }
  }

  out.append(constView(text::kAcKids));
  return out.finish();
}

intptr_t exportAc3d(intptr_t, intptr_t, intptr_t) {
  if (!globals().modelLoaded) {
    kernel::messageBox(app::constText(text::kNoOutputData));
    return 0;
  }
  const Text ac3d = buildAc3dText();
  const std::optional<Text> path = model::chooseExportFile(text::kAc3dFilter);
  if (!path) {
    kernel::messageBox(app::constText(text::kExportCancelled));
    return 0;
  }
  if (model::writeTextFile(*path, ac3d)) kernel::messageBox(concat(app::constText(text::kModelExported), *path));
  return 0;
}

}  // namespace ql::formats
