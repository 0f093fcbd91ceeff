#include "runtime/kernel/commands/registry.h"

#include "runtime/kernel/commands/commands.h"
#include "runtime/paths/paths.h"
#include "runtime/support_lib.h"

#ifdef _WIN32
#include <windows.h>

#include "common/gbk.h"
#endif

namespace ql::rt {

#ifdef _WIN32

namespace {

constexpr int32_t kRootLocalMachine = 4;

std::string readValue(HKEY root, const std::wstring& subKey, const std::wstring& valueName) {
  HKEY key = nullptr;
  if (RegOpenKeyExW(root, subKey.c_str(), 0, KEY_QUERY_VALUE, &key) != ERROR_SUCCESS) return {};
  DWORD type = 0;
  DWORD size = 0;
  std::string out;
  if (RegQueryValueExW(key, valueName.c_str(), nullptr, &type, nullptr, &size) == ERROR_SUCCESS &&
      (type == REG_SZ || type == REG_EXPAND_SZ) && size > 0) {
    std::wstring value(size / sizeof(wchar_t) + 1, L'\0');
    if (RegQueryValueExW(key, valueName.c_str(), nullptr, &type, reinterpret_cast<BYTE*>(value.data()), &size) ==
        ERROR_SUCCESS) {
      value.resize(wcsnlen(value.c_str(), value.size()));
      if (auto gbk = wideToGbk(value)) out = std::move(*gbk);
    }
  }
  RegCloseKey(key);
  return out;
}

}  // namespace

std::string readRegistryText(int32_t root, std::string_view keyPath) {
  if (root != kRootLocalMachine) return {};
  const size_t cut = keyPath.rfind('\\');
  const std::string_view subKey = cut == std::string_view::npos ? std::string_view() : keyPath.substr(0, cut);
  const std::string_view name = cut == std::string_view::npos ? keyPath : keyPath.substr(cut + 1);
  auto wideKey = gbkToWide(subKey);
  auto wideName = gbkToWide(name);
  if (!wideKey || !wideName) return {};
  std::string value = readValue(HKEY_LOCAL_MACHINE, *wideKey, *wideName);
  if (value.empty()) value = readValue(HKEY_CURRENT_USER, *wideKey, *wideName);
  return value;
}

#else

std::string readRegistryText(int32_t /*root*/, std::string_view keyPath) {
  if (!paths::equalsIgnoringAsciiCase(keyPath, kArchiveToolOpenKey)) return {};
  return "\"" + adapterFolder() + "\\" + support::kArchiveAdapterFile + "\" \"%1\"";
}

#endif

}  // namespace ql::rt
