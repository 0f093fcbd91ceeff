// Run-and-wait (0x2C0): command-line splitting and real child processes.
#include <sys/stat.h>

#include "kernel_test_support.h"
#include "runtime/kernel/commands/process.h"

namespace {

using namespace kt;

TEST(SplitCommandLine, Rules) {
  struct Case {
    const char* name;
    std::string line;
    std::vector<std::string> expected;
  };
  const Case cases[] = {
      {"blanks separate", "a  b\tc", {"a", "b", "c"}},
      {"quotes group and go", "\"C:\\Program Files\\x.exe\" e", {"C:\\Program Files\\x.exe", "e"}},
      {"backslash before a closing quote is literal",
       "\"\\q\\qlunpack\" e \"D:\\g\\ptexture.pak\" \"\\p\\lx_ptx_tmp\\\"",
       {"\\q\\qlunpack", "e", "D:\\g\\ptexture.pak", "\\p\\lx_ptx_tmp\\"}},
      {"doubled quote inside quotes", "\"say \"\"hi\"\"\"", {"say \"hi\""}},
      {"empty quotes are an argument", "a \"\" b", {"a", "", "b"}},
      {"quotes join with neighbours", "a\"b c\"d", {"ab cd"}},
      {"unclosed quote runs to the end", "\"a b", {"a b"}},
      {"leading and trailing blanks", "  a  ", {"a"}},
      {"empty line", "", {}},
      {"only blanks", " \t ", {}},
      {"no program before the command letter", " e \"x.pak\" \"d\\\"", {"e", "x.pak", "d\\"}},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(ql::rt::splitCommandLine(c.line), c.expected) << c.name;
  }
}

#if defined(_WIN32)

// Windows starts the command line as it is (CreateProcessW) and waits.
class RunCommandWindows : public KernelTest {};

TEST_F(RunCommandWindows, SuccessOnlyWhenStartedAndExitedWithZero) {
  struct Case {
    const char* name;
    std::string line;
    bool expected;
  };
  const Case cases[] = {
      {"exits 0", "cmd.exe /c exit 0", true},
      {"exits 3", "cmd.exe /c exit 3", false},
      {"program named in another case", "CMD.EXE /c exit 0", true},
      {"does not exist", "\"C:\\no such folder\\none.exe\" e x", false},
      {"empty line", "", false},
      {"not GBK", "cmd.exe /c exit 0 \x81", false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(asBoolean(call(ql::rt::kCmdRunAndWait, Args().text(c.line).boolean(true).omitted())), c.expected);
  }
  // Without waiting, only the start counts.
  EXPECT_TRUE(asBoolean(call(ql::rt::kCmdRunAndWait, Args().text("cmd.exe /c exit 3").boolean(false))));
  EXPECT_FALSE(asBoolean(call(ql::rt::kCmdRunAndWait, Args().text("C:\\none\\none.exe").boolean(false))));
}

#else

class RunCommand : public KernelTest {
 protected:
  void SetUp() override {
    KernelTest::SetUp();
    folder_ = temp_.path() / u8path("Bin " + kLiuXingUtf8);
    fs::create_directories(folder_);
    script("ok.sh", "exit 0");
    script("three.sh", "exit 3");
    script("args.sh",
           "for a in \"$@\"; do printf '%s\\n' \"$a\"; done > '" + (temp_.path() / "args.txt").string() + "'");
    writeFile(folder_ / "plain.sh", "#!/bin/sh\nexit 0\n");  // not executable
  }
  void script(const std::string& name, const std::string& body) {
    writeFile(folder_ / name, "#!/bin/sh\n" + body + "\n");
    chmod((folder_ / name).c_str(), 0755);
  }
  // The quoted GBK path of a program in the folder, as the module writes it.
  std::string program(const std::string& name) const { return "\"" + gbkPath(folder_) + "\\" + name + "\""; }

  bool run(const std::string& line) {
    return asBoolean(call(ql::rt::kCmdRunAndWait, Args().text(line).boolean(true).omitted()));
  }

  TempFolder temp_;
  fs::path folder_;
};

TEST_F(RunCommand, SuccessOnlyWhenStartedAndExitedWithZero) {
  struct Case {
    const char* name;
    std::string line;
    bool expected;
  };
  const Case cases[] = {
      {"exits 0", program("ok.sh"), true},
      {"exits 3", program("three.sh"), false},
      {"does not exist", program("none.sh"), false},
      {"not executable", program("plain.sh"), false},
      {"program named in another case", program("OK.SH"), true},
      {"bare name found on PATH", "true", true},
      {"bare name that fails", "false", false},
      {"empty line", "", false},
      {"no program in front of the command letter", " e \"x.pak\" \"d\\\"", false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(run(c.line), c.expected);
  }
}

TEST_F(RunCommand, ArgumentsArriveAsUtf8WithQuotesRemoved) {
  const std::string archive = "D:\\Games\\" + kLiuXingGbk + "\\ptexture.pak";
  const std::string dest = "\\p\\lx_ptx_tmp\\";
  // The extraction command line exactly as the module builds it.
  ASSERT_TRUE(run(program("args.sh") + " e \"" + archive + "\" \"" + dest + "\""));
  EXPECT_EQ(readFile(temp_.path() / "args.txt"),
            "e\nD:\\Games\\" + kLiuXingUtf8 + "\\ptexture.pak\n\\p\\lx_ptx_tmp\\\n");

  ASSERT_TRUE(run(program("args.sh") + " a\"b c\"d \"say \"\"hi\"\"\" \"\" x"));
  EXPECT_EQ(readFile(temp_.path() / "args.txt"), "ab cd\nsay \"hi\"\n\nx\n");

  EXPECT_FALSE(run(program("args.sh") + " \x81"));  // an argument that is not GBK
}

TEST_F(RunCommand, WithoutWaitingReportsTheStart) {
  EXPECT_TRUE(asBoolean(call(ql::rt::kCmdRunAndWait, Args().text(program("three.sh")).boolean(false))));
  EXPECT_FALSE(asBoolean(call(ql::rt::kCmdRunAndWait, Args().text(program("none.sh")).boolean(false))));
  EXPECT_TRUE(asBoolean(call(ql::rt::kCmdRunAndWait, Args().text(program("ok.sh")))));  // waits by default
}

#endif

}  // namespace
