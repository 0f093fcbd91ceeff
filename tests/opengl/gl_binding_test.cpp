// The binding's window-system side and its safety: pixel formats, handles,
// current contexts, calls without a context, malformed argument records.
#include <GL/gl.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <string>
#include <vector>

#include "tests/opengl/gl_harness.h"

namespace ql::gltest {
namespace {

using gl::PixelFormatRequest;

constexpr std::int32_t kGlTexture2d = 0x0DE1;

class Binding : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(view.ok()) << view.error(); }
  std::int32_t choose(std::intptr_t dc, const PixelFormatRequest& r, std::uint32_t tag = abi::kTypePixelFormat) {
    return static_cast<std::int32_t>(view.lib().call(gl::kCmdChoosePixelFormat, {handleArg(dc), addressArg(&r, tag)}).value);
  }
  std::intptr_t getDc() {
    return static_cast<std::intptr_t>(view.lib().call(gl::kCmdGetDc, {handleArg(std::intptr_t(view.handle()))}).value);
  }
  bool boolCall(std::int32_t code, std::initializer_list<abi::Arg> args) {
    return static_cast<std::uint32_t>(view.lib().call(code, args).value) != 0;
  }
  std::intptr_t handleCall(std::int32_t code, std::initializer_list<abi::Arg> args) {
    return static_cast<std::intptr_t>(view.lib().call(code, args).value);
  }
  View view;
};

TEST_F(Binding, PixelFormatRequests) {
  struct Case {
    const char* name;
    std::function<void(PixelFormatRequest&)> change;
    std::int32_t expect;
  };
  const std::vector<Case> cases = {
      {"the view's request", [](PixelFormatRequest&) {}, 1},
      {"single buffer is served double", [](PixelFormatRequest& r) { r.dwFlags &= ~gl::kPfdDoubleBuffer; }, 1},
      {"32 colour bits", [](PixelFormatRequest& r) { r.cColorBits = 32; }, 1},
      {"no depth asked", [](PixelFormatRequest& r) { r.cDepthBits = 0; }, 1},
      {"size not 40", [](PixelFormatRequest& r) { r.nSize = 36; }, 0},
      {"version 2", [](PixelFormatRequest& r) { r.nVersion = 2; }, 0},
      {"colour index", [](PixelFormatRequest& r) { r.iPixelType = 1; }, 0},
      {"without OpenGL support", [](PixelFormatRequest& r) { r.dwFlags &= ~gl::kPfdSupportOpenGl; }, 0},
      {"draw to bitmap", [](PixelFormatRequest& r) { r.dwFlags |= 0x8; }, 0},
      {"GDI support", [](PixelFormatRequest& r) { r.dwFlags |= 0x10; }, 0},
      {"48 colour bits", [](PixelFormatRequest& r) { r.cColorBits = 48; }, 0},
      {"64 depth bits", [](PixelFormatRequest& r) { r.cDepthBits = 64; }, 0},
      {"stencil", [](PixelFormatRequest& r) { r.cStencilBits = 8; }, 0},
      {"accumulation buffer", [](PixelFormatRequest& r) { r.cAccumBits = 32; }, 0},
      {"overlay plane", [](PixelFormatRequest& r) { r.iLayerType = 1; }, 0},
  };
  const std::intptr_t dc = getDc();
  ASSERT_NE(dc, 0);
  for (const auto& c : cases) {
    PixelFormatRequest r = viewPixelFormat();
    c.change(r);
    EXPECT_EQ(choose(dc, r), c.expect) << c.name;
  }
  const PixelFormatRequest good = viewPixelFormat();
  EXPECT_EQ(choose(dc, good, abi::kTagInt), 0) << "record passed with another type";
  EXPECT_EQ(choose(dc + 1000, good), 0) << "unknown device context";
  EXPECT_EQ(view.lib().call(gl::kCmdChoosePixelFormat, {handleArg(dc), omittedArg()}).value, 0u) << "no record";
  EXPECT_EQ(view.lib().call(gl::kCmdChoosePixelFormat, {handleArg(dc), addressArg(nullptr, abi::kTypePixelFormat)}).value,
            0u)
      << "null record";
}

