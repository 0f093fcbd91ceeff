// The runtime's window system: builds windows from plain descriptions, keeps
// their controls' state, delivers events to one sink and answers property
// reads and writes by number. The kernel maps the module's window definitions
// onto WindowDef and its window commands onto the calls below.
//
// All texts at this interface are GBK bytes; backends convert only what they
// show. Paths (file dialogs) are module paths: GBK with '\' separators.
//
// Property semantics live here, in this class, so that every backend
// (headless, FLTK, Win32) answers them alike; a backend only mirrors state
// onto its widgets and reports what the user did.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "common/result.h"

namespace ql::window {

using Id = std::uint32_t;

enum class ControlKind : std::uint8_t {
  ListBox,      // single selection, no sorting
  ComboBox,     // pick from a fixed list of entries
  DrawingArea,  // an OpenGL surface (see DrawingSurface)
  VScrollBar,   // vertical scroll bar
  TextBox,      // multi-line, read-only for the user, with scroll bars
  Timer,        // not shown
  FileDialog,   // not shown; runs modally on request
};
const char* kindName(ControlKind kind);

enum class FileDialogKind : std::uint8_t { Open, Save };

struct Rect {
  std::int32_t left = 0;
  std::int32_t top = 0;
  std::int32_t width = 0;
  std::int32_t height = 0;
  bool operator==(const Rect&) const = default;
};

struct FontSpec {
  std::string name;         // GBK family name as designed; backends map it
  std::int32_t height = 0;  // character height in pixels; 0 = backend default
  bool bold = false;
};

struct ScrollRange {
  std::int32_t minimum = 1;
  std::int32_t maximum = 100;
  std::int32_t pageStep = 10;
  std::int32_t lineStep = 1;
  std::int32_t position = 1;  // clamped into [minimum, maximum]
};

struct FileDialogSpec {
  FileDialogKind kind = FileDialogKind::Open;
  std::string title;
  std::string fileName;          // preset name; after a confirmed run, the full path
  std::string filter;            // "description|pattern|description|pattern"
  std::string defaultExtension;  // "*.ac" or "*.pak|*.pak"; applied to save dialogs
  std::string initialFolder;     // module path, "" for the backend's default
};

struct MenuItemDef {
  Id id = 0;
  std::int32_t level = 0;  // 0 top-level menu, 1 its items, 2 their sub-items
  std::string caption;
};

struct ControlDef {
  Id id = 0;
  ControlKind kind = ControlKind::ListBox;
  std::string name;  // design name (GBK), only for messages
  Rect rect;         // relative to the window's client area
  bool visible = true;
  std::vector<std::string> entries;  // combo box: its fixed entries; list box: initial entries
  FontSpec font;                     // combo box
  ScrollRange scroll;                // vertical scroll bar
  std::int32_t intervalMs = 0;       // timer; 0 = stopped
  std::string text;                  // text box
  FileDialogSpec dialog;             // file dialog
};

struct WindowDef {
  Id id = 0;      // the window id the module uses (0x52...)
  Id unitId = 0;  // the window's own unit (0x06...); events of the window carry it
  std::string title;
  Rect rect;  // screen position and outer size
  bool visible = false;
  std::vector<MenuItemDef> menu;  // depth-first; an item belongs to the nearest preceding item one level up
  std::vector<ControlDef> controls;
};

// Event numbers as stored with each unit.
namespace event {
inline constexpr std::int32_t kCreated = 0;     // window
inline constexpr std::int32_t kDestroying = 2;  // window, still readable during the event
inline constexpr std::int32_t kMoved = 3;       // window
inline constexpr std::int32_t kResized = 4;     // window
inline constexpr std::int32_t kListChosen = 1;  // list box: the user selected an entry
inline constexpr std::int32_t kComboChanged = 0;
inline constexpr std::int32_t kTimerTick = 0;
inline constexpr std::int32_t kMenuClicked = 0;  // menu item (leaf items only)
inline constexpr std::int32_t kMouseDown = -1;   // drawing area, any button
inline constexpr std::int32_t kMouseUp = -2;
// Drawing area: the second press of a double click, in place of its down
// event (as Windows reports it); x, y and the key state as for a press.
inline constexpr std::int32_t kMouseDoubleClick = -3;
inline constexpr std::int32_t kMouseMove = -6;
// Drawing area with the keyboard focus: x is the key's Windows virtual-key
// code (vk::), y is 0, the key state holds kShift and kControl.
inline constexpr std::int32_t kKeyDown = -9;
// Drawing area under the mouse: x, y, and the key state with the wheel's turn
// in its high 16 bits (keys::wheelDelta), as Windows packs it.
inline constexpr std::int32_t kMouseWheel = -12;
}  // namespace event

// Key-state bits of mouse events (the Windows MK_ values).
namespace keys {
inline constexpr std::int32_t kLeftButton = 0x01;
inline constexpr std::int32_t kRightButton = 0x02;
inline constexpr std::int32_t kShift = 0x04;
inline constexpr std::int32_t kControl = 0x08;
inline constexpr std::int32_t kMiddleButton = 0x10;
// One notch of a mouse wheel; a turn away from the user is positive.
inline constexpr std::int32_t kWheelNotch = 120;
// The key state of a wheel event: the bits below, the turn (clamped to 16
// bits) above them.
constexpr std::int32_t withWheel(std::int32_t keyBits, std::int32_t delta) {
  const std::int32_t clamped = delta < -32768 ? -32768 : delta > 32767 ? 32767 : delta;
  return static_cast<std::int32_t>((static_cast<std::uint32_t>(clamped) << 16) |
                                   (static_cast<std::uint32_t>(keyBits) & 0xFFFFu));
}
constexpr std::int32_t wheelDelta(std::int32_t keyState) {
  return static_cast<std::int16_t>(static_cast<std::uint32_t>(keyState) >> 16);
}
}  // namespace keys

// Windows virtual-key codes of the keys that backends report.
namespace vk {
inline constexpr std::int32_t kPageUp = 0x21;
inline constexpr std::int32_t kPageDown = 0x22;
inline constexpr std::int32_t kEnd = 0x23;
inline constexpr std::int32_t kHome = 0x24;
inline constexpr std::int32_t kLeft = 0x25;
inline constexpr std::int32_t kUp = 0x26;
inline constexpr std::int32_t kRight = 0x27;
inline constexpr std::int32_t kDown = 0x28;
// Letters and digits are their upper-case ASCII codes ('A' 0x41, '0' 0x30).
}  // namespace vk

// Property numbers.
namespace prop {
inline constexpr std::int32_t kLeft = 0;
inline constexpr std::int32_t kTop = 1;
inline constexpr std::int32_t kWidth = 2;
inline constexpr std::int32_t kHeight = 3;
inline constexpr std::int32_t kVisible = 5;
inline constexpr std::int32_t kIntervalOrText = 8;  // timer interval (ms, 0 stops) / text box text
inline constexpr std::int32_t kFileName = 10;
inline constexpr std::int32_t kFilter = 11;
inline constexpr std::int32_t kScrollPosition = 12;
inline constexpr std::int32_t kInitialFolder = 13;
inline constexpr std::int32_t kListIndex = 16;
inline constexpr std::int32_t kComboIndex = 19;
}  // namespace prop

// Message box styles.
inline constexpr std::int32_t kStyleOk = 0;
inline constexpr std::int32_t kStyleOkCancel = 1;

struct Event {
  Id window = 0;  // window id (0x52...)
  Id unit = 0;    // window unit, control or menu item id
  std::int32_t number = 0;
  std::int32_t x = 0;  // mouse events: pixels of the drawing area
  std::int32_t y = 0;
  std::int32_t keys = 0;  // mouse events: keys:: bits
  bool operator==(const Event&) const = default;
};
using EventSink = std::function<void(const Event&)>;

// Integer properties hold int32; texts hold GBK bytes.
using Value = std::variant<std::int32_t, std::string>;

// Non-client parts of a window: the client area is the outer rectangle less
// these (menu bar included in `top` when the window has a menu).
struct FrameMetrics {
  std::int32_t left = 0;
  std::int32_t top = 0;
  std::int32_t right = 0;
  std::int32_t bottom = 0;
};

// The OpenGL side of a drawing area, reached through its native handle.
class DrawingSurface {
 public:
  virtual ~DrawingSurface() = default;
  // Makes the area's GL context current; false when there is none (headless,
  // or FLTK before the window is first shown: a GL context needs a mapped
  // window there).
  virtual bool makeCurrent() = 0;
  virtual void swapBuffers() = 0;
  // Called whenever the area must repaint, with its context current.
  virtual void setDrawHook(std::function<void()> hook) = 0;
  virtual void requestRedraw() = 0;
};

class WindowSystem {
 public:
  WindowSystem() = default;
  WindowSystem(const WindowSystem&) = delete;
  WindowSystem& operator=(const WindowSystem&) = delete;
  virtual ~WindowSystem() = default;

