// Opens a window laid out like the tool's main window, with its log window
// docked below, on the desktop's backend (FLTK on Linux, Win32 on Windows).
// Every event is written to the log; the drawing area shows a coloured
// triangle on white.
//
//   qlwindemo [seconds]   quit by itself after that many seconds (0: never)
#ifdef _WIN32
#include <windows.h>
#endif
#include <GL/gl.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "common/gbk.h"
#ifdef _WIN32
#include "runtime/window/win32/win32_window_system.h"
#else
#include "runtime/window/fltk/fltk_window_system.h"
#endif

using namespace ql::window;

namespace {

constexpr Id kMain = 0x52000001, kMainUnit = 0x06000001;
constexpr Id kLog = 0x52000002, kLogUnit = 0x06000002;
constexpr Id kList = 0x16000001, kCombo = 0x16000002, kArea = 0x16000003, kScroll = 0x16000004;
constexpr Id kFrameTimer = 0x16000005, kQuitTimer = 0x16000006, kOpenDialog = 0x16000007;
constexpr Id kLogBox = 0x16000010;
constexpr Id kMenuCheck = 0x2600000D;  // 帮助 > 检测新版本
constexpr Id kMenuOpenObj = 0x26000003;
constexpr Id kMenuExportObj = 0x26000005;
constexpr Id kMenuAbout = 0x2600000E;  // 帮助 > 当前版本说明
constexpr Id kSaveDialog = 0x16000008;

std::string gbk(const char* utf8) { return ql::utf8ToGbk(utf8).value_or(""); }

ControlDef control(Id id, ControlKind kind, Rect rect = {}) {
  ControlDef c;
  c.id = id;
  c.kind = kind;
  c.rect = rect;
  return c;
}

WindowDef mainWindow() {
  WindowDef w;
  w.id = kMain;
  w.unitId = kMainUnit;
  w.title = gbk("青岚三维工具 V0.24  by vrel");
  w.rect = {50, 50, 640, 480};
  const std::pair<int, const char*> menu[] = {
      {0, "文件"}, {1, "打开"}, {2, "打开OBJ格式"}, {1, "输出"}, {2, "OBJ格式"}, {2, "AC3D格式"},
      {2, "SKC格式"}, {1, "保存"}, {2, "保存到游戏"}, {0, "帮助"}, {1, "百度贴吧"}, {1, "访问论坛获取帮助"},
      {1, "检测新版本"}, {1, "当前版本说明"}};
  Id next = 0x26000001;
  for (auto [level, caption] : menu) w.menu.push_back({next++, level, gbk(caption)});

  ControlDef list = control(kList, ControlKind::ListBox, {0, 0, 104, 264});
  for (const char* e : {"nm001f01.skc", "nm002f01.skc", "人物模型.skc", "skin_03.skc"}) list.entries.push_back(gbk(e));
  ControlDef combo = control(kCombo, ControlKind::ComboBox, {0, 416, 104, 20});
  for (const char* e : {"点模式", "线框式1", "线框式2", "线框式3", "纹理模式"}) combo.entries.push_back(gbk(e));
  combo.font = {gbk("宋体"), 12, true};
  ControlDef area = control(kArea, ControlKind::DrawingArea, {112, 0, 504, 448});
  ControlDef scroll = control(kScroll, ControlKind::VScrollBar, {616, 0, 16, 456});
  scroll.scroll = {1, 100, 10, 1, 30};
  ControlDef frameTimer = control(kFrameTimer, ControlKind::Timer);
  frameTimer.intervalMs = 50;
  ControlDef quitTimer = control(kQuitTimer, ControlKind::Timer);
  ControlDef open = control(kOpenDialog, ControlKind::FileDialog);
  open.dialog = {FileDialogKind::Open, {}, {}, gbk("OBJ格式|*.obj|所有文件|*.*"), "*.obj", {}};
  if (const char* folder = std::getenv("QLWINDEMO_FOLDER")) open.dialog.initialFolder = folder;
  ControlDef save = control(kSaveDialog, ControlKind::FileDialog);
  save.dialog = {FileDialogKind::Save, gbk("输出模型"), gbk("模型"), gbk("OBJ格式|*.obj|AC3D格式|*.ac"), "*.obj", {}};
  w.controls = {list, combo, area, scroll, frameTimer, quitTimer, open, save};
  return w;
}

WindowDef logWindow() {
  WindowDef w;
  w.id = kLog;
  w.unitId = kLogUnit;
  w.rect = {50, 50, 397, 144};
  ControlDef box = control(kLogBox, ControlKind::TextBox, {8, 48, 80, 20});
  w.controls = {box};
  return w;
}

void drawTriangle() {
  glClearColor(1.0f, 1.0f, 1.0f, 1.0f);
  glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
  glMatrixMode(GL_PROJECTION);
  glLoadIdentity();
  glMatrixMode(GL_MODELVIEW);
  glLoadIdentity();
  glBegin(GL_TRIANGLES);
  glColor3f(1.0f, 0.0f, 0.0f);
  glVertex2f(-0.8f, -0.8f);
  glColor3f(0.0f, 1.0f, 0.0f);
  glVertex2f(0.8f, -0.8f);
  glColor3f(0.0f, 0.0f, 1.0f);
  glVertex2f(0.0f, 0.8f);
  glEnd();
}

}  // namespace

