// Runs the real module image (linked into the calling executable) on the real
// kernel library, loaded from the runtime folder the way the launcher loads
// it, with the headless window system: scripted answers for message boxes and
// file dialogs, loop steps that act as the user while the program runs, and a
// record of what the program showed. Shared by the scenario runner and the
// end-to-end test fixture (tests/e2e/app_fixture.h).
//
// The image is patched in place when the kernel loads it (fixups, service
// slots), so it can run only once per process as it stands; the runner keeps
// a copy of its unloaded bytes and puts them back before every run.
#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "common/result.h"
#include "common/temp_folder.h"
#include "runtime/kernel/kernel_api.h"
#include "runtime/window/headless.h"

namespace ql::apprun {

// The runtime folder of this build (kbase.qlr and the support libraries).
std::filesystem::path defaultRuntimeDir();

// Whether offscreen OpenGL for headless drawing areas was built in.
bool offscreenGlAvailable();

// The module-path form of a native path (GBK, '\' separators), as the
// runtime hands paths to the module.
Result<std::string> modulePath(const std::filesystem::path& native);

// The module image's bytes as linked, before any run patched them.
const std::vector<uint8_t>& unloadedImage();

// The menu item of the main window that a caption path names, the captions
// in UTF-8 joined by '/': "文件/输出/SKC格式". Read from the image's @form.
Result<window::Id> menuItemByPath(std::string_view utf8Path);

// Names of the first-start state in the program folder, native (UTF-8).
inline constexpr char8_t kMemoryFileName[] = u8"流星目录.txt";
inline constexpr char kTextureFolderName[] = "lx_ptx_tmp";

// What a finished first start leaves in the program folder: the memory file
// holding the game folder's module path (GBK, no line break) and the texture
// working folder. The game folder itself need not exist.
Status seedFinishedFirstStart(const std::filesystem::path& programDir, const std::filesystem::path& gameDir);

using ql::TempFolder;

// What the running program showed in its log box and model list, read while
// it ran (after the run the windows are gone).
struct Snapshot {
  bool logWindowOpen = false;
  std::string logText;                 // GBK, the whole text of 编辑框1
  std::vector<std::string> modelList;  // GBK, the entries of 列表框1
};

struct RunResult {
  int32_t stage = kQlStageNotRun;  // QlKernelStage
  int32_t exitCode = 0;
  int32_t errorCode = 0;
  int32_t cleanupRuns = 0;
  std::string detail;
  // Blocks of the kernel's allocator before and after the run.
  int64_t liveBlocksBefore = 0;
  int64_t liveBlocksAfter = 0;
  // An exception that left the runtime entry (a missing scripted answer, or
  // one thrown by a step); empty when none did.
  std::string exception;
  std::vector<window::HeadlessWindowSystem::MessageBoxShown> boxes;
  std::vector<window::HeadlessWindowSystem::FileDialogShown> dialogs;
  std::vector<std::string> scriptFailures;
  size_t unusedAnswers = 0;  // scripted answers no box or dialog took
  size_t stepsQueued = 0;    // the caller's steps
  size_t stepsRun = 0;
  Snapshot last;             // as seen after the last step that ran

  // Ended through the end-the-program service, exit code 0, the clean-up ran
  // exactly once, every kernel block freed, no exception, no script failure.
  bool endedCleanly() const;
  // One line for failure messages (UTF-8).
  std::string describe() const;
};

class AppRunner {
 public:
  struct Options {
    std::filesystem::path runtimeDir = defaultRuntimeDir();
    // Drawing areas render into offscreen GL targets (when built in);
    // otherwise they have no GL context, as on a machine without one.
    bool offscreenGl = false;
  };

  AppRunner();
  explicit AppRunner(Options options);
  ~AppRunner();
  AppRunner(const AppRunner&) = delete;
  AppRunner& operator=(const AppRunner&) = delete;

  // The window system of the run in progress, or else of the next run: script
  // answers on it before run(). After a run the next run gets a fresh one;
  // lastWindows() keeps the one that ran.
  window::HeadlessWindowSystem& windows();
  window::HeadlessWindowSystem* lastWindows() { return last_.get(); }
  void setOffscreenGl(bool on) { options_.offscreenGl = on; }

  // Queues a step for the message loop of the next run. Steps run in order;
  // after each, the log and the model list are read into the snapshot.
  void step(std::function<void()> fn);
  bool running() const { return running_; }

  // Reads the log box and the model list now (inside steps; empty outside).
  Snapshot snapshot() const;

  // Configures the kernel (program folder `gbkProgramFolder`, return on end),
  // puts the image's unloaded bytes back, and calls the runtime entry with
  // it; returns when the program has ended. Fails only when the kernel cannot
  // be loaded or configured.
  Result<RunResult> run(std::string_view gbkProgramFolder);

 private:
  Options options_;
  std::unique_ptr<window::HeadlessWindowSystem> next_;
  std::unique_ptr<window::HeadlessWindowSystem> last_;
  window::HeadlessWindowSystem* current_ = nullptr;
  bool running_ = false;
  size_t stepsQueued_ = 0;
  size_t stepsRun_ = 0;
  Snapshot lastSnapshot_;
};

}  // namespace ql::apprun
