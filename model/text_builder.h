// A text built piece by piece in one block of the runtime's heap. The block
// grows by doubling, so a writer's output costs time in proportion to its
// length, however many lines it has. Numbers become text through the
// runtime's conversion (command 0x168), one call per number.
//
// A builder made for a byte set keeps the byte-set header in front of the
// text in the same block, so the finished text goes to the write-file
// command as it is, without a copy.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>
#include <string_view>

#include "module/support/byteset.h"
#include "module/support/text.h"

namespace ql::model {

class TextBuilder {
 public:
  enum class Layout { kText, kByteSet };

  explicit TextBuilder(Layout layout = Layout::kText);
  ~TextBuilder();
  TextBuilder(const TextBuilder&) = delete;
  TextBuilder& operator=(const TextBuilder&) = delete;

  // Bytes of text so far (without a byte-set header).
  size_t size() const { return size_ - start_; }
  // The text so far; valid until the next append.
  std::string_view view() const { return block_ ? std::string_view(block_ + start_, size()) : std::string_view(); }
  // Room for at least `bytes` more bytes without growing again.
  void reserve(size_t bytes);

  TextBuilder& append(std::string_view bytes) {
    // Most pieces fit: copy them without a call (one byte stays for the NUL).
    // Both sizes are of blocks in memory, so their sum cannot wrap.
    if (bytes.empty()) return *this;
    if (size_ + bytes.size() < capacity_) {
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

  // The text built so far (text layout only); the builder starts again empty.
  Text finish();
  // The text built so far as a byte set (byte-set layout only); the builder
  // starts again empty. A text beyond the byte set's 32-bit length stops the
  // module with the runtime's out-of-memory error, as the runtime's own
  // text-to-bytes conversion does.
  Bytes finishBytes();

 private:
  TextBuilder& appendGrowing(std::string_view bytes);
  void startBlock();

  char* block_ = nullptr;  // of the runtime's heap; NUL not kept until finish()
  size_t start_ = 0;       // where the text begins: after the byte-set header, if any
  size_t size_ = 0;        // end of the text in the block
  size_t capacity_ = 0;
};

// Texts made once per key (0 … keys − 1) and reused after: a writer repeats
// the same numbers (a vertex's index and texture coordinates on every
// triangle that uses it), and each repeat would otherwise be one more
// conversion by the runtime.
class TextCache {
 public:
  // `bytesPerKey`: the expected length of one text, reserved up front.
  TextCache(size_t keys, size_t bytesPerKey);

  bool covers(int64_t key) const { return key >= 0 && uint64_t(key) < keys_; }
  // The text of `key` (covers(key) must hold); `make(TextBuilder&)` appends
  // it on the first use. Valid until the next call.
  template <class Make>
  std::string_view get(size_t key, Make&& make) {
    uint64_t& slot = slots_[key];
    if (slot == 0) {
      const size_t begin = texts_.size();
      make(texts_);
      const size_t length = texts_.size() - begin;
      const std::string_view made = texts_.view().substr(begin);
      // A text too long for a slot is made again on each use.
      if (length > kMaxLength || begin > kMaxBegin) return made;
      slot = kFilled | uint64_t(begin) << kLengthBits | uint64_t(length);
      return made;
    }
    const size_t begin = size_t((slot & ~kFilled) >> kLengthBits);
    const size_t length = size_t(slot & kMaxLength);
    return texts_.view().substr(begin, length);
  }

 private:
  static constexpr unsigned kLengthBits = 8;
  static constexpr uint64_t kMaxLength = (uint64_t(1) << kLengthBits) - 1;
  static constexpr uint64_t kFilled = uint64_t(1) << 63;
  static constexpr uint64_t kMaxBegin = (kFilled - 1) >> kLengthBits;

  size_t keys_;
  std::unique_ptr<uint64_t[]> slots_;  // 0: not made yet; else filled bit, begin, length
  TextBuilder texts_;
};

}  // namespace ql::model
