#include "runtime/window/win32/win32_window_system.h"

#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>
#include <windowsx.h>
#include <commdlg.h>
#include <GL/gl.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <limits>
#include <map>
#include <vector>

#include "common/gbk.h"
#include "runtime/window/win32/win32_text.h"

namespace ql::window {

namespace {

constexpr wchar_t kTopClass[] = L"QlWindow";
constexpr wchar_t kAreaClass[] = L"QlDrawingArea";
// Posted when Windows did not take a geometry as asked (minimum sizes): the
// state follows what is on screen once the change that caused it is done.
constexpr UINT kSyncGeometry = WM_APP + 1;
// Child ids and menu command ids share WM_COMMAND's 16 bits; menus come
// without a window handle, so the ranges only keep them readable apart.
constexpr int kFirstControlId = 0x100;
constexpr int kFirstMenuId = 0x4000;
constexpr std::size_t kMaxMenuItems = 0xFFFF - kFirstMenuId;
constexpr UINT_PTR kFirstTimerId = 1;
// The drop-down list of a combo box lies below its field, inside the height
// the combo box window is given.
constexpr int kComboDropHeight = 200;
// Borders of a combo box field around its item height.
constexpr int kComboFieldBorder = 6;
// The longest path the file dialogs return (the Windows limit for "\\?\" paths).
constexpr DWORD kFileBufferChars = 32768;
constexpr WPARAM kMouseKeyBits = MK_LBUTTON | MK_RBUTTON | MK_SHIFT | MK_CONTROL | MK_MBUTTON;

static_assert(MK_LBUTTON == keys::kLeftButton && MK_RBUTTON == keys::kRightButton && MK_SHIFT == keys::kShift &&
                  MK_CONTROL == keys::kControl && MK_MBUTTON == keys::kMiddleButton,
              "mouse key bits are passed on as Windows gives them");

// The drawing area's pixel format, field by field as the view asks for it:
// a 40-byte version 1 record, window drawing with OpenGL and double
// buffering, RGBA with 24 colour and 32 depth bits, no stencil, main plane,
// every other field 0.
static_assert(sizeof(PIXELFORMATDESCRIPTOR) == 40, "the pixel-format record is 40 bytes");
PIXELFORMATDESCRIPTOR viewPixelFormat() {
  PIXELFORMATDESCRIPTOR pfd{};
  pfd.nSize = sizeof pfd;
  pfd.nVersion = 1;
  pfd.dwFlags = PFD_DRAW_TO_WINDOW | PFD_SUPPORT_OPENGL | PFD_DOUBLEBUFFER;  // 0x25
  pfd.iPixelType = PFD_TYPE_RGBA;
  pfd.cColorBits = 24;
  pfd.cDepthBits = 32;
  pfd.cStencilBits = 0;
  pfd.iLayerType = PFD_MAIN_PLANE;
  return pfd;
}

HINSTANCE ownModule() {
  HMODULE module = nullptr;
  GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                     reinterpret_cast<LPCWSTR>(&ownModule), &module);
  return module ? module : GetModuleHandleW(nullptr);
}

std::string hex(Id id) {
  char buf[16];
  std::snprintf(buf, sizeof buf, "0x%08X", id);
  return buf;
}

std::string lastError() { return "Windows error " + std::to_string(GetLastError()); }

Rect windowRect(HWND hwnd) {
  RECT r{};
  GetWindowRect(hwnd, &r);
  return {r.left, r.top, r.right - r.left, r.bottom - r.top};
}

// Test aid: the back buffer of the current context to a 24-bit BMP (or a
// binary PPM when the name ends in .ppm), through a temporary file so that a
// reader never sees half a frame.
void dumpFrame(const std::wstring& path, int width, int height) {
  if (width <= 0 || height <= 0) return;
  const std::size_t row = static_cast<std::size_t>(width) * 3;
  std::vector<unsigned char> rgb(row * static_cast<std::size_t>(height));
  glPixelStorei(GL_PACK_ALIGNMENT, 1);
  glReadBuffer(GL_BACK);
  glReadPixels(0, 0, width, height, GL_RGB, GL_UNSIGNED_BYTE, rgb.data());

  const bool ppm = path.size() >= 4 && _wcsicmp(path.c_str() + path.size() - 4, L".ppm") == 0;
  std::vector<unsigned char> out;
  if (ppm) {
    char header[64];
    int n = std::snprintf(header, sizeof header, "P6\n%d %d\n255\n", width, height);
    out.assign(header, header + n);
    for (int y = height - 1; y >= 0; --y)  // GL rows run bottom-up
      out.insert(out.end(), rgb.begin() + static_cast<std::ptrdiff_t>(row * y),
                 rgb.begin() + static_cast<std::ptrdiff_t>(row * (y + 1)));
  } else {
    const std::size_t stride = (row + 3) & ~std::size_t{3};
    const std::size_t pixelBytes = stride * static_cast<std::size_t>(height);
    BITMAPFILEHEADER file{};
    BITMAPINFOHEADER info{};
    file.bfType = 0x4D42;  // "BM"
    file.bfOffBits = sizeof file + sizeof info;
    file.bfSize = static_cast<DWORD>(file.bfOffBits + pixelBytes);
    info.biSize = sizeof info;
    info.biWidth = width;
    info.biHeight = height;  // bottom-up, as GL reads
    info.biPlanes = 1;
    info.biBitCount = 24;
    info.biCompression = BI_RGB;
    info.biSizeImage = static_cast<DWORD>(pixelBytes);
    out.resize(file.bfOffBits + pixelBytes);
    std::memcpy(out.data(), &file, sizeof file);
    std::memcpy(out.data() + sizeof file, &info, sizeof info);
    for (int y = 0; y < height; ++y) {
      const unsigned char* src = rgb.data() + row * static_cast<std::size_t>(y);
      unsigned char* dst = out.data() + file.bfOffBits + stride * static_cast<std::size_t>(y);
      for (int x = 0; x < width; ++x) {
        dst[3 * x] = src[3 * x + 2];
        dst[3 * x + 1] = src[3 * x + 1];
        dst[3 * x + 2] = src[3 * x];
      }
    }
  }
  const std::wstring temp = path + L".part";
  FILE* f = _wfopen(temp.c_str(), L"wb");
  if (!f) return;
  const bool written = std::fwrite(out.data(), 1, out.size(), f) == out.size();
  if (std::fclose(f) == 0 && written)
    MoveFileExW(temp.c_str(), path.c_str(), MOVEFILE_REPLACE_EXISTING);
  else
    DeleteFileW(temp.c_str());
}

std::wstring frameDumpPath() {
  wchar_t buffer[MAX_PATH * 2];
  DWORD n = GetEnvironmentVariableW(L"QL_FRAME_DUMP", buffer, static_cast<DWORD>(std::size(buffer)));
  if (n == 0 || n >= std::size(buffer)) return {};
  return std::wstring(buffer, n);
}

}  // namespace

