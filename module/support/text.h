// Texts: NUL-terminated GBK byte strings in blocks of the runtime's heap. An
// absent text (null) counts as the empty text everywhere.
//
// `Text` owns one block and frees it through the free slot; `TextRef` is the
// view that arguments take (never null: an absent text reads as "").
#pragma once

#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <span>
#include <string_view>
#include <utility>

namespace ql {

// ---- The routines on raw texts ---------------------------------------------
// 0 when equal, −1 when `a` is smaller, +1 when greater; bytes compare as
// unsigned values; an absent text equals "" (and only "").
int32_t textCompare(const char* a, const char* b);
// Bytes before the NUL; 0 for an absent text.
size_t textLength(const char* s);
// A new block holding the parts one after the other, NUL-terminated; absent
// parts add nothing. The caller owns the result, even when it is empty.
char* textConcat(std::span<const char* const> parts);
// A new block with a copy of `s` (absent gives a new "").
char* textCopy(const char* s);
// A new block with the given bytes and a NUL after them.
char* textFromBytes(std::string_view bytes);

class Text;

// A borrowed text for arguments. Converts from a C string (null reads as "")
// and from a Text.
class TextRef {
 public:
  TextRef() = default;
  TextRef(const char* s) : p_(s ? s : "") {}
  TextRef(const Text& t);

  const char* c_str() const { return p_; }
  std::string_view view() const { return std::string_view(p_); }
  size_t size() const { return textLength(p_); }
  bool empty() const { return *p_ == '\0'; }

 private:
  const char* p_ = "";
};

// Equality by the text-compare rules.
inline bool operator==(TextRef a, TextRef b) { return textCompare(a.c_str(), b.c_str()) == 0; }

class Text {
 public:
  Text() = default;  // absent
  ~Text() { reset(); }
  Text(Text&& other) noexcept : p_(std::exchange(other.p_, nullptr)) {}
  Text& operator=(Text&& other) noexcept {
    if (this != &other) reset(std::exchange(other.p_, nullptr));
    return *this;
  }
  Text(const Text&) = delete;
  Text& operator=(const Text&) = delete;

  // Takes over a block of the runtime's heap (a command result, say).
  static Text adopt(char* block) {
    Text t;
    t.p_ = block;
    return t;
  }
  static Text copy(TextRef s) { return adopt(textCopy(s.c_str())); }
  static Text fromBytes(std::string_view bytes) { return adopt(textFromBytes(bytes)); }
  Text clone() const { return copy(*this); }

  bool absent() const { return p_ == nullptr; }
  bool empty() const { return !p_ || *p_ == '\0'; }
  size_t size() const { return textLength(p_); }
  const char* c_str() const { return p_ ? p_ : ""; }
  std::string_view view() const { return std::string_view(c_str()); }
  char* get() const { return p_; }  // null when absent

  // Gives up ownership, for storing the block in a module-wide variable or list.
  char* release() { return std::exchange(p_, nullptr); }
  void reset(char* block = nullptr);

 private:
  char* p_ = nullptr;
};

inline TextRef::TextRef(const Text& t) : p_(t.c_str()) {}

// One concatenation of all parts into a new text (absent parts are "").
Text concatList(std::initializer_list<TextRef> parts);

template <class... Parts>
Text concat(const Parts&... parts) {
  return concatList({TextRef(parts)...});
}

// A module-wide text variable (a `char*` in the globals) seen through its
// address: setting it frees what it held before.
class TextVar {
 public:
  explicit TextVar(char** var) : var_(var) {}
  TextRef get() const { return TextRef(*var_); }
  const char* c_str() const { return TextRef(*var_).c_str(); }
  bool empty() const { return TextRef(*var_).empty(); }
  void set(TextRef s);   // stores a copy
  void set(Text&& s);    // stores the text itself
  void clear();          // frees and leaves the variable absent
  operator TextRef() const { return get(); }

 private:
  char** var_;
};

}  // namespace ql
