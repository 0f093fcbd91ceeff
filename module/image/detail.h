// Shared by the image reader and writer: the checked cursor every piece is
// read through, and the early-return helpers for ql::Result.
#pragma once

#include <string>
#include <utility>

#include "common/bytes.h"
#include "common/result.h"
#include "module/image/image.h"

#define QL_IMAGE_CAT2(a, b) a##b
#define QL_IMAGE_CAT(a, b) QL_IMAGE_CAT2(a, b)
#define QL_IMAGE_TRY_IMPL(tmp, lhs, expr) \
  auto tmp = (expr);                      \
  if (!tmp.ok()) return tmp.error();      \
  lhs = std::move(tmp).value()
// QL_TRY(auto x, readSomething()); returns the error from the enclosing function.
#define QL_TRY(lhs, expr) QL_IMAGE_TRY_IMPL(QL_IMAGE_CAT(qlTry_, __LINE__), lhs, expr)
#define QL_CHECK(expr)                     \
  do {                                     \
    auto qlCheck_ = (expr);                \
    if (!qlCheck_.ok()) return qlCheck_.error(); \
  } while (0)

namespace ql::image::detail {

// Reads fields in order from a span. `where` names the record for messages;
// `base` is the module offset (or @form offset) of the span's first byte, so
// messages give positions a reader of a hex dump can find.
class Cursor {
 public:
  Cursor(ByteSpan bytes, std::string where, uint64_t base = 0)
      : bytes_(bytes), where_(std::move(where)), base_(base) {}

  Result<uint32_t> u32(const char* field);
  Result<int32_t> i32(const char* field) {
    QL_TRY(uint32_t v, u32(field));
    return int32_t(v);
  }
  Result<uint8_t> u8(const char* field);
  // A word the format fixes at `expected` (reserved words, the zeros of units).
  Status word(const char* field, uint32_t expected);
  Status zeros(size_t count, const char* field);
  Result<std::string> cstring(const char* field);
  Result<ByteSpan> take(uint64_t count, const char* field);
  // `count` items of `itemSize` bytes must fit in what is left: checked before
  // anything is allocated for them.
  Status fits(uint64_t count, uint64_t itemSize, const char* field) const;

  uint64_t pos() const { return pos_; }
  uint64_t remaining() const { return bytes_.size() - pos_; }
  bool atEnd() const { return pos_ == bytes_.size(); }
  const std::string& where() const { return where_; }
  void setWhere(std::string where) { where_ = std::move(where); }
  Error error(const std::string& what) const { return fail(where_ + ": " + what); }

 private:
  Error shortBy(uint64_t wanted, const char* field) const;

  ByteSpan bytes_;
  std::string where_;
  uint64_t base_;
  uint64_t pos_ = 0;
};

}  // namespace ql::image::detail
