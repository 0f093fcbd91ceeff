#include "runtime/paths/paths.h"

#include <gtest/gtest.h>

#include <fstream>
#include <string>

#include "common/temp_folder.h"
#include "common/utf8_path.h"

namespace fs = std::filesystem;

namespace {

// 游戏 in GBK: the folder names the game data actually uses are Chinese.
const std::string kGameGbk = "\xD3\xCE\xCF\xB7";
const std::string kGameUtf8 = "游戏";

using ql::u8path;

struct TempFolder : ql::TempFolder {
  TempFolder() : ql::TempFolder("ql_paths") {}
};

// The name resolve() should give. A Windows file system ignores case itself,
// so there any spelling of the existing name is the file.
void expectResolvedTo(const fs::path& got, const fs::path& want) {
#ifdef _WIN32
  EXPECT_TRUE(ql::paths::equalsIgnoringAsciiCase(ql::u8text(got), ql::u8text(want))) << got << " vs " << want;
#else
  EXPECT_EQ(got, want);
#endif
}

// UTF-8 with '/' separators on every system (Windows paths hold '\\').
std::string generic(const fs::path& p) {
  const auto u8 = p.generic_u8string();
  return std::string(u8.begin(), u8.end());
}

void touch(const fs::path& p) { std::ofstream(p) << "x"; }

std::string gbkOf(const fs::path& p) {
  auto r = ql::paths::fromNative(p);
  EXPECT_TRUE(r.ok()) << r.error().message;
  return r.ok() ? *r : std::string();
}

TEST(PathsConvert, GbkBackslashPathBecomesUtf8SlashPath) {
  auto r = ql::paths::toNative("\\home\\a\\" + kGameGbk + "\\pmodel");
  ASSERT_TRUE(r.ok()) << r.error().message;
  EXPECT_EQ(generic(*r), "/home/a/" + kGameUtf8 + "/pmodel");
}

TEST(PathsConvert, NativePathBecomesGbkBackslashPath) {
  auto r = ql::paths::fromNative(u8path("/home/a/" + kGameUtf8 + "/pmodel/"));
  ASSERT_TRUE(r.ok()) << r.error().message;
  EXPECT_EQ(*r, "\\home\\a\\" + kGameGbk + "\\pmodel\\");
}

TEST(PathsConvert, TrailByte5CIsNotASeparator) {
  // 乗 (GBK 81 5C) carries a backslash byte as its second half.
  const std::string gbk = std::string("\\d\\") + "\x81\x5C" + "\\x";
  auto r = ql::paths::toNative(gbk);
  ASSERT_TRUE(r.ok()) << r.error().message;
  EXPECT_EQ(generic(*r), "/d/\xE4\xB9\x97/x");
  auto back = ql::paths::fromNative(*r);
  ASSERT_TRUE(back.ok());
  EXPECT_EQ(*back, gbk);
}

TEST(PathsConvert, InvalidInputsAreErrorsNotManglings) {
  auto bad = ql::paths::toNative("\\a\\\x81");  // lead byte without its trail byte
  ASSERT_FALSE(bad.ok());
  EXPECT_NE(bad.error().message.find("not valid GBK"), std::string::npos);
  auto emoji = ql::paths::fromNative(u8path("/a/\xF0\x9F\x98\x80.skc"));
  ASSERT_FALSE(emoji.ok());
  EXPECT_NE(emoji.error().message.find("no GBK form"), std::string::npos);
  EXPECT_NE(emoji.error().message.find(".skc"), std::string::npos);
}

TEST(PathsConvert, EmptyAndRelative) {
  EXPECT_EQ(ql::paths::toNative("").value(), fs::path());
  EXPECT_EQ(ql::paths::toNative("a\\b.txt").value(), fs::path("a/b.txt"));
  EXPECT_EQ(ql::paths::fromNative(fs::path("a/b.txt")).value(), "a\\b.txt");
}

TEST(PathsResolve, ExactPathIsKept) {
  TempFolder t;
  touch(t.path() / "nm001f01.JPG");
  EXPECT_EQ(ql::paths::resolve(t.path() / "nm001f01.JPG"), t.path() / "nm001f01.JPG");
}

TEST(PathsResolve, EveryComponentIgnoringAsciiCase) {
  TempFolder t;
  fs::create_directories(t.path() / u8path("Game" + kGameUtf8) / "PModel");
  touch(t.path() / u8path("Game" + kGameUtf8) / "PModel" / "nm001f01.JPG");
  const fs::path asked = t.path() / u8path("gAME" + kGameUtf8) / "pmodel" / "NM001F01.jpg";
  expectResolvedTo(ql::paths::resolve(asked), t.path() / u8path("Game" + kGameUtf8) / "PModel" / "nm001f01.JPG");

  auto viaGbk = ql::paths::toNativeResolved(gbkOf(asked));
  ASSERT_TRUE(viaGbk.ok());
  expectResolvedTo(*viaGbk, t.path() / u8path("Game" + kGameUtf8) / "PModel" / "nm001f01.JPG");
}

TEST(PathsResolve, MissingPathComesBackUnchanged) {
  TempFolder t;
  fs::create_directories(t.path() / "PModel");
  const fs::path asked = t.path() / "pmodel" / "none.skc";
  EXPECT_EQ(ql::paths::resolve(asked), asked);
}

TEST(PathsResolve, NonAsciiLettersMustMatchExactly) {
  TempFolder t;
  // Ä and ä differ beyond ASCII: Windows' rule here is ASCII case only.
  fs::create_directories(t.path() / u8path("\xC3\x84"));
  const fs::path asked = t.path() / u8path("\xC3\xA4");
  EXPECT_EQ(ql::paths::resolve(asked), asked);
}

TEST(PathsResolve, SeveralCandidatesPickTheSmallestName) {
#ifdef _WIN32
  GTEST_SKIP() << "a Windows folder cannot hold names that differ only in case";
#endif
  TempFolder t;
  touch(t.path() / "a.txt");
  touch(t.path() / "A.txt");
  EXPECT_EQ(ql::paths::resolve(t.path() / "A.TXT"), t.path() / "A.txt");
}

TEST(PathsResolve, ForWriteKeepsTheNewNameInsideTheResolvedFolder) {
  TempFolder t;
  fs::create_directories(t.path() / "Lx_Ptx_Tmp");
  touch(t.path() / "Lx_Ptx_Tmp" / "Old.BMP");
  expectResolvedTo(ql::paths::resolveForWrite(t.path() / "lx_ptx_tmp" / "New.bmp"), t.path() / "Lx_Ptx_Tmp" / "New.bmp");
  expectResolvedTo(ql::paths::resolveForWrite(t.path() / "lx_ptx_tmp" / "old.bmp"), t.path() / "Lx_Ptx_Tmp" / "Old.BMP");
  EXPECT_EQ(ql::paths::resolveForWrite(t.path() / "nothere" / "x.bmp"), t.path() / "nothere" / "x.bmp");
}

TEST(PathsCase, AsciiOnlyEquality) {
  EXPECT_TRUE(ql::paths::equalsIgnoringAsciiCase("A.SKC", "a.skc"));
  EXPECT_FALSE(ql::paths::equalsIgnoringAsciiCase("a.skc", "a.skcx"));
  EXPECT_FALSE(ql::paths::equalsIgnoringAsciiCase("\xC3\x84", "\xC3\xA4"));
  // '@' (0x40) and '`' (0x60) sit next to the letters and are not letters.
  EXPECT_FALSE(ql::paths::equalsIgnoringAsciiCase("@", "`"));
}

}  // namespace
