// The kernel's answer to the OpenGL binding's window-service requests
// (QlHost::windowService, operations in runtime/support_lib.h).
#pragma once

#include <cstdint>

#include "runtime/window/window_system.h"

namespace ql::window {

// kQlWindowSurfaceOfHandle: a = native handle -> DrawingSurface* (0 when the
// handle names no drawing area). Unknown operations answer 0.
std::intptr_t glWindowService(WindowSystem& system, std::int32_t op, std::intptr_t a, std::intptr_t b,
                              std::intptr_t c);

}  // namespace ql::window
