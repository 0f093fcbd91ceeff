// The regex library as the kernel sees it: loaded from the runtime folder
// and called with real argument records.
#include <gtest/gtest.h>

#include <string>

#include "tests/libs/lib_host.h"

namespace ql::test {
namespace {

using abi::kTypeMatch;
using abi::kTypeRegex;

enum : int32_t {
  kConstruct = 0x004,
  kDestroy = 0x008,
  kSetPattern = 0x00C,
  kSearch = 0x01C,
  kConstructMatch = 0x020,
  kDestroyMatch = 0x024,
  kFoundNothing = 0x028,
  kGroupText = 0x030,
};

class RegexLibrary : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    lib_ = new LoadedLibrary(support::kRegexFile);
    ASSERT_TRUE(lib_->loaded()) << lib_->error();
    ASSERT_NE(lib_->init(countingHost()), 0);
  }
  static void TearDownTestSuite() {
    delete lib_;
    lib_ = nullptr;
  }
  void SetUp() override { blocksBefore_ = liveBlocks(); }
  void TearDown() override {
    EXPECT_EQ(liveBlocks(), blocksBefore_) << "blocks leaked to the module";
    EXPECT_EQ(badReleases(), 0u);
  }

  abi::CmdResult call(int32_t code, ArgList& args) { return lib_->call(code, args.record()); }

  void construct(intptr_t* expr) { call(kConstruct, ArgList().object(expr, kTypeRegex)); }
  void setPattern(intptr_t* expr, const char* pattern, bool ignoreCase = false) {
    call(kSetPattern, ArgList().object(expr, kTypeRegex).text(pattern).boolean(ignoreCase));
  }
  // Search from `start` and keep the match in `match`, freeing the previous
  // one, as the module does.
  void search(intptr_t* expr, const char* subject, int32_t start, intptr_t* match) {
    auto r = call(kSearch, ArgList().object(expr, kTypeRegex).text(subject).integer(start).omitted());
    EXPECT_EQ(r.tag, kTypeMatch);
    EXPECT_NE(r.value, 0u);
    call(kDestroyMatch, ArgList().object(match, kTypeMatch));
    *match = static_cast<intptr_t>(r.value);
  }
  int32_t foundNothing(intptr_t* match) {
    auto r = call(kFoundNothing, ArgList().object(match, kTypeMatch));
    EXPECT_EQ(r.tag, abi::kTagInt);
    return static_cast<int32_t>(r.value);
  }
  std::string group(intptr_t* match, const char* subject, int32_t n) {
    auto r = call(kGroupText, ArgList().object(match, kTypeMatch).text(subject).integer(n));
    EXPECT_EQ(r.tag, abi::kTagText);
    auto* text = reinterpret_cast<char*>(static_cast<uintptr_t>(r.value));
    if (!text) {
      ADD_FAILURE() << "null text";
      return {};
    }
    EXPECT_TRUE(isLiveBlock(text)) << "text not allocated through the host";
    std::string out(text);
    releaseBlock(text);
    return out;
  }

  static LoadedLibrary* lib_;
  size_t blocksBefore_ = 0;
};
LoadedLibrary* RegexLibrary::lib_ = nullptr;

TEST_F(RegexLibrary, InfoNamesTheRegexRow) {
  const QlLibraryInfo* info = lib_->info();
  ASSERT_NE(info, nullptr);
  EXPECT_STREQ(info->identifier, support::kRegexId);
}

TEST_F(RegexLibrary, ConstructAndDestroyUseTheVariable) {
  intptr_t expr = 0, match = 0;
  construct(&expr);
  call(kConstructMatch, ArgList().object(&match, kTypeMatch));
  EXPECT_NE(expr, 0);
  EXPECT_NE(match, 0);
  // A fresh match object has found nothing.
  EXPECT_NE(foundNothing(&match), 0);
  call(kDestroy, ArgList().object(&expr, kTypeRegex));
  call(kDestroyMatch, ArgList().object(&match, kTypeMatch));
  EXPECT_EQ(expr, 0);
  EXPECT_EQ(match, 0);
  // Destroying again (a zero handle) does nothing.
  call(kDestroy, ArgList().object(&expr, kTypeRegex));
  call(kDestroyMatch, ArgList().object(&match, kTypeMatch));
  EXPECT_EQ(expr, 0);
}

