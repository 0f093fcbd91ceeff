// Typed access to the thirteen service slots of @hlpfn. The slot table's
// address is set once by the start routine (tests set their own table); every
// call to the runtime goes through one of these functions.
#pragma once

#include <cstdint>

#include "module/abi.h"

namespace ql::svc {

// Our own runtime error code for an array index outside 1 … size. The format
// leaves element access unchecked; we stop instead of touching foreign memory.
constexpr int32_t kErrIndexRange = 1;

void setSlotTable(void* const* slots);
void* const* slotTable();

[[noreturn]] void runtimeError(int32_t code);                                     // slot 0
intptr_t dllCommand(int32_t declaration, intptr_t a1 = 0, intptr_t a2 = 0, intptr_t a3 = 0,
                    intptr_t a4 = 0, intptr_t a5 = 0, intptr_t a6 = 0);           // slot 1
abi::CmdResult libraryCommand(int32_t row, int32_t code, const abi::ArgRecord* args);  // slot 2
abi::CmdResult kernelCommand(int32_t code, const abi::ArgRecord* args);          // slot 3
uint64_t readProperty(uint32_t window, uint32_t unit, int32_t property);          // slot 4
void writeProperty(uint32_t window, uint32_t unit, int32_t property, uint64_t value);  // slot 5
// Blocks of the runtime's heap. allocate() never gives null for a size the
// runtime accepted: running out of memory is the runtime's to report.
void* allocate(uintptr_t size);                                                   // slot 6
void* reallocate(void* block, uintptr_t size);                                    // slot 7
void release(void* block);  // slot 8; null is ignored
[[noreturn]] void endProgram();                                                   // slot 9
void runMessageLoop();                                                            // slot 10
void openWindow(uint32_t windowId);                                               // slot 11
intptr_t support(int32_t selector, intptr_t a = 0, intptr_t b = 0, intptr_t c = 0, intptr_t d = 0);  // slot 12

// Selector 3 of the support slot: the runtime calls the routine behind this
// entry when the program ends. The entry must outlive the program run.
void registerCleanup(const abi::Routine* entry);

}  // namespace ql::svc
