// Writes runtime packages: the entry list, the zlib stream, the scrambled
// header and the trailer, appended to an executable. Used by qlpack and by the
// launcher's tests, which also need packages with deliberately wrong fields.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>

#include "common/bytes.h"
#include "common/result.h"
#include "launcher/package_format.h"

namespace ql::qlpack {

struct PackageEntry {
  std::string name;
  ByteVec data;
};

struct PackageOptions {
  uint32_t identifier = 0;
  // Key byte j is bits 8j..8j+7 (the key is stored little-endian).
  uint32_t key = 0;

  // Fields a well-formed package gets right; tests change them.
  uint32_t packageMagic = launcher::kPackageMagic;
  uint32_t trailerMagic = launcher::kPackageMagic;
  uint32_t checkValue = launcher::kCheckValue;
  std::optional<int32_t> declaredSize;  // default: the entry list's real size
  std::optional<int32_t> trailerSize;   // default: the package's real size
};

// name NUL | u32 length | data, for every entry in order. Names are taken
// as given; checking them is the caller's business.
ByteVec buildEntryList(std::span<const PackageEntry> entries);

// The package (without trailer) around an already compressed stream.
// `declaredSize` is stored as the uncompressed size unless the options
// override it. Fails when the package would not fit its signed size field.
Result<ByteVec> assemblePackage(ByteSpan stream, int32_t declaredSize, const PackageOptions& options);

// Compresses `entryList` into one zlib stream and assembles the package.
Result<ByteVec> buildPackage(ByteSpan entryList, const PackageOptions& options);

// The 8-byte trailer for a package of `packageSize` bytes, unless the options
// override the size or the magic.
ByteVec buildTrailer(size_t packageSize, const PackageOptions& options);

// executable | package | trailer.
Result<ByteVec> packExecutable(ByteSpan executable, std::span<const PackageEntry> entries,
                               const PackageOptions& options);

}  // namespace ql::qlpack
