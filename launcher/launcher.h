// The process entry's one job: find the runtime package at the end of our own
// file, check, unscramble and inflate it, write its files into the extraction
// folder, load the kernel library and start the runtime with the module image.
//
// Everything that touches the operating system goes through Platform, so the
// steps run unchanged on Windows, on POSIX and in tests.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "common/bytes.h"

namespace ql::launcher {

// The executable's own file, opened for reading with read sharing.
class InputFile {
 public:
  virtual ~InputFile() = default;
  // The file's size in bytes; nullopt when it cannot be found out.
  virtual std::optional<uint64_t> size() = 0;
  // Reads up to out.size() bytes at `offset`. The number of bytes read, or
  // nullopt when the read call itself fails.
  virtual std::optional<size_t> readAt(uint64_t offset, std::span<uint8_t> out) = 0;
};

// A loaded library. Destroying it unloads the library unless keepLoaded()
// was called: the runtime lives on in it after a successful start.
class Library {
 public:
  virtual ~Library() = default;
  virtual void* symbol(const char* name) = 0;
  virtual void keepLoaded() = 0;
};

// Paths are byte strings in the platform's narrow encoding (the bytes as they
// are on POSIX, UTF-8 on Windows, where the platform widens them).
class Platform {
 public:
  virtual ~Platform() = default;

  // The executable's full path; empty when it cannot be found out.
  virtual std::string ownPath() = 0;
  // Null when the file cannot be opened.
  virtual std::unique_ptr<InputFile> openForRead(const std::string& path) = 0;
  // The user's temporary directory, ending with the separator; nullopt when
  // it cannot be obtained.
  virtual std::optional<std::string> tempDir() = 0;
  // Creates the extraction folder (without a trailing separator). False when
  // the folder must not be used; where the platform cannot tell, true.
  virtual bool prepareFolder(const std::string& path) = 0;
  // Writes one extracted file. A file that cannot be written is skipped, so
  // there is nothing to report.
  virtual void writeFile(const std::string& path, ByteSpan data) = 0;
  // Null when the library cannot be loaded.
  virtual std::unique_ptr<Library> loadLibrary(const std::string& path) = 0;
  // Shows the one failure message (caption "Error").
  virtual void showError(std::string_view message) = 0;
  virtual char separator() const = 0;

  // Heap for the package and the inflated list; null when out of memory.
  virtual void* allocate(size_t size);
  virtual void release(void* block);
};

// How a start ended. Every failure has its message; the detail says where
// and why, for logs and tests.
enum class Outcome {
  kStarted,
  kCantOpenFile,
  kInvalidData,
  kTrailerReadFailed,
  kOutOfMemory,
  kPackageReadFailed,
  kNoTempDir,
  kDecompressFailed,
  kKernelNotFound,
  kKernelLoadFailed,
  kKernelInvalid,
  kKernelInterfaceInvalid,
};

// The message shown for a failure, verbatim; empty for kStarted.
std::string_view messageFor(Outcome outcome);

struct LaunchResult {
  Outcome outcome = Outcome::kStarted;
  std::string detail;
};

// Runs the start-up steps. On success calls the runtime entry with
// `moduleImage` (after every buffer is released) and returns kStarted when
// the runtime returns; on failure shows the message through the platform and
// returns. Either way the caller's exit code is 0.
LaunchResult runLauncher(Platform& platform, void* moduleImage);

}  // namespace ql::launcher
