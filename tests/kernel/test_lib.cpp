// A support library for the kernel's tests: bound by its identifier, it
// answers with blocks from the host's allocator and can raise a runtime error
// through the host, so tests see both directions of the library interface.
#include <cstdlib>
#include <cstring>
#include <string_view>

#include "runtime/support_lib.h"
#include "tests/kernel/test_ids.h"

namespace {
const QlHost* gHost = nullptr;

// The host's runtime error does not come back; should a broken host return,
// the library stops here rather than run on.
[[noreturn]] void stop(int32_t code) {
  gHost->runtimeError(code);
  std::abort();
}
}  // namespace

QL_EXPORT const QlLibraryInfo* QlLibInfo() {
  static const QlLibraryInfo info{"qltest", ql::rt::test::kTestLibId, 1, 0, "kernel test library"};
  return &info;
}

QL_EXPORT int32_t QlLibInit(const QlHost* host) {
  if (!host || host->version != kQlHostVersion || !host->allocate || !host->runtimeError) return 0;
  gHost = host;
  return 1;
}

QL_EXPORT ql::abi::CmdResult QlLibCommand(int32_t code, const ql::abi::ArgRecord* args) {
  using namespace ql::rt::test;
  switch (code) {
    case kLibCmdPrefix: {
      // "lib:" + the text argument, as a new block of the host.
      if (!args || args->count != 1 || args->args[0].tag != ql::abi::kTagText) stop(kLibBadArgs);
      const char* text = reinterpret_cast<const char*>(static_cast<uintptr_t>(ql::abi::argValue(args->args[0])));
      const std::string_view in = text ? text : "";
      auto* out = static_cast<char*>(gHost->allocate(in.size() + 5));
      std::memcpy(out, "lib:", 4);
      std::memcpy(out + 4, in.data(), in.size());
      out[in.size() + 4] = '\0';
      return {static_cast<uint64_t>(reinterpret_cast<uintptr_t>(out)), ql::abi::kTagText, 0};
    }
    case kLibCmdSurface: {
      if (!args || args->count != 1 || !gHost->windowService) stop(kLibBadArgs);
      const intptr_t surface = gHost->windowService(kQlWindowSurfaceOfHandle,
                                                    static_cast<intptr_t>(ql::abi::argValue(args->args[0])), 0, 0);
      return {static_cast<uint64_t>(surface), ql::abi::kTagInt, 0};
    }
    case kLibCmdFail:
      stop(kLibErrorCode);
    default:
      return {0, ql::abi::kTagOmitted, 0};
  }
}
