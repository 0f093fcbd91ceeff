#include "fake_runtime.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>

#include <gtest/gtest.h>

namespace fake {

using namespace ql::abi;

Runtime* Runtime::current = nullptr;

namespace {

Runtime& rt() { return *Runtime::current; }

void runtimeError(int32_t code) { throw RuntimeStop{code}; }

intptr_t dllCommand(int32_t declaration, intptr_t a1, intptr_t a2, intptr_t a3, intptr_t a4, intptr_t a5,
                    intptr_t a6) {
  rt().dllArgs = {declaration, a1, a2, a3, a4, a5, a6};
  rt().dllTexts.clear();
  for (intptr_t p : {a2, a3, a4, a5}) rt().dllTexts.push_back(p ? reinterpret_cast<const char*>(p) : "<null>");
  return 42;
}

bool isObjectTag(uint32_t tag) {
  return tag == kTypeRegex || tag == kTypeMatch || tag == kTypeValueCell || tag == kTypePixelFormat;
}

CmdResult libraryCommand(int32_t row, int32_t code, const ArgRecord* args) {
  Call call = rt().record(2, row, code, args);
  if (row == kRowRegex && args->count >= 1) {
    auto* var = reinterpret_cast<intptr_t*>(argValue(args->args[0]));
    // Construction fills the object variable; destruction empties it; a
    // search gives out a new match object.
    if (code == 0x004 || code == 0x020) *var = rt().nextObject++;
    if (code == 0x008 || code == 0x024) *var = 0;
    if (code == 0x01C) return CmdResult{uint64_t(rt().nextObject++), kTypeMatch, 0};
  }
  return rt().next();
}

CmdResult kernelCommand(int32_t code, const ArgRecord* args) {
  rt().record(3, -1, code, args);
  return rt().next();
}

uint64_t readProperty(uint32_t window, uint32_t unit, int32_t property, int32_t reserved) {
  rt().propertyCalls.push_back({false, window, unit, property, reserved, 0, std::nullopt});
  if (rt().propertyValues.empty()) return 0;
  const uint64_t v = rt().propertyValues.front();
  rt().propertyValues.pop_front();
  return v;
}

void writeProperty(uint32_t window, uint32_t unit, int32_t property, int32_t reserved, uint64_t value) {
  PropertyCall c{true, window, unit, property, reserved, value, std::nullopt};
  const auto& tp = rt().textProperties;
  if (std::find(tp.begin(), tp.end(), property) != tp.end())
    c.text = value ? reinterpret_cast<const char*>(uintptr_t(value)) : "<null>";
  rt().propertyCalls.push_back(c);
}

void* allocate(uintptr_t size) {
  void* p = std::malloc(size ? size : 1);
  std::memset(p, 0xCD, size);  // not zeroed: callers must zero what they rely on
  rt().blocks_[p] = size;
  return p;
}

void* reallocate(void* block, uintptr_t size) {
  auto it = rt().blocks_.find(block);
  if (it == rt().blocks_.end()) {
    ADD_FAILURE() << "reallocate of a block this heap did not give out";
    return nullptr;
  }
  // Always move, so a caller that keeps the old address is caught.
  void* moved = std::malloc(size ? size : 1);
  std::memcpy(moved, block, std::min<size_t>(size, it->second));
  std::free(block);
  rt().blocks_.erase(it);
  rt().blocks_[moved] = size;
  return moved;
}

void release(void* block) {
  auto it = rt().blocks_.find(block);
  if (it == rt().blocks_.end()) {
    ++rt().badFrees;
    ADD_FAILURE() << "free of a block this heap did not give out (or freed twice)";
    return;
  }
  std::free(block);
  rt().blocks_.erase(it);
}

void endProgram(int32_t) { throw ProgramEnded{}; }
void messageLoop(int32_t) { ++rt().messageLoops; }
void openWindow(uint32_t window) { rt().openedWindows.push_back(window); }

intptr_t support(int32_t selector, intptr_t a, intptr_t b, intptr_t c, intptr_t d) {
  SupportCall call{selector, a, b, c, d, std::nullopt};
  if (selector == kSupportFileSearch && a) call.pattern = reinterpret_cast<const char*>(a);
  rt().supportCalls.push_back(call);
  switch (selector) {
    case kSupportFileSearch: {
      *reinterpret_cast<intptr_t*>(d) = 77;
      std::string name;
      if (!rt().searchNames.empty()) {
        name = rt().searchNames.front();
        rt().searchNames.pop_front();
      }
      return reinterpret_cast<intptr_t>(rt().text(name));
    }
    case kSupportPrepareAppend:
      if (rt().moveOnPrepare) {
        auto** var = reinterpret_cast<void**>(b);
        if (*var) {
          const size_t size = rt().blocks_.at(*var);
          void* moved = allocate(size);
          std::memcpy(moved, *var, size);
          release(*var);
          *var = moved;
        }
      }
      return 0;
    default:
      return 0;
  }
}

}  // namespace

Runtime::Runtime() {
  current = this;
  slots_[kSlotRuntimeError] = reinterpret_cast<void*>(&runtimeError);
  slots_[kSlotDllCommand] = reinterpret_cast<void*>(&dllCommand);
  slots_[kSlotLibraryCommand] = reinterpret_cast<void*>(&libraryCommand);
  slots_[kSlotKernelCommand] = reinterpret_cast<void*>(&kernelCommand);
  slots_[kSlotReadProperty] = reinterpret_cast<void*>(&readProperty);
  slots_[kSlotWriteProperty] = reinterpret_cast<void*>(&writeProperty);
  slots_[kSlotAllocate] = reinterpret_cast<void*>(&allocate);
  slots_[kSlotReallocate] = reinterpret_cast<void*>(&reallocate);
  slots_[kSlotFree] = reinterpret_cast<void*>(&release);
  slots_[kSlotEndProgram] = reinterpret_cast<void*>(&endProgram);
  slots_[kSlotMessageLoop] = reinterpret_cast<void*>(&messageLoop);
  slots_[kSlotOpenWindow] = reinterpret_cast<void*>(&openWindow);
  slots_[kSlotSupport] = reinterpret_cast<void*>(&support);
}

Runtime::~Runtime() {
  for (auto& [p, size] : blocks_) std::free(p);
  current = nullptr;
}

char* Runtime::text(const std::string& s) {
  auto* p = static_cast<char*>(allocate(s.size() + 1));
  std::memcpy(p, s.c_str(), s.size() + 1);
  return p;
}

void* Runtime::block(const std::vector<uint32_t>& words) {
  void* p = allocate(words.size() * 4);
  std::memcpy(p, words.data(), words.size() * 4);
  return p;
}

CmdResult Runtime::next() {
  if (results.empty()) return CmdResult{0, 0, 0};
  CmdResult r = results.front();
  results.pop_front();
  return r;
}

Call Runtime::record(int slot, int32_t row, int32_t code, const ArgRecord* args) {
  Call call{slot, row, code, {}};
  for (uint32_t i = 0; i < args->count; ++i) {
    Arg a;
    std::memcpy(&a, reinterpret_cast<const uint8_t*>(args) + 4 + 12 * size_t(i), sizeof a);
    RecordedArg r{a, std::nullopt, std::nullopt};
    const uint64_t v = argValue(a);
    if (a.tag == kTagText) r.text = v ? reinterpret_cast<const char*>(uintptr_t(v)) : "<null>";
    if (isObjectTag(a.tag) && a.tag != kTypePixelFormat && v) r.objectValue = *reinterpret_cast<intptr_t*>(uintptr_t(v));
    call.args.push_back(r);
  }
  calls.push_back(call);
  return call;
}

}  // namespace fake
