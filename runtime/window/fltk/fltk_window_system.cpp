#include "runtime/window/fltk/fltk_window_system.h"

#include <FL/Fl.H>
#include <FL/Fl_Choice.H>
#include <FL/Fl_Double_Window.H>
#include <FL/Fl_Gl_Window.H>
#include <FL/Fl_Hold_Browser.H>
#include <FL/Fl_Menu_Bar.H>
#include <FL/Fl_Native_File_Chooser.H>
#include <FL/Fl_Scrollbar.H>
#include <FL/Fl_Text_Buffer.H>
#include <FL/Fl_Text_Display.H>
#include <FL/fl_ask.H>
#include <FL/gl.h>
#include <fontconfig/fontconfig.h>

#include <deque>
#include <filesystem>
#include <map>

#include "common/gbk.h"
#include "runtime/paths/paths.h"
#include "runtime/window/filter.h"

// FLTK's GL header pulls in Xlib, whose Status macro hides our Status type.
#undef Status

namespace ql::window {

namespace {

// FLTK's default sans font has no Chinese glyphs. The standard font slots are
// remapped to a CJK family, so every label, menu and dialog can show Chinese
// whatever the locale says.
constexpr const char* kCjkFamilies[] = {"WenQuanYi Micro Hei", "Noto Sans CJK SC"};
constexpr Fl_Font kFont = FL_HELVETICA;
constexpr Fl_Font kBoldFont = FL_HELVETICA_BOLD;
constexpr Fl_Fontsize kDefaultTextSize = 12;
constexpr Fl_Fontsize kComboTextSize = 12;
constexpr const char* kOkLabel = "确定";
constexpr const char* kCancelLabel = "取消";

bool fontInstalled(const char* family) {
  FcPattern* pattern = FcPatternCreate();
  FcPatternAddString(pattern, FC_FAMILY, reinterpret_cast<const FcChar8*>(family));
  FcObjectSet* objects = FcObjectSetBuild(FC_FAMILY, nullptr);
  FcFontSet* fonts = FcFontList(nullptr, pattern, objects);
  bool found = fonts && fonts->nfont > 0;
  if (fonts) FcFontSetDestroy(fonts);
  FcObjectSetDestroy(objects);
  FcPatternDestroy(pattern);
  return found;
}

// Texts to show: GBK -> UTF-8 (invalid bytes shown as U+FFFD), CR LF -> LF.
std::string display(std::string_view gbk) {
  std::string utf8 = gbkToUtf8Lossy(gbk);
  std::string out;
  out.reserve(utf8.size());
  for (char c : utf8)
    if (c != '\r') out += c;
  return out;
}

// Menu and choice labels: '&' would underline the next character.
std::string menuLabel(std::string_view gbk) {
  std::string out;
  for (char c : display(gbk)) {
    out += c;
    if (c == '&') out += '&';
  }
  return out;
}

// "desc|*.a;*.b|desc2|*.c" -> "desc\t{*.a,*.b}\ndesc2\t*.c"
std::string fltkFilter(std::string_view gbkFilter) {
  std::string out;
  for (const auto& pair : parseFilter(gbkFilter)) {
    std::string pattern = display(pair.pattern);
    if (pattern.find(';') != std::string::npos) {
      for (char& c : pattern)
        if (c == ';') c = ',';
      pattern = "{" + pattern + "}";
    }
    if (!out.empty()) out += '\n';
    out += display(pair.description) + "\t" + pattern;
  }
  return out;
}

}  // namespace

struct FltkWindowSystem::Binding {
  FltkWindowSystem* sys;
  Id window;
  Id unit;
};

class FltkWindowSystem::TopWindow final : public Fl_Double_Window {
 public:
  TopWindow(FltkWindowSystem* sys, Id id, Rect r)
      : Fl_Double_Window(r.left, r.top, std::max(1, r.width), std::max(1, r.height)), sys_(sys), id_(id) {}

  void resize(int x, int y, int w, int h) override {
    Fl_Double_Window::resize(x, y, w, h);
    if (menuBar) menuBar->size(w, kMenuBarHeight);
    // User moves and resizes, and the window manager's placement, reach the
    // state here; our own changes come back equal and deliver nothing.
    (void)sys_->noteWindowGeometry(id_, Rect{x, y, w, h});
  }

