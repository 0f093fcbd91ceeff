#include "ui/view.h"

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
constexpr double kFieldOfView = 45.0;
constexpr double kNearPlane = 0.1;
constexpr double kFarPlane = 1000.0;
// The scroll bar's middle position (50 of 1..100) leaves the model in place.
constexpr double kScrollCentre = 50.0;
constexpr double kModelDistance = -60.0;
constexpr double kDegreesPerTurn = 360.0;

// Angles grow without bound; on a wrap (after millions of turns) they wrap
// as 32-bit values do instead of overflowing.
int32_t addAngles(int32_t a, int32_t b) {
  return static_cast<int32_t>(static_cast<uint32_t>(a) + static_cast<uint32_t>(b));
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
  const int32_t width = prop::readInt(kDrawingArea1, prop::kWidth);
  const int32_t height = prop::readInt(kDrawingArea1, prop::kHeight);
  // No aspect without a height: the last projection stays.
  if (height == 0) return;
  gl::viewport(0, 0, width, height);
  gl::matrixMode(kGlProjection);
  gl::loadIdentity();
  gl::perspective(kFieldOfView, double(width) / double(height), kNearPlane, kFarPlane);
  gl::matrixMode(kGlModelView);
  gl::loadIdentity();
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
  const Globals& g = globals();
  // Released (or never set up): the device context is gone.
  if (g.glRenderContext == 0) return;
  gl::clear(kGlColorAndDepthBufferBits);
  gl::loadIdentity();
  gl::color4d(1.0, 0.0, 0.0, 1.0);
  const int32_t scroll = prop::readInt(kScrollBar2, prop::kPosition);
  gl::translated(0.0, double(scroll) - kScrollCentre, kModelDistance);
  gl::rotated(double(g.viewPitch) + double(g.dragPitch), 1.0, 0.0, 0.0);
  gl::rotated(double(g.viewYaw) + double(g.dragYaw), 0.0, 0.0, 1.0);
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

intptr_t onViewportUpdate(intptr_t, intptr_t, intptr_t) {
  updateViewport();
  return 0;
}

intptr_t onMouseDown(intptr_t x, intptr_t y, intptr_t) {
  Globals& g = globals();
  g.dragging = 1;
  g.dragStartX = static_cast<int32_t>(x);
  g.dragStartY = static_cast<int32_t>(y);
  return 0;
}

intptr_t onMouseMove(intptr_t x, intptr_t y, intptr_t) {
  Globals& g = globals();
  if (!g.dragging) return 0;
  g.dragYaw = dragDegrees(g.dragStartX, static_cast<int32_t>(x), kFullTurnDragX);
  g.dragPitch = dragDegrees(g.dragStartY, static_cast<int32_t>(y), kFullTurnDragY);
  return 0;
}

intptr_t onMouseUp(intptr_t, intptr_t, intptr_t) {
  Globals& g = globals();
  g.dragging = 0;
  g.viewYaw = addAngles(g.viewYaw, g.dragYaw);
  g.viewPitch = addAngles(g.viewPitch, g.dragPitch);
  g.dragPitch = 0;
  g.dragYaw = 0;
  return 0;
}

}  // namespace ql::ui
