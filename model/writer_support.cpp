#include "model/writer_support.h"

#include <algorithm>
#include <array>
#include <cstring>

#include "module/app/image_link.h"
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

Text fileNameOf(TextRef path) {
  const int32_t at = kernel::findLast(path, app::constText(gen::text::kBackslash));
  if (at == kNotFound || at < 1) return Text::copy(app::constText(gen::text::kEmpty));
  return kernel::right(path, kernel::length(path) - at);
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
