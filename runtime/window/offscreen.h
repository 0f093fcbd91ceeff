// OpenGL without any display server, for headless drawing areas: an EGL
// context on Mesa's surfaceless platform rendering into a pbuffer of the
// area's size (RGBA 8-8-8-8, 24-bit depth, compatibility profile, so the
// fixed-function calls of OpenGL 1.1 work).
//
// A pbuffer has one colour buffer, so double buffering is emulated: drawing
// goes to the pbuffer (the back buffer) and swapBuffers copies it into the
// front image, which is what a screen would show and what tests read.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

#include "common/result.h"
#include "runtime/window/headless.h"

namespace ql::window {

class OffscreenSurface final : public HeadlessGlTarget {
 public:
  // Sizes below 1 are taken as 1 (a pbuffer cannot be empty).
  static Result<std::unique_ptr<OffscreenSurface>> create(std::int32_t width, std::int32_t height);
  ~OffscreenSurface() override;
  OffscreenSurface(const OffscreenSurface&) = delete;
  OffscreenSurface& operator=(const OffscreenSurface&) = delete;

  bool makeCurrent() override;
  // Copies the back buffer into the front image; the back buffer keeps its
  // content (a real swap leaves it undefined).
  void swapBuffers() override;
  void setDrawHook(std::function<void()> hook) override { hook_ = std::move(hook); }
  // Runs the draw hook at once with the context current (no event loop).
  void requestRedraw() override;
  // A new pbuffer of the new size; both buffers start blank, as a resized
  // window's content is undefined until it is drawn again. The context and
  // its objects (textures) stay.
  void resize(std::int32_t width, std::int32_t height) override;

  std::int32_t width() const { return width_; }
  std::int32_t height() const { return height_; }
  std::int32_t swapCount() const { return swaps_; }

  // Pixels as RGBA bytes, 4 per pixel, rows TOP-DOWN: row 0 is the top row
  // of the drawing area, as window coordinates count (OpenGL's own rows
  // count from the bottom; the copy turns them over).
  // readPixels: the front image, what the last swap presented (all zero
  // before the first swap).
  std::vector<std::uint8_t> readPixels() const { return front_; }
  // The back buffer as drawn so far (makes the context current).
  std::vector<std::uint8_t> readBackBuffer();

 private:
  OffscreenSurface() = default;
  Status makeBuffer(std::int32_t width, std::int32_t height);
  void copyBackBuffer(std::vector<std::uint8_t>& into);

  void* context_ = nullptr;  // EGLContext
  void* config_ = nullptr;   // EGLConfig
  void* buffer_ = nullptr;   // EGLSurface (the pbuffer)
  std::int32_t width_ = 0;
  std::int32_t height_ = 0;
  std::int32_t swaps_ = 0;
  std::vector<std::uint8_t> front_;
  std::function<void()> hook_;
};

// For HeadlessWindowSystem::setGlTargetFactory. An area whose surface cannot
// be made (no EGL, no surfaceless platform) gets none and draws nothing.
GlTargetFactory offscreenTargetFactory();

}  // namespace ql::window
