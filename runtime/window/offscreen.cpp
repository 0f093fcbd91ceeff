#include "runtime/window/offscreen.h"

#include <EGL/egl.h>
#include <EGL/eglext.h>
#include <GL/gl.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string>

namespace ql::window {
namespace {

constexpr std::int32_t kBytesPerPixel = 4;
// Mesa's software rasteriser accepts far more; this only keeps a wild size
// from allocating gigabytes.
constexpr std::int32_t kMaxSide = 16384;

std::string eglFailure(const char* what) {
  char code[16];
  std::snprintf(code, sizeof code, "0x%04X", static_cast<unsigned>(eglGetError()));
  return std::string("offscreen GL: ") + what + " failed (EGL error " + code + ")";
}

// One display for the process, set up on first use and kept to the end:
// terminating it would pull the contexts from under surfaces still alive.
Result<EGLDisplay> sharedDisplay() {
  static EGLDisplay display = EGL_NO_DISPLAY;
  static std::string failure;
  if (display != EGL_NO_DISPLAY) return display;
  if (!failure.empty()) return fail(failure);

  auto getPlatformDisplay =
      reinterpret_cast<PFNEGLGETPLATFORMDISPLAYEXTPROC>(eglGetProcAddress("eglGetPlatformDisplayEXT"));
  if (!getPlatformDisplay) {
    failure = "offscreen GL: eglGetPlatformDisplayEXT is missing";
    return fail(failure);
  }
  EGLDisplay d = getPlatformDisplay(EGL_PLATFORM_SURFACELESS_MESA, EGL_DEFAULT_DISPLAY, nullptr);
  EGLint major = 0, minor = 0;
  if (d == EGL_NO_DISPLAY || !eglInitialize(d, &major, &minor)) {
    failure = eglFailure("surfaceless display");
    return fail(failure);
  }
  display = d;
  return display;
}

std::int32_t clampSide(std::int32_t side) { return std::clamp(side, 1, kMaxSide); }

}  // namespace

Result<std::unique_ptr<OffscreenSurface>> OffscreenSurface::create(std::int32_t width, std::int32_t height) {
  auto display = sharedDisplay();
  if (!display) return display.error();

  const EGLint configAttributes[] = {EGL_SURFACE_TYPE, EGL_PBUFFER_BIT, EGL_RENDERABLE_TYPE, EGL_OPENGL_BIT,
                                     EGL_RED_SIZE, 8, EGL_GREEN_SIZE, 8, EGL_BLUE_SIZE, 8, EGL_ALPHA_SIZE, 8,
                                     EGL_DEPTH_SIZE, 24, EGL_STENCIL_SIZE, 0, EGL_NONE};
  EGLConfig config = nullptr;
  EGLint configs = 0;
  if (!eglChooseConfig(*display, configAttributes, &config, 1, &configs) || configs < 1)
    return fail(eglFailure("choosing an RGBA/depth pbuffer config"));
  if (!eglBindAPI(EGL_OPENGL_API)) return fail(eglFailure("binding the desktop OpenGL API"));
  // No version attributes: Mesa then gives a compatibility profile, which
  // keeps glBegin/glEnd and the fixed-function matrices.
  EGLContext context = eglCreateContext(*display, config, EGL_NO_CONTEXT, nullptr);
  if (context == EGL_NO_CONTEXT) return fail(eglFailure("creating a context"));

  std::unique_ptr<OffscreenSurface> surface(new OffscreenSurface());
  surface->context_ = context;
  surface->config_ = config;
  if (auto made = surface->makeBuffer(width, height); !made) return made.error();
  return surface;
}

OffscreenSurface::~OffscreenSurface() {
  auto display = sharedDisplay();
  if (!display) return;
  // Leave no dangling current context: later GL calls on this thread then
  // find none and do nothing.
  if (eglGetCurrentContext() == static_cast<EGLContext>(context_))
    eglMakeCurrent(*display, EGL_NO_SURFACE, EGL_NO_SURFACE, EGL_NO_CONTEXT);
  if (buffer_) eglDestroySurface(*display, static_cast<EGLSurface>(buffer_));
  if (context_) eglDestroyContext(*display, static_cast<EGLContext>(context_));
}

Status OffscreenSurface::makeBuffer(std::int32_t width, std::int32_t height) {
  auto display = sharedDisplay();
  if (!display) return display.error();
  width = clampSide(width);
  height = clampSide(height);
  const EGLint attributes[] = {EGL_WIDTH, width, EGL_HEIGHT, height, EGL_NONE};
  EGLSurface buffer = eglCreatePbufferSurface(*display, static_cast<EGLConfig>(config_), attributes);
  if (buffer == EGL_NO_SURFACE)
    return fail(eglFailure(("a " + std::to_string(width) + "x" + std::to_string(height) + " pbuffer").c_str()));

  const bool wasCurrent = eglGetCurrentContext() == static_cast<EGLContext>(context_);
  EGLSurface old = static_cast<EGLSurface>(buffer_);
  buffer_ = buffer;
  width_ = width;
  height_ = height;
  front_.assign(static_cast<size_t>(width) * static_cast<size_t>(height) * kBytesPerPixel, 0);
  if (wasCurrent) eglMakeCurrent(*display, buffer, buffer, static_cast<EGLContext>(context_));
  if (old) eglDestroySurface(*display, old);
  return Ok{};
}

bool OffscreenSurface::makeCurrent() {
  auto display = sharedDisplay();
  if (!display || !buffer_) return false;
  EGLSurface buffer = static_cast<EGLSurface>(buffer_);
  if (eglGetCurrentContext() == static_cast<EGLContext>(context_) && eglGetCurrentSurface(EGL_DRAW) == buffer)
    return true;
  if (!eglBindAPI(EGL_OPENGL_API)) return false;
  return eglMakeCurrent(*display, buffer, buffer, static_cast<EGLContext>(context_)) == EGL_TRUE;
}

void OffscreenSurface::copyBackBuffer(std::vector<std::uint8_t>& into) {
  const size_t row = static_cast<size_t>(width_) * kBytesPerPixel;
  into.resize(row * static_cast<size_t>(height_));
  if (!makeCurrent()) return;
  // The caller's pixel-store state must not change how we read.
  GLint packAlignment = 4, packRowLength = 0, packSkipRows = 0, packSkipPixels = 0;
  glGetIntegerv(GL_PACK_ALIGNMENT, &packAlignment);
  glGetIntegerv(GL_PACK_ROW_LENGTH, &packRowLength);
  glGetIntegerv(GL_PACK_SKIP_ROWS, &packSkipRows);
  glGetIntegerv(GL_PACK_SKIP_PIXELS, &packSkipPixels);
  glPixelStorei(GL_PACK_ALIGNMENT, 1);
  glPixelStorei(GL_PACK_ROW_LENGTH, 0);
  glPixelStorei(GL_PACK_SKIP_ROWS, 0);
  glPixelStorei(GL_PACK_SKIP_PIXELS, 0);
  std::vector<std::uint8_t> bottomUp(into.size());
  glReadPixels(0, 0, width_, height_, GL_RGBA, GL_UNSIGNED_BYTE, bottomUp.data());
  glPixelStorei(GL_PACK_ALIGNMENT, packAlignment);
  glPixelStorei(GL_PACK_ROW_LENGTH, packRowLength);
  glPixelStorei(GL_PACK_SKIP_ROWS, packSkipRows);
  glPixelStorei(GL_PACK_SKIP_PIXELS, packSkipPixels);
  for (std::int32_t y = 0; y < height_; ++y)
    std::memcpy(into.data() + static_cast<size_t>(y) * row,
                bottomUp.data() + static_cast<size_t>(height_ - 1 - y) * row, row);
}

void OffscreenSurface::swapBuffers() {
  ++swaps_;
  copyBackBuffer(front_);
}

std::vector<std::uint8_t> OffscreenSurface::readBackBuffer() {
  std::vector<std::uint8_t> pixels;
  copyBackBuffer(pixels);
  return pixels;
}

void OffscreenSurface::requestRedraw() {
  if (hook_ && makeCurrent()) hook_();
}

void OffscreenSurface::resize(std::int32_t width, std::int32_t height) {
  if (clampSide(width) == width_ && clampSide(height) == height_) return;
  if (auto made = makeBuffer(width, height); !made)
    std::fprintf(stderr, "%s\n", made.error().message.c_str());  // the old buffer stays in use
}

GlTargetFactory offscreenTargetFactory() {
  return [](Id, Id, std::int32_t width, std::int32_t height) -> std::unique_ptr<HeadlessGlTarget> {
    auto surface = OffscreenSurface::create(width, height);
    if (!surface) {
      std::fprintf(stderr, "%s\n", surface.error().message.c_str());
      return nullptr;
    }
    return std::move(surface.value());
  };
}

}  // namespace ql::window
