#include "module/support/kernel.h"

#include <vector>

namespace ql::kernel {

using namespace ql::args;

int32_t bitOr(std::initializer_list<int32_t> values) {
  // The one command with a varying number of arguments: build its record here.
  std::vector<uint8_t> record(abi::argRecordSize(uint32_t(values.size())), 0);
  const uint32_t count = uint32_t(values.size());
  std::memcpy(record.data(), &count, 4);
  size_t at = 4;
  for (int32_t v : values) {
    const abi::Arg a = integer(v);
    std::memcpy(record.data() + at, &a, sizeof a);
    at += sizeof a;
  }
  return result::integer(svc::kernelCommand(kBitOr, reinterpret_cast<const abi::ArgRecord*>(record.data())));
}

Text programFolder() { return result::text(kernelCall(kProgramFolder)); }
int32_t length(TextRef s) { return result::integer(kernelCall(kLength, text(s))); }
Text left(TextRef s, int32_t n) { return result::text(kernelCall(kLeft, text(s), integer(n))); }
Text right(TextRef s, int32_t n) { return result::text(kernelCall(kRight, text(s), integer(n))); }
Text mid(TextRef s, int32_t start, int32_t n) {
  return result::text(kernelCall(kMid, text(s), integer(start), integer(n)));
}

int32_t find(TextRef s, TextRef sought, std::optional<int32_t> start) {
  return result::integer(
      kernelCall(kFind, text(s), text(sought), start ? integer(*start) : omitted(), boolean(false)));
}
int32_t findLast(TextRef s, TextRef sought) {
  return result::integer(kernelCall(kFindLast, text(s), text(sought), omitted(), boolean(false)));
}

double toDouble(TextRef s) { return result::dbl(kernelCall(kToDouble, text(s))); }
Text toText(int32_t v) { return result::text(kernelCall(kToText, integer(v))); }
Text toText(float v) { return result::text(kernelCall(kToText, single(v))); }
Text toText(double v) { return result::text(kernelCall(kToText, dbl(v))); }
Text toText(BytesRef b) { return result::text(kernelCall(kToText, bytes(b))); }

TextList split(TextRef s, TextRef delimiter) {
  return result::textList(kernelCall(kSplit, text(s), text(delimiter), omitted()));
}
Bytes toBytes(TextRef s) { return result::bytes(kernelCall(kTextToBytes, text(s))); }

Text bytesToText(BytesRef b) {
  const abi::CmdResult r = kernelCall(kBytesToValue, bytes(b), integer(kValueTypeText), omitted());
  if (r.tag != abi::kTagText) svc::runtimeError(abi::kErrResultType);
  return result::text(r);
}

bool copyFile(TextRef source, TextRef target) {
  return result::boolean(kernelCall(kCopyFile, text(source), text(target)));
}
bool fileExists(TextRef path) { return result::boolean(kernelCall(kFileExists, text(path))); }
Bytes readFile(TextRef path) { return result::bytes(kernelCall(kReadFile, text(path))); }
bool writeFile(TextRef path, BytesRef content) {
  return result::boolean(kernelCall(kWriteFile, text(path), bytes(content)));
}
bool runAndWait(TextRef commandLine) {
  return result::boolean(kernelCall(kRunAndWait, text(commandLine), boolean(true), omitted()));
}

int32_t messageBox(TextRef message, int32_t style, std::optional<TextRef> caption) {
  return result::integer(
      kernelCall(kMessageBox, text(message), integer(style), caption ? text(*caption) : omitted()));
}

void openWindow(UnitRef window, UnitRef owner) { kernelCall(kOpenWindow, unit(window), unit(owner), boolean(false)); }
intptr_t controlHandle(UnitRef window, UnitRef control) {
  return result::handle(kernelCall(kControlHandle, unit(window), unit(control)));
}
int32_t clientWidth(UnitRef window) { return result::integer(kernelCall(kClientWidth, unit(window))); }
int32_t clientHeight(UnitRef window) { return result::integer(kernelCall(kClientHeight, unit(window))); }

void move(UnitRef u, std::optional<int32_t> l, std::optional<int32_t> t, std::optional<int32_t> w,
          std::optional<int32_t> h) {
  auto opt = [](std::optional<int32_t> v) { return v ? integer(*v) : omitted(); };
  kernelCall(kMove, unit(u), opt(l), opt(t), opt(w), opt(h));
}

bool showFileDialog(UnitRef window, UnitRef dialog) {
  return result::boolean(kernelCall(kShowFileDialog, unit(window), unit(dialog)));
}
Text listEntry(UnitRef window, UnitRef listBox, int32_t index) {
  return result::text(kernelCall(kListEntry, unit(window), unit(listBox), integer(index)));
}
void listAdd(UnitRef window, UnitRef listBox, TextRef entry) {
  kernelCall(kListAdd, unit(window), unit(listBox), text(entry));
}
Text registryText(TextRef keyPath) {
  return result::text(kernelCall(kRegistryText, integer(kRegistryRootLocalMachine), text(keyPath), omitted()));
}

Cell::~Cell() {
  if (var_ != 0) cellRelease(*this);
}
void cellRelease(Cell& cell) { kernelCall(kCellRelease, object(cell.variable(), abi::kTypeValueCell)); }
double cellNumber(Cell& cell) { return result::dbl(kernelCall(kCellNumber, object(cell.variable(), abi::kTypeValueCell))); }
void cellStoreText(Cell& cell, TextRef s) {
  kernelCall(kCellStoreText, object(cell.variable(), abi::kTypeValueCell), text(s));
}
int32_t toInt(int32_t v) { return result::integer(kernelCall(kToInt, integer(v))); }
int32_t toInt(TextRef s) { return result::integer(kernelCall(kToInt, text(s))); }
bool moveFileOver(TextRef source, TextRef target) {
  return result::boolean(kernelCall(kMoveFileOver, text(source), text(target)));
}
bool deleteFile(TextRef path) { return result::boolean(kernelCall(kDeleteFile, text(path))); }

}  // namespace ql::kernel

