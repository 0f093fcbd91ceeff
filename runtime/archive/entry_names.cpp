#include "runtime/archive/entry_names.h"

#include <algorithm>

#include "common/utf8_path.h"

namespace ql::unpack {

namespace fs = std::filesystem;

fs::path argToNative(std::string_view arg) {
  std::string s(arg);
  if (!s.empty() && s.back() == '"') s.pop_back();
#ifndef _WIN32
  std::replace(s.begin(), s.end(), '\\', '/');
#endif
  return u8path(s);
}

Result<std::string> flatName(std::string_view entryName) {
  std::string name(entryName);
  std::replace(name.begin(), name.end(), '\\', '/');
  if (name.empty()) return fail("empty name");
  const bool driveLetter = name.size() >= 2 && name[1] == ':' &&
                           ((name[0] >= 'A' && name[0] <= 'Z') || (name[0] >= 'a' && name[0] <= 'z'));
  if (name.front() == '/' || driveLetter) return fail("absolute path");

  std::string leaf;
  size_t start = 0;
  while (start <= name.size()) {
    size_t stop = name.find('/', start);
    if (stop == std::string::npos) stop = name.size();
    const std::string_view part(name.data() + start, stop - start);
    if (part == "..") return fail("'..' in the path");
    if (!part.empty() && part != ".") leaf = part;
    else if (stop == name.size()) leaf.clear();  // the name ends in a folder
    start = stop + 1;
  }
  if (leaf.empty()) return fail("no file name");
  return leaf;
}

}  // namespace ql::unpack
