#include "runtime/kernel/core/libraries.h"

#include <algorithm>
#include <cstdio>
#include <map>
#include <system_error>

#include "common/unwind_share.h"
#include "runtime/paths/paths.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <dlfcn.h>
#endif

namespace ql::rt {

namespace fs = std::filesystem;

namespace {

constexpr char kLibraryExtension[] = ".qlr";

struct LoadedLibrary {
  fs::path file;
  std::string id;
  QlLibInitFn init = nullptr;
  QlLibCommandFn command = nullptr;
  bool initDone = false;
  bool initOk = false;
};

// Loaded once per process and folder: a library stays loaded for good, as
// it may hold blocks the module still owns.
std::map<fs::path, std::vector<LoadedLibrary>>& cache() {
  static auto* libraries = new std::map<fs::path, std::vector<LoadedLibrary>>;
  return *libraries;
}

void* openLibrary(const fs::path& file) {
#ifdef _WIN32
  void* library = reinterpret_cast<void*>(LoadLibraryW(file.wstring().c_str()));
  // A library's runtime error ends a tool's run by an exception through it.
  unwind::shareWithLibrary(library);
  return library;
#else
  return dlopen(file.c_str(), RTLD_NOW | RTLD_LOCAL);
#endif
}

void* symbolOf(void* library, const char* name) {
#ifdef _WIN32
  return reinterpret_cast<void*>(GetProcAddress(static_cast<HMODULE>(library), name));
#else
  return dlsym(library, name);
#endif
}

std::string lastLoadError() {
#ifdef _WIN32
  return "error " + std::to_string(GetLastError());
#else
  const char* e = dlerror();
  return e ? e : "unknown error";
#endif
}

bool isKernelFile(const fs::path& file) {
  return paths::equalsIgnoringAsciiCase(file.filename().string(), support::kKernelFile);
}

std::vector<LoadedLibrary>& librariesIn(const fs::path& folder) {
  auto found = cache().find(folder);
  if (found != cache().end()) return found->second;
  std::vector<LoadedLibrary>& loaded = cache()[folder];

  std::vector<fs::path> files;
  std::error_code ec;
  for (fs::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec)) {
    const fs::path& p = it->path();
    if (!paths::equalsIgnoringAsciiCase(p.extension().string(), kLibraryExtension) || isKernelFile(p)) continue;
    if (it->is_regular_file(ec)) files.push_back(p);
  }
  std::sort(files.begin(), files.end());

  for (const fs::path& file : files) {
    void* handle = openLibrary(file);
    if (!handle) {
      std::fprintf(stderr, "kbase: %s is no loadable library: %s\n", file.string().c_str(), lastLoadError().c_str());
      continue;
    }
    auto info = reinterpret_cast<QlLibInfoFn>(symbolOf(handle, support::kInfoSymbol));
    LoadedLibrary lib;
    lib.file = file;
    lib.init = reinterpret_cast<QlLibInitFn>(symbolOf(handle, support::kInitSymbol));
    lib.command = reinterpret_cast<QlLibCommandFn>(symbolOf(handle, support::kCommandSymbol));
    const QlLibraryInfo* described = info ? info() : nullptr;
    if (!described || !described->identifier || !lib.init || !lib.command) {
      std::fprintf(stderr, "kbase: %s lacks the support library entry points\n", file.string().c_str());
      continue;  // NOTE: left loaded; unloading code that may have run is not worth the risk
    }
    lib.id = described->identifier;
    loaded.push_back(std::move(lib));
  }
  return loaded;
}

bool sameId(std::string_view a, std::string_view b) { return paths::equalsIgnoringAsciiCase(a, b); }

}  // namespace

fs::path kernelFolder() {
#ifdef _WIN32
  HMODULE self = nullptr;
  GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                     reinterpret_cast<LPCWSTR>(&kernelFolder), &self);
  std::wstring buffer(32768, L'\0');
  const DWORD n = GetModuleFileNameW(self, buffer.data(), DWORD(buffer.size()));
  buffer.resize(n);
  return fs::path(buffer).parent_path();
#else
  Dl_info info{};
  if (dladdr(reinterpret_cast<void*>(&kernelFolder), &info) == 0 || !info.dli_fname) return fs::current_path();
  std::error_code ec;
  fs::path self = fs::canonical(info.dli_fname, ec);
  if (ec) self = info.dli_fname;
  return self.parent_path();
#endif
}

Result<std::vector<BoundRow>> bindLibraries(const std::vector<image::LibraryRow>& rows, const fs::path& folder,
                                            const QlHost* host) {
  if (rows.empty()) return fail("library table is empty; row 0 must name the kernel library");
  if (!sameId(rows[0].id, support::kKernelId))
    return fail("library table row 0 (" + rows[0].name + ") has identifier " + rows[0].id +
                ", not the kernel library's " + support::kKernelId);

  std::vector<LoadedLibrary>* loaded = nullptr;
  std::vector<BoundRow> bound;
  bound.reserve(rows.size());
  for (size_t r = 0; r < rows.size(); ++r) {
    BoundRow row{rows[r].name, rows[r].id, nullptr, {}};
    if (r == 0) {
      bound.push_back(std::move(row));
      continue;
    }
    if (!loaded) loaded = &librariesIn(folder);
    auto lib = std::find_if(loaded->begin(), loaded->end(), [&](const LoadedLibrary& l) { return sameId(l.id, row.id); });
    if (lib == loaded->end()) {
      row.missing = "no library with identifier " + row.id + " in " + folder.string();
    } else {
      if (!lib->initDone) {
        lib->initDone = true;
        lib->initOk = lib->init(host) != 0;
      }
      if (lib->initOk)
        row.command = lib->command;
      else
        row.missing = lib->file.filename().string() + " refused to initialise";
    }
    bound.push_back(std::move(row));
  }
  return bound;
}

}  // namespace ql::rt
