// The writers in the real program: menu clicks on the module image running
// on kbase.qlr and the headless window system, real SKC files loaded by the
// reader, exported and loaded again.
#include <cstdio>
#include <random>

#include "model/skc_reader.h"
#include "model/skc_writer.h"
#include "module/support/support.h"
#include "tests/e2e/app_fixture.h"

namespace ql::e2e {
namespace {

// What a load leaves in the store, copied out while the program runs.
struct StoreCopy {
  int32_t vertexCount = 0, triangleCount = 0;
  std::vector<uint32_t> vertexBits;  // columns 1–5 of rows 1 … vertexCount, as bit patterns
  std::vector<int32_t> triangles;    // columns 1–4 of rows 1 … triangleCount
  std::vector<std::string> boneTexts;
  std::string skcHead;
};

StoreCopy copyStore() {
  StoreCopy c;
  const Globals& g = globals();
  c.vertexCount = g.vertexCount;
  c.triangleCount = g.triangleCount;
  auto vt = store::vertexTable();
  for (int32_t r = 1; r <= g.vertexCount; ++r)
    for (int32_t col = 1; col <= 5; ++col) c.vertexBits.push_back(std::bit_cast<uint32_t>(float(vt.get(r, col))));
  auto tt = store::triangleTable();
  for (int32_t r = 1; r <= g.triangleCount; ++r)
    for (int32_t col = 1; col <= 4; ++col) c.triangles.push_back(tt.get(r, col));
  auto bones = store::boneTexts();
  for (uint32_t i = 1; i <= bones.size(); ++i) c.boneTexts.emplace_back(bones.text(i).view());
  c.skcHead = std::string(store::skcHead().get().view());
  return c;
}

// A character-like model as the game writes it: fixed-width numbers with
// several blanks between them, bone texts of one to three influences,
// triangle lines with a double blank, a closing brace.
std::string generatedSkc(int vertices, int triangles) {
  std::mt19937 random(2024);
  std::uniform_real_distribution<double> pos(-8, 8), up(0, 41), tex(-0.05, 1.05), weight(0, 1);
  std::string s =
      "# Character Skin Export for Interserv\r\n#\t\t\t\tA Modeller\r\nStatic Skins: 1 Dynamic Skins: 0\r\n"
      "Static Skin S_01\r\n{\r\n  Materials: 2\r\n  Material\r\n    Texture   nm001b01.tga\r\n"
      "    Ambient\t 0.70  0.70  0.70\r\n    Option    NONE\r\n  Material\r\n    Texture   nm001f01.JPG\r\n"
      "    Option    ALPHA\r\n";
  char line[200];
  std::snprintf(line, sizeof line, "  Vertices: %d\r\n", vertices);
  s += line;
  for (int i = 0; i < vertices; ++i) {
    const int influences = 1 + i % 3;
    std::string bones = std::to_string(influences);
    for (int k = 0; k < influences; ++k) {
      std::snprintf(line, sizeof line, " %d %.5f", (i + k) % 30, weight(random));
      bones += line;
    }
    std::snprintf(line, sizeof line, "    v %9.5f %9.5f %9.5f vt %.3f %.3f Bones %s\r\n", pos(random), pos(random),
                  up(random), tex(random), tex(random), bones.c_str());
    s += line;
  }
  std::snprintf(line, sizeof line, "  Triangles: %d\r\n", triangles);
  s += line;
  for (int t = 0; t < triangles; ++t) {
    std::snprintf(line, sizeof line, "    f 3  %d %d %d %d\r\n", t % 2, t % vertices, (t * 7 + 1) % vertices,
                  (t * 13 + 2) % vertices);
    s += line;
  }
  return s + "}";
}

class WritersInTheProgram : public AppFixture {
 protected:
  void SetUp() override {
    AppFixture::SetUp();
    seedFinishedFirstStart();
  }
  std::string said(size_t i) const { return i < boxes().size() ? boxes()[i].text : std::string("<no box>"); }
};

TEST_F(WritersInTheProgram, MenuCommandsRefuseBeforeAnyModelIsLoaded) {
  writeBytes(gameDir() / "pmodel" / "m01.skc", generatedSkc(3, 1));
  step([&] {
    for (const char* item : {"文件/输出/SKC格式", "文件/保存/保存到游戏", "文件/输出/AC3D格式"}) {
      SCOPED_TRACE(item);
      EXPECT_TRUE(clickMenu(item).ok());
    }
  });
  for (int i = 0; i < 3; ++i) answerBox(0);
  run();
  expectCleanEnd();
  ASSERT_EQ(boxes().size(), 3u);
  for (const auto& box : boxes()) EXPECT_EQ(box.text, gbk("没有可输出的数据!"));
  EXPECT_TRUE(dialogs().empty());
  EXPECT_EQ(readBytes(gameDir() / "pmodel" / "m01.skc"), generatedSkc(3, 1));
}

TEST_F(WritersInTheProgram, GeneratedModelRoundTripsThroughSkc) {
  constexpr int kVertices = 300, kTriangles = 420;
  writeBytes(gameDir() / "pmodel" / "gen.skc", generatedSkc(kVertices, kTriangles));
  const fs::path exported = programDir() / u8path("导出.skc");
  StoreCopy first, second;
  std::string rebuilt;

  step([&] { EXPECT_TRUE(chooseModel(0).ok()); });
  answerBox(0);  // "k" and the triangle count
  step([&] {
    ASSERT_EQ(store().modelLoaded, 1);
    first = copyStore();
    EXPECT_TRUE(clickMenu("文件/输出/SKC格式").ok());
  });
  confirmDialog(exported);
  answerBox(0);  // "已输出SKC文件到 " and the path
  step([&] { model::loadSkcModel(TextRef(modulePath(exported).c_str())); });
  answerBox(0);  // "k" and the triangle count
  step([&] {
    second = copyStore();
    rebuilt = std::string(model::buildSkcText().view());
  });
  run();
  expectCleanEnd();

  ASSERT_EQ(boxes().size(), 3u);
  EXPECT_EQ(said(0), "k" + std::to_string(kTriangles));
  EXPECT_EQ(said(1), gbk("已输出SKC文件到 ") + modulePath(exported));
  ASSERT_EQ(dialogs().size(), 1u);

  EXPECT_EQ(first.vertexCount, kVertices);
  EXPECT_EQ(first.triangleCount, kTriangles);
  EXPECT_EQ(second.vertexCount, first.vertexCount);
  EXPECT_EQ(second.triangleCount, first.triangleCount);
  EXPECT_EQ(second.vertexBits, first.vertexBits);
  EXPECT_EQ(second.triangles, first.triangles);
  EXPECT_EQ(second.boneTexts, first.boneTexts);
  // Each save-and-load cycle adds one empty line to the head.
  EXPECT_EQ(second.skcHead, first.skcHead + "\r\n");
  // The exported file is the writer's text, and writing it again differs
  // only by that line.
  const std::string file = readBytes(exported);
  const size_t at = file.find("  Vertices: ");
  ASSERT_NE(at, std::string::npos);
  EXPECT_EQ(rebuilt, file.substr(0, at) + "\r\n" + file.substr(at));
}

TEST_F(WritersInTheProgram, SaveToGameAndAc3dExportFromTheMenu) {
  const std::string original = generatedSkc(4, 2);
  writeBytes(gameDir() / "pmodel" / "m01.skc", original);
  const fs::path ac = programDir() / "m01.ac";
  std::string skcText, acText;

  step([&] { EXPECT_TRUE(chooseModel(0).ok()); });
  answerBox(0);  // "k2"
  step([&] {
    skcText = std::string(model::buildSkcText().view());
    EXPECT_TRUE(clickMenu("文件/保存/保存到游戏").ok());
  });
  answerBox(0);  // backup made
  answerBox(0);  // replaced
  step([&] { EXPECT_TRUE(clickMenu("文件/保存/保存到游戏").ok()); });
  answerBox(0);  // replaced (the backup is kept)
  step([&] { EXPECT_TRUE(clickMenu("文件/输出/AC3D格式").ok()); });
  confirmDialog(ac);
  answerBox(0);
  step([&] { EXPECT_TRUE(clickMenu("文件/输出/AC3D格式").ok()); });
  cancelDialog();
  answerBox(0);
  run();
  expectCleanEnd();

  ASSERT_EQ(boxes().size(), 6u);
  EXPECT_EQ(said(1), gbk("已备份原始模型文件，即将开始替换。"));
  EXPECT_EQ(said(2), gbk("已替换模型到 流星蝴蝶剑 目录下,请运行游戏查看效果。"));
  EXPECT_EQ(said(3), gbk("已替换模型到 流星蝴蝶剑 目录下,请运行游戏查看效果。"));
  EXPECT_EQ(said(4), gbk("已输出模型: ") + modulePath(ac));
  EXPECT_EQ(said(5), gbk("输入模型失败！"));
  EXPECT_EQ(readBytes(gameDir() / "pmodel" / "m01.skc.bak"), original);
  EXPECT_EQ(readBytes(gameDir() / "pmodel" / "m01.skc"), skcText);
  EXPECT_FALSE(exists(gameDir() / "pmodel" / "m01.skc.tmp"));

  acText = readBytes(ac);
  // Two materials: the object names the second texture.
  EXPECT_NE(acText.find("loc 0 0.795615 0\r\ntexture \"nm001f01.JPG\"\r\nnumvert 4\r\n"), std::string::npos) << acText;
  EXPECT_NE(acText.find("numsurf 2\r\nSURF 0x00\r\nmat 0\r\nrefs 3\r\n0 "), std::string::npos);
  EXPECT_EQ(acText.substr(acText.size() - 8), "kids 0\r\n");
}

// A coordinate beyond the singles' range loads as infinity; no writer may
// turn it into "inf", which reads back as 0.
TEST_F(WritersInTheProgram, AnInfiniteCoordinateIsRefusedByEveryWriter) {
  std::string skc = generatedSkc(3, 1);
  // Vertex 2's x: the first number after the second "v".
  const size_t line = skc.find("\r\n    v ", skc.find("\r\n    v ") + 1);
  ASSERT_NE(line, std::string::npos);
  const size_t number = skc.find_first_not_of(' ', line + 7);
  skc.replace(number, skc.find(' ', number) - number, "1e39");
  writeBytes(gameDir() / "pmodel" / "m01.skc", skc);

  const char* const commands[] = {"文件/输出/SKC格式", "文件/保存/保存到游戏", "文件/输出/OBJ格式", "文件/输出/AC3D格式"};
  step([&] { EXPECT_TRUE(chooseModel(0).ok()); });
  answerBox(0);  // "k1"
  step([&] {
    ASSERT_EQ(store().modelLoaded, 1);
    for (const char* item : commands) {
      SCOPED_TRACE(item);
      EXPECT_TRUE(clickMenu(item).ok());
    }
  });
  for (size_t i = 0; i < std::size(commands); ++i) answerBox(0);
  run();
  expectCleanEnd();

  ASSERT_EQ(boxes().size(), 1 + std::size(commands));
  for (size_t i = 1; i < boxes().size(); ++i)
    EXPECT_EQ(said(i), gbk("模型数据无效，未输出：顶点 [2] 的坐标 x 为 inf，不是有限的数"));
  EXPECT_TRUE(dialogs().empty());
  EXPECT_EQ(readBytes(gameDir() / "pmodel" / "m01.skc"), skc);
  EXPECT_FALSE(exists(gameDir() / "pmodel" / "m01.skc.bak"));
}

// An OBJ whose .skcname an editor ended with a line break: save to game
// refuses the name instead of writing a new file that the game never loads.
TEST_F(WritersInTheProgram, SaveToGameRefusesAModelNameWithALineBreak) {
  const std::string original = generatedSkc(3, 1);
  writeBytes(gameDir() / "pmodel" / "m01.skc", original);
  const fs::path edited = programDir() / "edited";
  writeBytes(edited / "m01.obj", "v 1 2 3\r\nv 4 5 6\r\nv 7 8 9\r\nvt 0 0\r\nf 1/1 2/1 3/1");
  writeBytes(edited / ".bones", "1 0 1\r\n1 0 1\r\n1 0 1");
  writeBytes(edited / ".skchead", "");
  writeBytes(edited / ".skcname", "m01.skc\r\n");

  step([&] {
    EXPECT_TRUE(clickMenu("文件/打开/打开OBJ格式").ok());
    ASSERT_EQ(store().modelLoaded, 1);
    EXPECT_EQ(store::modelFileName().get().view(), "m01.skc\r\n");
    EXPECT_TRUE(clickMenu("文件/保存/保存到游戏").ok());
  });
  confirmDialog(edited / "m01.obj");
  answerBox(0);
  run();
  expectCleanEnd();

  ASSERT_EQ(boxes().size(), 1u);
  EXPECT_EQ(said(0), gbk("模型文件名含有换行符或控制字符，无法保存到游戏：") + "m01.skc\r\n");
  std::vector<std::string> pmodel;
  for (const auto& e : fs::directory_iterator(gameDir() / "pmodel")) pmodel.push_back(e.path().filename().string());
  EXPECT_EQ(pmodel, std::vector<std::string>{"m01.skc"});
  EXPECT_EQ(readBytes(gameDir() / "pmodel" / "m01.skc"), original);
}

}  // namespace
}  // namespace ql::e2e
