#include "game/model_list.h"

#include "model/skc_reader.h"
#include "module/app/image_link.h"
#include "module/support/globals.h"
#include "module/support/kernel.h"
#include "qvkm_image.h"
#include "ui/units.h"

namespace ql::game {
namespace {

namespace text = gen::text;

constexpr int32_t kNoSelection = -1;

TextRef constText(uint32_t offset) { return app::constText(offset); }

}  // namespace

void fillModelList() {
  // NOTE: without a game folder the pattern would name a pmodel folder at the
  // root of the drive: search nothing instead.
  if (store::gameFolder().empty()) return;
  const Text pattern = concat(store::gameFolder(), constText(text::kModelFolder), constText(text::kSkcPattern));
  svc::FileSearch search(pattern, abi::kSearchFiles);
  for (Text name = search.next(); !name.empty(); name = search.next()) {
    kernel::listAdd(ui::kMainWindow, ui::kListBox1, name);
  }
  search.close();
}

intptr_t onModelSelected(intptr_t, intptr_t, intptr_t) {
  const int32_t index = prop::readInt(ui::kListBox1, prop::kListSelection);
  if (index <= kNoSelection) return 0;
  const Text entry = kernel::listEntry(ui::kMainWindow, ui::kListBox1, index);
  if (entry.empty()) return 0;
  store::modelFileName().set(TextRef(entry));
  const Text path = concat(store::gameFolder(), constText(text::kModelFolder), entry);
  model::loadSkcModel(path);
  return 0;
}

}  // namespace ql::game
