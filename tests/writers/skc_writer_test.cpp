// The SKC text the writer builds from the store, byte for byte, and the
// number texts it gets from the runtime read back to the same values.
#include <bit>
#include <cmath>
#include <limits>
#include <random>

#include "model/skc_writer.h"
#include "model/text_builder.h"
#include "tools/qlimagegen/module_texts.h"
#include "writer_host.h"

namespace writers {
namespace {

using ql::model::buildSkcText;

const std::string kHead =
    "# Character Skin Export for Interserv\r\n"
    "#\t\t\t\tA Modeller\r\n"
    "Static Skins: 1 Dynamic Skins: 0\r\n"
    "Static Skin s_01\r\n"
    "{\r\n"
    "  Materials: 1\r\n"
    "  Material\r\n"
    "    Texture   nm001b01.tga\r\n"
    "    Ambient\t 0.70  0.70  0.70\r\n";

const std::string kHeaderTemplate(ql::imagegen::kSkcHeaderTemplate);
const std::string kMaterialTemplate(ql::imagegen::kSkcMaterialTemplate);

class SkcText : public WriterHost {};

TEST_F(SkcText, LoadedHeadComesBackVerbatimWithTheWritersSpacing) {
  ql::store::skcHead().set(ql::TextRef(kHead.c_str()));
  setVertices({{2.87744f, 0.99344f, 25.20086f, 0.418f, 0.622f}, {-1.5f, 0.0f, 100.0f, 1.0f, -0.25f}});
  setBoneTexts({"2 11 0.83333  2 0.16667", "1 3 1"});
  setTriangles({{1, 0, 1, 0}});
  vars.modelLoaded = 1;

  EXPECT_EQ(take(buildSkcText()),
            kHead +
                "\r\n"  // the head ends with the line break before "  Vertices:": one empty line follows
                "  Vertices: 2\r\n"
                "    v   2.87744 0.99344 25.20086 vt 0.418 0.622 Bones 2 11 0.83333  2 0.16667\r\n"
                "    v   -1.5 0 100 vt 1 -0.25 Bones 1 3 1\r\n"
                "  Triangles: 1\r\n"
                "    f 3 1 0 1 0\r\n"
                "\r\n"
                "}");
}

TEST_F(SkcText, EmptyHeadIsGeneratedFromTheMaterialLibrary) {
  struct Case {
    const char* name;
    std::vector<std::pair<std::string, std::string>> library;
    std::string materials;
  };
  const Case cases[] = {
      {"empty library: count 0, no block", {}, "  Materials: 0\r\n"},
      {"two entries: one block each, the texture's file name only",
       {{"mat0", "C:\\x\\lx_ptx_tmp\\body.tga"}, {"mat1", "head.jpg"}, {"mat2", ""}},
       "  Materials: 3\r\n"
       "  Material\r\n"
       "    Texture   body.tga\r\n" +
           kMaterialTemplate +
           "\r\n"
           "  Material\r\n"
           "    Texture   head.jpg\r\n" +  // a bare name is the file name itself
           kMaterialTemplate +
           "\r\n"
           "  Material\r\n"
           "    Texture   \r\n" +  // no texture
           kMaterialTemplate + "\r\n"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    setMaterialLibrary(c.library);
    setVertices({{1, 2, 3, 0.5f, 0.5f}});
    setBoneTexts({"0"});
    setTriangles({});
    EXPECT_EQ(take(buildSkcText()), kHeaderTemplate + "\r\n{\r\n" + c.materials +
                                        "  Vertices: 1\r\n"
                                        "    v   1 2 3 vt 0.5 0.5 Bones 0\r\n"
                                        "  Triangles: 0\r\n"
                                        "\r\n"
                                        "}");
  }
}

TEST_F(SkcText, EmptyModelEndsWithZeroCountsAnEmptyLineAndTheBrace) {
  ql::store::skcHead().set(ql::TextRef(kHead.c_str()));
  setVertices({});
  setTriangles({});
  EXPECT_EQ(take(buildSkcText()), kHead + "\r\n  Vertices: 0\r\n  Triangles: 0\r\n\r\n}");
}

TEST_F(SkcText, TriangleRowsUpToTheCountAsStoredIncludingAZeroRow) {
  ql::store::skcHead().set(ql::TextRef(kHead.c_str()));
  setVertices({{0, 0, 0, 0, 0}, {1, 0, 0, 1, 0}, {0, 1, 0, 0, 1}});
  setBoneTexts({"1 0 1", "1 0 1", "1 0 1"});
  // A load in which line 2 of 3 did not match: the row stays zero, the count
  // is one less, so the last row is not written.
  setTriangles({{1, 0, 1, 2}, {0, 0, 0, 0}, {7, 2, 1, 0}}, 2);
  const std::string text = take(buildSkcText());
  EXPECT_NE(text.find("  Triangles: 2\r\n    f 3 1 0 1 2\r\n    f 3 0 0 0 0\r\n\r\n}"), std::string::npos) << text;
  EXPECT_EQ(text.find("    f 3 7"), std::string::npos);
}

TEST_F(SkcText, NeverReadsPastTheStoresLists) {
  ql::store::skcHead().set(ql::TextRef(kHead.c_str()));
  // Counts beyond the tables (written as the rows there are), fewer bone
  // texts than vertices ("0" for the rest), material numbers as stored.
  setVertices({{1, 1, 1, 0, 0}, {2, 2, 2, 0, 0}, {3, 3, 3, 0, 0}}, 5);
  setBoneTexts({"1 4 1"});
  setTriangles({{-1, 0, 1, 2}, {99, 2, 1, 0}}, 7);
  EXPECT_EQ(take(buildSkcText()), kHead +
                                      "\r\n  Vertices: 3\r\n"
                                      "    v   1 1 1 vt 0 0 Bones 1 4 1\r\n"
                                      "    v   2 2 2 vt 0 0 Bones 0\r\n"
                                      "    v   3 3 3 vt 0 0 Bones 0\r\n"
                                      "  Triangles: 2\r\n"
                                      "    f 3 -1 0 1 2\r\n"
                                      "    f 3 99 2 1 0\r\n"
                                      "\r\n}");

  // Negative counts and the start-up shapes of the tables (one dimension of
  // five elements) give no rows at all.
  ql::initGlobals();
  ql::store::skcHead().clear();
  vars.vertexCount = 3;
  vars.triangleCount = -2;
  EXPECT_EQ(take(buildSkcText()), kHeaderTemplate + "\r\n{\r\n  Materials: 0\r\n  Vertices: 0\r\n  Triangles: 0\r\n\r\n}");
}

TEST_F(SkcText, VertexNumbersReadBackToTheSameSingles) {
  // Values of every kind: long fractions, tiny and huge magnitudes (written
  // with an exponent), subnormals, negative zero, integers.
  std::mt19937 random(12345);
  std::uniform_int_distribution<uint32_t> bits;
  std::vector<float> values = {0.1f, -0.0f, 1e-5f, 3.4028235e38f, -1.17549435e-38f, 1e-45f, 16777217.0f, 123456.789f,
                               0.33333334f, 41.0f};
  while (values.size() < 5000) {
    const float f = std::bit_cast<float>(bits(random));
    if (std::isfinite(f)) values.push_back(f);
  }
  std::vector<std::array<float, 5>> rows(values.size() / 5);
  for (size_t i = 0; i < rows.size() * 5; ++i) rows[i / 5][i % 5] = values[i];
  setVertices(rows);
  setTriangles({});

  const std::string text = take(buildSkcText());
  // Each vertex line: "    v   " x " " y " " z " vt " u " " v " Bones 0".
  size_t at = text.find("  Vertices: ");
  ASSERT_NE(at, std::string::npos);
  size_t checked = 0;
  for (size_t row = 0; row < rows.size(); ++row) {
    at = text.find("\r\n    v   ", at);
    ASSERT_NE(at, std::string::npos) << "row " << row;
    at += 10;
    const size_t end = text.find(" Bones 0\r\n", at);
    ASSERT_NE(end, std::string::npos);
    std::string line = text.substr(at, end - at);
    const size_t vt = line.find(" vt ");
    ASSERT_NE(vt, std::string::npos) << line;
    line.replace(vt, 4, " ");
    std::vector<std::string> tokens;
    for (size_t p = 0, q; p <= line.size(); p = q + 1) {
      q = line.find(' ', p);
      if (q == std::string::npos) q = line.size();
      tokens.push_back(line.substr(p, q - p));
    }
    ASSERT_EQ(tokens.size(), 5u) << line;  // single blanks, no blank inside a number
    for (size_t c = 0; c < 5; ++c) {
      // The reader's conversion: text to double (0x164), then the nearest single.
      const float back = float(ql::kernel::toDouble(ql::TextRef(tokens[c].c_str())));
      EXPECT_EQ(std::bit_cast<uint32_t>(back), std::bit_cast<uint32_t>(rows[row][c]))
          << "row " << row << " column " << c + 1 << ": " << tokens[c];
      ++checked;
    }
  }
  EXPECT_EQ(checked, rows.size() * 5);
}

TEST_F(SkcText, BuilderKeepsEveryPieceAcrossGrowth) {
  // Pieces of every length, well past the first block, in one text.
  ql::model::TextBuilder builder;
  std::string expected;
  for (int i = 0; i < 3000; ++i) {
    const std::string piece(size_t(i % 97), char('a' + i % 26));
    builder.append(std::string_view(piece)).appendNumber(int32_t(i - 1500));
    expected += piece + std::to_string(i - 1500);
  }
  EXPECT_EQ(builder.size(), expected.size());
  EXPECT_EQ(take(builder.finish()), expected);
  EXPECT_EQ(take(builder.finish()), "");  // the builder starts again empty
}

}  // namespace
}  // namespace writers
