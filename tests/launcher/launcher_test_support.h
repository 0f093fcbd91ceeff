// Shared pieces of the launcher tests: a private scratch folder, the POSIX
// platform with its outside world pointed into that folder (the Windows tests
// have their own, win32_test_support.h), and packed executables built with
// the package writer.
#pragma once

#include <gtest/gtest.h>
#if !defined(_WIN32)
#include <sys/stat.h>
#include <unistd.h>
#endif

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "launcher/launcher.h"
#if !defined(_WIN32)
#include "launcher/platform_posix.h"
#endif
#include "tools/qlpack/package_writer.h"

namespace ql::launcher::testing {

namespace fs = std::filesystem;

inline ByteVec readBytes(const fs::path& p) {
  std::ifstream in(p, std::ios::binary);
  return ByteVec(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

inline void writeBytes(const fs::path& p, ByteSpan bytes) {
  std::ofstream out(p, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
}

inline ByteVec bytesOf(std::string_view s) { return ByteVec(s.begin(), s.end()); }

#if !defined(_WIN32)
// A folder of our own under /tmp, removed with everything in it.
class ScratchDir {
 public:
  ScratchDir() {
    std::string templ = (fs::temp_directory_path() / "ql-launcher-test-XXXXXX").string();
    if (!::mkdtemp(templ.data())) throw std::runtime_error("mkdtemp failed");
    path_ = templ;
  }
  ~ScratchDir() {
    std::error_code ignored;
    fs::remove_all(path_, ignored);
  }
  ScratchDir(const ScratchDir&) = delete;
  ScratchDir& operator=(const ScratchDir&) = delete;
  const fs::path& path() const { return path_; }

 private:
  fs::path path_;
};

// The real POSIX platform, except that our own path and the temporary
// directory are the test's, messages are recorded, the heap counts its live
// blocks and can be limited, and reads of our own file can be made to fail.
class TestPlatform : public PosixPlatform {
 public:
  std::string self;
  std::optional<std::string> temp;
  size_t heapLimit = SIZE_MAX;
  uint64_t failReadAt = UINT64_MAX;  // a read starting here fails...
  bool shortRead = false;            // ...or gives one byte less

  std::vector<std::string> shown;
  std::vector<std::string> loads;
  std::vector<std::string> writes;
  size_t liveBlocks = 0;
  size_t maxLiveBlocks = 0;

  std::string ownPath() override { return self; }
  std::optional<std::string> tempDir() override { return temp; }
  void showError(std::string_view message) override { shown.emplace_back(message); }

  std::unique_ptr<InputFile> openForRead(const std::string& path) override {
    std::unique_ptr<InputFile> inner = PosixPlatform::openForRead(path);
    if (!inner || failReadAt == UINT64_MAX) return inner;
    return std::make_unique<FaultyFile>(std::move(inner), failReadAt, shortRead);
  }
  void writeFile(const std::string& path, ByteSpan data) override {
    writes.push_back(path);
    PosixPlatform::writeFile(path, data);
  }
  std::unique_ptr<Library> loadLibrary(const std::string& path) override {
    loads.push_back(path);
    return PosixPlatform::loadLibrary(path);
  }
  void* allocate(size_t size) override {
    if (size > heapLimit) return nullptr;
    void* block = PosixPlatform::allocate(size);
    if (block && ++liveBlocks > maxLiveBlocks) maxLiveBlocks = liveBlocks;
    return block;
  }
  void release(void* block) override {
    if (block) --liveBlocks;
    PosixPlatform::release(block);
  }

 private:
  class FaultyFile final : public InputFile {
   public:
    FaultyFile(std::unique_ptr<InputFile> inner, uint64_t failAt, bool shortRead)
        : inner_(std::move(inner)), failAt_(failAt), short_(shortRead) {}
    std::optional<uint64_t> size() override { return inner_->size(); }
    std::optional<size_t> readAt(uint64_t offset, std::span<uint8_t> out) override {
      if (offset != failAt_ || out.empty()) return inner_->readAt(offset, out);
      if (!short_) return std::nullopt;
      return inner_->readAt(offset, out.first(out.size() - 1));
    }

   private:
    std::unique_ptr<InputFile> inner_;
    uint64_t failAt_;
    bool short_;
  };
};

#endif  // !_WIN32

// The identifier and key of the tests' packages, and the stand-in kernels.
inline constexpr uint32_t kId = 0x1A2B;
inline constexpr uint32_t kKey = 0x11223344;

inline qlpack::PackageOptions options(uint32_t id = kId) {
  qlpack::PackageOptions o;
  o.identifier = id;
  o.key = kKey;
  return o;
}

// The extraction folder a start makes for package `id` in `temp`.
inline fs::path extractionFolder(const fs::path& temp, uint32_t id = kId) {
  char name[16];
  std::snprintf(name, sizeof name, "Q_%X", id);
  return temp / name;
}

inline ByteVec kernelBytes(const char* path) {
  ByteVec b = readBytes(path);
  EXPECT_FALSE(b.empty()) << path;
  return b;
}
inline ByteVec recordingKernel() { return kernelBytes(QL_TEST_KERNEL); }
inline ByteVec kernelWithoutSock() { return kernelBytes(QL_TEST_KERNEL_NO_SOCK); }
inline ByteVec kernelWithNullEntry() { return kernelBytes(QL_TEST_KERNEL_NULL_ENTRY); }

// Some executable-looking bytes to append a package to.
inline ByteVec fakeExecutable(size_t size = 4096) {
  ByteVec exe(size);
  for (size_t i = 0; i < size; ++i) exe[i] = uint8_t(i * 7 + 3);
  if (size) exe[0] = 0x7F;
  return exe;
}

inline ByteVec packed(const std::vector<qlpack::PackageEntry>& entries, const qlpack::PackageOptions& options,
                      size_t exeSize = 4096) {
  Result<ByteVec> r = qlpack::packExecutable(fakeExecutable(exeSize), entries, options);
  EXPECT_TRUE(r.ok()) << (r.ok() ? "" : r.error().message);
  return r.ok() ? std::move(r).value() : ByteVec{};
}

// "key value" lines the test kernel recorded; later lines win.
inline std::map<std::string, std::string> readRecord(const fs::path& p) {
  std::map<std::string, std::string> out;
  std::ifstream in(p);
  std::string line;
  while (std::getline(in, line)) {
    const size_t space = line.find(' ');
    if (space != std::string::npos) out[line.substr(0, space)] = line.substr(space + 1);
  }
  return out;
}

inline std::string hexOf(ByteSpan bytes) {
  std::string out;
  char buf[3];
  for (uint8_t b : bytes) {
    std::snprintf(buf, sizeof buf, "%02x", b);
    out += buf;
  }
  return out;
}

inline std::string pointerText(const void* p) {
  char buf[32];
  std::snprintf(buf, sizeof buf, "%p", p);
  return buf;
}

}  // namespace ql::launcher::testing
