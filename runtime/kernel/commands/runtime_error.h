// How the kernel stops the program on a runtime error. The kernel (or a test)
// installs a hook; the hook reports the error and does not return (the real
// kernel ends the program, tests throw). Without a hook, or if the hook
// returns, the error goes to standard error and the process aborts.
#pragma once

#include <cstdint>
#include <string_view>

namespace ql::rt {

// Codes the module itself raises through slot 0 are those of module/abi.h
// (3, 5, 10). The kernel's own faults use these.
constexpr int32_t kErrCommandCall = 20;     // a kernel command called with wrong arguments
constexpr int32_t kErrUnknownCommand = 21;  // a command code the kernel does not have
constexpr int32_t kErrNoWindowSystem = 22;  // a window command before the window system is set
constexpr int32_t kErrOutOfMemory = 23;     // the allocator could not satisfy a request
constexpr int32_t kErrBadPath = 24;         // a path the file system cannot take (see paths.h)
constexpr int32_t kErrWindow = 25;          // a window, control or property the window system refused
constexpr int32_t kErrUnavailable = 26;     // a library row or DLL command the runtime could not bind
constexpr int32_t kErrBadRoutine = 27;      // a routine entry outside @code or empty

using RuntimeErrorHook = void (*)(int32_t code, const char* detail);

// Returns the previous hook; null restores the default.
RuntimeErrorHook setRuntimeErrorHook(RuntimeErrorHook hook);

[[noreturn]] void raiseRuntimeError(int32_t code, std::string_view detail);

}  // namespace ql::rt
