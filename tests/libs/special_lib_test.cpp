// The special-functions library and what every support library shares:
// loading, identification and the host check at init.
#include <gtest/gtest.h>

#include "tests/libs/lib_host.h"

namespace ql::test {
namespace {

TEST(SupportLibraries, EachLoadsAndNamesItsRow) {
  struct {
    const char* file;
    const char* identifier;
  } const table[] = {
      {support::kRegexFile, support::kRegexId},
      {support::kImageConvFile, support::kImageConvId},
      {support::kSpecialFile, support::kSpecialId},
      {support::kInternetFile, support::kInternetId},
  };
  for (const auto& row : table) {
    SCOPED_TRACE(row.file);
    LoadedLibrary lib(row.file);
    ASSERT_TRUE(lib.loaded()) << lib.error();
    ASSERT_NE(lib.info(), nullptr);
    EXPECT_STREQ(lib.info()->identifier, row.identifier);
    EXPECT_EQ(std::strlen(lib.info()->identifier), 32u);
    // A host of another version or without memory services is refused.
    QlHost wrong = *countingHost();
    wrong.version = kQlHostVersion + 1;
    EXPECT_EQ(lib.init(&wrong), 0);
    QlHost noMemory = *countingHost();
    noMemory.allocate = nullptr;
    EXPECT_EQ(lib.init(&noMemory), 0);
    EXPECT_EQ(lib.init(nullptr), 0);
    EXPECT_NE(lib.init(countingHost()), 0);
  }
}

TEST(SpecialLibrary, CommandsReturnTheEmptyResult) {
  LoadedLibrary lib(support::kSpecialFile);
  ASSERT_TRUE(lib.loaded()) << lib.error();
  ASSERT_NE(lib.init(countingHost()), 0);
  const size_t before = liveBlocks();
  ArgList args;
  args.integer(5).text("x");
  for (int32_t code : {0x000, 0x004, 0x01C, -1}) {
    auto r = lib.call(code, args.record());
    EXPECT_EQ(r.value, 0u);
    EXPECT_EQ(r.tag, abi::kTagOmitted);
  }
  EXPECT_EQ(lib.call(0x004, nullptr).value, 0u);
  EXPECT_EQ(liveBlocks(), before);
}

}  // namespace
}  // namespace ql::test