TEST_F(RegexLibrary, ReaderSequence) {
  // The SKC reader's use: one expression, recompiled per line form, one
  // match variable replaced by every search.
  intptr_t expr = 0, match = 0;
  construct(&expr);
  setPattern(&expr, "Materials: +([0-9]+)");
  search(&expr, "# Character Skin Export for Interserv", 1, &match);
  EXPECT_NE(foundNothing(&match), 0);
  search(&expr, "  Materials: 3", 1, &match);
  EXPECT_EQ(foundNothing(&match), 0);
  EXPECT_EQ(group(&match, "  Materials: 3", 1), "3");

  setPattern(&expr, " +f 3 +([0-9]+) +([0-9]+) +([0-9]+) +([0-9]+)");
  const char* line = "    f 3  0 574 573 586";
  search(&expr, line, 1, &match);
  ASSERT_EQ(foundNothing(&match), 0);
  EXPECT_EQ(group(&match, line, 1), "0");
  EXPECT_EQ(group(&match, line, 4), "586");
  EXPECT_EQ(group(&match, line, 0), "    f 3  0 574 573 586");

  call(kDestroyMatch, ArgList().object(&match, kTypeMatch));
  call(kDestroy, ArgList().object(&expr, kTypeRegex));
}

TEST_F(RegexLibrary, SearchFromStartPosition) {
  intptr_t expr = 0, match = 0;
  construct(&expr);
  setPattern(&expr, "([0-9]+)");
  const char* subject = "ab12cd345";
  struct {
    int32_t start;
    const char* expected;  // null: nothing found
  } const table[] = {{1, "12"}, {3, "12"}, {4, "2"}, {5, "345"}, {9, "5"}, {10, nullptr}, {99, nullptr},
                     {0, "12"},  // below 1 counts as 1
                     {-7, "12"}};
  for (const auto& row : table) {
    SCOPED_TRACE(row.start);
    search(&expr, subject, row.start, &match);
    if (!row.expected) {
      EXPECT_NE(foundNothing(&match), 0);
      EXPECT_EQ(group(&match, subject, 1), "");
    } else {
      ASSERT_EQ(foundNothing(&match), 0);
      EXPECT_EQ(group(&match, subject, 1), row.expected);
    }
  }
  // An omitted start searches from the beginning.
  auto r = call(kSearch, ArgList().object(&expr, kTypeRegex).text(subject).omitted().omitted());
  intptr_t omittedMatch = static_cast<intptr_t>(r.value);
  EXPECT_EQ(group(&omittedMatch, subject, 1), "12");
  call(kDestroyMatch, ArgList().object(&omittedMatch, kTypeMatch));
  call(kDestroyMatch, ArgList().object(&match, kTypeMatch));
  call(kDestroy, ArgList().object(&expr, kTypeRegex));
}

TEST_F(RegexLibrary, CaseOption) {
  intptr_t expr = 0, match = 0;
  construct(&expr);
  setPattern(&expr, "texture", false);
  search(&expr, "TEXTURE", 1, &match);
  EXPECT_NE(foundNothing(&match), 0);
  setPattern(&expr, "texture", true);
  search(&expr, "TEXTURE", 1, &match);
  EXPECT_EQ(foundNothing(&match), 0);
  call(kDestroyMatch, ArgList().object(&match, kTypeMatch));
  call(kDestroy, ArgList().object(&expr, kTypeRegex));
}

TEST_F(RegexLibrary, GroupTextEdgeCases) {
  intptr_t expr = 0, match = 0;
  construct(&expr);
  setPattern(&expr, "(a)|(b)");
  const char* subject = "xb";
  search(&expr, subject, 1, &match);
  ASSERT_EQ(foundNothing(&match), 0);
  EXPECT_EQ(group(&match, subject, 1), "");  // took no part
  EXPECT_EQ(group(&match, subject, 2), "b");
  EXPECT_EQ(group(&match, subject, 3), "");  // no such group
  EXPECT_EQ(group(&match, subject, -1), "");
  // A shorter subject than the one searched: no read past its end.
  EXPECT_EQ(group(&match, "x", 2), "");
  // No match object at all.
  intptr_t none = 0;
  EXPECT_EQ(group(&none, subject, 1), "");
  EXPECT_NE(foundNothing(&none), 0);
  call(kDestroyMatch, ArgList().object(&match, kTypeMatch));
  call(kDestroy, ArgList().object(&expr, kTypeRegex));
}

