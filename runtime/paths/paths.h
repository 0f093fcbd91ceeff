// Paths as the module sees them (GBK texts with '\' separators) and as the
// operating system sees them. Every runtime operation that takes a path from
// the module goes through toNative; every path handed to the module goes
// through fromNative.
#pragma once

#include <filesystem>
#include <string>
#include <string_view>

#include "common/result.h"

namespace ql::paths {

// "\home\a\游戏\pmodel" (GBK) -> /home/a/游戏/pmodel. Fails when the bytes are
// not valid GBK. No case resolution (see resolve).
Result<std::filesystem::path> toNative(std::string_view gbkPath);

// /home/a/游戏/pmodel -> "\home\a\游戏\pmodel" (GBK). Fails when a character
// has no GBK form: the user sees an error instead of a mangled name.
Result<std::string> fromNative(const std::filesystem::path& native);

// Game data comes from a Windows file system, where names differ only in
// case. When `p` does not exist, look for it component by component ignoring
// ASCII case; returns the existing match, or `p` unchanged when none.
std::filesystem::path resolve(const std::filesystem::path& p);

// toNative followed by resolve: what file operations use.
Result<std::filesystem::path> toNativeResolved(std::string_view gbkPath);

// For a file about to be created or replaced: an existing file in another
// letter case is the one replaced (as on Windows); otherwise the name is kept
// as given inside its folder, which itself is resolved.
std::filesystem::path resolveForWrite(const std::filesystem::path& p);
Result<std::filesystem::path> toNativeForWrite(std::string_view gbkPath);

// ASCII-only case-insensitive equality of two names (bytes beyond ASCII, such
// as the parts of a Chinese character, must match exactly).
bool equalsIgnoringAsciiCase(std::string_view a, std::string_view b);

}  // namespace ql::paths
