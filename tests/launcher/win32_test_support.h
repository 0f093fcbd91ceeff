// Shared pieces of the launcher's Windows tests: the real Win32 platform with
// our own path and the messages pointed at the test, environment variables
// set for one test, and loaded libraries released again.
#pragma once

#if defined(_WIN32)

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>

#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "launcher/launcher.h"
#include "launcher/platform_win32.h"
#include "common/temp_folder.h"
#include "common/utf8_path.h"

namespace ql::launcher::testing {

namespace fs = std::filesystem;

// The Win32 platform of this process, except that our own path is the
// test's packed executable, messages are recorded instead of shown, and the
// heap counts its live blocks. Everything else is the real thing.
class WinTestPlatform final : public Platform {
 public:
  std::string self;

  std::vector<std::string> shown;
  std::vector<std::string> loads;
  std::vector<std::string> writes;
  size_t liveBlocks = 0;

  std::string ownPath() override { return self; }
  std::unique_ptr<InputFile> openForRead(const std::string& path) override { return real_->openForRead(path); }
  std::optional<std::string> tempDir() override { return real_->tempDir(); }
  bool prepareFolder(const std::string& path) override { return real_->prepareFolder(path); }
  void writeFile(const std::string& path, ByteSpan data) override {
    writes.push_back(path);
    real_->writeFile(path, data);
  }
  std::unique_ptr<Library> loadLibrary(const std::string& path) override {
    loads.push_back(path);
    return real_->loadLibrary(path);
  }
  void showError(std::string_view message) override { shown.emplace_back(message); }
  char separator() const override { return real_->separator(); }

  void* allocate(size_t size) override {
    void* block = real_->allocate(size);
    if (block) ++liveBlocks;
    return block;
  }
  void release(void* block) override {
    if (block) --liveBlocks;
    real_->release(block);
  }

 private:
  std::unique_ptr<Platform> real_ = makeWin32Platform(GetModuleHandleW(nullptr));
};

// Sets an environment variable of this process (the Win32 one, which
// GetTempPathW and the stand-in kernels read) and restores it at the end.
class ScopedEnv {
 public:
  ScopedEnv(const wchar_t* name, const std::wstring& value) : name_(name) {
    wchar_t old[32768];
    const DWORD n = GetEnvironmentVariableW(name, old, DWORD(std::size(old)));
    if (n > 0 && n < std::size(old)) old_ = std::wstring(old, n);
    SetEnvironmentVariableW(name, value.c_str());
  }
  ~ScopedEnv() { SetEnvironmentVariableW(name_.c_str(), old_ ? old_->c_str() : nullptr); }
  ScopedEnv(const ScopedEnv&) = delete;
  ScopedEnv& operator=(const ScopedEnv&) = delete;

 private:
  std::wstring name_;
  std::optional<std::wstring> old_;
};

// Whether a library with this path is loaded in our process.
inline bool isLoaded(const fs::path& p) { return GetModuleHandleW(p.c_str()) != nullptr; }

// Unloads a library that a start kept loaded for its runtime, so that its
// folder can be removed (and the next case cannot find it in memory).
inline void unload(const fs::path& p) {
  for (int i = 0; i < 16; ++i) {
    HMODULE m = GetModuleHandleW(p.c_str());
    if (!m) return;
    FreeLibrary(m);
  }
}

// Removes everything under `dir` that can be removed, going on past what
// cannot (std::filesystem::remove_all stops at the first failure). Wine keeps
// a library whose imports failed mapped until the process ends; only that
// file and the folders above it stay behind.
inline void removeWhatCan(const fs::path& dir) {
  std::error_code ec;
  std::vector<fs::path> found;
  for (auto it = fs::recursive_directory_iterator(dir, ec); !ec && it != fs::recursive_directory_iterator();
       it.increment(ec))
    found.push_back(it->path());
  // Deepest first, so folders are empty when their turn comes.
  for (auto p = found.rbegin(); p != found.rend(); ++p) fs::remove(*p, ec);
}

// A file opened the way a running instance holds its kernel library: read
// access, sharing reads only.
class HeldFile {
 public:
  explicit HeldFile(const fs::path& p)
      : handle_(CreateFileW(p.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL,
                            nullptr)) {}
  ~HeldFile() {
    if (ok()) CloseHandle(handle_);
  }
  HeldFile(const HeldFile&) = delete;
  HeldFile& operator=(const HeldFile&) = delete;
  bool ok() const { return handle_ != INVALID_HANDLE_VALUE; }

 private:
  HANDLE handle_;
};

}  // namespace ql::launcher::testing

#endif
