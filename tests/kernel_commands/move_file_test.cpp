// Commands 0x9F0 and 0x9F4: a file renamed over another, as writers use it to
// put a complete new file in place of an old one, and a file deleted, as they
// take away a new file that could not be put in place.
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
  bool remove(const std::string& path) {
    return asBoolean(call(ql::rt::kCmdDeleteFile, Args().text(modulePath(path))));
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

// Named apart from Windows' DeleteFile macro.
using FileDelete = MoveFileOver;

TEST_F(FileDelete, DeletesTheFileAWriteOfThatNameWouldHaveMade) {
  writeFile(game_ / "PModel" / "M01.skc.tmp", "part of a model");
  writeFile(game_ / "PModel" / u8path(kLiuXingUtf8 + ".tmp"), "x");
  EXPECT_TRUE(remove("pmodel\\m01.skc.tmp"));
  EXPECT_TRUE(remove("pmodel\\" + kLiuXingGbk + ".tmp"));
  EXPECT_TRUE(fs::is_empty(game_ / "PModel"));
}

TEST_F(FileDelete, LeavesFoldersAndMissingFilesAlone) {
  fs::create_directories(game_ / "PModel" / "empty.tmp");
  fs::create_directories(game_ / "PModel" / "m01.skc.tmp");
  writeFile(game_ / "PModel" / "m01.skc.tmp" / "inside", "kept");
  const char* const cases[] = {"pmodel\\empty.tmp", "pmodel\\m01.skc.tmp", "pmodel\\none.tmp", "nofolder\\x.tmp", "pmodel\\\x81", "pmodel"};
  for (const char* c : cases) {
    SCOPED_TRACE(c);
    EXPECT_FALSE(remove(c));
  }
  EXPECT_TRUE(fs::is_directory(game_ / "PModel" / "empty.tmp"));
  EXPECT_EQ(readFile(game_ / "PModel" / "m01.skc.tmp" / "inside"), "kept");
  expectRuntimeError([] { call(ql::rt::kCmdDeleteFile, Args()); }, ql::rt::kErrCommandCall, "0x9F4");
  expectRuntimeError([] { call(ql::rt::kCmdDeleteFile, Args().integer(1)); }, ql::rt::kErrCommandCall, "0x9F4");
}

}  // namespace
