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
constexpr size_t kCornerTextEstimate = 24;
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

namespace {

// The whole AC3D text into `out`.
void appendAc3dText(TextBuilder& out) {
  const Globals& g = globals();
  const std::string_view crlf = constView(text::kCrLf);
  const std::string_view space = constView(text::kSpace);

  const void* vertexTable = store::vertexTable().block();
  const void* triangleTable = store::triangleTable().block();
  const int32_t vertices = model::readableRows(vertexTable, g.vertexCount, model::kVertexColumns);
  const int32_t triangles = model::readableRows(triangleTable, g.triangleCount, model::kTriangleColumns);

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
  // A corner's text (index, u, v) depends on its vertex alone, and every
  // vertex is a corner of several triangles: each is converted once.
  model::TextCache corners(size_t(triangles > 0 ? vertices : 0), kCornerTextEstimate);
  std::array<int32_t, model::kTriangleColumns> t{};
  std::array<float, model::kVertexColumns> corner{};
  Text zero;  // the texture coordinates of a corner without a vertex
  for (int32_t row = 1; row <= triangles; ++row) {
    model::readRow(triangleTable, row, t);
    out.append(surf).append(mat).append(refs);
    for (size_t column = 1; column < model::kTriangleColumns; ++column) {
      const int32_t index = t[column];
      if (corners.covers(index)) {
        out.append(corners.get(size_t(index), [&](TextBuilder& texts) {
          model::readRow(vertexTable, index + 1, corner);
          texts.appendNumber(index).append(space).appendNumber(corner[3]).append(space).appendNumber(corner[4]);
        }));
      } else {
        // An index outside the written vertices has no texture coordinates
        // to give: its corner gets 0 0.
        if (zero.absent()) zero = kernel::toText(0.0f);
        out.appendNumber(index).append(space).append(zero).append(space).append(zero);
      }
      out.append(crlf);
    }
  }

  out.append(constView(text::kAcKids));
}

// The AC3D text as a byte set, ready for the write-file command.
Bytes buildAc3dBytes() {
  TextBuilder out(TextBuilder::Layout::kByteSet);
  appendAc3dText(out);
  return out.finishBytes();
}

}  // namespace

Text buildAc3dText() {
  TextBuilder out;
  appendAc3dText(out);
  return out.finish();
}

intptr_t exportAc3d(intptr_t, intptr_t, intptr_t) {
  if (!globals().modelLoaded) {
    kernel::messageBox(app::constText(text::kNoOutputData));
    return 0;
  }
  if (!model::verticesAreFinite()) return 0;
  const Bytes ac3d = buildAc3dBytes();
  const std::optional<Text> path = model::chooseExportFile(text::kAc3dFilter);
  if (!path) {
    kernel::messageBox(app::constText(text::kExportCancelled));
    return 0;
  }
  if (model::writeBytesFile(*path, ac3d)) kernel::messageBox(concat(app::constText(text::kModelExported), *path));
  return 0;
}

}  // namespace ql::formats
