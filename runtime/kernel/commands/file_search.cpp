#include "runtime/kernel/commands/file_search.h"

#include <atomic>
#include <cstdio>
#include <filesystem>
#include <string>
#include <system_error>
#include <vector>

#include "common/gbk.h"
#include "module/abi.h"
#include "runtime/kernel/commands/memory.h"
#include "runtime/kernel/commands/runtime_error.h"
#include "runtime/paths/paths.h"

namespace ql::rt {

namespace fs = std::filesystem;

namespace {

std::atomic<int64_t> gOpenSearches{0};

bool isLeadByte(uint8_t b) { return isGbkLeadByte(b); }

// Splits a GBK text into its characters (one or two bytes each).
std::vector<std::string_view> characters(std::string_view text) {
  std::vector<std::string_view> out;
  out.reserve(text.size());
  size_t i = 0;
  while (i < text.size()) {
    const size_t width = (isLeadByte(uint8_t(text[i])) && i + 1 < text.size()) ? 2 : 1;
    out.push_back(text.substr(i, width));
    i += width;
  }
  return out;
}

char asciiLower(char c) { return (c >= 'A' && c <= 'Z') ? char(c - 'A' + 'a') : c; }

bool sameCharacter(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  if (a.size() == 1) return asciiLower(a[0]) == asciiLower(b[0]);
  return a == b;
}

// Offset of the last '\' that is a character of its own (not the second byte
// of a double-byte character); npos when there is none.
size_t lastSeparator(std::string_view path) {
  size_t found = std::string_view::npos;
  size_t i = 0;
  while (i < path.size()) {
    if (path[i] == '\\') found = i;
    i += (isLeadByte(uint8_t(path[i])) && i + 1 < path.size()) ? 2 : 1;
  }
  return found;
}

struct Search {
  fs::directory_iterator it;
  std::string pattern;  // GBK, the last component
  bool folders = false;
};

Search* searchOf(intptr_t* handle) { return reinterpret_cast<Search*>(*handle); }

void endSearch(intptr_t* handle) {
  if (Search* search = searchOf(handle)) {
    delete search;
    gOpenSearches.fetch_sub(1, std::memory_order_relaxed);
  }
  *handle = 0;
}

// Opens the folder of `pattern`; a folder that does not exist gives a search
// that yields nothing.
Search* startSearch(std::string_view pattern, bool folders) {
  auto* search = new Search;
  gOpenSearches.fetch_add(1, std::memory_order_relaxed);
  search->folders = folders;
  const size_t cut = lastSeparator(pattern);
  std::string folderGbk;
  if (cut == std::string_view::npos) {
    search->pattern = std::string(pattern);
    folderGbk = ".";
  } else {
    search->pattern = std::string(pattern.substr(cut + 1));
    folderGbk = cut == 0 ? std::string("\\") : std::string(pattern.substr(0, cut));
  }
  auto folder = paths::toNativeResolved(folderGbk);
  if (!folder) {
    std::fprintf(stderr, "file search: %s\n", folder.error().message.c_str());
    return search;
  }
  std::error_code ec;
  search->it = fs::directory_iterator(*folder, ec);
  if (ec) search->it = fs::directory_iterator();
  return search;
}

// The next entry of `search` that matches, as a GBK name; "" at the end.
std::string nextMatch(Search& search) {
  std::error_code ec;
  for (; search.it != fs::directory_iterator(); search.it.increment(ec)) {
    if (ec) {
      search.it = fs::directory_iterator();
      break;
    }
    const fs::directory_entry& entry = *search.it;
    std::error_code typeError;
    const bool isFolder = entry.is_directory(typeError);
    if (isFolder != search.folders) continue;
    auto name = paths::fromNative(entry.path().filename());
    if (!name) {
      std::fprintf(stderr, "file search: skipped %s\n", name.error().message.c_str());
      continue;
    }
    if (name->empty() || !matchesWildcard(search.pattern, *name)) continue;
    std::string found = std::move(*name);
    search.it.increment(ec);
    if (ec) search.it = fs::directory_iterator();
    return found;
  }
  return {};
}

}  // namespace

bool matchesWildcard(std::string_view pattern, std::string_view name) {
  if (pattern == "*.*") return true;
  const auto p = characters(pattern);
  const auto n = characters(name);
  // Greedy match with one backtrack point for the most recent '*'.
  size_t pi = 0, ni = 0;
  size_t starAt = std::string_view::npos, starName = 0;
  while (ni < n.size()) {
    if (pi < p.size() && p[pi] == "*") {
      starAt = pi++;
      starName = ni;
    } else if (pi < p.size() && (p[pi] == "?" || sameCharacter(p[pi], n[ni]))) {
      ++pi;
      ++ni;
    } else if (starAt != std::string_view::npos) {
      pi = starAt + 1;
      ni = ++starName;
    } else {
      return false;
    }
  }
  while (pi < p.size() && p[pi] == "*") ++pi;
  return pi == p.size();
}

char* fileSearch(const char* pattern, int32_t attributes, int32_t /*flag*/, intptr_t* handle) {
  if (!handle) raiseRuntimeError(kErrCommandCall, "file search (support selector 0) without a search handle");
  if (pattern) {
    endSearch(handle);
    *handle = reinterpret_cast<intptr_t>(startSearch(pattern, (attributes & abi::kSearchFolders) != 0));
  }
  Search* search = searchOf(handle);
  if (!search) return newText("");
  return newText(nextMatch(*search));
}

void endFileSearch(intptr_t* handle) {
  if (!handle) raiseRuntimeError(kErrCommandCall, "end of file search (support selector 1) without a search handle");
  endSearch(handle);
}

void prepareAppend(int32_t /*elementWidth*/, void** /*arrayVariable*/) {}

int64_t openFileSearches() { return gOpenSearches.load(std::memory_order_relaxed); }

}  // namespace ql::rt
