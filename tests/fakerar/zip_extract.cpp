#include "tests/fakerar/zip_extract.h"

#include <zlib.h>

#include <algorithm>
#include <array>
#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <limits>
#include <optional>
#include <random>
#include <sstream>
#include <system_error>

#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#include <sys/stat.h>
#include <windows.h>
#else
#include <fcntl.h>
#include <unistd.h>
#endif

#include "common/gbk.h"
#include "common/utf8_path.h"
#include "runtime/archive/entry_names.h"

namespace fs = std::filesystem;

namespace ql::fakerar {
namespace {

constexpr size_t kInflateChunk = 64 * 1024;
constexpr int kRawDeflateWindowBits = -MAX_WBITS;  // zip data has no zlib header
constexpr int kTempNameAttempts = 100;
constexpr size_t kUnicodePathHeaderSize = 5;  // version (1) + CRC-32 of the header name (4)
constexpr uint8_t kUnicodePathVersion = 1;

std::string hex(uint64_t v) {
  std::ostringstream s;
  s << "0x" << std::hex << v;
  return s.str();
}

uint16_t loadU16(const uint8_t* p) { return uint16_t(p[0] | p[1] << 8); }

std::string entryLabel(size_t index, std::string_view name) {
  return "entry " + std::to_string(index) + " '" + std::string(name) + "'";
}

// ---- Records ---------------------------------------------------------------------
// The callers have checked that the record's fixed part lies in the buffer.

EndOfCentralDirectory loadEnd(const uint8_t* p) {
  EndOfCentralDirectory r;
  r.signature = loadU32(p + offsetof(EndOfCentralDirectory, signature));
  r.diskNumber = loadU16(p + offsetof(EndOfCentralDirectory, diskNumber));
  r.directoryDisk = loadU16(p + offsetof(EndOfCentralDirectory, directoryDisk));
  r.entriesOnDisk = loadU16(p + offsetof(EndOfCentralDirectory, entriesOnDisk));
  r.entriesTotal = loadU16(p + offsetof(EndOfCentralDirectory, entriesTotal));
  r.directorySize = loadU32(p + offsetof(EndOfCentralDirectory, directorySize));
  r.directoryOffset = loadU32(p + offsetof(EndOfCentralDirectory, directoryOffset));
  r.commentLength = loadU16(p + offsetof(EndOfCentralDirectory, commentLength));
  return r;
}

CentralFileHeader loadCentral(const uint8_t* p) {
  CentralFileHeader h;
  h.signature = loadU32(p + offsetof(CentralFileHeader, signature));
  h.versionMadeBy = loadU16(p + offsetof(CentralFileHeader, versionMadeBy));
  h.versionNeeded = loadU16(p + offsetof(CentralFileHeader, versionNeeded));
  h.flags = loadU16(p + offsetof(CentralFileHeader, flags));
  h.method = loadU16(p + offsetof(CentralFileHeader, method));
  h.modTime = loadU16(p + offsetof(CentralFileHeader, modTime));
  h.modDate = loadU16(p + offsetof(CentralFileHeader, modDate));
  h.crc32 = loadU32(p + offsetof(CentralFileHeader, crc32));
  h.compressedSize = loadU32(p + offsetof(CentralFileHeader, compressedSize));
  h.uncompressedSize = loadU32(p + offsetof(CentralFileHeader, uncompressedSize));
  h.nameLength = loadU16(p + offsetof(CentralFileHeader, nameLength));
  h.extraLength = loadU16(p + offsetof(CentralFileHeader, extraLength));
  h.commentLength = loadU16(p + offsetof(CentralFileHeader, commentLength));
  h.diskNumberStart = loadU16(p + offsetof(CentralFileHeader, diskNumberStart));
  h.internalAttributes = loadU16(p + offsetof(CentralFileHeader, internalAttributes));
  h.externalAttributes = loadU32(p + offsetof(CentralFileHeader, externalAttributes));
  h.localHeaderOffset = loadU32(p + offsetof(CentralFileHeader, localHeaderOffset));
  return h;
}

LocalFileHeader loadLocal(const uint8_t* p) {
  LocalFileHeader h;
  h.signature = loadU32(p + offsetof(LocalFileHeader, signature));
  h.versionNeeded = loadU16(p + offsetof(LocalFileHeader, versionNeeded));
  h.flags = loadU16(p + offsetof(LocalFileHeader, flags));
  h.method = loadU16(p + offsetof(LocalFileHeader, method));
  h.modTime = loadU16(p + offsetof(LocalFileHeader, modTime));
  h.modDate = loadU16(p + offsetof(LocalFileHeader, modDate));
  h.crc32 = loadU32(p + offsetof(LocalFileHeader, crc32));
  h.compressedSize = loadU32(p + offsetof(LocalFileHeader, compressedSize));
  h.uncompressedSize = loadU32(p + offsetof(LocalFileHeader, uncompressedSize));
  h.nameLength = loadU16(p + offsetof(LocalFileHeader, nameLength));
  h.extraLength = loadU16(p + offsetof(LocalFileHeader, extraLength));
  return h;
}

// The end record nearest the end of the file whose comment reaches exactly
// to the end: a signature that merely happens to lie inside the comment
// does not pass for the record.
Result<uint64_t> findEnd(ByteSpan zip) {
  if (zip.size() < sizeof(EndOfCentralDirectory))
    return fail("not a zip archive: " + std::to_string(zip.size()) + " bytes, too short for the end record");
  const uint64_t last = zip.size() - sizeof(EndOfCentralDirectory);
  const uint64_t first = last > kMaxCommentLength ? last - kMaxCommentLength : 0;
  for (uint64_t at = last + 1; at-- > first;) {
    if (loadU32(zip.data() + at) != kEndSignature) continue;
    const auto end = loadEnd(zip.data() + at);
    if (at + sizeof(EndOfCentralDirectory) + end.commentLength == zip.size()) return at;
  }
  return fail("not a zip archive: no end of central directory record");
}

bool validUtf8(std::string_view s) {
  size_t i = 0;
  while (i < s.size()) {
    const auto c = uint8_t(s[i]);
    size_t more = 0;
    uint32_t cp = 0;
    if (c < 0x80) {
      ++i;
      continue;
    } else if ((c & 0xE0) == 0xC0) {
      more = 1;
      cp = c & 0x1F;
    } else if ((c & 0xF0) == 0xE0) {
      more = 2;
      cp = c & 0x0F;
    } else if ((c & 0xF8) == 0xF0) {
      more = 3;
      cp = c & 0x07;
    } else {
      return false;
    }
    if (s.size() - i <= more) return false;
    for (size_t k = 1; k <= more; ++k) {
      const auto cc = uint8_t(s[i + k]);
      if ((cc & 0xC0) != 0x80) return false;
      cp = cp << 6 | (cc & 0x3F);
    }
    constexpr uint32_t kMinForLength[] = {0, 0x80, 0x800, 0x10000};
    if (cp < kMinForLength[more] || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) return false;
    i += more + 1;
  }
  return true;
}

bool isAscii(std::string_view s) {
  return std::all_of(s.begin(), s.end(), [](char c) { return uint8_t(c) < 0x80; });
}

// The Unicode Path extra field's name, when the field is there and was made
// for this very header name (a later rename by a tool that knows nothing of
// the field leaves a stale one behind).
std::optional<std::string> unicodePathName(ByteSpan extra, std::string_view headerName) {
  constexpr size_t kFieldHeader = 4;  // id (2) + size (2)
  uint64_t at = 0;
  while (inBounds(at, kFieldHeader, extra.size())) {
    const uint16_t id = loadU16(extra.data() + at);
    const uint16_t size = loadU16(extra.data() + at + 2);
    const uint64_t body = at + kFieldHeader;
    if (!inBounds(body, size, extra.size())) return std::nullopt;
    if (id == kExtraUnicodePath && size >= kUnicodePathHeaderSize && extra[body] == kUnicodePathVersion) {
      const uint32_t nameCrc = loadU32(extra.data() + body + 1);
      const uLong actual = crc32(0L, reinterpret_cast<const Bytef*>(headerName.data()), uInt(headerName.size()));
      if (nameCrc != uint32_t(actual)) return std::nullopt;
      return std::string(reinterpret_cast<const char*>(extra.data() + body + kUnicodePathHeaderSize),
                         size - kUnicodePathHeaderSize);
    }
    at = body + size;
  }
  return std::nullopt;
}

// Names are UTF-8 when the entry says so; otherwise they are in the code
// page of the system that made the archive, which for this game's packages
// is the Chinese one (936), and ASCII reads the same in either.
Result<std::string> entryName(ByteSpan rawName, uint16_t flags, ByteSpan extra, size_t index) {
  const std::string_view raw(reinterpret_cast<const char*>(rawName.data()), rawName.size());
  std::string name;
  if (flags & kFlagUtf8Name) {
    name = raw;
  } else if (auto u = unicodePathName(extra, raw)) {
    name = *u;
  } else if (isAscii(raw)) {
    name = raw;
  } else if (auto g = gbkToUtf8(raw)) {
    name = *g;
  } else {
    return fail("central directory entry " + std::to_string(index) + ": name is neither UTF-8 nor GBK");
  }
  if (!validUtf8(name)) return fail("central directory entry " + std::to_string(index) + ": name is not valid UTF-8");
  return name;
}

Status checkSupported(const CentralFileHeader& h, size_t index, std::string_view name) {
  const std::string where = entryLabel(index, name);
  if ((h.flags & (kFlagEncrypted | kFlagStrongEncryption)) || h.method == kMethodAes)
    return fail(where + " is encrypted, which is not supported");
  if (h.compressedSize == kZip64Marker32 || h.uncompressedSize == kZip64Marker32 ||
      h.localHeaderOffset == kZip64Marker32 || h.diskNumberStart == kZip64Marker16)
    return fail(where + " needs ZIP64, which is not supported");
  if (h.method != kMethodStored && h.method != kMethodDeflated)
    return fail(where + " uses compression method " + std::to_string(h.method) +
                ", which is not supported (only 0 stored and 8 deflate)");
  if (h.method == kMethodStored && h.compressedSize != h.uncompressedSize)
    return fail(where + " is stored, but its sizes differ: " + std::to_string(h.compressedSize) + " in the archive, " +
                std::to_string(h.uncompressedSize) + " extracted");
  return Ok{};
}

// The entry's data offset behind its local header; the data must end before
// the central directory.
Result<uint64_t> locateData(ByteSpan zip, const CentralFileHeader& h, uint64_t directoryOffset, size_t index,
                            std::string_view name) {
  const std::string where = entryLabel(index, name);
  const uint64_t at = h.localHeaderOffset;
  if (!inBounds(at, sizeof(LocalFileHeader), directoryOffset))
    return fail(where + ": local header at " + hex(at) + " runs past the central directory at " + hex(directoryOffset));
  const auto local = loadLocal(zip.data() + at);
  if (local.signature != kLocalSignature)
    return fail(where + ": no local header at " + hex(at) + " (signature " + hex(local.signature) + ")");
  const uint64_t data = at + sizeof(LocalFileHeader) + local.nameLength + local.extraLength;
  if (!inBounds(data, h.compressedSize, directoryOffset))
    return fail(where + ": " + std::to_string(h.compressedSize) + " bytes of data at " + hex(data) +
                " run past the central directory at " + hex(directoryOffset));
  return data;
}

// ---- Names -----------------------------------------------------------------------

bool reservedOnWindows(std::string_view leaf) {
  for (char c : leaf) {
    if (uint8_t(c) < 0x20) return true;
    if (std::string_view("<>:\"|?*").find(c) != std::string_view::npos) return true;
  }
  if (leaf.back() == '.' || leaf.back() == ' ') return true;
  // Device names stay devices whatever extension follows ("nul.txt").
  std::string stem(leaf.substr(0, leaf.find('.')));
  std::transform(stem.begin(), stem.end(), stem.begin(), [](char c) { return char(std::toupper(uint8_t(c))); });
  while (!stem.empty() && stem.back() == ' ') stem.pop_back();
  static constexpr std::array<std::string_view, 4> kDevices = {"CON", "PRN", "AUX", "NUL"};
  if (std::find(kDevices.begin(), kDevices.end(), stem) != kDevices.end()) return true;
  return stem.size() == 4 && (stem.starts_with("COM") || stem.starts_with("LPT")) && stem[3] >= '1' && stem[3] <= '9';
}

// ---- Files -----------------------------------------------------------------------

std::string errnoText(int err) { return std::strerror(err); }

// A new file under a name of its own in `folder`, removed again unless it
// was renamed into place.
class TempFile {
 public:
  explicit TempFile(const fs::path& folder) {
    std::random_device rd;
    for (int attempt = 0; attempt < kTempNameAttempts && !file_; ++attempt) {
      const fs::path candidate =
          folder / (std::string(kTempPrefix) + std::to_string(rd()) + std::to_string(rd()) + ".tmp");
#ifdef _WIN32
      const int fd = _wopen(candidate.c_str(), _O_CREAT | _O_EXCL | _O_WRONLY | _O_BINARY, _S_IREAD | _S_IWRITE);
#else
      const int fd = ::open(candidate.c_str(), O_CREAT | O_EXCL | O_WRONLY | O_CLOEXEC, 0666);
#endif
      if (fd < 0) {
        if (errno == EEXIST) continue;
        error_ = errno;
        return;
      }
#ifdef _WIN32
      file_ = _fdopen(fd, "wb");
      if (!file_) _close(fd);
#else
      file_ = ::fdopen(fd, "wb");
      if (!file_) ::close(fd);
#endif
      if (!file_) {
        error_ = errno;
        std::error_code ec;
        fs::remove(candidate, ec);
        return;
      }
      path_ = candidate;
    }
    if (!file_ && error_ == 0) error_ = EEXIST;
  }
  ~TempFile() {
    if (file_) std::fclose(file_);
    if (!path_.empty() && !kept_) {
      std::error_code ec;
      fs::remove(path_, ec);
    }
  }
  TempFile(const TempFile&) = delete;
  TempFile& operator=(const TempFile&) = delete;

