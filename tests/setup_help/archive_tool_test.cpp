// Archive-tool discovery and the extraction command against a fake runtime:
// which commands the module issues, with which arguments, and what it keeps.
// The same steps run against the real kernel in the end-to-end tests; here
// the cut of WinRAR's registry value is pinned to the exact positions.
#include <gtest/gtest.h>

#include <string>

#include "common/gbk.h"
#include "fake_runtime.h"
#include "game/game_setup.h"
#include "module/app/image_link.h"
#include "module/support/support.h"
#include "qvkm_image.h"
#include "ui/form_ids.h"

namespace {

namespace abi = ql::abi;
namespace game = ql::game;

constexpr int32_t kCmdFind = 0x148, kCmdMid = 0x13C, kCmdRunAndWait = 0x2C0, kCmdMessageBox = 0x300,
                  kCmdShowFileDialog = 0x3A4, kCmdRegistryText = 0x698;
constexpr int32_t kPropFileName = 10;
constexpr int32_t kRegistryRoot = 4;
constexpr int32_t kNotFound = -1;

std::string gbk(const char* utf8) { return ql::utf8ToGbk(utf8).value(); }

// WinRAR's shell "open" command as its installer writes it.
const std::string kWinrarOpen = "\"C:\\Program Files\\WinRAR\\WinRAR.exe\" \"%1\"";

class ArchiveTool : public ::testing::Test {
 protected:
  void SetUp() override {
    ql::svc::setSlotTable(rt.slots());
    ql::setGlobals(&vars);
    ql::app::setConstBase(ql::app::imageBase() + ql::gen::kConstData);
  }
  void TearDown() override {
    ql::store::winrarPath().clear();
    EXPECT_EQ(rt.liveBlocks(), 0u) << "blocks of the runtime's heap left alive";
    EXPECT_EQ(rt.badFrees, 0);
    ql::svc::setSlotTable(nullptr);
    ql::setGlobals(nullptr);
    ql::app::setConstBase(nullptr);
  }

  // Answers the registry read with `value` and the quotation-mark searches as
  // the kernel would for it (1-based, −1 when absent), then the cut.
  void scriptRegistry(const std::string& value) {
    rt.results.push_back(rt.textResult(value));
    if (value.empty()) return;
    const size_t first = value.find('"');
    rt.results.push_back(fake::Runtime::intResult(first == std::string::npos ? kNotFound : int32_t(first + 1)));
    if (first == std::string::npos) return;
    const size_t second = value.find('"', first + 1);
    rt.results.push_back(fake::Runtime::intResult(second == std::string::npos ? kNotFound : int32_t(second + 1)));
    if (second == std::string::npos) return;
    rt.results.push_back(rt.textResult(value.substr(first, second - first + 1)));
  }
  void scriptDialog(const char* chosen) {
    rt.results.push_back(abi::CmdResult{chosen ? 1u : 0u, abi::kTagBool, 0});
    if (chosen) rt.propertyValues.push_back(reinterpret_cast<uintptr_t>(rt.text(chosen)));
  }

  static void expectInt(const fake::RecordedArg& a, int32_t v) {
    EXPECT_EQ(a.arg.tag, abi::kTagInt);
    EXPECT_EQ(int32_t(a.arg.lo), v);
  }
  static void expectText(const fake::RecordedArg& a, const std::string& s) {
    EXPECT_EQ(a.arg.tag, abi::kTagText);
    EXPECT_EQ(a.text.value_or("<none>"), s);
  }
  std::vector<fake::Call> callsOf(int32_t code) const {
    std::vector<fake::Call> out;
    for (const auto& c : rt.calls)
      if (c.code == code) out.push_back(c);
    return out;
  }
  std::string winrarPath() const { return std::string(ql::store::winrarPath().c_str()); }

