// Bone texts as influences and back.
#include "formats/gltf_bones.h"

#include <gtest/gtest.h>

namespace ql::gltf {
namespace {

struct Pair {
  int32_t bone;
  double weight;
};

std::vector<Influence> influences(std::initializer_list<Pair> pairs) {
  std::vector<Influence> out;
  for (const Pair& p : pairs) out.push_back(Influence{p.bone, p.weight});
  return out;
}

TEST(BoneTexts, ParsedIntoInfluences) {
  struct Case {
    const char* text;
    std::vector<Pair> expected;  // bone, weight; heaviest first
  };
  const Case cases[] = {
      {"2 11 0.83333  2 0.16667", {{11, 0.83333}, {2, 0.16667}}},
      {"1 5 1.00000", {{5, 1.0}}},
      {"1 5 1", {{5, 1.0}}},
      {"2 8 0.50005  9 0.49995", {{8, 0.50005}, {9, 0.49995}}},
      // Weights that do not add up to 1 are scaled; equal weights by bone.
      {"3 4 0.33333  1 0.33333  7 0.33333", {{1, 1.0 / 3}, {4, 1.0 / 3}, {7, 1.0 / 3}}},
      {"2 3 1  3 1", {{3, 1.0}}},                 // one bone twice: added up
      {"2 3 0.5  4 0", {{3, 1.0}}},               // no weight: no influence
      {"1\t6  0.25 ", {{6, 1.0}}},                // tabs and trailing blanks
      {"2 1 0.5 2 0.5 extra tokens", {{1, 0.5}, {2, 0.5}}},
      {"5 1 0.2  2 0.2  3 0.2  4 0.2  5 0.2", {{1, 0.2}, {2, 0.2}, {3, 0.2}, {4, 0.2}, {5, 0.2}}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    const std::vector<Influence> got = parseBoneText(c.text);
    ASSERT_EQ(got.size(), c.expected.size());
    for (size_t k = 0; k < got.size(); ++k) {
      EXPECT_EQ(got[k].bone, c.expected[k].bone) << k;
      EXPECT_NEAR(got[k].weight, c.expected[k].weight, 1e-12) << k;
    }
  }
}

TEST(BoneTexts, WithoutUsableInfluences) {
  for (const char* text : {"0", "", "x", "1", "1 5", "2 1 0.5", "1 -3 1", "1 3 -1", "1 3 nan", "1 3 inf", "1 a 1",
                           "1 3 0.5x", "-1 3 1", "1 3 0", "99999999999999999999 1 1"}) {
    SCOPED_TRACE(text);
    EXPECT_TRUE(parseBoneText(text).empty());
  }
}

TEST(BoneTexts, FileWeightsAddUpToOne) {
  const std::vector<Influence> in = parseBoneText("3 4 0.33333  1 0.33333  7 0.33334");
  const std::vector<float> w = fileWeights(in);
  ASSERT_EQ(w.size(), 3u);
  EXPECT_EQ(double(w[0]) + double(w[1]) + double(w[2]), 1.0);
}

TEST(BoneTexts, KeysCompareAtFiveDecimals) {
  const std::string a = influenceKey(influences({{11, 0.83333}, {2, 0.16667}}));
  EXPECT_EQ(a, influenceKey(influences({{2, 0.16667}, {11, 0.83333}})));              // any order
  EXPECT_EQ(a, influenceKey(influences({{11, 0.833330035f}, {2, 0.166669995f}})));    // as single precision
  EXPECT_EQ(a, influenceKey(influences({{11, 1.66666}, {2, 0.33334}})));              // scaled
  EXPECT_EQ(a, influenceKey(influences({{11, 0.83333}, {2, 0.16667}, {5, 0.000001}})));  // rounds to 0
  EXPECT_NE(a, influenceKey(influences({{11, 0.8333}, {2, 0.1667}, {5, 0.0001}})));
  EXPECT_NE(a, influenceKey(influences({{11, 0.83332}, {2, 0.16668}})));
  EXPECT_NE(a, influenceKey(influences({{12, 0.83333}, {2, 0.16667}})));
  EXPECT_EQ(influenceKey({}), "");
}

TEST(BoneTexts, GameFormatFromInfluences) {
  struct Case {
    std::vector<Pair> in;
    const char* text;
  };
  const Case cases[] = {
      {{{11, 0.83333}, {2, 0.16667}}, "2 11 0.83333  2 0.16667"},
      {{{2, 0.16667}, {11, 0.83333}}, "2 11 0.83333  2 0.16667"},  // heaviest first
      {{{5, 1.0}}, "1 5 1.00000"},
      {{{5, 0.7f}}, "1 5 1.00000"},                                 // scaled to 1
      {{{1, 1}, {2, 1}, {3, 1}}, "3 1 0.33334  2 0.33333  3 0.33333"},  // adds up to exactly 1
      {{{3, 0.5}, {3, 0.5}}, "1 3 1.00000"},
      {{{4, 0.999999}, {9, 0.000001}}, "1 4 1.00000"},              // a weight of 0.00000 is left out
      {{{10, 0.25}, {120, 0.75}}, "2 120 0.75000 10 0.25000"},  // two columns, no room for a blank
      {{}, "0"},
      {{{3, 0}}, "0"},
  };
  for (const Case& c : cases) {
    std::vector<Influence> in;
    for (const Pair& p : c.in) in.push_back(Influence{p.bone, p.weight});
    EXPECT_EQ(gameBoneText(in), c.text);
  }
}

TEST(BoneTexts, GameTextsReadBackToTheirKey) {
  // A text the import makes has the key of the weights it was made from.
  for (const char* text : {"2 11 0.83333  2 0.16667", "3 1 0.33334  2 0.33333  3 0.33333", "1 5 1.00000"}) {
    SCOPED_TRACE(text);
    const std::vector<Influence> in = parseBoneText(text);
    EXPECT_EQ(gameBoneText(in), text);
    EXPECT_EQ(influenceKey(parseBoneText(gameBoneText(in))), influenceKey(in));
  }
}

}  // namespace
}  // namespace ql::gltf
