// The OBJ and MTL line readers on texts built in the tests, with the
// runtime's own number conversions behind them.
#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

#include "common/gbk.h"
#include "common/text_split.h"
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
  std::optional<Fault> run() { return parseObj(buffer, counts, Tables{vertices, triangles}, host, result); }
  std::vector<float> vertex(int32_t row) const {
    return {vertices.begin() + (row - 1) * 5, vertices.begin() + row * 5};
  }
  std::vector<int32_t> triangle(int32_t row) const {
    return {triangles.begin() + (row - 1) * 4, triangles.begin() + row * 4};
  }

  std::string buffer;
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

std::vector<std::string> linesOf(std::string_view text) {
  std::vector<std::string> lines;
  ql::text::forEachLine(text, [&](std::string_view line, int32_t number) {
    EXPECT_EQ(number, int32_t(lines.size()) + 1);
    lines.emplace_back(line);
    return true;
  });
  return lines;
}

using Lines = std::vector<std::string>;

TEST(TextLines, EndAtCrLfLfAndCr) {
  struct Case {
    const char* name;
    std::string text;
    Lines lines;
  };
  const Case cases[] = {
      {"empty text", "", {}},
      {"one line", "v", {"v"}},
      {"CR LF", "a\r\nb", {"a", "b"}},
      {"line end at the end", "a\r\n", {"a", ""}},
      {"bare LF", "a\nb\nc\n", {"a", "b", "c", ""}},
      {"bare CR", "a\rb", {"a", "b"}},
      {"LF CR is two ends", "a\n\rb", {"a", "", "b"}},
      {"empty lines kept", "a\rb\r\n\r\n", {"a", "b", "", ""}},
      // A GBK lead byte takes the byte after it as its second, a line end too.
      {"lead byte takes CR, LF ends", "# \xC4\r\nv 1", {"# \xC4\r", "v 1"}},
      {"lead byte takes LF", "# \xC4\nv 1\nf", {"# \xC4\nv 1", "f"}},
      {"whole character before CR LF", "# \xC4\xA3\r\nv", {"# \xC4\xA3", "v"}},
      {"lead byte at the very end", "a\r\n\xC4", {"a", "\xC4"}},
      {"0xFF and 0x80 are single bytes", "\xFF\n\x80\rx", {"\xFF", "\x80", "x"}},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(linesOf(c.text), c.lines) << c.name;
    EXPECT_EQ(countObjLines(c.text).lines, int32_t(c.lines.size())) << c.name;
  }
}

TEST(TextLines, CrLfTextsCutAsTheRuntimesSplitCutsThem) {
  // The tool's own files: valid GBK, CR LF only.
  const std::string text = ql::utf8ToGbk("# OBJ File for metor //流星蝴蝶剑格式输出  by vrel \r\nmtllib 嘰.mtl\r\n"
                                         "usemtl mat1_嘰\r\n\r\nf 1/1 2/2 3/3").value();
  EXPECT_EQ(linesOf(text), ql::rt::splitText(text, "\r\n", std::nullopt));
}

TEST(TextTokens, RunsOfBlanksAndTabsSeparateAndHashStartsAComment) {
  struct Case {
    const char* name;
    std::string line;
    Lines tokens;
  };
  const Case cases[] = {
      {"single blanks", "v 1 2 3", {"v", "1", "2", "3"}},
      {"blanks and TABs mixed", "v\t1  2 \t 3\t", {"v", "1", "2", "3"}},
      {"leading separators", " \tf 1", {"f", "1"}},
      {"comment after data", "v 1 2 3 # the tip", {"v", "1", "2", "3"}},
      {"comment line", "#v 1", {}},
      {"hash inside a token", "usemtl a#b c", {"usemtl", "a#b", "c"}},
      {"only separators", " \t ", {}},
      {"lead byte takes the blank after it", "a \xC4 b", {"a", "\xC4 b"}},
  };
  for (const Case& c : cases) {
    ql::text::Tokens t(c.line);
    Lines tokens;
    for (std::string_view token = t.next(); !token.empty(); token = t.next()) tokens.emplace_back(token);
    EXPECT_EQ(tokens, c.tokens) << c.name;
  }
}

