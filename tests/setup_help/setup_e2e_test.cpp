// The start's archive-tool discovery and game-folder set-up run for real: the
// module image on kbase.qlr with the headless window system, a temporary
// program folder and game folder (both named in Chinese), packages built in
// the test, and the archive adapter (qlunpack) answering WinRAR's command.
#include <algorithm>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "tests/archive/test_support.h"
#include "tests/e2e/app_fixture.h"

namespace ql::e2e {
namespace {

using Box = HeadlessWindowSystem::MessageBoxShown;
using test::ArchiveEntry;
using test::ArchiveFormat;

constexpr int32_t kOk = 0;
constexpr int32_t kStyleOk = 0;
constexpr char kAdapterFile[] = "qlunpack";
constexpr char kPackageName[] = "ptexture.pak";

// What a package holds; the adapter puts every file directly into the
// texture folder, without the package's folders.
const std::vector<ArchiveEntry> kPackage = {
    {"nm001b01.tga", std::string("TGA\0data", 8)},
    {"textures/nm001f01.JPG", "\xFF\xD8\xFF\xE0 jpeg"},
    {"textures/deep/hair.bmp", "BM bitmap"},
};
const std::vector<std::string> kExtracted = {"hair.bmp", "nm001b01.tga", "nm001f01.JPG"};

Box plainBox(const std::string& gbkText) { return Box{gbkText, kStyleOk, std::nullopt, kOk}; }

class GameSetup : public AppFixture {
 protected:
  // winrarPath as the registry layer gives it: the adapter beside the
  // kernel, in quotation marks.
  std::string adapterPath() { return "\"" + modulePath(apprun::defaultRuntimeDir() / kAdapterFile) + "\""; }

  fs::path writePackage(const fs::path& folder) {
    const fs::path package = folder / kPackageName;
    fs::create_directories(folder);
    test::writeArchive(package, ArchiveFormat::kZip, kPackage);
    return package;
  }

  // What the set-up left in the module-wide texts, read inside a step.
  struct Seen {
    std::string winrarPath, textureFolder, gameFolder;
    bool read = false;
  };
  void readSetup(Seen& seen) {
    step([this, &seen] {
      seen.winrarPath = TextRef(store().winrarPath).c_str();
      seen.textureFolder = TextRef(store().textureFolder).c_str();
      seen.gameFolder = TextRef(store().gameFolder).c_str();
      seen.read = true;
    });
  }

  std::string textureFolderText() { return programFolderText() + "\\lx_ptx_tmp"; }
  std::string noticeFor(const fs::path& package) {
    return gbk("将解压包文件[") + modulePath(package) + "]";
  }
  Box missingFolderBox() { return plainBox(gbk("没有找到临时纹理目录，需重新生成，请指出[流星蝴蝶剑]安装目录")); }

  // The whole first-start conversation, answered with the package.
  void scriptExtraction(const fs::path& package) {
    answerBox(kOk);            // the texture folder is missing
    confirmDialog(package);    // 通用对话框1
    answerBox(kOk);            // the notice naming the package
    answerBox(kOk);            // the outcome
  }

