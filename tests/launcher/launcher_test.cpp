// The start-up steps in-process: real files in a private folder, the POSIX
// platform, the test kernels loaded with dlopen.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstring>
#include <functional>

#include "launcher/launcher.h"
#include "launcher/memory_platform.h"
#include "launcher/package_format.h"
#include "launcher_test_support.h"
#include "module/abi.h"
#include "tools/qlpack/package_writer.h"

namespace ql::launcher {
namespace {

using namespace ql::launcher::testing;
using qlpack::PackageEntry;
using qlpack::PackageOptions;

// Patches the package size in a packed file's trailer.
ByteVec withTrailerSize(ByteVec file, int32_t size) {
  storeU32(file.data() + file.size() - 8, uint32_t(size));
  return file;
}

// A package assembled by hand from its first `size` header bytes (magic,
// identifier, key, check value, declared size), for packages too short to
// hold an entry list.
ByteVec shortPackageFile(size_t size) {
  ByteWriter header;
  header.u32(kPackageMagic);
  header.u32(kId);
  header.u32(0);  // key 0: the scrambled fields read as they are
  header.u32(kCheckValue);
  header.u32(16);
  ByteVec file = fakeExecutable(2000);
  file.insert(file.end(), header.data().begin(), header.data().begin() + ptrdiff_t(size));
  ByteWriter trailer;
  trailer.u32(uint32_t(size));
  trailer.u32(kPackageMagic);
  file.insert(file.end(), trailer.data().begin(), trailer.data().end());
  return file;
}

class Launcher : public ::testing::Test {
 protected:
  void SetUp() override {
    fs::create_directory(temp_);
    ::chmod(temp_.c_str(), 0700);
    platform_.self = exe_.string();
    platform_.temp = temp_.string() + "/";
    ::setenv("QL_TEST_KERNEL_RECORD", record_.c_str(), 1);
    std::memcpy(image_, "QVKM test image: first bytes of the module", 43);
  }
  void TearDown() override { ::unsetenv("QL_TEST_KERNEL_RECORD"); }

  LaunchResult run(const ByteVec& file) {
    writeBytes(exe_, file);
    return runLauncher(platform_, image_);
  }
  fs::path folder(uint32_t id = kId) const { return extractionFolder(temp_, id); }
  size_t filesIn(const fs::path& dir) const {
    if (!fs::is_directory(dir)) return 0;
    return size_t(std::distance(fs::directory_iterator(dir), fs::directory_iterator()));
  }
  // Exactly one message, the one for `outcome`, and no block left.
  void expectFailure(const LaunchResult& r, Outcome outcome, const std::string& row = "") {
    EXPECT_EQ(r.outcome, outcome) << row << ": " << r.detail;
    ASSERT_EQ(platform_.shown.size(), 1u) << row;
    EXPECT_EQ(platform_.shown[0], messageFor(outcome)) << row;
    EXPECT_EQ(platform_.liveBlocks, 0u) << row;
  }

