// The module's DLL command declarations bound to functions. On Windows the
// named function of the named DLL; elsewhere a layer of ours stands in for
// the one function the tool declares, ShellExecuteA of shell32.dll.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "module/abi.h"
#include "runtime/kernel/kernel_api.h"

namespace ql::rt {

// Windows API functions (ShellExecuteA) pop their own arguments: on 32-bit
// Windows the call must use their convention.
#if defined(_WIN32)
#define QL_DLL_CALL __stdcall
#else
#define QL_DLL_CALL
#endif

// The declared function's shape: six pointer-sized arguments.
using DllFunction = intptr_t(QL_DLL_CALL*)(intptr_t, intptr_t, intptr_t, intptr_t, intptr_t, intptr_t);

struct DllBinding {
  DllFunction function = nullptr;  // null when unbound
  std::string missing;             // why it is unbound
};

// DLL and function names compare ignoring ASCII case (as Windows does).
DllBinding bindDllCommand(std::string_view dllFile, std::string_view function);

// ShellExecuteA(hwnd, operation, file, parameters, directory, show) on Linux:
// operation "open" (or null, the default verb) hands `file` (GBK, converted
// to UTF-8) to xdg-open as its one argument, without a shell, and does not
// wait; the child is reaped in the background. Returns a value above 32 when
// xdg-open started, 2 when it could not start or the file is empty or not
// GBK, and 31 (no association) for any other operation, which does nothing.
intptr_t shellExecuteLayer(intptr_t window, intptr_t operation, intptr_t file, intptr_t parameters,
                           intptr_t directory, intptr_t show);

// Replaces what the layer starts; null restores xdg-open (QlKernelSetShellHook).
void setShellHook(QlShellOpenHook hook, void* context);

// Result codes of the layer, as ShellExecuteA gives them.
constexpr intptr_t kShellOk = 42;
constexpr intptr_t kShellFileNotFound = 2;
constexpr intptr_t kShellNoAssociation = 31;

}  // namespace ql::rt
