// The runtime proper: loads a module image, fills its service slots, builds
// its windows, routes their events to the module's handlers and ends the
// program. One module per process; every call comes from the one
// user-interface thread.
#pragma once

#include "runtime/kernel/kernel_api.h"

namespace ql::rt {

// Takes effect for the next run. False while a program runs or for an
// unknown version.
bool configureRuntime(const QlKernelConfig& config);

// The runtime entry (GetNewSock(1000)): loads the image at `image` and runs
// its start routine. Returns only when the image is refused (after a message
// box naming the reason) or, with returnOnEnd configured, when the program
// has ended; otherwise the end of the program ends the process.
void runModule(void* image);

const QlKernelOutcome& lastOutcome();

}  // namespace ql::rt