  bool opened() const { return file_ != nullptr; }
  int error() const { return error_; }

  Status write(ByteSpan bytes, const fs::path& target) {
    if (bytes.empty()) return Ok{};
    if (std::fwrite(bytes.data(), 1, bytes.size(), file_) != bytes.size())
      return fail("cannot write " + u8text(target) + ": " + errnoText(errno));
    return Ok{};
  }

  // Moves the file over `target`, replacing a file of that name (or a link:
  // it is replaced, never followed).
  Status closeAndRename(const fs::path& target) {
    std::FILE* f = file_;
    file_ = nullptr;
    if (std::fclose(f) != 0) return fail("cannot finish " + u8text(target) + ": " + errnoText(errno));
#ifdef _WIN32
    if (!MoveFileExW(path_.c_str(), target.c_str(), MOVEFILE_REPLACE_EXISTING))
      return fail("cannot write " + u8text(target) + ": " + std::system_category().message(int(GetLastError())));
#else
    if (std::rename(path_.c_str(), target.c_str()) != 0)
      return fail("cannot write " + u8text(target) + ": " + errnoText(errno));
#endif
    kept_ = true;
    return Ok{};
  }

 private:
  fs::path path_;
  std::FILE* file_ = nullptr;
  int error_ = 0;
  bool kept_ = false;
};

Result<ByteVec> readPackage(const fs::path& package) {
  std::error_code ec;
  if (!fs::is_regular_file(package, ec)) return fail("cannot find package " + u8text(package));
  const uintmax_t size = fs::file_size(package, ec);
  if (ec) return fail("cannot read package " + u8text(package) + ": " + ec.message());
  if (size > kMaxPackageSize)
    return fail("package " + u8text(package) + " is " + std::to_string(size) + " bytes, more than the " +
                std::to_string(kMaxPackageSize) + " this tool reads");
  std::ifstream in(package, std::ios::binary);
  ByteVec bytes(static_cast<size_t>(size));
  if (!in || !in.read(reinterpret_cast<char*>(bytes.data()), std::streamsize(bytes.size())))
    return fail("cannot read package " + u8text(package));
  return bytes;
}

fs::path withoutTrailingSeparators(const fs::path& p) {
  auto s = p.native();
  while (s.size() > 1 && (s.back() == '/' || s.back() == fs::path::preferred_separator)) s.pop_back();
  fs::path folder(s);
  // "C:" alone is the current folder of drive C, not its root.
  if (folder.has_root_name() && !folder.has_root_directory() && folder.relative_path().empty()) return p;
  return folder;
}

Status ensureDestination(const fs::path& folder) {
  std::error_code ec;
  if (folder.empty()) return fail("no destination folder given");
  const auto st = fs::status(folder, ec);
  if (st.type() == fs::file_type::not_found) {
    // Only the last level is made, as the archive adapter does: a mistyped
    // path fails instead of growing a new tree.
    const fs::path parent = folder.has_parent_path() ? folder.parent_path() : fs::path(".");
    if (!fs::is_directory(parent, ec))
      return fail("destination folder " + u8text(folder) + " does not exist, nor does its parent");
    if (!fs::create_directory(folder, ec) && !fs::is_directory(folder, ec))
      return fail("cannot create destination folder " + u8text(folder) + ": " + ec.message());
  } else if (st.type() != fs::file_type::directory) {
    return fail("destination " + u8text(folder) + " is not a folder");
  }
  return Ok{};
}

Status extractEntry(ByteSpan zip, const ZipEntry& entry, const fs::path& folder, const std::string& leaf) {
  const fs::path target = folder / u8path(leaf);
  TempFile tmp(folder);
  if (!tmp.opened()) return fail("cannot create a file in " + u8text(folder) + ": " + errnoText(tmp.error()));
  if (auto d = decodeEntry(zip, entry, [&](ByteSpan piece) { return tmp.write(piece, target); }); !d) return d;
  return tmp.closeAndRename(target);
}

}  // namespace

// ---- Directory ---------------------------------------------------------------------

Result<std::vector<ZipEntry>> readDirectory(ByteSpan zip) {
  auto endAt = findEnd(zip);
  if (!endAt) return endAt.error();
  const auto end = loadEnd(zip.data() + *endAt);

  if (*endAt >= kZip64LocatorSize && loadU32(zip.data() + *endAt - kZip64LocatorSize) == kZip64LocatorSignature)
    return fail("the archive is a ZIP64 archive, which is not supported");
  if (end.entriesTotal == kZip64Marker16 || end.entriesOnDisk == kZip64Marker16 ||
      end.directorySize == kZip64Marker32 || end.directoryOffset == kZip64Marker32)
    return fail("the end record at " + hex(*endAt) + " points to ZIP64 records, which are not supported");
  if (end.diskNumber != 0 || end.directoryDisk != 0 || end.entriesOnDisk != end.entriesTotal)
    return fail("the archive spans several disks (disk " + std::to_string(end.diskNumber) + ", directory on disk " +
                std::to_string(end.directoryDisk) + "), which is not supported");
  if (!inBounds(end.directoryOffset, end.directorySize, *endAt))
    return fail("central directory at " + hex(end.directoryOffset) + " (" + std::to_string(end.directorySize) +
                " bytes) runs past the end record at " + hex(*endAt));

  const uint64_t dirStart = end.directoryOffset;
  const uint64_t dirSize = end.directorySize;
  const ByteSpan dir = zip.subspan(size_t(dirStart), size_t(dirSize));
  std::vector<ZipEntry> entries;
  entries.reserve(end.entriesTotal);
  uint64_t at = 0;
  for (size_t index = 0; index < end.entriesTotal; ++index) {
    if (!inBounds(at, sizeof(CentralFileHeader), dir.size()))
      return fail("central directory entry " + std::to_string(index) + " of " + std::to_string(end.entriesTotal) +
                  " at " + hex(dirStart + at) + " runs past the directory's " + std::to_string(dirSize) + " bytes");
    const auto h = loadCentral(dir.data() + at);
    if (h.signature != kCentralSignature)
      return fail("central directory entry " + std::to_string(index) + " at " + hex(dirStart + at) +
                  ": bad signature " + hex(h.signature));
    const uint64_t nameAt = at + sizeof(CentralFileHeader);
    const uint64_t variable = uint64_t(h.nameLength) + h.extraLength + h.commentLength;
    if (!inBounds(nameAt, variable, dir.size()))
      return fail("central directory entry " + std::to_string(index) + " at " + hex(dirStart + at) + ": name, extra " +
                  "field and comment (" + std::to_string(variable) + " bytes) run past the directory");
    auto name = entryName(dir.subspan(size_t(nameAt), h.nameLength), h.flags,
                          dir.subspan(size_t(nameAt + h.nameLength), h.extraLength), index);
    if (!name) return name.error();
    if (auto s = checkSupported(h, index, *name); !s) return s.error();
    auto data = locateData(zip, h, dirStart, index, *name);
    if (!data) return data.error();

    ZipEntry e;
    e.index = index;
    e.name = std::move(*name);
    e.flags = h.flags;
    e.method = h.method;
    e.crc32 = h.crc32;
    e.compressedSize = h.compressedSize;
    e.uncompressedSize = h.uncompressedSize;
    e.dataOffset = *data;
    entries.push_back(std::move(e));
    at = nameAt + variable;
  }
  if (at != dir.size())
    return fail("central directory holds " + std::to_string(dir.size()) + " bytes, but its " +
                std::to_string(end.entriesTotal) + " entries take " + std::to_string(at));
  return entries;
}

// ---- Data --------------------------------------------------------------------------

Status decodeEntry(ByteSpan zip, const ZipEntry& entry, const Sink& sink) {
  const std::string where = entryLabel(entry.index, entry.name);
  if (!inBounds(entry.dataOffset, entry.compressedSize, zip.size()))
    return fail(where + ": data at " + hex(entry.dataOffset) + " runs past the archive");
  const ByteSpan data = zip.subspan(size_t(entry.dataOffset), entry.compressedSize);

  uLong crc = crc32(0L, Z_NULL, 0);
  uint64_t produced = 0;
  if (entry.method == kMethodStored) {
    if (entry.compressedSize != entry.uncompressedSize)
      return fail(where + ": stored data of " + std::to_string(entry.compressedSize) + " bytes, expected " +
                  std::to_string(entry.uncompressedSize));
    crc = crc32(crc, data.data(), uInt(data.size()));
    produced = data.size();
    if (auto s = sink(data); !s) return s;
  } else if (entry.method == kMethodDeflated) {
    z_stream z{};
    if (inflateInit2(&z, kRawDeflateWindowBits) != Z_OK) return fail(where + ": cannot start inflating");
    struct End {
      z_stream* z;
      ~End() { inflateEnd(z); }
    } ender{&z};
    z.next_in = const_cast<Bytef*>(data.data());
    z.avail_in = uInt(data.size());
    std::vector<uint8_t> chunk(kInflateChunk);
    for (;;) {
      z.next_out = chunk.data();
      z.avail_out = uInt(chunk.size());
      const int r = inflate(&z, Z_NO_FLUSH);
      if (r != Z_OK && r != Z_STREAM_END && r != Z_BUF_ERROR)
        return fail(where + ": deflate data is damaged" + (z.msg ? std::string(" (") + z.msg + ")" : std::string()));
      const size_t got = chunk.size() - z.avail_out;
      produced += got;
      if (produced > entry.uncompressedSize)
        return fail(where + ": inflates to more than the recorded " + std::to_string(entry.uncompressedSize) +
                    " bytes");
      crc = crc32(crc, chunk.data(), uInt(got));
      if (got > 0)
        if (auto s = sink(ByteSpan(chunk.data(), got)); !s) return s;
      if (r == Z_STREAM_END) break;
      if (got == 0 && z.avail_in == 0)
        return fail(where + ": deflate data ends early, after " + std::to_string(produced) + " of " +
                    std::to_string(entry.uncompressedSize) + " bytes");
    }
  } else {
    return fail(where + " uses compression method " + std::to_string(entry.method) + ", which is not supported");
  }
  if (produced != entry.uncompressedSize)
    return fail(where + ": inflates to " + std::to_string(produced) + " bytes, but " +
                std::to_string(entry.uncompressedSize) + " are recorded");
  if (uint32_t(crc) != entry.crc32)
    return fail(where + ": CRC-32 mismatch, data gives " + hex(uint32_t(crc)) + ", the directory records " +
                hex(entry.crc32));
  return Ok{};
}

Result<ByteVec> readEntry(ByteSpan zip, const ZipEntry& entry) {
  ByteVec out;
  out.reserve(entry.uncompressedSize);
  auto r = decodeEntry(zip, entry, [&](ByteSpan piece) -> Status {
    out.insert(out.end(), piece.begin(), piece.end());
    return Ok{};
  });
  if (!r) return r.error();
  return out;
}

// ---- Names and arguments -------------------------------------------------------------

bool isFolderName(std::string_view name) { return !name.empty() && (name.back() == '/' || name.back() == '\\'); }

Result<std::string> flatName(std::string_view entryName) {
  auto leaf = unpack::flatName(entryName);
  if (leaf && reservedOnWindows(*leaf)) return fail("'" + *leaf + "' cannot name a file on Windows");
  return leaf;
}

Result<Command> parseCommand(const std::vector<std::string>& args) {
  if (args.size() != 3)
    return fail("expected 3 arguments (e PACKAGE DEST\\), got " + std::to_string(args.size()));
  if (args[0] != "e" && args[0] != "E") return fail("unknown command '" + args[0] + "' (only e is known)");
  Command c{unpack::argToNative(args[1]), unpack::argToNative(args[2])};
  if (c.package.empty()) return fail("no package given");
  if (c.destination.empty()) return fail("no destination folder given");
  return c;
}

// ---- Extraction ----------------------------------------------------------------------

Result<Summary> extractFlat(const fs::path& package, const fs::path& destination, std::ostream& notes) {
  auto bytes = readPackage(package);
  if (!bytes) return bytes.error();
  const ByteSpan zip(*bytes);
  auto entries = readDirectory(zip);
  if (!entries) return fail("package " + u8text(package) + ": " + entries.error().message);

  const fs::path folder = withoutTrailingSeparators(destination);
  if (auto d = ensureDestination(folder); !d) return d.error();

  Summary summary;
  std::optional<Error> firstFailure;
  int failed = 0;
  for (const ZipEntry& e : *entries) {
    if (isFolderName(e.name)) continue;  // folders are dropped by extraction anyway
    auto leaf = flatName(e.name);
    if (!leaf) {
      notes << "qlfakerar: skipped " << entryLabel(e.index, e.name) << ": " << leaf.error().message << "\n";
      ++summary.skipped;
      continue;
    }
    if (auto x = extractEntry(zip, e, folder, *leaf); !x) {
      ++failed;
      if (!firstFailure) firstFailure = x.error();
      continue;
    }
    ++summary.extracted;
  }
  if (firstFailure) {
    return fail("package " + u8text(package) + ": " + firstFailure->message +
                (failed > 1 ? " (and " + std::to_string(failed - 1) + " more entries failed)" : ""));
  }
  return summary;
}

}  // namespace ql::fakerar
