#include <FL/Fl.H>
#include <FL/fl_ask.H>
#include <FL/x.H>

#include <string>

#include "launcher/error_dialog.h"

namespace ql::launcher {

void showErrorDialog(std::string_view message) {
  // FLTK ends the process when it cannot open the display itself; open it
  // here so that a bad DISPLAY only costs the dialog.
  Display* display = XOpenDisplay(nullptr);
  if (!display) return;
  fl_open_display(display);
  fl_message_title("Error");
  fl_alert("%s", std::string(message).c_str());
}

}  // namespace ql::launcher
