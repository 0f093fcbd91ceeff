#include "common/bytes.h"

#include <gtest/gtest.h>

namespace {

TEST(Bytes, BoundsCheckDoesNotOverflow) {
  EXPECT_TRUE(ql::inBounds(0, 4, 4));
  EXPECT_FALSE(ql::inBounds(1, 4, 4));
  EXPECT_FALSE(ql::inBounds(5, 0, 4));
  EXPECT_FALSE(ql::inBounds(UINT64_MAX, 2, 4));
  EXPECT_FALSE(ql::inBounds(2, UINT64_MAX, 4));
}

TEST(Bytes, ReadsLittleEndianAndCStrings) {
  const uint8_t raw[] = {0xA5, 0xB7, 0x9A, 0x82, 'a', 'b', 0, 'c'};
  ql::ByteSpan s(raw);
  EXPECT_EQ(ql::readU32(s, 0).value(), 0x829AB7A5u);
  EXPECT_FALSE(ql::readU32(s, 5));
  EXPECT_EQ(ql::readCString(s, 4).value(), "ab");
  EXPECT_FALSE(ql::readCString(s, 7));  // no NUL before the end
  EXPECT_FALSE(ql::readCString(s, 8));
}

TEST(Bytes, WriterPatches) {
  ql::ByteWriter w;
  w.u32(0);
  w.cstring("x");
  w.patchU32(0, 0x01020304);
  EXPECT_EQ(w.data(), (ql::ByteVec{4, 3, 2, 1, 'x', 0}));
}

}  // namespace
