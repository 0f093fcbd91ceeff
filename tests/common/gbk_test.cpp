#include "common/gbk.h"

#include <gtest/gtest.h>

namespace {

TEST(Gbk, RoundTripsChineseAndAscii) {
  const std::string utf8 = "流星目录.txt \\pmodel\\a.skc";
  auto gbk = ql::utf8ToGbk(utf8);
  ASSERT_TRUE(gbk);
  EXPECT_EQ(gbk->substr(0, 4), std::string("\xC1\xF7\xD0\xC7"));  // 流星
  auto back = ql::gbkToUtf8(*gbk);
  ASSERT_TRUE(back);
  EXPECT_EQ(*back, utf8);
}

TEST(Gbk, RejectsWhatTheOtherSideCannotHold) {
  EXPECT_FALSE(ql::utf8ToGbk("\xF0\x9F\x98\x80"));  // an emoji has no GBK form
  // GBK has a-grave but not A-grave: no look-alike may stand in for it.
  EXPECT_FALSE(ql::utf8ToGbk("\xC3\x80"));
  EXPECT_TRUE(ql::utf8ToGbk("\xC3\xA0"));
  EXPECT_FALSE(ql::gbkToUtf8("\x81"));              // a lead byte without its trail byte
  EXPECT_EQ(ql::gbkToUtf8Lossy("a\x81"), "a\xEF\xBF\xBD");
}

TEST(Gbk, EmptyStaysEmpty) {
  EXPECT_EQ(ql::gbkToUtf8("").value(), "");
  EXPECT_EQ(ql::utf8ToGbk("").value(), "");
}

}  // namespace
