#include "tests/qlconv/qlconv_support.h"

#include <fcntl.h>
#include <spawn.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

#include <fstream>
#include <sstream>
#include <system_error>

extern char** environ;

namespace ql::qlconv::test {

TempDir::TempDir() {
  std::error_code ec;
  fs::path base = fs::temp_directory_path(ec);
  if (ec) base = "/tmp";
  std::string pattern = (base / "qlconv-test-XXXXXX").string();
  if (mkdtemp(pattern.data())) path_ = pattern;
}

TempDir::~TempDir() {
  std::error_code ec;
  if (!path_.empty()) fs::remove_all(path_, ec);
}

std::map<std::string, std::string> filesUnder(const fs::path& dir) {
  std::map<std::string, std::string> files;
  for (const auto& e : fs::recursive_directory_iterator(dir))
    if (e.is_regular_file()) files[fs::relative(e.path(), dir).string()] = readFile(e.path());
  return files;
}

std::string readFile(const fs::path& file) {
  std::ifstream in(file, std::ios::binary);
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}

void writeFile(const fs::path& file, std::string_view bytes) {
  std::error_code ec;
  fs::create_directories(file.parent_path(), ec);
  std::ofstream out(file, std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), std::streamsize(bytes.size()));
}

std::vector<std::string> Ran::errLines() const {
  std::vector<std::string> lines;
  std::istringstream in(err);
  for (std::string l; std::getline(in, l);) lines.push_back(l);
  return lines;
}

Ran runProgram(const fs::path& program, const std::vector<std::string>& args, const fs::path& cwd) {
  Ran r;
  TempDir capture;
  if (!capture.ok()) return r;
  const fs::path out = capture.path() / "out", err = capture.path() / "err";
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
  posix_spawn_file_actions_addopen(&actions, 1, out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
  posix_spawn_file_actions_addopen(&actions, 2, err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
  std::vector<std::string> all{program.string()};
  all.insert(all.end(), args.begin(), args.end());
  std::vector<char*> argv;
  for (std::string& a : all) argv.push_back(a.data());
  argv.push_back(nullptr);
  // The child starts in `cwd`: change there around the spawn.
  const fs::path before = fs::current_path();
  fs::current_path(cwd);
  pid_t pid = -1;
  const int rc = posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ);
  fs::current_path(before);
  posix_spawn_file_actions_destroy(&actions);
  if (rc != 0) return r;
  int status = 0;
  waitpid(pid, &status, 0);
  if (WIFEXITED(status)) r.exitStatus = WEXITSTATUS(status);
  r.out = readFile(out);
  r.err = readFile(err);
  return r;
}

}  // namespace ql::qlconv::test
