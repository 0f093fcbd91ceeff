// The runtime package appended to the executable: trailer, header, entry
// list, and the scrambling both the launcher and the package builder use.
//
//   executable image | package (S bytes) | trailer (8 bytes)
//
// All integers are little-endian.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string_view>
#include <vector>

#include "common/bytes.h"
#include "common/result.h"

namespace ql::launcher {

// ---- Trailer: the last 8 bytes of the file ------------------------------------
struct PackageTrailer {
  int32_t packageSize;  // package bytes before the trailer, not counting it
  uint32_t magic;       // kPackageMagic
};
static_assert(sizeof(PackageTrailer) == 8);

// ---- Package header: the first 20 bytes of the package ------------------------
struct PackageHeader {
  uint32_t magic;             // kPackageMagic, plain
  uint32_t identifier;        // names the extraction folder "Q_%X", plain
  uint8_t key[4];             // scrambling key, plain
  uint32_t checkValue;        // kCheckValue, scrambled
  int32_t uncompressedSize;   // bytes of the inflated entry list, scrambled
  // The entry list follows as one zlib stream, scrambled.
};
static_assert(sizeof(PackageHeader) == 20);

constexpr uint32_t kPackageMagic = 0x829AB7A5;
constexpr uint32_t kCheckValue = 0x033E0F0D;
constexpr size_t kTrailerSize = sizeof(PackageTrailer);
constexpr size_t kHeaderSize = sizeof(PackageHeader);
constexpr size_t kIdentifierOffset = offsetof(PackageHeader, identifier);
constexpr size_t kKeyOffset = offsetof(PackageHeader, key);
constexpr size_t kScrambledOffset = offsetof(PackageHeader, checkValue);
constexpr size_t kCheckValueOffset = offsetof(PackageHeader, checkValue);
constexpr size_t kUncompressedSizeOffset = offsetof(PackageHeader, uncompressedSize);
constexpr size_t kStreamOffset = kHeaderSize;

// No executable this small can hold a package: a trailer below this offset
// means nothing was appended.
constexpr uint64_t kMinTrailerOffset = 1000;
// The package must at least hold its magic.
constexpr int32_t kMinPackageSize = 4;

// Paths are built in buffers of the platform's path limit, terminator included.
constexpr size_t kPathBufferSize = 260;
constexpr size_t kMaxPathLength = kPathBufferSize - 1;

// The runtime's kernel library, in its runtime and its library form; matched
// ignoring ASCII case.
inline constexpr std::string_view kKernelNames[] = {"kbase.qlr", "kbase.qlb"};

// ---- Scrambling ------------------------------------------------------------------
// The byte at package offset 12 + k is XORed with key byte (k + 1) mod 4.
// `scrambled` is the part of the package from offset 12 on. Scrambling and
// unscrambling are the same operation.
inline void scramble(std::span<uint8_t> scrambled, const uint8_t (&key)[4]) {
  for (size_t k = 0; k < scrambled.size(); ++k) scrambled[k] ^= key[(k + 1) % 4];
}

// ---- Entry list ------------------------------------------------------------------
// name (NUL-terminated) | u32 length | length bytes, back to back, to the end
// of the inflated data.
struct EntryView {
  std::string_view name;
  ByteSpan data;
  uint64_t offset;  // where the entry starts in the list, for error details
};

// True when `a` and `b` are equal ignoring ASCII letter case.
bool equalsIgnoreAsciiCase(std::string_view a, std::string_view b);
bool isKernelName(std::string_view name);

// A name the extraction folder can hold as one file: not empty, not "." or
// "..", no separator of either platform and no drive or stream colon.
bool isSingleComponent(std::string_view name);

// Splits the inflated entry list into entries. Fails, naming the entry, its
// offset and the values, when a name or data runs past the end or a name is
// not a single path component. Never reads outside `list`.
Result<std::vector<EntryView>> parseEntryList(ByteSpan list);

}  // namespace ql::launcher
