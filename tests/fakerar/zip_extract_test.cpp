// The zip reader and the flat extraction, from archives built in the test.
#include <gtest/gtest.h>

#include <functional>
#include <sstream>
#include <string>
#include <vector>

#include "tests/fakerar/zip_builder.h"
#include "tests/fakerar/zip_extract.h"
#include "common/temp_folder.h"
#include "common/utf8_path.h"

namespace fs = std::filesystem;
using namespace ql::fakerar;
using ql::Result;
using ql::fakerar::test::BuiltZip;
using ql::fakerar::test::buildZip;
using ql::fakerar::test::listFolder;
using ql::fakerar::test::readFile;
using ql::fakerar::test::unicodePathExtra;
using ql::fakerar::test::writeFile;
using ql::fakerar::test::ZipInput;
using ql::TempFolder;
using ql::u8path;

namespace {

// "中文.tga" in the two encodings a package may use.
const std::string kChineseUtf8 = "\xE4\xB8\xAD\xE6\x96\x87.tga";
const std::string kChineseGbk = "\xD6\xD0\xCE\xC4.tga";

// Compressible and not: deflate has something to do, and stored data is
// not all one byte.
std::string sampleData(size_t size, uint32_t seed) {
  std::string s(size, '\0');
  for (size_t i = 0; i < size; ++i) s[i] = char((i / 7 + seed * 31 + (i * i) % 13) & 0xFF);
  return s;
}

std::string text(const ql::ByteVec& v) { return std::string(v.begin(), v.end()); }

std::vector<ZipEntry> directoryOf(const BuiltZip& z) {
  auto r = readDirectory(z.bytes);
  if (!r) ADD_FAILURE() << r.error().message;
  return r ? *r : std::vector<ZipEntry>{};
}

bool hasTempLeftovers(const fs::path& folder) {
  for (const auto& name : listFolder(folder))
    if (name.rfind(kTempPrefix, 0) == 0) return true;
  return false;
}

// ---- Reading -------------------------------------------------------------------------

TEST(ZipRead, StoredDeflatedEmptyAndDescribedEntriesReadBack) {
  const std::string big = sampleData(300'000, 1);  // several inflate chunks
  const BuiltZip z = buildZip({{"stored.bin", "plain bytes\r\n\0x", false},
                               {"dir/deflated.bin", big, true},
                               {"empty.dat", "", true},
                               {"empty-stored.dat", "", false},
                               {"described.bin", sampleData(5000, 2), true, 0, true},
                               {"described-stored.bin", "abc", false, 0, true}},
                              "an archive comment");
  const auto entries = directoryOf(z);
  ASSERT_EQ(entries.size(), 6u);
  const std::vector<std::string> expected = {"plain bytes\r\n\0x", big, "", "", sampleData(5000, 2), "abc"};
  for (size_t i = 0; i < entries.size(); ++i) {
    SCOPED_TRACE(entries[i].name);
    EXPECT_EQ(entries[i].index, i);
    EXPECT_EQ(entries[i].dataOffset, z.dataOffsets[i]);
    auto data = readEntry(z.bytes, entries[i]);
    ASSERT_TRUE(data) << data.error().message;
    EXPECT_EQ(text(*data), expected[i]);
  }
  EXPECT_EQ(entries[1].name, "dir/deflated.bin");
  EXPECT_LT(entries[1].compressedSize, big.size());
}

TEST(ZipRead, EmptyArchiveHasNoEntries) {
  const BuiltZip z = buildZip({});
  auto r = readDirectory(z.bytes);
  ASSERT_TRUE(r) << r.error().message;
  EXPECT_TRUE(r->empty());
}

// An end-record signature inside the comment is not the end record: its
// comment would not reach to the end of the file.
TEST(ZipRead, SignatureInsideTheCommentIsNotTakenForTheEndRecord) {
  std::string comment = "xx";
  comment += std::string("\x50\x4b\x05\x06", 4) + std::string(18, '\0') + "more words";
  const BuiltZip z = buildZip({{"a.txt", "AAA"}}, comment);
  auto r = readDirectory(z.bytes);
  ASSERT_TRUE(r) << r.error().message;
  ASSERT_EQ(r->size(), 1u);
  EXPECT_EQ((*r)[0].name, "a.txt");
}

struct NameCase {
  const char* label;
  ZipInput input;
  std::string expected;  // UTF-8
};

void PrintTo(const NameCase& c, std::ostream* os) { *os << c.label; }

class ZipNames : public ::testing::TestWithParam<NameCase> {};

TEST_P(ZipNames, NameComesOutAsUtf8) {
  const BuiltZip z = buildZip({GetParam().input});
  const auto entries = directoryOf(z);
  ASSERT_EQ(entries.size(), 1u);
  EXPECT_EQ(entries[0].name, GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    Encodings, ZipNames,
    ::testing::Values(
        NameCase{"Ascii", {"tex/a.tga", "a"}, "tex/a.tga"},
        NameCase{"Utf8Flag", {kChineseUtf8, "a", true, kFlagUtf8Name}, kChineseUtf8},
        NameCase{"LegacyNamesAreGbk", {kChineseGbk, "a"}, kChineseUtf8},
        NameCase{"UnicodePathExtra", {kChineseGbk, "a", true, 0, false, unicodePathExtra(kChineseGbk, "\xE7\xBA\xB9.tga")},
                 "\xE7\xBA\xB9.tga"},
        // Made for another header name: stale, so the header name counts.
        NameCase{"StaleUnicodePathExtra", {kChineseGbk, "a", true, 0, false, unicodePathExtra("old.tga", "x.tga")},
                 kChineseUtf8}),
    [](const auto& info) { return std::string(info.param.label); });

// ---- Malformed archives ------------------------------------------------------------------

// A good two-entry archive, damaged by `damage`.
struct Malformed {
  const char* label;
  std::function<void(BuiltZip&)> damage;
  std::string message;  // part of the error text
};

void PrintTo(const Malformed& m, std::ostream* os) { *os << m.label; }

BuiltZip goodArchive() {
  return buildZip({{"first.txt", "first file", false}, {"second.bin", sampleData(2000, 3), true}});
}

constexpr size_t kCentralFlags = offsetof(CentralFileHeader, flags);
constexpr size_t kCentralMethod = offsetof(CentralFileHeader, method);
constexpr size_t kCentralCrc = offsetof(CentralFileHeader, crc32);
constexpr size_t kCentralCompressed = offsetof(CentralFileHeader, compressedSize);
constexpr size_t kCentralUncompressed = offsetof(CentralFileHeader, uncompressedSize);
constexpr size_t kCentralNameLength = offsetof(CentralFileHeader, nameLength);
constexpr size_t kCentralLocalOffset = offsetof(CentralFileHeader, localHeaderOffset);
constexpr size_t kEndDisk = offsetof(EndOfCentralDirectory, diskNumber);
constexpr size_t kEndEntriesOnDisk = offsetof(EndOfCentralDirectory, entriesOnDisk);
constexpr size_t kEndEntriesTotal = offsetof(EndOfCentralDirectory, entriesTotal);
constexpr size_t kEndDirectorySize = offsetof(EndOfCentralDirectory, directorySize);
constexpr size_t kEndDirectoryOffset = offsetof(EndOfCentralDirectory, directoryOffset);

void setEntryCount(BuiltZip& z, uint16_t n) {
  z.patchU16(z.endOffset + kEndEntriesOnDisk, n);
  z.patchU16(z.endOffset + kEndEntriesTotal, n);
}

// Damage the directory refuses before any data is read.
const Malformed kBadDirectories[] = {
    {"Empty", [](BuiltZip& z) { z.bytes.clear(); }, "too short for the end record"},
    {"NoEndRecord", [](BuiltZip& z) { z.bytes.resize(z.endOffset); }, "no end of central directory record"},
    {"DirectoryRunsPastEndRecord",
     [](BuiltZip& z) { z.patchU32(z.endOffset + kEndDirectorySize, uint32_t(z.endOffset - z.directoryOffset + 1)); },
     "runs past the end record"},
    {"DirectoryOffsetPastEnd",
     [](BuiltZip& z) { z.patchU32(z.endOffset + kEndDirectoryOffset, uint32_t(z.endOffset + 100)); },
     "runs past the end record"},
    // The directory cut after its first record, the end record still counting two.
    {"TruncatedDirectory",
     [](BuiltZip& z) {
       const size_t cut = z.centralOffsets[1];
       z.bytes.erase(z.bytes.begin() + cut, z.bytes.begin() + z.endOffset);
       z.endOffset = cut;
       z.patchU32(z.endOffset + kEndDirectorySize, uint32_t(cut - z.directoryOffset));
     },
     "entry 1 of 2"},
    {"MoreEntriesThanTheDirectoryHolds", [](BuiltZip& z) { setEntryCount(z, 3); }, "entry 2 of 3"},
    {"FewerEntriesThanTheDirectoryHolds", [](BuiltZip& z) { setEntryCount(z, 1); }, "but its 1 entries take"},
    {"BadCentralSignature", [](BuiltZip& z) { z.patchU32(z.centralOffsets[1], 0x12345678); }, "bad signature 0x12345678"},
    {"NameRunsPastDirectory", [](BuiltZip& z) { z.patchU16(z.centralOffsets[1] + kCentralNameLength, 0x4000); },
     "run past the directory"},
    {"LocalHeaderInsideDirectory",
     [](BuiltZip& z) { z.patchU32(z.centralOffsets[0] + kCentralLocalOffset, uint32_t(z.directoryOffset - 10)); },
     "local header at"},
    {"NoLocalHeaderThere", [](BuiltZip& z) { z.patchU32(z.centralOffsets[1] + kCentralLocalOffset, 3); },
     "no local header at 0x3"},
    {"DataRunsIntoDirectory",
     [](BuiltZip& z) {
       z.patchU32(z.centralOffsets[1] + kCentralCompressed, uint32_t(z.compressedSizes[1] + 1));
     },
     "run past the central directory"},
    {"Encrypted", [](BuiltZip& z) { z.patchU16(z.centralOffsets[1] + kCentralFlags, kFlagEncrypted); },
     "entry 1 'second.bin' is encrypted"},
    {"AesMethod", [](BuiltZip& z) { z.patchU16(z.centralOffsets[0] + kCentralMethod, kMethodAes); }, "is encrypted"},
    {"UnknownMethod", [](BuiltZip& z) { z.patchU16(z.centralOffsets[1] + kCentralMethod, 12); },
     "compression method 12, which is not supported"},
    {"Zip64Sizes", [](BuiltZip& z) { z.patchU32(z.centralOffsets[1] + kCentralUncompressed, kZip64Marker32); },
     "needs ZIP64"},
    {"Zip64EndRecord", [](BuiltZip& z) { setEntryCount(z, kZip64Marker16); }, "ZIP64 records"},
    {"Zip64Locator",
     [](BuiltZip& z) {
       ql::ByteVec locator(kZip64LocatorSize, 0);
       ql::storeU32(locator.data(), kZip64LocatorSignature);
       z.bytes.insert(z.bytes.begin() + z.endOffset, locator.begin(), locator.end());
     },
     "ZIP64 archive"},
    {"SeveralDisks", [](BuiltZip& z) { z.patchU16(z.endOffset + kEndDisk, 1); }, "spans several disks"},
    {"StoredSizesDiffer",
     [](BuiltZip& z) { z.patchU32(z.centralOffsets[0] + kCentralUncompressed, 5); }, "sizes differ"},
    {"InvalidUtf8Name",
     [](BuiltZip& z) {
       z.patchU16(z.centralOffsets[0] + kCentralFlags, kFlagUtf8Name);
       z.bytes[z.centralOffsets[0] + sizeof(CentralFileHeader)] = 0xFF;
     },
     "not valid UTF-8"},
};

class ZipBadDirectory : public ::testing::TestWithParam<Malformed> {};

TEST_P(ZipBadDirectory, IsRefusedWithAMessageSayingWhere) {
  BuiltZip z = goodArchive();
  GetParam().damage(z);
  auto r = readDirectory(z.bytes);
  ASSERT_FALSE(r);
  EXPECT_NE(r.error().message.find(GetParam().message), std::string::npos) << r.error().message;
}

INSTANTIATE_TEST_SUITE_P(Malformed, ZipBadDirectory, ::testing::ValuesIn(kBadDirectories),
                         [](const auto& info) { return std::string(info.param.label); });

// Damage only the data shows: the directory reads, the second entry does not.
const Malformed kBadData[] = {
    {"CrcMismatch", [](BuiltZip& z) { z.patchU32(z.centralOffsets[1] + kCentralCrc, 0xDEADBEEF); },
     "CRC-32 mismatch"},
    {"FlippedDataByte", [](BuiltZip& z) { z.bytes[z.dataOffsets[1] + z.compressedSizes[1] / 2] ^= 0x55; }, ""},
    {"RecordedSizeTooLarge",
     [](BuiltZip& z) { z.patchU32(z.centralOffsets[1] + kCentralUncompressed, 2001); },
     "inflates to 2000 bytes, but 2001 are recorded"},
    {"RecordedSizeTooSmall",
     [](BuiltZip& z) { z.patchU32(z.centralOffsets[1] + kCentralUncompressed, 1999); },
     "inflates to more than the recorded 1999 bytes"},
    {"DeflateStreamCut",
     [](BuiltZip& z) { z.patchU32(z.centralOffsets[1] + kCentralCompressed, uint32_t(z.compressedSizes[1] / 2)); },
     "deflate data ends early"},
    {"DeflateGarbage",
     [](BuiltZip& z) {
       for (size_t i = 0; i < z.compressedSizes[1]; ++i) z.bytes[z.dataOffsets[1] + i] = 0xFF;
     },
     "deflate data is damaged"},
};

class ZipBadData : public ::testing::TestWithParam<Malformed> {};

TEST_P(ZipBadData, EntryFailsTheOthersRead) {
  BuiltZip z = goodArchive();
  GetParam().damage(z);
  const auto entries = directoryOf(z);
  ASSERT_EQ(entries.size(), 2u);
  auto first = readEntry(z.bytes, entries[0]);
  ASSERT_TRUE(first) << first.error().message;
  EXPECT_EQ(text(*first), "first file");
  auto second = readEntry(z.bytes, entries[1]);
  ASSERT_FALSE(second);
  EXPECT_NE(second.error().message.find("entry 1 'second.bin'"), std::string::npos) << second.error().message;
  EXPECT_NE(second.error().message.find(GetParam().message), std::string::npos) << second.error().message;
}

INSTANTIATE_TEST_SUITE_P(Malformed, ZipBadData, ::testing::ValuesIn(kBadData),
                         [](const auto& info) { return std::string(info.param.label); });

// ---- Names and arguments -------------------------------------------------------------------

struct FlatCase {
  const char* name;
  const char* leaf;  // nullptr: refused
};

TEST(FlatName, KeepsTheLastComponentAndRefusesWhatCouldEscape) {
  const FlatCase cases[] = {
      {"a.tga", "a.tga"},
      {"texture/deep/er/b.JPG", "b.JPG"},
      {"win\\style\\d.txt", "d.txt"},
      {"./c.bmp", "c.bmp"},
      {"\xE4\xB8\xAD\xE6\x96\x87/\xE4\xB8\xAD\xE6\x96\x87.tga", "\xE4\xB8\xAD\xE6\x96\x87.tga"},
      {"..a.tga", "..a.tga"},
      {"", nullptr},
      {".", nullptr},
      {"..", nullptr},
      {"a/..", nullptr},
      {"../evil.txt", nullptr},
      {"a/../../evil.txt", nullptr},
      {"..\\evil.txt", nullptr},
      {"/etc/passwd", nullptr},
      {"\\evil.txt", nullptr},
      {"C:\\evil.txt", nullptr},
      {"c:evil.txt", nullptr},
      {"texture/", nullptr},
      {"texture/.", nullptr},
      {"a:stream.txt", nullptr},
      {"what?.txt", nullptr},
      {"tab\t.txt", nullptr},
      {"dot.", nullptr},
      {"blank ", nullptr},
      {"NUL", nullptr},
      {"con.txt", nullptr},
      {"dir/Com1.tga", nullptr},
      {"lpt9", nullptr},
      {"COM0.txt", "COM0.txt"},
      {"console.txt", "console.txt"},
  };
  for (const FlatCase& c : cases) {
    SCOPED_TRACE(std::string("entry name '") + c.name + "'");
    auto r = flatName(c.name);
    if (c.leaf) {
      ASSERT_TRUE(r) << r.error().message;
      EXPECT_EQ(*r, c.leaf);
    } else {
      EXPECT_FALSE(r) << "gave " << *r;
    }
  }
}

TEST(ParseCommand, ReadsTheCommandLineTheToolBuilds) {
  auto c = parseCommand({"e", "C:\\game\\ptexture.pak", "C:\\tool\\texture\\"});
  ASSERT_TRUE(c) << c.error().message;
#ifdef _WIN32
  EXPECT_EQ(c->package, u8path("C:\\game\\ptexture.pak"));
  EXPECT_EQ(c->destination, u8path("C:\\tool\\texture\\"));
#else
  EXPECT_EQ(c->package, u8path("C:/game/ptexture.pak"));
  EXPECT_EQ(c->destination, u8path("C:/tool/texture/"));
#endif
  ASSERT_TRUE(parseCommand({"E", "a.zip", "out"}));
}

// By the Windows splitting rules "<dest>\" ends in an escaped quote, which
// stays in the argument while the backslash goes.
TEST(ParseCommand, DropsTheQuoteTheClosingBackslashEscaped) {
  auto c = parseCommand({"e", "p.zip", "\\tmp\\\xE4\xB8\xAD\xE6\x96\x87\""});
  ASSERT_TRUE(c) << c.error().message;
#ifdef _WIN32
  EXPECT_EQ(c->destination, u8path("\\tmp\\\xE4\xB8\xAD\xE6\x96\x87"));
#else
  EXPECT_EQ(c->destination, u8path("/tmp/\xE4\xB8\xAD\xE6\x96\x87"));
#endif
}

TEST(ParseCommand, RefusesOtherCommandsAndArgumentCounts) {
  const struct {
    std::vector<std::string> args;
    const char* message;
  } cases[] = {
      {{}, "expected 3 arguments"},
      {{"e", "p.zip"}, "got 2"},
      {{"e", "p.zip", "out\\", "extra"}, "got 4"},
      {{"x", "p.zip", "out\\"}, "unknown command 'x'"},
      {{"-e", "p.zip", "out\\"}, "unknown command '-e'"},
      {{"e", "", "out\\"}, "no package"},
      {{"e", "p.zip", "\""}, "no destination"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.message);
    auto r = parseCommand(c.args);
    ASSERT_FALSE(r);
    EXPECT_NE(r.error().message.find(c.message), std::string::npos) << r.error().message;
  }
}

// ---- Extraction ----------------------------------------------------------------------------

class Extract : public ::testing::Test {
 protected:
  fs::path writePackage(const BuiltZip& z, const std::string& name = "ptexture.pak") {
    const fs::path p = tmp.path() / u8path(name);
    writeFile(p, std::string(z.bytes.begin(), z.bytes.end()));
    return p;
  }
  Result<Summary> extract(const fs::path& package, const fs::path& dest) {
    notes.str("");
    return extractFlat(package, dest, notes);
  }

  TempFolder tmp{"ql_fakerar"};
  std::ostringstream notes;
};

TEST_F(Extract, EveryFileLandsFlatWithItsBytes) {
  const std::string big = sampleData(100'000, 4);
  const fs::path package = writePackage(buildZip({{"texture/", "", false},
                                                  {"texture/a.tga", "AAAA", false},
                                                  {"texture/deep/er/b.JPG", big, true},
                                                  {"c.bmp", "ccc", true, 0, true},
                                                  {"win\\style\\d.txt", "d", true},
                                                  {"empty.dat", "", true},
                                                  {kChineseGbk, "gbk", true}}));
  const fs::path dest = tmp.path() / "out";
  fs::create_directory(dest);
  auto r = extract(package, dest);
  ASSERT_TRUE(r) << r.error().message;
  EXPECT_EQ(r->extracted, 6);
  EXPECT_EQ(r->skipped, 0);
  EXPECT_EQ(listFolder(dest),
            (std::vector<std::string>{"a.tga", "b.JPG", "c.bmp", "d.txt", "empty.dat", kChineseUtf8}));
  EXPECT_EQ(readFile(dest / "a.tga"), "AAAA");
  EXPECT_EQ(readFile(dest / "b.JPG"), big);
  EXPECT_EQ(readFile(dest / "c.bmp"), "ccc");
  EXPECT_EQ(readFile(dest / "d.txt"), "d");
  EXPECT_EQ(readFile(dest / "empty.dat"), "");
  EXPECT_EQ(readFile(dest / u8path(kChineseUtf8)), "gbk");
}

TEST_F(Extract, ReplacesExistingFilesAndLeavesOthers) {
  const fs::path dest = tmp.path() / "out";
  fs::create_directory(dest);
  writeFile(dest / "a.tga", "an older and longer texture");
  writeFile(dest / "keep.txt", "not in the package");
  auto r = extract(writePackage(buildZip({{"t/a.tga", "new"}})), dest);
  ASSERT_TRUE(r) << r.error().message;
  EXPECT_EQ(readFile(dest / "a.tga"), "new");
  EXPECT_EQ(readFile(dest / "keep.txt"), "not in the package");
}

// A later entry of the same leaf name wins, as it would extracting in order.
TEST_F(Extract, LaterEntryOfTheSameNameWins) {
  const fs::path dest = tmp.path() / "out";
  auto r = extract(writePackage(buildZip({{"one/a.tga", "first"}, {"two/a.tga", "second"}})), dest);
  ASSERT_TRUE(r) << r.error().message;
  EXPECT_EQ(readFile(dest / "a.tga"), "second");
}

TEST_F(Extract, CreatesTheDestinationWithAChineseNameAndTrailingSeparator) {
  const fs::path dest = tmp.path() / u8path("\xE8\xBE\x93\xE5\x87\xBA \xE4\xB8\xAD\xE6\x96\x87");
  fs::path withSeparator = dest;
  withSeparator += fs::path::preferred_separator;
  auto r = extract(writePackage(buildZip({{"a.tga", "A"}}), "\xE5\x8C\x85.pak"), withSeparator);
  ASSERT_TRUE(r) << r.error().message;
  EXPECT_TRUE(fs::is_directory(dest));
  EXPECT_EQ(readFile(dest / "a.tga"), "A");
}

TEST_F(Extract, DestinationWhoseParentIsMissingIsNotGrown) {
  const fs::path dest = tmp.path() / "missing" / "out";
  auto r = extract(writePackage(buildZip({{"a.tga", "A"}})), dest);
  ASSERT_FALSE(r);
  EXPECT_NE(r.error().message.find("nor does its parent"), std::string::npos) << r.error().message;
  EXPECT_FALSE(fs::exists(tmp.path() / "missing"));
}

TEST_F(Extract, DestinationThatIsAFileFails) {
  writeFile(tmp.path() / "out", "a file");
  auto r = extract(writePackage(buildZip({{"a.tga", "A"}})), tmp.path() / "out");
  ASSERT_FALSE(r);
  EXPECT_NE(r.error().message.find("is not a folder"), std::string::npos) << r.error().message;
}

TEST_F(Extract, EntriesThatWouldLeaveTheFolderAreSkippedWithANote) {
  const fs::path dest = tmp.path() / "out";
  auto r = extract(writePackage(buildZip({{"../evil.txt", "x"},
                                          {"/abs.txt", "x"},
                                          {"a/..", "x"},
                                          {"con.txt", "x"},
                                          {"good.tga", "g"}})),
                   dest);
  ASSERT_TRUE(r) << r.error().message;
  EXPECT_EQ(r->extracted, 1);
  EXPECT_EQ(r->skipped, 4);
  EXPECT_EQ(listFolder(dest), (std::vector<std::string>{"good.tga"}));
  EXPECT_EQ(listFolder(tmp.path()), (std::vector<std::string>{"out", "ptexture.pak"}));
  EXPECT_NE(notes.str().find("skipped entry 0 '../evil.txt': '..' in the path"), std::string::npos) << notes.str();
}

TEST_F(Extract, MissingPackageFailsNamingIt) {
  const fs::path dest = tmp.path() / "out";
  auto r = extract(tmp.path() / "nowhere.pak", dest);
  ASSERT_FALSE(r);
  EXPECT_NE(r.error().message.find("cannot find package"), std::string::npos) << r.error().message;
  EXPECT_NE(r.error().message.find("nowhere.pak"), std::string::npos) << r.error().message;
  EXPECT_FALSE(fs::exists(dest));
}

// A damaged directory is found before anything is written.
TEST_F(Extract, DamagedDirectoryWritesNothing) {
  BuiltZip z = goodArchive();
  setEntryCount(z, 3);
  const fs::path dest = tmp.path() / "out";
  auto r = extract(writePackage(z), dest);
  ASSERT_FALSE(r);
  EXPECT_NE(r.error().message.find("ptexture.pak"), std::string::npos) << r.error().message;
  EXPECT_FALSE(fs::exists(dest));
}

// A bad entry leaves neither a half-written file nor a temporary one, and
// the file it would have replaced stays as it was; the good entries land.
TEST_F(Extract, EntryWithBadDataLeavesNoFileBehind) {
  for (const Malformed& m : kBadData) {
    SCOPED_TRACE(m.label);
    BuiltZip z = goodArchive();
    m.damage(z);
    const fs::path dest = tmp.path() / m.label;
    fs::create_directory(dest);
    writeFile(dest / "keep.txt", "kept");
    auto r = extract(writePackage(z), dest);
    ASSERT_FALSE(r);
    EXPECT_NE(r.error().message.find("second.bin"), std::string::npos) << r.error().message;
    EXPECT_EQ(listFolder(dest), (std::vector<std::string>{"first.txt", "keep.txt"}));
    EXPECT_EQ(readFile(dest / "first.txt"), "first file");

    writeFile(dest / "second.bin", "the old one");
    ASSERT_FALSE(extract(writePackage(z), dest));
    EXPECT_EQ(readFile(dest / "second.bin"), "the old one");
    EXPECT_FALSE(hasTempLeftovers(dest));
  }
}

TEST_F(Extract, EveryFailedEntryIsCounted) {
  BuiltZip z = buildZip({{"a.bin", "aaaa"}, {"b.bin", "bbbb"}, {"c.bin", "cccc"}});
  z.patchU32(z.centralOffsets[0] + kCentralCrc, 1);
  z.patchU32(z.centralOffsets[2] + kCentralCrc, 1);
  const fs::path dest = tmp.path() / "out";
  auto r = extract(writePackage(z), dest);
  ASSERT_FALSE(r);
  EXPECT_NE(r.error().message.find("entry 0 'a.bin'"), std::string::npos) << r.error().message;
  EXPECT_NE(r.error().message.find("(and 1 more entries failed)"), std::string::npos) << r.error().message;
  EXPECT_EQ(listFolder(dest), (std::vector<std::string>{"b.bin"}));
}

}  // namespace
