// The Win32 backend with real windows (under Wine on the build machine: it
// needs a display there, and skips without one). User actions are sent as
// the messages Windows would send; modal boxes and dialogs are answered by a
// timer that runs inside their message loops.
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>
#include <commdlg.h>
#include <dlgs.h>
#include <GL/gl.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>

#include "common/gbk.h"
#include "runtime/window/win32/win32_window_system.h"
#include "window_fixture.h"

namespace ql::window {
namespace {

using namespace ql::window::testing;

bool displayAvailable() {
  HWND probe = CreateWindowExW(0, L"STATIC", L"", WS_POPUP, 0, 0, 1, 1, nullptr, nullptr, nullptr, nullptr);
  if (!probe) return false;
  DestroyWindow(probe);
  return true;
}

std::int32_t intProp(const WindowSystem& ws, Id w, Id u, std::int32_t n) {
  auto v = ws.property(w, u, n);
  EXPECT_TRUE(v.ok()) << (v.ok() ? "" : v.error().message);
  return v.ok() ? std::get<std::int32_t>(*v) : -999;
}

HWND handleOf(WindowSystem& ws, Id window, Id control) {
  auto h = ws.nativeHandle(window, control);
  EXPECT_TRUE(h.ok());
  return h.ok() ? reinterpret_cast<HWND>(*h) : nullptr;
}

void pump() {
  MSG msg;
  for (int i = 0; i < 20; ++i) {
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
      TranslateMessage(&msg);
      DispatchMessageW(&msg);
    }
    Sleep(10);
  }
}

// What the answering timer does to the first dialog box of this thread.
struct DialogAnswer {
  int button = IDCANCEL;
  std::wstring fileName;  // typed into a file dialog first
  bool seen = false;
};
DialogAnswer* g_answer = nullptr;

BOOL CALLBACK answerDialog(HWND hwnd, LPARAM) {
  wchar_t cls[16] = {};
  GetClassNameW(hwnd, cls, 16);
  if (wcscmp(cls, L"#32770") != 0 || !IsWindowVisible(hwnd)) return TRUE;
  g_answer->seen = true;
  if (!g_answer->fileName.empty()) {
    // The name box is cmb13 in explorer-style dialogs, edt1 in older ones.
    if (!SetDlgItemTextW(hwnd, cmb13, g_answer->fileName.c_str()))
      SetDlgItemTextW(hwnd, edt1, g_answer->fileName.c_str());
  }
  PostMessageW(hwnd, WM_COMMAND, MAKEWPARAM(g_answer->button, BN_CLICKED), 0);
  return FALSE;
}

void CALLBACK answerTimer(HWND, UINT, UINT_PTR id, DWORD) {
  if (!g_answer || g_answer->seen) return;
  EnumThreadWindows(GetCurrentThreadId(), answerDialog, 0);
  if (g_answer->seen) KillTimer(nullptr, id);
}

// Runs `show` while a timer answers the dialog it opens.
template <typename F>
auto answered(int button, std::wstring fileName, F show) {
  DialogAnswer answer;
  answer.button = button;
  answer.fileName = std::move(fileName);
  g_answer = &answer;
  UINT_PTR timer = SetTimer(nullptr, 0, 100, answerTimer);
  auto result = show();
  KillTimer(nullptr, timer);
  EXPECT_TRUE(answer.seen) << "no dialog was shown";
  g_answer = nullptr;
  return result;
}

class Win32Smoke : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!displayAvailable()) GTEST_SKIP() << "no display for windows";
  }
};

