// Helpers of qlconv's tests: a temporary folder, whole-file reads and
// writes, and running a program with its output caught.
#pragma once

#include <filesystem>
#include <map>
#include <string>
#include <string_view>
#include <vector>

namespace ql::qlconv::test {

namespace fs = std::filesystem;

class TempDir {
 public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;
  bool ok() const { return !path_.empty(); }
  const fs::path& path() const { return path_; }

 private:
  fs::path path_;
};

std::string readFile(const fs::path& file);  // "" when it cannot be read
void writeFile(const fs::path& file, std::string_view bytes);  // makes the folders
// Every file below `dir` (relative path → content).
std::map<std::string, std::string> filesUnder(const fs::path& dir);

struct Ran {
  int exitStatus = -1;  // -1: did not exit normally
  std::string out;
  std::string err;
  std::vector<std::string> errLines() const;
};

// Runs `program` with `args` in `cwd`, stdin from /dev/null.
Ran runProgram(const fs::path& program, const std::vector<std::string>& args, const fs::path& cwd);

}  // namespace ql::qlconv::test
