// The window system on Windows, with the native controls: top-level windows
// with menus, LISTBOX, COMBOBOX (drop-down list), SCROLLBAR, a read-only
// multi-line EDIT, SetTimer timers, the common file dialogs, MessageBoxW and
// an OpenGL drawing area on WGL. Handlers never see Win32 types; everything
// goes through WindowSystem.
//
// Geometry: a window's outer rectangle is its Windows frame rectangle; the
// client area is what is left inside the borders, caption and menu bar, and
// controls are placed in client coordinates.
//
// Test aid: with QL_FRAME_DUMP=<file.bmp or file.ppm> in the environment,
// every buffer swap of a drawing area first writes its back buffer to that
// file (Wine under a virtual X server shows GL child windows black in
// screenshots, so smoke tests read the frame from there).
#pragma once

#include <memory>

#include "runtime/window/window_system.h"

namespace ql::window {

class Win32WindowSystem final : public WindowSystem {
 public:
  Win32WindowSystem();
  ~Win32WindowSystem() override;

  // The native window of an open window (an HWND), 0 when none: for tests
  // and tools that drive the windows like a user.
  std::uintptr_t topLevelHandle(Id window) const;

 private:
  struct Impl;
  class Area;
  struct TopWindow;

  Status backendCreate(WindowState& w) override;
  void backendDestroy(WindowState& w) override;
  void backendWindowChanged(WindowState& w, Aspect aspect) override;
  void backendControlChanged(WindowState& w, ControlState& c, Aspect aspect) override;
  FrameMetrics frame(const WindowState& w) const override;
  std::int32_t backendMessageBox(std::string_view text, std::int32_t style,
                                 std::optional<std::string_view> caption) override;
  std::optional<std::string> backendFileDialog(const WindowState& w, const ControlState& c) override;
  void backendRun() override;
  void backendQuit() override;
  std::uintptr_t backendHandle(WindowState& w, ControlState& c) override;
  DrawingSurface* backendSurface(std::uintptr_t handle) override;

  // The window procedures, with the Win32 types kept out of this header.
  struct Procs;

  std::unique_ptr<Impl> impl_;
};

}  // namespace ql::window