TEST(TextTokens, RestKeepsInnerBlanksAndDropsTrailingOnesAndComments) {
  struct Case {
    std::string line;
    std::string rest;  // after the first token
  };
  const Case cases[] = {
      {"map_Kd tex\\body skin.tga", "tex\\body skin.tga"},
      {"map_Kd\t  a  b.tga \t", "a  b.tga"},
      {"map_Kd a.tga # comment", "a.tga"},
      {"map_Kd my#1.tga", "my#1.tga"},
      {"map_Kd", ""},
      {"map_Kd   ", ""},
      {"map_Kd  # only a comment", ""},
  };
  for (const Case& c : cases) {
    ql::text::Tokens t(c.line);
    t.next();
    EXPECT_EQ(t.rest(), c.rest) << c.line;
    EXPECT_EQ(t.rest(), c.rest) << "the cursor stays: " << c.line;
    EXPECT_EQ(t.more(), !c.rest.empty()) << c.line;
  }
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

TEST(ObjRead, PolygonsBecomeFansFromTheirFirstCorner) {
  Parse p(nineVerticesAndTexCoords() + "mtllib m.mtl\r\nusemtl b\r\nf 1/1 2/2 3/3 4/4\r\nusemtl a\r\n"
                                       "f 5/5 6/6 7/7 8/8 9/9\r\nf 9/9 8/8 7/7");
  p.host.libraries["m.mtl"] = "newmtl a\r\nnewmtl b";
  EXPECT_EQ(p.counts.faceLines, 3);
  EXPECT_EQ(p.counts.triangles, 2 + 3 + 1);
  ASSERT_EQ(p.triangles.size(), 6 * kTriangleColumns);  // exactly the triangles' rows
  ASSERT_FALSE(p.run());
  ASSERT_EQ(p.result.triangleCount, 6);
  const std::vector<std::vector<int32_t>> expected = {{1, 0, 1, 2}, {1, 0, 2, 3}, {0, 4, 5, 6},
                                                      {0, 4, 6, 7}, {0, 4, 7, 8}, {0, 8, 7, 6}};
  for (int32_t t = 1; t <= 6; ++t) EXPECT_EQ(p.triangle(t), expected[size_t(t - 1)]) << "triangle " << t;
  // Every corner gives its vertex its pair, the fourth and fifth too.
  EXPECT_FLOAT_EQ(p.vertex(4)[3], 0.4f);
  EXPECT_FLOAT_EQ(p.vertex(9)[4], 0.09f);
}

TEST(ObjRead, NegativeNumbersCountBackFromTheLinesReadSoFar) {
  // Three vertices and pairs, a face naming them relatively, then three more
  // and a face whose -1 is now the sixth.
  std::string text;
  for (int k = 1; k <= 3; ++k) text += "v " + std::to_string(k) + " 0 0\nvt 0." + std::to_string(k) + " 0\n";
  text += "f -3/-3 -2/-2 -1/-1\n";
  for (int k = 4; k <= 6; ++k) text += "v " + std::to_string(k) + " 0 0\nvt 0." + std::to_string(k) + " 0\n";
  text += "f -1/-1 -2/-6 1/-4\n";
  Parse p(text);
  ASSERT_FALSE(p.run());
  EXPECT_EQ(p.triangle(1), (std::vector<int32_t>{0, 0, 1, 2}));
  EXPECT_EQ(p.triangle(2), (std::vector<int32_t>{0, 5, 4, 0}));
  EXPECT_FLOAT_EQ(p.vertex(6)[3], 0.6f);
  EXPECT_FLOAT_EQ(p.vertex(5)[3], 0.1f);  // -6 from six vt lines: the first
  EXPECT_FLOAT_EQ(p.vertex(1)[3], 0.3f);  // -4 from six: the third
}

TEST(ObjRead, CornersWithoutTexCoordKeepTheVertexsOwnPair) {
  // v, v//vn and v/vt/vn corners; vertex 4 has no vt line of its own.
  Parse p("v 1 0 0\nv 2 0 0\nv 3 0 0\nv 4 0 0\nvt 0.1 0.2\nvt 0.3 0.4\nvt 0.5 0.6\nvn 0 0 1\n"
          "f 1 2 3\nf 2//1 3//1 4//1\nf 4/1/1 1/3/1 2/2/1\nf 3/ 4/ 1/");
  ASSERT_FALSE(p.run());
  EXPECT_EQ(p.result.triangleCount, 4);
  EXPECT_EQ(p.triangle(1), (std::vector<int32_t>{0, 0, 1, 2}));
  EXPECT_EQ(p.triangle(4), (std::vector<int32_t>{0, 2, 3, 0}));
  EXPECT_EQ(p.vertex(3), (std::vector<float>{3, 0, 0, 0.5f, 0.6f}));  // its own vt line
  EXPECT_EQ(p.vertex(4), (std::vector<float>{4, 0, 0, 0.1f, 0.2f}));  // from the corner 4/1/1
  EXPECT_EQ(p.vertex(1), (std::vector<float>{1, 0, 0, 0.5f, 0.6f}));  // from 1/3/1
}

TEST(ObjRead, LineEndsOfEveryKindGiveTheSameModel) {
  const std::string crlf = nineVerticesAndTexCoords() + "f 1/1 2/2 3/3 4/4\r\nf 5/5 6/6 7/7";
  Parse own(crlf);
  ASSERT_FALSE(own.run());
  for (const char* end : {"\n", "\r"}) {
    std::string text;
    for (size_t at = 0; at < crlf.size(); ++at) {
      if (crlf.compare(at, 2, "\r\n") == 0) {
        text += end;
        ++at;
      } else {
        text += crlf[at];
      }
    }
    Parse p(text);
    ASSERT_FALSE(p.run()) << int(end[0]);
    EXPECT_EQ(p.counts.lines, own.counts.lines);
    EXPECT_EQ(p.vertices, own.vertices);
    EXPECT_EQ(p.triangles, own.triangles);
  }
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

TEST(ObjRead, IgnoredLinesCommentsAndSeparators) {
  // Comments (also after data), vn, vp, g, s, o, l, p, usemap, unknown
  // keywords and one-token lines; runs of blanks and TABs separate.
  Parse p("# c\nvn 0 0 1\nvp 0.5\ng x\ns 1\no mesh.obj\nl 1 2\np 1\nusemap m\nfoo bar\nv\n"
          "v  2\t3 \t-4 # a comment\nvt\t0.5  0.25   # u v\nf 1/1 1/1 1/1 # one\n");
  ASSERT_FALSE(p.run());
  EXPECT_EQ(p.result.vertexCount, 1);
  EXPECT_EQ(p.result.triangleCount, 1);
  EXPECT_EQ(p.vertex(1), (std::vector<float>{2.0f, -4.0f, -3.0f, 0.5f, 0.25f}));
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
      {"two corners and a comment", head + "f 1/1 2/1 # 3/1", Problem::kShortFace, 4},
      {"vertex 0", head + "f 0/1 1/1 2/1", Problem::kVertexNumberOutside, 4},
      {"no vertex number", head + "f /1 1/1 2/1", Problem::kVertexNumberOutside, 4},
      {"vertex too big", head + "f 1/1 2/1 3/1", Problem::kVertexNumberOutside, 4},
      {"fifth corner too big", head + "f 1/1 2/1 1/1 2/1 9/1", Problem::kVertexNumberOutside, 4},
      {"relative before the first v", head + "f -3/1 1/1 2/1", Problem::kVertexNumberBefore, 4},
      {"relative counts lines read so far", "v 0 0 0\nvt 0 0\nf -2/1 1/1 1/1\nv 0 0 0", Problem::kVertexNumberBefore, 3},
      {"vt too big", head + "f 1/1 2/2 1/1", Problem::kTexCoordNumberOutside, 4},
      {"vt relative before the first", head + "f 1/-2 2/1 1/1", Problem::kTexCoordNumberBefore, 4},
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
  struct Case {
    std::string text;
    int32_t value, limit;
    std::string described;
  };
  const Case cases[] = {
      {"v 0 0 0\r\nvt 0 0\r\nf 1/1 7/1 1/1", 7, 1,
       "OBJ file line 3: vertex number outside the v lines (7, allowed 1..1)"},
      {"v 0 0 0\nvt 0 0\nf 1/1 1/-5 1/1", -5, 1,
       "OBJ file line 3: relative texture-coordinate number before the first vt line (-5, 1 read before)"},
  };
  for (const Case& c : cases) {
    Parse p(c.text);
    const auto fault = p.run();
    ASSERT_TRUE(fault) << c.text;
    EXPECT_EQ(fault->value, c.value);
    EXPECT_EQ(fault->limit, c.limit);
    EXPECT_EQ(fault->describe(), c.described);
  }
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
      {"separators around the value dropped", "newmtl m\r\nmap_Kd \t a.tga \t", {{"m", "a.tga"}}},
      {"name cut at its blank", "newmtl two words\r\nmap_Kd a", {{"two", "a"}}},
      {"empty value", "newmtl m\r\nmap_Kd ", {{"m", ""}}},
      {"options before the name", "newmtl m\nmap_Kd -s 1 1 1 body.tga\nnewmtl n\nmap_Kd -bm 1 n.tga",
       {{"m", "body.tga"}, {"n", "n.tga"}}},
      {"options of several values", "newmtl m\nmap_Kd -clamp on -o 0.5 -mm 0 1 -t 1 2 -s 2 my skin.tga",
       {{"m", "my skin.tga"}}},
      {"a name that only looks like an option value", "newmtl m\nmap_Kd -s 1 1.tga", {{"m", "1.tga"}}},
      {"quoted", "newmtl m\nmap_Kd \"C:\\My Textures\\a.tga\"", {{"m", "C:\\My Textures\\a.tga"}}},
      {"slash separators", "newmtl m\nmap_Kd textures/arm.tga\nnewmtl n\nmap_Kd C:/x/n.tga",
       {{"m", "textures\\arm.tga"}, {"n", "C:\\x\\n.tga"}}},
      {"comment after the name", "newmtl m\nmap_Kd a.tga # diffuse", {{"m", "a.tga"}}},
      {"later map_Kd wins", "newmtl m\r\nmap_Kd a\r\nmap_Kd b", {{"m", "b"}}},
      {"no texture", "newmtl m\r\n#map_Kd a\r\nmap_Kd\r\nmap_Kdx y", {{"m", ""}}},
      {"bare LF and CR end lines", "newmtl m\nmap_Kd a\rnewmtl n", {{"m", "a"}, {"n", ""}}},
  };
  for (const Case& c : cases) {
    std::string buffer = c.text;
    std::vector<Material> out{{"old", "old"}};
    ASSERT_FALSE(parseMtl(buffer, out)) << c.name;
    ASSERT_EQ(out.size(), c.expected.size()) << c.name;
    for (size_t i = 0; i < out.size(); ++i) {
      EXPECT_EQ(out[i].name, c.expected[i].name) << c.name;
      EXPECT_EQ(out[i].textureFile, c.expected[i].textureFile) << c.name;
    }
  }
}

TEST(MtlRead, LinuxPathsBecomeTheToolsPaths) {
  const std::string gbkFolder = ql::utf8ToGbk("游戏").value();
  struct Case {
    const char* name;
    std::string value;
    std::string onLinux, onWindows;
  };
  const Case cases[] = {
      // Written on Linux: UTF-8 with slashes.
      {"absolute UTF-8", "/tmp/游戏/lx_ptx_tmp/a.tga", "\\tmp\\" + gbkFolder + "\\lx_ptx_tmp\\a.tga",
       "\\tmp\\游戏\\lx_ptx_tmp\\a.tga"},
      {"relative", "./lx_ptx_tmp/a.tga", ".\\lx_ptx_tmp\\a.tga", ".\\lx_ptx_tmp\\a.tga"},
      // The tool's own form (GBK, backslashes) stays as it is.
      {"GBK with backslashes", "\\tmp\\" + gbkFolder + "\\a.tga", "\\tmp\\" + gbkFolder + "\\a.tga",
       "\\tmp\\" + gbkFolder + "\\a.tga"},
      // Not UTF-8: the bytes stay, only the slashes turn.
      {"GBK with slashes", "/tmp/" + gbkFolder + "/a.tga", "\\tmp\\" + gbkFolder + "\\a.tga",
       "\\tmp\\" + gbkFolder + "\\a.tga"},
  };
  for (const Case& c : cases) {
#ifdef _WIN32
    EXPECT_EQ(textureFileOf(c.value), c.onWindows) << c.name;
#else
    EXPECT_EQ(textureFileOf(c.value), c.onLinux) << c.name;
#endif
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
