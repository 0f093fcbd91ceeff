#include "model/writer_support.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>

#include "module/app/image_link.h"
#include "module/support/globals.h"
#include "module/support/kernel.h"
#include "qvkm_image.h"
#include "ui/units.h"

namespace ql::model {
namespace {

constexpr int32_t kNotFound = -1;

}  // namespace

uint32_t listEntries(const void* list) {
  return arr::dimensionCount(list) == 1 ? arr::dimensionSize(list, 0) : 0;
}

bool verticesAreFinite() {
  namespace text = gen::text;
  static constexpr std::array<uint32_t, kVertexColumns> kColumnTexts = {
      text::kInvalidVertexX, text::kInvalidVertexY, text::kInvalidVertexZ, text::kInvalidVertexU,
      text::kInvalidVertexV};
  const void* table = store::vertexTable().block();
  const int32_t rows = readableRows(table, globals().vertexCount, kVertexColumns);
  std::array<float, kVertexColumns> v{};
  for (int32_t row = 1; row <= rows; ++row) {
    readRow(table, row, v);
    for (size_t column = 0; column < kVertexColumns; ++column) {
      if (std::isfinite(v[column])) continue;
      kernel::messageBox(concat(app::constText(text::kInvalidVertexPrefix), kernel::toText(row),
                                app::constText(kColumnTexts[column]), kernel::toText(v[column]),
                                app::constText(text::kInvalidVertexEnd)));
      return false;
    }
  }
  return true;
}

Text fileNameOf(TextRef path) {
  const int32_t at = kernel::findLast(path, app::constText(gen::text::kBackslash));
  if (at == kNotFound || at < 1) return Text::copy(app::constText(gen::text::kEmpty));
  return kernel::right(path, kernel::length(path) - at);
}

Text plainFileNameOf(TextRef path) {
  if (kernel::findLast(path, app::constText(gen::text::kBackslash)) == kNotFound) return Text::copy(path);
  return fileNameOf(path);
}

std::optional<Text> bonesMismatch() {
  const uint32_t bones = listEntries(store::boneTexts().block());
  const int32_t vertices = globals().vertexCount;
  if (bones == 0 || int64_t(bones) == int64_t(vertices)) return std::nullopt;
  return concat(app::constText(gen::text::kBonesMismatch), kernel::toText(int32_t(bones)),
                app::constText(gen::text::kBonesMismatchVertices), kernel::toText(vertices),
                app::constText(gen::text::kBonesMismatchEnd));
}

std::optional<Text> chooseExportFile(uint32_t filterText) {
  prop::writeText(ui::kFileDialog3, prop::kInitialFolder, kernel::programFolder());
  prop::writeText(ui::kFileDialog3, prop::kFilter, app::constText(filterText));
  if (!kernel::showFileDialog(ui::kMainWindow, ui::kFileDialog3)) return std::nullopt;
  Text chosen = prop::readText(ui::kFileDialog3, prop::kFileName);
  // A confirmed dialog without a name has nothing to write to.
  if (chosen.empty()) return std::nullopt;
  return chosen;
}

void reportWriteFailure(TextRef path) { kernel::messageBox(concat(app::constText(gen::text::kWriteFailed), path)); }

bool writeBytesFile(TextRef path, BytesRef content) {
  if (kernel::writeFile(path, content)) return true;
  reportWriteFailure(path);
  return false;
}

bool writeTextFile(TextRef path, TextRef text) { return writeBytesFile(path, kernel::toBytes(text)); }

}  // namespace ql::model
