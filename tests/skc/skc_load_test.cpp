// The SKC load through the real program: the model list, a selection, the
// reader with the runtime's regular expressions and number conversion, the
// log, the message boxes and what each outcome leaves in the store.
#include <algorithm>
#include <string>
#include <vector>

#include "game/model_list.h"
#include "model/skc_reader.h"
#include "tests/e2e/app_fixture.h"
#include "tests/skc/skc_test_support.h"

namespace ql::e2e {
namespace {

using skctest::copyStore;
using skctest::headLines;
using skctest::joinLines;
using skctest::kReferenceBones;
using skctest::kReferenceTriangles;
using skctest::kReferenceVertices;
using skctest::referenceModel;
using skctest::referenceTriangleLines;
using skctest::referenceVertexLines;
using skctest::StoreCopy;

constexpr int32_t kRedrawInterval = 50;

std::vector<std::string> concatLines(std::initializer_list<std::vector<std::string>> parts) {
  std::vector<std::string> out;
  for (const auto& p : parts) out.insert(out.end(), p.begin(), p.end());
  return out;
}

class SkcLoad : public AppFixture {
 protected:
  void SetUp() override {
    AppFixture::SetUp();
    seedFinishedFirstStart();
  }

  fs::path modelFile(const std::string& name) { return gameDir() / "pmodel" / name; }
  void writeModel(const std::string& name, std::string_view bytes) { writeBytes(modelFile(name), bytes); }

  // Chooses the list entry with this name, as the user does, and copies the
  // store after the load. Fails the test when the list has no such entry.
  void choose(const std::string& name, StoreCopy* after = nullptr, int32_t* timer = nullptr) {
    step([this, name, after, timer] {
      const std::vector<std::string> list = modelList();
      const auto it = std::find(list.begin(), list.end(), name);
      ASSERT_NE(it, list.end()) << name << " is not in the model list";
      ASSERT_TRUE(chooseModel(int32_t(it - list.begin())).ok());
      if (after) *after = copyStore();
      if (timer) *timer = intProperty(ui::kMainWindowId, ui::kTimer1Id, window::prop::kIntervalOrText);
    });
  }

  std::string textureFolderText() const { return programFolderText() + "\\lx_ptx_tmp"; }
  std::string texturePath(const std::string& name) const { return textureFolderText() + "\\" + name; }
  std::vector<std::string> referencePaths() const { return {texturePath("a.tga"), texturePath("b.bmp")}; }

  std::string boxText(size_t i) const { return i < boxes().size() ? boxes()[i].text : "<no box>"; }

