// The launcher's platform on Linux and other POSIX systems.
#pragma once

#if !defined(_WIN32)

#include "launcher/launcher.h"

namespace ql::launcher {

class PosixPlatform : public Platform {
 public:
  // /proc/self/exe.
  std::string ownPath() override;
  std::unique_ptr<InputFile> openForRead(const std::string& path) override;
  // $TMPDIR, or /tmp when it is unset or empty.
  std::optional<std::string> tempDir() override;
  // The temporary directory is shared with other users, so an existing
  // folder is used only when it is a real directory (not a link), ours, and
  // not writable by group or others. A new one is made with mode 0700.
  bool prepareFolder(const std::string& path) override;
  // Writes under a temporary name in the same folder and renames it over the
  // old file, so a running instance keeps the library it has mapped. A file
  // that already holds exactly these bytes is left alone.
  void writeFile(const std::string& path, ByteSpan data) override;
  std::unique_ptr<Library> loadLibrary(const std::string& path) override;
  // "Error: <message>" on standard error.
  void showError(std::string_view message) override;
  char separator() const override { return '/'; }
};

}  // namespace ql::launcher

#endif
