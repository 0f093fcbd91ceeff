#include "ui/view.h"

#include <algorithm>
#include <array>
#include <cmath>

#include "model/model_store.h"
#include "module/support/gl.h"
#include "module/support/globals.h"
#include "module/support/kernel.h"
#include "module/support/numbers.h"
#include "module/support/pixel_format.h"
#include "ui/units.h"

namespace ql::ui {
namespace {

// OpenGL 1.1 values the view passes.
constexpr int32_t kGlFlat = 0x1D00;
constexpr int32_t kGlDepthTest = 0x0B71;
constexpr int32_t kGlLess = 0x0201;
constexpr int32_t kGlTexture2d = 0x0DE1;
constexpr int32_t kGlPerspectiveCorrectionHint = 0x0C50;
constexpr int32_t kGlNicest = 0x1102;
constexpr int32_t kGlModelView = 0x1700;
constexpr int32_t kGlProjection = 0x1701;
constexpr int32_t kGlColorAndDepthBufferBits = 0x4100;

// The pixel format the view asks for.
constexpr uint16_t kPixelFormatVersion = 1;
constexpr uint8_t kPfdTypeRgba = 0;
constexpr uint8_t kColourBits = 24;
constexpr uint8_t kDepthBits = 32;
constexpr uint8_t kPfdMainPlane = 0;

constexpr float kPointSize = 8.0f;  // 点模式 shows 8-pixel squares
// The clipping planes before any model is framed.
constexpr double kNearPlane = 0.1;
constexpr double kFarPlane = 1000.0;
// Once framed, the planes hug the model's bounding sphere, a little wider,
// so that models of any size are neither clipped nor short of depth
// precision.
constexpr double kClipRadii = 1.05;
constexpr double kDegreesPerTurn = 360.0;
constexpr double kPi = 3.14159265358979323846;
// The model stands up: its z axis up the screen.
constexpr double kUprightPitch = -90.0;
// 画板1 as designed, until the first viewport update says otherwise.
constexpr int32_t kDesignAreaWidth = 504;
constexpr int32_t kDesignAreaHeight = 448;

// Angles grow without bound; on a wrap (after millions of turns) they wrap
// as 32-bit values do instead of overflowing.
int32_t addAngles(int32_t a, int32_t b) {
  return static_cast<int32_t>(static_cast<uint32_t>(a) + static_cast<uint32_t>(b));
}

// 1 / tan(half the field of view): how the projection scales.
double focalScale() { return 1.0 / std::tan(kFieldOfView / 2.0 * kPi / 180.0); }

double viewAspect() {
  const Globals& g = globals();
  if (g.viewportHeight > 0) return double(g.viewportWidth) / double(g.viewportHeight);
  return double(kDesignAreaWidth) / double(kDesignAreaHeight);
}

int32_t viewHeightPixels() {
  const int32_t h = globals().viewportHeight;
  return h > 0 ? h : kDesignAreaHeight;
}

void applyProjection() {
  const Globals& g = globals();
  double nearPlane = kNearPlane, farPlane = kFarPlane;
  if (g.viewFramed) {
    nearPlane = g.viewDistance - kClipRadii * g.viewRadius;
    farPlane = g.viewDistance + kClipRadii * g.viewRadius;
  }
  gl::matrixMode(kGlProjection);
  gl::loadIdentity();
  gl::perspective(kFieldOfView, viewAspect(), nearPlane, farPlane);
  gl::matrixMode(kGlModelView);
  gl::loadIdentity();
}

// Ends the drag in progress: its turn and move become the view's own.
void commitDrag() {
  Globals& g = globals();
  g.dragging = 0;
  g.dragPanning = 0;
  g.viewYaw = addAngles(g.viewYaw, g.dragYaw);
  g.viewPitch = addAngles(g.viewPitch, g.dragPitch);
  g.dragPitch = 0;
  g.dragYaw = 0;
  g.panX += g.dragPanX;
  g.panY += g.dragPanY;
  g.dragPanX = 0;
  g.dragPanY = 0;
}

}  // namespace

gl::PixelFormatRequest viewPixelFormat() {
  gl::PixelFormatRequest request{};
  request.nSize = sizeof request;
  request.nVersion = kPixelFormatVersion;
  request.dwFlags = gl::kPfdDrawToWindow | gl::kPfdSupportOpenGl | gl::kPfdDoubleBuffer;
  request.iPixelType = kPfdTypeRgba;
  request.cColorBits = kColourBits;
  request.cDepthBits = kDepthBits;
  request.cStencilBits = 0;
  request.iLayerType = kPfdMainPlane;
  return request;
}

int32_t dragDegrees(int32_t from, int32_t to, double fullTurnPixels) {
  const double difference = double(to) - double(from);
  return floatToInt32(difference / fullTurnPixels * kDegreesPerTurn);
}

ModelBounds modelBounds() {
  ModelBounds b;
  const void* vertices = store::vertexTable().block();
  const void* triangles = store::triangleTable().block();
  std::array<int32_t, store::kTriangleTableColumns> t{};
  std::array<float, 3> p{};  // x, y, z
  const int32_t vertexRows = arr::readableRows(vertices, INT32_MAX, uint32_t(p.size()));
  const int32_t triangleRows = arr::readableRows(triangles, globals().triangleCount, uint32_t(t.size()));
  for (int32_t row = 1; row <= triangleRows; ++row) {
    arr::readRow(triangles, row, t);
    // Vertex numbers count from 0; the drawing skips a triangle that names
    // one outside the table.
    if (std::any_of(t.begin() + 1, t.end(), [&](int32_t v) { return v < 0 || v >= vertexRows; })) continue;
    for (size_t k = 1; k < t.size(); ++k) {
      arr::readRow(vertices, store::vertexRowOf(t[k]), p);
      if (!std::isfinite(p[0]) || !std::isfinite(p[1]) || !std::isfinite(p[2])) continue;
      for (size_t axis = 0; axis < 3; ++axis) {
        if (b.empty || p[axis] < b.min[axis]) b.min[axis] = p[axis];
        if (b.empty || p[axis] > b.max[axis]) b.max[axis] = p[axis];
      }
      b.empty = false;
    }
  }
  return b;
}

Framing framingFor(const ModelBounds& bounds, double aspect) {
  Framing f;
  double half[3] = {0, 0, 0};
  if (!bounds.empty) {
    for (size_t axis = 0; axis < 3; ++axis) {
      f.centre[axis] = (bounds.min[axis] + bounds.max[axis]) / 2.0;
      half[axis] = (bounds.max[axis] - bounds.min[axis]) / 2.0;
    }
  }
  const double radius = std::sqrt(half[0] * half[0] + half[1] * half[1] + half[2] * half[2]);
  f.radius = radius > 0 ? radius : 1.0;
  if (!(aspect > 0)) aspect = double(kDesignAreaWidth) / double(kDesignAreaHeight);
  // Upright, the model's z extent runs up the screen, its x extent across it
  // and its y extent into it; the face nearest the eye fills the view.
  const double scale = focalScale();
  const double fitHeight = half[1] + half[2] * scale / kFramingFill;
  const double fitWidth = half[1] + half[0] * scale / (kFramingFill * aspect);
  f.distance = std::max({fitHeight, fitWidth, kNearestRadii * f.radius});
  f.scrollStep = 2.0 * f.distance / scale / kScrollStepsPerViewHeight;
  return f;
}

void setUpView(intptr_t windowHandle) {
  Globals& g = globals();
  const gl::PixelFormatRequest request = viewPixelFormat();
  g.glDeviceContext = gl::getDc(windowHandle);
  const int32_t format = gl::choosePixelFormat(g.glDeviceContext, request);
  gl::setPixelFormat(g.glDeviceContext, format, request);
  g.glRenderContext = gl::createContext(g.glDeviceContext);
  gl::makeCurrent(g.glDeviceContext, g.glRenderContext);

  gl::clearColor(1.0f, 1.0f, 1.0f, 1.0f);
  gl::shadeModel(kGlFlat);
  gl::clearDepth(1.0);
  gl::enable(kGlDepthTest);
  gl::depthFunc(kGlLess);
  gl::enable(kGlTexture2d);
  gl::pointSize(kPointSize);
  gl::hint(kGlPerspectiveCorrectionHint, kGlNicest);
}

void updateViewport() {
  Globals& g = globals();
  const int32_t width = prop::readInt(kDrawingArea1, prop::kWidth);
  const int32_t height = prop::readInt(kDrawingArea1, prop::kHeight);
  // No aspect without a height: the last projection stays.
  if (height == 0) return;
  g.viewportWidth = width;
  g.viewportHeight = height;
  gl::viewport(0, 0, width, height);
  applyProjection();
}

void frameModel() {
  Globals& g = globals();
  const Framing f = framingFor(modelBounds(), viewAspect());
  g.viewCentreX = f.centre[0];
  g.viewCentreY = f.centre[1];
  g.viewCentreZ = f.centre[2];
  g.viewRadius = f.radius;
  g.framingDistance = f.distance;
  g.scrollStep = f.scrollStep;
  g.viewFramed = 1;
  resetView();
}

void resetView() {
  Globals& g = globals();
  g.dragging = 0;
  g.dragPanning = 0;
  g.viewYaw = g.viewPitch = g.dragYaw = g.dragPitch = 0;
  g.panX = g.panY = g.dragPanX = g.dragPanY = 0;
  g.viewDistance = g.framingDistance;
  prop::writeInt(kScrollBar2, prop::kPosition, kFramingScrollPosition);
}

void zoomView(int32_t wheelDelta) {
  Globals& g = globals();
  if (!g.viewFramed || wheelDelta == 0) return;
  const double notches = double(wheelDelta) / double(keys::kWheelNotch);
  const double wanted = g.viewDistance * std::pow(kZoomPerNotch, notches);
  g.viewDistance = std::clamp(wanted, kNearestRadii * g.viewRadius, kFarthestFramings * g.framingDistance);
}

void drawModel() {
  const Globals& g = globals();
  const ArrayVar<int32_t> textureIds = store::textureIds();
  // NOTE: each triangle shows its own material's texture, in the texture's
  // own colours (replace); a triangle without a complete texture keeps the
  // current colour. The tables themselves bound every vertex and material
  // number: the binding skips what lies outside them.
  gl::drawTriangleList(store::vertexTable(), store::triangleTable(), g.triangleCount, g.displayMode, &textureIds,
                       gl::kTextureEnvReplace);
}

void drawFrame() {
  Globals& g = globals();
  // Released (or never set up): the device context is gone.
  if (g.glRenderContext == 0) return;
  if (!g.viewFramed) frameModel();
  gl::clear(kGlColorAndDepthBufferBits);
  applyProjection();
  gl::color4d(1.0, 0.0, 0.0, 1.0);
  const int32_t scroll = prop::readInt(kScrollBar2, prop::kPosition);
  gl::translated(g.panX + g.dragPanX, g.panY + g.dragPanY + double(scroll - kFramingScrollPosition) * g.scrollStep,
                 -g.viewDistance);
  gl::rotated(kUprightPitch + double(g.viewPitch) + double(g.dragPitch), 1.0, 0.0, 0.0);
  gl::rotated(double(g.viewYaw) + double(g.dragYaw), 0.0, 0.0, 1.0);
  gl::translated(-g.viewCentreX, -g.viewCentreY, -g.viewCentreZ);
  drawModel();
  gl::swapBuffers(g.glDeviceContext);
}

void releaseView() {
  Globals& g = globals();
  gl::makeCurrent(0, 0);
  gl::deleteContext(g.glRenderContext);
  gl::releaseDc(g.viewWindowHandle, g.glDeviceContext);
  g.glRenderContext = 0;
  g.glDeviceContext = 0;
  g.viewReady = 0;
}

intptr_t onViewRelease(intptr_t, intptr_t, intptr_t) {
  releaseView();
  return 0;
}

intptr_t onMouseDown(intptr_t x, intptr_t y, intptr_t keyState) {
  Globals& g = globals();
  // A second button during a drag: the first drag ends where it is.
  if (g.dragging) commitDrag();
  g.dragging = 1;
  // The right or middle button alone moves; the left one (or a press that
  // names no button) turns.
  const bool left = (keyState & keys::kLeftButton) != 0;
  g.dragPanning = !left && (keyState & (keys::kRightButton | keys::kMiddleButton)) != 0;
  g.dragStartX = static_cast<int32_t>(x);
  g.dragStartY = static_cast<int32_t>(y);
  return 0;
}

intptr_t onMouseMove(intptr_t x, intptr_t y, intptr_t) {
  Globals& g = globals();
  if (!g.dragging) return 0;
  if (g.dragPanning) {
    // The model's centre follows the mouse: pixels at the eye's distance.
    const double unitsPerPixel = 2.0 * g.viewDistance / focalScale() / double(viewHeightPixels());
    g.dragPanX = (double(x) - double(g.dragStartX)) * unitsPerPixel;
    g.dragPanY = -(double(y) - double(g.dragStartY)) * unitsPerPixel;
    return 0;
  }
  g.dragYaw = dragDegrees(g.dragStartX, static_cast<int32_t>(x), kFullTurnDragX);
  g.dragPitch = dragDegrees(g.dragStartY, static_cast<int32_t>(y), kFullTurnDragY);
  return 0;
}

intptr_t onMouseUp(intptr_t, intptr_t, intptr_t) {
  commitDrag();
  return 0;
}

intptr_t onMouseDoubleClick(intptr_t, intptr_t, intptr_t) {
  resetView();
  return 0;
}

intptr_t onMouseWheel(intptr_t, intptr_t, intptr_t keyState) {
  zoomView(keys::wheelDelta(keyState));
  return 0;
}

intptr_t onKeyDown(intptr_t key, intptr_t, intptr_t) {
  if (key == keys::kVirtualKeyHome) resetView();
  return 0;
}

}  // namespace ql::ui
