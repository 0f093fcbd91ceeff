// Scenario files of qlscenario: words, quoting, commands and their errors.
#include <gtest/gtest.h>

#include <sstream>

#include "tools/qlscenario/app_runner.h"
#include "tools/qlscenario/scenario.h"
#include "ui/form_ids.h"

namespace ql::scenario {
namespace {

TEST(ScenarioWords, SplitsAtBlanksAndHonoursQuotesEscapesAndComments) {
  struct Case {
    const char* line;
    std::vector<std::string> words;
  };
  const Case cases[] = {
      {"", {}},
      {"   # only a comment", {}},
      {"menu 文件/输出/SKC格式", {"menu", "文件/输出/SKC格式"}},
      {"\tmouse  down 10\t20\r", {"mouse", "down", "10", "20"}},
      {"expect-box \"a b\"  # trailing", {"expect-box", "a b"}},
      {R"(write-file x "l1\r\nl2\t\"q\" \\ \x41")", {"write-file", "x", "l1\r\nl2\t\"q\" \\ A"}},
      {"expect-log \"\"", {"expect-log", ""}},
      {"a#b c", {"a#b", "c"}},  // '#' starts a comment only at the start of a word
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.line);
    auto words = splitWords(c.line);
    ASSERT_TRUE(words.ok()) << words.error().message;
    EXPECT_EQ(*words, c.words);
  }
}

TEST(ScenarioWords, MalformedQuotesAreRefused) {
  struct Case {
    const char* line;
    const char* reason;
  };
  const Case cases[] = {
      {"expect-box \"open", "not closed"},
      {"expect-box \"a\"b", "runs into"},
      {R"(expect-box "\q")", "unknown escape"},
      {R"(expect-box "\x4")", "two hexadecimal"},
      {R"(expect-box "\xZZ")", "two hexadecimal"},
      {"expect-box \"a\\", "backslash ends"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.line);
    auto words = splitWords(c.line);
    ASSERT_FALSE(words.ok());
    EXPECT_NE(words.error().message.find(c.reason), std::string::npos) << words.error().message;
  }
}

TEST(ScenarioParse, EveryCommandWithItsArguments) {
  const char* text =
      "# a whole scenario\n"
      "program-folder /tmp/x\n"
      "memory-file $TEMP/game\n"
      "write-file $TEMP/game/pmodel/a.skc \"x\\r\\n\"\n"
      "gl off\n"
      "answer box 1\n"
      "answer dialog $TEMP/game/ptexture.pak\n"
      "answer dialog cancel\n"
      "choose-list 2\n"
      "choose-combo 4\n"
      "menu 帮助/检测新版本\n"
      "tick\n"
      "tick 3\n"
      "mouse move -5 7\n"
      "scroll 30\n"
      "move-main 10 20\n"
      "resize-main 800 600\n"
      "resize-log 640 100\n"
      "close-main\n"
      "expect-file a\n"
      "expect-no-file b\n"
      "expect-box 没有可输出的数据!\n"
      "expect-no-box\n"
      "expect-log \"\"\n"
      "expect-list a.skc c.skc\n";
  auto s = parseScenario(text);
  ASSERT_TRUE(s.ok()) << s.error().message;
  const std::vector<Op> ops = {
      Op::ProgramFolder, Op::MemoryFile, Op::WriteFile,  Op::OffscreenGl, Op::AnswerBox,    Op::AnswerDialog,
      Op::CancelDialog,  Op::ChooseList, Op::ChooseCombo, Op::Menu,       Op::Tick,         Op::Tick,
      Op::Mouse,         Op::Scroll,     Op::MoveMain,   Op::ResizeMain,  Op::ResizeLog,    Op::CloseMain,
      Op::ExpectFile,    Op::ExpectNoFile, Op::ExpectBox, Op::ExpectNoBox, Op::ExpectLog,   Op::ExpectList,
  };
  ASSERT_EQ(s->commands.size(), ops.size());
  for (size_t i = 0; i < ops.size(); ++i) EXPECT_EQ(s->commands[i].op, ops[i]) << "command " << i;
  const auto& c = s->commands;
  EXPECT_EQ(c[0].line, 2);
  EXPECT_EQ(c[2].args[1], "x\r\n");
  EXPECT_EQ(c[4].numbers, std::vector<int32_t>{1});
  EXPECT_EQ(c[5].args, std::vector<std::string>{"$TEMP/game/ptexture.pak"});
  EXPECT_EQ(c[10].numbers, std::vector<int32_t>{});
  EXPECT_EQ(c[11].numbers, std::vector<int32_t>{3});
  EXPECT_EQ(c[12].args[0], "move");
  EXPECT_EQ(c[12].numbers, (std::vector<int32_t>{-5, 7}));
  EXPECT_EQ(c[15].numbers, (std::vector<int32_t>{800, 600}));
  EXPECT_EQ(c[23].args, (std::vector<std::string>{"a.skc", "c.skc"}));
}

