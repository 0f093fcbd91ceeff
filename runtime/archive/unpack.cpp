#include "runtime/archive/unpack.h"

#include "runtime/paths/paths.h"

#include <archive.h>
#include <archive_entry.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <memory>
#include <optional>
#include <vector>

namespace fs = std::filesystem;

namespace ql::unpack {
namespace {

constexpr size_t kReadBlockSize = 64 * 1024;
constexpr char kTempPrefix[] = ".qlunpack-";

// Names from archives made on Chinese Windows carry code page 936 unless
// the archive marks them as Unicode; ASCII names read the same either way.
constexpr char kLegacyNameOptions[] = "zip:hdrcharset=CP936,rar:hdrcharset=CP936";

std::string errnoText(int err) { return std::strerror(err); }

// The folder without its trailing separators ("/a/b/" -> "/a/b"), so that
// parent_path and existence tests mean the folder itself.
fs::path withoutTrailingSeparators(const fs::path& p) {
  std::string s = p.native();
  while (s.size() > 1 && s.back() == '/') s.pop_back();
  return fs::path(s);
}

struct ArchiveCloser {
  void operator()(archive* a) const { archive_read_free(a); }
};
using ArchivePtr = std::unique_ptr<archive, ArchiveCloser>;

std::string archiveError(archive* a) {
  const char* s = archive_error_string(a);
  return s ? s : "unknown archive error";
}

// Removes the temporary file unless it was renamed into place.
class TempFile {
 public:
  explicit TempFile(const fs::path& folder) : path_((folder / (std::string(kTempPrefix) + "XXXXXX")).native()) {
    fd_ = ::mkstemp(path_.data());
  }
  ~TempFile() {
    if (fd_ >= 0) ::close(fd_);
    if (!kept_) ::unlink(path_.c_str());
  }
  TempFile(const TempFile&) = delete;
  TempFile& operator=(const TempFile&) = delete;

  int fd() const { return fd_; }
  const std::string& path() const { return path_; }
  Status closeAndRename(const fs::path& target) {
    const int fd = fd_;
    fd_ = -1;
    if (::close(fd) != 0) return fail("cannot finish " + target.string() + ": " + errnoText(errno));
    if (::rename(path_.c_str(), target.c_str()) != 0)
      return fail("cannot write " + target.string() + ": " + errnoText(errno));
    kept_ = true;
    return Ok{};
  }

