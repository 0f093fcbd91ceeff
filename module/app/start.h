// The module's start routine (the entry the image header names) and its
// clean-up routine (registered with the runtime, run when the program ends).
// Both are module routines: the runtime calls them through their entries.
#pragma once

#include <cstdint>

namespace ql::app {

// Resets the floating-point state, binds the module to the runtime through the
// link area, initialises the globals, registers the clean-up, opens the main
// window, runs the message loop and ends the program. Does not return.
intptr_t startRoutine(intptr_t, intptr_t, intptr_t);
// Frees every module-wide text and list.
intptr_t cleanupRoutine(intptr_t, intptr_t, intptr_t);

// Round to nearest, all exceptions masked, full precision; on x86 the x87 and
// SSE control words as well.
void resetFloatingPoint();

}  // namespace ql::app
