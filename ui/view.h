// The OpenGL view in 画板1: set-up and release of its context, the viewport
// that follows the area's size, one frame per timer tick, and the rotation by
// mouse drags. The view state lives in the module-wide variables
// (ql::globals(): viewWindowHandle … dragStartY).
//
// Handlers are module routines: the runtime calls them through their entries
// in @code with three arguments; the mouse handlers get x, y (pixels of
// 画板1) and a key state, the others ignore theirs.
#pragma once

#include <cstdint>

#include "module/support/pixel_format.h"

namespace ql::ui {

// A drag of this many pixels is one full turn, whatever the area's size.
inline constexpr double kFullTurnDragX = 640.0;
inline constexpr double kFullTurnDragY = 480.0;

// Whole degrees that a drag from `from` to `to` turns, for a full turn of
// `fullTurnPixels`: difference, division, times 360, toward zero.
int32_t dragDegrees(int32_t from, int32_t to, double fullTurnPixels);

// The pixel format the view asks for: 24-bit RGBA, 32-bit depth, no
// stencil, double-buffered, drawn to a window, main plane.
gl::PixelFormatRequest viewPixelFormat();

// GetDC, pixel format, context made current for the rest of the run, and
// the fixed state. No result is examined: a failed set-up leaves a view that
// draws nothing.
void setUpView(intptr_t windowHandle);
// Viewport and projection for the current size of 画板1 (skipped while its
// height is 0).
void updateViewport();
// Clears, places, turns and draws the model, then swaps. Nothing once the
// view is released (or was never set up).
void drawFrame();
// The model as the display mode shows it, each triangle with its own
// material's texture.
void drawModel();
// Gives the context up; no frame is drawn after it.
void releaseView();

// Routines.
intptr_t onViewRelease(intptr_t, intptr_t, intptr_t);     // main window being destroyed
intptr_t onViewportUpdate(intptr_t, intptr_t, intptr_t);  // main window resized
intptr_t onMouseDown(intptr_t x, intptr_t y, intptr_t keys);
intptr_t onMouseUp(intptr_t x, intptr_t y, intptr_t keys);
intptr_t onMouseMove(intptr_t x, intptr_t y, intptr_t keys);

}  // namespace ql::ui
