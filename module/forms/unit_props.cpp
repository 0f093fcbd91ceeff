#include "module/forms/unit_props.h"

#include <type_traits>

#include "module/abi.h"
#include "module/image/image.h"

namespace ql::forms {

namespace {

using image::appendPropertyText;
using image::appendPropertyU32;
using image::PropertyCursor;

// A combo box holds a handful of entries; anything larger is a broken image.
constexpr uint32_t kMaxComboEntries = 4096;

void appendI32(ByteVec& out, int32_t v) { appendPropertyU32(out, static_cast<uint32_t>(v)); }

// Reads the fields in order; the first failure wins and is kept.
class Reader {
 public:
  Reader(ByteSpan bytes, std::string where) : cursor_(bytes, std::move(where)) {}
  void text(std::string& out) {
    if (!failed()) take(cursor_.text(), out);
  }
  void i32(int32_t& out) {
    if (!failed()) take(cursor_.i32(), out);
  }
  void u32(uint32_t& out) {
    if (!failed()) take(cursor_.u32(), out);
  }
  void flag(bool& out) {
    uint32_t v = 0;
    u32(v);
    if (!failed() && v > 1) error_ = Error{where() + ": flag value " + image::hex(v) + " is neither 0 nor 1"};
    out = v == 1;
  }
  bool failed() const { return error_.has_value(); }
  Status finish() {
    if (!failed() && !cursor_.atEnd())
      error_ = Error{where() + ": " + std::to_string(cursor_.remaining()) + " unexpected bytes at the end"};
    if (failed()) return *error_;
    return Ok{};
  }
  void failWith(std::string message) {
    if (!failed()) error_ = Error{where() + ": " + std::move(message)};
  }

 private:
  template <class T>
  void take(Result<T> r, T& out) {
    if (r.ok())
      out = std::move(r.value());
    else
      error_ = r.error();
  }
  std::string where() const { return where_; }

  PropertyCursor cursor_;
  std::optional<Error> error_;
  std::string where_ = "unit properties";
};

template <class P>
Result<UnitProps> finishAs(Reader& r, P props) {
  auto st = r.finish();
  if (!st.ok()) return st.error();
  return UnitProps{std::move(props)};
}

}  // namespace

uint32_t typeCodeOf(const UnitProps& props) {
  return std::visit(
      [](const auto& p) -> uint32_t {
        using T = std::decay_t<decltype(p)>;
        if constexpr (std::is_same_v<T, WindowProps>) return abi::kTypeWindow;
        if constexpr (std::is_same_v<T, ListBoxProps>) return abi::kTypeListBox;
        if constexpr (std::is_same_v<T, ComboBoxProps>) return abi::kTypeComboBox;
        if constexpr (std::is_same_v<T, DrawingAreaProps>) return abi::kTypeDrawingArea;
        if constexpr (std::is_same_v<T, ScrollBarProps>) return abi::kTypeVScrollBar;
        if constexpr (std::is_same_v<T, TextBoxProps>) return abi::kTypeTextBox;
        if constexpr (std::is_same_v<T, TimerProps>) return abi::kTypeTimer;
        if constexpr (std::is_same_v<T, FileDialogProps>) return abi::kTypeFileDialog;
      },
      props);
}

ByteVec encodeProps(const UnitProps& props) {
  ByteVec out;
  std::visit(
      [&out](const auto& p) {
        using T = std::decay_t<decltype(p)>;
        if constexpr (std::is_same_v<T, WindowProps>) {
          appendPropertyText(out, p.title);
        } else if constexpr (std::is_same_v<T, ListBoxProps>) {
          appendPropertyU32(out, p.sorted ? 1 : 0);
        } else if constexpr (std::is_same_v<T, ComboBoxProps>) {
          appendPropertyU32(out, static_cast<uint32_t>(p.entries.size()));
          for (const auto& e : p.entries) {
            appendPropertyText(out, e.text);
            appendI32(out, e.value);
          }
          appendPropertyText(out, p.fontName);
          appendI32(out, p.fontHeight);
          appendI32(out, p.fontWeight);
          appendI32(out, p.charset);
        } else if constexpr (std::is_same_v<T, DrawingAreaProps>) {
        } else if constexpr (std::is_same_v<T, ScrollBarProps>) {
          for (int32_t v : {p.minimum, p.maximum, p.pageStep, p.lineStep, p.position}) appendI32(out, v);
        } else if constexpr (std::is_same_v<T, TextBoxProps>) {
          appendPropertyU32(out, p.multiLine ? 1 : 0);
          appendPropertyU32(out, p.scrollBars);
          appendPropertyText(out, p.text);
        } else if constexpr (std::is_same_v<T, TimerProps>) {
          appendI32(out, p.intervalMs);
        } else if constexpr (std::is_same_v<T, FileDialogProps>) {
          appendPropertyU32(out, static_cast<uint32_t>(p.kind));
          for (const std::string* s : {&p.title, &p.fileName, &p.filter, &p.defaultExtension, &p.initialFolder})
            appendPropertyText(out, *s);
        }
      },
      props);
  return out;
}

Result<UnitProps> decodeProps(uint32_t typeCode, ByteSpan bytes) {
  Reader r(bytes, "unit properties");
  switch (typeCode) {
    case abi::kTypeWindow: {
      WindowProps p;
      r.text(p.title);
      return finishAs(r, std::move(p));
    }
    case abi::kTypeListBox: {
      ListBoxProps p;
      r.flag(p.sorted);
      return finishAs(r, p);
    }
    case abi::kTypeComboBox: {
      ComboBoxProps p;
      uint32_t n = 0;
      r.u32(n);
      if (n > kMaxComboEntries) r.failWith("combo box entry count " + image::hex(n) + " is too large");
      for (uint32_t i = 0; i < n && !r.failed(); ++i) {
        ComboEntry e;
        r.text(e.text);
        r.i32(e.value);
        p.entries.push_back(std::move(e));
      }
      r.text(p.fontName);
      r.i32(p.fontHeight);
      r.i32(p.fontWeight);
      r.i32(p.charset);
      return finishAs(r, std::move(p));
    }
    case abi::kTypeDrawingArea:
      return finishAs(r, DrawingAreaProps{});
    case abi::kTypeVScrollBar: {
      ScrollBarProps p;
      for (int32_t* v : {&p.minimum, &p.maximum, &p.pageStep, &p.lineStep, &p.position}) r.i32(*v);
      return finishAs(r, p);
    }
    case abi::kTypeTextBox: {
      TextBoxProps p;
      r.flag(p.multiLine);
      r.u32(p.scrollBars);
      if (!r.failed() && p.scrollBars > (kScrollHorizontal | kScrollVertical))
        r.failWith("scroll-bar bits " + image::hex(p.scrollBars) + " out of range");
      r.text(p.text);
      return finishAs(r, std::move(p));
    }
    case abi::kTypeTimer: {
      TimerProps p;
      r.i32(p.intervalMs);
      return finishAs(r, p);
    }
    case abi::kTypeFileDialog: {
      FileDialogProps p;
      uint32_t kind = 0;
      r.u32(kind);
      if (!r.failed() && kind > 1) r.failWith("file dialog kind " + image::hex(kind) + " is neither open nor save");
      p.kind = static_cast<DialogKind>(kind);
      for (std::string* s : {&p.title, &p.fileName, &p.filter, &p.defaultExtension, &p.initialFolder}) r.text(*s);
      return finishAs(r, std::move(p));
    }
    default:
      return Error{"unit properties: unknown type code " + image::hex(typeCode)};
  }
}

}  // namespace ql::forms