  void expectPackageDialog() {
    ASSERT_EQ(dialogs().size(), 1u);
    const auto& d = dialogs()[0];
    EXPECT_EQ(d.window, ui::kMainWindowId);
    EXPECT_EQ(d.dialog, ui::kFileDialog1Id);
    EXPECT_EQ(d.kind, window::FileDialogKind::Open);
    EXPECT_EQ(d.title, gbk("请指定流星安装目录（即Meteor.exe所在目录）"));
    EXPECT_EQ(d.fileName, kPackageName);
  }
};

TEST_F(GameSetup, FirstStartExtractsThePackageAndRemembersTheGameFolder) {
  // The package inside the game folder, whose name is 流星蝴蝶剑.
  const fs::path package = writePackage(gameDir());
  scriptExtraction(package);
  Seen seen;
  readSetup(seen);
  run();
  expectCleanEnd();

  ASSERT_TRUE(seen.read);
  EXPECT_EQ(seen.winrarPath, adapterPath()) << utf8(seen.winrarPath);
  EXPECT_EQ(seen.textureFolder, textureFolderText());
  EXPECT_EQ(seen.gameFolder, gameFolderText()) << "the package's folder, without a trailing backslash";

  ASSERT_EQ(boxes().size(), 3u);
  EXPECT_EQ(boxes()[0], missingFolderBox());
  EXPECT_EQ(boxes()[1], plainBox(noticeFor(package))) << utf8(boxes()[1].text);
  EXPECT_EQ(boxes()[2], plainBox(gbk("解压数据成功")));
  expectPackageDialog();

  // Extracted flat into programFolder\lx_ptx_tmp\.
  EXPECT_EQ(test::listFolder(textureDir()), kExtracted);
  EXPECT_EQ(readBytes(textureDir() / "nm001b01.tga"), kPackage[0].data);
  EXPECT_EQ(readBytes(memoryFile()), gameFolderText()) << "the folder's GBK bytes and nothing else";

  // The next start finds both and asks nothing.
  Seen again;
  readSetup(again);
  run();
  expectCleanEnd();
  EXPECT_TRUE(boxes().empty());
  EXPECT_TRUE(dialogs().empty());
  EXPECT_EQ(again.gameFolder, gameFolderText());
  EXPECT_EQ(again.winrarPath, adapterPath()) << "found again at every start";
}

TEST_F(GameSetup, EitherPieceMissingLeadsToANewExtraction) {
  enum class Before { kFolderOnly, kMemoryOnly, kFileNamedLikeTheFolder };
  struct Case {
    const char* name;
    Before before;
  } const cases[] = {
      {"texture folder without memory file", Before::kFolderOnly},
      {"memory file without texture folder", Before::kMemoryOnly},
      // The folder test asks for a folder: a plain file of that name is not one.
      {"a plain file where the texture folder belongs", Before::kFileNamedLikeTheFolder},
  };
  const std::string staleGameFolder = gbk("E:\\旧的\\流星");
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    std::error_code ec;
    fs::remove_all(textureDir(), ec);
    fs::remove(memoryFile(), ec);
    switch (c.before) {
      case Before::kFolderOnly:
        writeBytes(textureDir() / "old.tga", "kept");
        break;
      case Before::kMemoryOnly:
        writeBytes(memoryFile(), staleGameFolder);
        break;
      case Before::kFileNamedLikeTheFolder:
        writeBytes(textureDir(), "not a folder");
        writeBytes(memoryFile(), staleGameFolder);
        break;
    }
    const fs::path package = writePackage(gameDir());
    scriptExtraction(package);
    Seen seen;
    readSetup(seen);
    run();
    expectCleanEnd();

    ASSERT_EQ(boxes().size(), 3u);
    EXPECT_EQ(boxes()[0], missingFolderBox());
    EXPECT_EQ(boxes()[1], plainBox(noticeFor(package)));
    expectPackageDialog();
    EXPECT_EQ(seen.gameFolder, gameFolderText());
    EXPECT_EQ(readBytes(memoryFile()), gameFolderText()) << "rewritten whole";
    if (c.before == Before::kFileNamedLikeTheFolder) {
      // The adapter cannot extract into a file: the outcome says so, and
      // the game folder is remembered all the same.
      EXPECT_EQ(boxes()[2], plainBox(gbk("解压数据失败")));
      EXPECT_EQ(readBytes(textureDir()), "not a folder");
      continue;
    }
    EXPECT_EQ(boxes()[2], plainBox(gbk("解压数据成功")));
    std::vector<std::string> expected = kExtracted;
    if (c.before == Before::kFolderOnly) {
      expected.push_back("old.tga");
      std::sort(expected.begin(), expected.end());
    }
    EXPECT_EQ(test::listFolder(textureDir()), expected) << "extracted over what was there";
  }
}

TEST_F(GameSetup, BothPresentTheMemoryFileIsTakenAsWritten) {
  struct Case {
    const char* name;
    std::string content;
  } const cases[] = {
      {"as the tool writes it", gameFolderText()},
      {"hand-edited with a trailing blank", gameFolderText() + " "},
      {"hand-edited with a line break", gameFolderText() + "\r\n"},
      {"a folder that does not exist", gbk("Z:\\没有\\这个目录")},
  };
  fs::create_directories(textureDir());
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    writeBytes(memoryFile(), c.content);
    Seen seen;
    readSetup(seen);
    run();
    expectCleanEnd();
    EXPECT_TRUE(boxes().empty()) << "no message";
    EXPECT_TRUE(dialogs().empty()) << "no dialog";
    EXPECT_EQ(seen.gameFolder, c.content);
    EXPECT_EQ(seen.textureFolder, textureFolderText());
    EXPECT_EQ(seen.winrarPath, adapterPath());
    EXPECT_EQ(readBytes(memoryFile()), c.content) << "left as it was";
  }
}

TEST_F(GameSetup, CancelAtFirstStartLeavesEverythingUntouched) {
  answerBox(kOk);
  cancelDialog();
  Seen seen;
  readSetup(seen);
  run();
  expectCleanEnd();
  ASSERT_EQ(boxes().size(), 1u);
  EXPECT_EQ(boxes()[0], missingFolderBox());
  ASSERT_EQ(dialogs().size(), 1u);
  EXPECT_FALSE(dialogs()[0].confirmed);
  EXPECT_EQ(seen.gameFolder, "");
  EXPECT_EQ(seen.textureFolder, textureFolderText());
  EXPECT_FALSE(exists(memoryFile())) << "no memory file";
  EXPECT_FALSE(exists(textureDir())) << "no extraction";
  EXPECT_TRUE(finalModelList().empty());
}

TEST_F(GameSetup, CorruptPackageFailsButTheGameFolderIsRemembered) {
  const fs::path package = gameDir() / kPackageName;
  writeBytes(package, "this is no archive at all, just text in a .pak file");
  scriptExtraction(package);
  Seen seen;
  readSetup(seen);
  run();
  expectCleanEnd();
  ASSERT_EQ(boxes().size(), 3u);
  EXPECT_EQ(boxes()[1], plainBox(noticeFor(package)));
  EXPECT_EQ(boxes()[2], plainBox(gbk("解压数据失败")));
  EXPECT_EQ(seen.gameFolder, gameFolderText());
  EXPECT_EQ(readBytes(memoryFile()), gameFolderText());
}

}  // namespace
}  // namespace ql::e2e
