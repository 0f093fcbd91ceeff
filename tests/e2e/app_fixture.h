// End-to-end tests of the real program: the module image linked into the test
// (ql_module_image, with the real module code), the real kernel library
// kbase.qlr loaded from the build's runtime folder, the headless window
// system, and real files in a temporary program folder (its name holds
// Chinese characters) and game folder.
//
// A test prepares files, scripts the answers of message boxes and file
// dialogs, queues loop steps that act as the user while the program runs,
// calls run(), and then asserts on what the program showed, the files it
// left and how it ended:
//
//   #include "tests/e2e/app_fixture.h"
//
//   class SaveToGame : public ql::e2e::AppFixture {};
//
//   TEST_F(SaveToGame, RefusesWithoutAModel) {
//     seedFinishedFirstStart();                       // no set-up dialogs
//     writeBytes(gameDir() / "pmodel" / "a.skc", skcBytes);
//     step([&] {                                      // runs inside the message loop
//       ASSERT_TRUE(clickMenu("文件/保存/保存到游戏").ok());
//       EXPECT_EQ(store().modelLoaded, 0);            // ql::globals(), only inside steps
//     });
//     answerBox(0);                                   // the box it will show: OK
//     run();
//     expectCleanEnd();
//     ASSERT_EQ(boxes().size(), 1u);
//     EXPECT_EQ(boxes()[0].text, gbk("没有可输出的数据!"));
//     EXPECT_EQ(finalLog(), "");
//   }
//
// Scripted answers are consumed in order by message boxes and file dialogs
// alike; a box or dialog with no answer left throws out of the run, and the
// test fails with the missing answer named (result().exception). After the
// run the kernel has freed the module's variables: read ql::globals() and the
// windows only inside steps. The log and the model list are read after every
// step and once more right before the loop runs dry (finalLog(),
// finalModelList()).
//
// Each test may call run() more than once (a second start of the program);
// the script and the steps given after a run belong to the next one, and the
// files on disk stay.
#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <ostream>
#include <string>
#include <string_view>
#include <vector>

#include <gtest/gtest.h>

#include "common/utf8_path.h"
#include "module/support/globals.h"
#include "runtime/window/headless.h"
#include "tools/qlscenario/app_runner.h"
#include "ui/form_ids.h"

namespace ql::window {
// Rectangles in failure messages as {left, top, width, height}.
void PrintTo(const Rect& r, std::ostream* os);
}  // namespace ql::window

namespace ql::e2e {

namespace fs = std::filesystem;
using window::HeadlessWindowSystem;
using window::Id;

// GBK bytes of a UTF-8 text, for expectations ("没有可输出的数据!"); a text
// without a GBK form fails the test and gives "".
std::string gbk(std::string_view utf8);
// UTF-8 of GBK bytes, for failure messages (invalid bytes become U+FFFD).
std::string utf8(std::string_view gbkText);
// The lines of a log text: cut at CR LF, without the empty piece after the
// final line break.
std::vector<std::string> lines(std::string_view text);

class AppFixture : public ::testing::Test {
 protected:
  AppFixture();
  ~AppFixture() override;
  void SetUp() override;

  // ---- Folders (native paths) ------------------------------------------------
  const fs::path& programDir() const { return programDir_; }
  // The game folder; made (with its pmodel folder) at the first call.
  const fs::path& gameDir();
  // The module path of a native path: GBK with '\' separators.
  static std::string modulePath(const fs::path& native);
  // What the program's folder and the game folder look like to the module.
  std::string programFolderText() const { return modulePath(programDir_); }
  std::string gameFolderText() { return modulePath(gameDir()); }

  // ---- Files ----------------------------------------------------------------------
  // Write bytes as the whole file, making its folders.
  static void writeBytes(const fs::path& file, std::string_view bytes);
  // Write the GBK form of a UTF-8 text.
  static void writeGbkText(const fs::path& file, std::string_view utf8Text);
  // The whole file; "" and a test failure when it cannot be read.
  static std::string readBytes(const fs::path& file);
  static bool exists(const fs::path& p);

