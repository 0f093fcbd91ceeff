// The window system without a screen, for tests and tools. Controls are
// plain state; message boxes and file dialogs take their answers from a
// scripted queue and are recorded; tests inject what a user would do.
// Timers never run by themselves: tests tick them.
#pragma once

#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <stdexcept>

#include "runtime/window/window_system.h"

namespace ql::window {

// Thrown when a message box or file dialog is shown and the script has no
// fitting answer: a test that forgot an answer fails at once instead of
// hanging or guessing.
class ScriptError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// A GL surface for a headless drawing area (an offscreen context, see
// offscreen.h). The headless backend keeps it at the area's size.
class HeadlessGlTarget : public DrawingSurface {
 public:
  virtual void resize(std::int32_t width, std::int32_t height) = 0;
};
// Makes the GL target of a drawing area when its native handle is first
// asked for; null leaves the area without GL (makeCurrent fails).
using GlTargetFactory =
    std::function<std::unique_ptr<HeadlessGlTarget>(Id window, Id area, std::int32_t width, std::int32_t height)>;

class HeadlessWindowSystem final : public WindowSystem {
 public:
  struct Options {
    // A classic Windows frame: 4 px borders, a 20 px caption, a 20 px menu bar.
    std::int32_t border = 4;
    std::int32_t caption = 20;
    std::int32_t menuBar = 20;
  };

  struct MessageBoxShown {
    std::string text;
    std::int32_t style = kStyleOk;
    std::optional<std::string> caption;
    std::int32_t answer = 0;
    bool operator==(const MessageBoxShown&) const = default;
  };

  struct FileDialogShown {
    Id window = 0;
    Id dialog = 0;
    FileDialogKind kind = FileDialogKind::Open;
    std::string title;
    std::string filter;
    std::string initialFolder;
    std::string fileName;  // the preset name when shown
    std::string defaultExtension;
    bool confirmed = false;
    std::string answer;  // the scripted path, before any default extension
  };

  HeadlessWindowSystem();
  explicit HeadlessWindowSystem(Options options);
  ~HeadlessWindowSystem() override;

  // The script, consumed in order by message boxes and file dialogs alike.
  void answerMessageBox(std::int32_t button);
  void confirmFileDialog(std::string gbkPath);
  void cancelFileDialog();
  std::size_t pendingAnswers() const { return script_.size(); }
  // Message boxes the script has no button answer for (none left, or a file
  // dialog's answer next) go to this answerer instead of failing the run: for
  // tools that take every box as it comes (qlconv). It sees the box as shown
  // and returns the button; null restores failing.
  using BoxAnswerer = std::function<std::int32_t(const MessageBoxShown&)>;
  void setUnscriptedBoxAnswerer(BoxAnswerer answerer) { boxAnswerer_ = std::move(answerer); }

  const std::vector<MessageBoxShown>& messageBoxes() const { return boxes_; }
  const std::vector<FileDialogShown>& fileDialogs() const { return dialogs_; }
  // Every script failure, also when the ScriptError was caught on the way.
  const std::vector<std::string>& scriptFailures() const { return failures_; }

  // What a user would do.
  Status chooseListEntry(Id window, Id list, std::int32_t index) { return noteListChosen(window, list, index); }
  Status chooseComboEntry(Id window, Id combo, std::int32_t index) { return noteComboChosen(window, combo, index); }
  Status clickMenu(Id window, Id item) { return noteMenuClick(window, item); }
  Status mouse(Id window, Id area, std::int32_t number, std::int32_t x, std::int32_t y, std::int32_t keyState = 0) {
    return noteMouse(window, area, number, x, y, keyState);
  }
  Status key(Id window, Id area, std::int32_t virtualKey, std::int32_t keyState = 0) {
    return noteKey(window, area, virtualKey, keyState);
  }
  Status scroll(Id window, Id bar, std::int32_t position) { return noteScroll(window, bar, position); }
  Status userMoveResize(Id window, Rect outer) { return noteWindowGeometry(window, outer); }
  Status userClose(Id window) { return noteUserClose(window); }
  // One tick of one timer; false (nothing delivered) while it is stopped.
  Result<bool> tick(Id window, Id timer) { return noteTimerTick(window, timer); }
  // One tick of every running timer of every window; how many were delivered.
  std::int32_t tickAll();

  // Steps the message loop runs, in order, until the main window is closed
  // or quit is requested; with none queued it returns at once.
  void queueLoopStep(std::function<void()> step) { loop_.push_back(std::move(step)); }

  // Drawing areas whose handle is made from now on render through targets of
  // this factory; without one they have no GL context.
  void setGlTargetFactory(GlTargetFactory factory) { glFactory_ = std::move(factory); }
  // The GL target of a drawing area; null when it has none (yet).
  HeadlessGlTarget* glTarget(Id window, Id area) const;

  // How often each drawing area swapped buffers / was asked to redraw.
  std::int32_t swapCount(Id window, Id area) const;
  std::int32_t redrawCount(Id window, Id area) const;

 private:
  struct Answer {
    enum class Kind { Button, Confirm, Cancel } kind;
    std::int32_t button = 0;
    std::string path;
  };
  class Surface;

  Status backendCreate(WindowState& w) override;
  void backendDestroy(WindowState& w) override;
  void backendWindowChanged(WindowState&, Aspect) override {}
  void backendControlChanged(WindowState& w, ControlState& c, Aspect aspect) override;
  FrameMetrics frame(const WindowState& w) const override;
  std::int32_t backendMessageBox(std::string_view text, std::int32_t style,
                                 std::optional<std::string_view> caption) override;
  std::optional<std::string> backendFileDialog(const WindowState& w, const ControlState& c) override;
  void backendRun() override;
  void backendQuit() override {}
  std::uintptr_t backendHandle(WindowState& w, ControlState& c) override;
  DrawingSurface* backendSurface(std::uintptr_t handle) override;

  [[noreturn]] void scriptFailure(std::string message);
  const Surface* findSurface(Id window, Id area) const;

  Options options_;
  std::deque<Answer> script_;
  std::vector<MessageBoxShown> boxes_;
  std::vector<FileDialogShown> dialogs_;
  std::vector<std::string> failures_;
  std::deque<std::function<void()>> loop_;
  std::map<std::uintptr_t, std::unique_ptr<Surface>> surfaces_;
  std::uintptr_t nextHandle_ = 0x1000;
  GlTargetFactory glFactory_;
  BoxAnswerer boxAnswerer_;
};

}  // namespace ql::window
