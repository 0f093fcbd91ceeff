// The text and number operations behind the kernel's commands, on GBK byte
// strings. Positions count bytes from 1; "not found" is -1.
//
// Searches only accept matches that begin on a character boundary: in GBK
// the second byte of a Chinese character may equal an ASCII byte (0x5C, the
// backslash, among them), and a path cut at such a byte would be corrupt.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace ql::rt {

// The leftmost / rightmost n bytes; n below 0 gives "", beyond the length the
// whole text.
std::string_view leftPart(std::string_view text, int64_t n);
std::string_view rightPart(std::string_view text, int64_t n);
// n bytes from position `start`; a start below 1 counts as 1, a start past the
// end or an n below 1 gives "", an n past the end stops at the end.
std::string_view midPart(std::string_view text, int64_t start, int64_t n);

// First occurrence at or after `start` (below 1 counts as 1). An empty sought
// text is never found. `ignoreCase` folds ASCII letters of single-byte
// characters only.
int32_t findText(std::string_view text, std::string_view sought, int64_t start, bool ignoreCase);
// Last occurrence; with `start`, the last one that begins at or before it.
int32_t findLastText(std::string_view text, std::string_view sought, std::optional<int64_t> start, bool ignoreCase);

// The pieces between occurrences of `delimiter`; delimiters dropped, empty
// pieces kept, an empty text gives no pieces, an empty delimiter one piece.
// With `limit` above 0 there are at most that many pieces, the last holding
// the rest of the text.
std::vector<std::string> splitText(std::string_view text, std::string_view delimiter, std::optional<int64_t> limit);

// Leading blanks, sign, digits, '.', digits, exponent: the longest valid prefix
// is read; no digits at all gives 0. No locale is involved. A value beyond the
// double range gives an infinity, one below it 0.
double textToDouble(std::string_view text);
// The text as a number, truncated toward zero and held to the 32-bit range.
int32_t textToInteger(std::string_view text);
int32_t doubleToInteger(double value);

// Decimal texts. Floating-point values get the shortest text that reads back
// to the same value (no spaces, no thousands separators).
std::string integerToText(int32_t value);
std::string floatToText(float value);
std::string doubleToText(double value);

// The same decimal text, held in place: the number-to-text command copies it
// once into the block it returns, with no string in between (writers convert
// millions of numbers through it).
class NumberText {
 public:
  explicit NumberText(int32_t value);
  explicit NumberText(float value);
  explicit NumberText(double value);
  std::string_view view() const { return std::string_view(buffer_, length_); }

 private:
  // The longest shortest double text ("-2.2250738585072014e-308") has 24 bytes.
  static constexpr size_t kCapacity = 32;
  char buffer_[kCapacity];
  size_t length_ = 0;
};

}  // namespace ql::rt
