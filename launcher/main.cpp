// Process entry: the start-up steps on this system's platform, then exit 0
// whatever happened (every failure has been shown to the user).
#include "launcher/launcher.h"
#include "module/abi.h"

#if defined(_WIN32)
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>

#include "launcher/platform_win32.h"

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int) {
  std::unique_ptr<ql::launcher::Platform> platform = ql::launcher::makeWin32Platform(instance);
  ql::launcher::runLauncher(*platform, ql_module_image_address());
  return 0;
}

#else
#include <cstdlib>

#include "launcher/error_dialog.h"
#include "launcher/platform_posix.h"

namespace {

class DesktopPlatform final : public ql::launcher::PosixPlatform {
 public:
  void showError(std::string_view message) override {
    PosixPlatform::showError(message);
    const char* display = std::getenv("DISPLAY");
    if (display && *display) ql::launcher::showErrorDialog(message);
  }
};

}  // namespace

int main() {
  DesktopPlatform platform;
  ql::launcher::runLauncher(platform, ql_module_image_address());
  return 0;
}
#endif