TEST(ScenarioParse, MalformedLinesAreRefusedWithTheirLineNumber) {
  struct Case {
    const char* name;
    const char* text;
    const char* reason;
  };
  const Case cases[] = {
      {"unknown command", "tick\nclick 1 2\n", "line 2: unknown command \"click\""},
      {"missing argument", "choose-list\n", "line 1: choose-list takes 1 arguments, not 0"},
      {"extra argument", "close-main now\n", "takes 0 arguments, not 1"},
      {"not a number", "move-main 10 ten\n", "\"ten\" is not a whole number"},
      {"number with a tail", "choose-list 3x\n", "\"3x\" is not a whole number"},
      {"number out of range", "scroll 99999999999\n", "not a whole number"},
      {"zero ticks", "tick 0\n", "tick takes a count from 1"},
      {"too many ticks", "tick 100001\n", "tick takes a count from 1"},
      {"bad answer kind", "answer menu 1\n", "answer takes \"box\" or \"dialog\""},
      {"bad button", "answer box 2\n", "button 0 (OK) or 1 (Cancel)"},
      {"bad mouse action", "mouse click 1 2\n", "mouse takes down, move or up"},
      {"bad gl switch", "gl yes\n", "gl takes on or off"},
      {"second program folder", "program-folder /a\nprogram-folder /b\n", "line 2: a second program-folder"},
      {"open quotation", "\n\nexpect-log \"abc\n", "line 3: a quotation is not closed"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    auto s = parseScenario(c.text);
    ASSERT_FALSE(s.ok());
    EXPECT_NE(s.error().message.find(c.reason), std::string::npos) << s.error().message;
  }
}

}  // namespace
}  // namespace ql::scenario

namespace ql::apprun {
namespace {

TEST(MenuPaths, CaptionPathsNameTheMenuItemsOfTheImage) {
  struct Case {
    const char* path;
    window::Id id;
  };
  const Case cases[] = {
      {"文件", ui::kMenuFileId},
      {"文件/打开/打开OBJ格式", ui::kMenuImportObjId},
      {"文件/打开/打开glTF格式", ui::kMenuImportGltfId},
      {"文件/输出/OBJ格式", ui::kMenuExportObjId},
      {"文件/输出/AC3D格式", ui::kMenuExportAc3dId},
      {"文件/输出/SKC格式", ui::kMenuExportSkcId},
      {"文件/输出/glTF格式", ui::kMenuExportGltfId},
      {"文件/保存/保存到游戏", ui::kMenuSaveToGameId},
      {"帮助/百度贴吧", ui::kMenuForumBarId},
      {"帮助/访问论坛获取帮助", ui::kMenuHelpThreadId},
      {"帮助/检测新版本", ui::kMenuUpdateCheckId},
      {"帮助/当前版本说明", ui::kMenuVersionNotesId},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.path);
    auto id = menuItemByPath(c.path);
    ASSERT_TRUE(id.ok()) << id.error().message;
    EXPECT_EQ(*id, c.id);
  }
}

TEST(MenuPaths, PathsOffTheTreeAreRefused) {
  // Items exist, but not under that parent; or the path is malformed.
  const char* cases[] = {"文件/保存/SKC格式", "文件/打开OBJ格式", "帮助/输出/OBJ格式", "SKC格式", "文件//OBJ格式",
                         "文件/输出/", "", "文件/输出/OBJ格式/更多"};
  for (const char* path : cases) {
    SCOPED_TRACE(path);
    EXPECT_FALSE(menuItemByPath(path).ok());
  }
}

}  // namespace
}  // namespace ql::apprun

namespace ql::scenario {
namespace {

// Whole scenarios run in this process: the runner must fail every unmet
// expectation and name it, and pass a scenario whose expectations hold.
struct RunCase {
  const char* name;
  const char* text;
  bool passes;
  const char* transcriptHas;
};

TEST(ScenarioRun, ExpectationsDecideTheOutcome) {
  const RunCase cases[] = {
      {"all hold", "memory-file $TEMP/g\nexpect-no-box\nexpect-file 流星目录.txt\nexpect-list\nclose-main\n", true,
       "PASSED"},
      {"missing file", "memory-file $TEMP/g\nexpect-file nothing.txt\n", false, "FAIL line 2: missing:"},
      {"file that should not be there", "memory-file $TEMP/g\nexpect-no-file lx_ptx_tmp\n", false,
       "FAIL line 2: exists:"},
      {"box never shown", "memory-file $TEMP/g\nexpect-box 解压数据成功\n", false,
       "FAIL line 2: message box \"解压数据成功\""},
      {"log line never written", "memory-file $TEMP/g\nexpect-log 共有顶点数\n", false, "FAIL line 2: log line"},
      {"model list differs", "memory-file $TEMP/g\nexpect-list a.skc\n", false, "FAIL line 2: model list: (empty)"},
      {"event after the end", "memory-file $TEMP/g\nclose-main\ntick\n", false,
       "FAIL line 3: not done: the program had ended"},
      {"answer left over", "memory-file $TEMP/g\nanswer dialog cancel\n", false, "1 scripted answers were not used"},
      {"unknown variable", "memory-file $NOWHERE/g\n", false, "unknown variable $NOWHERE"},
  };
  for (const RunCase& c : cases) {
    SCOPED_TRACE(c.name);
    auto s = parseScenario(c.text);
    ASSERT_TRUE(s.ok()) << s.error().message;
    std::ostringstream out;
    RunOptions options;
    options.offscreenGl = false;
    EXPECT_EQ(runScenario(*s, options, out), c.passes) << out.str();
    EXPECT_NE(out.str().find(c.transcriptHas), std::string::npos) << out.str();
  }
}

TEST(ScenarioRun, TranscriptShowsTheStartTheEventsAndTheEnd) {
  auto s = parseScenario("memory-file $TEMP/g\nmove-main 70 80\ntick 2\n");
  ASSERT_TRUE(s.ok());
  std::ostringstream out;
  RunOptions options;
  options.offscreenGl = false;
  ASSERT_TRUE(runScenario(*s, options, out)) << out.str();
  const std::string t = out.str();
  for (const char* piece : {"program folder: \"", "\\qlscenario-", "\\青岚工具\"\n", "start\n", "> line 2: move-main 70 80\n",
                            "> line 3: tick 2\n  ticks delivered: 2\n", "end: ended, exit code 0, clean-up ran 1x",
                            "PASSED\n"})
    EXPECT_NE(t.find(piece), std::string::npos) << piece << "\n" << t;
}

}  // namespace
}  // namespace ql::scenario
