#include "module/support/services.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace ql::svc {
namespace {

void* const* g_slots = nullptr;

// A missing table or slot is a wiring fault of the program itself, never a
// user's doing: stop loudly rather than jump through null.
[[noreturn]] void missingSlot(int slot) {
  std::fprintf(stderr, "module: service slot %d called before the runtime filled it\n", slot);
  std::abort();
}

template <class Fn>
Fn slot(int index) {
  if (!g_slots || !g_slots[index]) missingSlot(index);
  Fn fn;
  static_assert(sizeof(fn) == sizeof(void*));
  std::memcpy(&fn, &g_slots[index], sizeof(fn));
  return fn;
}

}  // namespace

void setSlotTable(void* const* slots) { g_slots = slots; }
void* const* slotTable() { return g_slots; }

void runtimeError(int32_t code) {
  slot<abi::RuntimeErrorFn>(abi::kSlotRuntimeError)(code);
  // The runtime promises not to return here; if it does, stopping is all that is safe.
  std::fprintf(stderr, "module: runtime error %d returned\n", int(code));
  std::abort();
}

intptr_t dllCommand(int32_t declaration, intptr_t a1, intptr_t a2, intptr_t a3, intptr_t a4, intptr_t a5,
                    intptr_t a6) {
  return slot<abi::DllCommandFn>(abi::kSlotDllCommand)(declaration, a1, a2, a3, a4, a5, a6);
}

abi::CmdResult libraryCommand(int32_t row, int32_t code, const abi::ArgRecord* args) {
  return slot<abi::LibraryCommandFn>(abi::kSlotLibraryCommand)(row, code, args);
}

abi::CmdResult kernelCommand(int32_t code, const abi::ArgRecord* args) {
  return slot<abi::KernelCommandFn>(abi::kSlotKernelCommand)(code, args);
}

uint64_t readProperty(uint32_t window, uint32_t unit, int32_t property) {
  return slot<abi::ReadPropertyFn>(abi::kSlotReadProperty)(window, unit, property, -1);
}

void writeProperty(uint32_t window, uint32_t unit, int32_t property, uint64_t value) {
  slot<abi::WritePropertyFn>(abi::kSlotWriteProperty)(window, unit, property, -1, value);
}

void* allocate(uintptr_t size) {
  void* block = slot<abi::AllocateFn>(abi::kSlotAllocate)(size);
  if (!block) {
    std::fprintf(stderr, "module: allocation of %llu bytes failed\n", static_cast<unsigned long long>(size));
    std::abort();
  }
  return block;
}

void* reallocate(void* block, uintptr_t size) {
  void* moved = slot<abi::ReallocateFn>(abi::kSlotReallocate)(block, size);
  if (!moved) {
    std::fprintf(stderr, "module: reallocation to %llu bytes failed\n", static_cast<unsigned long long>(size));
    std::abort();
  }
  return moved;
}

void release(void* block) {
  if (block) slot<abi::FreeFn>(abi::kSlotFree)(block);
}

void endProgram() {
  slot<abi::EndProgramFn>(abi::kSlotEndProgram)(0);
  std::abort();  // the runtime does not come back from ending the program
}

void runMessageLoop() { slot<abi::MessageLoopFn>(abi::kSlotMessageLoop)(0); }

void openWindow(uint32_t windowId) { slot<abi::OpenWindowFn>(abi::kSlotOpenWindow)(windowId); }

intptr_t support(int32_t selector, intptr_t a, intptr_t b, intptr_t c, intptr_t d) {
  return slot<abi::SupportFn>(abi::kSlotSupport)(selector, a, b, c, d);
}

void registerCleanup(const abi::Routine* entry) {
  support(abi::kSupportRegisterCleanup, reinterpret_cast<intptr_t>(entry));
}

}  // namespace ql::svc
