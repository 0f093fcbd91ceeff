#include "game/model_list.h"

#include <algorithm>
#include <string>
#include <vector>

#include "common/gbk.h"

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

// The upper case of a letter that has one in GBK's repertoire; everything
// else as it is.
char32_t upperCase(char32_t c) {
  if (c >= U'a' && c <= U'z') return c - 0x20;
  if (c >= 0xE0 && c <= 0xFE && c != 0xF7) return c - 0x20;     // Latin-1 à … þ, not ÷
  if (c >= 0x3B1 && c <= 0x3C9 && c != 0x3C2) return c - 0x20;  // Greek α … ω (final ς has none)
  if (c >= 0x430 && c <= 0x44F) return c - 0x20;                // Cyrillic а … я
  if (c >= 0x450 && c <= 0x45F) return c - 0x50;                // Cyrillic ѐ … џ (ё)
  if (c >= 0xFF41 && c <= 0xFF5A) return c - 0x20;              // full-width ａ … ｚ
  return c;
}

// The name as NTFS compares it: its characters upper-cased, in code-unit
// order. GBK holds only characters of the Basic Multilingual Plane, so code
// points order as UTF-16 code units do.
std::u32string sortKey(std::string_view gbkName) {
  std::u32string key = utf8CodePoints(gbkToUtf8Lossy(gbkName));
  for (char32_t& c : key) c = upperCase(c);
  return key;
}

// By key, then (names equal but for case) by bytes.
bool keyedBefore(const std::u32string& keyA, std::string_view a, const std::u32string& keyB, std::string_view b) {
  if (keyA != keyB) return keyA < keyB;
  return a < b;
}

}  // namespace

bool windowsNameBefore(std::string_view a, std::string_view b) { return keyedBefore(sortKey(a), a, sortKey(b), b); }

void fillModelList() {
  // NOTE: without a game folder the pattern would name a pmodel folder at the
  // root of the drive: search nothing instead.
  if (store::gameFolder().empty()) return;
  const Text pattern = concat(store::gameFolder(), constText(text::kModelFolder), constText(text::kSkcPattern));
  svc::FileSearch search(pattern, abi::kSearchFiles);
  struct Entry {
    std::u32string key;
    Text name;
  };
  std::vector<Entry> entries;
  for (Text name = search.next(); !name.empty(); name = search.next()) {
    std::u32string key = sortKey(name.view());
    entries.push_back({std::move(key), std::move(name)});
  }
  search.close();
  // The file system's order is its own (FAT: as written, Linux: any); a
  // modder expects the folder as Windows lists it.
  std::sort(entries.begin(), entries.end(),
            [](const Entry& a, const Entry& b) { return keyedBefore(a.key, a.name.view(), b.key, b.name.view()); });
  for (const Entry& e : entries) kernel::listAdd(ui::kMainWindow, ui::kListBox1, e.name);
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
