// Window definitions shaped like the tool's two windows, shared by the
// headless and FLTK tests. Texts are GBK bytes.
#pragma once

#include <vector>

#include "runtime/window/window_system.h"

namespace ql::window::testing {

inline constexpr Id kMain = 0x52000001;
inline constexpr Id kMainUnit = 0x06000001;
inline constexpr Id kLog = 0x52000002;
inline constexpr Id kLogUnit = 0x06000002;
inline constexpr Id kList = 0x16000001;
inline constexpr Id kCombo = 0x16000002;
inline constexpr Id kArea = 0x16000003;
inline constexpr Id kScroll = 0x16000004;
inline constexpr Id kTimer = 0x16000005;
inline constexpr Id kOpenDialog = 0x16000006;
inline constexpr Id kSaveDialog = 0x16000007;
inline constexpr Id kLogBox = 0x16000010;
// Menu: 文件 > 打开 > 打开OBJ格式, 文件 > 输出 > OBJ格式, 帮助 > 检测新版本
inline constexpr Id kMenuFile = 0x26000001;
inline constexpr Id kMenuOpen = 0x26000002;
inline constexpr Id kMenuOpenObj = 0x26000003;
inline constexpr Id kMenuExport = 0x26000004;
inline constexpr Id kMenuExportObj = 0x26000005;
inline constexpr Id kMenuHelp = 0x26000006;
inline constexpr Id kMenuCheck = 0x26000007;

inline const std::vector<std::string> kModes = {
    "\xB5\xE3\xC4\xA3\xCA\xBD",          // 点模式
    "\xCF\xDF\xBF\xF2\xCA\xBD" "1",      // 线框式1
    "\xCF\xDF\xBF\xF2\xCA\xBD" "2",      // 线框式2
    "\xCF\xDF\xBF\xF2\xCA\xBD" "3",      // 线框式3
    "\xCE\xC6\xC0\xED\xC4\xA3\xCA\xBD",  // 纹理模式
};

inline ControlDef control(Id id, ControlKind kind, Rect rect = {}) {
  ControlDef c;
  c.id = id;
  c.kind = kind;
  c.rect = rect;
  return c;
}

inline WindowDef mainWindowDef() {
  WindowDef w;
  w.id = kMain;
  w.unitId = kMainUnit;
  w.title = "\xC7\xE0\xE1\xB0";  // 青岚
  w.rect = {50, 50, 640, 480};
  w.menu = {{kMenuFile, 0, "\xCE\xC4\xBC\xFE"},
            {kMenuOpen, 1, "\xB4\xF2\xBF\xAA"},
            {kMenuOpenObj, 2, "OBJ"},
            {kMenuExport, 1, "out"},
            {kMenuExportObj, 2, "OBJ"},
            {kMenuHelp, 0, "\xB0\xEF\xD6\xFA"},
            {kMenuCheck, 1, "check"}};
  auto list = control(kList, ControlKind::ListBox, {0, 0, 104, 264});
  auto combo = control(kCombo, ControlKind::ComboBox, {0, 416, 104, 20});
  combo.entries = kModes;
  combo.font = {"\xCB\xCE\xCC\xE5", 12, true};  // 宋体
  auto area = control(kArea, ControlKind::DrawingArea, {112, 0, 504, 448});
  auto scroll = control(kScroll, ControlKind::VScrollBar, {616, 0, 16, 456});
  scroll.scroll = {1, 100, 10, 1, 30};
  auto timer = control(kTimer, ControlKind::Timer);
  timer.intervalMs = 50;
  auto open = control(kOpenDialog, ControlKind::FileDialog);
  open.dialog = {FileDialogKind::Open, "", "", "OBJ|*.obj", "", ""};
  auto save = control(kSaveDialog, ControlKind::FileDialog);
  save.dialog = {FileDialogKind::Save, "\xC7\xEB", "", "AC3D|*.ac|OBJ|*.obj", "*.ac", ""};
  w.controls = {list, combo, area, scroll, timer, open, save};
  return w;
}

inline WindowDef logWindowDef() {
  WindowDef w;
  w.id = kLog;
  w.unitId = kLogUnit;
  w.rect = {50, 50, 397, 144};
  w.controls = {control(kLogBox, ControlKind::TextBox, {8, 48, 80, 20})};
  return w;
}

}  // namespace ql::window::testing
