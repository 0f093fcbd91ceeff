#include "runtime/kernel/core/form_build.h"

#include <string>
#include <variant>

#include "module/abi.h"
#include "module/forms/unit_props.h"

namespace ql::rt {

namespace {

using window::ControlKind;

// Weight from which a font counts as bold (the Windows FW_BOLD).
constexpr int32_t kBoldWeight = 700;

std::string where(const image::Window& w, size_t index, const image::Unit& u) {
  return "window " + image::hex(w.id) + " unit " + std::to_string(index) + " (" + image::hex(u.id) + ", type " +
         image::hex(u.type) + ")";
}

template <class T>
Result<T> propsAs(const image::Unit& u, const std::string& at) {
  auto decoded = forms::decodeProps(u.type, u.properties);
  if (!decoded) return fail(at + ": " + decoded.error().message);
  if (auto* p = std::get_if<T>(&decoded.value())) return *p;
  return fail(at + ": its settings are of another kind than its type");
}

Status applyControlProps(window::ControlDef& c, const image::Unit& u, const std::string& at) {
  switch (c.kind) {
    case ControlKind::ListBox: {
      // NOTE: sorting is not offered by the window system; the module's one
      // list box does not sort, and a sorted one is refused rather than shown
      // in the wrong order.
      auto p = propsAs<forms::ListBoxProps>(u, at);
      if (!p) return p.error();
      if (p->sorted) return fail(at + ": sorted list boxes are not supported");
      return Ok{};
    }
    case ControlKind::ComboBox: {
      auto p = propsAs<forms::ComboBoxProps>(u, at);
      if (!p) return p.error();
      for (const auto& e : p->entries) c.entries.push_back(e.text);
      c.font.name = p->fontName;
      c.font.height = p->fontHeight;
      c.font.bold = p->fontWeight >= kBoldWeight;
      return Ok{};
    }
    case ControlKind::DrawingArea: {
      auto p = propsAs<forms::DrawingAreaProps>(u, at);
      if (!p) return p.error();
      return Ok{};
    }
    case ControlKind::VScrollBar: {
      auto p = propsAs<forms::ScrollBarProps>(u, at);
      if (!p) return p.error();
      c.scroll = {p->minimum, p->maximum, p->pageStep, p->lineStep, p->position};
      return Ok{};
    }
    case ControlKind::TextBox: {
      auto p = propsAs<forms::TextBoxProps>(u, at);
      if (!p) return p.error();
      c.text = p->text;
      return Ok{};
    }
    case ControlKind::Timer: {
      auto p = propsAs<forms::TimerProps>(u, at);
      if (!p) return p.error();
      c.intervalMs = p->intervalMs;
      return Ok{};
    }
    case ControlKind::FileDialog: {
      auto p = propsAs<forms::FileDialogProps>(u, at);
      if (!p) return p.error();
      c.dialog.kind = p->kind == forms::DialogKind::Save ? window::FileDialogKind::Save : window::FileDialogKind::Open;
      c.dialog.title = p->title;
      c.dialog.fileName = p->fileName;
      c.dialog.filter = p->filter;
      c.dialog.defaultExtension = p->defaultExtension;
      c.dialog.initialFolder = p->initialFolder;
      return Ok{};
    }
  }
  return fail(at + ": unknown control kind");
}

}  // namespace

std::optional<ControlKind> controlKindOf(uint32_t typeCode) {
  switch (typeCode) {
    case abi::kTypeListBox: return ControlKind::ListBox;
    case abi::kTypeComboBox: return ControlKind::ComboBox;
    case abi::kTypeDrawingArea: return ControlKind::DrawingArea;
    case abi::kTypeVScrollBar: return ControlKind::VScrollBar;
    case abi::kTypeTextBox: return ControlKind::TextBox;
    case abi::kTypeTimer: return ControlKind::Timer;
    case abi::kTypeFileDialog: return ControlKind::FileDialog;
    default: return std::nullopt;
  }
}

bool isTextProperty(uint32_t typeCode, int32_t number) {
  if (typeCode == abi::kTypeTextBox) return number == window::prop::kIntervalOrText;
  if (typeCode == abi::kTypeFileDialog)
    return number == window::prop::kFileName || number == window::prop::kFilter ||
           number == window::prop::kInitialFolder;
  return false;
}

Result<window::WindowDef> buildWindowDef(const image::Window& w) {
  window::WindowDef def;
  def.id = w.id;
  const image::Unit* own = w.windowUnit();
  if (!own) return fail("window " + image::hex(w.id) + " has no unit of its own (id kind 0x06)");
  if (own->type != abi::kTypeWindow)
    return fail("window " + image::hex(w.id) + ": its own unit " + image::hex(own->id) + " has type " +
                image::hex(own->type) + ", not a window's");
  def.unitId = own->id;
  def.rect = {own->left, own->top, own->width, own->height};
  def.visible = false;

  for (size_t i = 0; i < w.units.size(); ++i) {
    const image::Unit& u = w.units[i];
    const std::string at = where(w, i, u);
    if (&u == own) {
      auto p = propsAs<forms::WindowProps>(u, at);
      if (!p) return p.error();
      def.title = p->title;
      continue;
    }
    if (u.isMenuItem()) {
      def.menu.push_back({u.id, int32_t(u.level), u.caption});
      continue;
    }
    if (abi::idKind(u.id) != abi::kIdControl) return fail(at + ": neither the window, a menu item nor a control");
    const auto kind = controlKindOf(u.type);
    if (!kind) return fail(at + ": the window system has no control of this type");
    window::ControlDef c;
    c.id = u.id;
    c.kind = *kind;
    c.name = u.name;
    c.rect = {u.left, u.top, u.width, u.height};
    // Flag bit 0 marks the controls that show (window, drawing area, scroll
    // bar, lists, edit box); timers and dialogs have it clear.
    c.visible = (u.flags & 1u) != 0;
    if (auto s = applyControlProps(c, u, at); !s) return s.error();
    def.controls.push_back(std::move(c));
  }
  return def;
}

}  // namespace ql::rt
