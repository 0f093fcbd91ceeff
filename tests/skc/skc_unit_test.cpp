// The reader's line index and the texture folder check, on the fake runtime's
// heap (no kernel needed).
#include <string>
#include <vector>

#include "fixture.h"
#include "game/textures.h"
#include "model/skc_lines.h"

namespace {

using ql::model::LineIndex;
using ql::model::LineText;

std::vector<std::string> linesOf(std::string_view text) {
  const LineIndex index(text);
  std::vector<std::string> out;
  for (int32_t i = 1; i <= index.count(); ++i) out.emplace_back(index.line(i));
  return out;
}

class SkcLines : public ModuleSupport {};

// Split at every CR LF as the runtime's split does: no line for "", empty
// pieces kept, a lone CR or LF is part of its line.
TEST_F(SkcLines, SplitsAtEveryCrLfOnly) {
  struct Case {
    const char* name;
    std::string text;
    std::vector<std::string> lines;
  };
  const Case cases[] = {
      {"empty text", "", {}},
      {"one line", "abc", {"abc"}},
      {"final line break", "a\r\n", {"a", ""}},
      {"only a line break", "\r\n", {"", ""}},
      {"empty line inside", "a\r\n\r\nb", {"a", "", "b"}},
      {"bare LF", "a\nb\nc", {"a\nb\nc"}},
      {"bare CR", "a\rb", {"a\rb"}},
      {"CR before CR LF", "a\r\r\nb", {"a\r", "b"}},
      {"CR at the end", "a\r", {"a\r"}},
      {"LF CR", "a\n\rb", {"a\n\rb"}},
  };
  for (const Case& c : cases) EXPECT_EQ(linesOf(c.text), c.lines) << c.name;
}

TEST_F(SkcLines, ContainsOnlyExistingLines) {
  const LineIndex index("a\r\nb");
  EXPECT_FALSE(index.contains(0));
  EXPECT_TRUE(index.contains(1));
  EXPECT_TRUE(index.contains(2));
  EXPECT_FALSE(index.contains(3));
  EXPECT_FALSE(index.contains(-1));
}

TEST_F(SkcLines, ManyLinesGrowTheIndex) {
  std::string text;
  for (int i = 0; i < 5000; ++i) text += std::to_string(i) + "\r\n";
  const LineIndex index(text);
  ASSERT_EQ(index.count(), 5001);
  EXPECT_EQ(index.line(1), "0");
  EXPECT_EQ(index.line(4321), "4320");
  EXPECT_EQ(index.line(5001), "");
}

TEST_F(SkcLines, LineTextHoldsOneNulTerminatedCopy) {
  LineText held;
  EXPECT_STREQ(held.hold("short").c_str(), "short");
  const std::string longLine(10000, 'x');
  EXPECT_EQ(held.hold(longLine).view(), longLine);
  EXPECT_STREQ(held.hold("").c_str(), "");
  // A line cut out of a longer text ends where the line ends.
  EXPECT_STREQ(held.hold(std::string_view("abcdef").substr(1, 3)).c_str(), "bcd");
}

TEST(TextureFolder, InsideFolderOnlyForRelativeNamesThatStayInside) {
  struct Case {
    const char* path;
    bool inside;
  };
  const std::string_view folder = "\\p\\lx_ptx_tmp";
  const Case cases[] = {
      {"\\p\\lx_ptx_tmp\\a.tga", true},
      {"\\p\\lx_ptx_tmp\\sub\\a.jpg", true},
      {"\\p\\lx_ptx_tmp\\..a.jpg", true},  // a name starting with dots, not a step up
      {"\\p\\lx_ptx_tmp\\.\\a.jpg", true},
      {"\\p\\lx_ptx_tmp\\..\\a.jpg", false},
      {"\\p\\lx_ptx_tmp\\sub\\..\\..\\a.jpg", false},
      {"\\p\\lx_ptx_tmp\\sub/../../a.jpg", false},
      {"\\p\\lx_ptx_tmp\\..", false},
      {"\\p\\lx_ptx_tmp\\\\etc\\a.jpg", false},  // an absolute name after the folder
      {"\\p\\lx_ptx_tmp\\/etc/a.jpg", false},
      {"\\p\\lx_ptx_tmp\\C:\\a.jpg", false},
      {"\\p\\lx_ptx_tmp\\", false},
      {"\\p\\lx_ptx_tmpx\\a.tga", false},  // another folder with the same start
      {"\\q\\a.tga", false},
  };
  for (const Case& c : cases) EXPECT_EQ(ql::game::insideFolder(c.path, folder), c.inside) << c.path;
  EXPECT_FALSE(ql::game::insideFolder("\\a.tga", "")) << "no texture folder: nothing is inside";
}

}  // namespace