namespace ql::prop {

int32_t readInt(UnitRef u, Property p) {
  return static_cast<int32_t>(static_cast<uint32_t>(svc::readProperty(u.window, u.unit, p)));
}
bool readBool(UnitRef u, Property p) { return static_cast<uint32_t>(svc::readProperty(u.window, u.unit, p)) != 0; }
Text readText(UnitRef u, Property p) {
  return Text::adopt(reinterpret_cast<char*>(static_cast<uintptr_t>(svc::readProperty(u.window, u.unit, p))));
}
void writeInt(UnitRef u, Property p, int32_t v) { svc::writeProperty(u.window, u.unit, p, static_cast<uint32_t>(v)); }
void writeBool(UnitRef u, Property p, bool v) { svc::writeProperty(u.window, u.unit, p, v ? 1 : 0); }
void writeText(UnitRef u, Property p, TextRef s) {
  svc::writeProperty(u.window, u.unit, p, reinterpret_cast<uintptr_t>(s.c_str()));
}

}  // namespace ql::prop

namespace ql::svc {

Text FileSearch::next() {
  const char* pattern = started_ ? nullptr : pattern_.c_str();
  started_ = true;
  const intptr_t name = support(abi::kSupportFileSearch, reinterpret_cast<intptr_t>(pattern), attributes_, flag_,
                                reinterpret_cast<intptr_t>(&handle_));
  return Text::adopt(reinterpret_cast<char*>(name));
}

void FileSearch::close() {
  if (!started_) return;
  started_ = false;
  support(abi::kSupportEndSearch, reinterpret_cast<intptr_t>(&handle_));
  handle_ = 0;
}

}  // namespace ql::svc

namespace ql::dll {

intptr_t shellExecute(intptr_t owner, TextRef operation, TextRef file, TextRef parameters, TextRef directory,
                      int32_t show) {
  auto p = [](TextRef s) { return reinterpret_cast<intptr_t>(s.c_str()); };
  return svc::dllCommand(kShellExecute, owner, p(operation), p(file), p(parameters), p(directory), show);
}

}  // namespace ql::dll
