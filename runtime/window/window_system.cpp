#include "runtime/window/window_system.h"

#include <algorithm>
#include <cstdio>
#include <set>

#include "common/gbk.h"
#include "runtime/window/filter.h"

namespace ql::window {

namespace {

std::string hex(Id id) {
  char buf[16];
  std::snprintf(buf, sizeof buf, "0x%08X", id);
  return buf;
}

// Timers and dialogs have no place on screen: no geometry, no visibility.
bool isShownKind(ControlKind kind) { return kind != ControlKind::Timer && kind != ControlKind::FileDialog; }

std::int32_t clampSelection(std::int32_t index, std::size_t count) {
  // NOTE: an index outside the entries clears the selection (as the native
  // Windows list and combo boxes do); it never reports an entry that does
  // not exist.
  if (index < 0 || static_cast<std::size_t>(index) >= count) return -1;
  return index;
}

Result<std::int32_t> intOf(const Value& v, std::string_view what) {
  if (const auto* i = std::get_if<std::int32_t>(&v)) return *i;
  return fail(std::string(what) + " takes an integer, not a text");
}

Result<std::string> textOf(const Value& v, std::string_view what) {
  if (const auto* s = std::get_if<std::string>(&v)) return *s;
  return fail(std::string(what) + " takes a text, not an integer");
}

}  // namespace

const char* kindName(ControlKind kind) {
  switch (kind) {
    case ControlKind::ListBox: return "list box";
    case ControlKind::ComboBox: return "combo box";
    case ControlKind::DrawingArea: return "drawing area";
    case ControlKind::VScrollBar: return "scroll bar";
    case ControlKind::TextBox: return "text box";
    case ControlKind::Timer: return "timer";
    case ControlKind::FileDialog: return "file dialog";
  }
  return "control";
}

WindowSystem::ControlState* WindowSystem::WindowState::control(Id id) {
  for (auto& c : controls)
    if (c.def.id == id) return &c;
  return nullptr;
}

const WindowSystem::ControlState* WindowSystem::WindowState::control(Id id) const {
  for (const auto& c : controls)
    if (c.def.id == id) return &c;
  return nullptr;
}

bool WindowSystem::WindowState::hasMenuItem(Id id) const {
  return std::any_of(def.menu.begin(), def.menu.end(), [&](const MenuItemDef& m) { return m.id == id; });
}

bool WindowSystem::WindowState::isMenuLeaf(Id id) const {
  for (std::size_t i = 0; i < def.menu.size(); ++i) {
    if (def.menu[i].id != id) continue;
    return i + 1 == def.menu.size() || def.menu[i + 1].level <= def.menu[i].level;
  }
  return false;
}

WindowSystem::WindowState* WindowSystem::findWindow(Id window) {
  auto it = windows_.find(window);
  return it == windows_.end() ? nullptr : &it->second;
}

const WindowSystem::WindowState* WindowSystem::findWindow(Id window) const {
  auto it = windows_.find(window);
  return it == windows_.end() ? nullptr : &it->second;
}

void WindowSystem::emit(const Event& e) const {
  if (sink_) sink_(e);
}

namespace {

Status validate(const WindowDef& def) {
  std::set<Id> ids{def.id};
  if (def.unitId != 0 && !ids.insert(def.unitId).second)
    return fail("window " + hex(def.id) + ": its unit id " + hex(def.unitId) + " repeats the window id");
  if (def.rect.width < 0 || def.rect.height < 0)
    return fail("window " + hex(def.id) + ": negative size " + std::to_string(def.rect.width) + " x " +
                std::to_string(def.rect.height));
  std::int32_t previous = -1;
  for (std::size_t i = 0; i < def.menu.size(); ++i) {
    const auto& m = def.menu[i];
    if (m.level < 0 || m.level > previous + 1)
      return fail("window " + hex(def.id) + ": menu item " + std::to_string(i) + " (" + hex(m.id) + ") has level " +
                  std::to_string(m.level) + " after level " + std::to_string(previous));
    if (!ids.insert(m.id).second)
      return fail("window " + hex(def.id) + ": menu item " + std::to_string(i) + " repeats id " + hex(m.id));
    previous = m.level;
  }
  for (std::size_t i = 0; i < def.controls.size(); ++i) {
    const auto& c = def.controls[i];
    std::string where = "window " + hex(def.id) + ": control " + std::to_string(i) + " (" + kindName(c.kind) + " " +
                        hex(c.id) + ")";
    if (!ids.insert(c.id).second) return fail(where + " repeats an id");
    if (isShownKind(c.kind) && (c.rect.width < 0 || c.rect.height < 0))
      return fail(where + " has negative size " + std::to_string(c.rect.width) + " x " +
                  std::to_string(c.rect.height));
    if (c.kind == ControlKind::VScrollBar &&
        (c.scroll.minimum > c.scroll.maximum || c.scroll.pageStep < 0 || c.scroll.lineStep < 0))
      return fail(where + " has range " + std::to_string(c.scroll.minimum) + ".." + std::to_string(c.scroll.maximum) +
                  ", page " + std::to_string(c.scroll.pageStep) + ", line " + std::to_string(c.scroll.lineStep));
    if (c.kind == ControlKind::Timer && c.intervalMs < 0)
      return fail(where + " has negative interval " + std::to_string(c.intervalMs));
  }
  return Ok{};
}

}  // namespace

Status WindowSystem::createWindow(const WindowDef& def, std::optional<Id> owner) {
  if (windows_.count(def.id)) return fail("window " + hex(def.id) + " is already open");
  if (owner && !windows_.count(*owner))
    return fail("window " + hex(def.id) + ": owner window " + hex(*owner) + " is not open");
  if (auto s = validate(def); !s) return s;

  WindowState state;
  state.def = def;
  state.def.visible = false;  // shown below, after the created event
  state.owner = owner;
  for (const auto& c : def.controls) {
    ControlState cs;
    cs.def = c;
    cs.def.scroll.position = std::clamp(c.scroll.position, c.scroll.minimum, c.scroll.maximum);
    state.controls.push_back(std::move(cs));
  }
  auto [it, inserted] = windows_.emplace(def.id, std::move(state));
  if (auto s = backendCreate(it->second); !s) {
    windows_.erase(it);
    return s;
  }
  if (!mainWindow_) mainWindow_ = def.id;
  Id unit = def.unitId ? def.unitId : def.id;
  emit({def.id, unit, event::kCreated});
  if (def.visible && windows_.count(def.id)) return setWindowVisible(def.id, true);
  return Ok{};
}

Status WindowSystem::destroyWindow(Id window) {
  auto* w = findWindow(window);
  if (!w) return fail("window " + hex(window) + " is not open");
  if (w->destroying) return Ok{};
  auto s = destroyOne(window);
  if (mainWindow_ && window == *mainWindow_) quit();
  return s;
}

Status WindowSystem::destroyOne(Id window) {
  auto* w = findWindow(window);
  if (!w || w->destroying) return Ok{};
  w->destroying = true;
  emit({window, w->def.unitId ? w->def.unitId : window, event::kDestroying});
  std::vector<Id> owned;
  for (const auto& [id, other] : windows_)
    if (other.owner && *other.owner == window) owned.push_back(id);
  for (Id id : owned) (void)destroyOne(id);
  w = findWindow(window);
  if (!w) return Ok{};
  backendDestroy(*w);
  windows_.erase(window);
  return Ok{};
}

Result<WindowSystem::ControlState*> WindowSystem::controlOf(Id window, Id unit, std::string_view what) {
  auto* w = findWindow(window);
  if (!w) return fail(std::string(what) + ": window " + hex(window) + " is not open");
  auto* c = w->control(unit);
  if (!c) return fail(std::string(what) + ": window " + hex(window) + " has no control " + hex(unit));
  return c;
}

Result<const WindowSystem::ControlState*> WindowSystem::controlOf(Id window, Id unit, std::string_view what) const {
  const auto* w = findWindow(window);
  if (!w) return fail(std::string(what) + ": window " + hex(window) + " is not open");
  const auto* c = w->control(unit);
  if (!c) return fail(std::string(what) + ": window " + hex(window) + " has no control " + hex(unit));
  return c;
}

Result<Value> WindowSystem::property(Id window, Id unit, std::int32_t number) const {
  const auto* w = findWindow(window);
  if (!w) return fail("property " + std::to_string(number) + ": window " + hex(window) + " is not open");
  if (w->isWindowUnit(unit)) {
    switch (number) {
      case prop::kLeft: return Value{w->def.rect.left};
      case prop::kTop: return Value{w->def.rect.top};
      case prop::kWidth: return Value{w->def.rect.width};
      case prop::kHeight: return Value{w->def.rect.height};
      case prop::kVisible: return Value{std::int32_t{w->def.visible ? 1 : 0}};
      default: return fail("window " + hex(window) + " has no property " + std::to_string(number));
    }
  }
  const auto* c = w->control(unit);
  if (!c) return fail("property " + std::to_string(number) + ": window " + hex(window) + " has no unit " + hex(unit));
  const auto& d = c->def;
  std::string where = std::string(kindName(d.kind)) + " " + hex(unit) + " has no property " + std::to_string(number);
  switch (number) {
    case prop::kLeft:
    case prop::kTop:
    case prop::kWidth:
    case prop::kHeight:
      if (!isShownKind(d.kind)) return fail(where);
      return Value{number == prop::kLeft  ? d.rect.left
                   : number == prop::kTop ? d.rect.top
                   : number == prop::kWidth ? d.rect.width
                                            : d.rect.height};
    case prop::kVisible:
      if (!isShownKind(d.kind)) return fail(where);
      return Value{std::int32_t{d.visible ? 1 : 0}};
    case prop::kIntervalOrText:
      if (d.kind == ControlKind::Timer) return Value{d.intervalMs};
      if (d.kind == ControlKind::TextBox) return Value{d.text};
      return fail(where);
    case prop::kFileName:
    case prop::kFilter:
    case prop::kInitialFolder:
      if (d.kind != ControlKind::FileDialog) return fail(where);
      return Value{number == prop::kFileName ? d.dialog.fileName
                   : number == prop::kFilter ? d.dialog.filter
                                             : d.dialog.initialFolder};
    case prop::kScrollPosition:
      if (d.kind != ControlKind::VScrollBar) return fail(where);
      return Value{d.scroll.position};
    case prop::kListIndex:
      if (d.kind != ControlKind::ListBox) return fail(where);
      return Value{c->selection};
    case prop::kComboIndex:
      if (d.kind != ControlKind::ComboBox) return fail(where);
      return Value{c->selection};
    default: return fail(where);
  }
}

Status WindowSystem::setProperty(Id window, Id unit, std::int32_t number, const Value& value) {
  auto* w = findWindow(window);
  if (!w) return fail("property " + std::to_string(number) + ": window " + hex(window) + " is not open");
  std::string what = "property " + std::to_string(number) + " of unit " + hex(unit);
  auto geometry = [&]() -> Status {
    auto v = intOf(value, what);
    if (!v) return v.error();
    std::optional<std::int32_t> l, t, wd, h;
    if (number == prop::kLeft) l = *v;
    if (number == prop::kTop) t = *v;
    if (number == prop::kWidth) wd = *v;
    if (number == prop::kHeight) h = *v;
    return moveResize(window, unit, l, t, wd, h);
  };
  if (w->isWindowUnit(unit)) {
    switch (number) {
      case prop::kLeft:
      case prop::kTop:
      case prop::kWidth:
      case prop::kHeight: return geometry();
      case prop::kVisible: {
        auto v = intOf(value, what);
        if (!v) return v.error();
        return setWindowVisible(window, *v != 0);
      }
      default: return fail("window " + hex(window) + " has no property " + std::to_string(number));
    }
  }
  auto* c = w->control(unit);
  if (!c) return fail(what + ": window " + hex(window) + " has no such unit");
  auto& d = c->def;
  std::string missing = std::string(kindName(d.kind)) + " " + hex(unit) + " has no property " + std::to_string(number);
  switch (number) {
    case prop::kLeft:
    case prop::kTop:
    case prop::kWidth:
    case prop::kHeight:
      if (!isShownKind(d.kind)) return fail(missing);
      return geometry();
    case prop::kVisible: {
      if (!isShownKind(d.kind)) return fail(missing);
      auto v = intOf(value, what);
      if (!v) return v.error();
      if (d.visible == (*v != 0)) return Ok{};
      d.visible = *v != 0;
      backendControlChanged(*w, *c, Aspect::Visible);
      return Ok{};
    }
    case prop::kIntervalOrText:
      if (d.kind == ControlKind::Timer) {
        auto v = intOf(value, what);
        if (!v) return v.error();
        if (*v < 0) return fail("timer " + hex(unit) + ": negative interval " + std::to_string(*v));
        d.intervalMs = *v;
        backendControlChanged(*w, *c, Aspect::Timer);  // restarts the count even when unchanged
        return Ok{};
      }
      if (d.kind == ControlKind::TextBox) {
        auto v = textOf(value, what);
        if (!v) return v.error();
        d.text = std::move(*v);
        backendControlChanged(*w, *c, Aspect::Text);
        return Ok{};
      }
      return fail(missing);
    case prop::kFileName:
    case prop::kFilter:
    case prop::kInitialFolder: {
      if (d.kind != ControlKind::FileDialog) return fail(missing);
      auto v = textOf(value, what);
      if (!v) return v.error();
      (number == prop::kFileName ? d.dialog.fileName
       : number == prop::kFilter ? d.dialog.filter
                                 : d.dialog.initialFolder) = std::move(*v);
      backendControlChanged(*w, *c, Aspect::DialogFields);
      return Ok{};
    }
    case prop::kScrollPosition: {
      if (d.kind != ControlKind::VScrollBar) return fail(missing);
      auto v = intOf(value, what);
      if (!v) return v.error();
      d.scroll.position = std::clamp(*v, d.scroll.minimum, d.scroll.maximum);
      backendControlChanged(*w, *c, Aspect::ScrollPosition);
      return Ok{};
    }
    case prop::kListIndex:
    case prop::kComboIndex: {
      ControlKind want = number == prop::kListIndex ? ControlKind::ListBox : ControlKind::ComboBox;
      if (d.kind != want) return fail(missing);
      auto v = intOf(value, what);
      if (!v) return v.error();
      // A programmatic selection delivers no event, as on Windows.
      c->selection = clampSelection(*v, d.entries.size());
      backendControlChanged(*w, *c, Aspect::Selection);
      return Ok{};
    }
    default: return fail(missing);
  }
}

Result<std::int32_t> WindowSystem::clientWidth(Id window) const {
  const auto* w = findWindow(window);
  if (!w) return fail("client width: window " + hex(window) + " is not open");
  FrameMetrics f = frame(*w);
  return std::max(0, w->def.rect.width - f.left - f.right);
}

Result<std::int32_t> WindowSystem::clientHeight(Id window) const {
  const auto* w = findWindow(window);
  if (!w) return fail("client height: window " + hex(window) + " is not open");
  FrameMetrics f = frame(*w);
  return std::max(0, w->def.rect.height - f.top - f.bottom);
}

Status WindowSystem::moveResize(Id window, Id unit, std::optional<std::int32_t> left, std::optional<std::int32_t> top,
                                std::optional<std::int32_t> width, std::optional<std::int32_t> height) {
  auto* w = findWindow(window);
  if (!w) return fail("move: window " + hex(window) + " is not open");
  // Sizes below zero make no sense on any platform; they become 0.
  auto apply = [&](Rect r) {
    if (left) r.left = *left;
    if (top) r.top = *top;
    if (width) r.width = std::max(0, *width);
    if (height) r.height = std::max(0, *height);
    return r;
  };
  if (w->isWindowUnit(unit)) return setWindowRect(*w, apply(w->def.rect));
  auto* c = w->control(unit);
  if (!c) return fail("move: window " + hex(window) + " has no unit " + hex(unit));
  if (!isShownKind(c->def.kind)) return fail(std::string("move: a ") + kindName(c->def.kind) + " has no position");
  Rect r = apply(c->def.rect);
  if (r == c->def.rect) return Ok{};
  c->def.rect = r;
  backendControlChanged(*w, *c, Aspect::Geometry);
  return Ok{};
}

Status WindowSystem::setWindowRect(WindowState& w, Rect r) {
  r.width = std::max(0, r.width);
  r.height = std::max(0, r.height);
  Rect old = w.def.rect;
  if (old == r) return Ok{};
  Id id = w.def.id;
  Id unit = w.def.unitId ? w.def.unitId : id;
  w.def.rect = r;
  backendWindowChanged(w, Aspect::Geometry);
  // Programmatic changes deliver the same events as the user's, as on Windows.
  if (old.left != r.left || old.top != r.top) emit({id, unit, event::kMoved});
  if (old.width != r.width || old.height != r.height) {
    if (findWindow(id)) emit({id, unit, event::kResized});
  }
  return Ok{};
}

Status WindowSystem::setWindowVisible(Id window, bool visible) {
  auto* w = findWindow(window);
  if (!w) return fail("show: window " + hex(window) + " is not open");
  if (w->def.visible == visible) return Ok{};
  w->def.visible = visible;
  backendWindowChanged(*w, Aspect::Visible);
  if (visible && !w->shownOnce) {
    // The first show reports the window's place and size once, so that
    // layout and viewport handlers run before anything is drawn.
    w->shownOnce = true;
    Id unit = w->def.unitId ? w->def.unitId : window;
    emit({window, unit, event::kMoved});
    if (findWindow(window)) emit({window, unit, event::kResized});
  }
  return Ok{};
}

Status WindowSystem::addListItem(Id window, Id list, std::string_view text) {
  auto c = controlOf(window, list, "add list entry");
  if (!c) return c.error();
  if ((*c)->def.kind != ControlKind::ListBox)
    return fail(std::string("add list entry: ") + kindName((*c)->def.kind) + " " + hex(list) + " is no list box");
  (*c)->def.entries.emplace_back(text);
  backendControlChanged(*findWindow(window), **c, Aspect::Entries);
  return Ok{};
}

Result<std::string> WindowSystem::listItem(Id window, Id list, std::int32_t index) const {
  auto c = controlOf(window, list, "list entry");
  if (!c) return c.error();
  const auto& d = (*c)->def;
  if (d.kind != ControlKind::ListBox)
    return fail(std::string("list entry: ") + kindName(d.kind) + " " + hex(list) + " is no list box");
  if (index < 0 || static_cast<std::size_t>(index) >= d.entries.size())
    return fail("list entry: list box " + hex(list) + " has " + std::to_string(d.entries.size()) +
                " entries; index " + std::to_string(index) + " is out of range");
  return d.entries[static_cast<std::size_t>(index)];
}

Result<std::int32_t> WindowSystem::listCount(Id window, Id list) const {
  auto c = controlOf(window, list, "list count");
  if (!c) return c.error();
  if ((*c)->def.kind != ControlKind::ListBox)
    return fail(std::string("list count: ") + kindName((*c)->def.kind) + " " + hex(list) + " is no list box");
  return static_cast<std::int32_t>((*c)->def.entries.size());
}

Result<std::uintptr_t> WindowSystem::nativeHandle(Id window, Id control) {
  auto c = controlOf(window, control, "native handle");
  if (!c) return c.error();
  if (!isShownKind((*c)->def.kind))
    return fail(std::string("native handle: a ") + kindName((*c)->def.kind) + " has no window");
  if ((*c)->handle == 0) (*c)->handle = backendHandle(*findWindow(window), **c);
  return (*c)->handle;
}

DrawingSurface* WindowSystem::surface(std::uintptr_t handle) { return handle ? backendSurface(handle) : nullptr; }

std::int32_t WindowSystem::messageBox(std::string_view text, std::int32_t style,
                                      std::optional<std::string_view> caption) {
  if (style != kStyleOkCancel) style = kStyleOk;
  std::int32_t answer = backendMessageBox(text, style, caption);
  if (style == kStyleOk) return 0;
  return answer == 0 ? 0 : 1;
}

Result<bool> WindowSystem::runFileDialog(Id window, Id dialog) {
  auto c = controlOf(window, dialog, "file dialog");
  if (!c) return c.error();
  if ((*c)->def.kind != ControlKind::FileDialog)
    return fail(std::string("file dialog: ") + kindName((*c)->def.kind) + " " + hex(dialog) + " is no file dialog");
  auto chosen = backendFileDialog(*findWindow(window), **c);
  if (!chosen) return false;
  // The dialog ran modally; its window may be gone now.
  auto again = controlOf(window, dialog, "file dialog");
  if (!again) return again.error();
  auto& d = (*again)->def.dialog;
  d.fileName = d.kind == FileDialogKind::Save ? withDefaultExtension(*chosen, defaultExtension(d.defaultExtension))
                                              : *chosen;
  backendControlChanged(*findWindow(window), **again, Aspect::DialogFields);
  return true;
}

std::int32_t WindowSystem::run() {
  if (!quit_) backendRun();
  return 0;
}

void WindowSystem::quit() {
  quit_ = true;
  backendQuit();
}

Status WindowSystem::noteWindowGeometry(Id window, Rect outer) {
  auto* w = findWindow(window);
  if (!w) return fail("window " + hex(window) + " is not open");
  return setWindowRect(*w, outer);
}

Status WindowSystem::noteUserClose(Id window) {
  if (!findWindow(window)) return fail("close: window " + hex(window) + " is not open");
  // Only the main window ends the program; the others just hide, so the
  // module never writes to a window that is gone.
  if (mainWindow_ && window == *mainWindow_) return destroyWindow(window);
  return setWindowVisible(window, false);
}

Status WindowSystem::noteListChosen(Id window, Id list, std::int32_t index) {
  auto c = controlOf(window, list, "choose list entry");
  if (!c) return c.error();
  auto& cs = **c;
  if (cs.def.kind != ControlKind::ListBox) return fail("choose list entry: " + hex(list) + " is no list box");
  if (index < 0 || static_cast<std::size_t>(index) >= cs.def.entries.size())
    return fail("choose list entry: list box " + hex(list) + " has " + std::to_string(cs.def.entries.size()) +
                " entries; index " + std::to_string(index) + " is out of range");
  cs.selection = index;
  backendControlChanged(*findWindow(window), cs, Aspect::Selection);
  emit({window, list, event::kListChosen});
  return Ok{};
}

Status WindowSystem::noteComboChosen(Id window, Id combo, std::int32_t index) {
  auto c = controlOf(window, combo, "choose combo entry");
  if (!c) return c.error();
  auto& cs = **c;
  if (cs.def.kind != ControlKind::ComboBox) return fail("choose combo entry: " + hex(combo) + " is no combo box");
  if (index < 0 || static_cast<std::size_t>(index) >= cs.def.entries.size())
    return fail("choose combo entry: combo box " + hex(combo) + " has " + std::to_string(cs.def.entries.size()) +
                " entries; index " + std::to_string(index) + " is out of range");
  cs.selection = index;
  backendControlChanged(*findWindow(window), cs, Aspect::Selection);
  emit({window, combo, event::kComboChanged});
  return Ok{};
}

Status WindowSystem::noteScroll(Id window, Id bar, std::int32_t position) {
  auto c = controlOf(window, bar, "scroll");
  if (!c) return c.error();
  auto& d = (*c)->def;
  if (d.kind != ControlKind::VScrollBar) return fail("scroll: " + hex(bar) + " is no scroll bar");
  d.scroll.position = std::clamp(position, d.scroll.minimum, d.scroll.maximum);
  backendControlChanged(*findWindow(window), **c, Aspect::ScrollPosition);
  return Ok{};
}

Result<bool> WindowSystem::noteTimerTick(Id window, Id timer) {
  auto c = controlOf(window, timer, "timer tick");
  if (!c) return c.error();
  if ((*c)->def.kind != ControlKind::Timer) return fail("timer tick: " + hex(timer) + " is no timer");
  if ((*c)->def.intervalMs == 0) return false;
  emit({window, timer, event::kTimerTick});
  return true;
}

Status WindowSystem::noteMenuClick(Id window, Id item) {
  auto* w = findWindow(window);
  if (!w) return fail("menu click: window " + hex(window) + " is not open");
  if (!w->hasMenuItem(item)) return fail("menu click: window " + hex(window) + " has no menu item " + hex(item));
  if (!w->isMenuLeaf(item)) return fail("menu click: item " + hex(item) + " opens a submenu and runs nothing");
  emit({window, item, event::kMenuClicked});
  return Ok{};
}

Status WindowSystem::noteMouse(Id window, Id area, std::int32_t number, std::int32_t x, std::int32_t y,
                               std::int32_t keyState) {
  auto c = controlOf(window, area, "mouse");
  if (!c) return c.error();
  if ((*c)->def.kind != ControlKind::DrawingArea) return fail("mouse: " + hex(area) + " is no drawing area");
  if (number != event::kMouseDown && number != event::kMouseUp && number != event::kMouseMove &&
      number != event::kMouseDoubleClick && number != event::kMouseWheel)
    return fail("mouse: " + std::to_string(number) + " is no mouse event");
  emit({window, area, number, x, y, keyState});
  return Ok{};
}

Status WindowSystem::noteKey(Id window, Id area, std::int32_t virtualKey, std::int32_t keyState) {
  auto c = controlOf(window, area, "key");
  if (!c) return c.error();
  if ((*c)->def.kind != ControlKind::DrawingArea) return fail("key: " + hex(area) + " is no drawing area");
  emit({window, area, event::kKeyDown, virtualKey, 0, keyState});
  return Ok{};
}

}  // namespace ql::window
