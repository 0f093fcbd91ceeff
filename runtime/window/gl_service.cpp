#include "runtime/window/gl_service.h"

#include "runtime/support_lib.h"

namespace ql::window {

std::intptr_t glWindowService(WindowSystem& system, std::int32_t op, std::intptr_t a, std::intptr_t, std::intptr_t) {
  switch (op) {
    case kQlWindowSurfaceOfHandle:
      return reinterpret_cast<std::intptr_t>(system.surface(static_cast<std::uintptr_t>(a)));
    default:
      return 0;
  }
}

}  // namespace ql::window
