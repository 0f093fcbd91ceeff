// The window system on the Linux desktop, with FLTK 1.3. Handlers never see
// FLTK types; everything goes through WindowSystem.
//
// Geometry: a window's outer rectangle is its FLTK window (the window
// manager's decorations are not counted); the menu bar lies inside it, so the
// client area starts below the menu bar.
#pragma once

#include <memory>
#include <string>

#include "runtime/window/window_system.h"

class Fl_Widget;

namespace ql::window {

class FltkWindowSystem final : public WindowSystem {
 public:
  static constexpr std::int32_t kMenuBarHeight = 25;

  // Sets the CJK fonts up; the caller must have checked displayAvailable()
  // (FLTK ends the process when it cannot open the display).
  FltkWindowSystem();
  ~FltkWindowSystem() override;

  // True when an X display can be opened.
  static bool displayAvailable();
  // The font family chosen for all texts ("" when no CJK font was found).
  const std::string& cjkFontFamily() const;

 private:
  struct Impl;
  struct Binding;
  class TopWindow;
  class GlArea;

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

  static void windowCallback(Fl_Widget* widget, void* data);
  static void menuCallback(Fl_Widget* widget, void* data);
  static void listCallback(Fl_Widget* widget, void* data);
  static void comboCallback(Fl_Widget* widget, void* data);
  static void scrollCallback(Fl_Widget* widget, void* data);
  static void timerCallback(void* data);

  std::unique_ptr<Impl> impl_;
};

}  // namespace ql::window
