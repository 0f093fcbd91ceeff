#include "runtime/window/win32/win32_text.h"

#include <windows.h>

#include <utility>

#include "runtime/window/filter.h"

namespace ql::window::win32 {

namespace {
constexpr UINT kCodePageGbk = 936;
}  // namespace

std::wstring displayText(std::string_view gbk) {
  if (gbk.empty()) return {};
  const int n = MultiByteToWideChar(kCodePageGbk, 0, gbk.data(), static_cast<int>(gbk.size()), nullptr, 0);
  if (n <= 0) return {};
  std::wstring out(static_cast<std::size_t>(n), L'\0');
  MultiByteToWideChar(kCodePageGbk, 0, gbk.data(), static_cast<int>(gbk.size()), out.data(), n);
  return out;
}

std::wstring menuText(std::string_view gbk) {
  std::wstring out;
  for (wchar_t c : displayText(gbk)) {
    if (c == L'\r' || c == L'\n') continue;
    out += c;
    if (c == L'&') out += L'&';
  }
  return out;
}

std::wstring editText(std::string_view gbk) {
  const std::wstring in = displayText(gbk);
  std::wstring out;
  out.reserve(in.size() + in.size() / 16);
  for (std::size_t i = 0; i < in.size(); ++i) {
    if (in[i] == L'\r') {
      out += L"\r\n";
      if (i + 1 < in.size() && in[i + 1] == L'\n') ++i;
    } else if (in[i] == L'\n') {
      out += L"\r\n";
    } else {
      out += in[i];
    }
  }
  return out;
}

std::wstring dialogFilter(std::string_view gbkFilter) {
  std::wstring out;
  for (const auto& pair : parseFilter(gbkFilter)) {
    std::wstring description = displayText(pair.description);
    std::wstring pattern = displayText(pair.pattern);
    // A NUL inside a piece would cut the list short: the rest would vanish.
    std::erase(description, L'\0');
    std::erase(pattern, L'\0');
    if (pattern.empty()) continue;
    out += description;
    out += L'\0';
    out += pattern;
    out += L'\0';
  }
  if (!out.empty()) out += L'\0';
  return out;
}

std::wstring fontFamily(std::string_view gbkName) {
  static constexpr std::pair<const char*, const wchar_t*> kKnown[] = {
      {"\xCB\xCE\xCC\xE5", L"SimSun"},            // 宋体
      {"\xD0\xC2\xCB\xCE\xCC\xE5", L"NSimSun"},   // 新宋体
      {"\xBA\xDA\xCC\xE5", L"SimHei"},            // 黑体
      {"\xBF\xAC\xCC\xE5", L"KaiTi"},             // 楷体
      {"\xBF\xAC\xCC\xE5_GB2312", L"KaiTi_GB2312"},
      {"\xB7\xC2\xCB\xCE", L"FangSong"},          // 仿宋
      {"\xCE\xA2\xC8\xED\xD1\xC5\xBA\xDA", L"Microsoft YaHei"},  // 微软雅黑
  };
  for (const auto& [gbk, english] : kKnown)
    if (gbkName == gbk) return english;
  return displayText(gbkName);
}

DialogStart dialogStart(const FileDialogSpec& spec) {
  DialogStart start;
  std::string preset = spec.fileName;
  if (std::size_t sep = lastSeparator(preset); sep != std::string::npos) {
    if (spec.initialFolder.empty()) {
      start.folder = displayText(preset.substr(0, sep));
      // "C:" alone names the drive's current folder, not its root.
      if (start.folder.size() == 2 && start.folder[1] == L':') start.folder += L'\\';
    }
    preset = preset.substr(sep + 1);
  }
  if (!spec.initialFolder.empty()) start.folder = displayText(spec.initialFolder);
  start.fileName = displayText(preset);
  if (spec.kind == FileDialogKind::Save) {
    std::string ext = defaultExtension(spec.defaultExtension);
    if (!ext.empty()) start.defaultExtension = displayText(std::string_view(ext).substr(1));
  }
  return start;
}

}  // namespace ql::window::win32
