// The start-up steps on the real Win32 platform: a packed executable under a
// Chinese name, extraction into a Chinese-named temporary folder (found
// through TMP, as GetTempPathW finds it), the stand-in kernels loaded from
// there with what they import beside them, and a second start over a kernel
// that a running instance holds open.
#include <gtest/gtest.h>

#include <cstring>
#include <functional>

#include "launcher/launcher.h"
#include "launcher/package_format.h"
#include "launcher_test_support.h"
#include "tools/qlpack/package_writer.h"
#include "win32_test_support.h"

namespace ql::launcher {
namespace {

using namespace ql::launcher::testing;
using qlpack::PackageEntry;
using qlpack::PackageOptions;
using ql::u8path;
using ql::u8text;

ByteVec kernelWithDependency() { return kernelBytes(QL_TEST_KERNEL_DEPENDENCY); }
ByteVec dependency() { return kernelBytes(QL_TEST_DLL); }

class Win32Launcher : public ::testing::Test {
 protected:
  void SetUp() override {
    fs::create_directory(temp_);
    platform_.self = u8text(exe_);
    std::memcpy(image_, "QVKM test image: first bytes of the module", 43);
  }
  void TearDown() override {
    // A start keeps its kernel loaded for the runtime (and the kernel its
    // dependency); let go of them so the folders can be removed.
    for (const std::string& path : platform_.loads) unload(u8path(path));
    removeWhatCan(scratch_.path());
  }

  LaunchResult run(const ByteVec& file) {
    writeBytes(exe_, file);
    return runLauncher(platform_, image_);
  }
  fs::path folder(uint32_t id = kId) const { return extractionFolder(temp_, id); }
  // Exactly one message, the one for `outcome`, and no block left.
  void expectFailure(const LaunchResult& r, Outcome outcome) {
    EXPECT_EQ(r.outcome, outcome) << r.detail;
    ASSERT_EQ(platform_.shown.size(), 1u);
    EXPECT_EQ(platform_.shown[0], messageFor(outcome));
    EXPECT_EQ(platform_.liveBlocks, 0u);
  }

