// The three commands that write a model out (SKC export, save to game, AC3D
// export) on real files: what they ask, what they write, what they say, and
// what they leave alone when a write cannot be done.
#if !defined(_WIN32)
#include <sys/mount.h>
#endif

#include <algorithm>
#include <fstream>
#include <limits>
#include <memory>

#include "formats/ac3d_writer.h"
#include "model/skc_writer.h"
#include "writer_host.h"

namespace writers {
namespace {

using ql::formats::exportAc3d;
using ql::model::exportSkc;
using ql::model::saveToGame;

const std::string kGameModel = "# Character Skin Export for Interserv\r\nthe game's own model\r\n";
const std::string kHead = "# Character Skin Export for Interserv\r\n{\r\n  Materials: 0\r\n";

class WriterCommands : public WriterHost {
 protected:
  void SetUp() override {
    WriterHost::SetUp();
    game_ = temp() / u8path("流星蝴蝶剑");
    fs::create_directories(game_ / "pmodel");
  }

  // A loaded model, chosen from the game's list as m01.skc.
  void loadModel(float x = 1.25f) {
    ql::store::skcHead().set(ql::TextRef(kHead.c_str()));
    setVertices({{x, 2, 3, 0.5f, 0.25f}, {4, 5, 6, 1, 0}, {7, 8, 9, 0, 1}});
    setBoneTexts({"1 0 1", "1 0 1", "2 0 0.5 1 0.5"});
    setTriangles({{0, 0, 1, 2}});
    setTexturePaths({"C:\\x\\lx_ptx_tmp\\body.tga"});
    ql::store::gameFolder().set(ql::TextRef(modulePath(game_).c_str()));
    ql::store::modelFileName().set(ql::TextRef("m01.skc"));
    vars.modelLoaded = 1;
  }
  std::string skcText() { return take(ql::model::buildSkcText()); }
  std::string ac3dText() { return take(ql::formats::buildAc3dText()); }

