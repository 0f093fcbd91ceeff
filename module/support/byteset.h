// Byte sets: one-dimensional byte arrays (u32 count 1, u32 length, bytes).
// File contents and fixed templates travel as byte sets.
#pragma once

#include <cstdint>
#include <span>
#include <string_view>
#include <utility>

#include "module/support/services.h"

namespace ql {

namespace arr {
// A new byte set holding a copy of `bytes`.
void* makeByteSet(std::span<const uint8_t> bytes);
// The bytes of a byte set block; empty for null. A block of more than one
// dimension counts all its elements.
std::span<const uint8_t> byteSetBytes(const void* block);
}  // namespace arr

class Bytes;

// A borrowed byte set for arguments: never null (a missing set reads as an
// empty one), so the runtime always gets a block it can read.
class BytesRef {
 public:
  BytesRef();
  BytesRef(const Bytes& b);
  static BytesRef fromBlock(const void* block);

  const void* block() const { return block_; }
  std::span<const uint8_t> bytes() const { return arr::byteSetBytes(block_); }
  std::string_view view() const;
  size_t size() const { return bytes().size(); }

 private:
  const void* block_;
};

class Bytes {
 public:
  Bytes() = default;  // absent
  ~Bytes() { svc::release(block_); }
  Bytes(Bytes&& other) noexcept : block_(std::exchange(other.block_, nullptr)) {}
  Bytes& operator=(Bytes&& other) noexcept {
    if (this != &other) {
      svc::release(block_);
      block_ = std::exchange(other.block_, nullptr);
    }
    return *this;
  }
  Bytes(const Bytes&) = delete;
  Bytes& operator=(const Bytes&) = delete;

  static Bytes adopt(void* block) {
    Bytes b;
    b.block_ = block;
    return b;
  }
  static Bytes copy(std::span<const uint8_t> bytes) { return adopt(arr::makeByteSet(bytes)); }
  static Bytes copy(std::string_view bytes) {
    return copy(std::span<const uint8_t>(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size()));
  }

  bool absent() const { return block_ == nullptr; }
  void* block() const { return block_; }
  std::span<const uint8_t> bytes() const { return arr::byteSetBytes(block_); }
  std::string_view view() const {
    auto b = bytes();
    return std::string_view(reinterpret_cast<const char*>(b.data()), b.size());
  }
  size_t size() const { return bytes().size(); }
  void* release() { return std::exchange(block_, nullptr); }

 private:
  void* block_ = nullptr;
};

inline BytesRef::BytesRef(const Bytes& b) : BytesRef(fromBlock(b.block())) {}
inline std::string_view BytesRef::view() const {
  auto b = bytes();
  return std::string_view(reinterpret_cast<const char*>(b.data()), b.size());
}

}  // namespace ql
