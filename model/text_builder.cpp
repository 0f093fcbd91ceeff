#include "model/text_builder.h"

#include <cstdint>
#include <cstring>
#include <limits>
#include <utility>

#include "module/support/kernel.h"
#include "module/support/services.h"

namespace ql::model {
namespace {

// The first block is big enough for a small model's head.
constexpr size_t kInitialCapacity = 4096;
// A one-dimensional byte set: u32 dimension count 1, u32 length, the bytes.
constexpr size_t kByteSetHeader = 8;
constexpr uint32_t kOneDimension = 1;
// The runtime's code for a block it cannot make (its text-to-bytes command
// stops with it for a text beyond 32-bit length).
constexpr int32_t kErrOutOfMemory = 23;

void storeU32(char* at, uint32_t v) { std::memcpy(at, &v, sizeof v); }

}  // namespace

TextBuilder::TextBuilder(Layout layout) : start_(layout == Layout::kByteSet ? kByteSetHeader : 0), size_(start_) {}

TextBuilder::~TextBuilder() { svc::release(block_); }

void TextBuilder::reserve(size_t bytes) {
  // One byte more for the NUL that finish() adds; size_ <= capacity_ once a
  // block exists, and before it size_ is the header alone.
  if (block_ && bytes < capacity_ - size_) return;
  if (bytes > SIZE_MAX - size_ - 1) svc::runtimeError(kErrOutOfMemory);
  const size_t needed = size_ + bytes + 1;
  size_t wanted = capacity_ ? capacity_ : kInitialCapacity;
  while (wanted < needed) {
    // Past half the address space no doubling fits: ask for the exact size
    // and let the allocator report what it cannot give.
    if (wanted > SIZE_MAX / 2) {
      wanted = needed;
      break;
    }
    wanted *= 2;
  }
  block_ = static_cast<char*>(svc::reallocate(block_, wanted));
  capacity_ = wanted;
}

TextBuilder& TextBuilder::appendGrowing(std::string_view bytes) {
  reserve(bytes.size());
  std::memcpy(block_ + size_, bytes.data(), bytes.size());
  size_ += bytes.size();
  return *this;
}

TextBuilder& TextBuilder::appendBytes(BytesRef b) { return append(b.view()); }

TextBuilder& TextBuilder::appendNumber(int32_t v) { return append(kernel::toText(v)); }

TextBuilder& TextBuilder::appendNumber(float v) { return append(kernel::toText(v)); }

void TextBuilder::startBlock() {
  size_ = start_;
  capacity_ = 0;
}

Text TextBuilder::finish() {
  reserve(0);
  block_[size_] = '\0';
  startBlock();
  return Text::adopt(std::exchange(block_, nullptr));
}

Bytes TextBuilder::finishBytes() {
  reserve(0);
  const size_t length = size();
  if (length > std::numeric_limits<uint32_t>::max()) svc::runtimeError(kErrOutOfMemory);
  storeU32(block_, kOneDimension);
  storeU32(block_ + 4, uint32_t(length));
  startBlock();
  return Bytes::adopt(std::exchange(block_, nullptr));
}

TextCache::TextCache(size_t keys, size_t bytesPerKey) : keys_(keys), slots_(new uint64_t[keys ? keys : 1]()) {
  if (keys > 0 && bytesPerKey <= SIZE_MAX / keys) texts_.reserve(keys * bytesPerKey);
}

}  // namespace ql::model
