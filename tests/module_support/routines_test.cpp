// The module's own routines: float to integer, texts, arrays, byte sets.
#include <cfenv>
#include <cmath>
#include <limits>

#include "fixture.h"

namespace {

using namespace ql;

// ---- Float to integer ----------------------------------------------------------

struct FloatCase {
  double in;
  int64_t out;
};

const FloatCase kFloatCases[] = {
    {2.9, 2},
    {-2.9, -2},
    {0.999, 0},
    {-0.5, 0},
    {-1.5, -1},
    {0.5, 0},
    {1.5, 1},
    {2.5, 2},
    {-2.5, -2},
    {-0.0, 0},
    {1e10, 10000000000LL},
    {-1e10, -10000000000LL},
    {4294967295.75, 4294967295LL},
    {9.2233720368547748e18, 9223372036854774784LL},  // largest double below 2^63
    {-9.2233720368547758e18, std::numeric_limits<int64_t>::min()},
    // Values without an integer counterpart get the fixed results.
    {9.2233720368547758e18, std::numeric_limits<int64_t>::max()},
    {1e300, std::numeric_limits<int64_t>::max()},
    {-1e300, std::numeric_limits<int64_t>::min()},
    {std::numeric_limits<double>::infinity(), std::numeric_limits<int64_t>::max()},
    {-std::numeric_limits<double>::infinity(), std::numeric_limits<int64_t>::min()},
    {std::numeric_limits<double>::quiet_NaN(), 0},
};

TEST(FloatToInt, TruncatesTowardZeroUnderEveryRoundingModeAndLeavesTheModeAlone) {
  const int original = std::fegetround();
  for (int mode : {FE_TONEAREST, FE_UPWARD, FE_DOWNWARD, FE_TOWARDZERO}) {
    ASSERT_EQ(std::fesetround(mode), 0);
    for (const FloatCase& c : kFloatCases) {
      volatile double in = c.in;  // no folding at compile time
      EXPECT_EQ(floatToInt(in), c.out) << "value " << c.in << " mode " << mode;
      EXPECT_EQ(std::fegetround(), mode) << "value " << c.in;
    }
  }
  std::fesetround(original);
}

TEST(FloatToInt, CallersKeepingThirtyTwoBitsSeeTheLowWord) {
  EXPECT_EQ(floatToInt32(1e10), 1410065408);
  EXPECT_EQ(floatToInt32(-1.5), -1);
  EXPECT_EQ(floatToInt32(2147483648.0), std::numeric_limits<int32_t>::min());
}

// ---- Texts ---------------------------------------------------------------------

struct CompareCase {
  const char* a;
  const char* b;
  int32_t out;
};

TEST(TextCompare, FollowsTheAbsentAndByteRules) {
  const CompareCase cases[] = {
      {nullptr, nullptr, 0}, {nullptr, "", 0},   {"", nullptr, 0},  {"", "", 0},
      {nullptr, "a", -1},    {"a", nullptr, 1},  {"A", "a", -1},    {"a", "A", 1},
      {"abc", "abc", 0},     {"ab", "abc", -1},  {"abc", "ab", 1},  {"abd", "abc", 1},
      // Bytes compare unsigned: a GBK lead byte sorts after ASCII.
      {"\xC1\xF7", "z", 1},  {"z", "\xC1\xF7", -1},
  };
  for (const CompareCase& c : cases) {
    EXPECT_EQ(textCompare(c.a, c.b), c.out)
        << (c.a ? c.a : "<absent>") << " vs " << (c.b ? c.b : "<absent>");
  }
}

TEST(TextCompare, EqualityOperatorUsesTheSameRules) {
  EXPECT_TRUE(TextRef(nullptr) == TextRef(""));
  EXPECT_FALSE(TextRef("A") == TextRef("a"));
}

TEST(TextLength, CountsBytesBeforeTheNul) {
  EXPECT_EQ(textLength(nullptr), 0u);
  EXPECT_EQ(textLength(""), 0u);
  EXPECT_EQ(textLength("\xC1\xF7\xD0\xC7"), 4u);
}

TEST_F(ModuleSupport, ConcatenationOfAbsentTextsIsANewEmptyTextThatMustBeFreed) {
  const char* parts[] = {nullptr, nullptr};
  char* joined = textConcat(parts);
  ASSERT_NE(joined, nullptr);
  EXPECT_STREQ(joined, "");
  EXPECT_TRUE(rt.isLive(joined));
  EXPECT_EQ(rt.blockSize(joined), 1u);
  svc::release(joined);
}

TEST_F(ModuleSupport, ConcatenationJoinsInOrderIntoOneBlockOfTheExactSize) {
  Text t = concat("C:\\game", nullptr, "\\pmodel\\", Text::copy("a.skc"));
  EXPECT_EQ(t.view(), "C:\\game\\pmodel\\a.skc");
  EXPECT_EQ(rt.blockSize(t.get()), t.size() + 1);

  Text thirteen = concat("a", "b", "c", "d", "e", "f", "g", "h", "i", "j", "k", "l", "m");
  EXPECT_EQ(thirteen.view(), "abcdefghijklm");
}

TEST_F(ModuleSupport, TextOwnershipMovesAndFreesOnce) {
  Text a = Text::copy("x");
  Text b = std::move(a);
  EXPECT_TRUE(a.absent());
  EXPECT_EQ(b.view(), "x");
  b = Text::copy("y");  // frees "x"
  EXPECT_EQ(rt.liveBlocks(), 1u);
  EXPECT_TRUE(b == "y");
  EXPECT_FALSE(b == "Y");
  Text c = b.clone();
  EXPECT_NE(c.get(), b.get());
  char* raw = c.release();
  EXPECT_TRUE(c.absent());
  svc::release(raw);
}

TEST_F(ModuleSupport, TextVariableFreesWhatItHeld) {
  char* var = nullptr;
  TextVar v(&var);
  v.set("first");
  char* first = var;
  v.set(v.get());  // setting to its own value copies before freeing
  EXPECT_FALSE(rt.isLive(first));
  EXPECT_STREQ(var, "first");
  v.clear();
  EXPECT_EQ(var, nullptr);
}

// ---- Arrays --------------------------------------------------------------------

TEST(FlatIndex, SumsIndexTimesLaterSizes) {
  const uint32_t sizes[] = {3, 4, 5};
  const uint32_t first[] = {0, 0, 0};
  const uint32_t some[] = {2, 1, 3};
  const uint32_t last[] = {2, 3, 4};
  EXPECT_EQ(arr::flatIndex(first, sizes), 0u);
  EXPECT_EQ(arr::flatIndex(some, sizes), 2u * 20 + 1 * 5 + 3);
  EXPECT_EQ(arr::flatIndex(last, sizes), 59u);
}

TEST_F(ModuleSupport, ElementCountIsTheProductAndZeroWithoutDimensions) {
  void* none = rt.block({0});
  void* table = rt.block({2, 3, 4});
  EXPECT_EQ(arr::elementCount(none), 0u);
  EXPECT_EQ(arr::elementCount(table), 12u);
  EXPECT_EQ(arr::elementCountOrZero(nullptr), 0u);
  svc::release(none);
  svc::release(table);
}

TEST_F(ModuleSupport, ElementAccessFindsRowMajorElements) {
  IntTable t;
  t.dimension(3, 4);
  for (int r = 1; r <= 3; ++r)
    for (int c = 1; c <= 4; ++c) t.at(r, c) = r * 10 + c;
  const auto w = words(t.block(), 3 + 12);
  EXPECT_EQ(w[3], 11u);
  EXPECT_EQ(w[3 + 1 * 4 + 2], 23u);  // row 2, column 3
  EXPECT_EQ(w[3 + 11], 34u);
  EXPECT_EQ(t.get(2, 3), 23);
}

TEST_F(ModuleSupport, ElementAccessWithTheWrongNumberOfIndicesStopsWithError3) {
  IntTable t;
  t.dimension(2, 2);
  EXPECT_RUNTIME_ERROR(t.get(1), ql::abi::kErrDimensions);
  EXPECT_RUNTIME_ERROR(t.get(1, 1, 1), ql::abi::kErrDimensions);
  // The start-up tables are one-dimensional: a two-index access stops.
  initGlobals();
  EXPECT_RUNTIME_ERROR(store::vertexTable().get(1, 1), ql::abi::kErrDimensions);
  EXPECT_EQ(store::vertexTable().get(5), 0.0f);
  cleanupGlobals();
  // No array at all has no dimensions.
  IntList none;
  EXPECT_RUNTIME_ERROR(none.get(1), ql::abi::kErrDimensions);
  // Nor does a block that holds only its count, even when asked with no index.
  IntList bare = IntList::adopt(rt.block({0}));
  EXPECT_RUNTIME_ERROR(bare.get(), svc::kErrIndexRange);
  EXPECT_RUNTIME_ERROR(none.get(), svc::kErrIndexRange);
}

TEST_F(ModuleSupport, IndexOutsideTheSizesStopsInsteadOfTouchingMemory) {
  IntTable t;
  t.dimension(2, 3);
  for (auto [r, c] : {std::pair{0, 1}, {3, 1}, {1, 0}, {1, 4}, {-1, 1}}) {
    EXPECT_RUNTIME_ERROR(t.get(r, c), svc::kErrIndexRange);
  }
  EXPECT_EQ(t.get(2, 3), 0);
}

TEST_F(ModuleSupport, DimensioningZeroesFreesTheOldBlockAndChecksSizes) {
  FloatTable t;
  t.dimension(2, 5);
  t.at(1, 1) = 1.5f;
  void* old = t.block();
  t.dimension(3, 5);
  EXPECT_FALSE(rt.isLive(old));
  EXPECT_EQ(shape(t.block()), (std::vector<uint32_t>{2, 3, 5}));
  for (int r = 1; r <= 3; ++r)
    for (int c = 1; c <= 5; ++c) EXPECT_EQ(t.get(r, c), 0.0f);
  EXPECT_EQ(rt.blockSize(t.block()), 12u + 15 * 4);

  void* kept = t.block();
  EXPECT_RUNTIME_ERROR(t.dimension(0, 5), ql::abi::kErrArraySize);
  EXPECT_RUNTIME_ERROR(t.dimension(4, -1), ql::abi::kErrArraySize);
  EXPECT_RUNTIME_ERROR(t.dimension(0x7FFFFFFF, 0x7FFFFFFF, 0x7FFFFFFF), ql::abi::kErrArraySize);
  EXPECT_EQ(t.block(), kept) << "a refused dimensioning leaves the array as it was";
  EXPECT_EQ(rt.liveBlocks(), 1u);
}

TEST_F(ModuleSupport, DimensioningATextListReleasesItsOldTexts) {
  TextList list;
  list.dimension(2);
  list.setText("a", 1);
  list.setText("b", 2);
  list.dimension(1);
  EXPECT_EQ(rt.liveBlocks(), 1u);
  EXPECT_TRUE(list.text(1).empty());
}

TEST_F(ModuleSupport, AppendingToAnEmptyListGivesShapeOneOne) {
  IntList list = IntList::fromShape(std::array<uint32_t, 2>{1, 0}.data());
  list.append(7);
  EXPECT_EQ(words(list.block(), 3), (std::vector<uint32_t>{1, 1, 7}));
  EXPECT_EQ(rt.blockSize(list.block()), 12u);
  EXPECT_TRUE(rt.supportCalls.empty()) << "a local list does not involve the runtime";
}

TEST_F(ModuleSupport, AppendingToTheStartUpVertexTableGivesOneSixAfterTellingTheRuntime) {
  initGlobals();
  void** var = &vars.vertexTable;
  store::vertexTable().append(2.5f);
  ASSERT_EQ(rt.supportCalls.size(), 1u);
  EXPECT_EQ(rt.supportCalls[0].selector, ql::abi::kSupportPrepareAppend);
  EXPECT_EQ(rt.supportCalls[0].a, 4);
  EXPECT_EQ(rt.supportCalls[0].b, reinterpret_cast<intptr_t>(var));
  EXPECT_EQ(shape(vars.vertexTable), (std::vector<uint32_t>{1, 6}));
  EXPECT_EQ(store::vertexTable().get(6), 2.5f);
  EXPECT_EQ(store::vertexTable().get(5), 0.0f);
  EXPECT_EQ(rt.blockSize(vars.vertexTable), 8u + 6 * 4);
  cleanupGlobals();
}

TEST_F(ModuleSupport, AppendUsesTheBlockTheRuntimePutInTheVariable) {
  initGlobals();
  rt.moveOnPrepare = true;
  store::textureIds().append(11);
  store::textureIds().append(12);
  EXPECT_EQ(words(vars.textureIds, 4), (std::vector<uint32_t>{1, 2, 11, 12}));
  cleanupGlobals();
}

TEST_F(ModuleSupport, AppendingFlattensATableKeepingTheElementOrder) {
  IntTable t;
  t.dimension(2, 3);
  for (int r = 1; r <= 2; ++r)
    for (int c = 1; c <= 3; ++c) t.at(r, c) = r * 10 + c;
  t.append(99);
  EXPECT_EQ(words(t.block(), 2 + 7), (std::vector<uint32_t>{1, 7, 11, 12, 13, 21, 22, 23, 99}));
  EXPECT_EQ(rt.blockSize(t.block()), 8u + 7 * 4);
}

TEST_F(ModuleSupport, AppendingToNothingOrToADimensionlessBlockStartsAList) {
  IntList none;
  none.append(5);
  EXPECT_EQ(words(none.block(), 3), (std::vector<uint32_t>{1, 1, 5}));

  IntList bare = IntList::adopt(rt.block({0}));  // only its 4-byte count
  bare.append(6);
  EXPECT_EQ(words(bare.block(), 3), (std::vector<uint32_t>{1, 1, 6}));
}

TEST_F(ModuleSupport, PointerElementsOfATableAreReadWithoutAlignment) {
  // A two-dimensional header is 12 bytes: the text pointers sit at 4 mod 8.
  TextList table;
  table.dimension(2, 2);
  table.setText("r1c1", 1, 1);
  table.setText("r2c2", 2, 2);
  EXPECT_EQ(table.text(1, 1).view(), "r1c1");
  EXPECT_EQ(table.text(2, 2).view(), "r2c2");
  EXPECT_TRUE(table.text(1, 2).empty());
  table.setText("again", 1, 1);  // the old text is freed
  EXPECT_EQ(rt.liveBlocks(), 3u);
  table.appendText("five");  // flattens: four old elements, then the new one
  EXPECT_EQ(shape(table.block()), (std::vector<uint32_t>{1, 5}));
  EXPECT_EQ(table.text(1).view(), "again");
  EXPECT_EQ(table.text(4).view(), "r2c2");
  EXPECT_EQ(table.text(5).view(), "five");
}

TEST_F(ModuleSupport, FreshArrayCopiesTheShapeAndZeroesTheElements) {
  const uint32_t shape2[] = {2, 3, 4};
  FloatTable t = FloatTable::fromShape(shape2);
  EXPECT_EQ(rt.blockSize(t.block()), 12u + 12 * 4);
  EXPECT_EQ(words(t.block(), 15), (std::vector<uint32_t>{2, 3, 4, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}));
}

TEST_F(ModuleSupport, ReleasingListsFreesPresentElementsFirst) {
  void* texts = nullptr;
  const uint32_t listShape[] = {1, 3};
  texts = arr::freshFromShape(listShape, sizeof(char*));
  char* one = rt.text("one");
  std::memcpy(static_cast<uint8_t*>(texts) + 8, &one, sizeof one);  // element 2 stays null
  char* three = rt.text("three");
  std::memcpy(static_cast<uint8_t*>(texts) + 8 + 2 * sizeof(char*), &three, sizeof three);
  arr::releaseTextList(texts);
  EXPECT_EQ(rt.liveBlocks(), 0u);

  Array<MaterialEntry*> records;
  records.append(newMaterialEntry("m1", "t1.tga"));
  records.append(nullptr);
  MaterialEntry* partial = newMaterialEntry("m3", "");
  svc::release(std::exchange(partial->textureFile, nullptr));
  records.append(partial);
  EXPECT_EQ(rt.liveBlocks(), 1u + 3 + 2);
  records.free();
  EXPECT_EQ(rt.liveBlocks(), 0u);
}

// ---- Byte sets -----------------------------------------------------------------

TEST_F(ModuleSupport, ByteSetsHoldCountOneLengthAndBytes) {
  Bytes b = Bytes::copy(std::string_view("ab\0c", 4));
  EXPECT_EQ(words(b.block(), 2), (std::vector<uint32_t>{1, 4}));
  EXPECT_EQ(rt.blockSize(b.block()), 12u);
  EXPECT_EQ(b.view(), std::string_view("ab\0c", 4));
  Bytes empty = Bytes::copy(std::string_view());
  EXPECT_EQ(empty.size(), 0u);
  Bytes absent;
  EXPECT_EQ(BytesRef(absent).size(), 0u);
  EXPECT_NE(BytesRef(absent).block(), nullptr);
}

}  // namespace
