// Lines and tokens of a text file written by another program (OBJ, MTL), cut
// with the runtime's GBK rule: a lead byte takes the byte after it as its
// second, whatever that byte is, so neither a line end nor a separator can
// stand right after one.
//
// Lines end at CR LF, at a bare LF and at a bare CR: other tools write all
// three. Tokens are separated by runs of blanks and TABs; a token that begins
// with "#" starts a comment that runs to the end of the line.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

#include "common/gbk.h"

namespace ql::text {

// The length of the character that begins at `at`: a lead byte with a byte
// after it is two bytes, anything else one.
inline size_t characterLength(std::string_view s, size_t at) {
  return isGbkLeadByte(uint8_t(s[at])) && at + 1 < s.size() ? 2 : 1;
}

// Calls fn(line, lineNumber) for each line of `text`, numbered from 1,
// without its line end. An empty text has no lines; a text that ends with a
// line end has an empty last line (as the runtime's split gives it). Stops
// early, returning false, when fn returns false.
template <class Fn>
bool forEachLine(std::string_view text, Fn&& fn) {
  if (text.empty()) return true;
  const size_t size = text.size();
  int32_t number = 0;
  size_t at = 0;
  for (;;) {
    size_t end = at;
    while (end < size && text[end] != '\r' && text[end] != '\n') end += characterLength(text, end);
    size_t next = end + 1;
    if (end + 1 < size && text[end] == '\r' && text[end + 1] == '\n') next = end + 2;
    if (!fn(text.substr(at, end - at), ++number)) return false;
    if (end >= size) return true;
    at = next;
  }
}

inline bool isSeparator(char c) { return c == ' ' || c == '\t'; }

// The tokens of one line, one at a time. A copy remembers where it stands.
class Tokens {
 public:
  explicit Tokens(std::string_view line) : line_(line) {}

  // The next token; an empty view when the line (or its data before a
  // comment) has no more.
  std::string_view next() {
    skipSeparators();
    if (atCommentOrEnd()) return {};
    const size_t start = at_;
    while (at_ < line_.size() && !isSeparator(line_[at_])) at_ += characterLength(line_, at_);
    return line_.substr(start, at_ - start);
  }

  // Whether another token follows. The cursor stays.
  bool more() const {
    Tokens t = *this;
    t.skipSeparators();
    return !t.atCommentOrEnd();
  }

  // Everything from the next token to the end of the line or the comment,
  // separators inside kept, those at its end dropped. The cursor stays.
  std::string_view rest() const {
    Tokens t = *this;
    t.skipSeparators();
    if (t.atCommentOrEnd()) return {};
    const size_t start = t.at_;
    size_t end = start;  // after the last byte that is no separator
    while (t.at_ < line_.size()) {
      if (isSeparator(line_[t.at_])) {
        t.skipSeparators();
        if (t.atCommentOrEnd()) break;
        continue;
      }
      t.at_ += characterLength(line_, t.at_);
      end = t.at_;
    }
    return line_.substr(start, end - start);
  }

 private:
  void skipSeparators() {
    while (at_ < line_.size() && isSeparator(line_[at_])) ++at_;
  }
  bool atCommentOrEnd() const { return at_ >= line_.size() || line_[at_] == '#'; }

  std::string_view line_;
  size_t at_ = 0;  // always on a character boundary
};

}  // namespace ql::text
