// Drives the OpenGL binding as the kernel and the module would: qlgl.qlr
// loaded from the runtime folder, a host whose window service answers from a
// headless window system with offscreen GL, and every command called with a
// real argument record. Shared by the tests and the benchmark.
#pragma once

#include <cstdint>
#include <cstring>
#include <initializer_list>
#include <memory>
#include <string>
#include <vector>

#include "module/abi.h"
#include "module/support/pixel_format.h"
#include "runtime/libs/opengl/gl_commands.h"
#include "runtime/support_lib.h"
#include "runtime/window/headless.h"
#include "runtime/window/offscreen.h"

namespace ql::gltest {

// Argument builders, as the module's wrappers pass each kind.
inline abi::Arg intArg(std::int32_t v) { return abi::Arg{static_cast<std::uint32_t>(v), 0, abi::kTagInt}; }
inline abi::Arg handleArg(std::intptr_t h) { return abi::makeArg(static_cast<std::uint64_t>(h), abi::kTagInt); }
inline abi::Arg singleArg(float v) {
  std::uint32_t bits;
  std::memcpy(&bits, &v, 4);
  return abi::Arg{bits, 0, abi::kTagFloat};
}
inline abi::Arg doubleArg(double v) {
  std::uint64_t bits;
  std::memcpy(&bits, &v, 8);
  return abi::makeArg(bits, abi::kTagDouble);
}
inline abi::Arg addressArg(const void* p, std::uint32_t tag) {
  return abi::makeArg(reinterpret_cast<std::uintptr_t>(p), tag);
}
inline abi::Arg omittedArg() { return abi::Arg{0, 0, abi::kTagOmitted}; }

// The loaded library; one per process (its state is process-wide, as in the
// real program).
class GlLibrary {
 public:
  // Null (with the reason in `error`) when qlgl.qlr cannot be loaded.
  static GlLibrary* get(std::string* error = nullptr);
  // Where the host's window service looks; tests set their own system.
  static void useWindowSystem(window::WindowSystem* system);

  abi::CmdResult call(std::int32_t code, std::initializer_list<abi::Arg> args) const;
  abi::CmdResult callRecord(std::int32_t code, const abi::ArgRecord* record) const { return command_(code, record); }

 private:
  QlLibCommandFn command_ = nullptr;
};

// The record the view fills: 24-bit RGBA, 32-bit depth, double buffer.
gl::PixelFormatRequest viewPixelFormat();

inline constexpr window::Id kWindow = 0x52000001;
inline constexpr window::Id kWindowUnit = 0x06000001;
inline constexpr window::Id kArea = 0x16000003;
inline constexpr std::int32_t kAreaWidth = 504;
inline constexpr std::int32_t kAreaHeight = 448;

// A window with a 504×448 drawing area on offscreen GL, and the view's
// set-up done through the binding.
class View {
 public:
  // glAfterShow: like an FLTK drawing area, the area has no GL context until
  // show() (makeCurrent fails before).
  explicit View(bool glAfterShow = false);
  void show() { shown_ = true; }
  ~View();
  // False with the reason when any step failed.
  bool ok() const { return error_.empty(); }
  const std::string& error() const { return error_; }

  // The view's set-up steps (GetDC, pixel format, context, fixed state) and
  // the viewport update for the area's size.
  void setUp();
  void viewportUpdate(std::int32_t width, std::int32_t height);
  // Frame start: clear, identity, colour, a plain translation to z = −60.
  void beginFrame(double r = 1, double g = 0, double b = 0);
  void swap();
  // Releases as the view's release does.
  void release();

  // One triangle as the view draws it: begin, three texcoord/vertex pairs, end.
  void triangle(std::int32_t mode, const float (&a)[5], const float (&b)[5], const float (&c)[5]) const;

  const GlLibrary& lib() const { return *lib_; }
  window::HeadlessWindowSystem& system() { return ws_; }
  window::OffscreenSurface* target() const { return target_; }
  std::uintptr_t handle() const { return handle_; }
  std::intptr_t dc() const { return dc_; }
  std::intptr_t rc() const { return rc_; }

 private:
  window::HeadlessWindowSystem ws_;
  GlLibrary* lib_ = nullptr;
  window::OffscreenSurface* target_ = nullptr;
  std::uintptr_t handle_ = 0;
  std::intptr_t dc_ = 0;
  std::intptr_t rc_ = 0;
  std::string error_;
  bool shown_ = true;
};

// An array block as the runtime holds it: u32 dimension count, sizes, then
// 4-byte elements row-major.
template <class T>
std::vector<std::uint32_t> arrayBlock(std::initializer_list<std::uint32_t> sizes, const std::vector<T>& elements) {
  std::vector<std::uint32_t> block;
  block.push_back(static_cast<std::uint32_t>(sizes.size()));
  for (auto s : sizes) block.push_back(s);
  const size_t at = block.size();
  block.resize(at + elements.size());
  if (!elements.empty()) std::memcpy(block.data() + at, elements.data(), elements.size() * 4);
  return block;
}

// An RGBA picture read back (rows top-down).
struct Pixel {
  std::uint8_t r, g, b, a;
};
Pixel pixelAt(const std::vector<std::uint8_t>& image, std::int32_t width, std::int32_t x, std::int32_t y);

}  // namespace ql::gltest
