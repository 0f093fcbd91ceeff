#include "tests/archive/test_support.h"

#include <archive.h>
#include <archive_entry.h>
#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <clocale>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <memory>
#include <stdexcept>

extern char** environ;

namespace fs = std::filesystem;

namespace ql::test {

TempDir::TempDir() {
  std::string tmpl = (fs::temp_directory_path() / "ql-archive-XXXXXX").native();
  if (!::mkdtemp(tmpl.data())) throw std::runtime_error("mkdtemp failed");
  path_ = tmpl;
}

TempDir::~TempDir() {
  std::error_code ec;
  fs::remove_all(path_, ec);
}

ChildResult runChild(const std::string& program, const std::vector<std::string>& args) {
  TempDir logs;
  const std::string outPath = (logs.path() / "out").native(), errPath = (logs.path() / "err").native();
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 1, outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  posix_spawn_file_actions_addopen(&actions, 2, errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);

  std::vector<char*> argv;
  argv.push_back(const_cast<char*>(program.c_str()));
  for (const auto& a : args) argv.push_back(const_cast<char*>(a.c_str()));
  argv.push_back(nullptr);

  pid_t pid = 0;
  const int rc = posix_spawn(&pid, program.c_str(), &actions, nullptr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  if (rc != 0) throw std::runtime_error("cannot start " + program);
  int status = 0;
  while (waitpid(pid, &status, 0) < 0)
    if (errno != EINTR) throw std::runtime_error("waitpid failed");

  ChildResult r;
  r.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  r.out = readFile(outPath);
  r.err = readFile(errPath);
  return r;
}

const char* formatName(ArchiveFormat f) {
  switch (f) {
    case ArchiveFormat::kZip: return "zip";
    case ArchiveFormat::kSevenZip: return "7z";
    case ArchiveFormat::kTar: return "tar";
  }
  return "?";
}

void writeArchive(const fs::path& path, ArchiveFormat format, const std::vector<ArchiveEntry>& entries,
                  const ArchiveOptions& options) {
  // Names are handed to libarchive as UTF-8; it converts them per format.
  std::setlocale(LC_CTYPE, "C.UTF-8");
  std::unique_ptr<archive, decltype(&archive_write_free)> a(archive_write_new(), archive_write_free);
  auto check = [&](int r, const std::string& what) {
    if (r >= ARCHIVE_WARN) return;
    const char* why = archive_error_string(a.get());
    throw std::runtime_error(what + ": " + (why ? why : "?"));
  };
  switch (format) {
    case ArchiveFormat::kZip: check(archive_write_set_format_zip(a.get()), "zip"); break;
    case ArchiveFormat::kSevenZip: check(archive_write_set_format_7zip(a.get()), "7z"); break;
    case ArchiveFormat::kTar: check(archive_write_set_format_pax_restricted(a.get()), "tar"); break;
  }
  if (options.storeOnly) check(archive_write_set_options(a.get(), "zip:compression=store"), "store");
  if (!options.nameCharset.empty())
    check(archive_write_set_options(a.get(), ("hdrcharset=" + options.nameCharset).c_str()), "charset");
  check(archive_write_open_filename(a.get(), path.c_str()), "open");

  for (const ArchiveEntry& e : entries) {
    std::unique_ptr<archive_entry, decltype(&archive_entry_free)> entry(archive_entry_new(), archive_entry_free);
    archive_entry_set_pathname_utf8(entry.get(), e.name.c_str());
    archive_entry_set_mtime(entry.get(), 1104537600, 0);
    switch (e.kind) {
      case ArchiveEntry::Kind::kFile:
        archive_entry_set_filetype(entry.get(), AE_IFREG);
        archive_entry_set_perm(entry.get(), 0644);
        archive_entry_set_size(entry.get(), la_int64_t(e.data.size()));
        break;
      case ArchiveEntry::Kind::kFolder:
        archive_entry_set_filetype(entry.get(), AE_IFDIR);
        archive_entry_set_perm(entry.get(), 0755);
        break;
      case ArchiveEntry::Kind::kSymlink:
        archive_entry_set_filetype(entry.get(), AE_IFLNK);
        archive_entry_set_perm(entry.get(), 0777);
        archive_entry_set_symlink(entry.get(), e.linkTarget.c_str());
        break;
      case ArchiveEntry::Kind::kHardlink:
        archive_entry_set_filetype(entry.get(), AE_IFREG);
        archive_entry_set_perm(entry.get(), 0644);
        archive_entry_set_hardlink(entry.get(), e.linkTarget.c_str());
        archive_entry_set_size(entry.get(), 0);
        break;
    }
    check(archive_write_header(a.get(), entry.get()), "header " + e.name);
    if (e.kind == ArchiveEntry::Kind::kFile && !e.data.empty())
      if (archive_write_data(a.get(), e.data.data(), e.data.size()) != la_ssize_t(e.data.size()))
        check(ARCHIVE_FATAL, "data " + e.name);
  }
  check(archive_write_close(a.get()), "close");
}

std::string readFile(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

void writeFile(const fs::path& path, const std::string& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), std::streamsize(bytes.size()));
  if (!out) throw std::runtime_error("cannot write " + path.string());
}

std::vector<std::string> listFolder(const fs::path& folder) {
  std::vector<std::string> names;
  for (const auto& e : fs::directory_iterator(folder)) names.push_back(e.path().filename().native());
  std::sort(names.begin(), names.end());
  return names;
}

}  // namespace ql::test