  void setEventSink(EventSink sink) { sink_ = std::move(sink); }

  // Builds the window hidden (unless def.visible), then delivers its created
  // event. The first window created is the main window: closing it ends the
  // message loop. Fails on a duplicate id, a bad menu nesting or a control
  // definition that cannot be built; nothing is created then.
  Status createWindow(const WindowDef& def, std::optional<Id> owner = std::nullopt);
  // Delivers the window's destroying event, then destroys the windows it
  // owns the same way, then the window itself; stops its timers.
  Status destroyWindow(Id window);
  bool hasWindow(Id window) const { return windows_.count(window) != 0; }
  // The title as designed or last set (GBK); nullopt when the window is not open.
  std::optional<std::string> windowTitle(Id window) const {
    auto it = windows_.find(window);
    if (it == windows_.end()) return std::nullopt;
    return it->second.def.title;
  }
  std::optional<Id> mainWindow() const { return mainWindow_; }

  // The window itself is addressed by its unit id, its window id or 0.
  Result<Value> property(Id window, Id unit, std::int32_t number) const;
  Status setProperty(Id window, Id unit, std::int32_t number, const Value& value);

  Result<std::int32_t> clientWidth(Id window) const;
  Result<std::int32_t> clientHeight(Id window) const;
  // Moves and resizes a window or a control; an omitted value stays.
  Status moveResize(Id window, Id unit, std::optional<std::int32_t> left, std::optional<std::int32_t> top,
                    std::optional<std::int32_t> width, std::optional<std::int32_t> height);