// One drawing area: a child window of its own class with a private device
// context (CS_OWNDC) and one WGL context on it.
class Win32WindowSystem::Area final : public DrawingSurface {
 public:
  Area(Id window, Id area, HWND hwnd) : window_(window), area_(area), hwnd_(hwnd), dumpPath_(frameDumpPath()) {
    dc_ = GetDC(hwnd_);
    if (!dc_) return;
    const PIXELFORMATDESCRIPTOR request = viewPixelFormat();
    const int format = ChoosePixelFormat(dc_, &request);
    if (format != 0 && SetPixelFormat(dc_, format, &request)) rc_ = wglCreateContext(dc_);
  }
  ~Area() override {
    if (rc_) {
      if (wglGetCurrentContext() == rc_) wglMakeCurrent(nullptr, nullptr);
      wglDeleteContext(rc_);
    }
    if (dc_) ReleaseDC(hwnd_, dc_);
  }
  Area(const Area&) = delete;
  Area& operator=(const Area&) = delete;

  bool makeCurrent() override { return rc_ && wglMakeCurrent(dc_, rc_); }
  void swapBuffers() override {
    ownerDraws_ = true;
    present();
  }
  void setDrawHook(std::function<void()> hook) override { hook_ = std::move(hook); }
  void requestRedraw() override { InvalidateRect(hwnd_, nullptr, FALSE); }

  bool hasHook() const { return static_cast<bool>(hook_); }
  // The hook may close the window and with it this area: the caller runs a
  // copy and checks the area is still there before presenting.
  std::function<void()> hook() const { return hook_; }
  // Without a hook the area is white until its owner draws a first frame;
  // after that the owner repaints on its own schedule.
  bool wantsWhite() const { return !ownerDraws_; }
  void present() {
    if (!dc_) return;
    if (!dumpPath_.empty() && (wglGetCurrentContext() == rc_ || makeCurrent())) {
      RECT r{};
      GetClientRect(hwnd_, &r);
      dumpFrame(dumpPath_, r.right, r.bottom);
    }
    SwapBuffers(dc_);
  }

  Id window_;
  Id area_;
  HWND hwnd_;

 private:
  HDC dc_ = nullptr;
  HGLRC rc_ = nullptr;
  std::function<void()> hook_;
  bool ownerDraws_ = false;
  std::wstring dumpPath_;
};

struct Win32WindowSystem::TopWindow {
  Win32WindowSystem* sys = nullptr;
  Id id = 0;
  HWND hwnd = nullptr;
  bool applying = true;  // our own changes (and the creation) report nothing back
  std::map<WORD, Id> menuCommands;
  std::map<HWND, Id> controls;
  std::map<Id, HWND> handles;
  std::map<UINT_PTR, Id> timers;
  std::map<Id, UINT_PTR> timerIds;
  std::vector<HFONT> fonts;
};

struct Win32WindowSystem::Impl {
  HINSTANCE instance = nullptr;
  HFONT uiFont = nullptr;
  bool ownUiFont = false;
  HBRUSH textBackground = nullptr;
  std::map<Id, std::unique_ptr<TopWindow>> windows;
  std::map<HWND, std::unique_ptr<Area>> areas;
  bool quit = false;

  TopWindow* top(Id id) {
    auto it = windows.find(id);
    return it == windows.end() ? nullptr : it->second.get();
  }
  void destroy(TopWindow& tw) {
    for (auto& [timer, control] : tw.timers) KillTimer(tw.hwnd, timer);
    for (auto& [control, hwnd] : tw.handles) areas.erase(hwnd);
    SetWindowLongPtrW(tw.hwnd, GWLP_USERDATA, 0);
    DestroyWindow(tw.hwnd);
    for (HFONT f : tw.fonts) DeleteObject(f);
  }
};

