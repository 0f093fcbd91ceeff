// Zip archives built in the tests, byte by byte, with the offsets of every
// record so that a test can damage exactly the field it means; and file
// helpers for the checks.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "common/bytes.h"

namespace ql::fakerar::test {

struct ZipInput {
  std::string name;  // the header's name bytes, as written
  std::string data;
  bool deflate = true;
  uint16_t flags = 0;           // general purpose flags (bit 3 is set by dataDescriptor)
  bool dataDescriptor = false;  // sizes and CRC after the data, zeros in the local header
  std::string centralExtra = {};  // extra field bytes of the central directory record
};

struct BuiltZip {
  ByteVec bytes;
  std::vector<size_t> localOffsets;    // each entry's local header
  std::vector<size_t> dataOffsets;     // each entry's data
  std::vector<size_t> compressedSizes; // each entry's data bytes
  std::vector<size_t> centralOffsets;  // each entry's central directory record
  size_t directoryOffset = 0;
  size_t endOffset = 0;                // the end of central directory record

  void patchU16(size_t at, uint16_t v);
  void patchU32(size_t at, uint32_t v);
};

BuiltZip buildZip(const std::vector<ZipInput>& entries, const std::string& comment = {});

// The Info-ZIP Unicode Path extra field naming `headerName` as `utf8Name`.
std::string unicodePathExtra(const std::string& headerName, const std::string& utf8Name);

// Files for the checks afterwards.
std::string readFile(const std::filesystem::path& path);
void writeFile(const std::filesystem::path& path, const std::string& bytes);
// Every name in `folder` (not recursive) as UTF-8, sorted.
std::vector<std::string> listFolder(const std::filesystem::path& folder);

}  // namespace ql::fakerar::test