  ql::TempFolder scratch_{"ql_win32_launcher"};
  fs::path temp_ = scratch_.path() / u8path("青岚 临时");
  fs::path exe_ = scratch_.path() / u8path("青岚工具.exe");
  fs::path record_ = scratch_.path() / u8path("内核记录.txt");
  ScopedEnv tmp_{L"TMP", temp_.wstring() + L"\\"};
  ScopedEnv recordEnv_{L"QL_TEST_KERNEL_RECORD", record_.wstring()};
  WinTestPlatform platform_;
  alignas(16) unsigned char image_[64] = {};
};

TEST_F(Win32Launcher, StartsFromAChineseNamedTemporaryFolder) {
  const ByteVec readme = bytesOf("runtime notes");
  const LaunchResult r = run(packed(
      {{QL_TEST_DLL_NAME, dependency()}, {"kbase.qlr", kernelWithDependency()}, {"说明 文件.txt", readme}}, options()));
  ASSERT_EQ(r.outcome, Outcome::kStarted) << r.detail;
  EXPECT_TRUE(platform_.shown.empty());
  EXPECT_EQ(platform_.liveBlocks, 0u);

  const fs::path kernel = folder() / "kbase.qlr";
  ASSERT_EQ(platform_.loads.size(), 1u);
  EXPECT_EQ(platform_.loads[0], u8text(kernel));
  auto rec = readRecord(record_);
  EXPECT_EQ(rec["sock"], "1000");
  EXPECT_EQ(rec["entry"], pointerText(image_));
  EXPECT_EQ(rec["bytes"], hexOf(ByteSpan(image_, 36)));
  EXPECT_EQ(rec["self"], u8text(kernel)) << "loaded from the extraction folder";
  EXPECT_EQ(rec["exe_base"], pointerText(GetModuleHandleW(nullptr)));
  EXPECT_EQ(rec["dependency"], "4242");
  EXPECT_EQ(rec["dependency_self"], u8text(folder() / QL_TEST_DLL_NAME)) << "its dependency came from beside it";

  EXPECT_EQ(readBytes(kernel), kernelWithDependency());
  EXPECT_EQ(readBytes(folder() / QL_TEST_DLL_NAME), dependency());
  EXPECT_EQ(readBytes(folder() / u8path("说明 文件.txt")), readme);
  EXPECT_TRUE(isLoaded(kernel)) << "the kernel stays loaded for the runtime";
}

TEST_F(Win32Launcher, KernelThatCannotServeShowsItsOneMessage) {
  struct Row {
    const char* name;
    std::function<std::vector<PackageEntry>()> entries;
    Outcome expected;
    std::function<void(WinTestPlatform&)> setup = nullptr;
  } rows[] = {
      {"own file has a name that does not exist", [] { return std::vector<PackageEntry>{}; }, Outcome::kCantOpenFile,
       [this](WinTestPlatform& p) { p.self = u8text(scratch_.path() / u8path("没有这个.exe")); }},
      {"dependency not beside the kernel",
       [] { return std::vector<PackageEntry>{{"kbase.qlr", kernelWithDependency()}}; }, Outcome::kKernelLoadFailed},
      {"kernel is not a library",
       [] { return std::vector<PackageEntry>{{"kbase.qlr", bytesOf("MZ, and nothing else of a library")}}; },
       Outcome::kKernelLoadFailed},
      {"kernel without GetNewSock", [] { return std::vector<PackageEntry>{{"kbase.qlr", kernelWithoutSock()}}; },
       Outcome::kKernelInvalid},
      {"GetNewSock returns 0", [] { return std::vector<PackageEntry>{{"kbase.qlr", kernelWithNullEntry()}}; },
       Outcome::kKernelInterfaceInvalid},
  };
  // Each row extracts into a folder of its own: Wine keeps a library whose
  // imports failed mapped (and its file locked) until the process ends.
  uint32_t id = 0x2000;
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    platform_.shown.clear();
    platform_.loads.clear();
    platform_.self = u8text(exe_);
    if (row.setup) row.setup(platform_);

    expectFailure(run(packed(row.entries(), options(++id))), row.expected);
    // A kernel that failed is let go again: nothing of it stays loaded.
    EXPECT_FALSE(isLoaded(folder(id) / "kbase.qlr"));
  }
  EXPECT_EQ(readRecord(record_)["sock"], "1000") << "the last kernel was asked for its entry";
  EXPECT_EQ(readRecord(record_).count("entry"), 0u) << "a failed start never enters the runtime";
}

TEST_F(Win32Launcher, SecondStartOverwritesUnlessTheKernelIsHeld) {
  // The second package brings a kernel that cannot start: when it lands on
  // disk the start fails, when the held copy stays the start succeeds.
  enum class Holder { kNobody, kOpenHandle, kFirstStart };
  struct Case {
    const char* name;
    Holder holder;
    Outcome outcome;
  } cases[] = {
      {"nothing holds the kernel", Holder::kNobody, Outcome::kKernelInvalid},
      {"another handle holds the kernel open", Holder::kOpenHandle, Outcome::kStarted},
      {"the first start still has the kernel loaded", Holder::kFirstStart, Outcome::kStarted},
  };
  const fs::path kernel = folder() / "kbase.qlr";
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    fs::remove_all(folder());
    ASSERT_EQ(run(packed({{"kbase.qlr", recordingKernel()}, {"数据.txt", bytesOf("first")}}, options())).outcome,
              Outcome::kStarted);
    if (c.holder != Holder::kFirstStart) unload(kernel);
    ASSERT_EQ(isLoaded(kernel), c.holder == Holder::kFirstStart);
    platform_.writes.clear();
    platform_.shown.clear();

    std::optional<HeldFile> holder;
    if (c.holder == Holder::kOpenHandle) {
      ASSERT_TRUE(holder.emplace(kernel).ok());
    }
    const LaunchResult r =
        run(packed({{"kbase.qlr", kernelWithoutSock()}, {"数据.txt", bytesOf("second!")}}, options()));
    EXPECT_EQ(r.outcome, c.outcome) << r.detail;
    EXPECT_EQ(platform_.writes.size(), 2u) << "both files were tried";
    EXPECT_EQ(readBytes(folder() / u8path("数据.txt")), bytesOf("second!"));
    EXPECT_EQ(readBytes(kernel), c.holder == Holder::kNobody ? kernelWithoutSock() : recordingKernel());
    holder.reset();
    unload(kernel);
  }
}

}  // namespace
}  // namespace ql::launcher