  fs::path modelFile() const { return game_ / "pmodel" / "m01.skc"; }
  fs::path backupFile() const { return game_ / "pmodel" / "m01.skc.bak"; }
  std::string backupText() const { return modulePath(backupFile()); }
  // Everything in the pmodel folder, for "nothing else was written".
  std::vector<std::string> pmodelEntries() const {
    std::vector<std::string> names;
    for (const auto& e : fs::directory_iterator(game_ / "pmodel")) names.push_back(e.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
  }

  fs::path game_;
};

using Routine = intptr_t (*)(intptr_t, intptr_t, intptr_t);

TEST_F(WriterCommands, RefuseBeforeAnyModelIsLoaded) {
  const std::pair<const char*, Routine> commands[] = {
      {"SKC export", &exportSkc}, {"save to game", &saveToGame}, {"AC3D export", &exportAc3d}};
  // Even with a game folder and a model name (an import can set them).
  ql::store::gameFolder().set(ql::TextRef(modulePath(game_).c_str()));
  ql::store::modelFileName().set(ql::TextRef("m01.skc"));
  writeFile(modelFile(), kGameModel);
  for (const auto& [name, routine] : commands) {
    SCOPED_TRACE(name);
    const size_t before = boxes().size();
    routine(0, 0, 0);
    ASSERT_EQ(boxes().size(), before + 1);
    EXPECT_EQ(boxTexts().back(), gbk("没有可输出的数据!"));
  }
  EXPECT_TRUE(dialogs().empty());
  EXPECT_EQ(pmodelEntries(), std::vector<std::string>{"m01.skc"});
  EXPECT_EQ(readFile(modelFile()), kGameModel);
  EXPECT_TRUE(fs::is_empty(programDir()));
}

// A number the text form cannot carry: "inf" reads back as 0 everywhere, so
// the model is refused before anything is asked or written.
TEST_F(WriterCommands, NonFiniteVertexNumbersAreRefusedBeforeAnythingIsWritten) {
  constexpr float kInf = std::numeric_limits<float>::infinity();
  const std::pair<const char*, Routine> commands[] = {
      {"SKC export", &exportSkc}, {"save to game", &saveToGame}, {"AC3D export", &exportAc3d}};
  struct Case {
    size_t row, column;  // from 0
    float value;
    const char* message;
  };
  const Case cases[] = {
      {0, 0, kInf, "模型数据无效，未输出：顶点 [1] 的坐标 x 为 inf，不是有限的数"},
      {1, 1, -kInf, "模型数据无效，未输出：顶点 [2] 的坐标 y 为 -inf，不是有限的数"},
      {2, 2, kInf, "模型数据无效，未输出：顶点 [3] 的坐标 z 为 inf，不是有限的数"},
      {1, 3, -kInf, "模型数据无效，未输出：顶点 [2] 的纹理坐标 u 为 -inf，不是有限的数"},
      {2, 4, kInf, "模型数据无效，未输出：顶点 [3] 的纹理坐标 v 为 inf，不是有限的数"},
      {0, 2, std::numeric_limits<float>::quiet_NaN(), "模型数据无效，未输出：顶点 [1] 的坐标 z 为 nan，不是有限的数"},
  };
  writeFile(modelFile(), kGameModel);
  for (const Case& c : cases) {
    SCOPED_TRACE(c.message);
    loadModel();
    std::vector<std::array<float, 5>> rows = {{1.25f, 2, 3, 0.5f, 0.25f}, {4, 5, 6, 1, 0}, {7, 8, 9, 0, 1}};
    rows[c.row][c.column] = c.value;
    // The first one found is named: a later row is bad too.
    rows.push_back({kInf, kInf, kInf, kInf, kInf});
    setVertices(rows);
    for (const auto& [name, routine] : commands) {
      SCOPED_TRACE(name);
      const size_t before = boxes().size();
      routine(0, 0, 0);
      ASSERT_EQ(boxes().size(), before + 1);
      EXPECT_EQ(boxTexts().back(), gbk(c.message));
    }
  }
  EXPECT_TRUE(dialogs().empty());
  EXPECT_EQ(pmodelEntries(), std::vector<std::string>{"m01.skc"});
  EXPECT_EQ(readFile(modelFile()), kGameModel);
  EXPECT_TRUE(fs::is_empty(programDir()));

  // The largest finite singles are written; rows past the vertex count are
  // not, and do not count.
  const float big = std::numeric_limits<float>::max();
  setVertices({{big, -big, std::numeric_limits<float>::denorm_min(), 0, 0}, {kInf, kInf, kInf, kInf, kInf}}, 1);
  setTriangles({});
  saveToGame(0, 0, 0);
  EXPECT_EQ(boxTexts().back(), gbk("已替换模型到 流星蝴蝶剑 目录下,请运行游戏查看效果。"));
  EXPECT_NE(readFile(modelFile()).find("    v   3.4028235e+38 -3.4028235e+38 1e-45 vt 0 0 Bones "),
            std::string::npos)
      << readFile(modelFile());
}

TEST_F(WriterCommands, CancelledDialogs) {
  loadModel();
  cancelDialog();
  exportSkc(0, 0, 0);
  EXPECT_TRUE(boxes().empty()) << "a cancelled SKC export says nothing";
  cancelDialog();
  exportAc3d(0, 0, 0);
  EXPECT_EQ(boxTexts(), std::vector<std::string>{gbk("输入模型失败！")});

  // Both ask in the program folder with their own filter.
  ASSERT_EQ(dialogs().size(), 2u);
  EXPECT_EQ(dialogs()[0].initialFolder, modulePath(programDir()));
  EXPECT_EQ(dialogs()[0].filter, gbk("流星蝴蝶剑模型格式|*.skc"));
  EXPECT_EQ(dialogs()[1].initialFolder, modulePath(programDir()));
  EXPECT_EQ(dialogs()[1].filter, gbk("AC3D模型格式|*.ac"));
  EXPECT_TRUE(fs::is_empty(programDir()));
}

TEST_F(WriterCommands, ExportsWriteTheWholeTextAndSaySo) {
  loadModel();
  const fs::path skc = programDir() / u8path("导出.skc");
  const fs::path ac = programDir() / u8path("导出.ac");
  // Longer files are replaced whole, not overwritten in part.
  writeFile(skc, std::string(10000, 'x'));
  writeFile(ac, std::string(10000, 'x'));

  confirmDialog(skc);
  exportSkc(0, 0, 0);
  confirmDialog(ac);
  exportAc3d(0, 0, 0);

  EXPECT_EQ(readFile(skc), skcText());
  EXPECT_EQ(readFile(ac), ac3dText());
  EXPECT_EQ(boxTexts(), (std::vector<std::string>{gbk("已输出SKC文件到 ") + modulePath(skc),
                                                  gbk("已输出模型: ") + modulePath(ac)}));
}

TEST_F(WriterCommands, ExportWriteFailureNamesTheFileInsteadOfSuccess) {
  loadModel();
  writeFile(programDir() / "a file", "x");
  fs::create_directories(programDir() / "folder.skc");
  const std::pair<const char*, fs::path> targets[] = {
      {"a folder of that name", programDir() / "folder.skc"},
      {"a parent that is a file", programDir() / "a file" / "model.skc"},
      {"a missing parent", programDir() / "none" / "model.skc"},
  };
  for (const auto& [name, target] : targets) {
    SCOPED_TRACE(name);
    const size_t before = boxes().size();
    confirmDialog(target);
    exportSkc(0, 0, 0);
    confirmDialog(target);
    exportAc3d(0, 0, 0);
    ASSERT_EQ(boxes().size(), before + 2);
    EXPECT_EQ(boxTexts()[before], gbk("写入文件失败：") + modulePath(target));
    EXPECT_EQ(boxTexts()[before + 1], gbk("写入文件失败：") + modulePath(target));
  }
  EXPECT_TRUE(fs::is_directory(programDir() / "folder.skc"));
  EXPECT_EQ(readFile(programDir() / "a file"), "x");
}

TEST_F(WriterCommands, SaveToGameBacksUpOnceAndReplaces) {
  writeFile(modelFile(), kGameModel);
  loadModel();
  saveToGame(0, 0, 0);
  EXPECT_EQ(boxTexts(), (std::vector<std::string>{gbk("已备份原始模型文件，即将开始替换。"),
                                                  gbk("已替换模型到 流星蝴蝶剑 目录下,请运行游戏查看效果。")}));
  EXPECT_EQ(readFile(backupFile()), kGameModel);
  const std::string first = skcText();
  EXPECT_EQ(readFile(modelFile()), first);

  // A second save (another model now) only replaces the model file: the
  // backup of the game's own file stays.
  loadModel(-9.5f);
  const std::string second = skcText();
  ASSERT_NE(second, first);
  saveToGame(0, 0, 0);
  ASSERT_EQ(boxes().size(), 3u);
  EXPECT_EQ(boxTexts()[2], gbk("已替换模型到 流星蝴蝶剑 目录下,请运行游戏查看效果。"));
  EXPECT_EQ(readFile(backupFile()), kGameModel);
  EXPECT_EQ(readFile(modelFile()), second);
  EXPECT_EQ(pmodelEntries(), (std::vector<std::string>{"m01.skc", "m01.skc.bak"}));
}

TEST_F(WriterCommands, SaveToGameFindsTheGameFileInAnyLetterCase) {
  writeFile(game_ / "pmodel" / "M01.SKC", kGameModel);
  loadModel();
  saveToGame(0, 0, 0);
  ASSERT_EQ(boxes().size(), 2u);
  EXPECT_EQ(readFile(game_ / "pmodel" / "M01.SKC"), skcText());
  EXPECT_EQ(readFile(backupFile()), kGameModel);
  EXPECT_EQ(pmodelEntries(), (std::vector<std::string>{"M01.SKC", "m01.skc.bak"}));
}

TEST_F(WriterCommands, SaveToGameWithoutTheGameFileWritesItWithoutBackup) {
  loadModel();
  saveToGame(0, 0, 0);
  EXPECT_EQ(boxTexts(), std::vector<std::string>{gbk("已替换模型到 流星蝴蝶剑 目录下,请运行游戏查看效果。")});
  EXPECT_EQ(readFile(modelFile()), skcText());
  EXPECT_EQ(pmodelEntries(), std::vector<std::string>{"m01.skc"});
}

TEST_F(WriterCommands, SaveToGameRefusesNamesThatLeaveThePmodelFolder) {
  writeFile(modelFile(), kGameModel);
  writeFile(game_ / "x.skc", kGameModel);
  struct Case {
    std::string name;
    std::string message;
  };
  const Case cases[] = {
      {"", gbk("没有选择游戏中的模型文件，无法保存到游戏。")},
      {"..\\x.skc", gbk("模型文件名无效，无法保存到游戏：..\\x.skc")},
      {"sub\\m01.skc", gbk("模型文件名无效，无法保存到游戏：sub\\m01.skc")},
      {"../x.skc", gbk("模型文件名无效，无法保存到游戏：../x.skc")},
      {"C:m01.skc", gbk("模型文件名无效，无法保存到游戏：C:m01.skc")},
      {"..", gbk("模型文件名无效，无法保存到游戏：..")},
      {".", gbk("模型文件名无效，无法保存到游戏：.")},
      // A .skcname written by an editor that ends the line: the game would
      // never load the file of that name.
      {"m01.skc\r\n", gbk("模型文件名含有换行符或控制字符，无法保存到游戏：m01.skc\r\n")},
      {"m01.skc\n", gbk("模型文件名含有换行符或控制字符，无法保存到游戏：m01.skc\n")},
      {"m01\t.skc", gbk("模型文件名含有换行符或控制字符，无法保存到游戏：m01\t.skc")},
      {"\x1Fm01.skc", gbk("模型文件名含有换行符或控制字符，无法保存到游戏：\x1Fm01.skc")},
      {"m01.skc\x7F", gbk("模型文件名含有换行符或控制字符，无法保存到游戏：m01.skc\x7F")},
  };
  loadModel();
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    ql::store::modelFileName().set(ql::TextRef(c.name.c_str()));
    const size_t before = boxes().size();
    saveToGame(0, 0, 0);
    ASSERT_EQ(boxes().size(), before + 1);
    EXPECT_EQ(boxTexts().back(), c.message);
  }
  // Double-byte GBK names hold no control character: they save.
  const std::string chinese = gbk("主角丂.skc");
  ql::store::modelFileName().set(ql::TextRef(chinese.c_str()));
  saveToGame(0, 0, 0);
  EXPECT_EQ(boxTexts().back(), gbk("已替换模型到 流星蝴蝶剑 目录下,请运行游戏查看效果。"));
  EXPECT_EQ(readFile(game_ / "pmodel" / u8path("主角丂.skc")), skcText());
  fs::remove(game_ / "pmodel" / u8path("主角丂.skc"));

