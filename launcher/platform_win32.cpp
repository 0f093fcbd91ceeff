#if defined(_WIN32)

#include "launcher/platform_win32.h"

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>

#include <algorithm>
#include <climits>
#include <string>

#include "launcher/package_format.h"

namespace ql::launcher {

namespace {

// UTF-8 -> UTF-16; empty when the bytes are not valid UTF-8, so that the call
// using it fails instead of touching a mangled name.
std::wstring widen(std::string_view text) {
  if (text.empty() || text.size() > size_t(INT_MAX)) return {};
  const int n = MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, text.data(), int(text.size()), nullptr, 0);
  if (n <= 0) return {};
  std::wstring out(size_t(n), L'\0');
  MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, text.data(), int(text.size()), out.data(), n);
  return out;
}

std::string narrow(const wchar_t* text, DWORD length) {
  if (length == 0) return {};
  const int n = WideCharToMultiByte(CP_UTF8, WC_ERR_INVALID_CHARS, text, int(length), nullptr, 0, nullptr, nullptr);
  if (n <= 0) return {};
  std::string out(size_t(n), '\0');
  WideCharToMultiByte(CP_UTF8, WC_ERR_INVALID_CHARS, text, int(length), out.data(), n, nullptr, nullptr);
  return out;
}

class Win32File final : public InputFile {
 public:
  explicit Win32File(HANDLE handle) : handle_(handle) {}
  ~Win32File() override { CloseHandle(handle_); }
  Win32File(const Win32File&) = delete;
  Win32File& operator=(const Win32File&) = delete;

  std::optional<uint64_t> size() override {
    LARGE_INTEGER size;
    if (!GetFileSizeEx(handle_, &size) || size.QuadPart < 0) return std::nullopt;
    return uint64_t(size.QuadPart);
  }

  std::optional<size_t> readAt(uint64_t offset, std::span<uint8_t> out) override {
    LARGE_INTEGER position;
    position.QuadPart = LONGLONG(offset);
    if (!SetFilePointerEx(handle_, position, nullptr, FILE_BEGIN)) return std::nullopt;
    size_t done = 0;
    while (done < out.size()) {
      const DWORD want = DWORD(std::min<size_t>(out.size() - done, 1u << 30));
      DWORD got = 0;
      if (!ReadFile(handle_, out.data() + done, want, &got, nullptr)) return std::nullopt;
      if (got == 0) break;
      done += got;
    }
    return done;
  }

 private:
  HANDLE handle_;
};

class Win32Library final : public Library {
 public:
  explicit Win32Library(HMODULE module) : module_(module) {}
  ~Win32Library() override {
    if (!kept_) FreeLibrary(module_);
  }
  Win32Library(const Win32Library&) = delete;
  Win32Library& operator=(const Win32Library&) = delete;

  void* symbol(const char* name) override { return reinterpret_cast<void*>(GetProcAddress(module_, name)); }
  void keepLoaded() override { kept_ = true; }

 private:
  HMODULE module_;
  bool kept_ = false;
};

class Win32Platform final : public Platform {
 public:
  explicit Win32Platform(HINSTANCE instance) : instance_(instance) {}

  std::string ownPath() override {
    wchar_t buf[kPathBufferSize];
    const DWORD n = GetModuleFileNameW(instance_, buf, DWORD(kPathBufferSize));
    // A full buffer means the path was cut.
    if (n == 0 || n >= kPathBufferSize) return {};
    return narrow(buf, n);
  }

  std::unique_ptr<InputFile> openForRead(const std::string& path) override {
    const std::wstring wide = widen(path);
    if (wide.empty()) return nullptr;
    HANDLE h = CreateFileW(wide.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                           FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE) return nullptr;
    return std::make_unique<Win32File>(h);
  }

  std::optional<std::string> tempDir() override {
    wchar_t buf[kPathBufferSize];
    // Above the buffer size the call reports the size it would need and
    // leaves the buffer alone.
    const DWORD n = GetTempPathW(DWORD(kPathBufferSize), buf);
    if (n == 0 || n >= kPathBufferSize) return std::nullopt;
    std::string dir = narrow(buf, n);
    if (dir.empty()) return std::nullopt;
    if (dir.back() != '\\') dir += '\\';
    return dir;
  }

  // The folder usually exists from an earlier start; its creation is not
  // checked, the file writes and the kernel load that follow are.
  bool prepareFolder(const std::string& path) override {
    const std::wstring wide = widen(path);
    if (!wide.empty()) CreateDirectoryW(wide.c_str(), nullptr);
    return true;
  }

  // A running instance holds its kernel library open without write sharing:
  // the creation fails and the copy already there is kept.
  void writeFile(const std::string& path, ByteSpan data) override {
    const std::wstring wide = widen(path);
    if (wide.empty()) return;
    HANDLE h = CreateFileW(wide.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE) return;
    size_t done = 0;
    while (done < data.size()) {
      const DWORD want = DWORD(std::min<size_t>(data.size() - done, 1u << 30));
      DWORD wrote = 0;
      if (!WriteFile(h, data.data() + done, want, &wrote, nullptr) || wrote == 0) break;
      done += wrote;
    }
    CloseHandle(h);
  }

  std::unique_ptr<Library> loadLibrary(const std::string& path) override {
    const std::wstring wide = widen(path);
    if (wide.empty()) return nullptr;
    // The kernel's own dependencies are looked for next to it.
    HMODULE m = LoadLibraryExW(wide.c_str(), nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
    if (!m) return nullptr;
    return std::make_unique<Win32Library>(m);
  }

  void showError(std::string_view message) override {
    const std::wstring text = widen(message);
    MessageBoxW(nullptr, text.c_str(), L"Error", MB_OK | MB_ICONERROR);
  }

  char separator() const override { return '\\'; }

 private:
  HINSTANCE instance_;
};

}  // namespace

std::unique_ptr<Platform> makeWin32Platform(void* instance) {
  return std::make_unique<Win32Platform>(static_cast<HINSTANCE>(instance));
}

}  // namespace ql::launcher

#endif
