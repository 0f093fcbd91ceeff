// File commands on real files, in a Chinese-named folder, asked for in
// another letter case, as game data from a Windows file system is.
#include <sys/stat.h>

#include "kernel_test_support.h"

namespace {

using namespace kt;

class FileCommands : public KernelTest {
 protected:
  void SetUp() override {
    KernelTest::SetUp();
    game_ = temp_.path() / u8path("Game" + kLiuXingUtf8);
    fs::create_directories(game_ / "PModel");
  }
  // The module's path to `relative` inside the game folder, written as given.
  std::string modulePath(const std::string& relativeGbk) const {
    return gbkPath(temp_.path()) + "\\game" + kLiuXingGbk + "\\" + relativeGbk;
  }

  TempFolder temp_;
  fs::path game_;
};

TEST_F(FileCommands, ReadWholeFileIgnoringLetterCase) {
  const std::string content = std::string("v 1 2 3\r\n\0\xFF", 11);
  writeFile(game_ / "PModel" / "Nm001.SKC", content);
  EXPECT_EQ(takeBytes(call(ql::rt::kCmdReadFile, Args().text(modulePath("pmodel\\nm001.skc")))), content);
  EXPECT_EQ(takeBytes(call(ql::rt::kCmdReadFile, Args().text(modulePath("PModel\\Nm001.SKC")))), content);
}

// The whole file comes back in one byte set, whatever its size: empty, one
// byte, around the read's first guess, and big enough for huge pages.
TEST_F(FileCommands, ReadWholeFileOfEverySize) {
  const size_t sizes[] = {0, 1, 4095, 65536, 65537, (size_t(5) << 20) + 3};
  for (const size_t size : sizes) {
    SCOPED_TRACE(size);
    std::string content(size, '\0');
    for (size_t i = 0; i < size; ++i) content[i] = char((i * 131 + i / 7) & 0xFF);
    writeFile(game_ / "PModel" / "big.obj", content);
    const std::string back = takeBytes(call(ql::rt::kCmdReadFile, Args().text(modulePath("pmodel\\big.obj"))));
    ASSERT_EQ(back.size(), size);
    EXPECT_TRUE(back == content) << "content differs";
  }
}

#if defined(__linux__)
// A file's size is only a first guess: /proc files say 0 and hold more.
TEST_F(FileCommands, ReadWholeFileBeyondItsStatedSize) {
  ASSERT_EQ(fs::file_size("/proc/self/status"), 0u);
  const std::string back = takeBytes(call(ql::rt::kCmdReadFile, Args().text("\\proc\\self\\status")));
  EXPECT_EQ(back.rfind("Name:", 0), 0u) << back.substr(0, 40);
  EXPECT_NE(back.find("VmRSS:"), std::string::npos);
}
#endif

TEST_F(FileCommands, UnreadableFilesGiveAnEmptyByteSet) {
  struct Case {
    const char* name;
    std::string path;
  };
  const Case cases[] = {
      {"missing file", modulePath("pmodel\\none.skc")},
      {"a folder", modulePath("pmodel")},
      {"missing folder", modulePath("nofolder\\x.skc")},
      {"invalid GBK", modulePath("\x81")},
      {"empty path", ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(takeBytes(call(ql::rt::kCmdReadFile, Args().text(c.path))), "");
  }
}

TEST_F(FileCommands, WriteReplacesTheWholeFileAndReportsSuccess) {
  writeFile(game_ / "PModel" / "Old.SKC", "a much longer earlier content");
  // Another letter case names the same file, as on Windows.
  EXPECT_TRUE(asBoolean(call(ql::rt::kCmdWriteFile, Args().text(modulePath("pmodel\\old.skc")).bytes("new"))));
  EXPECT_EQ(readFile(game_ / "PModel" / "Old.SKC"), "new");
  EXPECT_EQ(entriesNamed(game_ / "PModel", "old.skc"), 1);

  // A new file keeps its name, inside the folder as it exists.
  const std::string name = kLiuXingGbk + "\xC4\xBF\xC2\xBC.txt";  // 流星目录.txt
  EXPECT_TRUE(asBoolean(call(ql::rt::kCmdWriteFile, Args().text(modulePath(name)).bytes("D:\\Games"))));
  EXPECT_EQ(readFile(game_ / u8path(kLiuXingUtf8 + "目录.txt")), "D:\\Games");

  EXPECT_TRUE(asBoolean(call(ql::rt::kCmdWriteFile, Args().text(modulePath("empty.txt")).bytes(""))));
  EXPECT_TRUE(fs::exists(game_ / "empty.txt"));
  EXPECT_EQ(fs::file_size(game_ / "empty.txt"), 0u);

  // Failures are reported, not hidden.
  EXPECT_FALSE(asBoolean(call(ql::rt::kCmdWriteFile, Args().text(modulePath("nofolder\\x.txt")).bytes("x"))));
  EXPECT_FALSE(asBoolean(call(ql::rt::kCmdWriteFile, Args().text(modulePath("pmodel")).bytes("x"))));
  EXPECT_FALSE(asBoolean(call(ql::rt::kCmdWriteFile, Args().text(modulePath("\x81")).bytes("x"))));
}

TEST_F(FileCommands, WriteToAReadOnlyFolderFails) {
#if defined(_WIN32)
  GTEST_SKIP() << "a folder's read-only flag does not stop writes on Windows";
#else
  if (geteuid() == 0) GTEST_SKIP() << "root writes anywhere";
  fs::create_directories(game_ / "ro");
  chmod((game_ / "ro").c_str(), 0555);
  EXPECT_FALSE(asBoolean(call(ql::rt::kCmdWriteFile, Args().text(modulePath("ro\\x.txt")).bytes("x"))));
  chmod((game_ / "ro").c_str(), 0755);
#endif
}

TEST_F(FileCommands, CopyFile) {
  writeFile(game_ / "PModel" / "A.skc", "model");
  writeFile(game_ / "PModel" / "A.skc.bak", "older backup");
  EXPECT_TRUE(asBoolean(
      call(ql::rt::kCmdCopyFile, Args().text(modulePath("pmodel\\a.SKC")).text(modulePath("pmodel\\a.skc.BAK")))));
  EXPECT_EQ(readFile(game_ / "PModel" / "A.skc.bak"), "model");
  EXPECT_TRUE(
      asBoolean(call(ql::rt::kCmdCopyFile, Args().text(modulePath("pmodel\\a.skc")).text(modulePath("copy.skc")))));
  EXPECT_EQ(readFile(game_ / "copy.skc"), "model");
  EXPECT_FALSE(
      asBoolean(call(ql::rt::kCmdCopyFile, Args().text(modulePath("pmodel\\none.skc")).text(modulePath("x.skc")))));
  EXPECT_FALSE(fs::exists(game_ / "x.skc"));
}

TEST_F(FileCommands, Exists) {
  writeFile(game_ / "PModel" / "nm001f01.JPG", "jpg");
  struct Case {
    std::string path;
    bool expected;
  };
  const Case cases[] = {
      {modulePath("PModel\\nm001f01.JPG"), true},
      {modulePath("pmodel\\NM001F01.jpg"), true},
      {modulePath("pmodel"), true},
      {modulePath("pmodel\\nm001f01.tga"), false},
      {modulePath("\x81"), false},
      {"", false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.path);
    EXPECT_EQ(asBoolean(call(ql::rt::kCmdFileExists, Args().text(c.path))), c.expected);
  }
}

}  // namespace
