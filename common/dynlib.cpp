#include "common/dynlib.h"

#include "common/unwind_share.h"

#if defined(_WIN32)
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>
#else
#include <dlfcn.h>
#endif

namespace ql::dynlib {

#if defined(_WIN32)

void* open(const std::filesystem::path& file) {
  // Dependencies of the library are looked for beside it, as the launcher does.
  HMODULE library = LoadLibraryExW(file.wstring().c_str(), nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
  unwind::shareWithLibrary(library);
  return reinterpret_cast<void*>(library);
}

void* symbol(void* library, const char* name) {
  return reinterpret_cast<void*>(GetProcAddress(static_cast<HMODULE>(library), name));
}

std::string lastError() { return "Windows error " + std::to_string(GetLastError()); }

void close(void* library) {
  if (!library) return;
  unwind::unshareLibrary(library);
  FreeLibrary(static_cast<HMODULE>(library));
}

#else

void* open(const std::filesystem::path& file) { return dlopen(file.c_str(), RTLD_NOW | RTLD_LOCAL); }

void* symbol(void* library, const char* name) { return dlsym(library, name); }

std::string lastError() {
  const char* e = dlerror();
  return e ? e : "unknown error";
}

void close(void* library) {
  if (library) dlclose(library);
}

#endif

}  // namespace ql::dynlib
