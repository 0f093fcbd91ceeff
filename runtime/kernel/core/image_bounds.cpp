#include "runtime/kernel/core/image_bounds.h"

#include <algorithm>
#include <charconv>
#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>

#ifdef _WIN32
#include <windows.h>
#endif

namespace ql::rt {

namespace {

std::string hexAddress(uintptr_t v) {
  char buffer[24];
  std::snprintf(buffer, sizeof buffer, "0x%llx", static_cast<unsigned long long>(v));
  return buffer;
}

struct Mapping {
  uintptr_t start = 0;
  uintptr_t end = 0;
  bool readWrite = false;
};

// One line: "start-end perms offset dev inode [path]", addresses in hex.
std::optional<Mapping> parseLine(std::string_view line) {
  Mapping m;
  const char* p = line.data();
  const char* e = p + line.size();
  auto r = std::from_chars(p, e, m.start, 16);
  if (r.ec != std::errc() || r.ptr == e || *r.ptr != '-') return std::nullopt;
  r = std::from_chars(r.ptr + 1, e, m.end, 16);
  if (r.ec != std::errc() || r.ptr == e || *r.ptr != ' ' || m.end <= m.start) return std::nullopt;
  const char* perms = r.ptr + 1;
  if (e - perms < 2) return std::nullopt;
  m.readWrite = perms[0] == 'r' && perms[1] == 'w';
  return m;
}

}  // namespace

std::optional<uintptr_t> writableRegionEnd(std::string_view maps, uintptr_t address) {
  std::optional<uintptr_t> end;
  size_t pos = 0;
  while (pos < maps.size()) {
    size_t eol = maps.find('\n', pos);
    if (eol == std::string_view::npos) eol = maps.size();
    const auto m = parseLine(maps.substr(pos, eol - pos));
    pos = eol + 1;
    if (!m) continue;
    if (!end) {
      if (address >= m->start && address < m->end) {
        if (!m->readWrite) return std::nullopt;
        end = m->end;
      }
      continue;
    }
    // The lines are sorted by address: extend only over a seamless neighbour.
    if (m->start != *end || !m->readWrite) break;
    end = m->end;
  }
  return end;
}

Result<uint64_t> imageSpan(const void* address) {
  const auto at = reinterpret_cast<uintptr_t>(address);
  if (at == 0) return fail("the module image address is null");
#ifdef _WIN32
  MEMORY_BASIC_INFORMATION info{};
  if (VirtualQuery(address, &info, sizeof info) != sizeof info || info.State != MEM_COMMIT)
    return fail("module image address " + hexAddress(at) + " lies in no committed memory");
  const DWORD writable = PAGE_READWRITE | PAGE_EXECUTE_READWRITE | PAGE_WRITECOPY | PAGE_EXECUTE_WRITECOPY;
  if ((info.Protect & writable) == 0)
    return fail("module image at " + hexAddress(at) + " is not writable");
  const uintptr_t end = reinterpret_cast<uintptr_t>(info.BaseAddress) + info.RegionSize;
#else
  std::ifstream in("/proc/self/maps");
  if (!in) return fail("cannot read /proc/self/maps to find the module image's bounds");
  std::ostringstream text;
  text << in.rdbuf();
  const auto found = writableRegionEnd(text.str(), at);
  if (!found) return fail("module image address " + hexAddress(at) + " lies in no readable and writable mapping");
  const uintptr_t end = *found;
#endif
  return std::min<uint64_t>(uint64_t(end - at), kMaxImageSpan);
}

}  // namespace ql::rt
