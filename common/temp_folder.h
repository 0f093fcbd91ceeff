// A fresh folder of our own under the system's temporary folder, removed
// with everything in it on destruction.
#pragma once

#include <filesystem>
#include <string_view>

namespace ql {

class TempFolder {
 public:
  explicit TempFolder(std::string_view prefix = "ql");
  ~TempFolder();
  TempFolder(const TempFolder&) = delete;
  TempFolder& operator=(const TempFolder&) = delete;
  const std::filesystem::path& path() const { return path_; }
  // An empty path when the folder could not be made.
  bool ok() const { return !path_.empty(); }

 private:
  std::filesystem::path path_;
};

}  // namespace ql
