#include "runtime/kernel/commands/text_ops.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <limits>
#include <system_error>

#include "common/gbk.h"

namespace ql::rt {

namespace {

constexpr long long kExponentCap = 1'000'000'000;  // far beyond any double, no overflow

bool isLeadByte(uint8_t b) { return isGbkLeadByte(b); }

// Walks the character boundaries of a GBK text from its start.
class Boundaries {
 public:
  explicit Boundaries(std::string_view text) : text_(text) {}
  // The first boundary at or after `pos`.
  size_t atOrAfter(size_t pos) {
    while (at_ < pos) step();
    return at_;
  }
  size_t current() const { return at_; }
  void step() {
    if (at_ >= text_.size()) {
      ++at_;
      return;
    }
    at_ += (isLeadByte(uint8_t(text_[at_])) && at_ + 1 < text_.size()) ? 2 : 1;
  }

 private:
  std::string_view text_;
  size_t at_ = 0;
};

char asciiLower(char c) { return (c >= 'A' && c <= 'Z') ? char(c - 'A' + 'a') : c; }

// Case-insensitive match of `sought` at `pos`, character by character, so that
// the second byte of a double-byte character is never folded.
bool matchesIgnoringCase(std::string_view text, size_t pos, std::string_view sought) {
  if (pos + sought.size() > text.size()) return false;
  size_t i = 0;
  while (i < sought.size()) {
    const char a = text[pos + i];
    const char b = sought[i];
    if (isLeadByte(uint8_t(b)) && i + 1 < sought.size()) {
      if (a != b || text[pos + i + 1] != sought[i + 1]) return false;
      i += 2;
      continue;
    }
    if (asciiLower(a) != asciiLower(b)) return false;
    ++i;
  }
  return true;
}

// Calls `onMatch(offset)` for each occurrence that starts on a character
// boundary at or after `from`, left to right, non-overlapping; stops when it
// returns false.
template <class OnMatch>
void forEachOccurrence(std::string_view text, std::string_view sought, size_t from, bool ignoreCase, OnMatch onMatch) {
  if (sought.empty() || sought.size() > text.size()) return;
  Boundaries boundaries(text);
  size_t pos = boundaries.atOrAfter(from);
  while (pos + sought.size() <= text.size()) {
    size_t candidate;
    if (ignoreCase) {
      candidate = matchesIgnoringCase(text, pos, sought) ? pos : std::string_view::npos;
      if (candidate == std::string_view::npos) {
        boundaries.step();
        pos = boundaries.current();
        continue;
      }
    } else {
      candidate = text.find(sought, pos);
      if (candidate == std::string_view::npos) return;
      pos = boundaries.atOrAfter(candidate);
      if (pos != candidate) continue;  // inside a double-byte character
    }
    if (!onMatch(candidate)) return;
    pos = boundaries.atOrAfter(candidate + sought.size());
  }
}

int32_t toPosition(size_t offset) {
  // Texts beyond 2 GB cannot be addressed by 32-bit positions anyway.
  return offset >= size_t(std::numeric_limits<int32_t>::max()) ? -1 : int32_t(offset + 1);
}

size_t clampCount(int64_t n, size_t size) {
  if (n <= 0) return 0;
  return uint64_t(n) >= size ? size : size_t(n);
}

// The exponent written from `i` on ("e-12"; none: 0), capped far beyond any double.
long long writtenExponent(std::string_view number, size_t i) {
  if (i >= number.size() || (number[i] != 'e' && number[i] != 'E')) return 0;
  ++i;
  bool negative = false;
  if (i < number.size() && (number[i] == '+' || number[i] == '-')) negative = number[i++] == '-';
  long long exponent = 0;
  for (; i < number.size() && number[i] >= '0' && number[i] <= '9'; ++i)
    exponent = std::min<long long>(exponent * 10 + (number[i] - '0'), kExponentCap);
  return negative ? -exponent : exponent;
}

// from_chars rejected the number as out of range: an overflow or an
// underflow. The decimal exponent of its first significant digit tells which.
double outOfRangeValue(std::string_view number, bool negative) {
  long long integerDigits = 0;
  long long sequence = 0;  // digits seen, the point skipped
  std::optional<long long> firstSignificant;
  bool afterPoint = false;
  size_t i = 0;
  for (; i < number.size(); ++i) {
    const char c = number[i];
    if (c == '.') {
      afterPoint = true;
      continue;
    }
    if (c < '0' || c > '9') break;
    if (!afterPoint) ++integerDigits;
    if (c != '0' && !firstSignificant) firstSignificant = sequence;
    ++sequence;
  }
  if (!firstSignificant) return negative ? -0.0 : 0.0;
  const long long magnitude = integerDigits - 1 - *firstSignificant + writtenExponent(number, i);
  const double value = magnitude > 0 ? std::numeric_limits<double>::infinity() : 0.0;
  return negative ? -value : value;
}

template <class T>
size_t writeShortestText(T value, char* buffer, size_t capacity) {
  auto [end, ec] = std::to_chars(buffer, buffer + capacity, value);
  if (ec != std::errc()) {
    buffer[0] = '0';
    return 1;
  }
  return size_t(end - buffer);
}

}  // namespace

std::string_view leftPart(std::string_view text, int64_t n) { return text.substr(0, clampCount(n, text.size())); }

std::string_view rightPart(std::string_view text, int64_t n) {
  const size_t count = clampCount(n, text.size());
  return text.substr(text.size() - count);
}

std::string_view midPart(std::string_view text, int64_t start, int64_t n) {
  if (start < 1) start = 1;
  if (uint64_t(start) > text.size()) return {};
  const std::string_view rest = text.substr(size_t(start - 1));
  return rest.substr(0, clampCount(n, rest.size()));
}

int32_t findText(std::string_view text, std::string_view sought, int64_t start, bool ignoreCase) {
  if (start < 1) start = 1;
  if (uint64_t(start) > text.size()) return -1;
  int32_t found = -1;
  forEachOccurrence(text, sought, size_t(start - 1), ignoreCase, [&](size_t offset) {
    found = toPosition(offset);
    return false;
  });
  return found;
}

int32_t findLastText(std::string_view text, std::string_view sought, std::optional<int64_t> start, bool ignoreCase) {
  if (start && *start < 1) return -1;
  int32_t found = -1;
  forEachOccurrence(text, sought, 0, ignoreCase, [&](size_t offset) {
    if (start && uint64_t(offset) + 1 > uint64_t(*start)) return false;
    found = toPosition(offset);
    return true;
  });
  // Non-overlapping scanning could step over a later overlapping occurrence
  // ("aa" in "aaa" is last at 2): look again from just after the last find.
  while (found > 0 && !sought.empty()) {
    const int32_t next = findText(text, sought, int64_t(found) + 1, ignoreCase);
    if (next < 0 || (start && next > *start)) break;
    found = next;
  }
  return found;
}

std::vector<std::string> splitText(std::string_view text, std::string_view delimiter, std::optional<int64_t> limit) {
  std::vector<std::string> pieces;
  if (text.empty()) return pieces;
  const bool limited = limit && *limit > 0;
  size_t pieceStart = 0;
  forEachOccurrence(text, delimiter, 0, false, [&](size_t offset) {
    if (limited && int64_t(pieces.size()) + 1 >= *limit) return false;
    pieces.emplace_back(text.substr(pieceStart, offset - pieceStart));
    pieceStart = offset + delimiter.size();
    return true;
  });
  pieces.emplace_back(text.substr(pieceStart));
  return pieces;
}

#if defined(__i386__)
#if !defined(__SSE2_MATH__)
#error "32-bit x86 builds need -msse2 -mfpmath=sse: number texts must read back as on 64-bit builds"
#endif
// Clinger's fast path: a mantissa of at most 19 digits and 2^53, scaled by a
// power of ten up to 10^22; both are exact doubles, so one multiplication or
// division rounds correctly. libstdc++'s from_chars takes the same path, but
// the 32-bit x86 library computes it in the x87 unit's extended precision and
// rounds twice, one unit in the last place off now and then (4.352274065132296e+28).
// Here it runs in SSE2 doubles; other numbers still go to from_chars, whose
// slow path is integer arithmetic.
std::optional<double> fastPathValue(std::string_view number) {
  static constexpr double kPowers[] = {1e0,  1e1,  1e2,  1e3,  1e4,  1e5,  1e6,  1e7,  1e8,  1e9,  1e10, 1e11,
                                       1e12, 1e13, 1e14, 1e15, 1e16, 1e17, 1e18, 1e19, 1e20, 1e21, 1e22};
  uint64_t mantissa = 0;
  int significant = 0;
  long long exponent = 0;
  size_t i = 0;
  bool afterPoint = false;
  for (; i < number.size(); ++i) {
    const char c = number[i];
    if (c == '.') {
      afterPoint = true;
      continue;
    }
    if (c < '0' || c > '9') break;
    if (mantissa != 0 || c != '0') {
      if (++significant > 19) return std::nullopt;
      mantissa = mantissa * 10 + uint64_t(c - '0');
    }
    if (afterPoint) --exponent;
  }
  exponent += writtenExponent(number, i);
  if (mantissa > (uint64_t(1) << 53) || exponent < -22 || exponent > 22) return std::nullopt;
  const double m = double(mantissa);
  return exponent >= 0 ? m * kPowers[exponent] : m / kPowers[-exponent];
}
#endif

double textToDouble(std::string_view text) {
  size_t i = 0;
  while (i < text.size() && (text[i] == ' ' || text[i] == '\t' || text[i] == '\r' || text[i] == '\n')) ++i;
  bool negative = false;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
  const size_t numberStart = i;
  size_t digits = 0;
  while (i < text.size() && text[i] >= '0' && text[i] <= '9') ++i, ++digits;
  if (i < text.size() && text[i] == '.') {
    ++i;
    while (i < text.size() && text[i] >= '0' && text[i] <= '9') ++i, ++digits;
  }
  if (digits == 0) return 0.0;
  // An exponent counts only when at least one digit follows it ("1e" is 1).
  if (i < text.size() && (text[i] == 'e' || text[i] == 'E')) {
    size_t j = i + 1;
    if (j < text.size() && (text[j] == '+' || text[j] == '-')) ++j;
    if (j < text.size() && text[j] >= '0' && text[j] <= '9') {
      while (j < text.size() && text[j] >= '0' && text[j] <= '9') ++j;
      i = j;
    }
  }
  const std::string_view number = text.substr(numberStart, i - numberStart);
#if defined(__i386__)
  if (auto exact = fastPathValue(number)) return negative ? -*exact : *exact;
#endif
  double value = 0.0;
  auto [end, ec] = std::from_chars(number.data(), number.data() + number.size(), value, std::chars_format::general);
  if (ec == std::errc::result_out_of_range) return outOfRangeValue(number, negative);
  if (ec != std::errc()) return 0.0;
  return negative ? -value : value;
}

int32_t doubleToInteger(double value) {
  if (std::isnan(value)) return 0;
  const double truncated = std::trunc(value);
  if (truncated >= double(std::numeric_limits<int32_t>::max())) return std::numeric_limits<int32_t>::max();
  if (truncated <= double(std::numeric_limits<int32_t>::min())) return std::numeric_limits<int32_t>::min();
  return int32_t(truncated);
}

int32_t textToInteger(std::string_view text) { return doubleToInteger(textToDouble(text)); }

NumberText::NumberText(int32_t value) : length_(writeShortestText(value, buffer_, kCapacity)) {}
NumberText::NumberText(float value) : length_(writeShortestText(value, buffer_, kCapacity)) {}
NumberText::NumberText(double value) : length_(writeShortestText(value, buffer_, kCapacity)) {}

std::string integerToText(int32_t value) { return std::string(NumberText(value).view()); }
std::string floatToText(float value) { return std::string(NumberText(value).view()); }
std::string doubleToText(double value) { return std::string(NumberText(value).view()); }

}  // namespace ql::rt
