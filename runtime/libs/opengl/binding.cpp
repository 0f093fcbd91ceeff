#include "runtime/libs/opengl/binding.h"

#include "runtime/libs/opengl/gl_commands.h"
#include "runtime/window/window_system.h"

namespace ql::gl {
namespace {

constexpr std::uint16_t kRequestSize = sizeof(PixelFormatRequest);
constexpr std::uint16_t kRequestVersion = 1;
constexpr std::uint8_t kPixelTypeRgba = 0;
constexpr std::uint8_t kMainPlane = 0;
constexpr std::uint32_t kPfdDrawToBitmap = 0x8;
constexpr std::uint32_t kPfdSupportGdi = 0x10;
constexpr std::uint8_t kMaxColourBits = 32;
constexpr std::uint8_t kMaxDepthBits = 32;

}  // namespace

bool servablePixelFormat(const PixelFormatRequest& r) {
  return r.nSize == kRequestSize && r.nVersion == kRequestVersion && r.iPixelType == kPixelTypeRgba &&
         (r.dwFlags & kPfdSupportOpenGl) != 0 && (r.dwFlags & (kPfdDrawToBitmap | kPfdSupportGdi)) == 0 &&
         r.cColorBits <= kMaxColourBits && r.cDepthBits <= kMaxDepthBits && r.cStencilBits == 0 &&
         r.cAccumBits == 0 && r.cAuxBuffers == 0 && r.iLayerType == kMainPlane;
}

Binding& Binding::instance() {
  static Binding binding;
  return binding;
}

window::DrawingSurface* Binding::surfaceOf(std::intptr_t window) const {
  if (!host_ || !host_->windowService || window == 0) return nullptr;
  return reinterpret_cast<window::DrawingSurface*>(host_->windowService(kQlWindowSurfaceOfHandle, window, 0, 0));
}

std::intptr_t Binding::newHandle() { return nextHandle_++; }

std::intptr_t Binding::getDc(std::intptr_t window) {
  if (dcs_.size() >= kMaxHandles || !surfaceOf(window)) return 0;
  const std::intptr_t dc = newHandle();
  dcs_.emplace(dc, DeviceContext{window});
  return dc;
}

std::int32_t Binding::releaseDc(std::intptr_t window, std::intptr_t dc) {
  auto it = dcs_.find(dc);
  if (it == dcs_.end() || it->second.window != window) return 0;
  dcs_.erase(it);
  return 1;
}

std::int32_t Binding::choosePixelFormat(std::intptr_t dc, const PixelFormatRequest* request) const {
  if (!dcs_.count(dc) || !request || !servablePixelFormat(*request)) return 0;
  return kPixelFormatNumber;
}

bool Binding::setPixelFormat(std::intptr_t dc, std::int32_t format, const PixelFormatRequest* request) {
  auto it = dcs_.find(dc);
  if (it == dcs_.end() || format != kPixelFormatNumber) return false;
  if (request && !servablePixelFormat(*request)) return false;
  // As on Windows, a window's pixel format is set once; setting the same
  // again is harmless.
  if (it->second.format != 0 && it->second.format != format) return false;
  it->second.format = format;
  return true;
}

std::intptr_t Binding::createContext(std::intptr_t dc) {
  auto it = dcs_.find(dc);
  if (it == dcs_.end() || it->second.format == 0 || rcs_.size() >= kMaxHandles) return 0;
  const std::intptr_t rc = newHandle();
  rcs_.emplace(rc, RenderContext{it->second.window, {}});
  return rc;
}

void Binding::release() {
  current_ = 0;
  waiting_ = 0;
}

bool Binding::makeCurrent(std::intptr_t dc, std::intptr_t rc) {
  if (rc == 0) {
    release();
    return true;
  }
  // As on Windows, a failed attempt leaves no context current.
  release();
  auto d = dcs_.find(dc);
  auto r = rcs_.find(rc);
  if (d == dcs_.end() || r == rcs_.end() || d->second.window != r->second.window) return false;
  window::DrawingSurface* surface = surfaceOf(r->second.window);
  if (!surface) return false;
  if (surface->makeCurrent()) {
    current_ = rc;  // the caller replays what was kept for it (takeKept)
    keptDue_ = true;
    return true;
  }
  waiting_ = rc;
  return false;
}

bool Binding::deleteContext(std::intptr_t rc) {
  if (!rcs_.erase(rc)) return false;
  if (current_ == rc || waiting_ == rc) release();
  return true;
}

bool Binding::swapBuffers(std::intptr_t dc) {
  auto it = dcs_.find(dc);
  if (it == dcs_.end()) return false;
  window::DrawingSurface* surface = surfaceOf(it->second.window);
  if (!surface) return false;
  surface->swapBuffers();
  return true;
}

bool Binding::ready() {
  if (current_ != 0) return true;
  if (waiting_ == 0) return false;
  auto r = rcs_.find(waiting_);
  window::DrawingSurface* surface = r == rcs_.end() ? nullptr : surfaceOf(r->second.window);
  if (!surface || !surface->makeCurrent()) return false;
  current_ = waiting_;
  waiting_ = 0;
  keptDue_ = true;
  return true;
}

bool Binding::defer(const DeferredCall& call) {
  auto r = rcs_.find(waiting_);
  if (r == rcs_.end() || r->second.kept.size() >= kMaxDeferredCalls) return false;
  r->second.kept.push_back(call);
  return true;
}

std::vector<DeferredCall> Binding::takeKept() {
  std::vector<DeferredCall> kept;
  if (!keptDue_) return kept;
  keptDue_ = false;
  auto r = rcs_.find(current_);
  if (r != rcs_.end()) kept.swap(r->second.kept);
  return kept;
}

}  // namespace ql::gl
