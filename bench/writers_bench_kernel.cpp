// The runtime side of the writers' benchmark: the real kernel commands and
// allocator behind a service slot table (nothing else is needed to build a
// text). Apart from writers_bench.cpp, whose ql::kernel names are the
// module's.
#include <cstdio>
#include <cstdlib>

#include "module/abi.h"
#include "runtime/kernel/commands/commands.h"
#include "runtime/kernel/commands/memory.h"

namespace writers_bench {

namespace abi = ql::abi;

namespace {

[[noreturn]] void stop(const char* what) {
  std::fprintf(stderr, "writers_bench: unexpected %s\n", what);
  std::abort();
}
[[noreturn]] void slotRuntimeError(int32_t) { stop("runtime error"); }
intptr_t slotDll(int32_t, intptr_t, intptr_t, intptr_t, intptr_t, intptr_t, intptr_t) { stop("DLL command"); }
abi::CmdResult slotLibraryCommand(int32_t, int32_t, const abi::ArgRecord*) { stop("library command"); }
abi::CmdResult slotKernelCommand(int32_t code, const abi::ArgRecord* args) {
  return ql::kernel::kernelCommand(code, args);
}
uint64_t slotReadProperty(uint32_t, uint32_t, int32_t, int32_t) { stop("property read"); }
void slotWriteProperty(uint32_t, uint32_t, int32_t, int32_t, uint64_t) { stop("property write"); }
void slotEndProgram(int32_t) { stop("end of program"); }
void slotMessageLoop(int32_t) { stop("message loop"); }
void slotOpenWindow(uint32_t) { stop("window"); }
intptr_t slotSupport(int32_t selector, intptr_t, intptr_t, intptr_t, intptr_t) {
  if (selector == abi::kSupportPrepareAppend) return 0;
  stop("support selector");
}

}  // namespace

void* const* slotTable() {
  static const abi::RuntimeErrorFn s0 = &slotRuntimeError;
  static const abi::DllCommandFn s1 = &slotDll;
  static const abi::LibraryCommandFn s2 = &slotLibraryCommand;
  static const abi::KernelCommandFn s3 = &slotKernelCommand;
  static const abi::ReadPropertyFn s4 = &slotReadProperty;
  static const abi::WritePropertyFn s5 = &slotWriteProperty;
  static const abi::AllocateFn s6 = &ql::kernel::allocate;
  static const abi::ReallocateFn s7 = &ql::kernel::reallocate;
  static const abi::FreeFn s8 = &ql::kernel::release;
  static const abi::EndProgramFn s9 = &slotEndProgram;
  static const abi::MessageLoopFn s10 = &slotMessageLoop;
  static const abi::OpenWindowFn s11 = &slotOpenWindow;
  static const abi::SupportFn s12 = &slotSupport;
  static void* const table[abi::kSlotCount] = {
      reinterpret_cast<void*>(s0),  reinterpret_cast<void*>(s1),  reinterpret_cast<void*>(s2),
      reinterpret_cast<void*>(s3),  reinterpret_cast<void*>(s4),  reinterpret_cast<void*>(s5),
      reinterpret_cast<void*>(s6),  reinterpret_cast<void*>(s7),  reinterpret_cast<void*>(s8),
      reinterpret_cast<void*>(s9),  reinterpret_cast<void*>(s10), reinterpret_cast<void*>(s11),
      reinterpret_cast<void*>(s12)};
  return table;
}

}  // namespace writers_bench
