// Paths to and from UTF-8 text, the same on every system.
//
// A narrow string given to std::filesystem::path is read in the system's
// narrow encoding: UTF-8 on Linux, the ANSI code page on Windows, where
// "流星蝴蝶剑" would name another folder. Paths made from UTF-8 text go
// through u8path(), and paths shown as UTF-8 text through u8text().
#pragma once

#include <filesystem>
#include <string>
#include <string_view>

namespace ql {

inline std::filesystem::path u8path(std::string_view utf8) {
  return std::filesystem::path(std::u8string(utf8.begin(), utf8.end()));
}

inline std::string u8text(const std::filesystem::path& p) {
  const std::u8string u8 = p.u8string();
  return std::string(u8.begin(), u8.end());
}

}  // namespace ql
