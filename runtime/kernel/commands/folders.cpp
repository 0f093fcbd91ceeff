#include <filesystem>
#include <string>
#include <system_error>

#include "runtime/kernel/commands/commands.h"
#include "runtime/kernel/commands/runtime_error.h"
#include "runtime/paths/paths.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <dlfcn.h>
#endif

namespace ql::rt {

namespace fs = std::filesystem;

namespace {

std::string gProgramFolder;
std::string gAdapterFolder;

// A folder as the module sees it: GBK, '\' separators, no trailing '\'. A
// folder GBK cannot name is an error the user must see; the tool could not
// build a single path from it.
std::string gbkFolder(const fs::path& folder, const char* what) {
  auto gbk = paths::fromNative(folder);
  if (!gbk) raiseRuntimeError(kErrBadPath, std::string(what) + ": " + gbk.error().message);
  std::string text = std::move(*gbk);
  while (!text.empty() && text.back() == '\\') text.pop_back();
  return text;
}

void anchor() {}

#ifdef _WIN32

fs::path moduleFile(HMODULE module) {
  std::wstring buffer(MAX_PATH, L'\0');
  for (;;) {
    DWORD n = GetModuleFileNameW(module, buffer.data(), DWORD(buffer.size()));
    if (n == 0) return {};
    if (n < buffer.size()) {
      buffer.resize(n);
      return fs::path(buffer);
    }
    buffer.resize(buffer.size() * 2);
  }
}

fs::path executableFile() { return moduleFile(nullptr); }

fs::path codeFile() {
  HMODULE module = nullptr;
  if (!GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                          reinterpret_cast<LPCWSTR>(&anchor), &module)) {
    return executableFile();
  }
  return moduleFile(module);
}

#else

fs::path executableFile() {
  std::error_code ec;
  fs::path exe = fs::read_symlink("/proc/self/exe", ec);
  return ec ? fs::path() : exe;
}

fs::path codeFile() {
  Dl_info info{};
  if (dladdr(reinterpret_cast<void*>(&anchor), &info) == 0 || !info.dli_fname ||
      std::string_view(info.dli_fname).find('/') == std::string_view::npos) {
    return executableFile();
  }
  std::error_code ec;
  fs::path file = fs::weakly_canonical(fs::absolute(info.dli_fname, ec), ec);
  return ec ? executableFile() : file;
}

#endif

}  // namespace

void setProgramFolder(std::string gbkFolder) { gProgramFolder = std::move(gbkFolder); }

std::string programFolder() {
  if (!gProgramFolder.empty()) return gProgramFolder;
  return gbkFolder(executableFile().parent_path(), "program folder");
}

void setAdapterFolder(std::string gbkFolder) { gAdapterFolder = std::move(gbkFolder); }

std::string adapterFolder() {
  if (!gAdapterFolder.empty()) return gAdapterFolder;
  return gbkFolder(codeFile().parent_path(), "runtime folder");
}

}  // namespace ql::rt
