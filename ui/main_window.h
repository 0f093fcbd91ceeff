// The main window's and the log window's handlers that bring the tool up and
// keep the log window docked under the main window, the mode change of the
// display-mode box, the redraw timer, and the log box's two operations.
//
// Handlers are module routines: the runtime calls them through their entries
// in @code with three arguments, which these handlers ignore.
#pragma once

#include <cstdint>

#include "module/support/text.h"

namespace ql::ui {

// Main window created: opens the log window, docks it, sets up the tool and
// finally shows the main window.
intptr_t onMainCreated(intptr_t, intptr_t, intptr_t);
// Main window moved: docks the log window and fits the model list (only once
// the view is ready).
intptr_t onMainMoved(intptr_t, intptr_t, intptr_t);
// Main window resized (or maximised): docks the log window, lays the
// controls out for the new size (once the view is ready) and updates the
// viewport.
intptr_t onMainResized(intptr_t, intptr_t, intptr_t);
// Log window resized: the log box fills its client area.
intptr_t onLogResized(intptr_t, intptr_t, intptr_t);
// Selection of 组合框1 changed: the new index becomes the display mode, unless
// nothing is selected.
intptr_t onModeChanged(intptr_t, intptr_t, intptr_t);
// Tick of 时钟1: one frame while a model is loaded.
intptr_t onTimerTick(intptr_t, intptr_t, intptr_t);

// The log box (编辑框1): replace its whole text, or append one line (the
// text and a CR LF, the text not examined).
void replaceLog(TextRef text);
void appendLogLine(TextRef text);

// Moves the log window to the main window's bottom edge with its width.
void dockLogWindow();
// The model list's height: the main window's height less 80.
void fitModelList();
// The controls for the main window's size: the list as fitModelList(), the
// display-mode box below it, the drawing area and its scroll bar taking the
// space right of the list. At the design size all stand as designed.
void layOutMainWindow();

}  // namespace ql::ui
