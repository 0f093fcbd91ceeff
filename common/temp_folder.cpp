#include "common/temp_folder.h"

#include <stdlib.h>

#include <random>
#include <string>
#include <system_error>

namespace ql {

namespace fs = std::filesystem;

TempFolder::TempFolder(std::string_view prefix) {
  std::error_code ec;
  fs::path base = fs::temp_directory_path(ec);
#if defined(_WIN32)
  if (ec) return;
  // No mkdtemp: try fresh names until one folder is ours.
  std::random_device random;
  for (int attempt = 0; attempt < 100 && path_.empty(); ++attempt) {
    const fs::path candidate = base / (std::string(prefix) + "-" + std::to_string(random()));
    if (fs::create_directory(candidate, ec)) path_ = candidate;
  }
#else
  if (ec) base = "/tmp";
  // mkdtemp makes the folder ours alone (mode 0700) under a name nobody had.
  std::string pattern = (base / (std::string(prefix) + "-XXXXXX")).string();
  if (mkdtemp(pattern.data())) path_ = pattern;
#endif
}

TempFolder::~TempFolder() {
  if (path_.empty()) return;
  std::error_code ec;
  fs::remove_all(path_, ec);
}

}  // namespace ql
