#include "ui/main_window.h"

#include "game/game_setup.h"
#include "game/model_list.h"
#include "module/app/image_link.h"
#include "module/support/globals.h"
#include "module/support/kernel.h"
#include "module/support/numbers.h"
#include "qvkm_image.h"
#include "ui/units.h"
#include "ui/view.h"

namespace ql::ui {
namespace {

// The display-mode box is asked for this entry at start, one past its last;
// what it reports (5, or −1 when it refuses) becomes the display mode.
constexpr int32_t kStartDisplayModeIndex = 5;
constexpr int32_t kNoSelection = -1;
// The model list ends this far above the main window's bottom edge.
constexpr double kListBottomMargin = 80.0;

}  // namespace

void dockLogWindow() {
  const int32_t left = prop::readInt(kMainWindow, prop::kLeft);
  const int32_t top = prop::readInt(kMainWindow, prop::kTop);
  const int32_t width = prop::readInt(kMainWindow, prop::kWidth);
  const int32_t height = prop::readInt(kMainWindow, prop::kHeight);
  kernel::move(kLogWindow, left, floatToInt32(double(top) + double(height)), width);
}

intptr_t onMainCreated(intptr_t, intptr_t, intptr_t) {
  Globals& g = globals();
  // 1-2: the log window, owned by the main window, docked under it.
  kernel::openWindow(kLogWindow, kMainWindow);
  dockLogWindow();

  // 3. The archive tool, found again at every start.
  game::discoverArchiveTool();
  // 4. The game folder and the textures (may extract the texture package).
  game::setUpGameFolder();

  // 5. The model list, once, from the game folder's pmodel folder.
  game::fillModelList();

  // 6. The OpenGL view in 画板1; its context stays current from here on.
  g.viewWindowHandle = kernel::controlHandle(kMainWindow, kDrawingArea1);
  setUpView(g.viewWindowHandle);

  // 7. The display mode: whatever the box reports after asking for entry 5.
  prop::writeInt(kComboBox1, prop::kComboSelection, kStartDisplayModeIndex);
  g.displayMode = prop::readInt(kComboBox1, prop::kComboSelection);
  // 8. From here on moves re-dock the log window.
  g.viewReady = 1;
  g.viewPitch = 0;
  // 9. Only now, after any dialogs of the set-up, the main window appears.
  prop::writeBool(kMainWindow, prop::kVisible, true);
  return 0;
}

intptr_t onMainMoved(intptr_t, intptr_t, intptr_t) {
  // Moves during the start handler (a dialog open, say) change nothing.
  if (!globals().viewReady) return 0;
  dockLogWindow();
  const int32_t height = prop::readInt(kMainWindow, prop::kHeight);
  prop::writeInt(kListBox1, prop::kHeight, floatToInt32(double(height) - kListBottomMargin));
  return 0;
}

intptr_t onLogResized(intptr_t, intptr_t, intptr_t) {
  const int32_t width = kernel::clientWidth(kLogWindow);
  const int32_t height = kernel::clientHeight(kLogWindow);
  kernel::move(kTextBox1, 0, 0, width, height);
  return 0;
}

intptr_t onModeChanged(intptr_t, intptr_t, intptr_t) {
  const int32_t index = prop::readInt(kComboBox1, prop::kComboSelection);
  if (index != kNoSelection) globals().displayMode = index;
  return 0;
}

intptr_t onTimerTick(intptr_t, intptr_t, intptr_t) {
  if (!globals().modelLoaded) return 0;
  drawFrame();
  return 0;
}

void replaceLog(TextRef text) { prop::writeText(kTextBox1, prop::kWholeText, text); }

void appendLogLine(TextRef text) {
  const Text current = prop::readText(kTextBox1, prop::kWholeText);
  const Text joined = concat(current, text, app::constText(gen::text::kCrLf));
  prop::writeText(kTextBox1, prop::kWholeText, joined);
}

}  // namespace ql::ui
