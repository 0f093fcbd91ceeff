// The launcher's Win32 platform on its own: our own path, the temporary
// folder, files and libraries under Chinese names (UTF-8 in, wide calls out),
// and what it does with a path that is not UTF-8.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <set>

#include "launcher/launcher.h"
#include "launcher/platform_win32.h"
#include "launcher_test_support.h"
#include "win32_test_support.h"

namespace ql::launcher {
namespace {

using namespace ql::launcher::testing;
using ql::u8path;
using ql::u8text;

ByteVec counting(size_t n) {
  ByteVec b(n);
  for (size_t i = 0; i < n; ++i) b[i] = uint8_t(i * 13 + 1);
  return b;
}

// Names and contents of a folder's entries.
std::map<fs::path, ByteVec> listing(const fs::path& dir) {
  std::map<fs::path, ByteVec> out;
  for (const fs::directory_entry& e : fs::directory_iterator(dir))
    out[e.path().filename()] = e.is_regular_file() ? readBytes(e.path()) : bytesOf("<folder>");
  return out;
}

class Win32PlatformTest : public ::testing::Test {
 protected:
  void SetUp() override { fs::create_directory(folder_); }

  // A file in the Chinese-named folder, as the launcher would name it.
  std::string in(std::string_view name) const { return u8text(folder_) + "\\" + std::string(name); }

