// The windows and controls as commands and property services name them
// (window id, unit id, type code).
#pragma once

#include "module/abi.h"
#include "module/support/args.h"
#include "ui/form_ids.h"

namespace ql::ui {

constexpr UnitRef kMainWindow = windowUnit(kMainWindowId, kMainWindowUnitId);
constexpr UnitRef kLogWindow = windowUnit(kLogWindowId, kLogWindowUnitId);

constexpr UnitRef kListBox1 = controlUnit(kMainWindowId, kListBox1Id, abi::kTypeListBox);
constexpr UnitRef kComboBox1 = controlUnit(kMainWindowId, kComboBox1Id, abi::kTypeComboBox);
constexpr UnitRef kDrawingArea1 = controlUnit(kMainWindowId, kDrawingArea1Id, abi::kTypeDrawingArea);
constexpr UnitRef kScrollBar2 = controlUnit(kMainWindowId, kScrollBar2Id, abi::kTypeVScrollBar);
constexpr UnitRef kTimer1 = controlUnit(kMainWindowId, kTimer1Id, abi::kTypeTimer);
constexpr UnitRef kFileDialog1 = controlUnit(kMainWindowId, kFileDialog1Id, abi::kTypeFileDialog);
constexpr UnitRef kFileDialog2 = controlUnit(kMainWindowId, kFileDialog2Id, abi::kTypeFileDialog);
constexpr UnitRef kFileDialog3 = controlUnit(kMainWindowId, kFileDialog3Id, abi::kTypeFileDialog);
constexpr UnitRef kFileDialog4 = controlUnit(kMainWindowId, kFileDialog4Id, abi::kTypeFileDialog);
constexpr UnitRef kTextBox1 = controlUnit(kLogWindowId, kTextBox1Id, abi::kTypeTextBox);

}  // namespace ql::ui
