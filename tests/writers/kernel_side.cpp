#include "kernel_side.h"

#include <gtest/gtest.h>

#include "kernel_slots.h"
#include "runtime/kernel/commands/commands.h"
#include "runtime/kernel/commands/memory.h"
#include "runtime/kernel/commands/runtime_error.h"
#include "ui/form_ids.h"

namespace writers::kernel_side {

using ql::rt::UnitRef;

namespace {

constexpr int32_t kPropFileName = 10, kPropFilter = 11, kPropInitialFolder = 13;

[[noreturn]] void unexpected(const std::string& what) { throw RuntimeStop{-1, "unexpected call: " + what}; }

struct Host : ql::rt::WindowCommands {
  std::deque<std::optional<std::string>>* answers = nullptr;
  std::vector<BoxShown> boxes;
  std::vector<DialogShown> dialogs;
  std::string filter, initialFolder, fileName;

  int32_t messageBox(std::string_view message, int32_t style, std::optional<std::string_view> caption) override {
    boxes.push_back({std::string(message), style, caption.has_value()});
    return 0;
  }
  bool showFileDialog(UnitRef window, UnitRef dialog) override {
    EXPECT_EQ(window.lo, ql::ui::kMainWindowId);
    EXPECT_EQ(dialog.hi, ql::ui::kFileDialog3Id);
    dialogs.push_back({initialFolder, filter});
    if (!answers || answers->empty()) unexpected("a file dialog without a scripted answer");
    auto answer = answers->front();
    answers->pop_front();
    if (!answer) return false;
    fileName = *answer;
    return true;
  }
  void openWindow(UnitRef, UnitRef, bool) override { unexpected("open window"); }
  intptr_t controlHandle(UnitRef, UnitRef) override { unexpected("control handle"); }
  int32_t clientWidth(UnitRef) override { unexpected("client width"); }
  int32_t clientHeight(UnitRef) override { unexpected("client height"); }
  void moveResize(UnitRef, std::optional<int32_t>, std::optional<int32_t>, std::optional<int32_t>,
                  std::optional<int32_t>) override {
    unexpected("move");
  }
  std::string listEntry(UnitRef, UnitRef, int32_t) override { unexpected("list entry"); }
  void listAdd(UnitRef, UnitRef, std::string_view) override { unexpected("list add"); }
};

Host gHost;
ql::rt::RuntimeErrorHook gPreviousHook = nullptr;

[[noreturn]] void throwRuntimeError(int32_t code) { throw RuntimeStop{code, "the module stopped"}; }
[[noreturn]] void throwUnexpected(const char* what) { unexpected(what); }
void checkDialog(uint32_t window, uint32_t unit) {
  EXPECT_EQ(window, ql::ui::kMainWindowId);
  EXPECT_EQ(unit, ql::ui::kFileDialog3Id);
}
uint64_t readProperty(uint32_t window, uint32_t unit, int32_t property, int32_t) {
  checkDialog(window, unit);
  if (property != kPropFileName) unexpected("read of property " + std::to_string(property));
  return uint64_t(reinterpret_cast<uintptr_t>(ql::rt::newText(gHost.fileName)));
}
void writeProperty(uint32_t window, uint32_t unit, int32_t property, int32_t, uint64_t value) {
  checkDialog(window, unit);
  const std::string text(ql::rt::textView(reinterpret_cast<const char*>(uintptr_t(value))));
  if (property == kPropFilter)
    gHost.filter = text;
  else if (property == kPropInitialFolder)
    gHost.initialFolder = text;
  else
    unexpected("write of property " + std::to_string(property));
}

void throwingHook(int32_t code, const char* detail) { throw RuntimeStop{code, detail ? detail : ""}; }

}  // namespace

void* const* slotTable() {
  kernel_slots::Handlers handlers;
  handlers.runtimeError = &throwRuntimeError;
  handlers.readProperty = &readProperty;
  handlers.writeProperty = &writeProperty;
  handlers.unexpected = &throwUnexpected;
  kernel_slots::setHandlers(handlers);
  return kernel_slots::table();
}

void start(const std::string& programFolder, std::deque<std::optional<std::string>>* dialogAnswers) {
  gHost.boxes.clear();
  gHost.dialogs.clear();
  gHost.filter.clear();
  gHost.initialFolder.clear();
  gHost.fileName.clear();
  gHost.answers = dialogAnswers;
  ql::rt::setWindowCommands(&gHost);
  gPreviousHook = ql::rt::setRuntimeErrorHook(&throwingHook);
  ql::rt::setProgramFolder(programFolder);
}

void stop() {
  ql::rt::setProgramFolder("");
  ql::rt::setWindowCommands(nullptr);
  ql::rt::setRuntimeErrorHook(gPreviousHook);
  gHost.answers = nullptr;
}

int64_t liveBlocks() { return ql::rt::liveBlocks(); }
const std::vector<BoxShown>& boxes() { return gHost.boxes; }
const std::vector<DialogShown>& dialogs() { return gHost.dialogs; }

}  // namespace writers::kernel_side