TEST_F(Binding, ContextLifecycle) {
  const PixelFormatRequest r = viewPixelFormat();
  const abi::Arg record = addressArg(&r, abi::kTypePixelFormat);
  EXPECT_EQ(handleCall(gl::kCmdGetDc, {handleArg(0)}), 0) << "no window";
  EXPECT_EQ(handleCall(gl::kCmdGetDc, {handleArg(0x7777777)}), 0) << "unknown window handle";

  const std::intptr_t dc = getDc();
  ASSERT_NE(dc, 0);
  EXPECT_EQ(handleCall(gl::kCmdCreateContext, {handleArg(dc)}), 0) << "no pixel format set yet";
  EXPECT_FALSE(boolCall(gl::kCmdSetPixelFormat, {handleArg(dc), intArg(2), record})) << "format 2 does not exist";
  EXPECT_TRUE(boolCall(gl::kCmdSetPixelFormat, {handleArg(dc), intArg(1), record}));
  EXPECT_TRUE(boolCall(gl::kCmdSetPixelFormat, {handleArg(dc), intArg(1), record})) << "the same format again";

  const std::intptr_t rc = handleCall(gl::kCmdCreateContext, {handleArg(dc)});
  ASSERT_NE(rc, 0);
  EXPECT_NE(rc, dc);
  EXPECT_FALSE(boolCall(gl::kCmdMakeCurrent, {handleArg(dc), handleArg(rc + 1000)})) << "unknown context";
  EXPECT_FALSE(boolCall(gl::kCmdMakeCurrent, {handleArg(rc), handleArg(dc)})) << "handles swapped";
  EXPECT_TRUE(boolCall(gl::kCmdMakeCurrent, {handleArg(dc), handleArg(rc)}));
  EXPECT_TRUE(boolCall(gl::kCmdSwapBuffers, {handleArg(dc)}));
  EXPECT_FALSE(boolCall(gl::kCmdSwapBuffers, {handleArg(rc)})) << "a context is no device context";
  EXPECT_EQ(view.target()->swapCount(), 1);
  EXPECT_TRUE(boolCall(gl::kCmdMakeCurrent, {handleArg(0), handleArg(0)}));

  EXPECT_TRUE(boolCall(gl::kCmdDeleteContext, {handleArg(rc)}));
  EXPECT_FALSE(boolCall(gl::kCmdDeleteContext, {handleArg(rc)})) << "deleted twice";
  EXPECT_FALSE(boolCall(gl::kCmdMakeCurrent, {handleArg(dc), handleArg(rc)})) << "deleted context";
  EXPECT_EQ(view.lib().call(gl::kCmdReleaseDc, {handleArg(12345), handleArg(dc)}).value, 0u) << "another window";
  EXPECT_EQ(view.lib().call(gl::kCmdReleaseDc, {handleArg(std::intptr_t(view.handle())), handleArg(dc)}).value, 1u);
  EXPECT_EQ(view.lib().call(gl::kCmdReleaseDc, {handleArg(std::intptr_t(view.handle())), handleArg(dc)}).value, 0u)
      << "released twice";
  EXPECT_FALSE(boolCall(gl::kCmdSwapBuffers, {handleArg(dc)})) << "released device context";
}

TEST_F(Binding, NoDrawingAreaNoDeviceContext) {
  // A list box has a native handle but no GL surface.
  window::WindowDef def;
  def.id = 0x52000009;
  def.unitId = 0x06000009;
  def.rect = {0, 0, 100, 100};
  window::ControlDef list;
  list.id = 0x16000009;
  list.kind = window::ControlKind::ListBox;
  list.rect = {0, 0, 50, 50};
  def.controls = {list};
  ASSERT_TRUE(view.system().createWindow(def).ok());
  auto handle = view.system().nativeHandle(def.id, list.id);
  ASSERT_TRUE(handle.ok());
  EXPECT_EQ(handleCall(gl::kCmdGetDc, {handleArg(std::intptr_t(*handle))}), 0);
}

