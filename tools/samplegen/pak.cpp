#include "tools/samplegen/pak.h"

#include <archive.h>
#include <archive_entry.h>

#include <memory>
#include <stdexcept>

namespace ql::samplegen {
namespace {

// Every entry carries the same time stamp and owner, so the package is the
// same bytes on every run.
constexpr time_t kStampSeconds = 1104537600;  // 2005-01-01 00:00:00 UTC

struct WriterCloser {
  void operator()(archive* a) const { archive_write_free(a); }
};
struct EntryFree {
  void operator()(archive_entry* e) const { archive_entry_free(e); }
};

void check(archive* a, int r, const std::string& what) {
  if (r != ARCHIVE_OK) {
    const char* s = archive_error_string(a);
    throw std::runtime_error(what + ": " + (s ? s : "archive error"));
  }
}

std::unique_ptr<archive_entry, EntryFree> makeEntry(const std::string& name, mode_t type, int64_t size) {
  std::unique_ptr<archive_entry, EntryFree> e(archive_entry_new());
  archive_entry_set_pathname(e.get(), name.c_str());
  archive_entry_set_filetype(e.get(), type);
  archive_entry_set_perm(e.get(), type == AE_IFDIR ? 0755 : 0644);
  archive_entry_set_size(e.get(), size);
  archive_entry_set_mtime(e.get(), kStampSeconds, 0);
  archive_entry_set_uid(e.get(), 0);
  archive_entry_set_gid(e.get(), 0);
  return e;
}

}  // namespace

void writePak(const std::filesystem::path& path, const std::string& folder, const std::vector<PakFile>& files) {
  std::unique_ptr<archive, WriterCloser> a(archive_write_new());
  if (!a) throw std::runtime_error("out of memory");
  check(a.get(), archive_write_set_format_zip(a.get()), "zip format");
  check(a.get(), archive_write_open_filename(a.get(), path.c_str()), "cannot create " + path.string());

  auto dir = makeEntry(folder + "/", AE_IFDIR, 0);
  check(a.get(), archive_write_header(a.get(), dir.get()), "folder entry");
  for (const PakFile& f : files) {
    auto e = makeEntry(folder + "/" + f.name, AE_IFREG, int64_t(f.bytes.size()));
    check(a.get(), archive_write_header(a.get(), e.get()), "entry " + f.name);
    if (archive_write_data(a.get(), f.bytes.data(), f.bytes.size()) != la_ssize_t(f.bytes.size()))
      check(a.get(), ARCHIVE_FATAL, "data of " + f.name);
  }
  check(a.get(), archive_write_close(a.get()), "cannot finish " + path.string());
}

}  // namespace ql::samplegen