struct Win32WindowSystem::Procs {
  static LRESULT CALLBACK top(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp);
  static LRESULT CALLBACK area(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp);
  static LRESULT command(Win32WindowSystem& sys, Id window, WPARAM wp, LPARAM lp);
  static LRESULT scroll(Win32WindowSystem& sys, Id window, WPARAM wp, LPARAM lp);
  static void syncGeometry(Win32WindowSystem& sys, Id window);
};

Win32WindowSystem::Win32WindowSystem() : impl_(std::make_unique<Impl>()) {
  impl_->instance = ownModule();
  WNDCLASSEXW wc{};
  wc.cbSize = sizeof wc;
  if (!GetClassInfoExW(impl_->instance, kTopClass, &wc)) {
    wc = WNDCLASSEXW{};
    wc.cbSize = sizeof wc;
    wc.lpfnWndProc = Procs::top;
    wc.hInstance = impl_->instance;
    wc.hIcon = LoadIconW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(1));
    if (!wc.hIcon) wc.hIcon = LoadIconW(nullptr, reinterpret_cast<LPCWSTR>(IDI_APPLICATION));
    wc.hCursor = LoadCursorW(nullptr, reinterpret_cast<LPCWSTR>(IDC_ARROW));
    wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
    wc.lpszClassName = kTopClass;
    RegisterClassExW(&wc);
  }
  wc = WNDCLASSEXW{};
  wc.cbSize = sizeof wc;
  if (!GetClassInfoExW(impl_->instance, kAreaClass, &wc)) {
    wc = WNDCLASSEXW{};
    wc.cbSize = sizeof wc;
    // WGL keeps its pixel format and context on one DC; double clicks come
    // as their own messages.
    wc.style = CS_OWNDC | CS_DBLCLKS;
    wc.lpfnWndProc = Procs::area;
    wc.hInstance = impl_->instance;
    wc.hCursor = LoadCursorW(nullptr, reinterpret_cast<LPCWSTR>(IDC_ARROW));
    wc.lpszClassName = kAreaClass;
    RegisterClassExW(&wc);
  }
  // Controls take the system's message font (Chinese-capable wherever the
  // system shows Chinese); the stock default would be the old bold font.
  NONCLIENTMETRICSW metrics{};
  metrics.cbSize = sizeof metrics;
  if (SystemParametersInfoW(SPI_GETNONCLIENTMETRICS, sizeof metrics, &metrics, 0))
    impl_->uiFont = CreateFontIndirectW(&metrics.lfMessageFont);
  impl_->ownUiFont = impl_->uiFont != nullptr;
  if (!impl_->uiFont) impl_->uiFont = static_cast<HFONT>(GetStockObject(DEFAULT_GUI_FONT));
  impl_->textBackground = GetSysColorBrush(COLOR_WINDOW);
}

Win32WindowSystem::~Win32WindowSystem() {
  // Owned windows first: Windows destroys them with their owner anyway.
  std::vector<Id> order;
  for (auto& [id, tw] : impl_->windows) order.push_back(id);
  std::reverse(order.begin(), order.end());
  for (Id id : order)
    if (TopWindow* tw = impl_->top(id)) impl_->destroy(*tw);
  impl_->windows.clear();
  impl_->areas.clear();
  if (impl_->ownUiFont) DeleteObject(impl_->uiFont);
}

std::uintptr_t Win32WindowSystem::topLevelHandle(Id window) const {
  auto it = impl_->windows.find(window);
  return it == impl_->windows.end() ? 0 : reinterpret_cast<std::uintptr_t>(it->second->hwnd);
}

FrameMetrics Win32WindowSystem::frame(const WindowState& w) const {
  auto it = impl_->windows.find(w.def.id);
  if (it != impl_->windows.end() && it->second->hwnd && !IsIconic(it->second->hwnd)) {
    // What is on screen: a long menu bar may take two lines.
    HWND hwnd = it->second->hwnd;
    RECT outer{}, client{};
    GetWindowRect(hwnd, &outer);
    GetClientRect(hwnd, &client);
    POINT origin{0, 0};
    ClientToScreen(hwnd, &origin);
    return {origin.x - outer.left, origin.y - outer.top, outer.right - (origin.x + client.right),
            outer.bottom - (origin.y + client.bottom)};
  }
  RECT r{0, 0, 0, 0};
  AdjustWindowRectEx(&r, WS_OVERLAPPEDWINDOW, w.def.menu.empty() ? FALSE : TRUE, 0);
  return {-r.left, -r.top, r.right, r.bottom};
}

