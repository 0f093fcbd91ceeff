#include "runtime/kernel/commands/commands.h"

#include <algorithm>
#include <bit>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <limits>
#include <string>
#include <system_error>
#include <vector>

#include "runtime/kernel/commands/memory.h"
#include "runtime/kernel/commands/process.h"
#include "runtime/kernel/commands/registry.h"
#include "runtime/kernel/commands/runtime_error.h"
#include "runtime/kernel/commands/text_ops.h"
#include "runtime/paths/paths.h"

#ifdef _WIN32
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>
#endif

namespace ql::rt {

namespace fs = std::filesystem;
using abi::Arg;
using abi::ArgRecord;
using abi::CmdResult;

namespace {

WindowCommands* gWindows = nullptr;

std::string hex(uint32_t v) {
  char buffer[16];
  std::snprintf(buffer, sizeof buffer, "0x%X", unsigned(v));
  return buffer;
}

const char* tagName(uint32_t tag) {
  switch (tag) {
    case abi::kTagOmitted:
      return "omitted";
    case abi::kTagBool:
      return "boolean";
    case abi::kTagText:
      return "text";
    case abi::kTagBytes:
      return "byte set";
    case abi::kTagInt:
      return "integer";
    case abi::kTagFloat:
      return "single float";
    case abi::kTagDouble:
      return "double";
    case abi::kTypeWindow:
      return "window";
    case abi::kTypeListBox:
      return "list box";
    case abi::kTypeFileDialog:
      return "file dialog";
    case abi::kTypeValueCell:
      return "general-value cell";
    default:
      return (tag & abi::kTagArrayFlag) && (tag & 0x80000000u) ? "array" : "object";
  }
}

// One call of a kernel command: its arguments, checked as they are taken.
class Call {
 public:
  Call(int32_t code, const ArgRecord* record) : code_(code), record_(record) {}

  uint32_t count() const { return record_ ? record_->count : 0; }

  [[noreturn]] void fail(const std::string& what) const {
    raiseRuntimeError(kErrCommandCall, "kernel command " + hex(uint32_t(code_)) + ": " + what);
  }

  void expectCount(uint32_t least, uint32_t most) const {
    const uint32_t n = count();
    if (n < least || n > most) {
      fail("takes " + (least == most ? std::to_string(least) : std::to_string(least) + " to " + std::to_string(most)) +
           " arguments, got " + std::to_string(n));
    }
  }

  const Arg& arg(uint32_t i) const { return record_->args[i]; }
  bool omitted(uint32_t i) const { return i >= count() || arg(i).tag == abi::kTagOmitted; }

  const Arg& expectTag(uint32_t i, uint32_t tag) const {
    if (i >= count()) fail("argument " + std::to_string(i + 1) + " missing");
    if (arg(i).tag != tag) wrongTag(i, tagName(tag));
    return arg(i);
  }

  [[noreturn]] void wrongTag(uint32_t i, const std::string& expected) const {
    fail("argument " + std::to_string(i + 1) + ": expected " + expected + ", got " + tagName(arg(i).tag) + " (tag " +
         hex(arg(i).tag) + ")");
  }

  std::string_view text(uint32_t i) const {
    return textView(reinterpret_cast<const char*>(uintptr_t(abi::argValue(expectTag(i, abi::kTagText)))));
  }
  std::optional<std::string_view> optionalText(uint32_t i) const {
    if (omitted(i)) return std::nullopt;
    return text(i);
  }
  int32_t integer(uint32_t i) const { return int32_t(expectTag(i, abi::kTagInt).lo); }
  std::optional<int32_t> optionalInteger(uint32_t i) const {
    if (omitted(i)) return std::nullopt;
    return integer(i);
  }
  bool boolean(uint32_t i) const { return expectTag(i, abi::kTagBool).lo != 0; }
  std::optional<bool> optionalBoolean(uint32_t i) const {
    if (omitted(i)) return std::nullopt;
    return boolean(i);
  }
  std::span<const uint8_t> bytes(uint32_t i) const {
    const void* block = reinterpret_cast<const void*>(uintptr_t(abi::argValue(expectTag(i, abi::kTagBytes))));
    ByteSetView view = byteSetView(block);
    if (!view.valid) fail("argument " + std::to_string(i + 1) + ": byte set is not one-dimensional");
    return view.bytes;
  }
  UnitRef unit(uint32_t i, uint32_t type) const {
    const Arg& a = expectTag(i, type);
    return UnitRef{a.lo, a.hi, a.tag};
  }
  // A window or any control: an object type code (high bit clear).
  UnitRef anyUnit(uint32_t i) const {
    if (i >= count()) fail("argument " + std::to_string(i + 1) + " missing");
    const Arg& a = arg(i);
    if (a.tag == abi::kTagOmitted || (a.tag & 0x80000000u) != 0) wrongTag(i, "window or control");
    return UnitRef{a.lo, a.hi, a.tag};
  }
  // The address of the module variable that holds a general-value cell.
  void** cellVariable(uint32_t i) const {
    void** variable = reinterpret_cast<void**>(uintptr_t(abi::argValue(expectTag(i, abi::kTypeValueCell))));
    if (!variable) fail("argument " + std::to_string(i + 1) + ": general-value cell without its variable");
    return variable;
  }

