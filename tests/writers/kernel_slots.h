// One in-process service slot table over the real kernel commands and the
// real allocator, for module code run without a loaded image: the writers'
// tests and their benchmark share it. Slot 3 reaches the kernel's commands,
// 6–8 its allocator; the support service accepts "prepare append" and does
// nothing. Runtime errors and property reads and writes go to the handlers
// the user sets; every other service is not expected and goes to
// `unexpected`.
#pragma once

#include <cstdint>

namespace writers::kernel_slots {

struct Handlers {
  // Must not return (throw or stop).
  void (*runtimeError)(int32_t code) = nullptr;
  uint64_t (*readProperty)(uint32_t window, uint32_t unit, int32_t property, int32_t index) = nullptr;
  void (*writeProperty)(uint32_t window, uint32_t unit, int32_t property, int32_t index, uint64_t value) = nullptr;
  // Must not return (throw or stop).
  void (*unexpected)(const char* what) = nullptr;
};

// Handlers left null stop the process with a note on standard error.
void setHandlers(const Handlers& handlers);

// The table, in slot order (ql::abi::kSlotCount entries).
void* const* table();

}  // namespace writers::kernel_slots
