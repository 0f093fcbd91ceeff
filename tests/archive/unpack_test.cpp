// The archive adapter, run as the runtime runs it: `qlunpack e ARCHIVE DEST\`
// with Windows-shaped paths.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

#include "tests/archive/test_support.h"

namespace fs = std::filesystem;
using ql::test::ArchiveEntry;
using ql::test::ArchiveFormat;
using ql::test::listFolder;
using ql::test::readFile;
using ql::test::runChild;
using ql::test::TempDir;
using ql::test::writeArchive;
using ql::test::writeFile;
using Kind = ArchiveEntry::Kind;

namespace {

const std::string kUnpack = QL_UNPACK_EXE;

ql::test::ChildResult unpack(const std::string& archive, const std::string& dest) {
  return runChild(kUnpack, {"e", archive, dest});
}

// How the runtime hands a folder over: '\' separators and a trailing '\'.
std::string windowsShaped(const fs::path& p, bool trailingSeparator) {
  std::string s = p.native();
  std::replace(s.begin(), s.end(), '/', '\\');
  if (trailingSeparator) s += '\\';
  return s;
}

std::string folderArg(const fs::path& p) { return p.native() + "/"; }

bool hasTempLeftovers(const fs::path& folder) {
  for (const auto& name : listFolder(folder))
    if (name.rfind(".qlunpack-", 0) == 0) return true;
  return false;
}

class UnpackFormats : public ::testing::TestWithParam<ArchiveFormat> {
 protected:
  TempDir tmp;
};

TEST_P(UnpackFormats, ExtractsEveryFileFlatWithoutStoredFolders) {
  const fs::path archive = tmp.path() / "pack.bin";  // detected by content, not by name
  writeArchive(archive, GetParam(),
               {{"texture/", "", Kind::kFolder},
                {"texture/a.tga", "AAAA"},
                {"texture/deep/er/b.JPG", std::string("B\0B\r\n", 5)},
                {"c.bmp", "ccc"},
                {"win\\style\\d.txt", "d"},
                {"empty.dat", ""}});
  const fs::path dest = tmp.path() / "out";
  fs::create_directory(dest);

  const auto r = unpack(archive.native(), folderArg(dest));
  ASSERT_EQ(r.exitCode, 0) << r.err;
  EXPECT_EQ(listFolder(dest), (std::vector<std::string>{"a.tga", "b.JPG", "c.bmp", "d.txt", "empty.dat"}));
  EXPECT_EQ(readFile(dest / "a.tga"), "AAAA");
  EXPECT_EQ(readFile(dest / "b.JPG"), std::string("B\0B\r\n", 5));
  EXPECT_EQ(readFile(dest / "c.bmp"), "ccc");
  EXPECT_EQ(readFile(dest / "d.txt"), "d");
  EXPECT_TRUE(fs::is_regular_file(dest / "empty.dat"));
  EXPECT_EQ(fs::file_size(dest / "empty.dat"), 0u);
}

TEST_P(UnpackFormats, SkipsEntriesThatWouldLeaveTheDestination) {
  const fs::path outside = tmp.path() / "outside";
  const fs::path dest = outside / "dest";
  fs::create_directories(dest);
  const fs::path archive = tmp.path() / "evil.pak";
  std::vector<ArchiveEntry> entries = {
      {"../evil1.txt", "x"},
      {"sub/../../evil2.txt", "x"},
      {"..\\evil3.txt", "x"},
      {(outside / "abs.txt").native(), "x"},
      {"link.txt", "", Kind::kSymlink, "../target.txt"},
      {"ok.txt", "fine"},
  };
  if (GetParam() == ArchiveFormat::kTar) entries.push_back({"hard.txt", "", Kind::kHardlink, "ok.txt"});
  writeArchive(archive, GetParam(), entries);

  const auto r = unpack(archive.native(), folderArg(dest));
  ASSERT_EQ(r.exitCode, 0) << r.err;
  EXPECT_EQ(listFolder(dest), std::vector<std::string>{"ok.txt"});
  EXPECT_EQ(readFile(dest / "ok.txt"), "fine");
  EXPECT_EQ(listFolder(outside), std::vector<std::string>{"dest"});
  EXPECT_FALSE(fs::exists(tmp.path() / "evil1.txt"));
  EXPECT_FALSE(fs::exists(tmp.path() / "evil2.txt"));
  EXPECT_FALSE(fs::exists(tmp.path() / "evil3.txt"));
  for (const char* name : {"evil1.txt", "evil2.txt", "evil3.txt", "abs.txt", "link.txt"})
    EXPECT_NE(r.err.find(name), std::string::npos) << "no note for " << name << " in: " << r.err;
  if (GetParam() == ArchiveFormat::kTar) {
    EXPECT_NE(r.err.find("hard link"), std::string::npos) << r.err;
  }
}

TEST_P(UnpackFormats, FailsWhenTheArchiveIsCutShort) {
  const fs::path archive = tmp.path() / "cut.pak";
  std::string data(40000, '\0');
  uint32_t seed = 12345;
  for (char& c : data) c = char((seed = seed * 1103515245u + 12345u) >> 24);  // does not compress
  writeArchive(archive, GetParam(), {{"first.tga", data}, {"second.tga", data}});
  const std::string whole = readFile(archive);
  writeFile(archive, whole.substr(0, whole.size() / 2));
  const fs::path dest = tmp.path() / "out";
  fs::create_directory(dest);

  const auto r = unpack(archive.native(), folderArg(dest));
  EXPECT_NE(r.exitCode, 0);
  EXPECT_EQ(r.exitCode, 1) << r.err;
  EXPECT_FALSE(r.err.empty());
  EXPECT_FALSE(fs::exists(dest / "second.tga"));
  EXPECT_FALSE(hasTempLeftovers(dest));
}

INSTANTIATE_TEST_SUITE_P(Archive, UnpackFormats,
                         ::testing::Values(ArchiveFormat::kZip, ArchiveFormat::kSevenZip, ArchiveFormat::kTar),
                         [](const auto& info) { return std::string(ql::test::formatName(info.param)) + "_"; });

class Unpack : public ::testing::Test {
 protected:
  void SetUp() override {
    archive = tmp.path() / "ptexture.pak";
    writeArchive(archive, ArchiveFormat::kZip, {{"texture/a.tga", "new a"}, {"texture/b.jpg", "new b"}});
  }
  TempDir tmp;
  fs::path archive;
};

TEST_F(Unpack, TakesWindowsShapedPathsWithChineseFolderNames) {
  const fs::path game = tmp.path() / "流星 蝴蝶剑";
  fs::create_directory(game);
  fs::rename(archive, game / "ptexture.pak");
  const fs::path dest = tmp.path() / "程序" / "lx_ptx_tmp";
  fs::create_directories(dest);

  const auto r = unpack(windowsShaped(game / "ptexture.pak", false), windowsShaped(dest, true));
  ASSERT_EQ(r.exitCode, 0) << r.err;
  EXPECT_EQ(listFolder(dest), (std::vector<std::string>{"a.tga", "b.jpg"}));
}

TEST_F(Unpack, TakesTheQuoteThatWindowsSplittingLeavesAfterTheLastBackslash) {
  // "dest\" split by the Windows rules gives dest" : the backslash escapes the quote.
  const fs::path dest = tmp.path() / "lx_ptx_tmp";
  fs::create_directory(dest);
  const auto r = unpack(windowsShaped(archive, false), windowsShaped(dest, false) + "\"");
  ASSERT_EQ(r.exitCode, 0) << r.err;
  EXPECT_EQ(listFolder(dest), (std::vector<std::string>{"a.tga", "b.jpg"}));
}

TEST_F(Unpack, FindsTheArchiveWhateverTheLetterCase) {
  const fs::path game = tmp.path() / "GameDir";
  fs::create_directory(game);
  fs::rename(archive, game / "PTexture.PAK");
  const fs::path dest = tmp.path() / "out";
  fs::create_directory(dest);

  const auto r = unpack(windowsShaped(tmp.path() / "gamedir" / "ptexture.pak", false), windowsShaped(dest, true));
  ASSERT_EQ(r.exitCode, 0) << r.err;
  EXPECT_EQ(listFolder(dest), (std::vector<std::string>{"a.tga", "b.jpg"}));
}

TEST_F(Unpack, CreatesTheDestinationFolderLikeWinrar) {
  // The tool never creates its texture folder: the archive tool must.
  const fs::path dest = tmp.path() / "lx_ptx_tmp";
  const auto r = unpack(archive.native(), folderArg(dest));
  ASSERT_EQ(r.exitCode, 0) << r.err;
  EXPECT_EQ(listFolder(dest), (std::vector<std::string>{"a.tga", "b.jpg"}));
}

TEST_F(Unpack, OverwritesFilesAndNeverFollowsALinkPlantedInTheDestination) {
  const fs::path dest = tmp.path() / "out";
  fs::create_directory(dest);
  writeFile(dest / "a.tga", "old a, longer than the new one");
  writeFile(tmp.path() / "victim.txt", "keep");
  fs::create_symlink(tmp.path() / "victim.txt", dest / "b.jpg");

  const auto r = unpack(archive.native(), folderArg(dest));
  ASSERT_EQ(r.exitCode, 0) << r.err;
  EXPECT_EQ(readFile(dest / "a.tga"), "new a");
  EXPECT_FALSE(fs::is_symlink(dest / "b.jpg"));
  EXPECT_EQ(readFile(dest / "b.jpg"), "new b");
  EXPECT_EQ(readFile(tmp.path() / "victim.txt"), "keep");
}

TEST_F(Unpack, ReadsLegacyChineseNamesOfWindowsZipArchives) {
  // Archives made on Chinese Windows store names in code page 936 without
  // the UTF-8 flag.
  const fs::path legacy = tmp.path() / "legacy.zip";
  writeArchive(legacy, ArchiveFormat::kZip, {{"纹理/刀光.tga", "blade"}}, {.nameCharset = "CP936"});
  ASSERT_NE(readFile(legacy).find("\xB5\xB6\xB9\xE2.tga"), std::string::npos) << "fixture is not a GBK-named zip";
  const fs::path dest = tmp.path() / "out";

  const auto r = unpack(legacy.native(), folderArg(dest));
  ASSERT_EQ(r.exitCode, 0) << r.err;
  EXPECT_EQ(listFolder(dest), std::vector<std::string>{"刀光.tga"});
}

TEST_F(Unpack, DamagedFileDataFailsAndLeavesNoPartialFile) {
  const fs::path damaged = tmp.path() / "damaged.zip";
  const std::string payload(2000, 'T');
  writeArchive(damaged, ArchiveFormat::kZip, {{"texture/t.tga", payload}}, {.storeOnly = true});
  std::string bytes = readFile(damaged);
  const size_t at = bytes.find(payload);
  ASSERT_NE(at, std::string::npos);
  bytes[at + 1000] = 'X';  // the stored CRC no longer fits
  writeFile(damaged, bytes);
  const fs::path dest = tmp.path() / "out";
  fs::create_directory(dest);

  const auto r = unpack(damaged.native(), folderArg(dest));
  EXPECT_EQ(r.exitCode, 1) << r.err;
  EXPECT_NE(r.err.find("t.tga"), std::string::npos) << r.err;
  EXPECT_TRUE(listFolder(dest).empty());
}

struct FailureCase {
  const char* name;
  // Prepares the case in `root` and returns the archive and dest arguments.
  std::pair<std::string, std::string> (*prepare)(const fs::path& root, const fs::path& goodArchive);
};

const FailureCase kFailures[] = {
    {"missing_archive",
     [](const fs::path& root, const fs::path&) {
       fs::create_directory(root / "out");
       return std::pair{(root / "nothere.pak").native(), folderArg(root / "out")};
     }},
    {"not_an_archive",
     [](const fs::path& root, const fs::path&) {
       writeFile(root / "text.pak", "just some text, not an archive\r\n");
       fs::create_directory(root / "out");
       return std::pair{(root / "text.pak").native(), folderArg(root / "out")};
     }},
    {"empty_file",
     [](const fs::path& root, const fs::path&) {
       writeFile(root / "empty.pak", "");
       fs::create_directory(root / "out");
       return std::pair{(root / "empty.pak").native(), folderArg(root / "out")};
     }},
    {"archive_is_a_folder",
     [](const fs::path& root, const fs::path&) {
       fs::create_directory(root / "folder.pak");
       fs::create_directory(root / "out");
       return std::pair{(root / "folder.pak").native(), folderArg(root / "out")};
     }},
    {"dest_parent_missing",
     [](const fs::path& root, const fs::path& good) {
       return std::pair{good.native(), folderArg(root / "no" / "such" / "dest")};
     }},
    {"dest_is_a_file",
     [](const fs::path& root, const fs::path& good) {
       writeFile(root / "file", "x");
       return std::pair{good.native(), folderArg(root / "file")};
     }},
    {"dest_not_writable",
     [](const fs::path&, const fs::path& good) {
       // Refused even to root: no file can be created in /proc.
       return std::pair{good.native(), std::string("/proc/")};
     }},
};

void PrintTo(const FailureCase& c, std::ostream* os) { *os << c.name; }

class UnpackFailures : public ::testing::TestWithParam<FailureCase> {};

TEST_P(UnpackFailures, ExitsNonZeroWithOneLineReason) {
  TempDir tmp;
  const fs::path good = tmp.path() / "good.pak";
  writeArchive(good, ArchiveFormat::kZip, {{"a.tga", "a"}});
  const auto [archiveArg, destArg] = GetParam().prepare(tmp.path(), good);

  const auto r = unpack(archiveArg, destArg);
  EXPECT_EQ(r.exitCode, 1) << r.err;
  ASSERT_FALSE(r.err.empty());
  EXPECT_EQ(r.err.rfind("qlunpack: ", 0), 0u) << r.err;
  EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 1) << r.err;
  EXPECT_FALSE(fs::exists(tmp.path() / "a.tga"));
}

INSTANTIATE_TEST_SUITE_P(Archive, UnpackFailures, ::testing::ValuesIn(kFailures),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(UnpackUsage, WrongArgumentsExitWithTwoAndAUsageLine) {
  const std::vector<std::vector<std::string>> cases = {
      {}, {"e"}, {"e", "a.pak"}, {"x", "a.pak", "dest/"}, {"e", "a.pak", "dest/", "extra"}};
  for (const auto& args : cases) {
    const auto r = runChild(kUnpack, args);
    EXPECT_EQ(r.exitCode, 2) << args.size() << " arguments";
    EXPECT_NE(r.err.find("usage: qlunpack e ARCHIVE DEST"), std::string::npos) << r.err;
  }
}

}  // namespace