  Fl_Menu_Bar* menuBar = nullptr;

 private:
  FltkWindowSystem* sys_;
  Id id_;
};

class FltkWindowSystem::GlArea final : public Fl_Gl_Window, public DrawingSurface {
 public:
  GlArea(FltkWindowSystem* sys, Id window, Id area, int x, int y, int w, int h)
      : Fl_Gl_Window(x, y, std::max(1, w), std::max(1, h)), sys_(sys), window_(window), area_(area) {
    int wanted = FL_RGB8 | FL_ALPHA | FL_DEPTH | FL_DOUBLE;
    mode(can_do(wanted) ? wanted : FL_RGB | FL_DEPTH | FL_DOUBLE);
  }

  bool makeCurrent() override {
    if (!shown()) return false;
    make_current();
    return true;
  }
  void swapBuffers() override {
    if (shown()) swap_buffers();
  }
  void setDrawHook(std::function<void()> hook) override { hook_ = std::move(hook); }
  void requestRedraw() override { redraw(); }

 private:
  void draw() override {
    if (hook_) {
      hook_();
      return;
    }
    glClearColor(1.0f, 1.0f, 1.0f, 1.0f);
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
  }

  int handle(int e) override {
    std::int32_t number = 0;
    std::int32_t keyState = keyStateNow();
    switch (e) {
      case FL_PUSH:
        // A click gives the area the keyboard (for its keys); the second
        // press of a double click stands in for its down event, as on Windows.
        take_focus();
        keyState |= pressedButton();
        number = Fl::event_clicks() > 0 ? event::kMouseDoubleClick : event::kMouseDown;
        break;
      case FL_RELEASE: number = event::kMouseUp; break;
      case FL_DRAG:
      case FL_MOVE: number = event::kMouseMove; break;
      case FL_MOUSEWHEEL:
        if (Fl::event_dy() == 0) return Fl_Gl_Window::handle(e);  // a sideways wheel
        // FLTK counts a turn toward the user as positive, Windows the other way.
        number = event::kMouseWheel;
        keyState = keys::withWheel(keyState, -Fl::event_dy() * keys::kWheelNotch);
        break;
      case FL_KEYBOARD: {
        const std::int32_t key = virtualKey(Fl::event_key());
        if (key == 0) return 0;
        (void)sys_->noteKey(window_, area_, key, keyState);
        return 1;
      }
      case FL_FOCUS:
      case FL_UNFOCUS: return 1;  // takes the keyboard focus
      case FL_ENTER: return 1;  // so that FL_MOVE events arrive
      default: return Fl_Gl_Window::handle(e);
    }
    (void)sys_->noteMouse(window_, area_, number, Fl::event_x(), Fl::event_y(), keyState);
    return 1;
  }

  static std::int32_t keyStateNow() {
    const int state = Fl::event_state();
    std::int32_t keyState = 0;
    if (state & FL_BUTTON1) keyState |= keys::kLeftButton;
    if (state & FL_BUTTON3) keyState |= keys::kRightButton;
    if (state & FL_BUTTON2) keyState |= keys::kMiddleButton;
    if (state & FL_SHIFT) keyState |= keys::kShift;
    if (state & FL_CTRL) keyState |= keys::kControl;
    return keyState;
  }
  // The button of a press, also where the event state does not have it yet.
  static std::int32_t pressedButton() {
    switch (Fl::event_button()) {
      case FL_LEFT_MOUSE: return keys::kLeftButton;
      case FL_MIDDLE_MOUSE: return keys::kMiddleButton;
      case FL_RIGHT_MOUSE: return keys::kRightButton;
      default: return 0;
    }
  }
  // The Windows virtual-key code of an FLTK key; 0 for keys not reported.
  static std::int32_t virtualKey(int key) {
    switch (key) {
      case FL_Home: return vk::kHome;
      case FL_End: return vk::kEnd;
      case FL_Page_Up: return vk::kPageUp;
      case FL_Page_Down: return vk::kPageDown;
      case FL_Left: return vk::kLeft;
      case FL_Up: return vk::kUp;
      case FL_Right: return vk::kRight;
      case FL_Down: return vk::kDown;
      default: break;
    }
    if (key >= 'a' && key <= 'z') return key - 'a' + 'A';
    if (key >= '0' && key <= '9') return key;
    return 0;
  }