  // No game folder known: nothing to save into.
  ql::store::modelFileName().set(ql::TextRef("m01.skc"));
  ql::store::gameFolder().clear();
  saveToGame(0, 0, 0);
  EXPECT_EQ(boxTexts().back(), gbk("没有设置游戏目录，无法保存到游戏。"));

  EXPECT_EQ(pmodelEntries(), std::vector<std::string>{"m01.skc"});
  EXPECT_EQ(readFile(modelFile()), kGameModel);
  EXPECT_EQ(readFile(game_ / "x.skc"), kGameModel);
}

// Faults put in the way of each write: a folder where a file must go.
TEST_F(WriterCommands, SaveToGameLeavesTheGameFileAloneWhenAWriteFails) {
  struct Case {
    const char* name;
    bool backupExists;
    std::string blocked;   // the name in pmodel taken by a folder
    std::string message;   // after the backup message, if any
  };
  const Case cases[] = {
      {"backup cannot be made", false, "m01.skc.bak.tmp", "backup"},
      {"new text cannot be written", true, "m01.skc.tmp", "pending"},
      {"backup made, new text cannot be written", false, "m01.skc.tmp", "pending"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    fs::remove_all(game_ / "pmodel");
    writeFile(modelFile(), kGameModel);
    if (c.backupExists) writeFile(backupFile(), "first backup");
    fs::create_directories(game_ / "pmodel" / c.blocked);
    loadModel();
    const size_t before = boxes().size();
    saveToGame(0, 0, 0);

    const std::vector<std::string> all = boxTexts();
    const std::vector<std::string> said(all.begin() + long(before), all.end());
    const std::string failure =
        c.message == "backup" ? gbk("备份原始模型文件失败，模型文件没有被替换：") + backupText()
                              : gbk("写入文件失败：") + modulePath(game_ / "pmodel" / "m01.skc.tmp");
    std::vector<std::string> expected;
    if (!c.backupExists && c.message != "backup") expected.push_back(gbk("已备份原始模型文件，即将开始替换。"));
    expected.push_back(failure);
    EXPECT_EQ(said, expected);
    EXPECT_EQ(readFile(modelFile()), kGameModel);
    // The folder in the way is not the writer's to take away.
    EXPECT_TRUE(fs::is_directory(game_ / "pmodel" / c.blocked));
    if (c.backupExists) {
      EXPECT_EQ(readFile(backupFile()), "first backup");
    } else if (c.message == "backup") {
      EXPECT_FALSE(fs::exists(backupFile()));
    } else {
      EXPECT_EQ(readFile(backupFile()), kGameModel);
    }
  }
}

TEST_F(WriterCommands, SaveToGameReportsAReplaceThatFails) {
  // The game's "file" is a folder: the new text is written, but it cannot
  // take the folder's place.
  fs::create_directories(modelFile());
  writeFile(backupFile(), "first backup");
  loadModel();
  saveToGame(0, 0, 0);
  EXPECT_EQ(boxTexts(), std::vector<std::string>{gbk("写入文件失败：") + modulePath(modelFile())});
  EXPECT_TRUE(fs::is_directory(modelFile()));
  EXPECT_EQ(readFile(backupFile()), "first backup");
  // The new text that could not take its place does not stay behind.
  EXPECT_EQ(pmodelEntries(), (std::vector<std::string>{"m01.skc", "m01.skc.bak"}));
}

// A small file system of our own: full or read-only for real, even for root.
class SmallDisk {
 public:
  SmallDisk(const fs::path& at, const char* size) : at_(at) {
    fs::create_directories(at_);
#if defined(_WIN32)
    (void)size;  // no small disk to mount on Windows: the tests skip
#else
    const std::string options = std::string("size=") + size;
    mounted_ = ::mount("tmpfs", at_.c_str(), "tmpfs", 0, options.c_str()) == 0;
#endif
  }
  ~SmallDisk() {
#if !defined(_WIN32)
    if (mounted_) ::umount2(at_.c_str(), MNT_DETACH);
#endif
  }
  bool mounted() const { return mounted_; }
  bool makeReadOnly() {
#if defined(_WIN32)
    return false;
#else
    return ::mount("tmpfs", at_.c_str(), "tmpfs", MS_REMOUNT | MS_RDONLY, nullptr) == 0;
#endif
  }
  // Fills the disk until fewer than `leave` bytes are free.
  void fill(size_t leave) {
    const std::string chunk(4096, 'f');
    std::ofstream out(at_ / "filler", std::ios::binary);
    for (;;) {
      std::error_code ec;
      const auto space = fs::space(at_, ec);
      if (ec || space.available < leave) break;
      out.write(chunk.data(), std::streamsize(chunk.size()));
      out.flush();
      if (!out) break;
    }
  }
  void removeFiller() { fs::remove(at_ / "filler"); }

 private:
  fs::path at_;
  bool mounted_ = false;
};

class SaveToGameOnSmallDisk : public WriterCommands {
 protected:
  void SetUp() override {
#if defined(_WIN32)
    GTEST_SKIP() << "no small disk to mount on Windows";
#endif
    WriterCommands::SetUp();
    disk_ = std::make_unique<SmallDisk>(temp() / "disk", "256k");
    if (!disk_->mounted()) GTEST_SKIP() << "cannot mount a tmpfs here (needs root)";
    game_ = temp() / "disk" / u8path("流星蝴蝶剑");
    fs::create_directories(game_ / "pmodel");
  }
  void TearDown() override {
#if !defined(_WIN32)  // skipped before any set-up
    disk_.reset();
    WriterCommands::TearDown();
#endif
  }
  // A model whose SKC text is about `bytes` long.
  void loadModelOfSize(size_t bytes) {
    loadModel();
    const size_t rows = bytes / 60 + 1;
    std::vector<std::array<float, 5>> v(rows, {1.234567f, 2.345678f, 3.456789f, 0.123456f, 0.654321f});
    setVertices(v);
    setBoneTexts(std::vector<std::string>(rows, "2 11 0.83333  2 0.16667"));
  }
  std::unique_ptr<SmallDisk> disk_;
};

TEST_F(SaveToGameOnSmallDisk, FullDiskKeepsTheGameFileAndMakesNoBackup) {
  const std::string gameModel = kGameModel + std::string(64 * 1024, 'g');
  writeFile(modelFile(), gameModel);
  loadModelOfSize(16 * 1024);
  disk_->fill(32 * 1024);  // room for neither the backup nor the model

  saveToGame(0, 0, 0);
  EXPECT_EQ(boxTexts(), std::vector<std::string>{gbk("备份原始模型文件失败，模型文件没有被替换：") + backupText()});
  EXPECT_EQ(readFile(modelFile()), gameModel);
  // Neither the backup nor the part of it that was copied.
  EXPECT_EQ(pmodelEntries(), std::vector<std::string>{"m01.skc"});

  // Room again: the backup is made now, whole.
  disk_->removeFiller();
  saveToGame(0, 0, 0);
  ASSERT_EQ(boxes().size(), 3u);
  EXPECT_EQ(readFile(backupFile()), gameModel);
  EXPECT_EQ(readFile(modelFile()), skcText());
}

TEST_F(SaveToGameOnSmallDisk, FullDiskDuringTheWriteKeepsTheGameFile) {
  writeFile(modelFile(), kGameModel);
  writeFile(backupFile(), "first backup");
  loadModelOfSize(400 * 1024);  // more than the whole disk
  saveToGame(0, 0, 0);
  EXPECT_EQ(boxTexts(), std::vector<std::string>{gbk("写入文件失败：") + modulePath(game_ / "pmodel" / "m01.skc.tmp")});
  EXPECT_EQ(readFile(modelFile()), kGameModel);
  EXPECT_EQ(readFile(backupFile()), "first backup");
  // The part of the new text that was written does not stay behind.
  EXPECT_EQ(pmodelEntries(), (std::vector<std::string>{"m01.skc", "m01.skc.bak"}));
}

TEST_F(SaveToGameOnSmallDisk, ReadOnlyFolderChangesNothing) {
  writeFile(modelFile(), kGameModel);
  ASSERT_TRUE(disk_->makeReadOnly());
  loadModel();
  saveToGame(0, 0, 0);
  EXPECT_EQ(boxTexts(), std::vector<std::string>{gbk("备份原始模型文件失败，模型文件没有被替换：") + backupText()});
  EXPECT_EQ(readFile(modelFile()), kGameModel);
  EXPECT_EQ(pmodelEntries(), std::vector<std::string>{"m01.skc"});

  // An export into the read-only folder fails the same way.
  confirmDialog(game_ / "pmodel" / "x.skc");
  exportSkc(0, 0, 0);
  EXPECT_EQ(boxTexts().back(), gbk("写入文件失败：") + modulePath(game_ / "pmodel" / "x.skc"));
}

}  // namespace
}  // namespace writers
