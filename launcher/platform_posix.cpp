#if !defined(_WIN32)

#include "launcher/platform_posix.h"

#include <dlfcn.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace ql::launcher {

namespace {

class PosixFile final : public InputFile {
 public:
  explicit PosixFile(int fd) : fd_(fd) {}
  ~PosixFile() override { ::close(fd_); }
  PosixFile(const PosixFile&) = delete;
  PosixFile& operator=(const PosixFile&) = delete;

  std::optional<uint64_t> size() override {
    struct stat st;
    if (::fstat(fd_, &st) != 0 || st.st_size < 0) return std::nullopt;
    return uint64_t(st.st_size);
  }

  std::optional<size_t> readAt(uint64_t offset, std::span<uint8_t> out) override {
    size_t done = 0;
    while (done < out.size()) {
      const ssize_t n = ::pread(fd_, out.data() + done, out.size() - done, off_t(offset + done));
      if (n < 0 && errno == EINTR) continue;
      if (n < 0) return std::nullopt;
      if (n == 0) break;
      done += size_t(n);
    }
    return done;
  }

 private:
  int fd_;
};

class PosixLibrary final : public Library {
 public:
  explicit PosixLibrary(void* handle) : handle_(handle) {}
  ~PosixLibrary() override {
    if (!kept_) ::dlclose(handle_);
  }
  PosixLibrary(const PosixLibrary&) = delete;
  PosixLibrary& operator=(const PosixLibrary&) = delete;

  void* symbol(const char* name) override { return ::dlsym(handle_, name); }
  void keepLoaded() override { kept_ = true; }

 private:
  void* handle_;
  bool kept_ = false;
};

bool writeAll(int fd, ByteSpan data) {
  size_t done = 0;
  while (done < data.size()) {
    const ssize_t n = ::write(fd, data.data() + done, data.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    done += size_t(n);
  }
  return true;
}

// True when `path` is a regular file (not a link) holding exactly `data`.
bool holdsExactly(const std::string& path, ByteSpan data) {
  const int fd = ::open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC);
  if (fd < 0) return false;
  bool same = false;
  struct stat st;
  if (::fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && uint64_t(st.st_size) == data.size()) {
    std::vector<uint8_t> chunk(64 * 1024);
    size_t done = 0;
    same = true;
    while (same && done < data.size()) {
      const ssize_t n = ::read(fd, chunk.data(), std::min(chunk.size(), data.size() - done));
      if (n < 0 && errno == EINTR) continue;
      if (n <= 0 || std::memcmp(chunk.data(), data.data() + done, size_t(n)) != 0) same = false;
      else done += size_t(n);
    }
  }
  ::close(fd);
  return same;
}

}  // namespace

std::string PosixPlatform::ownPath() {
  char buf[PATH_MAX];
  const ssize_t n = ::readlink("/proc/self/exe", buf, sizeof buf);
  if (n <= 0 || size_t(n) >= sizeof buf) return {};
  return std::string(buf, size_t(n));
}

std::unique_ptr<InputFile> PosixPlatform::openForRead(const std::string& path) {
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return nullptr;
  return std::make_unique<PosixFile>(fd);
}

std::optional<std::string> PosixPlatform::tempDir() {
  const char* env = std::getenv("TMPDIR");
  std::string dir = (env && *env) ? env : "/tmp";
  if (dir.back() != '/') dir += '/';
  return dir;
}

bool PosixPlatform::prepareFolder(const std::string& path) {
  if (::mkdir(path.c_str(), 0700) != 0 && errno != EEXIST) return false;
  struct stat st;
  if (::lstat(path.c_str(), &st) != 0) return false;
  return S_ISDIR(st.st_mode) && st.st_uid == ::geteuid() && (st.st_mode & (S_IWGRP | S_IWOTH)) == 0;
}

void PosixPlatform::writeFile(const std::string& path, ByteSpan data) {
  if (holdsExactly(path, data)) return;
  std::string temp = path + ".XXXXXX";
  const int fd = ::mkostemp(temp.data(), O_CLOEXEC);
  if (fd < 0) return;
  // The package may carry programs (the archive adapter), so files are
  // executable; the folder keeps them private.
  bool ok = ::fchmod(fd, 0700) == 0 && writeAll(fd, data);
  ok = ::close(fd) == 0 && ok;
  if (!ok || ::rename(temp.c_str(), path.c_str()) != 0) ::unlink(temp.c_str());
}

std::unique_ptr<Library> PosixPlatform::loadLibrary(const std::string& path) {
  void* handle = ::dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (!handle) return nullptr;
  return std::make_unique<PosixLibrary>(handle);
}

void PosixPlatform::showError(std::string_view message) {
  std::fprintf(stderr, "Error: %.*s\n", int(message.size()), message.data());
  std::fflush(stderr);
}

}  // namespace ql::launcher

#endif