namespace {

HMENU buildMenu(const std::vector<MenuItemDef>& items, std::map<WORD, Id>& commands) {
  HMENU bar = CreateMenu();
  if (!bar) return nullptr;
  // The menu each level's items go into; an item with children opens the
  // next level (levels never skip one: the interface checks that).
  std::vector<HMENU> parents{bar};
  for (std::size_t i = 0; i < items.size(); ++i) {
    const auto level = static_cast<std::size_t>(items[i].level);
    parents.resize(level + 1);
    const bool hasChildren = i + 1 < items.size() && items[i + 1].level > items[i].level;
    const std::wstring caption = win32::menuText(items[i].caption);
    if (hasChildren) {
      HMENU sub = CreatePopupMenu();
      AppendMenuW(parents[level], MF_POPUP | MF_STRING, reinterpret_cast<UINT_PTR>(sub), caption.c_str());
      parents.push_back(sub);
    } else {
      const auto command = static_cast<WORD>(kFirstMenuId + i);
      commands[command] = items[i].id;
      AppendMenuW(parents[level], MF_STRING, command, caption.c_str());
    }
  }
  return bar;
}

void setScrollRange(HWND bar, const ScrollRange& s, BOOL redraw) {
  SCROLLINFO si{};
  si.cbSize = sizeof si;
  si.fMask = SIF_RANGE | SIF_PAGE | SIF_POS | SIF_DISABLENOSCROLL;
  // Windows lets the thumb reach nMax - nPage + 1: the range is widened by
  // the page so that the position can reach the maximum.
  const std::int64_t page = std::max<std::int32_t>(s.pageStep, 0);
  si.nMin = s.minimum;
  si.nMax = static_cast<int>(std::min<std::int64_t>(std::int64_t{s.maximum} + std::max<std::int64_t>(page - 1, 0),
                                                     std::numeric_limits<int>::max()));
  si.nPage = static_cast<UINT>(page);
  si.nPos = s.position;
  SetScrollInfo(bar, SB_CTL, &si, redraw);
}

void setComboFieldHeight(HWND combo, std::int32_t height) {
  if (height > kComboFieldBorder)
    SendMessageW(combo, CB_SETITEMHEIGHT, static_cast<WPARAM>(-1), height - kComboFieldBorder);
}

void showTextEnd(HWND edit) {
  // The log grows at the bottom: keep its last line in view.
  const LRESULT length = GetWindowTextLengthW(edit);
  SendMessageW(edit, EM_SETSEL, static_cast<WPARAM>(length), length);
  SendMessageW(edit, EM_SCROLLCARET, 0, 0);
}

}  // namespace

