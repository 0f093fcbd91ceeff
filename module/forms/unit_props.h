// The type-specific properties of the units in @form, for every kind of unit
// the tool uses. The image format only fixes that they start with 20 zero
// bytes and that texts are length-prefixed; the layout per kind is ours and
// lives here, in one place, for the generator that writes it and the runtime
// that builds windows from it.
//
//   window       text title
//   list box     u32 sorted (0/1)
//   combo box    u32 n, n x (text entry, i32 value), text font name, i32 char height,
//                i32 weight, i32 charset
//   drawing area (nothing)
//   scroll bar   i32 minimum, maximum, page step, line step, position
//   text box     u32 multi-line (0/1), u32 scroll bars (bit 0 horizontal, bit 1 vertical), text
//   timer        i32 interval in ms
//   file dialog  u32 kind (0 open, 1 save), text title, text preset file name,
//                text filter, text default extension, text initial folder
//
// Every layout must be used up exactly: bytes left over are an error.
#pragma once

#include <cstdint>
#include <string>
#include <variant>
#include <vector>

#include "common/bytes.h"
#include "common/result.h"

namespace ql::forms {

struct WindowProps {
  std::string title;
  bool operator==(const WindowProps&) const = default;
};
struct ListBoxProps {
  bool sorted = false;
  bool operator==(const ListBoxProps&) const = default;
};
struct ComboEntry {
  std::string text;
  int32_t value = 0;
  bool operator==(const ComboEntry&) const = default;
};
struct ComboBoxProps {
  std::vector<ComboEntry> entries;
  std::string fontName;
  int32_t fontHeight = 0;
  int32_t fontWeight = 400;
  int32_t charset = 0;
  bool operator==(const ComboBoxProps&) const = default;
};
struct DrawingAreaProps {
  bool operator==(const DrawingAreaProps&) const = default;
};
struct ScrollBarProps {
  int32_t minimum = 1, maximum = 100, pageStep = 10, lineStep = 1, position = 1;
  bool operator==(const ScrollBarProps&) const = default;
};
constexpr uint32_t kScrollHorizontal = 1;
constexpr uint32_t kScrollVertical = 2;
struct TextBoxProps {
  bool multiLine = false;
  uint32_t scrollBars = 0;
  std::string text;
  bool operator==(const TextBoxProps&) const = default;
};
struct TimerProps {
  int32_t intervalMs = 0;
  bool operator==(const TimerProps&) const = default;
};
enum class DialogKind : uint32_t { Open = 0, Save = 1 };
struct FileDialogProps {
  DialogKind kind = DialogKind::Open;
  std::string title, fileName, filter, defaultExtension, initialFolder;
  bool operator==(const FileDialogProps&) const = default;
};

using UnitProps = std::variant<WindowProps, ListBoxProps, ComboBoxProps, DrawingAreaProps, ScrollBarProps,
                               TextBoxProps, TimerProps, FileDialogProps>;

// The type code a kind of properties belongs to.
uint32_t typeCodeOf(const UnitProps& props);

// The bytes after the 20 leading zero bytes.
ByteVec encodeProps(const UnitProps& props);
// `typeCode` picks the layout; an unknown type code is an error.
Result<UnitProps> decodeProps(uint32_t typeCode, ByteSpan bytes);

}  // namespace ql::forms
