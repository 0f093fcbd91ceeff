// Folders for tests, the same on every system.
#pragma once

#include <filesystem>
#include <random>
#include <string>
#include <string_view>
#include <system_error>

#include "common/utf8_path.h"

namespace qltest {

namespace fs = std::filesystem;

using ql::u8path;
using ql::u8text;

// A fresh folder under the system's temporary folder, removed with
// everything in it at the end of the test.
class TempFolder {
 public:
  explicit TempFolder(std::string_view prefix = "ql_test") {
    std::random_device rd;
    std::error_code ec;
    for (int attempt = 0; attempt < 100 && path_.empty(); ++attempt) {
      const fs::path candidate =
          fs::temp_directory_path() / (std::string(prefix) + "_" + std::to_string(rd()) + std::to_string(rd()));
      if (fs::create_directory(candidate, ec)) path_ = candidate;
    }
    if (path_.empty()) throw fs::filesystem_error("cannot make a temporary folder", ec);
  }
  ~TempFolder() {
    std::error_code ec;
    fs::remove_all(path_, ec);
  }
  TempFolder(const TempFolder&) = delete;
  TempFolder& operator=(const TempFolder&) = delete;
  const fs::path& path() const { return path_; }

 private:
  fs::path path_;
};

}  // namespace qltest