  // What a finished first start leaves: the memory file 流星目录.txt holding
  // the game folder's module path, and the texture folder lx_ptx_tmp. Makes
  // the game folder. The start then shows no set-up dialog.
  void seedFinishedFirstStart();
  fs::path memoryFile() const { return programDir_ / apprun::kMemoryFileName; }
  fs::path textureDir() const { return programDir_ / apprun::kTextureFolderName; }

  // ---- Script and steps (before run()) ----------------------------------------
  HeadlessWindowSystem& windows() { return app_.windows(); }
  void answerBox(int32_t button = 0) { windows().answerMessageBox(button); }
  void confirmDialog(const fs::path& native) { windows().confirmFileDialog(modulePath(native)); }
  void confirmDialogText(std::string gbkPath) { windows().confirmFileDialog(std::move(gbkPath)); }
  void cancelDialog() { windows().cancelFileDialog(); }
  // A step of the message loop; steps run in order while the program runs.
  void step(std::function<void()> fn) { app_.step(std::move(fn)); }
  // Drawing areas render into offscreen GL (false when not built in).
  bool useOffscreenGl();

  // ---- Inside steps: the running program -----------------------------------
  // The module-wide variables (ql::globals()); outside a run it fails the
  // test and gives zeros.
  ql::Globals& store();
  std::string logText() { return app_.snapshot().logText; }
  std::vector<std::string> modelList() { return app_.snapshot().modelList; }
  // Property reads by number; a read that fails fails the test (0 / "").
  int32_t intProperty(Id window, Id unit, int32_t number);
  std::string textProperty(Id window, Id unit, int32_t number);
  // Outer rectangle of a window, or a control's rectangle in its window's
  // client area.
  window::Rect rectOf(Id window, Id unit = 0);
  std::string windowTitle(Id window);
  // What a user does; each returns the window system's status.
  Status clickMenu(std::string_view utf8Path);  // "文件/输出/SKC格式"
  Status chooseModel(int32_t index) { return windows().chooseListEntry(ui::kMainWindowId, ui::kListBox1Id, index); }
  Status moveMainWindow(int32_t left, int32_t top);
  Status resizeWindow(Id window, int32_t width, int32_t height);
  Status closeMainWindow() { return windows().userClose(ui::kMainWindowId); }

  // ---- Running ----------------------------------------------------------------------
  // Runs the program to its end; fails the test when the kernel cannot be
  // loaded. The result stays readable until the next run.
  const apprun::RunResult& run();
  const apprun::RunResult& result() const { return result_; }
  // The window system of the last run (its drawing areas, counters).
  HeadlessWindowSystem& lastWindows();

  const std::vector<HeadlessWindowSystem::MessageBoxShown>& boxes() const { return result_.boxes; }
  const std::vector<HeadlessWindowSystem::FileDialogShown>& dialogs() const { return result_.dialogs; }
  std::string finalLog() const { return result_.last.logText; }
  std::vector<std::string> finalLogLines() const { return lines(result_.last.logText); }
  std::vector<std::string> finalModelList() const { return result_.last.modelList; }

  // Ended normally, exit code 0, the clean-up ran once, every kernel block
  // freed, no exception, no script failure, every scripted answer and step
  // used.
  void expectCleanEnd() const;

 private:
  apprun::TempFolder temp_;
  fs::path programDir_;
  fs::path gameDir_;
  apprun::AppRunner app_;
  apprun::RunResult result_;
  bool ran_ = false;
};

// From inside a loop step: makes the drawing area's GL context current, as
// the view's set-up does, unless the view already has one. False when no
// context can be had.
bool makeViewContextCurrent();

// A 2×2 uncompressed 24-bit TGA: the smallest texture the loaders take (the
// converter reads it whatever its extension).
std::string tinyTga();

}  // namespace ql::e2e
