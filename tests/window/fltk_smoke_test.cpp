// Runs only where an X display exists (ctest also runs it under xvfb-run).
#include <FL/Fl.H>
#include <FL/Fl_Window.H>
#include <FL/gl.h>
#undef Status

#include <gtest/gtest.h>

#include "runtime/window/fltk/fltk_window_system.h"
#include "window_fixture.h"

namespace ql::window {
namespace {

using namespace ql::window::testing;

std::int32_t intProp(const WindowSystem& ws, Id w, Id u, std::int32_t n) {
  auto v = ws.property(w, u, n);
  EXPECT_TRUE(v.ok()) << (v.ok() ? "" : v.error().message);
  return v.ok() ? std::get<std::int32_t>(*v) : -999;
}

void pump() {
  for (int i = 0; i < 20; ++i) Fl::wait(0.02);
}

class FltkSmoke : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!FltkWindowSystem::displayAvailable()) GTEST_SKIP() << "no X display";
  }
};

TEST_F(FltkSmoke, MainWindowWorksThroughTheInterface) {
  FltkWindowSystem ws;
  EXPECT_FALSE(ws.cjkFontFamily().empty()) << "no CJK font: Chinese texts would show as boxes";

  std::vector<Event> events;
  int ticks = 0;
  ws.setEventSink([&](const Event& e) {
    events.push_back(e);
    if (e.unit == kTimer && ++ticks == 3) ws.quit();
  });
  auto def = mainWindowDef();
  def.controls[4].intervalMs = 0;  // started right before the loop
  ASSERT_TRUE(ws.createWindow(def).ok());
  ASSERT_EQ(events.size(), 1u);
  EXPECT_EQ(events[0].number, event::kCreated);

  // Combo rules are the same as headless: index 5 of five clears it.
  ASSERT_TRUE(ws.setProperty(kMain, kCombo, prop::kComboIndex, 5).ok());
  EXPECT_EQ(intProp(ws, kMain, kCombo, prop::kComboIndex), -1);
  ASSERT_TRUE(ws.setProperty(kMain, kCombo, prop::kComboIndex, 4).ok());
  EXPECT_EQ(intProp(ws, kMain, kCombo, prop::kComboIndex), 4);
  ASSERT_TRUE(ws.addListItem(kMain, kList, "\xC1\xD0\xB1\xED.skc").ok());
  EXPECT_EQ(*ws.listItem(kMain, kList, 0), "\xC1\xD0\xB1\xED.skc");
  EXPECT_EQ(*ws.clientHeight(kMain), 480 - FltkWindowSystem::kMenuBarHeight);

  auto handle = ws.nativeHandle(kMain, kArea);
  ASSERT_TRUE(handle.ok());
  DrawingSurface* surface = ws.surface(*handle);
  ASSERT_NE(surface, nullptr);
  EXPECT_FALSE(surface->makeCurrent());  // no GL context before the window is shown

  events.clear();
  ASSERT_TRUE(ws.setProperty(kMain, kMainUnit, prop::kVisible, 1).ok());
  ASSERT_GE(events.size(), 2u);
  EXPECT_EQ(events[0].number, event::kMoved);
  EXPECT_EQ(events[1].number, event::kResized);
  pump();

  // The drawing area renders: clear to white, read the back buffer.
  ASSERT_TRUE(surface->makeCurrent());
  glClearColor(1.0f, 1.0f, 1.0f, 1.0f);
  glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
  unsigned char pixel[4] = {0, 0, 0, 0};
  glReadBuffer(GL_BACK);
  glReadPixels(10, 10, 1, 1, GL_RGBA, GL_UNSIGNED_BYTE, pixel);
  EXPECT_EQ(pixel[0], 255);
  EXPECT_EQ(pixel[1], 255);
  EXPECT_EQ(pixel[2], 255);
  GLint depthBits = 0;
  glGetIntegerv(GL_DEPTH_BITS, &depthBits);
  EXPECT_GT(depthBits, 0);
  surface->swapBuffers();

  // The drawing area's wheel, buttons, double click and keys as FLTK hands
  // them over: Windows' numbers and key bits.
  auto* area = reinterpret_cast<Fl_Widget*>(*handle);
  events.clear();
  Fl::e_x = 30;
  Fl::e_y = 40;
  Fl::e_state = 0;
  Fl::e_dy = -2;  // FLTK: two notches away from the user
  area->handle(FL_MOUSEWHEEL);
  Fl::e_keysym = FL_Button + FL_RIGHT_MOUSE;
  Fl::e_state = FL_BUTTON3;
  Fl::e_clicks = 0;
  area->handle(FL_PUSH);
  Fl::e_keysym = FL_Button + FL_LEFT_MOUSE;
  Fl::e_state = FL_BUTTON1;
  Fl::e_clicks = 1;  // the second press of a double click
  area->handle(FL_PUSH);
  Fl::e_clicks = 0;
  Fl::e_keysym = FL_Home;
  Fl::e_state = FL_CTRL;
  area->handle(FL_KEYBOARD);
  Fl::e_keysym = FL_F + 1;
  EXPECT_EQ(area->handle(FL_KEYBOARD), 0) << "keys without a Windows code are left to FLTK";
  Fl::e_state = 0;
  EXPECT_EQ(events, (std::vector<Event>{{kMain, kArea, event::kMouseWheel, 30, 40, keys::withWheel(0, 240)},
                                        {kMain, kArea, event::kMouseDown, 30, 40, keys::kRightButton},
                                        {kMain, kArea, event::kMouseDoubleClick, 30, 40, keys::kLeftButton},
                                        {kMain, kArea, event::kKeyDown, vk::kHome, 0, keys::kControl}}));

  events.clear();
  ASSERT_TRUE(ws.moveResize(kMain, kMainUnit, 80, 90, std::nullopt, std::nullopt).ok());
  ASSERT_FALSE(events.empty());
  EXPECT_EQ(events[0].number, event::kMoved);
  pump();
  EXPECT_EQ(intProp(ws, kMain, kMainUnit, prop::kWidth), 640);

  // Escape must not close the window.
  Fl_Window* window = Fl::first_window();
  ASSERT_NE(window, nullptr);
  Fl::e_keysym = FL_Escape;
  Fl::handle(FL_SHORTCUT, window);
  EXPECT_TRUE(ws.hasWindow(kMain));
  EXPECT_FALSE(ws.quitRequested());

  // Real FLTK timers drive the loop until the handler quits.
  ASSERT_TRUE(ws.setProperty(kMain, kTimer, prop::kIntervalOrText, 20).ok());
  ws.run();
  EXPECT_EQ(ticks, 3);
  EXPECT_TRUE(ws.hasWindow(kMain));

  // The close box ends the program.
  events.clear();
  Fl::handle(FL_CLOSE, window);
  EXPECT_FALSE(ws.hasWindow(kMain));
  ASSERT_FALSE(events.empty());
  EXPECT_EQ(events[0], (Event{kMain, kMainUnit, event::kDestroying}));
  pump();
}

}  // namespace
}  // namespace ql::window