  fake::Runtime rt;
  ql::Globals vars{};
};

TEST_F(ArchiveTool, RegistryValueIsCutFromTheFirstToTheSecondQuotationMark) {
  struct Case {
    const char* name;
    std::string value;
    std::string kept;  // winrarPath afterwards
  } const cases[] = {
      // The installer's shape: the 34-character path in quotation marks.
      {"installer", kWinrarOpen, kWinrarOpen.substr(0, 36)},
      {"text before the path", "rundll \"D:\\a b\\rar.exe\" \"%1\"", "\"D:\\a b\\rar.exe\""},
      {"nothing after the path", "\"E:\\WinRAR.exe\"", "\"E:\\WinRAR.exe\""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    rt.calls.clear();
    ql::store::winrarPath().clear();
    scriptRegistry(c.value);
    game::discoverArchiveTool();
    EXPECT_EQ(winrarPath(), c.kept);

    ASSERT_EQ(rt.calls.size(), 4u);
    const auto& reg = rt.calls[0];
    EXPECT_EQ(reg.code, kCmdRegistryText);
    ASSERT_EQ(reg.args.size(), 3u);
    expectInt(reg.args[0], kRegistryRoot);
    expectText(reg.args[1], "SOFTWARE\\Classes\\WinRAR\\shell\\open\\command\\");
    EXPECT_EQ(reg.args[2].arg.tag, abi::kTagOmitted);

    const int32_t p1 = int32_t(c.value.find('"')) + 1;
    const int32_t p2 = int32_t(c.value.find('"', size_t(p1))) + 1;
    const auto& find1 = rt.calls[1];
    EXPECT_EQ(find1.code, kCmdFind);
    ASSERT_EQ(find1.args.size(), 4u);
    expectText(find1.args[0], c.value);
    expectText(find1.args[1], "\"");
    expectInt(find1.args[2], 1);
    const auto& find2 = rt.calls[2];
    EXPECT_EQ(find2.code, kCmdFind);
    ASSERT_EQ(find2.args.size(), 4u);
    expectInt(find2.args[2], p1 + 1);
    const auto& cut = rt.calls[3];
    EXPECT_EQ(cut.code, kCmdMid);
    ASSERT_EQ(cut.args.size(), 3u);
    expectText(cut.args[0], c.value);
    expectInt(cut.args[1], p1);
    expectInt(cut.args[2], p2 - p1 + 1);
    EXPECT_TRUE(callsOf(kCmdShowFileDialog).empty()) << "a usable registry value asks nobody";
  }
  EXPECT_EQ(kWinrarOpen.substr(0, 36), "\"C:\\Program Files\\WinRAR\\WinRAR.exe\"");
}

TEST_F(ArchiveTool, WithoutAQuotedProgramTheUserIsAskedWithTheSecondDialog) {
  struct Case {
    const char* name;
    std::string value;
    const char* chosen;   // null: the user cancels
    std::string kept;
  } const cases[] = {
      {"one quotation mark, chosen", "\"C:\\Program Files\\WinRAR\\WinRAR.exe %1", "C:\\Tools\\WinRAR.exe",
       "C:\\Tools\\WinRAR.exe"},
      {"no quotation mark, chosen", "C:\\WinRAR\\WinRAR.exe %1", "D:\\rar\\winrar.exe", "D:\\rar\\winrar.exe"},
      {"no registry entry, chosen", "", "C:\\WinRAR.exe", "C:\\WinRAR.exe"},
      {"one quotation mark, cancelled", "\"C:\\WinRAR.exe", nullptr, ""},
      {"no registry entry, cancelled", "", nullptr, ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    rt.calls.clear();
    rt.propertyCalls.clear();
    ql::store::winrarPath().clear();
    scriptRegistry(c.value);
    scriptDialog(c.chosen);
    game::discoverArchiveTool();

    EXPECT_EQ(winrarPath(), c.kept) << "the chosen path is kept bare, without quotation marks";
    EXPECT_TRUE(callsOf(kCmdMid).empty()) << "nothing is cut from a value without two quotation marks";
    const auto dialogs = callsOf(kCmdShowFileDialog);
    ASSERT_EQ(dialogs.size(), 1u);
    ASSERT_EQ(dialogs[0].args.size(), 2u);
    EXPECT_EQ(dialogs[0].args[0].arg.lo, ql::ui::kMainWindowId);
    EXPECT_EQ(dialogs[0].args[1].arg.hi, ql::ui::kFileDialog2Id);
    EXPECT_TRUE(callsOf(kCmdMessageBox).empty()) << "a cancel is not reported";
    if (c.chosen) {
      ASSERT_EQ(rt.propertyCalls.size(), 1u);
      EXPECT_FALSE(rt.propertyCalls[0].write);
      EXPECT_EQ(rt.propertyCalls[0].unit, ql::ui::kFileDialog2Id);
      EXPECT_EQ(rt.propertyCalls[0].property, kPropFileName);
    } else {
      EXPECT_TRUE(rt.propertyCalls.empty());
    }
  }
}

TEST_F(ArchiveTool, ExtractionCommandLineAndItsOutcome) {
  const std::string archive = gbk("D:\\Games\\流星蝴蝶剑\\ptexture.pak");
  const std::string destination = "C:\\tool\\lx_ptx_tmp\\";
  struct Case {
    const char* name;
    std::string winrar;
    bool ran;
    std::string message;
  } const cases[] = {
      {"quoted path, success", kWinrarOpen.substr(0, 36), true, gbk("解压数据成功")},
      {"bare path, failure", "C:\\WinRAR.exe", false, gbk("解压数据失败")},
      // A cancelled WinRAR dialog leaves nothing in front of the command.
      {"no program", "", false, gbk("解压数据失败")},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    rt.calls.clear();
    ql::store::winrarPath().set(c.winrar.c_str());
    rt.results.push_back(abi::CmdResult{c.ran ? 1u : 0u, abi::kTagBool, 0});
    rt.results.push_back(fake::Runtime::intResult(0));
    game::extractPackage(archive.c_str(), destination.c_str());

    ASSERT_EQ(rt.calls.size(), 2u);
    const auto& run = rt.calls[0];
    EXPECT_EQ(run.code, kCmdRunAndWait);
    ASSERT_GE(run.args.size(), 1u);
    expectText(run.args[0], c.winrar + " e \"" + archive + "\" \"" + destination + "\"");
    const auto& box = rt.calls[1];
    EXPECT_EQ(box.code, kCmdMessageBox);
    ASSERT_EQ(box.args.size(), 3u);
    expectText(box.args[0], c.message);
    expectInt(box.args[1], 0);
    EXPECT_EQ(box.args[2].arg.tag, abi::kTagOmitted) << "no caption of its own";
  }
}

}  // namespace
