// One typed wrapper per kernel command the module uses (service slot 3),
// plus the control properties (slots 4 and 5), the file search and the other
// services of slots 1 and 9–12. Every wrapper builds a real argument record;
// texts, byte sets and lists it returns are owned by the returned object.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <optional>

#include "module/support/args.h"

namespace ql::kernel {

// Command codes (slot 3).
enum Code : int32_t {
  kBitOr = 0x0C8,
  kProgramFolder = 0x104,
  kLength = 0x130,
  kLeft = 0x134,
  kRight = 0x138,
  kMid = 0x13C,
  kFind = 0x148,
  kFindLast = 0x14C,
  kToDouble = 0x164,
  kToText = 0x168,
  kSplit = 0x190,
  kTextToBytes = 0x198,
  kBytesToValue = 0x19C,
  kCopyFile = 0x23C,
  kFileExists = 0x24C,
  kReadFile = 0x268,
  kWriteFile = 0x26C,
  kRunAndWait = 0x2C0,
  kMessageBox = 0x300,
  kOpenWindow = 0x320,
  kControlHandle = 0x35C,
  kClientWidth = 0x36C,
  kClientHeight = 0x370,
  kMove = 0x38C,
  kShowFileDialog = 0x3A4,
  kListEntry = 0x3EC,
  kListAdd = 0x40C,
  kRegistryText = 0x698,
  kCellRelease = 0x984,
  kCellNumber = 0x994,
  kCellStoreText = 0x9A8,
  kToInt = 0x9DC,
  kMoveFileOver = 0x9F0,
  kDeleteFile = 0x9F4,
};

// Message box styles and the registry root the module reads.
constexpr int32_t kMbOk = 0;
constexpr int32_t kMbOkCancel = 1;
constexpr int32_t kRegistryRootLocalMachine = 4;
constexpr int32_t kValueTypeText = 10;  // type code of 0x19C: read the bytes as text

int32_t bitOr(std::initializer_list<int32_t> values);                      // 0x0C8
Text programFolder();                                                      // 0x104
int32_t length(TextRef s);                                                 // 0x130
Text left(TextRef s, int32_t n);                                           // 0x134
Text right(TextRef s, int32_t n);                                          // 0x138
Text mid(TextRef s, int32_t start, int32_t n);                             // 0x13C
// 1-based byte position, −1 when absent; start omitted means 1.
int32_t find(TextRef s, TextRef sought, std::optional<int32_t> start = std::nullopt);  // 0x148
int32_t findLast(TextRef s, TextRef sought);                               // 0x14C
double toDouble(TextRef s);                                                // 0x164
Text toText(int32_t v);                                                    // 0x168
Text toText(float v);
Text toText(double v);
Text toText(BytesRef b);
TextList split(TextRef s, TextRef delimiter);                              // 0x190
Bytes toBytes(TextRef s);                                                  // 0x198
// The bytes as text; a result with any tag but the text tag stops with
// runtime error 5.
Text bytesToText(BytesRef b);                                              // 0x19C
// The file commands report success: true when the whole file was written.
bool copyFile(TextRef source, TextRef target);                             // 0x23C
bool fileExists(TextRef path);                                             // 0x24C
Bytes readFile(TextRef path);                                              // 0x268
bool writeFile(TextRef path, BytesRef content);                            // 0x26C
bool runAndWait(TextRef commandLine);                                      // 0x2C0
// 0 when the first button was chosen. No caption: the argument is omitted.
int32_t messageBox(TextRef message, int32_t style = kMbOk,
                   std::optional<TextRef> caption = std::nullopt);          // 0x300
void openWindow(UnitRef window, UnitRef owner);                            // 0x320, not modal
intptr_t controlHandle(UnitRef window, UnitRef control);                   // 0x35C
int32_t clientWidth(UnitRef window);                                       // 0x36C
int32_t clientHeight(UnitRef window);                                      // 0x370
// Omitted values stay as they are.
void move(UnitRef unit, std::optional<int32_t> left, std::optional<int32_t> top = std::nullopt,
          std::optional<int32_t> width = std::nullopt, std::optional<int32_t> height = std::nullopt);  // 0x38C
bool showFileDialog(UnitRef window, UnitRef dialog);                       // 0x3A4
Text listEntry(UnitRef window, UnitRef listBox, int32_t index);            // 0x3EC, index from 0
void listAdd(UnitRef window, UnitRef listBox, TextRef entry);              // 0x40C
// A path ending in "\" reads the key's default value; "" when absent.
Text registryText(TextRef keyPath);                                        // 0x698

// A general-value cell: a pointer-sized variable of the module whose
// content the kernel manages. The cell releases its content when it goes.
class Cell {
 public:
  Cell() = default;
  ~Cell();
  Cell(const Cell&) = delete;
  Cell& operator=(const Cell&) = delete;
  intptr_t* variable() { return &var_; }

