// A small library for the launcher's Windows tests: loaded on its own through
// the platform, and imported by the stand-in kernel that needs a library
// beside it (as the real kernel needs its support libraries).
#include <cstdint>

#include "module/abi.h"

QL_EXPORT int32_t qlTestDllAnswer() { return 4242; }
