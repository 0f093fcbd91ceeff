// A runtime stand-in behind a real slot table: a heap that counts live
// blocks, a runtime error that throws, and command slots that record their
// argument records and answer from a script.
#pragma once

#include <cstdint>
#include <deque>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "module/abi.h"

namespace fake {

// Thrown by the runtime-error slot: the program would stop here.
struct RuntimeStop {
  int32_t code;
};
struct ProgramEnded {};

struct RecordedArg {
  ql::abi::Arg arg;
  std::optional<std::string> text;      // the text behind a text-tagged argument
  std::optional<intptr_t> objectValue;  // what an object argument's variable held
};

struct Call {
  int slot;
  int32_t row;   // library row for slot 2, −1 otherwise
  int32_t code;
  std::vector<RecordedArg> args;
};

struct SupportCall {
  int32_t selector;
  intptr_t a, b, c, d;
  std::optional<std::string> pattern;  // selector 0 with a pattern
};

struct PropertyCall {
  bool write;
  uint32_t window, unit;
  int32_t property, reserved;
  uint64_t value;
  std::optional<std::string> text;  // for writes of the text properties
};

class Runtime {
 public:
  Runtime();
  ~Runtime();
  void* const* slots() const { return slots_; }

  // ---- heap ----
  size_t liveBlocks() const { return blocks_.size(); }
  bool isLive(const void* p) const { return blocks_.count(const_cast<void*>(p)) != 0; }
  size_t blockSize(const void* p) const { return blocks_.at(const_cast<void*>(p)); }
  char* text(const std::string& s);  // a text in a block of this heap
  void* block(const std::vector<uint32_t>& words);
  int badFrees = 0;

  // ---- scripted answers ----
  std::deque<ql::abi::CmdResult> results;  // slots 2 and 3, in call order
  std::deque<uint64_t> propertyValues;     // slot 4
  std::deque<std::string> searchNames;     // selector 0; "" is returned when empty
  bool moveOnPrepare = false;
  // Writes of these properties carry a text address (8 is a text box's whole
  // text but a timer's interval: tests that write a text there add it).
  std::vector<int32_t> textProperties = {10, 11, 13};              // selector 2 hands the variable another block
  intptr_t nextObject = 0x5000;            // handles the library gives out

  // ---- what was seen ----
  std::vector<Call> calls;
  std::vector<SupportCall> supportCalls;
  std::vector<PropertyCall> propertyCalls;
  std::vector<intptr_t> dllArgs;
  std::vector<std::string> dllTexts;
  std::vector<uint32_t> openedWindows;
  int messageLoops = 0;

  ql::abi::CmdResult textResult(const std::string& s) {
    return ql::abi::CmdResult{reinterpret_cast<uintptr_t>(text(s)), ql::abi::kTagText, 0};
  }
  static ql::abi::CmdResult intResult(int32_t v) {
    return ql::abi::CmdResult{uint32_t(v), ql::abi::kTagInt, 0};
  }

  // Slot implementations reach the instance through this.
  static Runtime* current;
  std::map<void*, size_t> blocks_;
  ql::abi::CmdResult next();
  Call record(int slot, int32_t row, int32_t code, const ql::abi::ArgRecord* args);

 private:
  void* slots_[ql::abi::kSlotCount];
};

}  // namespace fake
