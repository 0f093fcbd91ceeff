#include "tests/opengl/gl_harness.h"

#include <dlfcn.h>

#include <cstdlib>

#include "runtime/support_lib.h"
#include "runtime/window/gl_service.h"

namespace ql::gltest {
namespace {

window::WindowSystem* gSystem = nullptr;

void* hostAllocate(uintptr_t size) { return std::malloc(size ? size : 1); }
void* hostReallocate(void* block, uintptr_t size) { return std::realloc(block, size ? size : 1); }
void hostRelease(void* block) { std::free(block); }
[[noreturn]] void hostRuntimeError(int32_t) { std::abort(); }
intptr_t hostWindowService(int32_t op, intptr_t a, intptr_t b, intptr_t c) {
  return gSystem ? window::glWindowService(*gSystem, op, a, b, c) : 0;
}

const QlHost gHost{kQlHostVersion, hostAllocate, hostReallocate, hostRelease, hostRuntimeError, hostWindowService};

// GL constants the view uses, as plain numbers: the module passes numbers.
constexpr std::int32_t kGlTexture2d = 0x0DE1;
constexpr std::int32_t kGlFlat = 0x1D00;
constexpr std::int32_t kGlDepthTest = 0x0B71;
constexpr std::int32_t kGlLess = 0x0201;
constexpr std::int32_t kGlPerspectiveCorrectionHint = 0x0C50;
constexpr std::int32_t kGlNicest = 0x1102;
constexpr std::int32_t kGlProjection = 0x1701;
constexpr std::int32_t kGlModelview = 0x1700;
constexpr std::int32_t kColourAndDepth = 0x4100;

// An offscreen target that has no context until its window is shown.
class ShownTarget final : public window::HeadlessGlTarget {
 public:
  ShownTarget(std::unique_ptr<window::OffscreenSurface> inner, const bool& shown)
      : inner_(std::move(inner)), shown_(shown) {}
  bool makeCurrent() override { return shown_ && inner_->makeCurrent(); }
  void swapBuffers() override {
    if (shown_) inner_->swapBuffers();
  }
  void setDrawHook(std::function<void()> hook) override { inner_->setDrawHook(std::move(hook)); }
  void requestRedraw() override {
    if (shown_) inner_->requestRedraw();
  }
  void resize(std::int32_t w, std::int32_t h) override { inner_->resize(w, h); }

 private:
  std::unique_ptr<window::OffscreenSurface> inner_;
  const bool& shown_;
};

}  // namespace

GlLibrary* GlLibrary::get(std::string* error) {
  static GlLibrary library;
  static std::string failure;
  static bool tried = false;
  if (!tried) {
    tried = true;
    const std::string path = std::string(QL_RUNTIME_DIR) + "/" + support::kOpenGlFile;
    void* handle = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);  // kept to the end of the process
    if (!handle) {
      failure = dlerror();
    } else {
      auto init = reinterpret_cast<QlLibInitFn>(dlsym(handle, support::kInitSymbol));
      auto command = reinterpret_cast<QlLibCommandFn>(dlsym(handle, support::kCommandSymbol));
      if (!init || !command)
        failure = path + ": entry points missing";
      else if (!init(&gHost))
        failure = path + ": QlLibInit refused the host";
      else
        library.command_ = command;
    }
  }
  if (error) *error = failure;
  return library.command_ ? &library : nullptr;
}

void GlLibrary::useWindowSystem(window::WindowSystem* system) { gSystem = system; }

abi::CmdResult GlLibrary::call(std::int32_t code, std::initializer_list<abi::Arg> args) const {
  constexpr size_t kMaxArgs = 8;
  struct {
    std::uint32_t count;
    abi::Arg args[kMaxArgs];
  } record{};
  for (const abi::Arg& a : args) {
    if (record.count == kMaxArgs) break;
    record.args[record.count++] = a;
  }
  return command_(code, reinterpret_cast<const abi::ArgRecord*>(&record));
}

gl::PixelFormatRequest viewPixelFormat() {
  gl::PixelFormatRequest r{};
  r.nSize = sizeof r;
  r.nVersion = 1;
  r.dwFlags = gl::kPfdDrawToWindow | gl::kPfdSupportOpenGl | gl::kPfdDoubleBuffer;
  r.iPixelType = 0;
  r.cColorBits = 24;
  r.cDepthBits = 32;
  return r;
}

View::View(bool glAfterShow) : shown_(!glAfterShow) {
  lib_ = GlLibrary::get(&error_);
  if (!lib_) return;
  ws_.setGlTargetFactory([this](window::Id, window::Id, std::int32_t w, std::int32_t h)
                             -> std::unique_ptr<window::HeadlessGlTarget> {
    auto surface = window::OffscreenSurface::create(w, h);
    if (!surface) {
      error_ = surface.error().message;
      return nullptr;
    }
    target_ = surface->get();
    return std::make_unique<ShownTarget>(std::move(surface.value()), shown_);
  });
  window::WindowDef def;
  def.id = kWindow;
  def.unitId = kWindowUnit;
  def.rect = {0, 0, kAreaWidth + 8, kAreaHeight + 28};
  window::ControlDef area;
  area.id = kArea;
  area.kind = window::ControlKind::DrawingArea;
  area.rect = {0, 0, kAreaWidth, kAreaHeight};
  def.controls = {area};
  if (auto created = ws_.createWindow(def); !created) {
    error_ = created.error().message;
    return;
  }
  auto handle = ws_.nativeHandle(kWindow, kArea);
  if (!handle) {
    error_ = handle.error().message;
    return;
  }
  handle_ = *handle;
  if (!target_ && error_.empty()) error_ = "no offscreen target was made";
  GlLibrary::useWindowSystem(&ws_);
}

