// The package format on its own: scrambling, the entry-list reader and the
// bytes the package writer lays down.
#include <gtest/gtest.h>
#include <zlib.h>

#include "launcher/package_format.h"
#include "launcher_test_support.h"
#include "tools/qlpack/package_writer.h"

namespace ql::launcher {
namespace {

using qlpack::PackageEntry;
using qlpack::PackageOptions;
using testing::bytesOf;

TEST(Scramble, ByteAtOffset12PlusKGoesWithKeyByteKPlus1Mod4) {
  const uint8_t key[4] = {0x10, 0x21, 0x32, 0x43};
  std::vector<uint8_t> data(9, 0);
  scramble(data, key);
  // Offsets 12, 13, 14, 15, 16 ... take key bytes 1, 2, 3, 0, 1 ...
  EXPECT_EQ(data, (std::vector<uint8_t>{0x21, 0x32, 0x43, 0x10, 0x21, 0x32, 0x43, 0x10, 0x21}));
  scramble(data, key);
  EXPECT_EQ(data, std::vector<uint8_t>(9, 0)) << "scrambling twice gives the bytes back";
}

TEST(KernelName, EitherFormInAnyLetterCase) {
  struct Case {
    const char* name;
    bool kernel;
  } cases[] = {{"kbase.qlr", true},  {"KBASE.QLR", true},  {"kBaSe.QlB", true}, {"kbase.qlb", true},
               {"kbase.qlx", false}, {"kbase.qlr ", false}, {"xkbase.qlr", false}, {"kbase", false},
               {"", false}};
  for (const Case& c : cases) EXPECT_EQ(isKernelName(c.name), c.kernel) << c.name;
}

TEST(SingleComponent, RefusesAnythingThatLeavesTheFolder) {
  struct Case {
    const char* name;
    bool ok;
  } cases[] = {{"kbase.qlr", true}, {"qlunpack", true}, {".hidden", true}, {"...", true},
               {"", false},         {".", false},       {"..", false},     {"../kbase.qlr", false},
               {"a/b", false},      {"a\\b", false},    {"/etc", false},   {"C:x", false},
               {"kbase.qlr:stream", false}};
  for (const Case& c : cases) EXPECT_EQ(isSingleComponent(c.name), c.ok) << c.name;
}

TEST(EntryList, ReadsEntriesBackToBack) {
  const std::vector<PackageEntry> entries = {{"kbase.qlr", bytesOf("ELF")}, {"empty", {}}, {"b", bytesOf("xy")}};
  const ByteVec list = qlpack::buildEntryList(entries);
  ASSERT_EQ(list.size(), (10 + 4 + 3) + (6 + 4) + (2 + 4 + 2));
  Result<std::vector<EntryView>> parsed = parseEntryList(list);
  ASSERT_TRUE(parsed.ok()) << parsed.error().message;
  ASSERT_EQ(parsed->size(), 3u);
  EXPECT_EQ((*parsed)[0].name, "kbase.qlr");
  EXPECT_EQ(ByteVec((*parsed)[0].data.begin(), (*parsed)[0].data.end()), bytesOf("ELF"));
  EXPECT_EQ((*parsed)[1].name, "empty");
  EXPECT_TRUE((*parsed)[1].data.empty());
  EXPECT_EQ((*parsed)[2].offset, 27u);
  EXPECT_EQ(ByteVec((*parsed)[2].data.begin(), (*parsed)[2].data.end()), bytesOf("xy"));
}

TEST(EntryList, MalformedListsAreRefusedWithWhereAndWhy) {
  auto entry = [](std::string_view name, uint32_t length, std::string_view data) {
    ByteWriter w;
    w.cstring(name);
    w.u32(length);
    w.bytes(data);
    return w.take();
  };
  auto cat = [](ByteVec a, const ByteVec& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
  };
  const ByteVec good = entry("a", 2, "xy");
  struct Case {
    const char* what;
    ByteVec list;
    const char* detail;
  } cases[] = {
      {"name without NUL", bytesOf("kbase.qlr"), "entry 0 at 0x0: name runs past the end"},
      {"second name without NUL", cat(good, bytesOf("b")), "entry 1 at 0x8: name runs past the end"},
      {"length field cut", bytesOf(std::string_view("a\0\x01\x00", 4)), "length field at 0x2 runs past"},
      {"data longer than the rest", entry("a", 3, "xy"), "data of 0x3 bytes at 0x6 runs past the end"},
      {"huge length", entry("a", 0xFFFFFFFF, "xy"), "data of 0xFFFFFFFF bytes at 0x6 runs past"},
      {"parent folder", entry("..", 0, ""), "name \"..\" is not a single path component"},
      {"slash", cat(good, entry("../x", 0, "")), "entry 1 at 0x8: name \"../x\" is not"},
      {"backslash", entry("a\\b", 0, ""), "name \"a\\x5Cb\" is not"},
      {"empty name", entry("", 1, "z"), "name \"\" is not"},
  };
  for (const Case& c : cases) {
    Result<std::vector<EntryView>> r = parseEntryList(c.list);
    ASSERT_FALSE(r.ok()) << c.what;
    EXPECT_NE(r.error().message.find(c.detail), std::string::npos) << c.what << ": " << r.error().message;
  }
}

TEST(PackageWriter, LaysOutHeaderScrambledStreamAndTrailer) {
  PackageOptions options;
  options.identifier = 0x1A2B;
  options.key = 0x44332211;  // key bytes 11 22 33 44
  const ByteVec exe = testing::fakeExecutable(1500);
  const std::vector<PackageEntry> entries = {{"kbase.qlr", bytesOf("kernel bytes")}};
  Result<ByteVec> file = qlpack::packExecutable(exe, entries, options);
  ASSERT_TRUE(file.ok());

  ASSERT_TRUE(std::equal(exe.begin(), exe.end(), file->begin())) << "the executable comes first, unchanged";
  const ByteSpan all(*file);
  const uint32_t packageSize = loadU32(all.data() + all.size() - 8);
  EXPECT_EQ(loadU32(all.data() + all.size() - 4), kPackageMagic);
  ASSERT_EQ(exe.size() + packageSize + 8, all.size());

  const ByteSpan package = all.subspan(exe.size(), packageSize);
  EXPECT_EQ(loadU32(&package[0]), kPackageMagic);
  EXPECT_EQ(loadU32(&package[4]), 0x1A2Bu);
  EXPECT_EQ(loadU32(&package[8]), 0x44332211u);
  // Offset 12 goes with key byte 1 (0x22), 13 with 2, 14 with 3, 15 with 0.
  const uint8_t check[4] = {0x0D ^ 0x22, 0x0F ^ 0x33, 0x3E ^ 0x44, 0x03 ^ 0x11};
  EXPECT_TRUE(std::equal(check, check + 4, &package[12]));

  ByteVec rest(package.begin() + 12, package.end());
  const uint8_t key[4] = {0x11, 0x22, 0x33, 0x44};
  scramble(rest, key);
  const ByteVec list = qlpack::buildEntryList(entries);
  EXPECT_EQ(int32_t(loadU32(&rest[4])), int32_t(list.size()));
  ByteVec inflated(list.size());
  uLongf n = uLongf(inflated.size());
  ASSERT_EQ(uncompress(inflated.data(), &n, rest.data() + 8, uLong(rest.size() - 8)), Z_OK);
  EXPECT_EQ(inflated, list);
}

TEST(PackageWriter, OverridesGiveDeliberatelyWrongFields) {
  PackageOptions options;
  options.key = 0;  // plain, so the fields can be read as they are
  options.packageMagic = 1;
  options.trailerMagic = 2;
  options.checkValue = 3;
  options.declaredSize = -5;
  options.trailerSize = 7;
  Result<ByteVec> file = qlpack::packExecutable(testing::fakeExecutable(1000), {}, options);
  ASSERT_TRUE(file.ok());
  const ByteSpan all(*file);
  EXPECT_EQ(loadU32(all.data() + all.size() - 8), 7u);
  EXPECT_EQ(loadU32(all.data() + all.size() - 4), 2u);
  EXPECT_EQ(loadU32(&all[1000]), 1u);
  EXPECT_EQ(loadU32(&all[1012]), 3u);
  EXPECT_EQ(int32_t(loadU32(&all[1016])), -5);
}

}  // namespace
}  // namespace ql::launcher