  WindowCommands& windows() const {
    if (!gWindows) {
      raiseRuntimeError(kErrNoWindowSystem,
                        "kernel command " + hex(uint32_t(code_)) + " needs the window system, which is not running");
    }
    return *gWindows;
  }

 private:
  int32_t code_;
  const ArgRecord* record_;
};

CmdResult none() { return CmdResult{0, abi::kTagOmitted, 0}; }
CmdResult integerResult(int32_t v) { return CmdResult{uint32_t(v), abi::kTagInt, 0}; }
CmdResult booleanResult(bool v) { return CmdResult{v ? 1u : 0u, abi::kTagBool, 0}; }
CmdResult doubleResult(double v) { return CmdResult{std::bit_cast<uint64_t>(v), abi::kTagDouble, 0}; }
CmdResult textResult(std::string_view v) { return CmdResult{uint64_t(uintptr_t(newText(v))), abi::kTagText, 0}; }
CmdResult bytesResult(std::span<const uint8_t> v) {
  return CmdResult{uint64_t(uintptr_t(newByteSet(v))), abi::kTagBytes, 0};
}

std::span<const uint8_t> asBytes(std::string_view text) {
  return {reinterpret_cast<const uint8_t*>(text.data()), text.size()};
}

// A module path for reading, or nothing (with a note) when it cannot be one.
std::optional<fs::path> pathForReading(std::string_view gbk, const char* what) {
  auto native = paths::toNativeResolved(gbk);
  if (!native) {
    std::fprintf(stderr, "%s: %s\n", what, native.error().message.c_str());
    return std::nullopt;
  }
  return std::move(*native);
}

std::optional<fs::path> pathForWriting(std::string_view gbk, const char* what) {
  auto native = paths::toNativeForWrite(gbk);
  if (!native) {
    std::fprintf(stderr, "%s: %s\n", what, native.error().message.c_str());
    return std::nullopt;
  }
  return std::move(*native);
}

// ---- General-value cell: a kernel block behind the module's variable -----
struct ValueCell {
  char* text;  // the stored text, or null while the cell is empty
};

ValueCell* cellOf(void** variable) { return static_cast<ValueCell*>(*variable); }

void releaseCell(void** variable) {
  if (ValueCell* cell = cellOf(variable)) {
    release(cell->text);
    release(cell);
  }
  *variable = nullptr;
}

void storeCellText(void** variable, std::string_view text) {
  ValueCell* cell = cellOf(variable);
  if (!cell) {
    cell = static_cast<ValueCell*>(allocate(sizeof(ValueCell)));
    cell->text = nullptr;
    *variable = cell;
  }
  char* copy = newText(text);  // before the old one goes: `text` may be it
  release(cell->text);
  cell->text = copy;
}

double cellNumber(void** variable) {
  const ValueCell* cell = cellOf(variable);
  return cell ? textToDouble(textView(cell->text)) : 0.0;
}

// ---- Files ---------------------------------------------------------------------
// A byte set's length is a 32-bit word.
constexpr uint64_t kMaxByteSetLength = std::numeric_limits<uint32_t>::max();
// How much a read grows by at least when a file turns out longer than it was.
constexpr size_t kMinGrowth = 64 * 1024;

// Room for a byte set of `length` bytes and one byte more.
uintptr_t byteSetRoom(uint64_t length) {
  if (length > SIZE_MAX - kArrayHeaderOneDim - 1) {
    raiseRuntimeError(kErrOutOfMemory, "cannot allocate a byte set of " + std::to_string(length) + " bytes");
  }
  return uintptr_t(kArrayHeaderOneDim + length + 1);
}

[[noreturn]] void tooLong(const fs::path& path) {
  raiseRuntimeError(kErrOutOfMemory, "file " + path.string() + " exceeds a byte set's 32-bit length");
}

// The whole file as a byte set, read in one go into the block the command
// returns: a model of a hundred megabytes is neither copied nor grown piece by
// piece. A file that cannot be read gives an empty byte set.
void* readWholeFile(const fs::path& path) {
  std::error_code ec;
  if (!fs::is_regular_file(path, ec)) return newByteSet({});
  const uintmax_t expected = fs::file_size(path, ec);
  if (ec) return newByteSet({});
  std::ifstream in(path, std::ios::binary);
  if (!in) return newByteSet({});
  if (expected > kMaxByteSetLength) tooLong(path);
  // The size is only a first guess: a file that grows meanwhile is read to
  // its end, one that shrinks up to it.
  uint64_t capacity = expected;
  auto* block = static_cast<uint8_t*>(allocate(byteSetRoom(capacity)));
  uint64_t length = 0;
  for (;;) {
    // One byte more than the guess is asked for, so a file of the expected
    // size ends in the first read without another round.
    const size_t room = size_t(capacity + 1 - length);
    in.read(reinterpret_cast<char*>(block + kArrayHeaderOneDim + length), std::streamsize(room));
    const size_t got = size_t(in.gcount());
    length += got;
    if (got < room) break;
    if (length > kMaxByteSetLength) break;
    capacity = std::min<uint64_t>(capacity < kMinGrowth ? capacity + kMinGrowth : capacity * 2, kMaxByteSetLength);
    block = static_cast<uint8_t*>(reallocate(block, byteSetRoom(capacity)));
  }
  if (in.bad()) {
    release(block);
    return newByteSet({});
  }
  if (length > kMaxByteSetLength) {
    release(block);
    tooLong(path);
  }
  const uint32_t dimensions = 1;
  const uint32_t count = uint32_t(length);
  std::memcpy(block, &dimensions, 4);
  std::memcpy(block + 4, &count, 4);
  return block;
}

bool writeWholeFile(const fs::path& path, std::span<const uint8_t> bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  if (!out) return false;
  out.write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
  out.close();
  return !out.fail();
}

bool copyFile(const fs::path& from, const fs::path& to) {
  std::error_code ec;
  if (!fs::is_regular_file(from, ec)) return false;
#ifdef _WIN32
  // MinGW's libstdc++ (GCC 12) refuses to overwrite even with
  // overwrite_existing ("File exists"): ask Windows directly.
  return CopyFileW(from.c_str(), to.c_str(), FALSE) != 0;
#else
  fs::copy_file(from, to, fs::copy_options::overwrite_existing, ec);
  return !ec;
#endif
}

// A rename within one file system replaces the target in one step: readers
// see the old file or the new one, never a part of either.
bool moveFileOver(const fs::path& from, const fs::path& to) {
  std::error_code ec;
  if (!fs::is_regular_file(from, ec)) return false;
#ifdef _WIN32
  // MinGW's fs::rename will not replace an existing file on Windows.
  return MoveFileExW(from.c_str(), to.c_str(), MOVEFILE_REPLACE_EXISTING) != 0;
#else
  fs::rename(from, to, ec);
  return !ec;
#endif
}

// A folder of the name is left alone: it is not the file a writer made.
bool deleteFile(const fs::path& path) {
  std::error_code ec;
  const fs::file_status status = fs::symlink_status(path, ec);
  if (ec || !fs::exists(status) || fs::is_directory(status)) return false;
  return fs::remove(path, ec) && !ec;
}

// ---- The commands ------------------------------------------------------------
CmdResult bitOr(const Call& c) {
  c.expectCount(1, UINT32_MAX);
  uint32_t v = 0;
  for (uint32_t i = 0; i < c.count(); ++i) v |= uint32_t(c.integer(i));
  return integerResult(int32_t(v));
}

CmdResult toText(const Call& c) {
  c.expectCount(1, 1);
  const Arg& a = c.arg(0);
  switch (a.tag) {
    case abi::kTagInt:
      return textResult(NumberText(int32_t(a.lo)).view());
    case abi::kTagFloat:
      return textResult(NumberText(std::bit_cast<float>(a.lo)).view());
    case abi::kTagDouble:
      return textResult(NumberText(std::bit_cast<double>(abi::argValue(a))).view());
    case abi::kTagBytes: {
      // The bytes up to a NUL, if one is among them: the result is a text.
      auto bytes = c.bytes(0);
      std::string_view text(reinterpret_cast<const char*>(bytes.data()), bytes.size());
      return textResult(text.substr(0, text.find('\0')));
    }
    default:
      c.wrongTag(0, "integer, single float, double or byte set");
  }
}

CmdResult toInteger(const Call& c) {
  c.expectCount(1, 1);
  const Arg& a = c.arg(0);
  switch (a.tag) {
    case abi::kTagInt:
      return integerResult(int32_t(a.lo));
    case abi::kTagText:
      return integerResult(textToInteger(c.text(0)));
    case abi::kTagFloat:
      return integerResult(doubleToInteger(std::bit_cast<float>(a.lo)));
    case abi::kTagDouble:
      return integerResult(doubleToInteger(std::bit_cast<double>(abi::argValue(a))));
    default:
      c.wrongTag(0, "integer or text");
  }
}

CmdResult split(const Call& c) {
  c.expectCount(2, 3);
  std::optional<int64_t> limit;
  if (auto n = c.optionalInteger(2)) limit = *n;
  const auto pieces = splitText(c.text(0), c.text(1), limit);
  return CmdResult{uint64_t(uintptr_t(newTextList(pieces))), abi::kTagText + abi::kTagArrayFlag, 0};
}

CmdResult bytesToValue(const Call& c) {
  c.expectCount(2, 3);
  auto bytes = c.bytes(0);
  const int32_t type = c.integer(1);
  if (type != kValueTypeText) c.fail("value type " + std::to_string(type) + " is not supported (10: text)");
  std::string_view text(reinterpret_cast<const char*>(bytes.data()), bytes.size());
  return textResult(text.substr(0, text.find('\0')));
}

CmdResult readFile(const Call& c) {
  c.expectCount(1, 1);
  auto path = pathForReading(c.text(0), "read file");
  if (!path) return bytesResult({});
  return CmdResult{uint64_t(uintptr_t(readWholeFile(*path))), abi::kTagBytes, 0};
}

CmdResult windowCommand(int32_t code, const Call& c) {
  switch (code) {
    case kCmdMessageBox: {
      c.expectCount(1, 3);
      const std::string_view message = c.text(0);
      const int32_t style = c.optionalInteger(1).value_or(0);
      const auto caption = c.optionalText(2);
      return integerResult(c.windows().messageBox(message, style, caption));
    }
    case kCmdOpenWindow: {
      c.expectCount(2, 3);
      const UnitRef window = c.unit(0, abi::kTypeWindow);
      const UnitRef owner = c.omitted(1) ? UnitRef{0, 0, 0} : c.unit(1, abi::kTypeWindow);
      const bool modal = c.optionalBoolean(2).value_or(false);
      c.windows().openWindow(window, owner, modal);
      return none();
    }
    case kCmdControlHandle: {
      c.expectCount(2, 2);
      const UnitRef window = c.unit(0, abi::kTypeWindow);
      const UnitRef control = c.anyUnit(1);
      const intptr_t handle = c.windows().controlHandle(window, control);
      return CmdResult{uint64_t(handle), abi::kTagInt, 0};
    }
    case kCmdClientWidth:
    case kCmdClientHeight: {
      c.expectCount(1, 1);
      const UnitRef window = c.unit(0, abi::kTypeWindow);
      return integerResult(code == kCmdClientWidth ? c.windows().clientWidth(window)
                                                   : c.windows().clientHeight(window));
    }
    case kCmdMoveResize: {
      c.expectCount(1, 5);
      const UnitRef target = c.anyUnit(0);
      const auto left = c.optionalInteger(1), top = c.optionalInteger(2);
      const auto width = c.optionalInteger(3), height = c.optionalInteger(4);
      c.windows().moveResize(target, left, top, width, height);
      return none();
    }
    case kCmdShowFileDialog: {
      c.expectCount(2, 2);
      const UnitRef window = c.unit(0, abi::kTypeWindow);
      const UnitRef dialog = c.unit(1, abi::kTypeFileDialog);
      return booleanResult(c.windows().showFileDialog(window, dialog));
    }
    case kCmdListEntry: {
      c.expectCount(3, 3);
      const UnitRef window = c.unit(0, abi::kTypeWindow);
      const UnitRef list = c.unit(1, abi::kTypeListBox);
      const int32_t index = c.integer(2);
      return textResult(c.windows().listEntry(window, list, index));
    }
    case kCmdListAdd: {
      c.expectCount(3, 3);
      const UnitRef window = c.unit(0, abi::kTypeWindow);
      const UnitRef list = c.unit(1, abi::kTypeListBox);
      const std::string_view text = c.text(2);
      c.windows().listAdd(window, list, text);
      return none();
    }
    default:
      c.fail("is not a window command");
  }
}

}  // namespace

void setWindowCommands(WindowCommands* windows) { gWindows = windows; }
WindowCommands* windowCommands() { return gWindows; }

CmdResult kernelCommand(int32_t code, const ArgRecord* args) {
  const Call c(code, args);
  switch (code) {
    case kCmdBitOr:
      return bitOr(c);
    case kCmdProgramFolder:
      c.expectCount(0, 0);
      return textResult(programFolder());
    case kCmdTextLength:
      c.expectCount(1, 1);
      return integerResult(int32_t(std::min<size_t>(c.text(0).size(), INT32_MAX)));
    case kCmdLeft:
      c.expectCount(2, 2);
      return textResult(leftPart(c.text(0), c.integer(1)));
    case kCmdRight:
      c.expectCount(2, 2);
      return textResult(rightPart(c.text(0), c.integer(1)));
    case kCmdMid:
      c.expectCount(3, 3);
      return textResult(midPart(c.text(0), c.integer(1), c.integer(2)));
    case kCmdFind:
      c.expectCount(2, 4);
      return integerResult(
          findText(c.text(0), c.text(1), c.optionalInteger(2).value_or(1), c.optionalBoolean(3).value_or(false)));
    case kCmdFindLast: {
      c.expectCount(2, 4);
      std::optional<int64_t> start;
      if (auto s = c.optionalInteger(2)) start = *s;
      return integerResult(findLastText(c.text(0), c.text(1), start, c.optionalBoolean(3).value_or(false)));
    }
    case kCmdTextToNumber:
      c.expectCount(1, 1);
      return doubleResult(textToDouble(c.text(0)));
    case kCmdToText:
      return toText(c);
    case kCmdSplit:
      return split(c);
    case kCmdTextToBytes:
      c.expectCount(1, 1);
      return bytesResult(asBytes(c.text(0)));
    case kCmdBytesToValue:
      return bytesToValue(c);
    case kCmdCopyFile: {
      c.expectCount(2, 2);
      auto from = pathForReading(c.text(0), "copy file");
      auto to = pathForWriting(c.text(1), "copy file");
      return booleanResult(from && to && copyFile(*from, *to));
    }
    case kCmdMoveFileOver: {
      c.expectCount(2, 2);
      auto from = pathForReading(c.text(0), "move file over");
      auto to = pathForWriting(c.text(1), "move file over");
      return booleanResult(from && to && moveFileOver(*from, *to));
    }
    case kCmdDeleteFile: {
      c.expectCount(1, 1);
      // The file a write of this name makes or replaces.
      auto path = pathForWriting(c.text(0), "delete file");
      return booleanResult(path && deleteFile(*path));
    }
    case kCmdFileExists: {
      c.expectCount(1, 1);
      auto path = pathForReading(c.text(0), "file exists");
      std::error_code ec;
      return booleanResult(path && fs::exists(*path, ec));
    }
    case kCmdReadFile:
      return readFile(c);
    case kCmdWriteFile: {
      c.expectCount(2, 2);
      auto path = pathForWriting(c.text(0), "write file");
      auto bytes = c.bytes(1);
      return booleanResult(path && writeWholeFile(*path, bytes));
    }
    case kCmdRunAndWait: {
      c.expectCount(1, 3);
      const std::string_view line = c.text(0);
      const bool wait = c.optionalBoolean(1).value_or(true);
      (void)c.optionalInteger(2);  // the window-display mode: checked, no meaning here
      return booleanResult(runCommandLine(line, wait));
    }
    case kCmdMessageBox:
    case kCmdOpenWindow:
    case kCmdControlHandle:
    case kCmdClientWidth:
    case kCmdClientHeight:
    case kCmdMoveResize:
    case kCmdShowFileDialog:
    case kCmdListEntry:
    case kCmdListAdd:
      return windowCommand(code, c);
    case kCmdRegistryRead: {
      c.expectCount(2, 3);
      const int32_t root = c.integer(0);
      return textResult(readRegistryText(root, c.text(1)));
    }
    case kCmdCellRelease:
      c.expectCount(1, 1);
      releaseCell(c.cellVariable(0));
      return none();
    case kCmdCellNumber:
      c.expectCount(1, 1);
      return doubleResult(cellNumber(c.cellVariable(0)));
    case kCmdCellStoreText: {
      c.expectCount(2, 2);
      void** variable = c.cellVariable(0);
      storeCellText(variable, c.text(1));
      return none();
    }
    case kCmdToInteger:
      return toInteger(c);
    default:
      raiseRuntimeError(kErrUnknownCommand, "kernel command " + hex(uint32_t(code)) + " does not exist");
  }
}

}  // namespace ql::rt
