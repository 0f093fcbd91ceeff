// The binding's window-system side: device contexts over drawing areas,
// rendering contexts, the current one, and the calls kept while a context
// waits for its window to get GL. One instance; GUI thread only.
#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <vector>

#include "module/abi.h"
#include "module/support/pixel_format.h"
#include "runtime/support_lib.h"

namespace ql::window {
class DrawingSurface;
}

namespace ql::gl {

// Whether a pixel-format request can be served by the one format we offer:
// RGBA, at most 32 colour and 32 depth bits, no stencil, no accumulation
// buffer, main plane, GL support, neither bitmap nor GDI drawing. Double
// buffering is what we give, whether asked for or not.
bool servablePixelFormat(const PixelFormatRequest& request);

struct DeferredCall {
  std::int32_t code;
  std::uint32_t count;
  abi::Arg args[4];
};
inline constexpr std::uint32_t kMaxDeferredArgs = 4;

class Binding {
 public:
  static Binding& instance();
  void setHost(const QlHost* host) { host_ = host; }

  std::intptr_t getDc(std::intptr_t window);
  std::int32_t releaseDc(std::intptr_t window, std::intptr_t dc);
  std::int32_t choosePixelFormat(std::intptr_t dc, const PixelFormatRequest* request) const;
  bool setPixelFormat(std::intptr_t dc, std::int32_t format, const PixelFormatRequest* request);
  std::intptr_t createContext(std::intptr_t dc);
  bool makeCurrent(std::intptr_t dc, std::intptr_t rc);
  bool deleteContext(std::intptr_t rc);
  bool swapBuffers(std::intptr_t dc);

  // True when GL may be called: one of our contexts is current. A context
  // that waits is tried again first.
  bool ready();
  bool waiting() const { return waiting_ != 0; }
  // Keeps a state call for the waiting context; false when its list is full.
  bool defer(const DeferredCall& call);
  // The calls kept for the current context, taken out of it: the caller
  // replays them now that it is current. Empty when none is current.
  std::vector<DeferredCall> takeKept();

 private:
  struct DeviceContext {
    std::intptr_t window;
    std::int32_t format = 0;
  };
  struct RenderContext {
    std::intptr_t window;
    // State calls made while this context waited for its window's GL: they
    // are its state, so they stay with it through a release and reach GL
    // when it is first really current.
    std::vector<DeferredCall> kept;
  };

  window::DrawingSurface* surfaceOf(std::intptr_t window) const;
  std::intptr_t newHandle();
  void release();

  const QlHost* host_ = nullptr;
  std::map<std::intptr_t, DeviceContext> dcs_;
  std::map<std::intptr_t, RenderContext> rcs_;
  std::intptr_t current_ = 0;  // rendering context made current
  std::intptr_t waiting_ = 0;  // rendering context to make current once its window has GL
  bool keptDue_ = false;       // a context just became current: its kept calls are to be replayed
  std::intptr_t nextHandle_ = 0x10001;
};

inline constexpr std::size_t kMaxHandles = 4096;

}  // namespace ql::gl
