// Helpers for the archive tests: a temporary folder, a child-process
// runner, and archives built in the test with libarchive.
#pragma once

#include <filesystem>
#include <ostream>
#include <string>
#include <vector>

namespace ql::test {

class TempDir {
 public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;
  const std::filesystem::path& path() const { return path_; }

 private:
  std::filesystem::path path_;
};

struct ChildResult {
  int exitCode = -1;  // -1 when the child did not exit normally
  std::string out, err;
};

// Runs `program` with `args` (no shell) and waits for it.
ChildResult runChild(const std::string& program, const std::vector<std::string>& args);

enum class ArchiveFormat { kZip, kSevenZip, kTar };
const char* formatName(ArchiveFormat f);
inline void PrintTo(ArchiveFormat f, std::ostream* os) { *os << formatName(f); }

struct ArchiveEntry {
  enum class Kind { kFile, kFolder, kSymlink, kHardlink };
  std::string name;  // UTF-8
  std::string data;  // file content
  Kind kind = Kind::kFile;
  std::string linkTarget = {};
};

struct ArchiveOptions {
  bool storeOnly = false;        // ZIP: no compression, so file data lies in the open
  std::string nameCharset = {};  // ZIP: write names in this charset without the UTF-8 flag
};

void writeArchive(const std::filesystem::path& path, ArchiveFormat format, const std::vector<ArchiveEntry>& entries,
                  const ArchiveOptions& options = {});

std::string readFile(const std::filesystem::path& path);
void writeFile(const std::filesystem::path& path, const std::string& bytes);

// Every name in `folder` (not recursive), sorted.
std::vector<std::string> listFolder(const std::filesystem::path& folder);

}  // namespace ql::test
