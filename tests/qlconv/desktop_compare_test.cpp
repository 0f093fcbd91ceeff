// qlconv's output against what the desktop program writes when a user does
// the same: the end-to-end fixture chooses the model in the list (or opens
// the OBJ) and clicks the export, answering the dialogs by hand. The files
// must be the same bytes; only the MTL's texture paths differ, by the program
// folder (the fixture's own against qlconv's ".").
#include <gtest/gtest.h>

#include <map>
#include <string>

#include "common/gbk.h"
#include "tests/e2e/app_fixture.h"
#include "tests/qlconv/qlconv_support.h"

namespace ql::qlconv {
namespace {

namespace fs = std::filesystem;
using e2e::gbk;

const fs::path kQlconv = QLCONV_BINARY;
const fs::path kSampleModels = QLCONV_SAMPLE_MODELS;

std::map<std::string, std::string> filesUnder(const fs::path& dir) {
  std::map<std::string, std::string> files;
  for (const auto& e : fs::recursive_directory_iterator(dir))
    if (e.is_regular_file()) files[fs::relative(e.path(), dir).string()] = test::readFile(e.path());
  return files;
}

void replaceAll(std::string& s, const std::string& from, const std::string& to) {
  for (size_t at = s.find(from); at != std::string::npos; at = s.find(from, at + to.size()))
    s.replace(at, from.size(), to);
}

struct Case {
  const char* menu;    // the export menu item
  const char* format;  // qlconv's --to
  const char* output;  // relative to the output folder
};
const Case kCases[] = {
    {"文件/输出/OBJ格式", "obj", "hero01/hero01.obj"},
    {"文件/输出/AC3D格式", "ac3d", "hero01.ac"},
    {"文件/输出/SKC格式", "skc", "hero01.skc"},
};

class QlconvAgainstDesktop : public e2e::AppFixture {
 protected:
  // The fixture's own outputs go to desktop/, qlconv's to qlconv/.
  fs::path base() { return gameDir().parent_path(); }

  void expectSameFiles(const fs::path& desktop, const fs::path& tool) {
    auto a = filesUnder(desktop);
    const auto b = filesUnder(tool);
    ASSERT_FALSE(b.empty());
    // The texture folder is the program folder's lx_ptx_tmp (in the MTL in
    // the form of Linux paths).
    const std::string linuxFolder = gbkPathToLinux(programFolderText()).value();
    for (auto& [name, bytes] : a) {
      replaceAll(bytes, programFolderText() + "\\lx_ptx_tmp\\", ".\\lx_ptx_tmp\\");
      replaceAll(bytes, linuxFolder + "/lx_ptx_tmp/", "./lx_ptx_tmp/");
    }
    EXPECT_EQ(a.size(), b.size());
    for (const auto& [name, bytes] : a) {
      auto it = b.find(name);
      ASSERT_NE(it, b.end()) << name << " missing from qlconv's output";
      EXPECT_TRUE(bytes == it->second) << name << " differs";
    }
  }
};

TEST_F(QlconvAgainstDesktop, SkcModelChosenInTheListAndExported) {
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.format);
    seedFinishedFirstStart();
    const std::string model = test::readFile(kSampleModels / "hero01.skc");
    ASSERT_FALSE(model.empty());
    writeBytes(gameDir() / "pmodel" / "hero01.skc", model);
    const fs::path desktop = base() / (std::string("desktop-") + c.format);
    const fs::path out = desktop / c.output;
    fs::create_directories(out.parent_path());
    step([&] { ASSERT_TRUE(chooseModel(0).ok()); });
    step([&] { ASSERT_TRUE(clickMenu(c.menu).ok()); });
    answerBox(0);  // "k" + the triangle count
    confirmDialog(out);
    answerBox(0);  // the writer's report
    run();
    expectCleanEnd();

    const fs::path tool = base() / (std::string("qlconv-") + c.format);
    const auto r = test::runProgram(kQlconv, {"--to", c.format, "-o", tool.string(),
                                              (gameDir() / "pmodel" / "hero01.skc").string()},
                                    base());
    ASSERT_EQ(r.exitStatus, 0) << r.err;
    expectSameFiles(desktop, tool);
  }
}

TEST_F(QlconvAgainstDesktop, ObjOpenedAndExportedAsSkc) {
  // An OBJ of the sample model, written by qlconv, read back both ways.
  const fs::path objDir = base() / "obj";
  auto r = test::runProgram(kQlconv, {"-o", objDir.string(), (kSampleModels / "monk03.skc").string()}, base());
  ASSERT_EQ(r.exitStatus, 0) << r.err;
  const fs::path obj = objDir / "monk03" / "monk03.obj";

  seedFinishedFirstStart();
  const fs::path desktop = base() / "desktop";
  fs::create_directories(desktop);
  step([&] { ASSERT_TRUE(clickMenu("文件/打开/打开OBJ格式").ok()); });
  step([&] { ASSERT_TRUE(clickMenu("文件/输出/SKC格式").ok()); });
  confirmDialog(obj);
  confirmDialog(desktop / "monk03.skc");
  answerBox(0);
  run();
  expectCleanEnd();

  const fs::path tool = base() / "tool";
  r = test::runProgram(kQlconv, {"-o", tool.string(), obj.string()}, base());
  ASSERT_EQ(r.exitStatus, 0) << r.err;
  expectSameFiles(desktop, tool);
}

// The window system's answerer that qlconv relies on: boxes with no button
// answer scripted take it, while file dialogs keep their scripted answers.
TEST(QlconvHeadless, UnscriptedBoxesGoToTheAnswerer) {
  window::HeadlessWindowSystem w;
  std::vector<std::string> seen;
  w.setUnscriptedBoxAnswerer([&](const window::HeadlessWindowSystem::MessageBoxShown& b) {
    seen.push_back(b.text);
    return b.style == window::kStyleOkCancel ? 1 : 0;
  });
  w.answerMessageBox(0);
  w.confirmFileDialog("x");
  EXPECT_EQ(w.messageBox("scripted", window::kStyleOkCancel, std::nullopt), 0);  // the script comes first
  EXPECT_EQ(w.messageBox("ahead of the dialog", window::kStyleOkCancel, std::nullopt), 1);
  EXPECT_EQ(w.pendingAnswers(), 1u);  // the dialog's answer stays for the dialog
  EXPECT_EQ(seen, std::vector<std::string>{"ahead of the dialog"});
  ASSERT_EQ(w.messageBoxes().size(), 2u);
  EXPECT_EQ(w.messageBoxes()[1].answer, 1);

  // A button the box does not have is a script failure, not a silent answer.
  w.setUnscriptedBoxAnswerer([](const auto&) { return 1; });
  EXPECT_THROW(w.messageBox("ok only", window::kStyleOk, std::nullopt), window::ScriptError);
  // Without an answerer an unscripted box fails again.
  w.setUnscriptedBoxAnswerer(nullptr);
  EXPECT_THROW(w.messageBox("no answer", window::kStyleOk, std::nullopt), window::ScriptError);
}

}  // namespace
}  // namespace ql::qlconv