TEST_F(Win32Smoke, MainWindowWorksThroughTheInterface) {
  const std::filesystem::path dump = std::filesystem::temp_directory_path() / "ql_win32_smoke_frame.ppm";
  std::filesystem::remove(dump);
  SetEnvironmentVariableW(L"QL_FRAME_DUMP", dump.wstring().c_str());
  Win32WindowSystem ws;

  std::vector<Event> events;
  int ticks = 0;
  ws.setEventSink([&](const Event& e) {
    events.push_back(e);
    if (e.unit == kTimer && ++ticks == 3) ws.quit();
  });
  auto def = mainWindowDef();
  def.controls[4].intervalMs = 0;  // started right before the loop
  ASSERT_TRUE(ws.createWindow(def).ok());
  SetEnvironmentVariableW(L"QL_FRAME_DUMP", nullptr);  // read when the drawing area is made
  ASSERT_EQ(events.size(), 1u);
  EXPECT_EQ(events[0].number, event::kCreated);
  HWND main = reinterpret_cast<HWND>(ws.topLevelHandle(kMain));
  ASSERT_NE(main, nullptr);

  // The client size the interface reports is the native one.
  RECT client{};
  GetClientRect(main, &client);
  EXPECT_EQ(*ws.clientWidth(kMain), client.right);
  EXPECT_EQ(*ws.clientHeight(kMain), client.bottom);
  EXPECT_LT(*ws.clientHeight(kMain), 480 - 20);  // caption and menu bar

  // Menus: nested as the levels say, Chinese captions, leaf clicks only.
  HMENU bar = GetMenu(main);
  ASSERT_NE(bar, nullptr);
  wchar_t caption[32] = {};
  GetMenuStringW(bar, 0, caption, 32, MF_BYPOSITION);
  EXPECT_STREQ(caption, L"文件");
  HMENU open = GetSubMenu(GetSubMenu(bar, 0), 0);
  ASSERT_NE(open, nullptr);
  events.clear();
  SendMessageW(main, WM_COMMAND, MAKEWPARAM(GetMenuItemID(open, 0), 0), 0);
  SendMessageW(main, WM_COMMAND, MAKEWPARAM(GetMenuItemID(GetSubMenu(bar, 1), 0), 0), 0);
  ASSERT_EQ(events.size(), 2u);
  EXPECT_EQ(events[0], (Event{kMain, kMenuOpenObj, event::kMenuClicked}));
  EXPECT_EQ(events[1], (Event{kMain, kMenuCheck, event::kMenuClicked}));

  // Combo box: the interface's rules, mirrored on the native control.
  HWND combo = handleOf(ws, kMain, kCombo);
  EXPECT_EQ(SendMessageW(combo, CB_GETCOUNT, 0, 0), 5);
  ASSERT_TRUE(ws.setProperty(kMain, kCombo, prop::kComboIndex, 4).ok());
  EXPECT_EQ(SendMessageW(combo, CB_GETCURSEL, 0, 0), 4);
  ASSERT_TRUE(ws.setProperty(kMain, kCombo, prop::kComboIndex, 5).ok());
  EXPECT_EQ(intProp(ws, kMain, kCombo, prop::kComboIndex), -1);
  EXPECT_EQ(SendMessageW(combo, CB_GETCURSEL, 0, 0), CB_ERR);
  events.clear();
  SendMessageW(combo, CB_SETCURSEL, 2, 0);
  SendMessageW(main, WM_COMMAND, MAKEWPARAM(GetDlgCtrlID(combo), CBN_SELCHANGE), reinterpret_cast<LPARAM>(combo));
  ASSERT_EQ(events.size(), 1u);
  EXPECT_EQ(events[0], (Event{kMain, kCombo, event::kComboChanged}));
  EXPECT_EQ(intProp(ws, kMain, kCombo, prop::kComboIndex), 2);

  // List box: entries in order, unsorted; the user's choice is an event.
  HWND list = handleOf(ws, kMain, kList);
  ASSERT_TRUE(ws.addListItem(kMain, kList, "z.skc").ok());
  ASSERT_TRUE(ws.addListItem(kMain, kList, "\xC1\xD0\xB1\xED.skc").ok());  // 列表.skc
  ASSERT_EQ(SendMessageW(list, LB_GETCOUNT, 0, 0), 2);
  wchar_t entry[32] = {};
  SendMessageW(list, LB_GETTEXT, 1, reinterpret_cast<LPARAM>(entry));
  EXPECT_STREQ(entry, L"列表.skc");
  events.clear();
  SendMessageW(list, LB_SETCURSEL, 1, 0);
  SendMessageW(main, WM_COMMAND, MAKEWPARAM(GetDlgCtrlID(list), LBN_SELCHANGE), reinterpret_cast<LPARAM>(list));
  ASSERT_EQ(events.size(), 1u);
  EXPECT_EQ(events[0], (Event{kMain, kList, event::kListChosen}));
  EXPECT_EQ(intProp(ws, kMain, kList, prop::kListIndex), 1);
  ASSERT_TRUE(ws.setProperty(kMain, kList, prop::kListIndex, -1).ok());
  EXPECT_EQ(SendMessageW(list, LB_GETCURSEL, 0, 0), LB_ERR);

  // Scroll bar: line and page steps, clamped to the range 1..100.
  HWND scroll = handleOf(ws, kMain, kScroll);
  struct Step {
    WORD code;
    std::int32_t position;
  };
  const Step steps[] = {{SB_LINEDOWN, 31}, {SB_PAGEDOWN, 41}, {SB_LINEUP, 40}, {SB_PAGEUP, 30},
                        {SB_BOTTOM, 100},  {SB_PAGEDOWN, 100}, {SB_TOP, 1},    {SB_LINEUP, 1}};
  for (const auto& s : steps) {
    SendMessageW(main, WM_VSCROLL, MAKEWPARAM(s.code, 0), reinterpret_cast<LPARAM>(scroll));
    EXPECT_EQ(intProp(ws, kMain, kScroll, prop::kScrollPosition), s.position) << "code " << s.code;
    EXPECT_EQ(GetScrollPos(scroll, SB_CTL), s.position) << "code " << s.code;
  }
  ASSERT_TRUE(ws.setProperty(kMain, kScroll, prop::kScrollPosition, 100).ok());
  EXPECT_EQ(GetScrollPos(scroll, SB_CTL), 100);  // the page does not keep the thumb from the maximum

  // Drawing area: a GL context from the start, with the requested format.
  HWND area = handleOf(ws, kMain, kArea);
  DrawingSurface* surface = ws.surface(reinterpret_cast<std::uintptr_t>(area));
  ASSERT_NE(surface, nullptr);
  ASSERT_TRUE(surface->makeCurrent());
  HDC dc = GetDC(area);
  PIXELFORMATDESCRIPTOR pfd{};
  ASSERT_NE(DescribePixelFormat(dc, GetPixelFormat(dc), sizeof pfd, &pfd), 0);
  ReleaseDC(area, dc);
  EXPECT_TRUE(pfd.dwFlags & PFD_DOUBLEBUFFER);
  EXPECT_TRUE(pfd.dwFlags & PFD_SUPPORT_OPENGL);
  EXPECT_EQ(pfd.iPixelType, PFD_TYPE_RGBA);
  EXPECT_GE(pfd.cColorBits, 24);
  GLint depthBits = 0;
  glGetIntegerv(GL_DEPTH_BITS, &depthBits);
  EXPECT_GT(depthBits, 0);

  // Mouse: area pixels and the MK_ key bits as they come.
  events.clear();
  SendMessageW(area, WM_LBUTTONDOWN, MK_LBUTTON | MK_SHIFT, MAKELPARAM(10, 20));
  SendMessageW(area, WM_MOUSEMOVE, MK_LBUTTON, MAKELPARAM(-3, 25));  // dragged out, still captured
  SendMessageW(area, WM_LBUTTONUP, 0, MAKELPARAM(12, 22));
  ASSERT_EQ(events.size(), 3u);
  EXPECT_EQ(events[0], (Event{kMain, kArea, event::kMouseDown, 10, 20, keys::kLeftButton | keys::kShift}));
  EXPECT_EQ(events[1], (Event{kMain, kArea, event::kMouseMove, -3, 25, keys::kLeftButton}));
  EXPECT_EQ(events[2], (Event{kMain, kArea, event::kMouseUp, 12, 22, 0}));

  // Double clicks, keys and the wheel (its position in screen pixels; a
  // wheel outside the area is not the area's).
  events.clear();
  SendMessageW(area, WM_LBUTTONDBLCLK, MK_LBUTTON, MAKELPARAM(5, 6));
  SendMessageW(area, WM_LBUTTONUP, 0, MAKELPARAM(5, 6));
  SendMessageW(area, WM_RBUTTONDOWN, MK_RBUTTON, MAKELPARAM(7, 8));
  SendMessageW(area, WM_KEYDOWN, VK_HOME, 0);
  POINT inside{30, 40}, outside{-50, 40};
  ClientToScreen(area, &inside);
  ClientToScreen(area, &outside);
  SendMessageW(area, WM_MOUSEWHEEL, MAKEWPARAM(MK_SHIFT, WHEEL_DELTA * 2), MAKELPARAM(inside.x, inside.y));
  SendMessageW(area, WM_MOUSEWHEEL, MAKEWPARAM(0, -WHEEL_DELTA), MAKELPARAM(outside.x, outside.y));
  EXPECT_EQ(events, (std::vector<Event>{{kMain, kArea, event::kMouseDoubleClick, 5, 6, keys::kLeftButton},
                                        {kMain, kArea, event::kMouseUp, 5, 6, 0},
                                        {kMain, kArea, event::kMouseDown, 7, 8, keys::kRightButton},
                                        {kMain, kArea, event::kKeyDown, vk::kHome, 0, 0},
                                        {kMain, kArea, event::kMouseWheel, 30, 40, keys::withWheel(keys::kShift, 240)}}));
  SendMessageW(area, WM_RBUTTONUP, 0, MAKELPARAM(7, 8));

  // Show: the first show reports place and size.
  events.clear();
  ASSERT_TRUE(ws.setProperty(kMain, kMainUnit, prop::kVisible, 1).ok());
  ASSERT_GE(events.size(), 2u);
  EXPECT_EQ(events[0].number, event::kMoved);
  EXPECT_EQ(events[1].number, event::kResized);
  pump();

  // A frame: white with a red square in the lower left, read back, then
  // written to the dump file by the swap.
  ASSERT_TRUE(surface->makeCurrent());
  glViewport(0, 0, 504, 448);
  glClearColor(1.0f, 1.0f, 1.0f, 1.0f);
  glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
  glEnable(GL_SCISSOR_TEST);
  glScissor(0, 0, 8, 8);
  glClearColor(1.0f, 0.0f, 0.0f, 1.0f);
  glClear(GL_COLOR_BUFFER_BIT);
  glDisable(GL_SCISSOR_TEST);
  unsigned char pixel[4] = {0, 0, 0, 0};
  glReadBuffer(GL_BACK);
  glReadPixels(20, 20, 1, 1, GL_RGBA, GL_UNSIGNED_BYTE, pixel);
  EXPECT_EQ(pixel[0], 255);
  EXPECT_EQ(pixel[1], 255);
  EXPECT_EQ(pixel[2], 255);
  surface->swapBuffers();
  {
    std::ifstream in(dump, std::ios::binary);
    ASSERT_TRUE(in) << "no frame dump at " << dump.string();
    std::vector<unsigned char> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    const std::string header = "P6\n504 448\n255\n";
    ASSERT_EQ(bytes.size(), header.size() + 504u * 448u * 3u);
    EXPECT_EQ(std::string(bytes.begin(), bytes.begin() + static_cast<std::ptrdiff_t>(header.size())), header);
    const auto at = [&](std::size_t x, std::size_t y) { return bytes.data() + header.size() + (y * 504 + x) * 3; };
    EXPECT_EQ(at(0, 0)[0], 255);  // top left: white
    EXPECT_EQ(at(0, 0)[2], 255);
    EXPECT_EQ(at(1, 447)[0], 255);  // bottom left: red (rows top-down)
    EXPECT_EQ(at(1, 447)[1], 0);
    EXPECT_EQ(at(1, 447)[2], 0);
  }
  std::filesystem::remove(dump);

  // Programmatic moves: native rectangle follows, one event.
  events.clear();
  ASSERT_TRUE(ws.moveResize(kMain, kMainUnit, 80, 90, std::nullopt, std::nullopt).ok());
  pump();
  ASSERT_EQ(events.size(), 1u);
  EXPECT_EQ(events[0].number, event::kMoved);
  RECT outer{};
  GetWindowRect(main, &outer);
  EXPECT_EQ(outer.left, 80);
  EXPECT_EQ(outer.top, 90);
  EXPECT_EQ(intProp(ws, kMain, kMainUnit, prop::kWidth), 640);

  // The log window: owned, its close box only hides it; text as CR LF lines.
  ASSERT_TRUE(ws.createWindow(logWindowDef(), kMain).ok());
  ASSERT_TRUE(ws.setProperty(kLog, kLogBox, prop::kIntervalOrText, std::string("a\nb\r\n\xC7\xE0")).ok());
  HWND box = handleOf(ws, kLog, kLogBox);
  wchar_t text[32] = {};
  GetWindowTextW(box, text, 32);
  EXPECT_STREQ(text, L"a\r\nb\r\n青");
  auto stored = ws.property(kLog, kLogBox, prop::kIntervalOrText);
  ASSERT_TRUE(stored.ok());
  EXPECT_EQ(std::get<std::string>(*stored), "a\nb\r\n\xC7\xE0");  // the state keeps the module's text
  HWND log = reinterpret_cast<HWND>(ws.topLevelHandle(kLog));
  ASSERT_TRUE(ws.setProperty(kLog, kLogUnit, prop::kVisible, 1).ok());
  EXPECT_EQ(GetWindow(log, GW_OWNER), main);
  SendMessageW(log, WM_CLOSE, 0, 0);
  EXPECT_TRUE(ws.hasWindow(kLog));
  EXPECT_FALSE(IsWindowVisible(log));

  // Real timers drive the loop until the handler quits.
  ASSERT_TRUE(ws.setProperty(kMain, kTimer, prop::kIntervalOrText, 20).ok());
  ws.run();
  EXPECT_EQ(ticks, 3);
  EXPECT_TRUE(ws.hasWindow(kMain));

  // The close box ends the program, owned windows first.
  events.clear();
  SendMessageW(main, WM_CLOSE, 0, 0);
  EXPECT_FALSE(ws.hasWindow(kMain));
  EXPECT_FALSE(ws.hasWindow(kLog));
  EXPECT_FALSE(IsWindow(main));
  ASSERT_FALSE(events.empty());
  EXPECT_EQ(events[0], (Event{kMain, kMainUnit, event::kDestroying}));
  EXPECT_TRUE(ws.quitRequested());
}