View::~View() {
  if (lib_ && rc_) release();
  GlLibrary::useWindowSystem(nullptr);
}

void View::setUp() {
  const gl::PixelFormatRequest request = viewPixelFormat();
  const abi::Arg record = addressArg(&request, abi::kTypePixelFormat);
  dc_ = static_cast<std::intptr_t>(lib_->call(gl::kCmdGetDc, {handleArg(std::intptr_t(handle_))}).value);
  const auto format = static_cast<std::int32_t>(lib_->call(gl::kCmdChoosePixelFormat, {handleArg(dc_), record}).value);
  lib_->call(gl::kCmdSetPixelFormat, {handleArg(dc_), intArg(format), record});
  rc_ = static_cast<std::intptr_t>(lib_->call(gl::kCmdCreateContext, {handleArg(dc_)}).value);
  lib_->call(gl::kCmdMakeCurrent, {handleArg(dc_), handleArg(rc_)});
  lib_->call(gl::kCmdClearColor, {singleArg(1), singleArg(1), singleArg(1), singleArg(1)});
  lib_->call(gl::kCmdShadeModel, {intArg(kGlFlat)});
  lib_->call(gl::kCmdClearDepth, {doubleArg(1.0)});
  lib_->call(gl::kCmdEnable, {intArg(kGlDepthTest)});
  lib_->call(gl::kCmdDepthFunc, {intArg(kGlLess)});
  lib_->call(gl::kCmdEnable, {intArg(kGlTexture2d)});
  lib_->call(gl::kCmdPointSize, {singleArg(8.0f)});
  lib_->call(gl::kCmdHint, {intArg(kGlPerspectiveCorrectionHint), intArg(kGlNicest)});
  viewportUpdate(kAreaWidth, kAreaHeight);
}

void View::viewportUpdate(std::int32_t width, std::int32_t height) {
  lib_->call(gl::kCmdViewport, {intArg(0), intArg(0), intArg(width), intArg(height)});
  lib_->call(gl::kCmdMatrixMode, {intArg(kGlProjection)});
  lib_->call(gl::kCmdLoadIdentity, {});
  lib_->call(gl::kCmdPerspective,
             {doubleArg(45.0), doubleArg(double(width) / double(height)), doubleArg(0.1), doubleArg(1000.0)});
  lib_->call(gl::kCmdMatrixMode, {intArg(kGlModelview)});
  lib_->call(gl::kCmdLoadIdentity, {});
}

void View::beginFrame(double r, double g, double b) {
  lib_->call(gl::kCmdClear, {intArg(kColourAndDepth)});
  lib_->call(gl::kCmdLoadIdentity, {});
  lib_->call(gl::kCmdColor4d, {doubleArg(r), doubleArg(g), doubleArg(b), doubleArg(1.0)});
  lib_->call(gl::kCmdTranslated, {doubleArg(0.0), doubleArg(0.0), doubleArg(-60.0)});
}

void View::swap() { lib_->call(gl::kCmdSwapBuffers, {handleArg(dc_)}); }

void View::release() {
  lib_->call(gl::kCmdMakeCurrent, {handleArg(0), handleArg(0)});
  lib_->call(gl::kCmdDeleteContext, {handleArg(rc_)});
  lib_->call(gl::kCmdReleaseDc, {handleArg(std::intptr_t(handle_)), handleArg(dc_)});
  rc_ = 0;
  dc_ = 0;
}

void View::triangle(std::int32_t mode, const float (&a)[5], const float (&b)[5], const float (&c)[5]) const {
  lib_->call(gl::kCmdBegin, {intArg(mode)});
  for (const float* v : {a, b, c}) {
    lib_->call(gl::kCmdTexCoord2d, {doubleArg(v[3]), doubleArg(v[4])});
    lib_->call(gl::kCmdVertex3d, {doubleArg(v[0]), doubleArg(v[1]), doubleArg(v[2])});
  }
  lib_->call(gl::kCmdEnd, {});
}

Pixel pixelAt(const std::vector<std::uint8_t>& image, std::int32_t width, std::int32_t x, std::int32_t y) {
  const size_t at = (static_cast<size_t>(y) * static_cast<size_t>(width) + static_cast<size_t>(x)) * 4;
  if (at + 4 > image.size()) return Pixel{0, 0, 0, 0};
  return Pixel{image[at], image[at + 1], image[at + 2], image[at + 3]};
}

}  // namespace ql::gltest
