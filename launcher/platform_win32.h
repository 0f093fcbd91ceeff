// The launcher's platform on Windows: the Win32 calls, with wide APIs for
// every path (paths travel through the launcher as UTF-8).
#pragma once

#if defined(_WIN32)

#include <memory>

#include "launcher/launcher.h"

namespace ql::launcher {

// `instance` is the HINSTANCE that WinMain received; it names our own file.
std::unique_ptr<Platform> makeWin32Platform(void* instance);

}  // namespace ql::launcher

#endif
