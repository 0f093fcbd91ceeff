#include "runtime/window/filter.h"

#include <gtest/gtest.h>

namespace ql::window {
namespace {

TEST(Filter, ParsesPairsAndLonePatterns) {
  struct Case {
    const char* filter;
    std::vector<std::pair<std::string, std::string>> pairs;
  };
  const Case cases[] = {
      {"", {}},
      {"AC3D\xC4\xA3\xD0\xCD|*.ac|OBJ|*.obj", {{"AC3D\xC4\xA3\xD0\xCD", "*.ac"}, {"OBJ", "*.obj"}}},
      {"*.exe", {{"*.exe", "*.exe"}}},  // a pattern alone describes itself
      {"img|*.jpg;*.png", {{"img", "*.jpg;*.png"}}},
      {"a|*.a|*.b", {{"a", "*.a"}, {"*.b", "*.b"}}},
      {"a|", {}},  // no pattern: nothing to offer
      {"|*.x", {{"", "*.x"}}},
  };
  for (const auto& c : cases) {
    auto got = parseFilter(c.filter);
    ASSERT_EQ(got.size(), c.pairs.size()) << c.filter;
    for (std::size_t i = 0; i < got.size(); ++i) {
      EXPECT_EQ(got[i].description, c.pairs[i].first) << c.filter;
      EXPECT_EQ(got[i].pattern, c.pairs[i].second) << c.filter;
    }
  }
}

TEST(Filter, DefaultExtension) {
  const std::pair<const char*, const char*> cases[] = {
      {"*.ac", ".ac"}, {"*.pak|*.pak", ".pak"}, {"*.exe", ".exe"}, {"", ""},
      {"*.*", ""},     {"*", ""},               {"*.jpg;*.png", ".jpg"},
  };
  for (auto [spec, ext] : cases) EXPECT_EQ(defaultExtension(spec), ext) << spec;
}

TEST(Filter, DefaultExtensionOnlyForNamesWithout) {
  EXPECT_EQ(withDefaultExtension("\\home\\a\\model", ".ac"), "\\home\\a\\model.ac");
  EXPECT_EQ(withDefaultExtension("\\home\\a\\model.obj", ".ac"), "\\home\\a\\model.obj");
  // A dot in a folder name does not count for the file name.
  EXPECT_EQ(withDefaultExtension("\\home\\a.b\\model", ".ac"), "\\home\\a.b\\model.ac");
  EXPECT_EQ(withDefaultExtension("model", ".ac"), "model.ac");
  EXPECT_EQ(withDefaultExtension("\\home\\a\\model", ""), "\\home\\a\\model");
  // A folder path (empty file name) is left alone.
  EXPECT_EQ(withDefaultExtension("\\home\\a\\", ".ac"), "\\home\\a\\");
}

TEST(Filter, SeparatorSearchSkipsGbkTrailBytes) {
  // 0xB0 0x5C is one GBK character whose second byte looks like '\'.
  const std::string name = "\\dir\\\xB0\x5C";
  EXPECT_EQ(lastSeparator(name), 4u);
  EXPECT_EQ(withDefaultExtension(name, ".ac"), name + ".ac");
  EXPECT_EQ(lastSeparator("no separator"), std::string::npos);
  // A lone lead byte at the very end is taken as a byte of its own.
  EXPECT_EQ(lastSeparator("a\\\xB0"), 1u);
}

}  // namespace
}  // namespace ql::window
