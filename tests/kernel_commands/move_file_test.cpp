// Command 0x9F0: a file renamed over another, as writers use it to put a
// complete new file in place of an old one.
#include "kernel_test_support.h"

namespace {

using namespace kt;

class MoveFileOver : public KernelTest {
 protected:
  void SetUp() override {
    KernelTest::SetUp();
    game_ = temp_.path() / u8path("Game" + kLiuXingUtf8);
    fs::create_directories(game_ / "PModel");
  }
  std::string modulePath(const std::string& relativeGbk) const {
    return gbkPath(temp_.path()) + "\\game" + kLiuXingGbk + "\\" + relativeGbk;
  }
  bool move(const std::string& from, const std::string& to) {
    return asBoolean(call(ql::rt::kCmdMoveFileOver, Args().text(modulePath(from)).text(modulePath(to))));
  }

  TempFolder temp_;
  fs::path game_;
};

TEST_F(MoveFileOver, ReplacesTheTargetWithTheSource) {
  writeFile(game_ / "PModel" / "M01.skc", "old model");
  writeFile(game_ / "PModel" / "m01.skc.tmp", "new model");
  // The target in another letter case is the file replaced, as on Windows.
  EXPECT_TRUE(move("pmodel\\m01.skc.tmp", "pmodel\\m01.SKC"));
  EXPECT_EQ(readFile(game_ / "PModel" / "M01.skc"), "new model");
  EXPECT_FALSE(fs::exists(game_ / "PModel" / "m01.skc.tmp"));
  EXPECT_EQ(entriesNamed(game_ / "PModel", "m01.skc"), 1);

  // A new name is created.
  writeFile(game_ / "PModel" / "a.tmp", "a");
  EXPECT_TRUE(move("pmodel\\a.tmp", "pmodel\\" + kLiuXingGbk + ".skc"));
  EXPECT_EQ(readFile(game_ / "PModel" / u8path(kLiuXingUtf8 + ".skc")), "a");
}

TEST_F(MoveFileOver, FailuresLeaveBothSidesAsTheyWere) {
  writeFile(game_ / "PModel" / "src.tmp", "source");
  writeFile(game_ / "PModel" / "target.skc", "target");
  fs::create_directories(game_ / "PModel" / "folder.skc");
  struct Case {
    const char* name;
    std::string from, to;
  };
  const Case cases[] = {
      {"missing source", "pmodel\\none.tmp", "pmodel\\target.skc"},
      {"source is a folder", "pmodel\\folder.skc", "pmodel\\target.skc"},
      {"target is a folder", "pmodel\\src.tmp", "pmodel\\folder.skc"},
      {"target folder missing", "pmodel\\src.tmp", "nofolder\\x.skc"},
      {"target not GBK", "pmodel\\src.tmp", "pmodel\\\x81"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_FALSE(move(c.from, c.to));
    EXPECT_EQ(readFile(game_ / "PModel" / "src.tmp"), "source");
    EXPECT_EQ(readFile(game_ / "PModel" / "target.skc"), "target");
    EXPECT_TRUE(fs::is_directory(game_ / "PModel" / "folder.skc"));
  }
}

TEST_F(MoveFileOver, ChecksItsArguments) {
  expectRuntimeError([] { call(ql::rt::kCmdMoveFileOver, Args().text("a")); }, ql::rt::kErrCommandCall,
                     "0x9F0");
  expectRuntimeError([] { call(ql::rt::kCmdMoveFileOver, Args().text("a").integer(1)); },
                     ql::rt::kErrCommandCall, "0x9F0");
}

}  // namespace
