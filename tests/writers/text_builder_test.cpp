// The writers' text pieces: a builder that hands its text to the write-file
// command as a byte set without a copy, and the cache that converts each
// repeated number once.
#include <cstring>
#include <string>

#include "model/text_builder.h"
#include "writer_host.h"

namespace writers {
namespace {

using ql::model::TextBuilder;
using ql::model::TextCache;

class TextPieces : public WriterHost {};

// The header words and the bytes of a byte-set block.
struct ByteSetParts {
  uint32_t dimensions;
  uint32_t length;
  std::string bytes;
};
ByteSetParts partsOf(const ql::Bytes& set) {
  const auto* block = static_cast<const char*>(set.block());
  ByteSetParts parts{};
  std::memcpy(&parts.dimensions, block, 4);
  std::memcpy(&parts.length, block + 4, 4);
  parts.bytes.assign(block + 8, parts.length);
  return parts;
}

TEST_F(TextPieces, ByteSetBuilderHoldsTheTextBehindItsHeaderAcrossGrowth) {
  struct Case {
    const char* name;
    int pieces;  // 3000 pieces run well past the first block
  };
  const Case cases[] = {{"nothing appended", 0}, {"one piece", 1}, {"many pieces", 3000}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    TextBuilder builder(TextBuilder::Layout::kByteSet);
    std::string expected;
    for (int i = 0; i < c.pieces; ++i) {
      const std::string piece(size_t(i % 97), char('a' + i % 26));
      builder.append(std::string_view(piece)).appendNumber(int32_t(i - 1500)).appendNumber(0.1f);
      expected += piece + std::to_string(i - 1500) + "0.1";
    }
    EXPECT_EQ(builder.size(), expected.size());
    EXPECT_EQ(builder.view(), expected);
    const ql::Bytes set = builder.finishBytes();
    const ByteSetParts parts = partsOf(set);
    EXPECT_EQ(parts.dimensions, 1u);
    EXPECT_EQ(parts.length, expected.size());
    EXPECT_EQ(parts.bytes, expected);
    // What the module reads through its own byte-set view.
    EXPECT_EQ(set.view(), expected);
    // The builder starts again empty, with a header of its own.
    EXPECT_EQ(builder.size(), 0u);
    EXPECT_EQ(partsOf(builder.append(std::string_view("x")).finishBytes()).bytes, "x");
  }
}

TEST_F(TextPieces, CacheMakesEachKeyOnceAndGivesItsTextOnEveryUse) {
  constexpr size_t kKeys = 2000;
  // One byte per key reserved: the texts' block grows many times while the
  // texts made earlier must stay as they were.
  TextCache cache(kKeys, 1);
  std::string made(kKeys, '\0');
  int makes = 0;
  auto textOf = [](size_t key) { return std::to_string(key) + " " + std::string(key % 5, 'u') + "\r\n"; };
  for (int pass = 0; pass < 3; ++pass) {
    for (size_t step = 0; step < kKeys; ++step) {
      const size_t key = (step * 7919) % kKeys;  // every key, out of order
      SCOPED_TRACE(key);
      ASSERT_TRUE(cache.covers(int64_t(key)));
      const std::string_view text = cache.get(key, [&](TextBuilder& texts) {
        ++makes;
        texts.appendNumber(int32_t(key)).append(std::string_view(" ")).append(std::string(key % 5, 'u'));
        texts.append(std::string_view("\r\n"));
      });
      ASSERT_EQ(text, textOf(key));
    }
  }
  EXPECT_EQ(makes, int(kKeys));
}

TEST_F(TextPieces, CacheCoversItsKeysOnly) {
  TextCache cache(3, 8);
  EXPECT_FALSE(cache.covers(-1));
  EXPECT_TRUE(cache.covers(0));
  EXPECT_TRUE(cache.covers(2));
  EXPECT_FALSE(cache.covers(3));
  EXPECT_FALSE(cache.covers(INT64_MAX));
  TextCache none(0, 8);
  EXPECT_FALSE(none.covers(0));
}

TEST_F(TextPieces, CacheTextsTooLongForASlotAreMadeAgainButStayRight) {
  struct Case {
    size_t length;
    int expectedMakes;  // over three uses
  };
  // 255 bytes is the longest text a slot records.
  const Case cases[] = {{0, 1}, {255, 1}, {256, 3}, {5000, 3}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.length);
    TextCache fresh(1, 8);
    int makes = 0;
    const std::string expected(c.length, 'z');
    for (int use = 0; use < 3; ++use) {
      EXPECT_EQ(fresh.get(0, [&](TextBuilder& texts) {
        ++makes;
        texts.append(std::string_view(expected));
      }),
                expected);
    }
    EXPECT_EQ(makes, c.expectedMakes);
  }
}

}  // namespace
}  // namespace writers
