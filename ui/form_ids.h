// Identifiers of the tool's two windows, their units and menu items, and the
// event numbers the windows' event tables use. Shared by the image generator
// (which writes them into @form) and the module code (which names windows and
// controls by them); nothing here may change without regenerating the image.
#pragma once

#include <cstdint>

namespace ql::ui {

// ---- Windows (high byte 0x52), their own units (0x06) and code units (0x19)
constexpr uint32_t kMainWindowId = 0x52000001;
constexpr uint32_t kLogWindowId = 0x52000002;
constexpr uint32_t kMainWindowUnitId = 0x06000001;
constexpr uint32_t kLogWindowUnitId = 0x06000002;
constexpr uint32_t kMainCodeUnitId = 0x19000001;
constexpr uint32_t kLogCodeUnitId = 0x19000002;

// ---- Controls (high byte 0x16), unique across both windows
constexpr uint32_t kListBox1Id = 0x16000001;      // 列表框1: model file names
constexpr uint32_t kComboBox1Id = 0x16000002;     // 组合框1: display mode
constexpr uint32_t kDrawingArea1Id = 0x16000003;  // 画板1: the OpenGL view
constexpr uint32_t kScrollBar2Id = 0x16000004;    // 纵向滚动条2
constexpr uint32_t kTimer1Id = 0x16000005;        // 时钟1: redraw timer
constexpr uint32_t kFileDialog1Id = 0x16000006;   // 通用对话框1: texture package
constexpr uint32_t kFileDialog2Id = 0x16000007;   // 通用对话框2: archive tool
constexpr uint32_t kFileDialog3Id = 0x16000008;   // 通用对话框3: exports
constexpr uint32_t kFileDialog4Id = 0x16000009;   // 通用对话框4: OBJ import
constexpr uint32_t kTextBox1Id = 0x1600000A;      // 编辑框1: the log (log window)

// ---- Menu items of the main window (high byte 0x26), in menu order
constexpr uint32_t kMenuFileId = 0x26000001;           // 文件
constexpr uint32_t kMenuOpenId = 0x26000002;           //   打开
constexpr uint32_t kMenuImportObjId = 0x26000003;      //     打开OBJ格式
constexpr uint32_t kMenuExportId = 0x26000004;         //   输出
constexpr uint32_t kMenuExportObjId = 0x26000005;      //     OBJ格式
constexpr uint32_t kMenuExportAc3dId = 0x26000006;     //     AC3D格式
constexpr uint32_t kMenuExportSkcId = 0x26000007;      //     SKC格式
constexpr uint32_t kMenuSaveId = 0x26000008;           //   保存
constexpr uint32_t kMenuSaveToGameId = 0x26000009;     //     保存到游戏
constexpr uint32_t kMenuHelpId = 0x2600000A;           // 帮助
constexpr uint32_t kMenuForumBarId = 0x2600000B;       //   百度贴吧
constexpr uint32_t kMenuHelpThreadId = 0x2600000C;     //   访问论坛获取帮助
constexpr uint32_t kMenuUpdateCheckId = 0x2600000D;    //   检测新版本
constexpr uint32_t kMenuVersionNotesId = 0x2600000E;   //   当前版本说明
// Items added later take the next numbers, wherever the menu shows them.
constexpr uint32_t kMenuExportGltfId = 0x2600000F;     //     glTF格式 (under 输出)
constexpr uint32_t kMenuImportGltfId = 0x26000010;     //     打开glTF格式 (under 打开)

// ---- Event numbers (>= 0 the kind's own events, < 0 common to all controls)
namespace event {
constexpr int32_t kWindowCreated = 0;
constexpr int32_t kWindowDestroyed = 2;
constexpr int32_t kWindowMoved = 3;
constexpr int32_t kWindowResized = 4;
constexpr int32_t kListEntryChosen = 1;
constexpr int32_t kComboSelectionChanged = 0;
constexpr int32_t kTimerTick = 0;
constexpr int32_t kMouseDown = -1;
constexpr int32_t kMouseUp = -2;
constexpr int32_t kMouseMove = -6;
}  // namespace event

}  // namespace ql::ui