int main(int argc, char** argv) {
#ifdef _WIN32
  Win32WindowSystem ws;
#else
  if (!FltkWindowSystem::displayAvailable()) {
    std::fprintf(stderr, "qlwindemo: no display\n");
    return 1;
  }
  FltkWindowSystem ws;
  std::fprintf(stderr, "qlwindemo: CJK font \"%s\"\n", ws.cjkFontFamily().c_str());
#endif
  int seconds = argc > 1 ? std::atoi(argv[1]) : 0;

  bool ready = false;
  int quitTicks = 0;
  auto log = [&](const std::string& gbkLine) {
    auto text = ws.property(kLog, kLogBox, 8);
    if (!text) return;
    (void)ws.setProperty(kLog, kLogBox, 8, std::get<std::string>(*text) + gbkLine + "\r\n");
  };
  auto dockLog = [&] {
    auto l = ws.property(kMain, kMainUnit, 0), t = ws.property(kMain, kMainUnit, 1);
    auto w = ws.property(kMain, kMainUnit, 2), h = ws.property(kMain, kMainUnit, 3);
    if (!l || !t || !w || !h) return;
    (void)ws.moveResize(kLog, kLogUnit, std::get<int32_t>(*l), std::get<int32_t>(*t) + std::get<int32_t>(*h),
                        std::get<int32_t>(*w), std::nullopt);
    (void)ws.setProperty(kMain, kList, 3, std::get<int32_t>(*h) - 80);
  };

  ws.setEventSink([&](const Event& e) {
    if (e.window == kMain && e.unit == kMainUnit && e.number == event::kCreated) {
      (void)ws.createWindow(logWindow(), kMain);
      (void)ws.setProperty(kLog, kLogUnit, 5, 1);
      if (auto h = ws.nativeHandle(kMain, kArea); h) {
        if (auto* s = ws.surface(*h)) s->setDrawHook(drawTriangle);
      }
      (void)ws.setProperty(kMain, kCombo, 19, 4);
      if (seconds > 0) (void)ws.setProperty(kMain, kQuitTimer, 8, 1000);
      ready = true;
      (void)ws.setProperty(kMain, kMainUnit, 5, 1);
      log(gbk("启动完成"));
      return;
    }
    if (e.window == kMain && e.unit == kMainUnit && e.number == event::kMoved && ready) dockLog();
    if (e.window == kLog && e.unit == kLogUnit && e.number == event::kResized) {
      auto cw = ws.clientWidth(kLog), ch = ws.clientHeight(kLog);
      if (cw && ch) (void)ws.moveResize(kLog, kLogBox, 0, 0, *cw, *ch);
    }
    if (e.unit == kQuitTimer && ++quitTicks >= seconds) ws.quit();
    if (e.unit == kFrameTimer) {
      if (auto h = ws.nativeHandle(kMain, kArea); h)
        if (auto* s = ws.surface(*h)) s->requestRedraw();
    }
    if (e.unit == kFrameTimer || e.unit == kQuitTimer || e.number == event::kMouseMove) return;
    if (e.unit == kMenuCheck) ws.messageBox(gbk("已经是最新版本"), kStyleOk, std::nullopt);
    if (e.unit == kMenuAbout) {
      std::int32_t answer = ws.messageBox(gbk("打开说明页面吗？"), kStyleOkCancel, gbk("帮助"));
      log(gbk("回答 ") + std::to_string(answer));
    }
    if (e.unit == kMenuOpenObj) {
      auto confirmed = ws.runFileDialog(kMain, kOpenDialog);
      if (!confirmed || !*confirmed) return;
      auto name = ws.property(kMain, kOpenDialog, 10);
      if (name) log(std::get<std::string>(*name));
    }
    if (e.unit == kMenuExportObj) {
      auto confirmed = ws.runFileDialog(kMain, kSaveDialog);
      if (!confirmed || !*confirmed) return;
      auto name = ws.property(kMain, kSaveDialog, 10);
      if (name) log(std::get<std::string>(*name));
    }
    char line[96];
    std::snprintf(line, sizeof line, "event window %08X unit %08X number %d (%d, %d)", e.window, e.unit, e.number,
                  e.x, e.y);
    if (e.window == kMain) log(line);
  });

  if (auto s = ws.createWindow(mainWindow()); !s) {
    std::fprintf(stderr, "qlwindemo: %s\n", s.error().message.c_str());
    return 1;
  }
  return ws.run();
}