  static void expectReferenceVertices(const StoreCopy& s) {
    EXPECT_EQ(s.vertexCount, 3);
    ASSERT_EQ(s.vertexRows, 3u);
    for (size_t r = 0; r < 3; ++r) EXPECT_EQ(s.vertices[r], kReferenceVertices[r]) << "vertex row " << r + 1;
    EXPECT_EQ(s.boneTexts, kReferenceBones);
  }
  static void expectReferenceModel(const StoreCopy& s) {
    expectReferenceVertices(s);
    EXPECT_EQ(s.triangleCount, 2);
    ASSERT_EQ(s.triangleRows, 2u);
    for (size_t r = 0; r < 2; ++r) EXPECT_EQ(s.triangles[r], kReferenceTriangles[r]) << "triangle row " << r + 1;
  }
};

TEST_F(SkcLoad, CompleteFileFillsTheStoreLogsAndRestartsTheTimer) {
  writeModel("ref.skc", referenceModel());
  StoreCopy s;
  int32_t timer = -1;
  choose("ref.skc", &s, &timer);
  answerBox();  // "k2"
  run();
  expectCleanEnd();

  ASSERT_EQ(boxes().size(), 1u);
  EXPECT_EQ(boxes()[0].text, "k2");
  EXPECT_FALSE(boxes()[0].caption.has_value());
  EXPECT_EQ(timer, kRedrawInterval);

  EXPECT_EQ(s.modelLoaded, 1);
  EXPECT_EQ(s.modelFileName, "ref.skc");
  EXPECT_EQ(s.materialCount, 2);
  EXPECT_EQ(s.texturePaths, referencePaths());
  EXPECT_EQ(s.textureIds, (std::vector<int32_t>{0, 0}));  // no GL context here
  // The head: everything before the first "  Vertices:", with its line breaks.
  EXPECT_EQ(s.skcHead, joinLines(headLines({"a.tga", "b.bmp"})) + "\r\n");
  expectReferenceModel(s);

  const std::vector<std::string> expectedLog = {
      gbk("=========开始分析SKC文件========"),
      gbk("材质总数 == [2]"),
      gbk("纹理 =  [") + texturePath("a.tga") + "]",
      gbk("纹理 =  [") + texturePath("b.bmp") + "]",
      gbk("三角形总数： [2]"),
      "i2==2",
      "2",  // first vertex index of the second-to-last triangle
      gbk("载入顶点 [3] 个！ 成功"),
  };
  EXPECT_EQ(finalLogLines(), expectedLog) << utf8(finalLog());
}

// Outcomes that stop or shorten the load, each after a complete first load
// (ref.skc), so that "unchanged" and "kept from the previous model" show.
struct OutcomeCase {
  const char* name;
  std::string bytes;
  std::vector<std::string> boxes;  // after the first load's "k2" (UTF-8)
  std::vector<std::string> logTail;  // log lines after the banner (UTF-8; "@tex:x" = texture line of x)
  bool newMaterials;  // texturePaths and head from this file
  int32_t vertexCount;
  int32_t triangleCount;
  bool verticesFromFirst;   // vertexTable and boneTexts still those of ref.skc
  bool trianglesFromFirst;  // triangleTable still that of ref.skc
};

std::vector<OutcomeCase> outcomeCases() {
  std::vector<OutcomeCase> cases;
  std::string model = referenceModel();
  {
    std::string trailingSpace = model;
    trailingSpace.insert(skctest::kHeaderLine.size(), " ");
    cases.push_back({"header with a trailing space", trailingSpace, {"错误的模型文件！"},
                     {"载入顶点 [3] 个！ 成功"}, false, 3, 2, true, true});
  }
  {
    std::string bareLf;
    for (char c : model)
      if (c != '\r') bareLf += c;
    cases.push_back({"bare LF line ends: one single line", bareLf, {"错误的模型文件！"},
                     {"载入顶点 [3] 个！ 成功"}, false, 3, 2, true, true});
  }
  cases.push_back({"empty file", "", {"在模型文件中没有找到材质样式"}, {"材质总数 == [2]", "载入顶点 [3] 个！ 成功"},
                   false, 3, 2, true, true});
  {
    auto lines = concatLines({{std::string(skctest::kHeaderLine), "{", "  Vertices: 3"}, referenceVertexLines()});
    cases.push_back({"no Materials line: message after the log line", joinLines(lines),
                     {"在模型文件中没有找到材质样式"}, {"材质总数 == [2]", "载入顶点 [3] 个！ 成功"}, false, 3, 2,
                     true, true});
  }
  {
    auto lines = concatLines({headLines({"c.tga"}), referenceVertexLines(), {"  Triangles: 2"},
                              referenceTriangleLines(), {"}"}});
    cases.push_back({"no vertex count", joinLines(lines), {},
                     {"材质总数 == [1]", "@tex:c.tga", "三角形总数： []", "i2==0", "载入顶点 [0] 个！ 成功"}, true, 0,
                     0, true, true});
  }
  {
    auto lines = concatLines({headLines({"c.tga"}), {"  Vertices: 3"}, referenceVertexLines(), {"   "},
                              {"  Triangles: 2"}, referenceTriangleLines(), {"}"}});
    cases.push_back({"a blank line between the vertex block and Triangles", joinLines(lines), {},
                     {"材质总数 == [1]", "@tex:c.tga", "三角形总数： []", "i2==0", "载入顶点 [3] 个！ 成功"}, true, 3,
                     0, false, true});
  }
  return cases;
}

TEST_F(SkcLoad, OutcomesLeaveTheStoreAsDescribed) {
  for (const OutcomeCase& c : outcomeCases()) {
    SCOPED_TRACE(c.name);
    fs::remove_all(gameDir() / "pmodel");
    writeModel("ref.skc", referenceModel());
    writeModel("next.skc", c.bytes);
    StoreCopy first, after;
    choose("ref.skc", &first);
    choose("next.skc", &after);
    answerBox();  // "k2"
    for (size_t i = 0; i < c.boxes.size(); ++i) answerBox();
    run();
    expectCleanEnd();

    ASSERT_EQ(boxes().size(), 1 + c.boxes.size());
    for (size_t i = 0; i < c.boxes.size(); ++i) EXPECT_EQ(boxText(1 + i), gbk(c.boxes[i]));

    std::vector<std::string> expectedLog = {gbk("=========开始分析SKC文件========")};
    for (const std::string& l : c.logTail) {
      expectedLog.push_back(l.rfind("@tex:", 0) == 0 ? gbk("纹理 =  [") + texturePath(l.substr(5)) + "]" : gbk(l));
    }
    EXPECT_EQ(finalLogLines(), expectedLog) << utf8(finalLog());

    // The selection sets the file name whatever the outcome.
    EXPECT_EQ(after.modelFileName, "next.skc");
    EXPECT_EQ(after.modelLoaded, 1);
    if (c.newMaterials) {
      EXPECT_EQ(after.materialCount, 1);
      EXPECT_EQ(after.texturePaths, std::vector<std::string>{texturePath("c.tga")});
      // Without "  Vertices:" there is no head.
      const bool marker = c.bytes.find("  Vertices:") != std::string::npos;
      EXPECT_EQ(after.skcHead, marker ? joinLines(headLines({"c.tga"})) + "\r\n" : "");
    } else {
      EXPECT_EQ(after.materialCount, first.materialCount);
      EXPECT_EQ(after.texturePaths, first.texturePaths);
      EXPECT_EQ(after.skcHead, first.skcHead);
    }
    EXPECT_EQ(after.vertexCount, c.vertexCount);
    EXPECT_EQ(after.triangleCount, c.triangleCount);
    if (c.verticesFromFirst) {
      EXPECT_EQ(after.vertices, first.vertices);
      EXPECT_EQ(after.boneTexts, first.boneTexts);
    } else {
      expectReferenceVertices(after);
    }
    if (c.trianglesFromFirst) {
      EXPECT_EQ(after.triangles, first.triangles);
    }
  }
}

TEST_F(SkcLoad, OtherLineInsideTheVertexBlockIsSkippedUntilNVerticesThenEndsIt) {
  const auto vertices = referenceVertexLines();
  // A line of other text between vertex 1 and 2: skipped (k < N).
  writeModel("inside.skc", joinLines(concatLines({headLines({"a.tga"}), {"  Vertices: 3", vertices[0], "  other text",
                                                  vertices[1], vertices[2], "  Triangles: 2"},
                                                  referenceTriangleLines(), {"", "}"}})));
  // Vertices: 2 and three vertex lines: the third vertex line ends the block
  // (no row for it) and no Triangles line follows it.
  writeModel("more.skc", joinLines(concatLines({headLines({"a.tga"}), {"  Vertices: 2"}, vertices,
                                                {"  Triangles: 2"}, referenceTriangleLines(), {"", "}"}})));
  // Vertices: 5 and three vertex lines: the block never ends.
  writeModel("fewer.skc", joinLines(concatLines({headLines({"a.tga"}), {"  Vertices: 5"}, vertices,
                                                 {"  Triangles: 2"}, referenceTriangleLines(), {"", "}"}})));
  StoreCopy inside, more, fewer;
  choose("inside.skc", &inside);
  choose("more.skc", &more);
  choose("fewer.skc", &fewer);
  answerBox();  // "k2" of inside.skc
  run();
  expectCleanEnd();
  ASSERT_EQ(boxes().size(), 1u);

  expectReferenceModel(inside);

  EXPECT_EQ(more.vertexCount, 2);
  ASSERT_EQ(more.vertexRows, 2u);
  EXPECT_EQ(more.vertices[1], kReferenceVertices[1]);
  EXPECT_EQ(more.boneTexts, (std::vector<std::string>{kReferenceBones[0], kReferenceBones[1]}));
  EXPECT_EQ(more.triangleCount, 0);

  EXPECT_EQ(fewer.vertexCount, 3);
  ASSERT_EQ(fewer.vertexRows, 5u);
  EXPECT_EQ(fewer.vertices[2], kReferenceVertices[2]);
  EXPECT_EQ(fewer.vertices[3], (std::array<float, 5>{}));
  EXPECT_EQ(fewer.boneTexts, kReferenceBones);
  EXPECT_EQ(fewer.triangleCount, 0);
  // The last load logs an empty triangle count.
  const auto log = finalLogLines();
  EXPECT_NE(std::find(log.begin(), log.end(), gbk("三角形总数： []")), log.end()) << utf8(finalLog());
}

TEST_F(SkcLoad, UnmatchedTriangleLineLeavesAZeroRowAndUsesUpItsLine) {
  // Triangles: 3; the second of the three lines is no triangle; a fourth
  // triangle line after the block is not read.
  const auto tri = referenceTriangleLines();
  writeModel("t.skc", joinLines(concatLines({headLines({"a.tga"}), {"  Vertices: 3"}, referenceVertexLines(),
                                             {"  Triangles: 3", tri[0], "    f 2  0 1 2", tri[1], "    f 3  7 7 7 7",
                                              "}"}})));
  StoreCopy s;
  choose("t.skc", &s);
  answerBox();  // "k3"
  run();
  expectCleanEnd();
  EXPECT_EQ(boxText(0), "k3");
  EXPECT_EQ(s.triangleCount, 2);
  ASSERT_EQ(s.triangleRows, 3u);
  EXPECT_EQ(s.triangles[0], kReferenceTriangles[0]);
  EXPECT_EQ(s.triangles[1], (std::array<int32_t, 4>{0, 0, 0, 0}));
  EXPECT_EQ(s.triangles[2], kReferenceTriangles[1]);
  const auto log = finalLogLines();
  ASSERT_GE(log.size(), 3u);
  EXPECT_EQ(log[log.size() - 3], "i2==2");
  EXPECT_EQ(log[log.size() - 2], "0");  // row 2 column 2: the zero row
}

TEST_F(SkcLoad, TextureLinesBeyondTheMaterialCountAreIgnored) {
  auto lines = headLines({"a.tga", "b.bmp", "c.jpg"}, "2");
  lines.push_back("  Vertices: 3");
  for (auto& l : referenceVertexLines()) lines.push_back(l);
  lines.push_back("  Triangles: 2");
  for (auto& l : referenceTriangleLines()) lines.push_back(l);
  lines.push_back("}");
  writeModel("extra.skc", joinLines(lines));
  // Materials: 0 stores no texture and stops nothing.
  writeModel("none.skc", joinLines(concatLines({headLines({"a.tga"}, "0"), {"  Vertices: 3"}, referenceVertexLines(),
                                                {"  Triangles: 2"}, referenceTriangleLines(), {"}"}})));
  StoreCopy extra, none;
  choose("extra.skc", &extra);
  choose("none.skc", &none);
  answerBox();
  answerBox();
  run();
  expectCleanEnd();
  EXPECT_EQ(extra.materialCount, 2);
  EXPECT_EQ(extra.texturePaths, referencePaths());
  EXPECT_EQ(none.materialCount, 0);
  EXPECT_TRUE(none.texturePaths.empty());
  EXPECT_TRUE(none.textureIds.empty());
  expectReferenceModel(none);
}

// Counts that the file cannot hold: the program neither stops nor allocates
// for them; such a count reads no rows of that kind (or as many as the file
// has lines for).
struct HugeCountCase {
  const char* name;
  std::string materials, vertices, triangles;
  std::vector<std::string> boxes;
  int32_t materialCount;  // -1: as many as texturePaths has entries
  size_t maxTextureEntries;
  int32_t vertexCount;
  int32_t triangleCount;
  uint32_t maxVertexRows;
  uint32_t maxTriangleRows;
};

TEST_F(SkcLoad, CountsTheFileCannotHoldNeitherStopNorAllocate) {
  const HugeCountCase cases[] = {
      {"vertex count beyond 32 bits", "2", "99999999999", "2", {}, 2, 2, 0, 0, 0, 0},
      {"vertex count beyond int32 but within uint32", "2", "4000000000", "2", {}, 2, 2, 0, 0, 0, 0},
      {"vertex count of 0", "2", "0", "2", {}, 2, 2, 0, 0, 0, 0},
      {"vertex count with hundreds of digits", "2", std::string(400, '9'), "2", {}, 2, 2, 0, 0, 0, 0},
      {"vertex count beyond the lines", "2", "2000000000", "2", {}, 2, 2, 3, 0, 40, 0},
      {"triangle count beyond the lines", "2", "3", "2000000000", {"k2000000000"}, 2, 2, 3, 2, 3, 40},
      {"triangle count beyond 32 bits", "2", "3", "99999999999", {}, 2, 2, 3, 0, 3, 0},
      {"material count beyond the lines", "2147483647", "3", "2", {"k2"}, 2147483647, 40, 3, 2, 3, 2},
      {"material count beyond 32 bits", "99999999999", "3", "2", {"k2"}, -1, 40, 3, 2, 3, 2},
  };
  for (const HugeCountCase& c : cases) {
    SCOPED_TRACE(c.name);
    fs::remove_all(gameDir() / "pmodel");
    auto lines = headLines({"a.tga", "b.bmp"}, c.materials);
    lines.push_back("  Vertices: " + c.vertices);
    for (auto& l : referenceVertexLines()) lines.push_back(l);
    lines.push_back("  Triangles: " + c.triangles);
    for (auto& l : referenceTriangleLines()) lines.push_back(l);
    lines.push_back("}");
    writeModel("huge.skc", joinLines(lines));
    StoreCopy s;
    choose("huge.skc", &s);
    for (size_t i = 0; i < c.boxes.size(); ++i) answerBox();
    run();
    expectCleanEnd();
    ASSERT_EQ(boxes().size(), c.boxes.size());
    for (size_t i = 0; i < c.boxes.size(); ++i) EXPECT_EQ(boxText(i), c.boxes[i]);
    EXPECT_EQ(s.modelLoaded, 1);
    EXPECT_EQ(s.materialCount, c.materialCount >= 0 ? c.materialCount : int32_t(s.texturePaths.size()));
    EXPECT_LE(s.texturePaths.size(), c.maxTextureEntries);
    ASSERT_GE(s.texturePaths.size(), 2u);
    EXPECT_EQ(s.texturePaths[0], texturePath("a.tga"));
    EXPECT_EQ(s.texturePaths[1], texturePath("b.bmp"));
    EXPECT_EQ(s.vertexCount, c.vertexCount);
    EXPECT_EQ(s.triangleCount, c.triangleCount);
    EXPECT_LE(s.vertexRows, c.maxVertexRows);
    EXPECT_LE(s.triangleRows, c.maxTriangleRows);
    for (int32_t r = 0; r < c.vertexCount; ++r) EXPECT_EQ(s.vertices[r], kReferenceVertices[r]);
    for (int32_t r = 0; r < c.triangleCount; ++r) EXPECT_EQ(s.triangles[r], kReferenceTriangles[r]);
  }
}

TEST_F(SkcLoad, TriangleBlockRunningPastTheEndReadsWhatIsThere) {
  auto lines = concatLines({headLines({"a.tga"}), {"  Vertices: 3"}, referenceVertexLines(), {"  Triangles: 5"},
                            referenceTriangleLines()});
  writeModel("short.skc", joinLines(lines));
  StoreCopy s;
  choose("short.skc", &s);
  answerBox();
  run();
  expectCleanEnd();
  EXPECT_EQ(boxText(0), "k5");
  EXPECT_EQ(s.triangleCount, 2);
  ASSERT_GE(s.triangleRows, 2u);
  EXPECT_EQ(s.triangles[0], kReferenceTriangles[0]);
  EXPECT_EQ(s.triangles[1], kReferenceTriangles[1]);
}

TEST_F(SkcLoad, SecondLoadReplacesTheFirst) {
  writeModel("big.skc", referenceModel());
  writeModel("small.skc", joinLines(concatLines({headLines({"z.jpg"}), {"  Vertices: 1", referenceVertexLines()[1],
                                                 "  Triangles: 1", "    f 3  0 0 0 0", "}"}})));
  StoreCopy big, small;
  choose("big.skc", &big);
  choose("small.skc", &small);
  answerBox();
  answerBox();
  run();
  expectCleanEnd();
  expectReferenceModel(big);
  EXPECT_EQ(small.modelFileName, "small.skc");
  EXPECT_EQ(small.vertexCount, 1);
  ASSERT_EQ(small.vertexRows, 1u);
  EXPECT_EQ(small.vertices[0], kReferenceVertices[1]);
  EXPECT_EQ(small.boneTexts, std::vector<std::string>{kReferenceBones[1]});
  EXPECT_EQ(small.triangleCount, 1);
  EXPECT_EQ(small.triangleRows, 1u);
  EXPECT_EQ(small.texturePaths, std::vector<std::string>{texturePath("z.jpg")});
  EXPECT_EQ(small.textureIds, std::vector<int32_t>{0});
  // The log holds the second load only; T = 1 has no trace line.
  const auto log = finalLogLines();
  ASSERT_GE(log.size(), 2u);
  EXPECT_EQ(log[log.size() - 2], "i2==1");
  EXPECT_EQ(std::count(log.begin(), log.end(), gbk("=========开始分析SKC文件========")), 1);
}

TEST_F(SkcLoad, ModelListHoldsTheSkcFilesOnlyAndASelectionSetsTheFileName) {
  writeModel("c.skc", referenceModel());
  writeBytes(gameDir() / "pmodel" / "b.txt", "not a model");
  writeModel("a.skc", referenceModel());
  const std::vector<std::string> expected = {"a.skc", "c.skc"};
  StoreCopy s;
  choose("c.skc", &s);
  answerBox();
  run();
  expectCleanEnd();
  EXPECT_EQ(finalModelList(), expected);
  EXPECT_EQ(s.modelFileName, "c.skc");
  expectReferenceModel(s);
}

// Names (UTF-8 here) in the order Windows lists them.
const char* const kWindowsOrder[] = {
    "A.skc",  "a.skc",                        // equal but for case: byte order
    "ab.skc", "a_b.skc",                      // '_' after the letters, as in upper case
    "b10.skc", "B2.SKC",                      // letters without case, digits one by one (1 before 2)
    "p1.skc", "p14.skc", "p1_300.skc", "p4.skc",
    "z.skc",
    "а.skc", "Б.skc",                         // Cyrillic without case (GBK holds Б before а)
    "女侠.skc",
    "ｂ.skc", "Ｃ.skc",                       // full-width Latin without case
};

TEST(ModelListOrder, NamesCompareAsWindowsListsThem) {
  const size_t n = std::size(kWindowsOrder);
  for (size_t i = 0; i < n; ++i)
    for (size_t j = 0; j < n; ++j) {
      const std::string a = gbk(kWindowsOrder[i]), b = gbk(kWindowsOrder[j]);
      EXPECT_EQ(game::windowsNameBefore(a, b), i < j) << kWindowsOrder[i] << " / " << kWindowsOrder[j];
    }
}

TEST_F(SkcLoad, TheListShowsTheModelsInWindowsOrderWithTheirExactNames) {
  // Written in an order of their own, so that the folder's is no help; not
  // "A.skc", which is "a.skc" on Windows.
  const std::vector<std::string> names(std::begin(kWindowsOrder) + 1, std::end(kWindowsOrder));
  std::vector<std::string> written = names;
  std::reverse(written.begin(), written.end());
  std::rotate(written.begin(), written.begin() + 5, written.end());
  for (const std::string& name : written) writeBytes(gameDir() / "pmodel" / u8path(name), referenceModel());
  run();
  expectCleanEnd();
  std::vector<std::string> expected;
  for (const std::string& name : names) expected.push_back(gbk(name));
  EXPECT_EQ(finalModelList(), expected);
}

TEST_F(SkcLoad, NoPmodelFolderGivesAnEmptyListAndNoMessage) {
  fs::remove_all(gameDir() / "pmodel");
  run();
  expectCleanEnd();
  EXPECT_TRUE(finalModelList().empty());
  EXPECT_TRUE(boxes().empty());
}

TEST_F(SkcLoad, UnreadableFileEndsAtTheMaterialsSearch) {
  // A model listed at start and gone when chosen reads as an empty text.
  writeModel("gone.skc", referenceModel());
  StoreCopy s;
  step([this, &s] {
    fs::remove(modelFile("gone.skc"));
    ASSERT_TRUE(chooseModel(0).ok());
    s = copyStore();
  });
  answerBox();
  run();
  expectCleanEnd();
  EXPECT_EQ(boxText(0), gbk("在模型文件中没有找到材质样式"));
  EXPECT_EQ(s.modelLoaded, 0);
  EXPECT_EQ(s.modelFileName, "gone.skc");
}

}  // namespace
}  // namespace ql::e2e
