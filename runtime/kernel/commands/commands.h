// The kernel's numbered commands (service slot 3). The dispatch checks every
// call's argument count and tags and stops with a runtime error naming the
// command when they are wrong. Window and control commands are forwarded to
// the window system through WindowCommands.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "module/abi.h"

namespace ql::rt {

// Command codes, named by operation.
enum Command : int32_t {
  kCmdBitOr = 0x0C8,
  kCmdProgramFolder = 0x104,
  kCmdTextLength = 0x130,
  kCmdLeft = 0x134,
  kCmdRight = 0x138,
  kCmdMid = 0x13C,
  kCmdFind = 0x148,
  kCmdFindLast = 0x14C,
  kCmdTextToNumber = 0x164,
  kCmdToText = 0x168,
  kCmdSplit = 0x190,
  kCmdTextToBytes = 0x198,
  kCmdBytesToValue = 0x19C,
  kCmdCopyFile = 0x23C,
  kCmdFileExists = 0x24C,
  kCmdReadFile = 0x268,
  kCmdWriteFile = 0x26C,
  kCmdRunAndWait = 0x2C0,
  kCmdMessageBox = 0x300,
  kCmdOpenWindow = 0x320,
  kCmdControlHandle = 0x35C,
  kCmdClientWidth = 0x36C,
  kCmdClientHeight = 0x370,
  kCmdMoveResize = 0x38C,
  kCmdShowFileDialog = 0x3A4,
  kCmdListEntry = 0x3EC,
  kCmdListAdd = 0x40C,
  kCmdRegistryRead = 0x698,
  kCmdCellRelease = 0x984,
  kCmdCellNumber = 0x994,
  kCmdCellStoreText = 0x9A8,
  kCmdToInteger = 0x9DC,
  // Ours: rename a file over another (replacing it), so a writer can put a
  // complete new file in place of an old one in one step.
  kCmdMoveFileOver = 0x9F0,
  // Ours: delete a file, never a folder, so a writer can take away a new file
  // of its own that it could not put in place.
  kCmdDeleteFile = 0x9F4,
};

// Type code 10 of command 0x19C: the bytes read as a text.
constexpr int32_t kValueTypeText = 10;

// The runtime side of service slot 3.
abi::CmdResult kernelCommand(int32_t code, const abi::ArgRecord* args);

// ---- Window system ------------------------------------------------------------
// A window, control or list argument as the module passes it: its two value
// words (window id and unit id) and its type code.
struct UnitRef {
  uint32_t lo;
  uint32_t hi;
  uint32_t type;
};

// Implemented by the window system. The kernel has checked argument counts
// and tags; texts are GBK. Texts returned are copied into kernel blocks.
class WindowCommands {
 public:
  virtual ~WindowCommands() = default;
  // 0x300: style 0 OK only, 1 OK and Cancel; no caption when absent. Returns
  // the 0-based index of the button pressed.
  virtual int32_t messageBox(std::string_view message, int32_t style, std::optional<std::string_view> caption) = 0;
  // 0x320: open `window` owned by `owner`, not modal when `modal` is false.
  virtual void openWindow(UnitRef window, UnitRef owner, bool modal) = 0;
  // 0x35C: the platform window handle of a control.
  virtual intptr_t controlHandle(UnitRef window, UnitRef control) = 0;
  // 0x36C, 0x370: the size of the window's client area.
  virtual int32_t clientWidth(UnitRef window) = 0;
  virtual int32_t clientHeight(UnitRef window) = 0;
  // 0x38C: an absent value stays as it is.
  virtual void moveResize(UnitRef target, std::optional<int32_t> left, std::optional<int32_t> top,
                          std::optional<int32_t> width, std::optional<int32_t> height) = 0;
  // 0x3A4: modal file dialog; true when the user confirmed.
  virtual bool showFileDialog(UnitRef window, UnitRef dialog) = 0;
  // 0x3EC: the entry text at a 0-based index ("" when there is none).
  virtual std::string listEntry(UnitRef window, UnitRef list, int32_t index) = 0;
  // 0x40C: add the text as the last entry.
  virtual void listAdd(UnitRef window, UnitRef list, std::string_view text) = 0;
};

// Not owned; null until the window system is up. A window command without it
// is a runtime error (kErrNoWindowSystem).
void setWindowCommands(WindowCommands* windows);
WindowCommands* windowCommands();

// ---- Folders ----------------------------------------------------------------------
// The program folder that 0x104 reports, as a GBK '\' path without a trailing
// backslash. By default the running executable's folder; the embedding
// runtime or a test may set another (an empty text restores the default).
void setProgramFolder(std::string gbkFolder);
std::string programFolder();

// The folder the archive adapter ships in, named in the registry answer for
// the archive tool's key (GBK '\' path, no trailing backslash). By default
// the folder of the library or program holding this code; the kernel passes
// its own folder, tests a temporary one (empty restores the default).
void setAdapterFolder(std::string gbkFolder);
std::string adapterFolder();

}  // namespace ql::rt