  ql::TempFolder scratch_{"ql_win32_platform"};
  fs::path folder_ = scratch_.path() / u8path("青岚 工具");
  std::unique_ptr<Platform> platform_ = makeWin32Platform(GetModuleHandleW(nullptr));
};

// ---- Our own path and the temporary folder ----------------------------------------------

TEST_F(Win32PlatformTest, OwnPathIsTheInstancesFileAsUtf8) {
  // The instance names the file: this program, or a library loaded from a
  // Chinese-named folder (its path is what the wide call must bring back).
  const fs::path dll = folder_ / u8path("青岚库.dll");
  fs::copy_file(QL_TEST_DLL, dll);
  HMODULE library = LoadLibraryW(dll.c_str());
  ASSERT_NE(library, nullptr);
  wchar_t exe[MAX_PATH];
  const DWORD n = GetModuleFileNameW(nullptr, exe, MAX_PATH);
  ASSERT_GT(n, 0u);

  struct Case {
    const char* name;
    HMODULE instance;
    std::string expected;
  } cases[] = {
      {"this program", GetModuleHandleW(nullptr), u8text(fs::path(std::wstring(exe, n)))},
      {"library in a Chinese-named folder", library, u8text(dll)},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    std::unique_ptr<Platform> p = makeWin32Platform(c.instance);
    const std::string own = p->ownPath();
    EXPECT_EQ(own, c.expected);
    // And the launcher can open it under that name.
    std::unique_ptr<InputFile> f = p->openForRead(own);
    ASSERT_NE(f, nullptr);
    EXPECT_EQ(f->size(), fs::file_size(u8path(own)));
  }
  FreeLibrary(library);
}

TEST_F(Win32PlatformTest, TempDirEndsWithTheSeparatorAndNamesAFolder) {
  const std::optional<std::string> system = platform_->tempDir();
  ASSERT_TRUE(system.has_value());
  EXPECT_TRUE(system->ends_with("\\")) << *system;
  EXPECT_TRUE(fs::is_directory(u8path(*system))) << *system;

  // GetTempPathW follows TMP: a Chinese-named folder comes back as UTF-8,
  // with the separator whether TMP ends with one or not.
  const std::string expected = u8text(folder_) + "\\";
  for (const std::wstring& tmp : {folder_.wstring(), folder_.wstring() + L"\\"}) {
    ScopedEnv env(L"TMP", tmp);
    EXPECT_EQ(platform_->tempDir(), expected) << u8text(fs::path(tmp));
  }
}

// ---- Files ------------------------------------------------------------------------------

TEST_F(Win32PlatformTest, FilesInAChineseNamedFolder) {
  const fs::path sub = folder_ / u8path("Q_青岚");
  ASSERT_TRUE(platform_->prepareFolder(u8text(sub)));
  EXPECT_TRUE(fs::is_directory(sub));
  // An existing folder is used as it is, with what it holds.
  fs::path keep = sub / "keep.txt";
  writeBytes(keep, bytesOf("kept"));
  EXPECT_TRUE(platform_->prepareFolder(u8text(sub)));
  EXPECT_EQ(readBytes(keep), bytesOf("kept"));

  const ByteVec data = counting(300);
  const std::string name = u8text(sub) + "\\" + "数据 文件.bin";
  platform_->writeFile(name, data);
  platform_->writeFile(u8text(sub) + "\\空.txt", {});
  EXPECT_EQ(readBytes(sub / u8path("数据 文件.bin")), data) << "written under its own name";
  EXPECT_TRUE(fs::is_regular_file(sub / u8path("空.txt")));
  EXPECT_EQ(fs::file_size(sub / u8path("空.txt")), 0u);
  EXPECT_EQ(listing(sub).size(), 3u) << "no other names";

  std::unique_ptr<InputFile> f = platform_->openForRead(name);
  ASSERT_NE(f, nullptr);
  EXPECT_EQ(f->size(), 300u);
  struct Read {
    uint64_t offset;
    size_t asked;
    size_t got;
  } reads[] = {
      {0, 300, 300}, {100, 50, 50}, {299, 1, 1}, {290, 20, 10}, {300, 8, 0}, {1u << 20, 8, 0}, {7, 0, 0},
  };
  for (const Read& r : reads) {
    SCOPED_TRACE(::testing::Message() << "offset " << r.offset << ", " << r.asked << " bytes");
    ByteVec out(r.asked, 0xEE);
    const std::optional<size_t> got = f->readAt(r.offset, out);
    ASSERT_TRUE(got.has_value());
    ASSERT_EQ(*got, r.got);
    EXPECT_TRUE(std::equal(out.begin(), out.begin() + ptrdiff_t(r.got), data.begin() + ptrdiff_t(r.offset)));
  }
  // Reads need not come in order.
  ByteVec two(2);
  ASSERT_EQ(f->readAt(298, two), 2u);
  ASSERT_EQ(f->readAt(0, two), 2u);
  EXPECT_EQ(two, ByteVec(data.begin(), data.begin() + 2));

  EXPECT_EQ(platform_->openForRead(in("没有这个.bin")), nullptr);
}

TEST_F(Win32PlatformTest, WriteReplacesAWholeFile) {
  const std::string name = in("内核.qlr");
  platform_->writeFile(name, counting(5000));
  const ByteVec shorter = bytesOf("ten bytes!");
  platform_->writeFile(name, shorter);
  EXPECT_EQ(readBytes(folder_ / u8path("内核.qlr")), shorter) << "cut to the new length";
}

TEST_F(Win32PlatformTest, FileHeldWithoutWriteSharingKeepsItsContent) {
  // As a running instance holds its kernel library: the write is skipped,
  // the reader still gets the old bytes.
  const std::string name = in("内核.qlr");
  const fs::path file = folder_ / u8path("内核.qlr");
  platform_->writeFile(name, bytesOf("first"));
  {
    HeldFile held(file);
    ASSERT_TRUE(held.ok());
    platform_->writeFile(name, bytesOf("second start"));
    EXPECT_EQ(readBytes(file), bytesOf("first"));
    std::unique_ptr<InputFile> reader = platform_->openForRead(name);
    ASSERT_NE(reader, nullptr) << "reading shares with the holder";
    EXPECT_EQ(reader->size(), 5u);
  }
  platform_->writeFile(name, bytesOf("second start"));
  EXPECT_EQ(readBytes(file), bytesOf("second start")) << "once released, the file is written again";
}

TEST_F(Win32PlatformTest, PathThatIsNotUtf8TouchesNoOtherName) {
  // What a lenient conversion would make of the bad bytes: one U+FFFD for
  // each bad piece, or the bytes dropped. Each of these files is there, so a
  // lenient open or load would succeed and a lenient write would show.
  for (const char* decoy : {"bad\uFFFD.dll", "bad\uFFFD\uFFFD.dll", "bad\uFFFD\uFFFD\uFFFD.dll", "bad.dll"})
    fs::copy_file(QL_TEST_DLL, folder_ / u8path(decoy));
  const auto before = listing(folder_);

  struct Case {
    const char* name;
    const char* bytes;  // stands for the bad part of each name
  } cases[] = {
      {"byte 0xFF", "\xFF"},
      {"lead byte without its continuation", "\xC3"},
      {"Chinese character cut short", "\xE9\x9D"},
      {"overlong encoding", "\xC0\xAE"},
      {"encoded surrogate", "\xED\xA0\x80"},
      {"lone continuation byte", "\x80"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string file = in(std::string("bad") + c.bytes + ".dll");
    EXPECT_EQ(platform_->openForRead(file), nullptr);
    EXPECT_EQ(platform_->loadLibrary(file), nullptr);
    platform_->writeFile(file, bytesOf("overwritten"));
    platform_->prepareFolder(in(std::string("new") + c.bytes));
    EXPECT_EQ(listing(folder_), before);
  }
}

// ---- Libraries --------------------------------------------------------------------------

TEST_F(Win32PlatformTest, LoadsALibraryFromAChineseNamedFolder) {
  const fs::path dll = folder_ / u8path("青岚库.dll");
  fs::copy_file(QL_TEST_DLL, dll);
  for (bool keep : {false, true}) {
    SCOPED_TRACE(keep ? "kept loaded" : "released");
    {
      std::unique_ptr<Library> lib = platform_->loadLibrary(u8text(dll));
      ASSERT_NE(lib, nullptr);
      auto answer = reinterpret_cast<int32_t (*)()>(lib->symbol("qlTestDllAnswer"));
      ASSERT_NE(answer, nullptr);
      EXPECT_EQ(answer(), 4242);
      EXPECT_EQ(lib->symbol("qlTestDllQuestion"), nullptr);
      EXPECT_TRUE(isLoaded(dll));
      if (keep) lib->keepLoaded();
    }
    EXPECT_EQ(isLoaded(dll), keep) << "dropping the library unloads it unless it was kept";
    unload(dll);
  }
}

TEST_F(Win32PlatformTest, WhatIsNoLibraryDoesNotLoad) {
  writeBytes(folder_ / u8path("文本.dll"), bytesOf("MZ but not a library at all"));
  const char* names[] = {"没有这个.dll", "文本.dll", ""};
  for (const char* name : names) {
    SCOPED_TRACE(name);
    EXPECT_EQ(platform_->loadLibrary(in(name)), nullptr);
  }
}

}  // namespace
}  // namespace ql::launcher