TEST_F(Win32Smoke, MessageBoxAnswers) {
  Win32WindowSystem ws;
  EXPECT_EQ(answered(IDCANCEL, {}, [&] { return ws.messageBox("\xC7\xEB", kStyleOkCancel, "\xB0\xEF\xD6\xFA"); }), 1);
  EXPECT_EQ(answered(IDOK, {}, [&] { return ws.messageBox("ok", kStyleOkCancel, std::nullopt); }), 0);
  EXPECT_EQ(answered(IDOK, {}, [&] { return ws.messageBox("ok", kStyleOk, std::nullopt); }), 0);
}

TEST_F(Win32Smoke, FileDialogsKeepTheCurrentFolder) {
  Win32WindowSystem ws;
  ASSERT_TRUE(ws.createWindow(mainWindowDef()).ok());
  const std::filesystem::path folder = std::filesystem::temp_directory_path() / L"ql_win32_青岚";
  std::filesystem::create_directories(folder);
  const std::filesystem::path before = std::filesystem::current_path();
  ASSERT_NE(before, folder);

  // Cancel keeps the preset name.
  ASSERT_TRUE(ws.setProperty(kMain, kSaveDialog, prop::kFileName, std::string("keep")).ok());
  auto cancelled = answered(IDCANCEL, {}, [&] { return ws.runFileDialog(kMain, kSaveDialog); });
  ASSERT_TRUE(cancelled.ok());
  EXPECT_FALSE(*cancelled);
  EXPECT_EQ(std::get<std::string>(*ws.property(kMain, kSaveDialog, prop::kFileName)), "keep");

  // A save in another folder: the name gets the default extension, the
  // path comes back as GBK, the process's folder stays.
  const std::wstring typed = (folder / L"模型").wstring();
  auto saved = answered(IDOK, typed, [&] { return ws.runFileDialog(kMain, kSaveDialog); });
  ASSERT_TRUE(saved.ok());
  ASSERT_TRUE(*saved);
  auto name = std::get<std::string>(*ws.property(kMain, kSaveDialog, prop::kFileName));
  auto expected = wideToGbk(typed + L".ac");
  ASSERT_TRUE(expected.has_value());
  EXPECT_EQ(name, *expected);
  EXPECT_EQ(std::filesystem::current_path(), before);
  std::filesystem::remove_all(folder);
}

}  // namespace
}  // namespace ql::window
