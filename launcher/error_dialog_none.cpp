#include "launcher/error_dialog.h"

namespace ql::launcher {

// Built without a toolkit: standard error carries the message alone.
void showErrorDialog(std::string_view) {}

}  // namespace ql::launcher
