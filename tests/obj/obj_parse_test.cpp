// The OBJ and MTL line readers on texts built in the tests, with the
// runtime's own number conversions behind them.
#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

#include "formats/obj_parse.h"
#include "runtime/kernel/commands/text_ops.h"

namespace {

using namespace ql::obj;

class TestHost : public Host {
 public:
  double toDouble(const char* t) override { return ql::rt::textToDouble(t); }
  int32_t toInt(const char* t) override { return ql::rt::textToInteger(t); }
  std::string readLibrary(const char* name) override {
    asked.push_back(name);
    auto it = libraries.find(name);
    return it == libraries.end() ? std::string() : it->second;
  }
  void materialMissing(const char* name) override { missing.push_back(name); }

  std::map<std::string, std::string> libraries;
  std::vector<std::string> asked;
  std::vector<std::string> missing;
};

// One parse of a text, with tables exactly as large as the import makes
// them: a write past them shows up under the address sanitizer.
struct Parse {
  explicit Parse(std::string text, std::vector<Material> previous = {}) : buffer(std::move(text)) {
    counts = countObjLines(buffer);
    const TableRows rows = tableRows(counts);
    vertices.assign(size_t(rows.vertexRows) * kVertexColumns, 0.0f);
    triangles.assign(size_t(rows.triangleRows) * kTriangleColumns, 0);
    result.library = std::move(previous);
  }
  std::optional<Fault> run() {
    return parseObj(std::span<char>(buffer.data(), buffer.size()), counts, Tables{vertices, triangles}, host, result);
  }
  std::vector<float> vertex(int32_t row) const {
    return {vertices.begin() + (row - 1) * 5, vertices.begin() + row * 5};
  }
  std::vector<int32_t> triangle(int32_t row) const {
    return {triangles.begin() + (row - 1) * 4, triangles.begin() + row * 4};
  }

