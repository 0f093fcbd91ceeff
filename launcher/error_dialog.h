// The failure message as a desktop dialog, for the launcher on Linux.
#pragma once

#include <string_view>

namespace ql::launcher {

// Shows `message` in a modal dialog captioned "Error" when an X display can
// be opened; does nothing otherwise. Never ends the process.
void showErrorDialog(std::string_view message);

}  // namespace ql::launcher
