// A stand-in kernel library for the launcher's tests. It appends what it was
// given to the file named by QL_TEST_KERNEL_RECORD, one "key value" per line:
//   sock <argument of GetNewSock>
//   entry <module image address>      bytes <first 36 bytes there, hex>
//   self <path it was loaded from>    exe_base <load address of the executable>
// Built three ways: QL_TEST_KERNEL_NO_SOCK leaves GetNewSock out,
// QL_TEST_KERNEL_NULL_ENTRY makes it return 0. On Windows a fourth,
// QL_TEST_KERNEL_DEPENDENCY, imports a library that must lie beside it and
// also records
//   dependency <what that library answered>   dependency_self <its path>
// Paths are recorded as UTF-8.
#if defined(_WIN32)
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>
#else
#include <dlfcn.h>
#include <link.h>
#endif

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "module/abi.h"

#if defined(QL_TEST_KERNEL_DEPENDENCY)
// dllimport, so that its address is the library's own, not our import thunk.
extern "C" __declspec(dllimport) int32_t qlTestDllAnswer();
#endif

namespace {

std::FILE* openRecord() {
#if defined(_WIN32)
  // The Win32 environment, not the C runtime's copy, which the test's
  // SetEnvironmentVariableW does not reach.
  wchar_t path[1024];
  const DWORD n = GetEnvironmentVariableW(L"QL_TEST_KERNEL_RECORD", path, DWORD(std::size(path)));
  if (n == 0 || n >= std::size(path)) return nullptr;
  // Binary: the lines end in LF on every system.
  return _wfopen(path, L"ab");
#else
  const char* path = std::getenv("QL_TEST_KERNEL_RECORD");
  return path ? std::fopen(path, "a") : nullptr;
#endif
}

void record(const char* format, auto... args) {
  if (std::FILE* f = openRecord()) {
    std::fprintf(f, format, args...);
    std::fclose(f);
  }
}

#if defined(_WIN32)
// The UTF-8 path of the module holding `address`; empty when unknown.
std::string modulePath(const void* address) {
  HMODULE module = nullptr;
  if (!GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                          static_cast<LPCWSTR>(address), &module))
    return {};
  wchar_t wide[1024];
  const DWORD n = GetModuleFileNameW(module, wide, DWORD(std::size(wide)));
  if (n == 0 || n >= std::size(wide)) return {};
  const int length = WideCharToMultiByte(CP_UTF8, 0, wide, int(n), nullptr, 0, nullptr, nullptr);
  std::string out(size_t(length > 0 ? length : 0), '\0');
  WideCharToMultiByte(CP_UTF8, 0, wide, int(n), out.data(), length, nullptr, nullptr);
  return out;
}
#else
int firstObject(dl_phdr_info* info, size_t, void* out) {
  *static_cast<uintptr_t*>(out) = uintptr_t(info->dlpi_addr);
  return 1;  // the executable comes first
}
#endif

void runtimeEntry(void* image) {
  record("entry %p\n", image);
  const auto* bytes = static_cast<const unsigned char*>(image);
  char hex[2 * 36 + 1];
  for (int i = 0; i < 36; ++i) std::snprintf(hex + 2 * i, 3, "%02x", bytes[i]);
  record("bytes %s\n", hex);
#if defined(_WIN32)
  const std::string self = modulePath(reinterpret_cast<const void*>(&runtimeEntry));
  if (!self.empty()) record("self %s\n", self.c_str());
  record("exe_base %p\n", static_cast<void*>(GetModuleHandleW(nullptr)));
#else
  Dl_info self;
  if (dladdr(reinterpret_cast<void*>(&runtimeEntry), &self) && self.dli_fname) record("self %s\n", self.dli_fname);
  uintptr_t base = 0;
  dl_iterate_phdr(firstObject, &base);
  record("exe_base %p\n", reinterpret_cast<void*>(base));
#endif
}

}  // namespace

#if !defined(QL_TEST_KERNEL_NO_SOCK)
QL_EXPORT void* GetNewSock(int32_t magic) {
  record("sock %d\n", int(magic));
#if defined(QL_TEST_KERNEL_DEPENDENCY)
  record("dependency %d\n", int(qlTestDllAnswer()));
  record("dependency_self %s\n", modulePath(reinterpret_cast<const void*>(&qlTestDllAnswer)).c_str());
#endif
#if defined(QL_TEST_KERNEL_NULL_ENTRY)
  return nullptr;
#else
  return reinterpret_cast<void*>(&runtimeEntry);
#endif
}
#else
// Something is exported, just not the entry the launcher asks for.
QL_EXPORT void* GetOldSock(int32_t) { return reinterpret_cast<void*>(&runtimeEntry); }
#endif
