// The zip reading and flat extraction behind qlfakerar, the stand-in for
// WinRAR's "e" command in the Windows tests (where the archive adapter,
// built on libarchive, is not available). Zip only: stored and deflated
// entries of a single-disk archive without ZIP64 or encryption.
//
// All integers in a zip are little-endian. The layout read here:
//
//   local header + name + extra | data | ... | central directory | end record
#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <ostream>
#include <string>
#include <string_view>
#include <vector>

#include "common/bytes.h"
#include "common/result.h"

namespace ql::fakerar {

#pragma pack(push, 1)

// ---- End of central directory record: the archive's last record --------------
struct EndOfCentralDirectory {
  uint32_t signature;          // kEndSignature
  uint16_t diskNumber;         // this disk; 0 for a single-disk archive
  uint16_t directoryDisk;      // disk holding the central directory's start
  uint16_t entriesOnDisk;      // central directory records on this disk
  uint16_t entriesTotal;       // central directory records in all
  uint32_t directorySize;      // bytes of the central directory
  uint32_t directoryOffset;    // where the central directory starts
  uint16_t commentLength;      // archive comment bytes following this record
};
static_assert(sizeof(EndOfCentralDirectory) == 22);

// ---- Central directory file header: one per entry ---------------------------
struct CentralFileHeader {
  uint32_t signature;          // kCentralSignature
  uint16_t versionMadeBy;      // writer's system and zip version
  uint16_t versionNeeded;      // zip version needed to extract
  uint16_t flags;              // general purpose bit flags (kFlag*)
  uint16_t method;             // compression method (kMethod*)
  uint16_t modTime;            // DOS time
  uint16_t modDate;            // DOS date
  uint32_t crc32;              // CRC-32 of the uncompressed data
  uint32_t compressedSize;     // bytes of data in the archive
  uint32_t uncompressedSize;   // bytes once extracted
  uint16_t nameLength;         // name bytes following the header
  uint16_t extraLength;        // extra field bytes following the name
  uint16_t commentLength;      // comment bytes following the extra field
  uint16_t diskNumberStart;    // disk holding the local header
  uint16_t internalAttributes; // text/binary hint
  uint32_t externalAttributes; // host file attributes
  uint32_t localHeaderOffset;  // where the entry's local header starts
};
static_assert(sizeof(CentralFileHeader) == 46);

// ---- Local file header: in front of each entry's data ------------------------
struct LocalFileHeader {
  uint32_t signature;          // kLocalSignature
  uint16_t versionNeeded;      // zip version needed to extract
  uint16_t flags;              // general purpose bit flags
  uint16_t method;             // compression method
  uint16_t modTime;            // DOS time
  uint16_t modDate;            // DOS date
  uint32_t crc32;              // 0 when a data descriptor follows the data
  uint32_t compressedSize;     // likewise
  uint32_t uncompressedSize;   // likewise
  uint16_t nameLength;         // name bytes following the header
  uint16_t extraLength;        // extra field bytes following the name
};
static_assert(sizeof(LocalFileHeader) == 30);

#pragma pack(pop)

constexpr uint32_t kEndSignature = 0x06054b50;
constexpr uint32_t kCentralSignature = 0x02014b50;
constexpr uint32_t kLocalSignature = 0x04034b50;
constexpr uint32_t kZip64LocatorSignature = 0x07064b50;
constexpr size_t kZip64LocatorSize = 20;

constexpr uint16_t kMethodStored = 0;
constexpr uint16_t kMethodDeflated = 8;
constexpr uint16_t kMethodAes = 99;  // WinZip AES: encryption in method form

constexpr uint16_t kFlagEncrypted = 1u << 0;
constexpr uint16_t kFlagDataDescriptor = 1u << 3;
constexpr uint16_t kFlagStrongEncryption = 1u << 6;
constexpr uint16_t kFlagUtf8Name = 1u << 11;

// An entry without the UTF-8 flag may carry its name in UTF-8 here
// (Info-ZIP Unicode Path extra field: version, CRC-32 of the header name, name).
constexpr uint16_t kExtraUnicodePath = 0x7075;

// A field at this value means the real one is in a ZIP64 record.
constexpr uint16_t kZip64Marker16 = 0xFFFF;
constexpr uint32_t kZip64Marker32 = 0xFFFFFFFF;

// The end record is followed by at most a 64 KiB comment.
constexpr size_t kMaxCommentLength = 0xFFFF;
// The package is read whole; texture packages are far smaller than this.
constexpr uint64_t kMaxPackageSize = uint64_t(1) << 31;

// One entry as the central directory describes it, checked against the
// archive: its data lies inside the file, before the central directory.
struct ZipEntry {
  size_t index = 0;          // position in the central directory
  std::string name;          // UTF-8
  uint16_t flags = 0;
  uint16_t method = 0;
  uint32_t crc32 = 0;
  uint32_t compressedSize = 0;
  uint32_t uncompressedSize = 0;
  uint64_t dataOffset = 0;   // first data byte, behind the local header
};

// Walks the end record and the central directory, checking every offset
// and size, and every local header the directory points at. Fails on
// anything that is not a plain single-disk zip: ZIP64, encryption, methods
// other than stored and deflate, records that run past their region.
Result<std::vector<ZipEntry>> readDirectory(ByteSpan zip);

// Hands the entry's uncompressed bytes to `sink` piece by piece. Fails when
// the data does not inflate to exactly the recorded size or its CRC-32 is not
// the recorded one; `sink` may then have seen bytes that must be thrown away.
using Sink = std::function<Status(ByteSpan)>;
Status decodeEntry(ByteSpan zip, const ZipEntry& entry, const Sink& sink);

// The whole entry in memory, checked as decodeEntry checks it.
Result<ByteVec> readEntry(ByteSpan zip, const ZipEntry& entry);

// True for names the directory gives to folders ("textures/").
bool isFolderName(std::string_view name);

// The archive adapter's flat name (runtime/archive/entry_names.h), except
// that leaf names a Windows folder cannot hold (reserved characters, device
// names, a trailing dot or blank) are refused as well.
Result<std::string> flatName(std::string_view entryName);


struct Command {
  std::filesystem::path package;
  std::filesystem::path destination;
};

// Reads `e PACKAGE DEST\` (the command also as "E"); the arguments follow the
// program name, in UTF-8.
Result<Command> parseCommand(const std::vector<std::string>& args);

struct Summary {
  int extracted = 0;
  int skipped = 0;
};

// Extracts every file entry of the zip at `package` flat into `destination`
// (created when missing; its parent must exist), replacing files of the same
// name. Each file is written under a temporary name and renamed into place
// once its CRC-32 checked, so a failed entry leaves no file behind. Notes about
// skipped entries go to `notes`. The whole directory is checked before any
// file is written; an entry that fails later is reported after the others
// were tried.
Result<Summary> extractFlat(const std::filesystem::path& package, const std::filesystem::path& destination,
                            std::ostream& notes);

// The prefix of the temporary files in the destination.
inline constexpr std::string_view kTempPrefix = ".qlfakerar-";

}  // namespace ql::fakerar