  ScratchDir scratch_;
  fs::path temp_ = scratch_.path() / "tmp";
  fs::path exe_ = scratch_.path() / "qltool";
  fs::path record_ = scratch_.path() / "kernel-record.txt";
  TestPlatform platform_;
  alignas(16) unsigned char image_[64] = {};
};

// ---- One row per message of the failure table ----------------------------------

struct FailureRow {
  const char* name;
  std::function<ByteVec()> file;
  Outcome expected;
  std::function<void(TestPlatform&, const ByteVec& file)> setup = nullptr;
  bool writesNothing = true;
};

std::vector<FailureRow> failureRows() {
  const ByteVec notALibrary = bytesOf("this is not a loadable library");
  auto kernelPackage = [=](PackageOptions o = options()) {
    return [=] { return packed({{"kbase.qlr", notALibrary}}, o); };
  };
  auto with = [](auto change) {
    PackageOptions o = options();
    change(o);
    return o;
  };
  auto failAt = [](bool shortRead, auto offsetOf) {
    return [=](TestPlatform& p, const ByteVec& f) {
      p.failReadAt = offsetOf(f);
      p.shortRead = shortRead;
    };
  };
  auto trailerAt = [](const ByteVec& f) { return uint64_t(f.size() - 8); };
  auto packageAt = [](const ByteVec& f) { return uint64_t(f.size() - 8 - loadU32(f.data() + f.size() - 8)); };
  const ByteVec bigZeros(100000, 0);

  return {
      {"own file cannot be opened", kernelPackage(), Outcome::kCantOpenFile,
       [](TestPlatform& p, const ByteVec&) { p.self = "/nonexistent/qltool"; }},
      {"nothing appended", [] { return fakeExecutable(); }, Outcome::kInvalidData},
      {"trailer below offset 1000", [=] { return packed({{"kbase.qlr", notALibrary}}, options(), 100); },
       Outcome::kInvalidData},
      {"file shorter than a trailer", [] { return bytesOf("MZ"); }, Outcome::kInvalidData},
      {"bad trailer magic", kernelPackage(with([](PackageOptions& o) { o.trailerMagic = 0x829AB7A4; })),
       Outcome::kInvalidData},
      {"package size 3", kernelPackage(with([](PackageOptions& o) { o.trailerSize = 3; })), Outcome::kInvalidData},
      {"package size negative", kernelPackage(with([](PackageOptions& o) { o.trailerSize = -100; })),
       Outcome::kInvalidData},
      {"package size equals trailer position",
       [=] {
         ByteVec f = kernelPackage()();
         return withTrailerSize(f, int32_t(f.size() - 8));
       },
       Outcome::kInvalidData},
      {"package size beyond trailer position",
       [=] {
         ByteVec f = kernelPackage()();
         return withTrailerSize(f, int32_t(f.size()));
       },
       Outcome::kInvalidData},
      {"package of 20 bytes", [] { return shortPackageFile(20); }, Outcome::kInvalidData},
      {"package of 8 bytes, no key", [] { return shortPackageFile(8); }, Outcome::kInvalidData},
      {"bad check value", kernelPackage(with([](PackageOptions& o) { o.checkValue = 0x033E0F0C; })),
       Outcome::kInvalidData},
      {"uncompressed size 0", kernelPackage(with([](PackageOptions& o) { o.declaredSize = 0; })),
       Outcome::kInvalidData},
      {"uncompressed size negative", kernelPackage(with([](PackageOptions& o) { o.declaredSize = -1; })),
       Outcome::kInvalidData},
      {"trailer read fails", kernelPackage(), Outcome::kTrailerReadFailed, failAt(false, trailerAt)},
      {"trailer read short", kernelPackage(), Outcome::kTrailerReadFailed, failAt(true, trailerAt)},
      {"no memory for the package", kernelPackage(), Outcome::kOutOfMemory,
       [](TestPlatform& p, const ByteVec&) { p.heapLimit = 16; }},
      {"no memory for the entry list", [=] { return packed({{"kbase.qlr", bigZeros}}, options()); },
       Outcome::kOutOfMemory, [](TestPlatform& p, const ByteVec&) { p.heapLimit = 50000; }},
      {"package read fails", kernelPackage(), Outcome::kPackageReadFailed, failAt(false, packageAt)},
      {"package read short", kernelPackage(), Outcome::kPackageReadFailed, failAt(true, packageAt)},
      {"bad package magic", kernelPackage(with([](PackageOptions& o) { o.packageMagic = 0xA5B79A82; })),
       Outcome::kPackageReadFailed},
      {"package starts one byte late",
       [=] {
         ByteVec f = kernelPackage()();
         return withTrailerSize(f, int32_t(loadU32(f.data() + f.size() - 8) - 1));
       },
       Outcome::kPackageReadFailed},
      {"no temporary directory", kernelPackage(), Outcome::kNoTempDir,
       [](TestPlatform& p, const ByteVec&) { p.temp.reset(); }},
      {"corrupt zlib stream",
       [] {
         ByteVec garbage(64, 0x5A);
         Result<ByteVec> pkg = qlpack::assemblePackage(garbage, 100, options());
         ByteVec f = fakeExecutable();
         f.insert(f.end(), pkg->begin(), pkg->end());
         ByteVec t = qlpack::buildTrailer(pkg->size(), options());
         f.insert(f.end(), t.begin(), t.end());
         return f;
       },
       Outcome::kDecompressFailed},
      {"entry list longer than declared",
       [=] {
         const std::vector<PackageEntry> e = {{"kbase.qlr", notALibrary}};
         return packed(e, with([&](PackageOptions& o) {
                         o.declaredSize = int32_t(qlpack::buildEntryList(e).size() - 1);
                       }));
       },
       Outcome::kDecompressFailed},
      {"entry list inflates to nothing",
       [=] { return packed({}, with([](PackageOptions& o) { o.declaredSize = 16; })); }, Outcome::kKernelNotFound},
      {"no kernel name in the list",
       [] { return packed({{"kbase.dll", bytesOf("x")}, {"qlgl.qlr", bytesOf("y")}}, options()); },
       Outcome::kKernelNotFound, nullptr, false},
      {"kernel is not a library", kernelPackage(), Outcome::kKernelLoadFailed, nullptr, false},
      {"kernel without GetNewSock", [] { return packed({{"kbase.qlr", kernelWithoutSock()}}, options()); },
       Outcome::kKernelInvalid, nullptr, false},
      {"GetNewSock returns 0", [] { return packed({{"kbase.qlr", kernelWithNullEntry()}}, options()); },
       Outcome::kKernelInterfaceInvalid, nullptr, false},
  };
}

TEST_F(Launcher, EveryFailureShowsItsOneMessageAndLeavesNoBlock) {
  for (const FailureRow& row : failureRows()) {
    SCOPED_TRACE(row.name);
    platform_ = TestPlatform();
    platform_.self = exe_.string();
    platform_.temp = temp_.string() + "/";
    fs::remove_all(folder());
    const ByteVec file = row.file();
    if (row.setup) row.setup(platform_, file);

    const LaunchResult r = run(file);
    expectFailure(r, row.expected, row.name);
    if (row.writesNothing) {
      EXPECT_EQ(filesIn(folder()), 0u);
      EXPECT_TRUE(platform_.loads.empty());
    }
  }
}

TEST_F(Launcher, FailuresAfterLoadingReportWhatTheKernelWasAsked) {
  const LaunchResult r = run(packed({{"kbase.qlr", kernelWithNullEntry()}}, options()));
  expectFailure(r, Outcome::kKernelInterfaceInvalid);
  EXPECT_EQ(readRecord(record_)["sock"], "1000");
  EXPECT_EQ(readRecord(record_).count("entry"), 0u) << "a failed start never enters the runtime";
}

// ---- Starting -----------------------------------------------------------------------

TEST_F(Launcher, StartsTheKernelWithTheModuleImage) {
  const ByteVec support = bytesOf("support library bytes");
  const LaunchResult r =
      run(packed({{"qlgl.qlr", support}, {"kbase.qlr", recordingKernel()}, {"empty.txt", {}}}, options()));
  ASSERT_EQ(r.outcome, Outcome::kStarted) << r.detail;
  EXPECT_TRUE(platform_.shown.empty());
  EXPECT_EQ(platform_.liveBlocks, 0u);

  auto rec = readRecord(record_);
  EXPECT_EQ(rec["sock"], "1000");
  EXPECT_EQ(rec["entry"], pointerText(image_));
  EXPECT_EQ(rec["bytes"], hexOf(ByteSpan(image_, 36)));
  EXPECT_EQ(rec["self"], (folder() / "kbase.qlr").string());

  EXPECT_EQ(readBytes(folder() / "qlgl.qlr"), support);
  EXPECT_EQ(readBytes(folder() / "kbase.qlr"), recordingKernel());
  EXPECT_TRUE(fs::is_regular_file(folder() / "empty.txt"));
  EXPECT_EQ(fs::file_size(folder() / "empty.txt"), 0u);
  EXPECT_EQ(filesIn(folder()), 3u) << "no temporary names left behind";

  struct stat st;
  ASSERT_EQ(::lstat(folder().c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 07777, 0700u);
}

TEST_F(Launcher, FolderNameIsUpperCaseHexWithoutLeadingZeros) {
  ASSERT_EQ(run(packed({{"kbase.qlr", recordingKernel()}}, options(0x00ABCDEF))).outcome, Outcome::kStarted);
  EXPECT_TRUE(fs::is_directory(temp_ / "Q_ABCDEF"));
}

TEST_F(Launcher, KernelNameInUpperCaseIsLoadedUnderThatName) {
  const LaunchResult r = run(packed({{"KBASE.QLR", recordingKernel()}}, options()));
  ASSERT_EQ(r.outcome, Outcome::kStarted) << r.detail;
  ASSERT_EQ(platform_.loads.size(), 1u);
  EXPECT_EQ(platform_.loads[0], (folder() / "KBASE.QLR").string());
  EXPECT_EQ(readRecord(record_)["self"], (folder() / "KBASE.QLR").string());
}

TEST_F(Launcher, WithBothKernelNamesTheLastOneIsLoaded) {
  struct Case {
    std::vector<PackageEntry> entries;
    const char* loaded;
    Outcome outcome;
  } cases[] = {
      {{{"kbase.qlr", kernelWithoutSock()}, {"x", {}}, {"Kbase.Qlb", recordingKernel()}}, "Kbase.Qlb",
       Outcome::kStarted},
      {{{"kbase.qlb", recordingKernel()}, {"KBASE.qlr", kernelWithoutSock()}}, "KBASE.qlr", Outcome::kKernelInvalid},
  };
  uint32_t id = 0x100;
  for (const Case& c : cases) {
    platform_.loads.clear();
    platform_.shown.clear();
    const LaunchResult r = run(packed(c.entries, options(++id)));
    EXPECT_EQ(r.outcome, c.outcome) << c.loaded << ": " << r.detail;
    ASSERT_EQ(platform_.loads.size(), 1u);
    EXPECT_EQ(platform_.loads[0], (folder(id) / c.loaded).string());
  }
}

TEST_F(Launcher, DeclaredSizeAboveTheListUsesWhatInflated) {
  const std::vector<PackageEntry> e = {{"kbase.qlr", recordingKernel()}};
  PackageOptions o = options();
  o.declaredSize = int32_t(qlpack::buildEntryList(e).size() + 4096);
  EXPECT_EQ(run(packed(e, o)).outcome, Outcome::kStarted);
}

// ---- Buffers --------------------------------------------------------------------------

TestPlatform* platformAtEntry = nullptr;
size_t liveBlocksAtEntry = SIZE_MAX;
void* imageAtEntry = nullptr;

void fakeRuntimeEntry(void* image) {
  liveBlocksAtEntry = platformAtEntry->liveBlocks;
  imageAtEntry = image;
}
void* fakeGetNewSock(int32_t magic) {
  return magic == abi::kGetNewSockMagic ? reinterpret_cast<void*>(&fakeRuntimeEntry) : nullptr;
}

class FakeKernelPlatform : public TestPlatform {
 public:
  bool kept = false;
  std::unique_ptr<Library> loadLibrary(const std::string& path) override {
    loads.push_back(path);
    class Fake final : public Library {
     public:
      explicit Fake(bool& kept) : kept_(kept) {}
      void* symbol(const char* name) override {
        return std::strcmp(name, "GetNewSock") == 0 ? reinterpret_cast<void*>(&fakeGetNewSock) : nullptr;
      }
      void keepLoaded() override { kept_ = true; }

     private:
      bool& kept_;
    };
    return std::make_unique<Fake>(kept);
  }
};

TEST_F(Launcher, EveryBufferIsReleasedBeforeTheRuntimeIsEntered) {
  FakeKernelPlatform fake;
  fake.self = exe_.string();
  fake.temp = temp_.string() + "/";
  platformAtEntry = &fake;
  writeBytes(exe_, packed({{"kbase.qlr", bytesOf("kernel")}}, options()));

  const LaunchResult r = runLauncher(fake, image_);
  ASSERT_EQ(r.outcome, Outcome::kStarted) << r.detail;
  EXPECT_EQ(fake.maxLiveBlocks, 2u) << "package and entry list are held together while inflating";
  EXPECT_EQ(liveBlocksAtEntry, 0u);
  EXPECT_EQ(imageAtEntry, image_);
  EXPECT_TRUE(fake.kept) << "the kernel stays loaded for the runtime";
}

// ---- A second start --------------------------------------------------------------------

TEST_F(Launcher, SecondStartReplacesChangedFilesAndKeepsIdenticalOnes) {
  const ByteVec kernel = recordingKernel();
  ASSERT_EQ(run(packed({{"kbase.qlr", kernel}, {"data.txt", bytesOf("first")}}, options())).outcome,
            Outcome::kStarted);
  struct stat kernelBefore, dataBefore;
  ASSERT_EQ(::stat((folder() / "kbase.qlr").c_str(), &kernelBefore), 0);
  ASSERT_EQ(::stat((folder() / "data.txt").c_str(), &dataBefore), 0);
  // What a running instance has open keeps its bytes.
  std::ifstream held(folder() / "data.txt", std::ios::binary);

  ASSERT_EQ(run(packed({{"kbase.qlr", kernel}, {"data.txt", bytesOf("second!")}}, options())).outcome,
            Outcome::kStarted);
  EXPECT_EQ(readBytes(folder() / "data.txt"), bytesOf("second!"));
  struct stat kernelAfter, dataAfter;
  ASSERT_EQ(::stat((folder() / "kbase.qlr").c_str(), &kernelAfter), 0);
  ASSERT_EQ(::stat((folder() / "data.txt").c_str(), &dataAfter), 0);
  EXPECT_EQ(kernelAfter.st_ino, kernelBefore.st_ino) << "identical bytes are not rewritten";
  EXPECT_NE(dataAfter.st_ino, dataBefore.st_ino) << "changed files are replaced, not truncated";
  std::string old((std::istreambuf_iterator<char>(held)), std::istreambuf_iterator<char>());
  EXPECT_EQ(old, "first");
  EXPECT_EQ(filesIn(folder()), 2u);
}

TEST_F(Launcher, FileThatCannotBeWrittenIsSkippedSilently) {
  fs::create_directories(folder() / "blocked");  // a folder where a file should go
  ::chmod(folder().c_str(), 0700);
  const LaunchResult r =
      run(packed({{"blocked", bytesOf("x")}, {"kbase.qlr", recordingKernel()}}, options()));
  EXPECT_EQ(r.outcome, Outcome::kStarted) << r.detail;
  EXPECT_TRUE(fs::is_directory(folder() / "blocked"));
  EXPECT_EQ(filesIn(folder()), 2u) << "no temporary name left behind";
}

// ---- The extraction folder in a shared temporary directory --------------------------

TEST_F(Launcher, ExtractionFolderIsUsedOnlyWhenItIsOursAndPrivate) {
  const fs::path elsewhere = scratch_.path() / "elsewhere";
  fs::create_directory(elsewhere);
  ::chmod(elsewhere.c_str(), 0700);
  struct Case {
    const char* name;
    std::function<void(const fs::path&)> make;
    bool usable;
    bool needsRoot = false;
  } cases[] = {
      {"link to a folder of ours", [&](const fs::path& f) { fs::create_directory_symlink(elsewhere, f); }, false},
      {"owned by another user",
       [](const fs::path& f) {
         fs::create_directory(f);
         ::chmod(f.c_str(), 0700);
         ASSERT_EQ(::chown(f.c_str(), 12345, 12345), 0);
       },
       false, true},
      {"writable by others",
       [](const fs::path& f) {
         fs::create_directory(f);
         ::chmod(f.c_str(), 0777);
       },
       false},
      {"writable by the group",
       [](const fs::path& f) {
         fs::create_directory(f);
         ::chmod(f.c_str(), 0720);
       },
       false},
      {"a file, not a folder", [](const fs::path& f) { writeBytes(f, bytesOf("x")); }, false},
      {"ours, readable by others",
       [](const fs::path& f) {
         fs::create_directory(f);
         ::chmod(f.c_str(), 0755);
       },
       true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    if (c.needsRoot && ::geteuid() != 0) continue;
    fs::remove_all(folder());
    platform_.loads.clear();
    platform_.shown.clear();
    c.make(folder());
    const LaunchResult r = run(packed({{"kbase.qlr", recordingKernel()}}, options()));
    if (c.usable) {
      EXPECT_EQ(r.outcome, Outcome::kStarted) << r.detail;
      continue;
    }
    expectFailure(r, Outcome::kNoTempDir, c.name);
    EXPECT_TRUE(platform_.loads.empty());
    EXPECT_TRUE(platform_.writes.empty());
    EXPECT_EQ(filesIn(elsewhere), 0u);
  }
}

// ---- Malformed lists and paths that do not fit ------------------------------------------

TEST_F(Launcher, MalformedEntryListWritesNothing) {
  auto listFile = [](ByteVec list) {
    Result<ByteVec> pkg = qlpack::buildPackage(list, options());
    ByteVec f = fakeExecutable();
    f.insert(f.end(), pkg->begin(), pkg->end());
    ByteVec t = qlpack::buildTrailer(pkg->size(), options());
    f.insert(f.end(), t.begin(), t.end());
    return f;
  };
  const ByteVec good = qlpack::buildEntryList(std::vector<PackageEntry>{{"kbase.qlr", recordingKernel()}});
  auto after = [&](std::vector<PackageEntry> bad) {
    ByteVec l = good;
    ByteVec b = qlpack::buildEntryList(bad);
    l.insert(l.end(), b.begin(), b.end());
    return l;
  };
  auto cut = [](ByteVec l, size_t n) {
    l.resize(l.size() - n);
    return l;
  };
  struct Case {
    const char* name;
    ByteVec list;
  } cases[] = {
      {"data runs past the end", cut(after({{"x", bytesOf("12345")}}), 1)},
      {"length runs past the end", cut(after({{"x", {}}}), 2)},
      {"name runs past the end", cut(after({{"xyz", {}}}), 5)},
      {"parent folder", after({{"..", bytesOf("x")}})},
      {"path with a slash", after({{"../evil", bytesOf("x")}})},
      {"path with a backslash", after({{"..\\evil", bytesOf("x")}})},
      {"absolute path", after({{"/tmp/evil", bytesOf("x")}})},
      {"empty name", after({{"", bytesOf("x")}})},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    fs::remove_all(folder());
    platform_.shown.clear();
    expectFailure(run(listFile(c.list)), Outcome::kInvalidData, c.name);
    EXPECT_EQ(filesIn(folder()), 0u);
    EXPECT_TRUE(platform_.loads.empty());
  }
}

TEST_F(Launcher, PathsMustFitTheirBuffers) {
  // temp_ + "/Q_1A2B/" + name: the longest name that still fits 259 bytes.
  const size_t folderLength = temp_.string().size() + std::strlen("/Q_1A2B/");
  const size_t longest = kMaxPathLength - folderLength;
  ASSERT_LT(longest, 255u) << "the scratch folder's path is too short for this test";
  const std::string fits(longest, 'n');
  const std::string tooLong(longest + 1, 'n');

  LaunchResult r = run(packed({{fits, bytesOf("x")}, {"kbase.qlr", recordingKernel()}}, options()));
  EXPECT_EQ(r.outcome, Outcome::kStarted) << r.detail;
  EXPECT_EQ((folder() / fits).string().size(), kMaxPathLength);
  EXPECT_TRUE(fs::exists(folder() / fits));

  fs::remove_all(folder());
  r = run(packed({{"kbase.qlr", recordingKernel()}, {tooLong, bytesOf("x")}}, options()));
  expectFailure(r, Outcome::kInvalidData);
  EXPECT_EQ(filesIn(folder()), 0u);
}

TEST_F(Launcher, TemporaryDirectoryTooLongForTheFolderPath) {
  // "<temp>Q_1A2B/" must fit 259 bytes, or the folder is not even created;
  // then "<temp>Q_1A2B/kbase.qlr" must fit too.
  const size_t folderRoom = kMaxPathLength - std::strlen("Q_1A2B/");
  const size_t kernelRoom = folderRoom - std::strlen("kbase.qlr");
  struct Case {
    size_t length;
    Outcome outcome;
    size_t prepared;
  } cases[] = {{kernelRoom, Outcome::kKernelLoadFailed, 1},
               {kernelRoom + 1, Outcome::kInvalidData, 1},
               {folderRoom, Outcome::kInvalidData, 1},
               {folderRoom + 1, Outcome::kNoTempDir, 0},
               {4000, Outcome::kNoTempDir, 0}};
  for (const Case& c : cases) {
    MemoryPlatform memory;  // touches no disk, so the path need not exist
    memory.temp = "/" + std::string(c.length - 2, 'd') + "/";
    memory.file = packed({{"kbase.qlr", bytesOf("k")}}, options());
    const LaunchResult r = runLauncher(memory, image_);
    EXPECT_EQ(r.outcome, c.outcome) << c.length << ": " << r.detail;
    EXPECT_EQ(memory.preparedFolders.size(), c.prepared) << c.length;
    EXPECT_EQ(memory.written.size(), c.outcome == Outcome::kKernelLoadFailed ? 1u : 0u) << c.length;
    EXPECT_EQ(memory.liveBlocks, 0u);
  }
}

TEST_F(Launcher, TrailerPositionOf1000IsTheSmallestAccepted) {
  // The package and trailer of a given list have a fixed size; choose the
  // executable so that the trailer lands at 999 and at 1000.
  const std::vector<PackageEntry> e = {{"kbase.qlr", bytesOf("k")}};
  const size_t overhead = packed(e, options(), 0).size() - 8;
  for (uint64_t trailerAt : {uint64_t(999), uint64_t(1000)}) {
    MemoryPlatform memory;
    memory.file = packed(e, options(), size_t(trailerAt - overhead));
    ASSERT_EQ(memory.file.size(), trailerAt + 8);
    const LaunchResult r = runLauncher(memory, image_);
    EXPECT_EQ(r.outcome, trailerAt < 1000 ? Outcome::kInvalidData : Outcome::kKernelLoadFailed)
        << trailerAt << ": " << r.detail;
    EXPECT_EQ(memory.liveBlocks, 0u);
  }
}

}  // namespace
}  // namespace ql::launcher
