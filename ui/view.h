// The OpenGL view in 画板1: set-up and release of its context, the viewport
// that follows the area's size, one frame per timer tick, the framing of a
// freshly loaded model, and the mouse and keys: left drags turn the model,
// right or middle drags move it in the view's plane, the wheel brings it
// nearer or farther, a double click or Home frames it again. The view state
// lives in the module-wide variables (ql::globals(): viewWindowHandle …
// dragPanY).
//
// Handlers are module routines: the runtime calls them through their entries
// in @code with three arguments; the mouse handlers get x, y (pixels of
// 画板1) and a key state, the key handler the key's virtual-key code, 0 and a
// key state, the others ignore theirs.
#pragma once

#include <cstdint>

#include "module/support/pixel_format.h"

namespace ql::ui {

// A drag of this many pixels is one full turn, whatever the area's size.
inline constexpr double kFullTurnDragX = 640.0;
inline constexpr double kFullTurnDragY = 480.0;

inline constexpr double kFieldOfView = 45.0;  // degrees, vertical
// A fresh load: the model's bounds fill this much of the view's height (or
// of its width, for a model wider than the view), centred, with the scroll
// bar at its start position.
inline constexpr double kFramingFill = 0.8;
inline constexpr int32_t kFramingScrollPosition = 30;
// The scroll bar's 100 steps move the model by twice the view's height at
// the framing distance.
inline constexpr double kScrollStepsPerViewHeight = 50.0;
// One notch of the wheel brings the model this much nearer (or as much
// farther the other way).
inline constexpr double kZoomPerNotch = 0.9;
// The nearest the model's centre comes, in radii of its bounds: the whole
// model always stays in front of the eye.
inline constexpr double kNearestRadii = 1.1;
// The farthest, in framing distances.
inline constexpr double kFarthestFramings = 20.0;

// Whole degrees that a drag from `from` to `to` turns, for a full turn of
// `fullTurnPixels`: difference, division, times 360, toward zero.
int32_t dragDegrees(int32_t from, int32_t to, double fullTurnPixels);

// The box around the vertices that the drawn triangles name (vertex numbers
// outside the table and coordinates that are not finite left out).
struct ModelBounds {
  bool empty = true;
  double min[3] = {0, 0, 0};
  double max[3] = {0, 0, 0};
};
ModelBounds modelBounds();

// Where a fresh load puts a model with these bounds, in a view of this
// aspect (width / height): turned upright (its z axis up the screen, its −y
// side facing the viewer), the bounds' centre in the middle.
struct Framing {
  double centre[3] = {0, 0, 0};
  double radius = 1.0;    // half the bounds' diagonal; 1 for a single point or none
  double distance = 0.0;  // eye to centre
  double scrollStep = 0.0;
};
Framing framingFor(const ModelBounds& bounds, double aspect);

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
// Frames the model now in the store as a fresh load shows it (the load
// routines call it once the store is filled), and resets the view to that.
void frameModel();
// Back to the framing of the last load: no turn, no move, the framing
// distance, the scroll bar at its start position.
void resetView();
// Nearer (positive) or farther by a wheel turn in 1/120 notches.
void zoomView(int32_t wheelDelta);
// Clears, places, turns and draws the model, then swaps. Nothing once the
// view is released (or was never set up).
void drawFrame();
// The model as the display mode shows it, each triangle with its own
// material's texture.
void drawModel();
// Gives the context up; no frame is drawn after it.
void releaseView();

// Routines.
intptr_t onViewRelease(intptr_t, intptr_t, intptr_t);  // main window being destroyed
intptr_t onMouseDown(intptr_t x, intptr_t y, intptr_t keys);
intptr_t onMouseUp(intptr_t x, intptr_t y, intptr_t keys);
intptr_t onMouseMove(intptr_t x, intptr_t y, intptr_t keys);
intptr_t onMouseDoubleClick(intptr_t x, intptr_t y, intptr_t keys);
intptr_t onMouseWheel(intptr_t x, intptr_t y, intptr_t keys);
intptr_t onKeyDown(intptr_t key, intptr_t, intptr_t keys);

}  // namespace ql::ui
