// The kernel library's exported entry points.
#include "module/abi.h"
#include "runtime/kernel/commands/memory.h"
#include "runtime/kernel/core/dll_commands.h"
#include "runtime/kernel/core/runtime.h"
#include "runtime/kernel/kernel_api.h"

namespace {

void runtimeEntry(void* moduleImage) { ql::rt::runModule(moduleImage); }

}  // namespace

// The launcher asks for the runtime entry with the magic number; any other
// number gets nothing.
QL_EXPORT void* GetNewSock(int32_t magic) {
  if (magic != ql::abi::kGetNewSockMagic) return nullptr;
  ql::abi::RuntimeEntryFn entry = &runtimeEntry;
  return reinterpret_cast<void*>(entry);
}

QL_EXPORT int32_t QlKernelConfigure(const QlKernelConfig* config) {
  return config && ql::rt::configureRuntime(*config) ? 1 : 0;
}

QL_EXPORT const QlKernelOutcome* QlKernelLastOutcome() { return &ql::rt::lastOutcome(); }

QL_EXPORT int64_t QlKernelLiveBlocks() { return ql::rt::liveBlocks(); }

QL_EXPORT void QlKernelSetShellHook(QlShellOpenHook hook, void* context) {
  ql::rt::setShellHook(hook, context);
}