  FltkWindowSystem* sys_;
  Id window_;
  Id area_;
  std::function<void()> hook_;
};

namespace {
struct WindowWidgets {
  Fl_Double_Window* window = nullptr;
  std::map<Id, Fl_Widget*> widgets;
  std::map<Id, std::unique_ptr<Fl_Text_Buffer>> buffers;
  std::map<Id, std::vector<Fl_Menu_Item>> itemArrays;  // menu bar (id 0) and combo boxes
  std::deque<std::string> labels;                      // UTF-8 texts the arrays point into
  std::string title;
};
}  // namespace

struct FltkWindowSystem::Impl {
  std::string family;
  std::map<Id, std::unique_ptr<WindowWidgets>> windows;
  // Bindings and widget storage of destroyed windows: FLTK deletes widgets
  // later (Fl::delete_widget), so what they point to must stay until then.
  std::vector<std::unique_ptr<WindowWidgets>> graveyard;
  std::vector<std::unique_ptr<Binding>> bindings;
  std::map<std::uintptr_t, GlArea*> surfaces;
  bool quit = false;

  Binding* bind(FltkWindowSystem* sys, Id window, Id unit) {
    bindings.push_back(std::make_unique<Binding>(Binding{sys, window, unit}));
    return bindings.back().get();
  }
};

FltkWindowSystem::FltkWindowSystem() : impl_(std::make_unique<Impl>()) {
  for (const char* family : kCjkFamilies) {
    if (!fontInstalled(family)) continue;
    impl_->family = family;
    break;
  }
  if (!impl_->family.empty()) {
    // Xft font names start with a style letter: ' ' regular, 'B' bold.
    static std::string regular, bold;
    regular = " " + impl_->family;
    bold = "B" + impl_->family;
    Fl::set_font(kFont, regular.c_str());
    Fl::set_font(kBoldFont, bold.c_str());
  }
  fl_message_font(kFont, 14);
  fl_ok = kOkLabel;
  fl_cancel = kCancelLabel;
  fl_close = kOkLabel;  // fl_message's one button
  FL_NORMAL_SIZE = 14;
}

FltkWindowSystem::~FltkWindowSystem() {
  for (auto& b : impl_->bindings) Fl::remove_timeout(timerCallback, b.get());
  for (auto& [id, ww] : impl_->windows) {
    ww->window->hide();
    delete ww->window;
  }
  impl_->windows.clear();
}

const std::string& FltkWindowSystem::cjkFontFamily() const { return impl_->family; }

FrameMetrics FltkWindowSystem::frame(const WindowState& w) const {
  return {0, w.def.menu.empty() ? 0 : kMenuBarHeight, 0, 0};
}

Status FltkWindowSystem::backendCreate(WindowState& w) {
  auto ww = std::make_unique<WindowWidgets>();
  const Id id = w.def.id;
  const FrameMetrics f = frame(w);
  auto* win = new TopWindow(this, id, w.def.rect);
  ww->window = win;
  ww->title = display(w.def.title);
  win->label(ww->title.c_str());
  win->callback(windowCallback, impl_->bind(this, id, id));
  // Children keep their places: the module lays them out itself.
  win->resizable(nullptr);
  win->size_range(1, 1, 0, 0);
  if (w.owner) win->set_non_modal();

  if (!w.def.menu.empty()) {
    auto* bar = new Fl_Menu_Bar(0, 0, w.def.rect.width, kMenuBarHeight);
    bar->textfont(kFont);
    auto& items = ww->itemArrays[0];
    const auto& menu = w.def.menu;
    std::int32_t depth = 0;
    for (std::size_t i = 0; i < menu.size(); ++i) {
      for (; depth > menu[i].level; --depth) items.push_back(Fl_Menu_Item{});
      bool hasChildren = i + 1 < menu.size() && menu[i + 1].level > menu[i].level;
      ww->labels.push_back(menuLabel(menu[i].caption));
      Fl_Menu_Item item{};
      item.text = ww->labels.back().c_str();
      if (hasChildren) {
        item.flags = FL_SUBMENU;
        depth = menu[i].level + 1;
      } else {
        item.callback_ = menuCallback;
        item.user_data_ = impl_->bind(this, id, menu[i].id);
      }
      items.push_back(item);
    }
    for (; depth > 0; --depth) items.push_back(Fl_Menu_Item{});
    items.push_back(Fl_Menu_Item{});
    bar->menu(items.data());
    win->menuBar = bar;
  }

  for (auto& c : w.controls) {
    const auto& d = c.def;
    const int x = d.rect.left, y = d.rect.top + f.top, cw = d.rect.width, ch = d.rect.height;
    Fl_Widget* widget = nullptr;
    switch (d.kind) {
      case ControlKind::ListBox: {
        auto* list = new Fl_Hold_Browser(x, y, cw, ch);
        list->format_char(0);  // entries are plain text, never formatting
        list->textfont(kFont);
        list->textsize(kDefaultTextSize);
        for (const auto& e : d.entries) list->add(display(e).c_str());
        list->when(FL_WHEN_CHANGED);
        list->callback(listCallback, impl_->bind(this, id, d.id));
        widget = list;
        break;
      }
      case ControlKind::ComboBox: {
        auto* combo = new Fl_Choice(x, y, cw, ch);
        // The designed font ("宋体" bold) does not exist here; the CJK
        // family stands in for it, keeping size and weight.
        combo->textfont(d.font.bold ? kBoldFont : kFont);
        combo->textsize(d.font.height > 0 ? d.font.height : kComboTextSize);
        auto& items = ww->itemArrays[d.id];
        for (const auto& e : d.entries) {
          ww->labels.push_back(menuLabel(e));
          Fl_Menu_Item item{};
          item.text = ww->labels.back().c_str();
          items.push_back(item);
        }
        items.push_back(Fl_Menu_Item{});
        combo->menu(items.data());
        combo->value(-1);
        combo->callback(comboCallback, impl_->bind(this, id, d.id));
        widget = combo;
        break;
      }
      case ControlKind::DrawingArea: {
        auto* area = new GlArea(this, id, d.id, x, y, cw, ch);
        impl_->surfaces[reinterpret_cast<std::uintptr_t>(area)] = area;
        widget = area;
        break;
      }
      case ControlKind::VScrollBar: {
        auto* bar = new Fl_Scrollbar(x, y, cw, ch);
        bar->type(FL_VERTICAL);
        bar->bounds(d.scroll.minimum, d.scroll.maximum);
        bar->step(1);
        bar->linesize(d.scroll.lineStep);
        const double span = double(d.scroll.maximum) - d.scroll.minimum + d.scroll.pageStep;
        bar->slider_size(span > 0 ? d.scroll.pageStep / span : 1.0);
        bar->value(d.scroll.position);
        bar->when(FL_WHEN_CHANGED);
        bar->callback(scrollCallback, impl_->bind(this, id, d.id));
        widget = bar;
        break;
      }
      case ControlKind::TextBox: {
        auto* box = new Fl_Text_Display(x, y, cw, ch);
        auto& buffer = ww->buffers[d.id];
        buffer = std::make_unique<Fl_Text_Buffer>();
        box->buffer(buffer.get());
        box->textfont(kFont);
        box->textsize(kDefaultTextSize);
        buffer->text(display(d.text).c_str());
        widget = box;
        break;
      }
      case ControlKind::Timer:
      case ControlKind::FileDialog: break;
    }
    if (widget) {
      if (!d.visible) widget->hide();
      ww->widgets[d.id] = widget;
    }
  }
  win->end();
  impl_->windows[id] = std::move(ww);
  for (auto& c : w.controls)
    if (c.def.kind == ControlKind::Timer) backendControlChanged(w, c, Aspect::Timer);
  return Ok{};
}

void FltkWindowSystem::backendDestroy(WindowState& w) {
  auto it = impl_->windows.find(w.def.id);
  if (it == impl_->windows.end()) return;
  for (auto& b : impl_->bindings)
    if (b->window == w.def.id) Fl::remove_timeout(timerCallback, b.get());
  for (auto s = impl_->surfaces.begin(); s != impl_->surfaces.end();) {
    if (s->second->window() == it->second->window)
      s = impl_->surfaces.erase(s);
    else
      ++s;
  }
  it->second->window->hide();
  Fl::delete_widget(it->second->window);
  impl_->graveyard.push_back(std::move(it->second));
  impl_->windows.erase(it);
}

void FltkWindowSystem::backendWindowChanged(WindowState& w, Aspect aspect) {
  auto it = impl_->windows.find(w.def.id);
  if (it == impl_->windows.end()) return;
  Fl_Double_Window* win = it->second->window;
  const Rect& r = w.def.rect;
  if (aspect == Aspect::Geometry) {
    if (win->x() != r.left || win->y() != r.top || win->w() != r.width || win->h() != r.height)
      win->resize(r.left, r.top, std::max(1, r.width), std::max(1, r.height));
  } else if (aspect == Aspect::Visible) {
    if (w.def.visible)
      win->show();
    else
      win->hide();
  }
}

void FltkWindowSystem::backendControlChanged(WindowState& w, ControlState& c, Aspect aspect) {
  auto it = impl_->windows.find(w.def.id);
  if (it == impl_->windows.end()) return;
  WindowWidgets& ww = *it->second;
  const auto& d = c.def;
  if (d.kind == ControlKind::Timer) {
    if (aspect != Aspect::Timer) return;
    Binding* binding = nullptr;
    for (auto& b : impl_->bindings)
      if (b->window == w.def.id && b->unit == d.id) binding = b.get();
    if (!binding) binding = impl_->bind(this, w.def.id, d.id);
    Fl::remove_timeout(timerCallback, binding);
    if (d.intervalMs > 0) Fl::add_timeout(d.intervalMs / 1000.0, timerCallback, binding);
    return;
  }
  auto wi = ww.widgets.find(d.id);
  if (wi == ww.widgets.end()) return;
  Fl_Widget* widget = wi->second;
  switch (aspect) {
    case Aspect::Geometry:
      widget->resize(d.rect.left, d.rect.top + frame(w).top, std::max(1, d.rect.width), std::max(1, d.rect.height));
      ww.window->redraw();
      break;
    case Aspect::Visible:
      if (d.visible)
        widget->show();
      else
        widget->hide();
      ww.window->redraw();
      break;
    case Aspect::Entries:
      if (auto* list = dynamic_cast<Fl_Hold_Browser*>(widget)) {
        // Entries are only ever appended.
        for (auto n = static_cast<std::size_t>(list->size()); n < d.entries.size(); ++n)
          list->add(display(d.entries[n]).c_str());
      }
      break;
    case Aspect::Selection:
      if (auto* list = dynamic_cast<Fl_Hold_Browser*>(widget)) {
        if (c.selection < 0)
          list->deselect();
        else
          list->value(c.selection + 1);
      } else if (auto* combo = dynamic_cast<Fl_Choice*>(widget)) {
        combo->value(c.selection);
      }
      break;
    case Aspect::Text:
      if (auto bi = ww.buffers.find(d.id); bi != ww.buffers.end()) {
        bi->second->text(display(d.text).c_str());
        // The log grows at the bottom: keep its last line in view.
        auto* box = static_cast<Fl_Text_Display*>(widget);
        box->insert_position(bi->second->length());
        box->show_insert_position();
      }
      break;
    case Aspect::ScrollPosition:
      if (auto* bar = dynamic_cast<Fl_Scrollbar*>(widget)) bar->value(d.scroll.position);
      break;
    case Aspect::Timer:
    case Aspect::DialogFields: break;
  }
}

std::int32_t FltkWindowSystem::backendMessageBox(std::string_view text, std::int32_t style,
                                                 std::optional<std::string_view> caption) {
  std::string title = caption ? display(*caption) : std::string();
  fl_message_title(title.c_str());
  std::string message = display(text);
  if (style == kStyleOkCancel) {
    // fl_choice numbers its buttons from the right and gives Escape and the
    // close box to button 0, so Cancel goes first.
    int choice = fl_choice("%s", kCancelLabel, kOkLabel, nullptr, message.c_str());
    return choice == 1 ? 0 : 1;
  }
  fl_message("%s", message.c_str());
  return 0;
}

std::optional<std::string> FltkWindowSystem::backendFileDialog(const WindowState&, const ControlState& c) {
  const auto& d = c.def.dialog;
  Fl_Native_File_Chooser chooser;
  const bool save = d.kind == FileDialogKind::Save;
  chooser.type(save ? Fl_Native_File_Chooser::BROWSE_SAVE_FILE : Fl_Native_File_Chooser::BROWSE_FILE);
  chooser.options(save ? Fl_Native_File_Chooser::SAVEAS_CONFIRM | Fl_Native_File_Chooser::NEW_FOLDER : 0);
  std::string title = display(d.title);
  chooser.title(title.c_str());
  std::string filter = fltkFilter(d.filter);
  if (!filter.empty()) chooser.filter(filter.c_str());

  // The preset name may be a full path from an earlier run: its folder then
  // serves when no initial folder is set.
  std::string folder;
  std::string preset = d.fileName;
  if (std::size_t sep = lastSeparator(preset); sep != std::string::npos) {
    if (d.initialFolder.empty())
      if (auto p = paths::toNative(preset.substr(0, sep)); p) folder = p->string();
    preset = preset.substr(sep + 1);
  }
  if (!d.initialFolder.empty())
    if (auto p = paths::toNative(d.initialFolder); p) folder = p->string();
  if (!folder.empty()) chooser.directory(folder.c_str());
  std::string presetUtf8 = display(preset);
  if (!presetUtf8.empty()) chooser.preset_file(presetUtf8.c_str());

  if (chooser.show() != 0 || !chooser.filename() || !*chooser.filename()) return std::nullopt;
  std::filesystem::path chosen(chooser.filename());
  auto modulePath = paths::fromNative(chosen);
  if (!modulePath) {
    fl_message_title("");
    fl_alert("%s", ("无法使用这个文件名（含有GBK无法表示的字符）：\n" + chosen.string()).c_str());
    return std::nullopt;
  }
  return *modulePath;
}

void FltkWindowSystem::backendRun() {
  while (!impl_->quit) {
    Fl::wait();
  }
}

void FltkWindowSystem::backendQuit() { impl_->quit = true; }

std::uintptr_t FltkWindowSystem::backendHandle(WindowState& w, ControlState& c) {
  auto it = impl_->windows.find(w.def.id);
  if (it == impl_->windows.end()) return 0;
  auto wi = it->second->widgets.find(c.def.id);
  // A drawing area's handle is its GlArea, which surface() maps back.
  return wi == it->second->widgets.end() ? 0 : reinterpret_cast<std::uintptr_t>(wi->second);
}

DrawingSurface* FltkWindowSystem::backendSurface(std::uintptr_t handle) {
  auto it = impl_->surfaces.find(handle);
  return it == impl_->surfaces.end() ? nullptr : it->second;
}

void FltkWindowSystem::windowCallback(Fl_Widget*, void* data) {
  auto* b = static_cast<Binding*>(data);
  // FLTK closes a window on Escape; here only the close box does.
  if (Fl::event() == FL_SHORTCUT && Fl::event_key() == FL_Escape) return;
  (void)b->sys->noteUserClose(b->window);
}

void FltkWindowSystem::menuCallback(Fl_Widget*, void* data) {
  auto* b = static_cast<Binding*>(data);
  (void)b->sys->noteMenuClick(b->window, b->unit);
}

void FltkWindowSystem::listCallback(Fl_Widget* widget, void* data) {
  auto* b = static_cast<Binding*>(data);
  int line = static_cast<Fl_Hold_Browser*>(widget)->value();
  if (line > 0) (void)b->sys->noteListChosen(b->window, b->unit, line - 1);
}

void FltkWindowSystem::comboCallback(Fl_Widget* widget, void* data) {
  auto* b = static_cast<Binding*>(data);
  int index = static_cast<Fl_Choice*>(widget)->value();
  if (index >= 0) (void)b->sys->noteComboChosen(b->window, b->unit, index);
}

void FltkWindowSystem::scrollCallback(Fl_Widget* widget, void* data) {
  auto* b = static_cast<Binding*>(data);
  (void)b->sys->noteScroll(b->window, b->unit, static_cast<std::int32_t>(static_cast<Fl_Scrollbar*>(widget)->value()));
}

void FltkWindowSystem::timerCallback(void* data) {
  // Copy first: the tick handler may close the window that owns the binding.
  Binding b = *static_cast<Binding*>(data);
  auto value = b.sys->property(b.window, b.unit, prop::kIntervalOrText);
  if (!value) return;
  auto interval = std::get<std::int32_t>(*value);
  if (interval <= 0) return;
  Fl::repeat_timeout(interval / 1000.0, timerCallback, data);
  (void)b.sys->noteTimerTick(b.window, b.unit);
}

}  // namespace ql::window