// Every command, with no context current: nothing reaches GL and nothing
// breaks; results say that nothing was done.
TEST_F(Binding, CommandsWithoutACurrentContextAreSkipped) {
  view.setUp();
  view.beginFrame();
  view.swap();
  const std::vector<std::uint8_t> before = view.target()->readPixels();
  view.release();

  std::int32_t name = -5, width = -1, height = -1;
  const std::vector<std::int32_t> names{1, 2};
  const auto list = arrayBlock<std::int32_t>({2}, names);
  view.lib().call(gl::kCmdGenTexture, {intArg(kGlTexture2d), addressArg(&name, abi::kTagInt)});
  EXPECT_EQ(name, 0) << "no texture name without a context";
  const char* path = "\\nowhere\\a.tga";
  EXPECT_EQ(view.lib().call(gl::kCmdLoadTgaTexture,
                            {addressArg(path, abi::kTagText), omittedArg(), addressArg(&width, abi::kTagInt),
                             addressArg(&height, abi::kTagInt)})
                .value,
            0u);
  EXPECT_EQ(width, -1);
  view.lib().call(gl::kCmdDeleteTextures, {omittedArg(), addressArg(list.data(), abi::kTagIntArray)});

  // Draw a full red frame through every drawing command; the area keeps
  // what it showed.
  view.beginFrame();
  const float a[5] = {-10, -10, 0, 0, 0}, b[5] = {10, -10, 0, 1, 0}, c[5] = {0, 10, 0, 0.5f, 1};
  for (std::int32_t mode = 0; mode <= 5; ++mode) view.triangle(mode, a, b, c);
  EXPECT_EQ(view.target()->readBackBuffer(), before);

  // Every code from 0 to 0x800 with a null record, an empty record and a
  // record of one text.
  const abi::ArgRecord* none = nullptr;
  for (std::int32_t code = 0; code <= 0x800; code += 4) {
    view.lib().callRecord(code, none);
    view.lib().call(code, {});
    view.lib().call(code, {addressArg("x", abi::kTagText)});
  }
}

// With a context current, records that are short, null, or of the wrong
// types reach no GL call with made-up values.
TEST_F(Binding, MalformedRecordsWithAContext) {
  view.setUp();
  const abi::ArgRecord* none = nullptr;
  std::vector<std::int32_t> skip = {gl::kCmdMakeCurrent, gl::kCmdDeleteContext, gl::kCmdReleaseDc};
  for (std::int32_t code = 0; code <= 0x800; code += 4) {
    if (std::find(skip.begin(), skip.end(), code) != skip.end()) continue;
    view.lib().callRecord(code, none);
    view.lib().call(code, {});
    view.lib().call(code, {addressArg("x", abi::kTagText), addressArg("y", abi::kTagText)});
  }
  // glBegin with a text where the mode belongs was skipped: GL is not
  // inside begin/end, so a query works. (The lone glEnd calls left errors.)
  for (int i = 0; i < 16 && glGetError() != GL_NO_ERROR; ++i) {
  }
  GLint viewport[4] = {};
  glGetIntegerv(GL_VIEWPORT, viewport);
  EXPECT_EQ(glGetError(), GLenum(GL_NO_ERROR));
  EXPECT_EQ(viewport[2], kAreaWidth);
}

TEST_F(Binding, DeleteTexturesOfAnIntegerArray) {
  view.setUp();
  std::int32_t first = 0, second = 0, third = 0;
  for (std::int32_t* name : {&first, &second, &third}) {
    view.lib().call(gl::kCmdGenTexture, {intArg(kGlTexture2d), addressArg(name, abi::kTagInt)});
    ASSERT_NE(*name, 0);
    view.lib().call(gl::kCmdBindTexture, {intArg(kGlTexture2d), intArg(*name)});
  }
  EXPECT_NE(first, second);
  EXPECT_TRUE(glIsTexture(GLuint(first)));

  // Wrong tag, no array, a null block: nothing deleted.
  const auto list = arrayBlock<std::int32_t>({3}, {first, 0, second});
  view.lib().call(gl::kCmdDeleteTextures, {omittedArg(), addressArg(list.data(), abi::kTagInt)});
  view.lib().call(gl::kCmdDeleteTextures, {omittedArg()});
  view.lib().call(gl::kCmdDeleteTextures, {omittedArg(), addressArg(nullptr, abi::kTagIntArray)});
  EXPECT_TRUE(glIsTexture(GLuint(first)));

  // The list with a zero among the names: both names go, the third stays.
  view.lib().call(gl::kCmdDeleteTextures, {omittedArg(), addressArg(list.data(), abi::kTagIntArray)});
  EXPECT_FALSE(glIsTexture(GLuint(first)));
  EXPECT_FALSE(glIsTexture(GLuint(second)));
  EXPECT_TRUE(glIsTexture(GLuint(third)));

  // A table counts all its elements.
  const auto table = arrayBlock<std::int32_t>({1, 1}, {third});
  view.lib().call(gl::kCmdDeleteTextures, {omittedArg(), addressArg(table.data(), abi::kTagIntArray)});
  EXPECT_FALSE(glIsTexture(GLuint(third)));

  // A block claiming more elements than any list holds is refused unread.
  const std::vector<std::uint32_t> forged = {2, 0x10000, 0x10000};
  view.lib().call(gl::kCmdDeleteTextures, {omittedArg(), addressArg(forged.data(), abi::kTagIntArray)});
  const std::vector<std::uint32_t> tooManyDims = {9, 1, 1, 1, 1, 1, 1, 1, 1, 1, 0};
  view.lib().call(gl::kCmdDeleteTextures, {omittedArg(), addressArg(tooManyDims.data(), abi::kTagIntArray)});
}

