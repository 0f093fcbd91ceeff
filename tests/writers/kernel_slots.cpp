#include "kernel_slots.h"

#include <cstdio>
#include <cstdlib>
#include <string>

#include "module/abi.h"
#include "runtime/kernel/commands/commands.h"
#include "runtime/kernel/commands/memory.h"

namespace writers::kernel_slots {

namespace abi = ql::abi;

namespace {

Handlers gHandlers;

[[noreturn]] void stop(const char* what) {
  std::fprintf(stderr, "kernel slots: unexpected %s\n", what);
  std::abort();
}

[[noreturn]] void unexpected(const char* what) {
  if (gHandlers.unexpected) gHandlers.unexpected(what);
  stop(what);  // a handler that returned
}

[[noreturn]] void slotRuntimeError(int32_t code) {
  if (gHandlers.runtimeError) gHandlers.runtimeError(code);
  stop(("runtime error " + std::to_string(code)).c_str());
}
intptr_t slotDll(int32_t, intptr_t, intptr_t, intptr_t, intptr_t, intptr_t, intptr_t) { unexpected("DLL command"); }
abi::CmdResult slotLibraryCommand(int32_t, int32_t, const abi::ArgRecord*) { unexpected("library command"); }
abi::CmdResult slotKernelCommand(int32_t code, const abi::ArgRecord* args) {
  return ql::rt::kernelCommand(code, args);
}
uint64_t slotReadProperty(uint32_t window, uint32_t unit, int32_t property, int32_t index) {
  if (!gHandlers.readProperty) unexpected("property read");
  return gHandlers.readProperty(window, unit, property, index);
}
void slotWriteProperty(uint32_t window, uint32_t unit, int32_t property, int32_t index, uint64_t value) {
  if (!gHandlers.writeProperty) unexpected("property write");
  gHandlers.writeProperty(window, unit, property, index, value);
}
void slotEndProgram(int32_t) { unexpected("end of program"); }
void slotMessageLoop(int32_t) { unexpected("message loop"); }
void slotOpenWindow(uint32_t) { unexpected("open window"); }
intptr_t slotSupport(int32_t selector, intptr_t, intptr_t, intptr_t, intptr_t) {
  if (selector == abi::kSupportPrepareAppend) return 0;
  unexpected(("support selector " + std::to_string(selector)).c_str());
}

}  // namespace

void setHandlers(const Handlers& handlers) { gHandlers = handlers; }

void* const* table() {
  // The declared types pin each entry to its signature in module/abi.h.
  static const abi::RuntimeErrorFn s0 = &slotRuntimeError;
  static const abi::DllCommandFn s1 = &slotDll;
  static const abi::LibraryCommandFn s2 = &slotLibraryCommand;
  static const abi::KernelCommandFn s3 = &slotKernelCommand;
  static const abi::ReadPropertyFn s4 = &slotReadProperty;
  static const abi::WritePropertyFn s5 = &slotWriteProperty;
  static const abi::AllocateFn s6 = &ql::rt::allocate;
  static const abi::ReallocateFn s7 = &ql::rt::reallocate;
  static const abi::FreeFn s8 = &ql::rt::release;
  static const abi::EndProgramFn s9 = &slotEndProgram;
  static const abi::MessageLoopFn s10 = &slotMessageLoop;
  static const abi::OpenWindowFn s11 = &slotOpenWindow;
  static const abi::SupportFn s12 = &slotSupport;
  static void* const slots[abi::kSlotCount] = {
      reinterpret_cast<void*>(s0),  reinterpret_cast<void*>(s1),  reinterpret_cast<void*>(s2),
      reinterpret_cast<void*>(s3),  reinterpret_cast<void*>(s4),  reinterpret_cast<void*>(s5),
      reinterpret_cast<void*>(s6),  reinterpret_cast<void*>(s7),  reinterpret_cast<void*>(s8),
      reinterpret_cast<void*>(s9),  reinterpret_cast<void*>(s10), reinterpret_cast<void*>(s11),
      reinterpret_cast<void*>(s12)};
  return slots;
}

}  // namespace writers::kernel_slots