 private:
  std::string path_;
  int fd_ = -1;
  bool kept_ = false;
};

mode_t currentUmask() {
  const mode_t m = ::umask(0);
  ::umask(m);
  return m;
}

Status ensureDestination(const fs::path& dest) {
  std::error_code ec;
  const fs::path folder = withoutTrailingSeparators(dest);
  if (folder.empty()) return fail("no destination folder given");
  const auto st = fs::status(folder, ec);
  if (st.type() == fs::file_type::not_found) {
    // WinRAR creates its destination folder, and the tool relies on that:
    // it never creates the texture folder itself. Only the last level is
    // made, so a mistyped path fails instead of growing a new tree.
    const fs::path parent = folder.has_parent_path() ? folder.parent_path() : fs::path(".");
    if (!fs::is_directory(parent, ec))
      return fail("destination folder " + folder.string() + " does not exist, nor does its parent");
    if (!fs::create_directory(folder, ec) && !fs::is_directory(folder))
      return fail("cannot create destination folder " + folder.string() + ": " + ec.message());
  } else if (st.type() != fs::file_type::directory) {
    return fail("destination " + folder.string() + " is not a folder");
  }
  // Proven by writing, not by permission bits (root, read-only mounts).
  TempFile probe(folder);
  if (probe.fd() < 0) return fail("destination folder " + folder.string() + " is not writable: " + errnoText(errno));
  return Ok{};
}

Status writeAll(int fd, const void* data, size_t size, int64_t offset) {
  const auto* p = static_cast<const char*>(data);
  while (size > 0) {
    const ssize_t n = ::pwrite(fd, p, size, offset);
    if (n < 0) {
      if (errno == EINTR) continue;
      return fail(errnoText(errno));
    }
    p += n;
    size -= size_t(n);
    offset += n;
  }
  return Ok{};
}

// Writes the current entry's data to a temporary file in `folder` and moves
// it over `folder/leaf`. The rename replaces whatever has that name (also a
// symbolic link planted there, which is never followed).
Status extractEntry(archive* a, archive_entry* entry, const fs::path& folder, const std::string& leaf,
                    mode_t umaskBits) {
  const fs::path target = folder / leaf;
  TempFile tmp(folder);
  if (tmp.fd() < 0) return fail("cannot create a file in " + folder.string() + ": " + errnoText(errno));
  ::fchmod(tmp.fd(), 0666 & ~umaskBits);

  int64_t end = 0;
  for (;;) {
    const void* block = nullptr;
    size_t size = 0;
    la_int64_t offset = 0;
    const int r = archive_read_data_block(a, &block, &size, &offset);
    if (r == ARCHIVE_EOF) break;
    // A warning here is a checksum mismatch or similar: the data is wrong.
    if (r != ARCHIVE_OK) return fail("cannot read the data of " + leaf + ": " + archiveError(a));
    if (offset < 0) return fail("bad data offset " + std::to_string(offset) + " in " + leaf);
    if (auto w = writeAll(tmp.fd(), block, size, offset); !w)
      return fail("cannot write " + target.string() + ": " + w.error().message);
    end = std::max<int64_t>(end, offset + int64_t(size));
  }
  // Sparse entries may end in a hole that no data block covers.
  if (archive_entry_size_is_set(entry)) end = std::max<int64_t>(end, archive_entry_size(entry));
  if (::ftruncate(tmp.fd(), end) != 0) return fail("cannot write " + target.string() + ": " + errnoText(errno));
  return tmp.closeAndRename(target);
}

// Why an entry that is not a plain file is left out; nullopt for files.
// Folders need no note: extraction drops stored folders anyway.
std::optional<std::string> skipReason(archive_entry* entry, bool& quiet) {
  quiet = false;
  if (archive_entry_hardlink(entry)) return "hard link";
  const auto type = archive_entry_filetype(entry);
  if (type == AE_IFLNK || archive_entry_symlink(entry)) return "symbolic link";
  if (type == AE_IFDIR) {
    quiet = true;
    return "folder";
  }
  if (type != AE_IFREG) return "not a regular file";
  return std::nullopt;
}

}  // namespace

Result<Summary> extractFlat(const fs::path& archivePath, const fs::path& dest, std::ostream& notes) {
  std::error_code ec;
  const fs::path source = paths::resolve(archivePath);
  if (!fs::is_regular_file(source, ec)) return fail("cannot find archive " + archivePath.string());

  const fs::path folder = withoutTrailingSeparators(paths::resolve(withoutTrailingSeparators(dest)));
  if (auto d = ensureDestination(folder); !d) return d.error();

  ArchivePtr a(archive_read_new());
  if (!a) return fail("out of memory");
  archive_read_support_filter_all(a.get());
  archive_read_support_format_zip(a.get());
  archive_read_support_format_7zip(a.get());
  archive_read_support_format_rar(a.get());
  archive_read_support_format_rar5(a.get());
  archive_read_support_format_tar(a.get());
  archive_read_set_options(a.get(), kLegacyNameOptions);  // best effort: names stay raw without it
  if (archive_read_open_filename(a.get(), source.c_str(), kReadBlockSize) != ARCHIVE_OK)
    return fail("cannot open archive " + source.string() + ": " + archiveError(a.get()));

  const mode_t umaskBits = currentUmask();
  Summary summary;
  std::optional<Error> firstFailure;
  int failed = 0;
  for (int index = 0;; ++index) {
    archive_entry* entry = nullptr;
    const int r = archive_read_next_header(a.get(), &entry);
    if (r == ARCHIVE_EOF) break;
    if (r < ARCHIVE_WARN) {
      // After an entry's data failed, the archive is often unreadable from
      // there on; the entry's own error says more than this one.
      if (firstFailure) break;
      return fail("archive " + source.string() + " is damaged at entry " + std::to_string(index) + ": " +
                  archiveError(a.get()));
    }
    const char* utf8 = archive_entry_pathname_utf8(entry);
    const char* raw = archive_entry_pathname(entry);
    const std::string entryName = utf8 ? utf8 : raw ? raw : "";
    if (r == ARCHIVE_WARN) notes << "qlunpack: entry " << index << " '" << entryName << "': " << archiveError(a.get()) << "\n";

    bool quiet = false;
    if (auto why = skipReason(entry, quiet)) {
      if (!quiet) {
        notes << "qlunpack: skipped '" << entryName << "': " << *why << "\n";
        ++summary.skipped;
      }
      continue;
    }
    auto leaf = flatName(entryName);
    if (!leaf) {
      notes << "qlunpack: skipped '" << entryName << "': " << leaf.error().message << "\n";
      ++summary.skipped;
      continue;
    }
    if (auto x = extractEntry(a.get(), entry, folder, *leaf, umaskBits); !x) {
      ++failed;
      if (!firstFailure) firstFailure = x.error();
      continue;
    }
    ++summary.extracted;
  }
  if (firstFailure) {
    return fail(firstFailure->message +
                (failed > 1 ? " (and " + std::to_string(failed - 1) + " more entries failed)" : ""));
  }
  return summary;
}

}  // namespace ql::unpack
