// The lines of an SKC text as the reader sees them: split at every CR LF (the
// pair dropped), as the runtime's split command does — no line for an empty
// text, otherwise one line more than there are CR LF pairs, empty lines kept.
//
// NOTE: the runtime's split gives one text block per line, which for a model
// of a million vertices costs more memory than the file itself. The reader
// only ever looks at one line at a time, so the lines are found once, by
// offset, and a line becomes a text of its own only while it is searched.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

#include "module/support/text.h"

namespace ql::model {

class LineIndex {
 public:
  // Line offsets are 32-bit: a text comes from a byte set, whose length is a
  // 32-bit count. Anything past this many bytes is not looked at.
  static constexpr size_t kMaxTextBytes = UINT32_MAX - 2;

  // `text` must outlive the index.
  explicit LineIndex(std::string_view text);
  ~LineIndex();
  LineIndex(const LineIndex&) = delete;
  LineIndex& operator=(const LineIndex&) = delete;

  int32_t count() const { return count_; }
  bool contains(int64_t line) const { return line >= 1 && line <= count_; }
  // Line i, counting from 1; the caller keeps i within count().
  std::string_view line(int32_t i) const;

 private:
  void push(uint32_t start);

  std::string_view text_;
  uint32_t* starts_ = nullptr;  // block of the runtime's heap; starts_[i-1] is line i's first byte
  int32_t count_ = 0;
  size_t capacity_ = 0;
};

// One NUL-terminated copy of a line at a time, in a block that is reused, so
// a line can be handed to the runtime as a text without a block of its own.
class LineText {
 public:
  LineText() = default;
  ~LineText();
  LineText(const LineText&) = delete;
  LineText& operator=(const LineText&) = delete;

  // The copy is valid until the next hold().
  TextRef hold(std::string_view line);

 private:
  char* block_ = nullptr;
  size_t capacity_ = 0;
};

}  // namespace ql::model
