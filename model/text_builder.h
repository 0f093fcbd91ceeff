// A text built piece by piece in one block of the runtime's heap. The block
// grows by doubling, so a writer's output costs time in proportion to its
// length, however many lines it has. Numbers become text through the
// runtime's conversion (command 0x168), one call per number.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string_view>

#include "module/support/byteset.h"
#include "module/support/text.h"

namespace ql::model {

class TextBuilder {
 public:
  TextBuilder() = default;
  ~TextBuilder();
  TextBuilder(const TextBuilder&) = delete;
  TextBuilder& operator=(const TextBuilder&) = delete;

  size_t size() const { return size_; }
  // Room for at least `bytes` more bytes without growing again.
  void reserve(size_t bytes);

  TextBuilder& append(std::string_view bytes) {
    // Most pieces fit: copy them without a call (one byte stays for the NUL).
    if (bytes.empty()) return *this;
    if (bytes.size() < capacity_ - size_) {
      std::memcpy(block_ + size_, bytes.data(), bytes.size());
      size_ += bytes.size();
      return *this;
    }
    return appendGrowing(bytes);
  }
  TextBuilder& append(TextRef s) { return append(s.view()); }
  TextBuilder& append(const Text& s) { return append(s.view()); }
  // The bytes of a byte set taken as text (the writers' templates).
  TextBuilder& appendBytes(BytesRef b);
  // Plain decimal, through the runtime's number-to-text conversion.
  TextBuilder& appendNumber(int32_t v);
  // The runtime's general float-to-text conversion of a single.
  TextBuilder& appendNumber(float v);

  // The text built so far; the builder starts again empty.
  Text finish();

 private:
  TextBuilder& appendGrowing(std::string_view bytes);

  char* block_ = nullptr;  // of the runtime's heap; NUL not kept until finish()
  size_t size_ = 0;
  size_t capacity_ = 0;
};

}  // namespace ql::model