  std::string buffer;  // std::string keeps a writable NUL behind its text
  Counts counts;
  std::vector<float> vertices;
  std::vector<int32_t> triangles;
  TestHost host;
  ObjResult result;
};

// Nine vertices and nine texture coordinates: vt line k holds (k/10, k/100).
std::string nineVerticesAndTexCoords() {
  std::string s;
  for (int k = 1; k <= 9; ++k) s += "v " + std::to_string(k) + " 0 0\r\n";
  for (int k = 1; k <= 9; ++k) s += "vt 0." + std::to_string(k) + " 0.0" + std::to_string(k) + "\r\n";
  return s;
}

TEST(ObjLines, CutAtCrLfOnly) {
  struct Case {
    std::string text;
    int32_t lines;
  };
  const Case cases[] = {{"", 0}, {"v", 1}, {"a\r\nb", 2}, {"a\r\n", 2}, {"a\nb\nc", 1}, {"a\rb\r\n\r\n", 3}};
  for (const Case& c : cases) EXPECT_EQ(countObjLines(c.text).lines, c.lines) << c.text;
}

TEST(ObjLines, CutWhereTheRuntimesSplitCuts) {
  // The split is double-byte aware: a GBK lead byte takes the CR after it as
  // its second byte, and the line runs on to the next CR LF.
  struct Case {
    const char* name;
    std::string text;
    int32_t lines;
  };
  const Case cases[] = {
      {"lead byte before CR", "# \xC4\r\nv 1 2 3\r\nf 1 1 1", 2},
      {"whole character before CR", "# \xC4\xA3\r\nv 1 2 3\r\nf 1 1 1", 3},
      {"CR taken, next CR LF cuts", "\xC4\xA3\xC4\r\n\r\nx", 2},
      {"after a long ASCII run", "abcdefgh12345678abcdefgh\xB0\r\nx", 1},
      {"lead byte takes a lone CR", "a\xC4\r\r\nx", 2},
      {"0xFF and 0x80 are single bytes", "\xFF\r\n\x80\r\nx", 3},
      {"lead byte at the very end", "a\r\n\xC4", 2},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    std::vector<std::string> lines;
    forEachLine(c.text, [&](std::string_view line, int32_t) {
      lines.emplace_back(line);
      return true;
    });
    EXPECT_EQ(int32_t(lines.size()), c.lines);
    EXPECT_EQ(lines, ql::rt::splitText(c.text, "\r\n", std::nullopt));
    EXPECT_EQ(countObjLines(c.text).lines, c.lines);
  }
  // The v line joined to the comment before it is no v line.
  EXPECT_EQ(countObjLines("# \xC4\r\nv 1 2 3\r\nv 4 5 6").vertexLines, 1);
}

TEST(ObjLines, TextEndsAtFirstNul) {
  EXPECT_EQ(textOf(std::string_view("v 1\0f 2", 7)), "v 1");
}

TEST(ObjRead, VertexAxesAndTexCoordsAsWritten) {
  Parse p("v 1.5 2 -3 7\r\nvt 0.25 -0.5 9\r\nf 1/1 1/1 1/1");
  ASSERT_FALSE(p.run());
  EXPECT_EQ(p.result.vertexCount, 1);
  EXPECT_EQ(p.result.triangleCount, 1);
  // (x, y, z) of the file becomes (x, z, −y); u and v are unchanged.
  EXPECT_EQ(p.vertex(1), (std::vector<float>{1.5f, -3.0f, -2.0f, 0.25f, -0.5f}));
}

TEST(ObjRead, CornersCopyTheirTexCoordPairIntoTheVertexRows) {
  Parse p(nineVerticesAndTexCoords() + "f 1/2/3 4/5/6 7/8/9");
  ASSERT_FALSE(p.run());
  EXPECT_EQ(p.triangle(1), (std::vector<int32_t>{0, 0, 3, 6}));
  EXPECT_FLOAT_EQ(p.vertex(1)[3], 0.2f);
  EXPECT_FLOAT_EQ(p.vertex(1)[4], 0.02f);
  EXPECT_FLOAT_EQ(p.vertex(4)[3], 0.5f);
  EXPECT_FLOAT_EQ(p.vertex(7)[3], 0.8f);
  EXPECT_FLOAT_EQ(p.vertex(7)[4], 0.08f);
  // An unused vertex keeps the pair of the vt line with its own number.
  EXPECT_FLOAT_EQ(p.vertex(2)[3], 0.2f);
}

TEST(ObjRead, FourCornerFaceKeepsTheFirstThree) {
  Parse p(nineVerticesAndTexCoords() + "f 1/1 2/2 3/3 4/4");
  ASSERT_FALSE(p.run());
  EXPECT_EQ(p.result.triangleCount, 1);
  EXPECT_EQ(p.triangle(1), (std::vector<int32_t>{0, 0, 1, 2}));
}

TEST(ObjRead, LastCornerWinsAndOtherVertexGetsTheEarlierLinesPair) {
  // Corner 2/7, then 5/2: row 2 gets vt 7's pair, row 5 vt 2's pair as read
  // from the file (not row 2's pair after the first corner changed it).
  Parse p(nineVerticesAndTexCoords() + "f 2/7 3/3 4/4\r\nf 5/2 6/6 7/7");
  ASSERT_FALSE(p.run());
  EXPECT_FLOAT_EQ(p.vertex(2)[3], 0.7f);
  EXPECT_FLOAT_EQ(p.vertex(2)[4], 0.07f);
  EXPECT_FLOAT_EQ(p.vertex(5)[3], 0.2f);
  EXPECT_FLOAT_EQ(p.vertex(5)[4], 0.02f);
}

TEST(ObjRead, TexCoordLineAfterTheFacesAndCornerBeforeItsLine) {
  // The corner names vt 2 before it is read: (0, 0); vt 2 then writes row 2.
  Parse p("v 0 0 0\r\nv 0 0 0\r\nv 0 0 0\r\nvt 0.5 0.5\r\nf 3/2 1/1 2/1\r\nvt 0.9 0.8");
  ASSERT_FALSE(p.run());
  EXPECT_EQ(p.vertex(3)[3], 0.0f);
  EXPECT_EQ(p.vertex(3)[4], 0.0f);
  EXPECT_FLOAT_EQ(p.vertex(2)[3], 0.9f);
  EXPECT_FLOAT_EQ(p.vertex(2)[4], 0.8f);
}

TEST(ObjRead, TableRowsFollowTheLinesThatFillThem) {
  struct Case {
    std::string text;
    int32_t vertexRows;
    int32_t triangleRows;
  };
  const Case cases[] = {
      {"", 1, 1},
      {"# only a comment\r\no x", 1, 1},
      {"v 0 0 0\r\nv 0 0 0\r\nvt 0 0\r\nf 1/1 1/1 1/1", 2, 1},
      {"v 0 0 0\r\nvt 0 0\r\nvt 0 0\r\nvt 0 0\r\nf 1/1 1/1 1/1\r\nf 1/1 1/1 1/1", 3, 2},
  };
  for (const Case& c : cases) {
    const TableRows rows = tableRows(countObjLines(c.text));
    EXPECT_EQ(rows.vertexRows, c.vertexRows) << c.text;
    EXPECT_EQ(rows.triangleRows, c.triangleRows) << c.text;
  }
}

TEST(ObjRead, MoreTexCoordLinesThanVerticesStayInsideTheTables) {
  // vt lines 2 and 3 give rows the file has no v line for; the import drops
  // those rows afterwards.
  Parse p("v 0 0 0\r\nvt 0.1 0.1\r\nvt 0.2 0.2\r\nvt 0.3 0.3\r\nf 1/3 1/3 1/3");
  ASSERT_EQ(p.vertices.size(), 3 * kVertexColumns);
  ASSERT_FALSE(p.run());
  EXPECT_EQ(p.result.vertexCount, 1);
  EXPECT_FLOAT_EQ(p.vertex(1)[3], 0.3f);
  EXPECT_FLOAT_EQ(p.vertex(3)[3], 0.3f);
}

TEST(ObjRead, MaterialsByUsemtl) {
  Parse p(nineVerticesAndTexCoords() +
          "f 1/1 2/2 3/3\r\nmtllib a.mtl\r\nf 1/1 2/2 3/3\r\nusemtl second\r\nf 1/1 2/2 3/3\r\n"
          "usemtl nosuch extra\r\nf 1/1 2/2 3/3\r\nusemtl first\r\nf 1/1 2/2 3/3");
  p.host.libraries["a.mtl"] = "newmtl first\r\nmap_Kd a.tga\r\nnewmtl second\r\nmap_Kd b.tga";
  ASSERT_FALSE(p.run());
  ASSERT_EQ(p.result.triangleCount, 5);
  // Faces before the first usemtl get 0, an unknown name −1 (and one message).
  const int32_t expected[] = {0, 0, 1, -1, 0};
  for (int32_t t = 1; t <= 5; ++t) EXPECT_EQ(p.triangle(t)[0], expected[t - 1]) << "triangle " << t;
  EXPECT_EQ(p.host.missing, std::vector<std::string>{"nosuch"});
  EXPECT_EQ(p.host.asked, std::vector<std::string>{"a.mtl"});
  EXPECT_TRUE(p.result.libraryRead);
}

TEST(ObjRead, WithoutMtllibThePreviousLibraryServesTheLookups) {
  Parse p(nineVerticesAndTexCoords() + "usemtl b\r\nf 1/1 2/2 3/3", {{"a", "a.tga"}, {"b", "b.tga"}});
  ASSERT_FALSE(p.run());
  EXPECT_EQ(p.triangle(1)[0], 1);
  EXPECT_FALSE(p.result.libraryRead);
  EXPECT_EQ(p.result.library.size(), 2u);
}

TEST(ObjRead, SecondMtllibReplacesTheLibrary) {
  Parse p(nineVerticesAndTexCoords() + "mtllib a.mtl\r\nmtllib missing.mtl\r\nusemtl first\r\nf 1/1 2/2 3/3");
  p.host.libraries["a.mtl"] = "newmtl first";
  ASSERT_FALSE(p.run());
  EXPECT_TRUE(p.result.library.empty());
  EXPECT_EQ(p.triangle(1)[0], -1);
  EXPECT_EQ(p.host.missing.size(), 1u);
}

TEST(ObjRead, IgnoredLinesAndBlanks) {
  // Comments, vn, g, s, o, unknown keywords, one-token lines; two blanks give
  // an empty token, which reads as 0; a tab is part of a token.
  Parse p("# c\r\nvn 0 0 1\r\ng x\r\ns 1\r\no mesh.obj\r\nfoo bar\r\nv\r\nv  2 3\r\nvt 0.5\t1 0.25\r\nf 1/1 1/1 1/1");
  ASSERT_FALSE(p.run());
  EXPECT_EQ(p.result.vertexCount, 1);
  EXPECT_EQ(p.vertex(1), (std::vector<float>{0.0f, 3.0f, -2.0f, 0.5f, 0.25f}));
}

TEST(ObjRead, BareLfFileIsOneLine) {
  Parse p("v 1 2 3\nv 4 5 6\nvt 0 0\nf 1/1 2/1 1/1\n");
  EXPECT_EQ(p.counts.lines, 1);
  const auto fault = p.run();
  ASSERT_TRUE(fault);
  EXPECT_EQ(fault->problem, Problem::kNoFaceLines);
}

// Every input the tables cannot hold, with the line it names.
TEST(ObjRead, MalformedInputsAreRefusedWithTheirLine) {
  struct Case {
    const char* name;
    std::string text;
    Problem problem;
    int32_t line;
    bool inLibrary = false;
  };
  const std::string head = "v 0 0 0\r\nv 1 0 0\r\nvt 0 0\r\n";  // two vertices, one vt
  const Case cases[] = {
      {"empty", "", Problem::kNoVertexLines, 0},
      {"no v", "vt 0 0\r\nf 1/1 1/1 1/1", Problem::kNoVertexLines, 0},
      {"no f", head, Problem::kNoFaceLines, 0},
      {"short v", head + "v 1 2\r\nf 1/1 1/1 1/1", Problem::kShortVertexLine, 4},
      {"short vt", head + "vt 1\r\nf 1/1 1/1 1/1", Problem::kShortTexCoordLine, 4},
      {"two corners", head + "f 1/1 2/1", Problem::kShortFace, 4},
      {"no slash", head + "f 1/1 2 1/1", Problem::kCornerWithoutTexCoord, 4},
      {"empty vt number", head + "f 1/1 2//3 1/1", Problem::kCornerWithoutTexCoord, 4},
      {"vertex 0", head + "f 0/1 1/1 2/1", Problem::kVertexNumberOutside, 4},
      {"vertex negative", head + "f -1/1 1/1 2/1", Problem::kVertexNumberOutside, 4},
      {"vertex too big", head + "f 1/1 2/1 3/1", Problem::kVertexNumberOutside, 4},
      {"vt too big", head + "f 1/1 2/2 1/1", Problem::kTexCoordNumberOutside, 4},
      {"vt negative", head + "f 1/-1 2/1 1/1", Problem::kTexCoordNumberOutside, 4},
      {"vt without vt lines", "v 0 0 0\r\nf 1/1 1/1 1/1", Problem::kTexCoordNumberOutside, 2},
      {"map_Kd first", head + "mtllib m.mtl\r\nf 1/1 2/1 1/1", Problem::kMapKdBeforeNewmtl, 2, true},
  };
  for (const Case& c : cases) {
    Parse p(c.text);
    p.host.libraries["m.mtl"] = "# x\r\nmap_Kd a.tga\r\nnewmtl a";
    const auto fault = p.run();
    ASSERT_TRUE(fault) << c.name;
    EXPECT_EQ(fault->problem, c.problem) << c.name << ": " << fault->describe();
    EXPECT_EQ(fault->line, c.line) << c.name;
    EXPECT_EQ(fault->inLibrary, c.inLibrary) << c.name;
  }
}

TEST(ObjRead, FaultNamesTheNumbers) {
  Parse p("v 0 0 0\r\nvt 0 0\r\nf 1/1 7/1 1/1");
  const auto fault = p.run();
  ASSERT_TRUE(fault);
  EXPECT_EQ(fault->value, 7);
  EXPECT_EQ(fault->limit, 1);
  EXPECT_EQ(fault->describe(), "OBJ file line 3: vertex number outside the v lines (7, allowed 1..1)");
}

TEST(MtlRead, EntriesAndTextureFiles) {
  struct Case {
    const char* name;
    std::string text;
    std::vector<Material> expected;
  };
  const Case cases[] = {
      {"written by the tool",
       "# Material Count: 2\r\n\r\nnewmtl mat1_body\r\nNs 96.078431\r\nKa 0 0 0\r\nKd 0.8 0.8 0.8\r\n"
       "Ks 0.078125 0.078125 0.078125\r\nNi 1.000000\r\nd 1.000000\r\nillum 2\r\nmap_Kd C:\\x\\body.tga\r\n"
       "newmtl mat2_\r\nmap_Kd head.tga",
       {{"mat1_body", "C:\\x\\body.tga"}, {"mat2_", "head.tga"}}},
      {"blank inside the value", "newmtl m\r\nmap_Kd tex\\body skin.tga", {{"m", "tex\\body skin.tga"}}},
      {"later blanks kept", "newmtl m\r\nmap_Kd  a.tga ", {{"m", " a.tga "}}},
      {"name cut at its blank", "newmtl two words\r\nmap_Kd a", {{"two", "a"}}},
      {"empty value", "newmtl m\r\nmap_Kd ", {{"m", ""}}},
      {"later map_Kd wins", "newmtl m\r\nmap_Kd a\r\nmap_Kd b", {{"m", "b"}}},
      {"no texture", "newmtl m\r\n#map_Kd a\r\nmap_Kd\r\nmap_Kdx y", {{"m", ""}}},
      {"bare LF is one line", "newmtl m\nmap_Kd a", {{"m\nmap_Kd", ""}}},
  };
  for (const Case& c : cases) {
    std::string buffer = c.text;
    std::vector<Material> out{{"old", "old"}};
    ASSERT_FALSE(parseMtl(std::span<char>(buffer.data(), buffer.size()), out)) << c.name;
    ASSERT_EQ(out.size(), c.expected.size()) << c.name;
    for (size_t i = 0; i < out.size(); ++i) {
      EXPECT_EQ(out[i].name, c.expected[i].name) << c.name;
      EXPECT_EQ(out[i].textureFile, c.expected[i].textureFile) << c.name;
    }
  }
}

TEST(MaterialLookup, FirstMatchByteForByte) {
  const std::vector<Material> lib{{"a", ""}, {"B", ""}, {"a", ""}};
  EXPECT_EQ(materialNumber(lib, "a"), 1);
  EXPECT_EQ(materialNumber(lib, "B"), 2);
  EXPECT_EQ(materialNumber(lib, "b"), 0);
  EXPECT_EQ(materialNumber(lib, ""), 0);
}

}  // namespace