Status Win32WindowSystem::backendCreate(WindowState& w) {
  const Id id = w.def.id;
  if (w.def.menu.size() > kMaxMenuItems)
    return fail("window " + hex(id) + ": " + std::to_string(w.def.menu.size()) + " menu items; at most " +
                std::to_string(kMaxMenuItems) + " fit");
  auto tw = std::make_unique<TopWindow>();
  tw->sys = this;
  tw->id = id;
  HMENU menu = w.def.menu.empty() ? nullptr : buildMenu(w.def.menu, tw->menuCommands);
  HWND owner = nullptr;
  if (w.owner)
    if (TopWindow* o = impl_->top(*w.owner)) owner = o->hwnd;
  const Rect& r = w.def.rect;
  const std::wstring title = win32::displayText(w.def.title);
  HWND hwnd = CreateWindowExW(0, kTopClass, title.c_str(), WS_OVERLAPPEDWINDOW | WS_CLIPCHILDREN, r.left, r.top,
                              r.width, r.height, owner, menu, impl_->instance, tw.get());
  if (!hwnd) {
    const std::string error = lastError();
    if (menu) DestroyMenu(menu);
    return fail("window " + hex(id) + ": cannot create it (" + error + ")");
  }
  tw->hwnd = hwnd;

  for (std::size_t i = 0; i < w.controls.size(); ++i) {
    const ControlDef& d = w.controls[i].def;
    const auto childId = reinterpret_cast<HMENU>(static_cast<UINT_PTR>(kFirstControlId + i));
    const DWORD shown = WS_CHILD | (d.visible ? WS_VISIBLE : 0);
    const int x = d.rect.left, y = d.rect.top, cw = d.rect.width, ch = d.rect.height;
    HWND child = nullptr;
    switch (d.kind) {
      case ControlKind::ListBox:
        child = CreateWindowExW(WS_EX_CLIENTEDGE, L"LISTBOX", nullptr,
                                shown | WS_VSCROLL | WS_TABSTOP | LBS_NOTIFY | LBS_NOINTEGRALHEIGHT, x, y, cw, ch,
                                hwnd, childId, impl_->instance, nullptr);
        if (!child) break;
        SendMessageW(child, WM_SETFONT, reinterpret_cast<WPARAM>(impl_->uiFont), FALSE);
        for (const auto& e : d.entries)
          SendMessageW(child, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(win32::displayText(e).c_str()));
        break;
      case ControlKind::ComboBox: {
        child = CreateWindowExW(0, L"COMBOBOX", nullptr, shown | WS_VSCROLL | WS_TABSTOP | CBS_DROPDOWNLIST, x, y, cw,
                                ch + kComboDropHeight, hwnd, childId, impl_->instance, nullptr);
        if (!child) break;
        // The designed family ("宋体" bold) with its size and weight; a
        // height of 0 keeps the system's size.
        HFONT font = nullptr;
        if (!d.font.name.empty() || d.font.height > 0 || d.font.bold) {
          LOGFONTW lf{};
          GetObjectW(impl_->uiFont, sizeof lf, &lf);
          const std::wstring family = d.font.name.empty() ? std::wstring(lf.lfFaceName) : win32::fontFamily(d.font.name);
          font = CreateFontW(d.font.height > 0 ? -d.font.height : lf.lfHeight, 0, 0, 0,
                             d.font.bold ? FW_BOLD : FW_NORMAL, FALSE, FALSE, FALSE, GB2312_CHARSET,
                             OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY, DEFAULT_PITCH | FF_DONTCARE,
                             family.c_str());
        }
        if (font) tw->fonts.push_back(font);
        SendMessageW(child, WM_SETFONT, reinterpret_cast<WPARAM>(font ? font : impl_->uiFont), FALSE);
        // Combo boxes show '&' as it is (no menu escapes).
        for (const auto& e : d.entries) {
          std::wstring text = win32::displayText(e);
          std::erase(text, L'\r');
          std::erase(text, L'\n');
          SendMessageW(child, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(text.c_str()));
        }
        setComboFieldHeight(child, ch);
        break;
      }
      case ControlKind::DrawingArea:
        child = CreateWindowExW(0, kAreaClass, nullptr, shown | WS_CLIPSIBLINGS | WS_CLIPCHILDREN, x, y, cw, ch, hwnd,
                                childId, impl_->instance, nullptr);
        if (!child) break;
        {
          auto area = std::make_unique<Area>(id, d.id, child);
          SetWindowLongPtrW(child, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
          impl_->areas[child] = std::move(area);
        }
        break;
      case ControlKind::VScrollBar:
        child = CreateWindowExW(0, L"SCROLLBAR", nullptr, shown | SBS_VERT, x, y, cw, ch, hwnd, childId,
                                impl_->instance, nullptr);
        if (child) setScrollRange(child, d.scroll, FALSE);
        break;
      case ControlKind::TextBox:
        child = CreateWindowExW(WS_EX_CLIENTEDGE, L"EDIT", nullptr,
                                shown | WS_VSCROLL | WS_HSCROLL | ES_MULTILINE | ES_READONLY | ES_AUTOVSCROLL |
                                    ES_AUTOHSCROLL,
                                x, y, cw, ch, hwnd, childId, impl_->instance, nullptr);
        if (!child) break;
        SendMessageW(child, EM_SETLIMITTEXT, 0, 0);  // no 32K limit on the log
        SendMessageW(child, WM_SETFONT, reinterpret_cast<WPARAM>(impl_->uiFont), FALSE);
        SetWindowTextW(child, win32::editText(d.text).c_str());
        showTextEnd(child);
        break;
      case ControlKind::Timer: {
        const UINT_PTR timer = kFirstTimerId + i;
        tw->timers[timer] = d.id;
        tw->timerIds[d.id] = timer;
        continue;
      }
      case ControlKind::FileDialog: continue;
    }
    if (!child) {
      const std::string error = lastError();
      impl_->destroy(*tw);
      return fail("window " + hex(id) + ": control " + std::to_string(i) + " (" + kindName(d.kind) + " " +
                  hex(d.id) + ") cannot be created (" + error + ")");
    }
    tw->controls[child] = d.id;
    tw->handles[d.id] = child;
  }

  TopWindow& created = *tw;
  impl_->windows[id] = std::move(tw);
  created.applying = false;
  for (auto& c : w.controls)
    if (c.def.kind == ControlKind::Timer) backendControlChanged(w, c, Aspect::Timer);
  // Windows may have refused the size (minimum track size).
  if (windowRect(hwnd) != w.def.rect) PostMessageW(hwnd, kSyncGeometry, 0, 0);
  return Ok{};
}

void Win32WindowSystem::backendDestroy(WindowState& w) {
  auto it = impl_->windows.find(w.def.id);
  if (it == impl_->windows.end()) return;
  // The window procedure may be running for this window right now (its
  // close box): it keeps what it needs on its stack.
  std::unique_ptr<TopWindow> tw = std::move(it->second);
  impl_->windows.erase(it);
  impl_->destroy(*tw);
}

void Win32WindowSystem::backendWindowChanged(WindowState& w, Aspect aspect) {
  TopWindow* tw = impl_->top(w.def.id);
  if (!tw) return;
  if (aspect == Aspect::Geometry) {
    const Rect& r = w.def.rect;
    if (windowRect(tw->hwnd) == r) return;
    tw->applying = true;
    SetWindowPos(tw->hwnd, nullptr, r.left, r.top, r.width, r.height, SWP_NOZORDER | SWP_NOACTIVATE);
    tw->applying = false;
    if (windowRect(tw->hwnd) != r && !IsIconic(tw->hwnd)) PostMessageW(tw->hwnd, kSyncGeometry, 0, 0);
  } else if (aspect == Aspect::Visible) {
    tw->applying = true;
    ShowWindow(tw->hwnd, w.def.visible ? SW_SHOW : SW_HIDE);
    tw->applying = false;
    if (w.def.visible) UpdateWindow(tw->hwnd);
  }
}

void Win32WindowSystem::backendControlChanged(WindowState& w, ControlState& c, Aspect aspect) {
  TopWindow* tw = impl_->top(w.def.id);
  if (!tw) return;
  const ControlDef& d = c.def;
  if (d.kind == ControlKind::Timer) {
    if (aspect != Aspect::Timer) return;
    auto t = tw->timerIds.find(d.id);
    if (t == tw->timerIds.end()) return;
    // SetTimer on a running timer restarts its count, as the interface wants.
    if (d.intervalMs > 0)
      SetTimer(tw->hwnd, t->second, static_cast<UINT>(d.intervalMs), nullptr);
    else
      KillTimer(tw->hwnd, t->second);
    return;
  }
  auto h = tw->handles.find(d.id);
  if (h == tw->handles.end()) return;
  HWND child = h->second;
  switch (aspect) {
    case Aspect::Geometry: {
      const int extra = d.kind == ControlKind::ComboBox ? kComboDropHeight : 0;
      MoveWindow(child, d.rect.left, d.rect.top, d.rect.width, d.rect.height + extra, TRUE);
      if (d.kind == ControlKind::ComboBox) setComboFieldHeight(child, d.rect.height);
      break;
    }
    case Aspect::Visible: ShowWindow(child, d.visible ? SW_SHOWNA : SW_HIDE); break;
    case Aspect::Entries:
      if (d.kind == ControlKind::ListBox) {
        // Entries are only ever appended.
        const LRESULT count = SendMessageW(child, LB_GETCOUNT, 0, 0);
        for (auto n = static_cast<std::size_t>(std::max<LRESULT>(count, 0)); n < d.entries.size(); ++n)
          SendMessageW(child, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(win32::displayText(d.entries[n]).c_str()));
      }
      break;
    case Aspect::Selection:
      // -1 clears; neither message reports a change back.
      if (d.kind == ControlKind::ListBox) SendMessageW(child, LB_SETCURSEL, static_cast<WPARAM>(c.selection), 0);
      if (d.kind == ControlKind::ComboBox) SendMessageW(child, CB_SETCURSEL, static_cast<WPARAM>(c.selection), 0);
      break;
    case Aspect::Text:
      if (d.kind == ControlKind::TextBox) {
        SetWindowTextW(child, win32::editText(d.text).c_str());
        showTextEnd(child);
      }
      break;
    case Aspect::ScrollPosition:
      if (d.kind == ControlKind::VScrollBar) {
        SCROLLINFO si{};
        si.cbSize = sizeof si;
        si.fMask = SIF_POS;
        si.nPos = d.scroll.position;
        SetScrollInfo(child, SB_CTL, &si, TRUE);
      }
      break;
    case Aspect::Timer:
    case Aspect::DialogFields: break;
  }
}

std::int32_t Win32WindowSystem::backendMessageBox(std::string_view text, std::int32_t style,
                                                  std::optional<std::string_view> caption) {
  HWND owner = GetActiveWindow();
  UINT flags = style == kStyleOkCancel ? MB_OKCANCEL : MB_OK;
  // With no window of ours active the box still blocks all of them.
  if (!owner) flags |= MB_TASKMODAL;
  const std::wstring message = win32::displayText(text);
  const std::wstring title = caption ? win32::displayText(*caption) : std::wstring();
  const int answer = MessageBoxW(owner, message.c_str(), title.c_str(), flags);
  // A box that could not be shown answers Cancel: a question is not taken as agreed.
  return answer == IDOK ? 0 : 1;
}

std::optional<std::string> Win32WindowSystem::backendFileDialog(const WindowState& w, const ControlState& c) {
  const FileDialogSpec& d = c.def.dialog;
  const bool save = d.kind == FileDialogKind::Save;
  const win32::DialogStart start = win32::dialogStart(d);
  const std::wstring filter = win32::dialogFilter(d.filter);
  const std::wstring title = win32::displayText(d.title);
  std::vector<wchar_t> file(kFileBufferChars, L'\0');
  std::copy_n(start.fileName.begin(), std::min<std::size_t>(start.fileName.size(), file.size() - 1), file.begin());

  TopWindow* tw = impl_->top(w.def.id);
  OPENFILENAMEW ofn{};
  ofn.lStructSize = sizeof ofn;
  ofn.hwndOwner = tw ? tw->hwnd : nullptr;
  ofn.lpstrFilter = filter.empty() ? nullptr : filter.c_str();
  ofn.nFilterIndex = 1;
  ofn.lpstrFile = file.data();
  ofn.nMaxFile = static_cast<DWORD>(file.size());
  ofn.lpstrInitialDir = start.folder.empty() ? nullptr : start.folder.c_str();
  ofn.lpstrTitle = title.empty() ? nullptr : title.c_str();
  ofn.lpstrDefExt = start.defaultExtension.empty() ? nullptr : start.defaultExtension.c_str();
  // Our dialogs never move the process's current folder: relative paths
  // elsewhere in the run keep their meaning.
  ofn.Flags = OFN_EXPLORER | OFN_NOCHANGEDIR | OFN_HIDEREADONLY | OFN_PATHMUSTEXIST |
              (save ? OFN_OVERWRITEPROMPT : OFN_FILEMUSTEXIST);
  const BOOL confirmed = save ? GetSaveFileNameW(&ofn) : GetOpenFileNameW(&ofn);
  if (!confirmed || file[0] == L'\0') return std::nullopt;
  const std::wstring chosen(file.data());
  auto modulePath = wideToGbk(chosen);
  if (!modulePath) {
    const std::wstring message = L"无法使用这个文件名（含有GBK无法表示的字符）：\n" + chosen;
    MessageBoxW(ofn.hwndOwner, message.c_str(), L"", MB_OK | MB_ICONWARNING);
    return std::nullopt;
  }
  return *modulePath;
}

void Win32WindowSystem::backendRun() {
  MSG msg;
  while (!impl_->quit) {
    const BOOL got = GetMessageW(&msg, nullptr, 0, 0);
    if (got == 0 || got == -1) break;  // WM_QUIT from elsewhere, or no queue
    TranslateMessage(&msg);
    DispatchMessageW(&msg);
  }
}

void Win32WindowSystem::backendQuit() {
  impl_->quit = true;
  // The loop checks the flag after each message; this one wakes it. (No
  // WM_QUIT: one left in the queue would close the next message box at once.)
  PostThreadMessageW(GetCurrentThreadId(), WM_NULL, 0, 0);
}

std::uintptr_t Win32WindowSystem::backendHandle(WindowState& w, ControlState& c) {
  TopWindow* tw = impl_->top(w.def.id);
  if (!tw) return 0;
  auto h = tw->handles.find(c.def.id);
  return h == tw->handles.end() ? 0 : reinterpret_cast<std::uintptr_t>(h->second);
}

DrawingSurface* Win32WindowSystem::backendSurface(std::uintptr_t handle) {
  auto it = impl_->areas.find(reinterpret_cast<HWND>(handle));
  return it == impl_->areas.end() ? nullptr : it->second.get();
}

void Win32WindowSystem::Procs::syncGeometry(Win32WindowSystem& sys, Id window) {
  TopWindow* tw = sys.impl_->top(window);
  if (!tw || IsIconic(tw->hwnd)) return;
  (void)sys.noteWindowGeometry(window, windowRect(tw->hwnd));
}

LRESULT Win32WindowSystem::Procs::command(Win32WindowSystem& sys, Id window, WPARAM wp, LPARAM lp) {
  TopWindow* tw = sys.impl_->top(window);
  if (!tw) return 0;
  if (lp == 0) {
    // A menu item (HIWORD 0) or an accelerator (1); we have no accelerators.
    auto it = tw->menuCommands.find(LOWORD(wp));
    if (it != tw->menuCommands.end()) (void)sys.noteMenuClick(window, it->second);
    return 0;
  }
  HWND child = reinterpret_cast<HWND>(lp);
  auto it = tw->controls.find(child);
  if (it == tw->controls.end()) return 0;
  const Id control = it->second;
  const WindowState* w = sys.findWindow(window);
  const ControlState* c = w ? w->control(control) : nullptr;
  if (!c) return 0;
  if (c->def.kind == ControlKind::ListBox && HIWORD(wp) == LBN_SELCHANGE) {
    const LRESULT index = SendMessageW(child, LB_GETCURSEL, 0, 0);
    if (index >= 0) (void)sys.noteListChosen(window, control, static_cast<std::int32_t>(index));
  } else if (c->def.kind == ControlKind::ComboBox && HIWORD(wp) == CBN_SELCHANGE) {
    const LRESULT index = SendMessageW(child, CB_GETCURSEL, 0, 0);
    if (index >= 0) (void)sys.noteComboChosen(window, control, static_cast<std::int32_t>(index));
  }
  return 0;
}

LRESULT Win32WindowSystem::Procs::scroll(Win32WindowSystem& sys, Id window, WPARAM wp, LPARAM lp) {
  TopWindow* tw = sys.impl_->top(window);
  if (!tw || lp == 0) return 0;
  HWND bar = reinterpret_cast<HWND>(lp);
  auto it = tw->controls.find(bar);
  if (it == tw->controls.end()) return 0;
  const WindowState* w = sys.findWindow(window);
  const ControlState* c = w ? w->control(it->second) : nullptr;
  if (!c || c->def.kind != ControlKind::VScrollBar) return 0;
  const ScrollRange& s = c->def.scroll;
  // Wide arithmetic: steps near the int32 limits must not wrap around.
  std::int64_t position = s.position;
  switch (LOWORD(wp)) {
    case SB_LINEUP: position -= s.lineStep; break;
    case SB_LINEDOWN: position += s.lineStep; break;
    case SB_PAGEUP: position -= s.pageStep; break;
    case SB_PAGEDOWN: position += s.pageStep; break;
    case SB_THUMBTRACK:
    case SB_THUMBPOSITION: {
      SCROLLINFO si{};
      si.cbSize = sizeof si;
      si.fMask = SIF_TRACKPOS;
      GetScrollInfo(bar, SB_CTL, &si);
      position = si.nTrackPos;
      break;
    }
    case SB_TOP: position = s.minimum; break;
    case SB_BOTTOM: position = s.maximum; break;
    default: return 0;  // SB_ENDSCROLL
  }
  position = std::clamp<std::int64_t>(position, s.minimum, s.maximum);
  (void)sys.noteScroll(window, it->second, static_cast<std::int32_t>(position));
  return 0;
}

LRESULT CALLBACK Win32WindowSystem::Procs::top(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
  if (msg == WM_NCCREATE) {
    auto* tw = static_cast<TopWindow*>(reinterpret_cast<CREATESTRUCTW*>(lp)->lpCreateParams);
    SetWindowLongPtrW(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(tw));
    return DefWindowProcW(hwnd, msg, wp, lp);
  }
  auto* tw = reinterpret_cast<TopWindow*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
  if (!tw) return DefWindowProcW(hwnd, msg, wp, lp);
  // A handler may close this window and free `tw`: keep copies.
  Win32WindowSystem& sys = *tw->sys;
  const Id window = tw->id;
  switch (msg) {
    case WM_CLOSE: (void)sys.noteUserClose(window); return 0;
    case WM_COMMAND: return command(sys, window, wp, lp);
    case WM_VSCROLL: return scroll(sys, window, wp, lp);
    case WM_TIMER: {
      auto t = tw->timers.find(static_cast<UINT_PTR>(wp));
      if (t == tw->timers.end()) return 0;
      const UINT_PTR timer = t->first;
      auto ticked = sys.noteTimerTick(window, t->second);
      if (ticked && !*ticked && sys.impl_->top(window)) KillTimer(hwnd, timer);
      return 0;
    }
    case WM_WINDOWPOSCHANGED: {
      const LRESULT result = DefWindowProcW(hwnd, msg, wp, lp);
      const auto* pos = reinterpret_cast<const WINDOWPOS*>(lp);
      const bool changed = (pos->flags & (SWP_NOMOVE | SWP_NOSIZE)) != (SWP_NOMOVE | SWP_NOSIZE);
      // User moves and resizes, and the system's placement, reach the state
      // here; our own changes are in the state already.
      if (changed && !tw->applying) syncGeometry(sys, window);
      return result;
    }
    case kSyncGeometry: syncGeometry(sys, window); return 0;
    case WM_CTLCOLORSTATIC: {
      // A read-only edit box would be grey; the log reads better on white.
      HWND child = reinterpret_cast<HWND>(lp);
      wchar_t cls[16] = {};
      if (tw->controls.count(child) && GetClassNameW(child, cls, 16) && _wcsicmp(cls, L"Edit") == 0) {
        HDC dc = reinterpret_cast<HDC>(wp);
        SetBkColor(dc, GetSysColor(COLOR_WINDOW));
        SetTextColor(dc, GetSysColor(COLOR_WINDOWTEXT));
        return reinterpret_cast<LRESULT>(sys.impl_->textBackground);
      }
      break;
    }
    default: break;
  }
  return DefWindowProcW(hwnd, msg, wp, lp);
}

LRESULT CALLBACK Win32WindowSystem::Procs::area(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
  auto* sys = reinterpret_cast<Win32WindowSystem*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
  if (!sys) return DefWindowProcW(hwnd, msg, wp, lp);
  auto found = sys->impl_->areas.find(hwnd);
  if (found == sys->impl_->areas.end()) return DefWindowProcW(hwnd, msg, wp, lp);
  Area& area = *found->second;
  const Id window = area.window_, control = area.area_;
  std::int32_t number = 0;
  switch (msg) {
    case WM_ERASEBKGND: return 1;  // GL paints every pixel
    case WM_PAINT: {
      PAINTSTRUCT ps;
      BeginPaint(hwnd, &ps);
      EndPaint(hwnd, &ps);
      if (!area.makeCurrent()) return 0;
      if (area.hasHook()) {
        auto hook = area.hook();
        hook();
        auto again = sys->impl_->areas.find(hwnd);
        if (again != sys->impl_->areas.end()) again->second->present();
      } else if (area.wantsWhite()) {
        glClearColor(1.0f, 1.0f, 1.0f, 1.0f);
        glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
        area.present();
      }
      return 0;
    }
    case WM_LBUTTONDOWN:
    case WM_RBUTTONDOWN:
    case WM_MBUTTONDOWN:
    case WM_LBUTTONDBLCLK:
    case WM_RBUTTONDBLCLK:
    case WM_MBUTTONDBLCLK:
      // A click gives the area the keyboard (for its keys). Drags that leave
      // the area still report their moves and the release.
      SetFocus(hwnd);
      SetCapture(hwnd);
      number = (msg == WM_LBUTTONDBLCLK || msg == WM_RBUTTONDBLCLK || msg == WM_MBUTTONDBLCLK)
                   ? event::kMouseDoubleClick
                   : event::kMouseDown;
      break;
    case WM_LBUTTONUP:
    case WM_RBUTTONUP:
    case WM_MBUTTONUP:
      if ((wp & (MK_LBUTTON | MK_RBUTTON | MK_MBUTTON)) == 0 && GetCapture() == hwnd) ReleaseCapture();
      number = event::kMouseUp;
      break;
    case WM_MOUSEMOVE: number = event::kMouseMove; break;
    case WM_MOUSEWHEEL: {
      // The wheel's position comes in screen coordinates.
      POINT at{GET_X_LPARAM(lp), GET_Y_LPARAM(lp)};
      ScreenToClient(hwnd, &at);
      // With the keyboard focus here, the wheel comes here wherever the mouse
      // is (older Windows): only a wheel over the area is its own.
      RECT client{};
      GetClientRect(hwnd, &client);
      if (!PtInRect(&client, at)) return DefWindowProcW(hwnd, msg, wp, lp);
      const std::int32_t keyState =
          keys::withWheel(static_cast<std::int32_t>(GET_KEYSTATE_WPARAM(wp) & kMouseKeyBits), GET_WHEEL_DELTA_WPARAM(wp));
      (void)sys->noteMouse(window, control, event::kMouseWheel, at.x, at.y, keyState);
      return 0;
    }
    case WM_KEYDOWN: {
      std::int32_t keyState = 0;
      if (GetKeyState(VK_SHIFT) < 0) keyState |= keys::kShift;
      if (GetKeyState(VK_CONTROL) < 0) keyState |= keys::kControl;
      (void)sys->noteKey(window, control, static_cast<std::int32_t>(wp), keyState);
      return 0;
    }
    default: return DefWindowProcW(hwnd, msg, wp, lp);
  }
  (void)sys->noteMouse(window, control, number, GET_X_LPARAM(lp), GET_Y_LPARAM(lp),
                       static_cast<std::int32_t>(wp & kMouseKeyBits));
  return 0;
}

}  // namespace ql::window