  Status addListItem(Id window, Id list, std::string_view text);
  Result<std::string> listItem(Id window, Id list, std::int32_t index) const;
  Result<std::int32_t> listCount(Id window, Id list) const;

  // A non-zero handle for any shown control; for a drawing area it leads to
  // its DrawingSurface.
  Result<std::uintptr_t> nativeHandle(Id window, Id control);
  DrawingSurface* surface(std::uintptr_t handle);

  // Style kStyleOk or kStyleOkCancel (any other value counts as kStyleOk).
  // Returns 0 for the first button (OK), 1 for Cancel; closing an OK/Cancel
  // box without choosing counts as Cancel.
  std::int32_t messageBox(std::string_view text, std::int32_t style, std::optional<std::string_view> caption);
  // Runs the file dialog modally with its current title, filter, initial
  // folder and file name. On confirmation its file name becomes the chosen
  // full path (a save dialog adds the default extension to a name that has
  // none) and the result is true; a cancel leaves the file name unchanged.
  Result<bool> runFileDialog(Id window, Id dialog);

  // Runs until the main window is closed or quit() is called. Returns 0.
  std::int32_t run();
  void quit();
  bool quitRequested() const { return quit_; }

 protected:
  struct ControlState {
    ControlDef def;  // holds the current values (rect, visible, entries, text, ...)
    std::int32_t selection = -1;
    std::uintptr_t handle = 0;
  };
  struct WindowState {
    WindowDef def;  // holds the current rect and visibility
    std::optional<Id> owner;
    bool shownOnce = false;
    bool destroying = false;  // its destroying event is being delivered
    std::vector<ControlState> controls;
    ControlState* control(Id id);
    const ControlState* control(Id id) const;
    bool isWindowUnit(Id unit) const { return unit == 0 || unit == def.id || unit == def.unitId; }
    bool hasMenuItem(Id id) const;
    bool isMenuLeaf(Id id) const;
  };
  enum class Aspect { Geometry, Visible, Entries, Selection, Text, ScrollPosition, Timer, DialogFields };

  // What the user did, reported by a backend (and injected by headless
  // tests). Each updates the state first, then delivers the event.
  Status noteWindowGeometry(Id window, Rect outer);
  Status noteUserClose(Id window);
  Status noteListChosen(Id window, Id list, std::int32_t index);
  Status noteComboChosen(Id window, Id combo, std::int32_t index);
  Status noteScroll(Id window, Id bar, std::int32_t position);
  Result<bool> noteTimerTick(Id window, Id timer);  // false: the timer is stopped
  Status noteMenuClick(Id window, Id item);
  // Press, release, double click, move or wheel over a drawing area.
  Status noteMouse(Id window, Id area, std::int32_t number, std::int32_t x, std::int32_t y, std::int32_t keyState);
  // A key pressed while a drawing area has the keyboard focus.
  Status noteKey(Id window, Id area, std::int32_t virtualKey, std::int32_t keyState);

  WindowState* findWindow(Id window);
  const WindowState* findWindow(Id window) const;
  const std::map<Id, WindowState>& windows() const { return windows_; }
  void emit(const Event& e) const;

  // Backend hooks. State is already updated when they run.
  virtual Status backendCreate(WindowState& w) = 0;
  virtual void backendDestroy(WindowState& w) = 0;
  virtual void backendWindowChanged(WindowState& w, Aspect aspect) = 0;
  virtual void backendControlChanged(WindowState& w, ControlState& c, Aspect aspect) = 0;
  virtual FrameMetrics frame(const WindowState& w) const = 0;
  virtual std::int32_t backendMessageBox(std::string_view text, std::int32_t style,
                                         std::optional<std::string_view> caption) = 0;
  // nullopt when cancelled; otherwise the chosen module path.
  virtual std::optional<std::string> backendFileDialog(const WindowState& w, const ControlState& c) = 0;
  virtual void backendRun() = 0;
  virtual void backendQuit() = 0;
  virtual std::uintptr_t backendHandle(WindowState& w, ControlState& c) = 0;
  virtual DrawingSurface* backendSurface(std::uintptr_t handle) = 0;

 private:
  Result<ControlState*> controlOf(Id window, Id unit, std::string_view what);
  Result<const ControlState*> controlOf(Id window, Id unit, std::string_view what) const;
  Status setWindowRect(WindowState& w, Rect r);
  Status setWindowVisible(Id window, bool visible);
  Status destroyOne(Id window);

  std::map<Id, WindowState> windows_;
  std::optional<Id> mainWindow_;
  EventSink sink_;
  bool quit_ = false;
};

}  // namespace ql::window