// An FLTK drawing area has no GL until its window is shown: the view's
// set-up runs before that. Its state calls are kept and replayed when the
// context can be made current, so the first frame looks right.
TEST(BindingDeferred, SetUpBeforeTheWindowHasGl) {
  View view(/*glAfterShow=*/true);
  ASSERT_TRUE(view.ok()) << view.error();
  view.setUp();
  EXPECT_NE(view.rc(), 0);
  EXPECT_FALSE(static_cast<bool>(
      view.lib().call(gl::kCmdMakeCurrent, {handleArg(view.dc()), handleArg(view.rc())}).value));

  view.show();
  view.beginFrame();
  const float a[5] = {-10, -10, 0, 0, 0}, b[5] = {10, -10, 0, 1, 0}, c[5] = {0, 10, 0, 0.5f, 1};
  view.triangle(4, a, b, c);
  view.swap();
  const auto image = view.target()->readPixels();
  // White clear colour from the set-up; the triangle where the set-up's
  // viewport and projection put it (centroid at 252, 254).
  const Pixel corner = pixelAt(image, kAreaWidth, 5, 5);
  EXPECT_EQ((std::vector<int>{corner.r, corner.g, corner.b}), (std::vector<int>{255, 255, 255}));
  const Pixel centre = pixelAt(image, kAreaWidth, 252, 254);
  EXPECT_EQ((std::vector<int>{centre.r, centre.g, centre.b}), (std::vector<int>{255, 0, 0}));
  const Pixel beside = pixelAt(image, kAreaWidth, 140, 254);
  EXPECT_EQ(beside.g, 255);
  GLfloat size = 0;
  glGetFloatv(GL_POINT_SIZE, &size);
  EXPECT_EQ(size, 8.0f);
}

// What was kept is the context's state: it survives a release and comes
// back when the same context is made current; a deleted context takes it
// with it.
TEST(BindingDeferred, KeptStateBelongsToItsContext) {
  View view(/*glAfterShow=*/true);
  ASSERT_TRUE(view.ok()) << view.error();
  view.setUp();  // clear colour white, kept
  view.lib().call(gl::kCmdMakeCurrent, {handleArg(0), handleArg(0)});
  view.show();
  EXPECT_EQ(view.lib().call(gl::kCmdMakeCurrent, {handleArg(view.dc()), handleArg(view.rc())}).value, 1u);
  view.lib().call(gl::kCmdClear, {intArg(0x4100)});
  view.swap();
  Pixel p = pixelAt(view.target()->readPixels(), kAreaWidth, 5, 5);
  EXPECT_EQ((std::vector<int>{p.r, p.g, p.b}), (std::vector<int>{255, 255, 255}));
}

TEST(BindingDeferred, DeletedContextTakesItsKeptStateAlong) {
  View view(/*glAfterShow=*/true);
  ASSERT_TRUE(view.ok()) << view.error();
  view.setUp();
  view.lib().call(gl::kCmdDeleteContext, {handleArg(view.rc())});
  view.show();
  const auto rc = static_cast<std::intptr_t>(view.lib().call(gl::kCmdCreateContext, {handleArg(view.dc())}).value);
  ASSERT_NE(rc, 0);
  EXPECT_EQ(view.lib().call(gl::kCmdMakeCurrent, {handleArg(view.dc()), handleArg(rc)}).value, 1u);
  view.lib().call(gl::kCmdClear, {intArg(0x4100)});
  view.swap();
  Pixel p = pixelAt(view.target()->readPixels(), kAreaWidth, 5, 5);
  EXPECT_EQ((std::vector<int>{p.r, p.g, p.b}), (std::vector<int>{0, 0, 0})) << "GL's default clear colour";
  view.lib().call(gl::kCmdDeleteContext, {handleArg(rc)});
}

}  // namespace
}  // namespace ql::gltest
