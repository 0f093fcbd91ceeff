// Text, number and byte-set commands through the real dispatch.
#include <charconv>
#include <cmath>
#include <cstddef>
#include <limits>

#include "kernel_test_support.h"

#include <random>
#include "runtime/kernel/commands/text_ops.h"

namespace {

using namespace kt;
using ql::rt::Command;

class TextCommands : public KernelTest {};

// GBK text whose double-byte character 乗 (81 5C) carries a backslash byte.
const std::string kTrail5C = "\x81\x5C";

TEST_F(TextCommands, LengthLeftRightMid) {
  struct Case {
    const char* name;
    int32_t code;
    std::string text;
    int32_t a, b;  // n, or start and n for mid
    std::string expected;
  };
  const Case cases[] = {
      {"left within", ql::rt::kCmdLeft, "C:\\a\\b.skc", 4, 0, "C:\\a"},
      {"left zero", ql::rt::kCmdLeft, "abc", 0, 0, ""},
      {"left negative", ql::rt::kCmdLeft, "abc", -5, 0, ""},
      {"left beyond", ql::rt::kCmdLeft, "abc", 99, 0, "abc"},
      {"right within", ql::rt::kCmdRight, "ptexture.pak", 4, 0, ".pak"},
      {"right beyond", ql::rt::kCmdRight, "abc", 10, 0, "abc"},
      {"right negative", ql::rt::kCmdRight, "abc", -1, 0, ""},
      {"mid from 1", ql::rt::kCmdMid, "abcdef", 1, 3, "abc"},
      {"mid inside", ql::rt::kCmdMid, "abcdef", 3, 2, "cd"},
      {"mid runs past end", ql::rt::kCmdMid, "abcdef", 5, 10, "ef"},
      {"mid start past end", ql::rt::kCmdMid, "abcdef", 7, 1, ""},
      {"mid start below 1", ql::rt::kCmdMid, "abcdef", -3, 2, "ab"},
      {"mid n zero", ql::rt::kCmdMid, "abcdef", 2, 0, ""},
      {"mid huge n", ql::rt::kCmdMid, "abcdef", 2, INT32_MAX, "bcdef"},
      {"mid counts bytes", ql::rt::kCmdMid, kLiuXingGbk + "x", 3, 3, "\xD0\xC7x"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Args args;
    args.text(c.text).integer(c.a);
    if (c.code == ql::rt::kCmdMid) args.integer(c.b);
    EXPECT_EQ(takeText(call(c.code, std::move(args))), c.expected);
  }
  EXPECT_EQ(asInteger(call(ql::rt::kCmdTextLength, Args().text(kLiuXingGbk + ".txt"))), 8);
  EXPECT_EQ(asInteger(call(ql::rt::kCmdTextLength, Args().text(""))), 0);
  EXPECT_EQ(asInteger(call(ql::rt::kCmdTextLength, Args().nullText())), 0);
  EXPECT_EQ(takeText(call(ql::rt::kCmdLeft, Args().nullText().integer(3))), "");
}

TEST_F(TextCommands, FindAndFindLast) {
  struct Case {
    const char* name;
    bool last;
    std::string text, sought;
    std::optional<int32_t> start;
    bool ignoreCase;
    int32_t expected;
  };
  const std::string winrar = "\"C:\\Program Files\\WinRAR\\WinRAR.exe\" \"%1\"";
  const Case cases[] = {
      {"first quote", false, winrar, "\"", 1, false, 1},
      {"next quote", false, winrar, "\"", 2, false, 36},
      {"start omitted means 1", false, "abcabc", "bc", std::nullopt, false, 2},
      {"start at the match", false, "abcabc", "bc", 5, false, 5},
      {"start past the last", false, "abcabc", "bc", 6, false, -1},
      {"start beyond the text", false, "abc", "a", 10, false, -1},
      {"start below 1", false, "abc", "a", -4, false, 1},
      {"absent", false, "abc", "x", 1, false, -1},
      {"empty sought", false, "abc", "", 1, false, -1},
      {"empty text", false, "", "a", 1, false, -1},
      {"case sensitive by default", false, "ABC", "b", 1, false, -1},
      {"ignoring ASCII case", false, "ABC", "b", 1, true, 2},
      {"backslash inside a character is no match", false, kTrail5C + "\\x", "\\", 1, false, 3},
      {"last backslash", true, "D:\\Games\\" + kLiuXingGbk + "\\ptexture.pak", "\\", std::nullopt, false, 14},
      {"last skips a character's second byte", true, "a\\" + kTrail5C, "\\", std::nullopt, false, 2},
      {"last absent", true, "abc", "\\", std::nullopt, false, -1},
      {"last overlapping", true, "aaa", "aa", std::nullopt, false, 2},
      {"last at or before start", true, "abcabc", "bc", 4, false, 2},
      {"last ignoring case", true, "xAbAB", "ab", std::nullopt, true, 4},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Args args;
    args.text(c.text).text(c.sought);
    if (c.start)
      args.integer(*c.start);
    else
      args.omitted();
    args.boolean(c.ignoreCase);
    EXPECT_EQ(asInteger(call(c.last ? ql::rt::kCmdFindLast : ql::rt::kCmdFind, std::move(args))), c.expected);
  }
  // The module may leave out the trailing arguments altogether.
  EXPECT_EQ(asInteger(call(ql::rt::kCmdFind, Args().text("abc").text("c"))), 3);
}

TEST_F(TextCommands, SplitDropsDelimitersAndKeepsEmptyPieces) {
  struct Case {
    const char* name;
    std::string text, delimiter;
    std::optional<int32_t> limit;
    std::vector<std::string> expected;
  };
  const Case cases[] = {
      {"lines", "a\r\nbb\r\nccc", "\r\n", std::nullopt, {"a", "bb", "ccc"}},
      {"empty pieces kept", ",a,,b,", ",", std::nullopt, {"", "a", "", "b", ""}},
      {"words at single blanks", "v  1 2", " ", std::nullopt, {"v", "", "1", "2"}},
      {"no delimiter in text", "abc", ",", std::nullopt, {"abc"}},
      {"empty text gives no pieces", "", ",", std::nullopt, {}},
      {"only a delimiter", ",", ",", std::nullopt, {"", ""}},
      {"empty delimiter", "abc", "", std::nullopt, {"abc"}},
      {"not inside a character", "a" + kTrail5C + "\\b", "\\", std::nullopt, {"a" + kTrail5C, "b"}},
      {"limit keeps the rest", "a,b,c,d", ",", 2, {"a", "b,c,d"}},
      {"limit 0 means all", "a,b", ",", 0, {"a", "b"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Args args;
    args.text(c.text).text(c.delimiter);
    if (c.limit)
      args.integer(*c.limit);
    else
      args.omitted();
    EXPECT_EQ(takeTextList(call(ql::rt::kCmdSplit, std::move(args))), c.expected);
  }
}

TEST_F(TextCommands, TextToNumberReadsTheLeadingNumber) {
  struct Case {
    std::string text;
    double expected;
  };
  const Case cases[] = {
      {"  12.5abc", 12.5},
      {"-3", -3.0},
      {"1e3", 1000.0},
      {"", 0.0},
      {"abc", 0.0},
      {"+7", 7.0},
      {"\t-0.25", -0.25},
      {".5", 0.5},
      {"5.", 5.0},
      {"1e", 1.0},
      {"1e+", 1.0},
      {"2E-2x", 0.02},
      {"-", 0.0},
      {".", 0.0},
      {"inf", 0.0},
      {"nan", 0.0},
      {"0x10", 0.0},
      {"1,000", 1.0},
      {"  25.20086 vt", 25.20086},
      {"1e400", std::numeric_limits<double>::infinity()},
      {"-1e400", -std::numeric_limits<double>::infinity()},
      {"1e-400", 0.0},
      {"0.000e999", 0.0},
      {"123456789012345678901234567890", 1.2345678901234568e29},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE("\"" + c.text + "\"");
    EXPECT_EQ(asDouble(call(ql::rt::kCmdTextToNumber, Args().text(c.text))), c.expected);
  }
}

TEST_F(TextCommands, NumberToText) {
  struct Case {
    const char* name;
    Args args;
    std::string expected;
  };
  Case cases[] = {
      {"integer", Args().integer(-42), "-42"},
      {"integer min", Args().integer(INT32_MIN), "-2147483648"},
      {"zero", Args().integer(0), "0"},
      {"double shortest", Args().real(0.1), "0.1"},
      {"double integral", Args().real(1500.0), "1500"},
      {"double negative", Args().real(-2.5), "-2.5"},
      {"single shortest", Args().single(0.1f), "0.1"},
      {"single 1/3", Args().single(1.0f / 3.0f), "0.33333334"},
      {"large double has no separators", Args().real(1234567.0), "1234567"},
      // The longest texts each kind can give, whole.
      {"integer max", Args().integer(INT32_MAX), "2147483647"},
      {"longest single", Args().single(-1.17549435e-38f), "-1.1754944e-38"},
      {"single with the most digits", Args().single(-1.00000012f), "-1.0000001"},
      {"longest double", Args().real(-2.2250738585072014e-308), "-2.2250738585072014e-308"},
      {"double with 17 digits", Args().real(-0.30000000000000004), "-0.30000000000000004"},
      {"byte set as text", Args().bytes("abc"), "abc"},
      {"byte set stops at a NUL", Args().bytes(std::string("ab\0cd", 5)), "ab"},
      {"empty byte set", Args().bytes(""), ""},
  };
  for (Case& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(takeText(call(ql::rt::kCmdToText, std::move(c.args))), c.expected);
  }
}

// A one-argument record on the stack: the round-trip loops run a million
// calls, and building a general Args for each would dominate their time.
struct OneArgRecord {
  uint32_t count = 1;
  ql::abi::Arg arg;
};
static_assert(offsetof(ql::abi::ArgRecord, args) == offsetof(OneArgRecord, arg));

ql::abi::CmdResult callOne(int32_t code, uint64_t value, uint32_t tag) {
  OneArgRecord record;
  record.arg = ql::abi::makeArg(value, tag);
  return ql::rt::kernelCommand(code, reinterpret_cast<const ql::abi::ArgRecord*>(&record));
}

TEST_F(TextCommands, SingleFloatTextReadsBackToTheSameValue) {
  std::mt19937 random(20240611);
  int checked = 0;
  for (int i = 0; i < 1'000'000; ++i) {
    const float value = std::bit_cast<float>(uint32_t(random()));
    if (!std::isfinite(value)) continue;
    const auto textResult = callOne(ql::rt::kCmdToText, std::bit_cast<uint32_t>(value), ql::abi::kTagFloat);
    const char* text = static_cast<const char*>(pointerOf(textResult));
    const size_t length = std::strlen(text);
    ASSERT_EQ(std::strpbrk(text, " ,"), nullptr) << text;
    // Through the kernel's own reader, as the module reads numbers back...
    const auto back = callOne(ql::rt::kCmdTextToNumber, uintptr_t(text), ql::abi::kTagText);
    ASSERT_EQ(std::bit_cast<uint32_t>(float(std::bit_cast<double>(back.value))), std::bit_cast<uint32_t>(value))
        << text;
    // ...and as a single float directly.
    float direct = 0;
    std::from_chars(text, text + length, direct);
    ASSERT_EQ(std::bit_cast<uint32_t>(direct), std::bit_cast<uint32_t>(value)) << text;
    ql::rt::release(pointerOf(textResult));
    ++checked;
  }
  EXPECT_GT(checked, 990'000);
}

TEST_F(TextCommands, DoubleTextReadsBackToTheSameValue) {
  std::mt19937_64 random(7);
  for (int i = 0; i < 1'000'000; ++i) {
    const double value = std::bit_cast<double>(random());
    if (!std::isfinite(value)) continue;
    const auto textResult = callOne(ql::rt::kCmdToText, std::bit_cast<uint64_t>(value), ql::abi::kTagDouble);
    const char* text = static_cast<const char*>(pointerOf(textResult));
    const auto back = callOne(ql::rt::kCmdTextToNumber, uintptr_t(text), ql::abi::kTagText);
    ASSERT_EQ(back.value, std::bit_cast<uint64_t>(value)) << text;
    ql::rt::release(pointerOf(textResult));
  }
}

TEST_F(TextCommands, ToInteger) {
  struct Case {
    const char* name;
    Args args;
    int32_t expected;
  };
  Case cases[] = {
      {"integer stays", Args().integer(-17), -17},
      {"text leading digits", Args().text("26a"), 26},
      {"text with blanks and sign", Args().text("  -42"), -42},
      {"text fraction truncates", Args().text("-7.9"), -7},
      {"text without digits", Args().text("abc"), 0},
      {"empty text", Args().text(""), 0},
      {"text beyond 32 bits holds the limit", Args().text("1e10"), INT32_MAX},
      {"double truncates toward zero", Args().real(-2.9), -2},
  };
  for (Case& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(asInteger(call(ql::rt::kCmdToInteger, std::move(c.args))), c.expected);
  }
}

TEST_F(TextCommands, BitOr) {
  EXPECT_EQ(asInteger(call(ql::rt::kCmdBitOr, Args().integer(0x4000).integer(0x100).integer(1))), 0x4101);
  EXPECT_EQ(asInteger(call(ql::rt::kCmdBitOr, Args().integer(int32_t(0x80000000)).integer(2))),
            int32_t(0x80000002));
  EXPECT_EQ(asInteger(call(ql::rt::kCmdBitOr, Args().integer(5))), 5);
}

TEST_F(TextCommands, ByteSets) {
  const std::string content = kLiuXingGbk + "\r\n\x01\xFF";
  EXPECT_EQ(takeBytes(call(ql::rt::kCmdTextToBytes, Args().text(content))), content);
  EXPECT_EQ(takeBytes(call(ql::rt::kCmdTextToBytes, Args().text(""))), "");

  const auto text = call(ql::rt::kCmdBytesToValue, Args().bytes(content).integer(10).omitted());
  EXPECT_EQ(text.tag, ql::abi::kTagText);
  EXPECT_EQ(takeText(text), content);
  EXPECT_EQ(takeText(call(ql::rt::kCmdBytesToValue, Args().bytes("").integer(10))), "");

  expectRuntimeError([] { call(ql::rt::kCmdBytesToValue, Args().bytes("1").integer(3)); },
                     ql::rt::kErrCommandCall, "0x19C");
}

TEST_F(TextCommands, ValueCell) {
  void* cell = nullptr;
  auto cellArg = [&] { return Args().raw(uintptr_t(&cell), ql::abi::kTypeValueCell); };

  EXPECT_EQ(asDouble(call(ql::rt::kCmdCellNumber, cellArg())), 0.0);  // never stored
  call(ql::rt::kCmdCellStoreText, cellArg().text("12.5"));
  ASSERT_NE(cell, nullptr);
  EXPECT_EQ(asDouble(call(ql::rt::kCmdCellNumber, cellArg())), 12.5);
  call(ql::rt::kCmdCellStoreText, cellArg().text(" -3e2 rest"));
  EXPECT_EQ(asDouble(call(ql::rt::kCmdCellNumber, cellArg())), -300.0);
  const auto released = call(ql::rt::kCmdCellRelease, cellArg());
  EXPECT_EQ(released.tag, ql::abi::kTagOmitted);
  EXPECT_EQ(cell, nullptr);
  call(ql::rt::kCmdCellRelease, cellArg());  // releasing an empty cell is harmless
  EXPECT_EQ(cell, nullptr);

  expectRuntimeError([] { call(ql::rt::kCmdCellNumber, Args().raw(0, ql::abi::kTypeValueCell)); },
                     ql::rt::kErrCommandCall, "0x994");
}

TEST_F(TextCommands, Allocator) {
  const int64_t before = ql::rt::liveBlocks();
  auto* block = static_cast<char*>(ql::rt::allocate(4));
  std::memcpy(block, "abc", 4);
  EXPECT_EQ(ql::rt::liveBlocks(), before + 1);
  block = static_cast<char*>(ql::rt::reallocate(block, 1 << 20));
  EXPECT_STREQ(block, "abc");
  EXPECT_EQ(ql::rt::liveBlocks(), before + 1);
  ql::rt::release(block);
  ql::rt::release(nullptr);
  void* fromNull = ql::rt::reallocate(nullptr, 0);
  ASSERT_NE(fromNull, nullptr);
  ql::rt::release(fromNull);
  EXPECT_EQ(ql::rt::liveBlocks(), before);
}

}  // namespace
