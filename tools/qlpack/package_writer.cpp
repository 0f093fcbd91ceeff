#include "tools/qlpack/package_writer.h"

#include <zlib.h>

#include <limits>

namespace ql::qlpack {

using namespace ql::launcher;

ByteVec buildEntryList(std::span<const PackageEntry> entries) {
  ByteWriter w;
  for (const PackageEntry& e : entries) {
    w.cstring(e.name);
    w.u32(uint32_t(e.data.size()));
    w.bytes(e.data);
  }
  return w.take();
}

Result<ByteVec> assemblePackage(ByteSpan stream, int32_t declaredSize, const PackageOptions& options) {
  constexpr size_t kMaxPackage = size_t(std::numeric_limits<int32_t>::max());
  if (stream.size() > kMaxPackage - kHeaderSize)
    return fail("a package of " + std::to_string(stream.size() + kHeaderSize) + " bytes does not fit its size field");

  ByteWriter w;
  w.u32(options.packageMagic);
  w.u32(options.identifier);
  w.u32(options.key);
  w.u32(options.checkValue);
  w.u32(uint32_t(options.declaredSize.value_or(declaredSize)));
  w.bytes(stream);

  ByteVec package = w.take();
  uint8_t key[4];
  storeU32(key, options.key);
  scramble(std::span<uint8_t>(package).subspan(kScrambledOffset), key);
  return package;
}

Result<ByteVec> buildPackage(ByteSpan entryList, const PackageOptions& options) {
  if (entryList.size() > size_t(std::numeric_limits<int32_t>::max()))
    return fail("an entry list of " + std::to_string(entryList.size()) + " bytes does not fit its size field");
  uLongf streamSize = compressBound(uLong(entryList.size()));
  ByteVec stream(streamSize);
  const int rc = compress2(stream.data(), &streamSize, entryList.data(), uLong(entryList.size()), Z_BEST_COMPRESSION);
  if (rc != Z_OK) return fail("compress2 returned " + std::to_string(rc));
  stream.resize(streamSize);
  return assemblePackage(stream, int32_t(entryList.size()), options);
}

ByteVec buildTrailer(size_t packageSize, const PackageOptions& options) {
  ByteWriter w;
  w.u32(uint32_t(options.trailerSize.value_or(int32_t(packageSize))));
  w.u32(options.trailerMagic);
  return w.take();
}

Result<ByteVec> packExecutable(ByteSpan executable, std::span<const PackageEntry> entries,
                               const PackageOptions& options) {
  Result<ByteVec> package = buildPackage(buildEntryList(entries), options);
  if (!package) return package.error();
  ByteWriter w;
  w.bytes(executable);
  w.bytes(*package);
  w.bytes(buildTrailer(package->size(), options));
  return w.take();
}

}  // namespace ql::qlpack
