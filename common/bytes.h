// Little-endian reads and writes over byte spans, with the bounds checks in
// one place. Readers never index a buffer directly.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace ql {

using ByteSpan = std::span<const uint8_t>;
using ByteVec = std::vector<uint8_t>;

// True when [offset, offset + size) lies inside a buffer of `total` bytes,
// computed without overflow.
constexpr bool inBounds(uint64_t offset, uint64_t size, uint64_t total) {
  return offset <= total && size <= total - offset;
}

inline uint32_t loadU32(const uint8_t* p) {
  return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}
inline uint64_t loadU64(const uint8_t* p) { return uint64_t(loadU32(p)) | uint64_t(loadU32(p + 4)) << 32; }
inline void storeU32(uint8_t* p, uint32_t v) {
  p[0] = uint8_t(v);
  p[1] = uint8_t(v >> 8);
  p[2] = uint8_t(v >> 16);
  p[3] = uint8_t(v >> 24);
}
inline void storeU64(uint8_t* p, uint64_t v) {
  storeU32(p, uint32_t(v));
  storeU32(p + 4, uint32_t(v >> 32));
}

inline std::optional<uint32_t> readU32(ByteSpan s, uint64_t offset) {
  if (!inBounds(offset, 4, s.size())) return std::nullopt;
  return loadU32(s.data() + offset);
}
inline std::optional<uint64_t> readU64(ByteSpan s, uint64_t offset) {
  if (!inBounds(offset, 8, s.size())) return std::nullopt;
  return loadU64(s.data() + offset);
}

// A NUL-terminated text starting at `offset`; nullopt when no NUL comes
// before the end of the span.
inline std::optional<std::string_view> readCString(ByteSpan s, uint64_t offset) {
  if (offset >= s.size()) return std::nullopt;
  const auto* start = s.data() + offset;
  const void* nul = std::memchr(start, 0, s.size() - offset);
  if (!nul) return std::nullopt;
  return std::string_view(reinterpret_cast<const char*>(start), static_cast<const uint8_t*>(nul) - start);
}

// Appending writer for building binary formats.
class ByteWriter {
 public:
  void u8(uint8_t v) { out_.push_back(v); }
  void u32(uint32_t v) {
    uint8_t b[4];
    storeU32(b, v);
    out_.insert(out_.end(), b, b + 4);
  }
  void u64(uint64_t v) {
    uint8_t b[8];
    storeU64(b, v);
    out_.insert(out_.end(), b, b + 8);
  }
  void bytes(ByteSpan b) { out_.insert(out_.end(), b.begin(), b.end()); }
  void bytes(std::string_view s) { out_.insert(out_.end(), s.begin(), s.end()); }
  void cstring(std::string_view s) {
    bytes(s);
    u8(0);
  }
  void zeros(size_t n) { out_.insert(out_.end(), n, 0); }
  void patchU32(size_t at, uint32_t v) { storeU32(out_.data() + at, v); }
  size_t size() const { return out_.size(); }
  ByteVec& data() { return out_; }
  ByteVec take() { return std::move(out_); }

 private:
  ByteVec out_;
};

}  // namespace ql
