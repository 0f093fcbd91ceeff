// A stand-in kernel library for the launcher's tests. It appends what it was
// given to the file named by QL_TEST_KERNEL_RECORD, one "key value" per line:
//   sock <argument of GetNewSock>
//   entry <module image address>      bytes <first 36 bytes there, hex>
//   self <path it was loaded from>    exe_base <load address of the executable>
// Built three ways: QL_TEST_KERNEL_NO_SOCK leaves GetNewSock out,
// QL_TEST_KERNEL_NULL_ENTRY makes it return 0.
#include <dlfcn.h>
#include <link.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>

#include "module/abi.h"

namespace {

void record(const char* format, auto... args) {
  const char* path = std::getenv("QL_TEST_KERNEL_RECORD");
  if (!path) return;
  if (std::FILE* f = std::fopen(path, "a")) {
    std::fprintf(f, format, args...);
    std::fclose(f);
  }
}

int firstObject(dl_phdr_info* info, size_t, void* out) {
  *static_cast<uintptr_t*>(out) = uintptr_t(info->dlpi_addr);
  return 1;  // the executable comes first
}

void runtimeEntry(void* image) {
  record("entry %p\n", image);
  const auto* bytes = static_cast<const unsigned char*>(image);
  char hex[2 * 36 + 1];
  for (int i = 0; i < 36; ++i) std::snprintf(hex + 2 * i, 3, "%02x", bytes[i]);
  record("bytes %s\n", hex);
  Dl_info self;
  if (dladdr(reinterpret_cast<void*>(&runtimeEntry), &self) && self.dli_fname) record("self %s\n", self.dli_fname);
  uintptr_t base = 0;
  dl_iterate_phdr(firstObject, &base);
  record("exe_base %p\n", reinterpret_cast<void*>(base));
}

}  // namespace

#if !defined(QL_TEST_KERNEL_NO_SOCK)
QL_EXPORT void* GetNewSock(int32_t magic) {
  record("sock %d\n", int(magic));
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
