// One table of cases, run against every regex engine the runtime may ship:
// the module must see the same matches on Linux (PCRE2) and Windows (Boost).
#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "runtime/libs/regex/engine.h"

namespace ql::regex {
namespace {

using Group = std::optional<std::string>;  // nullopt: the group took no part

struct Case {
  const char* name;
  std::string pattern;
  std::string subject;
  size_t start = 0;
  bool ignoreCase = false;
  bool found = false;
  std::vector<Group> groups = {};  // [0] the whole match, then the groups
  size_t matchBegin = 0;           // offset of group 0, checked when found
};

const std::string kVertexPattern =
    " *v +([^ ]+) +([^ ]+) +([^ ]+) +vt +([^ ]+) +([^ ]+) +Bones +(.*)";
const std::string kTrianglePattern = " +f 3 +([0-9]+) +([0-9]+) +([0-9]+) +([0-9]+)";

const std::vector<Case>& cases() {
  static const std::vector<Case> table = {
      // Leftmost: the earliest starting match wins, whatever the alternation order.
      {"leftmost_first_run", "a+", "xaaya", 0, false, true, {"aa"}, 1},
      {"leftmost_before_alternative_order", "b|ab", "ab", 0, false, true, {"ab"}, 0},
      {"unanchored_inside", "[0-9]+", "abc 42 def", 0, false, true, {"42"}, 4},
      // Greedy quantifiers and groups.
      {"greedy_first_group_takes_all", "(a+)(a*)", "aaaa", 0, false, true, {"aaaa", "aaaa", ""}, 0},
      {"greedy_star_backtracks_to_last", "(.*)-(.*)", "a-b-c", 0, false, true, {"a-b-c", "a-b", "c"}, 0},
      {"lazy_when_asked", "(.+?)x", "abxcx", 0, false, true, {"abx", "ab"}, 0},
      {"unset_group", "(a)|(b)", "b", 0, false, true, {"b", std::nullopt, "b"}, 0},
      {"unset_trailing_group", "(a)(z)?", "a", 0, false, true, {"a", "a", std::nullopt}, 0},
      // Start positions.
      {"start_skips_earlier_match", "[0-9]+", "12 34", 2, false, true, {"34"}, 3},
      {"start_inside_a_run", "[0-9]+", "1234", 2, false, true, {"34"}, 2},
      {"start_at_end_finds_empty_match", "x*", "ab", 2, false, true, {""}, 2},
      {"start_at_end_no_match", "a", "ab", 2, false, false},
      {"start_past_end", "x*", "ab", 3, false, false},
      {"caret_not_at_later_start", "^a", "aa", 1, false, false},
      {"word_boundary_sees_byte_before_start", "\\bcd", "abcd", 2, false, false},
      // Anchors and dots over the whole subject.
      {"caret_only_at_subject_start", "^b", "a\nb", 0, false, false},
      {"dollar_only_at_subject_end", "a$", "a\n", 0, false, false},
      {"dollar_at_end", "b$", "ab", 0, false, true, {"b"}, 1},
      {"dot_matches_line_feed", "a.b", "a\nb", 0, false, true, {"a\nb"}, 0},
      {"dot_matches_carriage_return", "a.b", "a\rb", 0, false, true, {"a\rb"}, 0},
      // Case option: false is case-sensitive; folding is ASCII only.
      {"case_sensitive_by_default", "texture", "Texture a", 0, false, false},
      {"ignore_case_folds_ascii", "texture +(.+)", "TEXTURE a.TGA", 0, true, true, {"TEXTURE a.TGA", "a.TGA"}, 0},
      {"ignore_case_keeps_high_bytes", "\xC4", "\xE4", 0, true, false},
      // GBK subjects are bytes: one byte is one character.
      {"dot_is_one_byte", "^(.)", "\xC4\xA3", 0, false, true, {"\xC4", "\xC4"}, 0},
      {"gbk_literal", "\xCE\xC6\xC0\xED +(.+)", "x \xCE\xC6\xC0\xED  \xB2\xDD.tga", 0, false, true,
       {"\xCE\xC6\xC0\xED  \xB2\xDD.tga", "\xB2\xDD.tga"}, 2},
      {"negated_class_takes_high_bytes", "([^ ]+)", "\xD3\xA2\xD0\xDB a", 0, false, true,
       {"\xD3\xA2\xD0\xDB", "\xD3\xA2\xD0\xDB"}, 0},
      // The reader's patterns on the lines it meets.
      {"materials", "Materials: +([0-9]+)", "Materials: 3", 0, false, true, {"Materials: 3", "3"}, 0},
      {"materials_needs_a_blank", "Materials: +([0-9]+)", "Materials:3", 0, false, false},
      {"materials_digits_only", "Materials: +([0-9]+)", "  Materials:   12x", 0, false, true,
       {"Materials:   12", "12"}, 2},
      {"texture", "Texture +(.+)", "    Texture   nm001b01.tga", 0, false, true,
       {"Texture   nm001b01.tga", "nm001b01.tga"}, 4},
      {"texture_greedy_keeps_blanks", "Texture +(.+)", "Texture a b .tga ", 0, false, true,
       {"Texture a b .tga ", "a b .tga "}, 0},
      {"texture_tab_is_not_a_blank", "Texture +(.+)", "    Texture\tnm.tga", 0, false, false},
      {"vertices", " *Vertices: +([0-9]+)", "  Vertices: 574", 0, false, true, {"  Vertices: 574", "574"}, 0},
      {"vertices_in_whole_text", " *Vertices: +([0-9]+)", "{\r\n  Materials: 1\r\n  Vertices:  9\r\n v", 0, false,
       true, {"  Vertices:  9", "9"}, 19},
      {"vertex_line", kVertexPattern,
       "    v   2.87744   0.99344  25.20086 vt 0.418 0.622 Bones 2 11 0.83333  2 0.16667", 0, false, true,
       {"    v   2.87744   0.99344  25.20086 vt 0.418 0.622 Bones 2 11 0.83333  2 0.16667", "2.87744", "0.99344",
        "25.20086", "0.418", "0.622", "2 11 0.83333  2 0.16667"},
       0},
      {"vertex_line_negative_and_short", kVertexPattern, "v -1.5 0 -0.00001 vt -0.1 1.02 Bones 1 3 1.0", 0, false,
       true,
       {"v -1.5 0 -0.00001 vt -0.1 1.02 Bones 1 3 1.0", "-1.5", "0", "-0.00001", "-0.1", "1.02", "1 3 1.0"}, 0},
      {"vertex_line_empty_bones", kVertexPattern, "v 1 2 3 vt 4 5 Bones ", 0, false, true,
       {"v 1 2 3 vt 4 5 Bones ", "1", "2", "3", "4", "5", ""}, 0},
      {"vertex_pattern_rejects_triangle", kVertexPattern, "    f 3  0 574 573 586", 0, false, false},
      {"vertex_pattern_rejects_missing_vt", kVertexPattern, "v 1 2 3 4 5 Bones 1 2 1.0", 0, false, false},
      {"triangles", "Triangles: +([0-9]+)", "  Triangles: 1234", 0, false, true, {"Triangles: 1234", "1234"}, 2},
      {"triangle_line", kTrianglePattern, "    f 3  0 574 573 586", 0, false, true,
       {"    f 3  0 574 573 586", "0", "574", "573", "586"}, 0},
      {"triangle_line_needs_leading_blank", kTrianglePattern, "f 3 0 1 2 3", 0, false, false},
      {"triangle_line_rejects_negative", kTrianglePattern, " f 3 0 -1 2 3", 0, false, false},
      {"triangle_line_only_blanks", kTrianglePattern, "      ", 0, false, false},
  };
  return table;
}

class EngineConformance : public ::testing::TestWithParam<const Engine*> {};

TEST_P(EngineConformance, TableOfCases) {
  const Engine& engine = *GetParam();
  for (const Case& c : cases()) {
    SCOPED_TRACE(std::string(engine.name()) + " / " + c.name);
    auto compiled = engine.compile(c.pattern, CompileOptions{c.ignoreCase});
    ASSERT_TRUE(compiled.ok()) << compiled.error().message;
    auto& pattern = *compiled.value();
    auto result = pattern.search(c.subject, c.start);
    ASSERT_TRUE(result.ok()) << result.error().message;
    const MatchData& m = *result;
    ASSERT_EQ(m.found, c.found);
    if (!c.found) continue;
    ASSERT_GE(m.groups.size(), c.groups.size());
    EXPECT_EQ(m.groups.size(), pattern.groupCount() + 1);
    EXPECT_EQ(m.groups[0].begin, c.matchBegin);
    for (size_t g = 0; g < c.groups.size(); ++g) {
      SCOPED_TRACE("group " + std::to_string(g));
      ASSERT_EQ(m.groups[g].set, c.groups[g].has_value());
      if (!c.groups[g]) continue;
      ASSERT_LE(m.groups[g].end, c.subject.size());
      EXPECT_EQ(c.subject.substr(m.groups[g].begin, m.groups[g].end - m.groups[g].begin), *c.groups[g]);
    }
  }
}

TEST_P(EngineConformance, BadPatternsAreErrors) {
  const Engine& engine = *GetParam();
  for (const char* bad : {"(", "[0-9", "a{2,1}", "*a", "(?<n", "\\"}) {
    SCOPED_TRACE(bad);
    EXPECT_FALSE(engine.compile(bad, {}).ok());
  }
}

TEST_P(EngineConformance, PatternIsReusableAcrossSearches) {
  auto compiled = GetParam()->compile("([0-9]+)", {});
  ASSERT_TRUE(compiled.ok());
  auto& p = *compiled.value();
  auto first = p.search("a 17", 0);
  auto none = p.search("none", 0);
  auto second = p.search("x 2", 0);
  ASSERT_TRUE(first.ok() && none.ok() && second.ok());
  EXPECT_TRUE(first->found);
  EXPECT_FALSE(none->found);
  ASSERT_TRUE(second->found);
  EXPECT_EQ(second->groups[1].begin, 2u);
  EXPECT_EQ(second->groups[1].end, 3u);
}

// A whole file read as one line (bare LF ends, no CR LF) can be megabytes
// long; the reader's patterns must neither crash nor give up on it.
TEST_P(EngineConformance, FiveMegabyteLine) {
  constexpr size_t kLength = 5 * 1024 * 1024;
  const Engine& engine = *GetParam();
  {
    const std::string subject = "    Texture   " + std::string(kLength, 'a');
    auto p = engine.compile("Texture +(.+)", {});
    ASSERT_TRUE(p.ok());
    auto r = (*p)->search(subject, 0);
    ASSERT_TRUE(r.ok()) << r.error().message;
    ASSERT_TRUE(r->found);
    EXPECT_EQ(r->groups[1].end - r->groups[1].begin, kLength);
  }
  {
    std::string subject = "v 1 2 3 vt 4 5 Bones ";
    while (subject.size() < kLength) subject += "2 11 0.83333\n";
    auto p = engine.compile(kVertexPattern, {});
    ASSERT_TRUE(p.ok());
    auto r = (*p)->search(subject, 0);
    ASSERT_TRUE(r.ok()) << r.error().message;
    ASSERT_TRUE(r->found);
    EXPECT_EQ(r->groups[6].end, subject.size());
  }
  {
    // A line of numbers with no triangle in it: every start position fails.
    std::string subject;
    while (subject.size() < kLength) subject += " 12 f 3 4";
    auto p = engine.compile(kTrianglePattern, {});
    ASSERT_TRUE(p.ok());
    auto r = (*p)->search(subject, 0);
    ASSERT_TRUE(r.ok()) << r.error().message;
    EXPECT_FALSE(r->found);
  }
  {
    // Group repetition over the whole line: deep backtracking state. The
    // engine may give up (an error), but must not crash, and if it answers
    // the answer is right.
    std::string subject(kLength, 'a');
    subject.back() = 'c';
    auto p = engine.compile("(a|b)*c", {});
    ASSERT_TRUE(p.ok());
    auto r = (*p)->search(subject, 0);
    if (r.ok()) {
      ASSERT_TRUE(r->found);
      EXPECT_EQ(r->groups[0].end, kLength);
      EXPECT_EQ(r->groups[1].begin, kLength - 2);
    } else {
      RecordProperty("gave_up", r.error().message);
    }
  }
}

#if QL_TEST_HAVE_PCRE2
INSTANTIATE_TEST_SUITE_P(Engines, EngineConformance, ::testing::Values(&pcre2Engine(), &boostEngine()),
                         [](const auto& info) { return std::string(info.param->name()); });
#else
INSTANTIATE_TEST_SUITE_P(Engines, EngineConformance, ::testing::Values(&boostEngine()),
                         [](const auto& info) { return std::string(info.param->name()); });
#endif

}  // namespace
}  // namespace ql::regex
