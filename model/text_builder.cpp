#include "model/text_builder.h"

#include <cstdint>
#include <cstring>
#include <utility>

#include "module/support/kernel.h"
#include "module/support/services.h"

namespace ql::model {
namespace {

// The first block is big enough for a small model's head.
constexpr size_t kInitialCapacity = 4096;

}  // namespace

TextBuilder::~TextBuilder() { svc::release(block_); }

void TextBuilder::reserve(size_t bytes) {
  // One byte more for the NUL that finish() adds.
  if (bytes < capacity_ - size_) return;
  size_t wanted = capacity_ ? capacity_ : kInitialCapacity;
  while (wanted - size_ <= bytes) {
    // Past half the address space no doubling fits: ask for the exact size
    // and let the allocator report what it cannot give.
    if (wanted > SIZE_MAX / 2) {
      wanted = size_ + bytes + 1;
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

Text TextBuilder::finish() {
  reserve(0);
  block_[size_] = '\0';
  size_ = 0;
  capacity_ = 0;
  return Text::adopt(std::exchange(block_, nullptr));
}

}  // namespace ql::model
