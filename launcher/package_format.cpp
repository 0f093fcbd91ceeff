#include "launcher/package_format.h"

#include <cstdio>
#include <string>

namespace ql::launcher {

namespace {

char asciiLower(char c) { return (c >= 'A' && c <= 'Z') ? char(c - 'A' + 'a') : c; }

// A name from the package as it can be shown in an error detail: bytes
// outside printable ASCII become \xNN, and very long names are cut.
std::string printable(std::string_view name) {
  constexpr size_t kMaxShown = 64;
  std::string out;
  for (size_t i = 0; i < name.size() && i < kMaxShown; ++i) {
    unsigned char c = static_cast<unsigned char>(name[i]);
    if (c >= 0x20 && c < 0x7F && c != '"' && c != '\\') {
      out += char(c);
    } else {
      char buf[5];
      std::snprintf(buf, sizeof buf, "\\x%02X", c);
      out += buf;
    }
  }
  if (name.size() > kMaxShown) out += "...";
  return out;
}

std::string entryError(size_t index, uint64_t offset, const std::string& what) {
  char head[64];
  std::snprintf(head, sizeof head, "entry %zu at 0x%llX: ", index, static_cast<unsigned long long>(offset));
  return head + what;
}

std::string hex(uint64_t v) {
  char buf[24];
  std::snprintf(buf, sizeof buf, "0x%llX", static_cast<unsigned long long>(v));
  return buf;
}

}  // namespace

bool equalsIgnoreAsciiCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i)
    if (asciiLower(a[i]) != asciiLower(b[i])) return false;
  return true;
}

bool isKernelName(std::string_view name) {
  for (std::string_view kernel : kKernelNames)
    if (equalsIgnoreAsciiCase(name, kernel)) return true;
  return false;
}

bool isSingleComponent(std::string_view name) {
  if (name.empty() || name == "." || name == "..") return false;
  return name.find_first_of("/\\:") == std::string_view::npos;
}

Result<std::vector<EntryView>> parseEntryList(ByteSpan list) {
  std::vector<EntryView> entries;
  uint64_t cursor = 0;
  while (cursor < list.size()) {
    const size_t index = entries.size();
    const std::string listSize = " (list of " + hex(list.size()) + " bytes)";

    std::optional<std::string_view> name = readCString(list, cursor);
    if (!name) return fail(entryError(index, cursor, "name runs past the end" + listSize));

    const uint64_t lengthAt = cursor + name->size() + 1;
    std::optional<uint32_t> length = readU32(list, lengthAt);
    if (!length)
      return fail(entryError(index, cursor, "length field at " + hex(lengthAt) + " runs past the end" + listSize));

    const uint64_t dataAt = lengthAt + 4;
    if (!inBounds(dataAt, *length, list.size()))
      return fail(entryError(index, cursor,
                             "data of " + hex(*length) + " bytes at " + hex(dataAt) + " runs past the end" + listSize));

    if (!isSingleComponent(*name))
      return fail(entryError(index, cursor, "name \"" + printable(*name) + "\" is not a single path component"));

    entries.push_back(EntryView{*name, list.subspan(dataAt, *length), cursor});
    cursor = dataAt + *length;
  }
  return entries;
}

}  // namespace ql::launcher