 private:
  intptr_t var_ = 0;
};
void cellRelease(Cell& cell);                                              // 0x984
double cellNumber(Cell& cell);                                             // 0x994
void cellStoreText(Cell& cell, TextRef s);                                 // 0x9A8
int32_t toInt(int32_t v);                                                  // 0x9DC
int32_t toInt(TextRef s);
// Renames `source` over `target`, replacing it in one step; false (and both
// untouched) when that cannot be done.
bool moveFileOver(TextRef source, TextRef target);                         // 0x9F0
// Deletes a file, never a folder; false when there is none or it stays.
bool deleteFile(TextRef path);                                             // 0x9F4

}  // namespace ql::kernel

namespace ql::prop {

// Property numbers of slots 4 and 5.
enum Property : int32_t {
  kLeft = 0,
  kTop = 1,
  kWidth = 2,
  kHeight = 3,
  kVisible = 5,            // window
  kInterval = 8,           // timer, milliseconds
  kWholeText = 8,          // text box
  kFileName = 10,          // file dialog: chosen file name
  kFilter = 11,            // file dialog
  kPosition = 12,          // scroll bar
  kInitialFolder = 13,     // file dialog
  kListSelection = 16,     // list box, from 0; −1 none
  kComboSelection = 19,    // combo box, from 0; −1 none
};

int32_t readInt(UnitRef unit, Property p);
bool readBool(UnitRef unit, Property p);
// A text property read gives a new text that the caller owns.
Text readText(UnitRef unit, Property p);
void writeInt(UnitRef unit, Property p, int32_t v);
void writeBool(UnitRef unit, Property p, bool v);
// The runtime copies the text; "" is passed for an absent one.
void writeText(UnitRef unit, Property p, TextRef s);

}  // namespace ql::prop

namespace ql::svc {

// A file search through support selectors 0 and 1. The first next() passes
// the pattern, later ones continue; the search ends (selector 1) when the
// object goes. Each name is a new text; "" when there are no more.
class FileSearch {
 public:
  FileSearch(TextRef pattern, int32_t attributes = abi::kSearchFiles, int32_t flag = 0)
      : pattern_(Text::copy(pattern)), attributes_(attributes), flag_(flag) {}
  ~FileSearch() { close(); }
  FileSearch(const FileSearch&) = delete;
  FileSearch& operator=(const FileSearch&) = delete;

  Text next();
  void close();

 private:
  Text pattern_;
  int32_t attributes_;
  int32_t flag_;
  bool started_ = false;
  intptr_t handle_ = 0;
};

}  // namespace ql::svc

namespace ql::dll {

// Declaration 0 of the image: ShellExecuteA of shell32.dll.
constexpr int32_t kShellExecute = 0;
constexpr int32_t kShowNormal = 1;
intptr_t shellExecute(intptr_t owner, TextRef operation, TextRef file, TextRef parameters, TextRef directory,
                      int32_t show);

}  // namespace ql::dll