TEST_F(RegexLibrary, GbkBytesComeBackUnchanged) {
  intptr_t expr = 0, match = 0;
  construct(&expr);
  setPattern(&expr, "Texture +(.+)");
  const char* line = "    Texture   \xC8\xCB\xCE\xEF\\\xC1\xF7\xD0\xC7.TGA";
  search(&expr, line, 1, &match);
  ASSERT_EQ(foundNothing(&match), 0);
  EXPECT_EQ(group(&match, line, 1), "\xC8\xCB\xCE\xEF\\\xC1\xF7\xD0\xC7.TGA");
  call(kDestroyMatch, ArgList().object(&match, kTypeMatch));
  call(kDestroy, ArgList().object(&expr, kTypeRegex));
}

TEST_F(RegexLibrary, MisuseFindsNothingInsteadOfCrashing) {
  intptr_t expr = 0, match = 0;
  // Search before construct, and with a pattern that does not compile.
  search(&expr, "abc", 1, &match);
  EXPECT_NE(foundNothing(&match), 0);
  construct(&expr);
  search(&expr, "abc", 1, &match);  // no pattern yet
  EXPECT_NE(foundNothing(&match), 0);
  setPattern(&expr, "b");
  setPattern(&expr, "([0-9");  // replaces the working one with none
  search(&expr, "abc", 1, &match);
  EXPECT_NE(foundNothing(&match), 0);
  // A stale handle (the object was destroyed through another variable) is
  // not dereferenced and not freed twice.
  intptr_t copy = expr;
  call(kDestroy, ArgList().object(&expr, kTypeRegex));
  setPattern(&copy, "b");
  search(&copy, "abc", 1, &match);
  EXPECT_NE(foundNothing(&match), 0);
  call(kDestroy, ArgList().object(&copy, kTypeRegex));
  EXPECT_EQ(copy, 0);
  // A match handle passed where an expression is expected is no expression.
  search(&match, "abc", 1, &match);
  EXPECT_NE(foundNothing(&match), 0);
  // Constructing over a live object replaces it without losing it.
  construct(&expr);
  construct(&expr);
  call(kDestroy, ArgList().object(&expr, kTypeRegex));
  // Null variables and a record with too few arguments.
  lib_->call(kConstruct, ArgList().record());
  lib_->call(kSetPattern, ArgList().object(nullptr, kTypeRegex).record());
  auto r = lib_->call(kGroupText, ArgList().record());
  EXPECT_EQ(r.tag, abi::kTagText);
  releaseBlock(reinterpret_cast<void*>(static_cast<uintptr_t>(r.value)));
  call(kDestroyMatch, ArgList().object(&match, kTypeMatch));
}

TEST_F(RegexLibrary, FiveMegabyteLine) {
  intptr_t expr = 0, match = 0;
  construct(&expr);
  setPattern(&expr, "Texture +(.+)");
  const std::string subject = "Texture " + std::string(5 * 1024 * 1024, '\xB0');
  search(&expr, subject.c_str(), 1, &match);
  ASSERT_EQ(foundNothing(&match), 0);
  EXPECT_EQ(group(&match, subject.c_str(), 1).size(), 5u * 1024 * 1024);
  call(kDestroyMatch, ArgList().object(&match, kTypeMatch));
  call(kDestroy, ArgList().object(&expr, kTypeRegex));
}

TEST_F(RegexLibrary, UnknownCommandReturnsNothing) {
  auto r = lib_->call(0x7FC, ArgList().record());
  EXPECT_EQ(r.value, 0u);
  EXPECT_EQ(r.tag, abi::kTagOmitted);
}

}  // namespace
}  // namespace ql::test
