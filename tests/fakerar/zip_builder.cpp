#include "tests/fakerar/zip_builder.h"

#include <zlib.h>

#include <algorithm>
#include <cstddef>
#include <fstream>
#include <iterator>
#include <stdexcept>

#include "common/utf8_path.h"

#include "tests/fakerar/zip_extract.h"

namespace ql::fakerar::test {
namespace {

constexpr uint16_t kVersion = 20;  // 2.0: deflate
constexpr uint32_t kDataDescriptorSignature = 0x08074b50;

void u16(ByteWriter& w, uint16_t v) {
  w.u8(uint8_t(v));
  w.u8(uint8_t(v >> 8));
}

std::string deflateRaw(const std::string& data) {
  z_stream z{};
  if (deflateInit2(&z, Z_BEST_COMPRESSION, Z_DEFLATED, -MAX_WBITS, 8, Z_DEFAULT_STRATEGY) != Z_OK)
    throw std::runtime_error("deflateInit2");
  std::string out(deflateBound(&z, uLong(data.size())), '\0');
  z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(data.data()));
  z.avail_in = uInt(data.size());
  z.next_out = reinterpret_cast<Bytef*>(out.data());
  z.avail_out = uInt(out.size());
  const int r = deflate(&z, Z_FINISH);
  out.resize(z.total_out);
  deflateEnd(&z);
  if (r != Z_STREAM_END) throw std::runtime_error("deflate");
  return out;
}

uint32_t crcOf(const std::string& s) {
  return uint32_t(crc32(0L, reinterpret_cast<const Bytef*>(s.data()), uInt(s.size())));
}

}  // namespace

void BuiltZip::patchU16(size_t at, uint16_t v) {
  bytes.at(at) = uint8_t(v);
  bytes.at(at + 1) = uint8_t(v >> 8);
}
void BuiltZip::patchU32(size_t at, uint32_t v) {
  if (at + 4 > bytes.size()) throw std::out_of_range("patchU32");
  storeU32(bytes.data() + at, v);
}

BuiltZip buildZip(const std::vector<ZipInput>& entries, const std::string& comment) {
  BuiltZip z;
  ByteWriter w;
  std::vector<std::string> stored;
  for (const ZipInput& e : entries) {
    const std::string body = e.deflate ? deflateRaw(e.data) : e.data;
    const uint16_t flags = uint16_t(e.flags | (e.dataDescriptor ? kFlagDataDescriptor : 0));
    const uint32_t crc = crcOf(e.data);
    z.localOffsets.push_back(w.size());
    w.u32(kLocalSignature);
    u16(w, kVersion);
    u16(w, flags);
    u16(w, e.deflate ? kMethodDeflated : kMethodStored);
    u16(w, 0);
    u16(w, 0x21);  // 1980-01-01
    w.u32(e.dataDescriptor ? 0 : crc);
    w.u32(e.dataDescriptor ? 0 : uint32_t(body.size()));
    w.u32(e.dataDescriptor ? 0 : uint32_t(e.data.size()));
    u16(w, uint16_t(e.name.size()));
    u16(w, 0);
    w.bytes(e.name);
    z.dataOffsets.push_back(w.size());
    z.compressedSizes.push_back(body.size());
    w.bytes(body);
    if (e.dataDescriptor) {
      w.u32(kDataDescriptorSignature);
      w.u32(crc);
      w.u32(uint32_t(body.size()));
      w.u32(uint32_t(e.data.size()));
    }
  }
  z.directoryOffset = w.size();
  for (size_t i = 0; i < entries.size(); ++i) {
    const ZipInput& e = entries[i];
    z.centralOffsets.push_back(w.size());
    w.u32(kCentralSignature);
    u16(w, kVersion);
    u16(w, kVersion);
    u16(w, uint16_t(e.flags | (e.dataDescriptor ? kFlagDataDescriptor : 0)));
    u16(w, e.deflate ? kMethodDeflated : kMethodStored);
    u16(w, 0);
    u16(w, 0x21);
    w.u32(crcOf(e.data));
    w.u32(uint32_t(z.compressedSizes[i]));
    w.u32(uint32_t(e.data.size()));
    u16(w, uint16_t(e.name.size()));
    u16(w, uint16_t(e.centralExtra.size()));
    u16(w, 0);  // comment
    u16(w, 0);  // disk
    u16(w, 0);  // internal attributes
    w.u32(0);   // external attributes
    w.u32(uint32_t(z.localOffsets[i]));
    w.bytes(e.name);
    w.bytes(e.centralExtra);
  }
  const size_t directorySize = w.size() - z.directoryOffset;
  z.endOffset = w.size();
  w.u32(kEndSignature);
  u16(w, 0);
  u16(w, 0);
  u16(w, uint16_t(entries.size()));
  u16(w, uint16_t(entries.size()));
  w.u32(uint32_t(directorySize));
  w.u32(uint32_t(z.directoryOffset));
  u16(w, uint16_t(comment.size()));
  w.bytes(comment);
  z.bytes = w.take();
  return z;
}

std::string unicodePathExtra(const std::string& headerName, const std::string& utf8Name) {
  ByteWriter w;
  u16(w, kExtraUnicodePath);
  u16(w, uint16_t(5 + utf8Name.size()));
  w.u8(1);
  w.u32(crcOf(headerName));
  w.bytes(utf8Name);
  const ByteVec v = w.take();
  return std::string(v.begin(), v.end());
}

std::string readFile(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) throw std::runtime_error("cannot read " + u8text(path));
  return std::string(std::istreambuf_iterator<char>(in), {});
}

void writeFile(const std::filesystem::path& path, const std::string& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), std::streamsize(bytes.size()));
  if (!out) throw std::runtime_error("cannot write " + u8text(path));
}

std::vector<std::string> listFolder(const std::filesystem::path& folder) {
  std::vector<std::string> names;
  for (const auto& e : std::filesystem::directory_iterator(folder)) names.push_back(u8text(e.path().filename()));
  std::sort(names.begin(), names.end());
  return names;
}

}  // namespace ql::fakerar::test
