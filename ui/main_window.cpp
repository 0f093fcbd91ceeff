#include "ui/main_window.h"

#include <algorithm>

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

// The view starts in 纹理模式, shown in the display-mode box, so that the
// first model chosen is on screen at once.
constexpr int32_t kStartDisplayModeIndex = 4;
constexpr int32_t kNoSelection = -1;
// The model list ends this far above the main window's bottom edge.
constexpr double kListBottomMargin = 80.0;

// The main window's design: at its outer size of 640 × 480 every control
// stands where the form puts it; what lies right of the list and below it
// follows the window's size from there.
constexpr int32_t kDesignWidth = 640;
constexpr int32_t kDesignHeight = 480;
constexpr int32_t kAreaLeft = 112;
constexpr int32_t kAreaDesignWidth = 504;
constexpr int32_t kAreaDesignHeight = 448;
constexpr int32_t kScrollBarDesignHeight = 456;
// The display-mode box keeps this gap below the list's bottom edge.
constexpr int32_t kComboGapBelowList = 16;

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

  // 7. The display mode: 纹理模式, as the box then shows it.
  prop::writeInt(kComboBox1, prop::kComboSelection, kStartDisplayModeIndex);
  g.displayMode = prop::readInt(kComboBox1, prop::kComboSelection);
  // 8. From here on moves re-dock the log window.
  g.viewReady = 1;
  g.viewPitch = 0;
  // 9. Only now, after any dialogs of the set-up, the main window appears.
  prop::writeBool(kMainWindow, prop::kVisible, true);
  return 0;
}

namespace {

// Sets the list's height for a main window this high; the height set.
int32_t fitModelListTo(int32_t windowHeight) {
  const int32_t listHeight = floatToInt32(double(windowHeight) - kListBottomMargin);
  prop::writeInt(kListBox1, prop::kHeight, listHeight);
  return listHeight;
}

}  // namespace

void fitModelList() { fitModelListTo(prop::readInt(kMainWindow, prop::kHeight)); }

void layOutMainWindow() {
  const int32_t width = prop::readInt(kMainWindow, prop::kWidth);
  const int32_t height = prop::readInt(kMainWindow, prop::kHeight);
  const int32_t listHeight = fitModelListTo(height);
  // Below the list, never under it, also when the list has no height left.
  kernel::move(kComboBox1, std::nullopt, std::max(0, listHeight) + kComboGapBelowList);
  const int32_t grownWidth = width - kDesignWidth, grownHeight = height - kDesignHeight;
  const int32_t areaWidth = std::max(0, kAreaDesignWidth + grownWidth);
  kernel::move(kDrawingArea1, kAreaLeft, 0, areaWidth, std::max(0, kAreaDesignHeight + grownHeight));
  kernel::move(kScrollBar2, kAreaLeft + areaWidth, 0, std::nullopt, std::max(0, kScrollBarDesignHeight + grownHeight));
}

intptr_t onMainMoved(intptr_t, intptr_t, intptr_t) {
  // Moves during the start handler (a dialog open, say) change nothing.
  if (!globals().viewReady) return 0;
  dockLogWindow();
  fitModelList();
  return 0;
}

intptr_t onMainResized(intptr_t, intptr_t, intptr_t) {
  // A resize by the bottom or right edge moves nothing, but the log window
  // belongs under the new bottom edge all the same.
  if (globals().viewReady) {
    dockLogWindow();
    layOutMainWindow();
  }
  updateViewport();
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
