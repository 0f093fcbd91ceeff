// File-dialog filters and default extensions, shared by every backend.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace ql::window {

struct FilterPair {
  std::string description;  // GBK
  std::string pattern;      // GBK, one or more patterns joined by ';'
};

// "desc|*.a|desc|*.b" -> pairs. A lone trailing piece (a filter of just
// "*.exe") is its own description. Empty pieces between bars are kept as
// empty descriptions; a pair with an empty pattern is dropped.
std::vector<FilterPair> parseFilter(std::string_view filter);

// "*.ac" -> ".ac", "*.pak|*.pak" -> ".pak", "" / "*.*" / "*" -> "".
std::string defaultExtension(std::string_view spec);

// Appends `ext` when the file name part of the module path (after its last
// '\', GBK-aware) has no '.'; otherwise returns the path unchanged.
std::string withDefaultExtension(std::string_view gbkPath, std::string_view ext);

// Byte offset of the last '\' separator of a GBK text, skipping the trail
// bytes of double-byte characters (which may be 0x5C); npos when none.
std::size_t lastSeparator(std::string_view gbk);

}  // namespace ql::window
