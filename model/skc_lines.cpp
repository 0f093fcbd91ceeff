#include "model/skc_lines.h"

#include <cstring>

#include "module/support/services.h"

namespace ql::model {
namespace {

constexpr size_t kSeparatorBytes = 2;  // CR LF
constexpr size_t kFirstLineCapacity = 1024;
constexpr size_t kFirstTextCapacity = 256;

}  // namespace

LineIndex::LineIndex(std::string_view text) : text_(text.substr(0, kMaxTextBytes)) {
  if (text_.empty()) return;
  push(0);
  const char* const base = text_.data();
  const size_t size = text_.size();
  size_t from = 0;
  while (from + 1 < size) {
    const void* cr = std::memchr(base + from, '\r', size - 1 - from);
    if (!cr) break;
    const size_t at = size_t(static_cast<const char*>(cr) - base);
    if (base[at + 1] == '\n') {
      push(uint32_t(at + kSeparatorBytes));
      from = at + kSeparatorBytes;
    } else {
      from = at + 1;
    }
  }
}

LineIndex::~LineIndex() { svc::release(starts_); }

void LineIndex::push(uint32_t start) {
  if (size_t(count_) == capacity_) {
    // NOTE: at most kMaxTextBytes / 2 + 1 lines, which fits an int32_t.
    capacity_ = capacity_ ? capacity_ * 2 : kFirstLineCapacity;
    const size_t bytes = capacity_ * sizeof(uint32_t);
    starts_ = static_cast<uint32_t*>(starts_ ? svc::reallocate(starts_, bytes) : svc::allocate(bytes));
  }
  starts_[count_++] = start;
}

std::string_view LineIndex::line(int32_t i) const {
  const size_t start = starts_[i - 1];
  const size_t end = i < count_ ? starts_[i] - kSeparatorBytes : text_.size();
  return text_.substr(start, end - start);
}

LineText::~LineText() { svc::release(block_); }

TextRef LineText::hold(std::string_view line) {
  if (line.size() >= capacity_) {
    size_t wanted = capacity_ ? capacity_ : kFirstTextCapacity;
    while (wanted <= line.size()) wanted *= 2;
    svc::release(block_);
    block_ = nullptr;  // the old line is not kept: no copy on growth
    block_ = static_cast<char*>(svc::allocate(wanted));
    capacity_ = wanted;
  }
  if (!line.empty()) std::memcpy(block_, line.data(), line.size());
  block_[line.size()] = '\0';
  return TextRef(block_);
}

}  // namespace ql::model
