#include "runtime/paths/paths.h"

#include <algorithm>
#include <optional>
#include <system_error>

#include "common/gbk.h"
#include "common/utf8_path.h"

namespace ql::paths {

namespace fs = std::filesystem;

namespace {

template <class Char>
Char asciiLower(Char c) {
  return (c >= Char('A') && c <= Char('Z')) ? Char(c - Char('A') + Char('a')) : c;
}

template <class Char>
bool equalsIgnoringCase(std::basic_string_view<Char> a, std::basic_string_view<Char> b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    if (asciiLower(a[i]) != asciiLower(b[i])) return false;
  }
  return true;
}

// Something is there (a broken link counts: it is a name that exists).
bool present(const fs::path& p) {
  std::error_code ec;
  return fs::exists(fs::symlink_status(p, ec));
}

// The entry of `folder` whose name equals `name` ignoring ASCII case. When
// several do (a case-sensitive file system may hold both), the smallest name
// wins so that the choice does not depend on the directory order.
std::optional<fs::path> findIgnoringCase(const fs::path& folder, const fs::path& name) {
  std::error_code ec;
  fs::directory_iterator it(folder.empty() ? fs::path(".") : folder, ec);
  if (ec) return std::nullopt;
  using Str = fs::path::string_type;
  using View = std::basic_string_view<fs::path::value_type>;
  const Str& wanted = name.native();
  std::optional<Str> best;
  for (; it != fs::directory_iterator(); it.increment(ec)) {
    if (ec) break;
    Str candidate = it->path().filename().native();
    if (!equalsIgnoringCase(View(candidate), View(wanted))) continue;
    if (!best || candidate < *best) best = std::move(candidate);
  }
  if (!best) return std::nullopt;
  return fs::path(*best);
}

std::string lossyForMessage(std::string_view gbk) { return gbkToUtf8Lossy(gbk); }

}  // namespace

bool equalsIgnoringAsciiCase(std::string_view a, std::string_view b) { return equalsIgnoringCase(a, b); }

#ifdef _WIN32

Result<fs::path> toNative(std::string_view gbkPath) {
  auto wide = gbkToWide(gbkPath);
  if (!wide) return fail("path is not valid GBK: " + lossyForMessage(gbkPath));
  return fs::path(*wide);
}

Result<std::string> fromNative(const fs::path& native) {
  std::wstring wide = native.native();
  std::replace(wide.begin(), wide.end(), L'/', L'\\');
  auto gbk = wideToGbk(wide);
  if (!gbk) return fail("name has no GBK form: " + u8text(native));
  return *gbk;
}

#else

Result<fs::path> toNative(std::string_view gbkPath) {
  auto utf8 = gbkPathToLinux(gbkPath);
  if (!utf8) return fail("path is not valid GBK: " + lossyForMessage(gbkPath));
  return fs::path(std::move(*utf8));
}

Result<std::string> fromNative(const fs::path& native) {
  auto gbk = linuxPathToGbk(native.native());
  if (!gbk) return fail("name has no GBK form: " + native.native());
  return std::move(*gbk);
}

#endif

fs::path resolve(const fs::path& p) {
  if (p.empty() || present(p)) return p;
  fs::path current = p.root_path();
  const fs::path relative = p.relative_path();
  for (const fs::path& component : relative) {
    if (component.empty() || component == "." || component == "..") {
      current /= component;
      continue;
    }
    fs::path exact = current / component;
    if (present(exact)) {
      current = std::move(exact);
      continue;
    }
    auto match = findIgnoringCase(current, component);
    if (!match) return p;
    current /= *match;
  }
  return current;
}

Result<fs::path> toNativeResolved(std::string_view gbkPath) {
  auto native = toNative(gbkPath);
  if (!native) return native;
  return resolve(*native);
}

fs::path resolveForWrite(const fs::path& p) {
  fs::path resolved = resolve(p);
  if (present(resolved) || !p.has_parent_path() || !p.has_filename()) return resolved;
  return resolve(p.parent_path()) / p.filename();
}

Result<fs::path> toNativeForWrite(std::string_view gbkPath) {
  auto native = toNative(gbkPath);
  if (!native) return native;
  return resolveForWrite(*native);
}

}  // namespace ql::paths
