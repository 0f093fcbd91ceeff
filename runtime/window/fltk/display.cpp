// Kept apart from the backend: Xlib's macros (Status, None, Bool) clash with
// our own names.
#include "runtime/window/fltk/fltk_window_system.h"

#include <X11/Xlib.h>

namespace ql::window {

bool FltkWindowSystem::displayAvailable() {
  Display* d = XOpenDisplay(nullptr);
  if (!d) return false;
  XCloseDisplay(d);
  return true;
}

}  // namespace ql::window
