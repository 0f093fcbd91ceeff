// The regular-expression library's commands (support library row 2) as two
// RAII objects. Each object is a pointer-sized variable of ours that the
// runtime fills; commands get the variable's address with the object's type
// code as tag, so the objects stay where they are (no copies, no moves).
#pragma once

#include <cstdint>

#include "module/support/args.h"

namespace ql::regex {

enum Code : int32_t {
  kConstruct = 0x004,
  kDestroy = 0x008,
  kSetPattern = 0x00C,
  kSearch = 0x01C,
  kMatchConstruct = 0x020,
  kMatchDestroy = 0x024,
  kMatchNotFound = 0x028,
  kMatchGroup = 0x030,
};

class Match;

class Regex {
 public:
  Regex();
  ~Regex();
  Regex(const Regex&) = delete;
  Regex& operator=(const Regex&) = delete;

  // Compiling again replaces the previous pattern.
  void setPattern(TextRef pattern);
  // Searches the subject from position 1; `into` takes over the new match
  // and destroys the one it held.
  void search(TextRef subject, Match& into);

  const intptr_t* variable() const { return &var_; }

 private:
  intptr_t var_ = 0;
};

class Match {
 public:
  Match();
  ~Match();
  Match(const Match&) = delete;
  Match& operator=(const Match&) = delete;

  bool notFound();
  // The text of capture group n (from 1) for the subject that was searched.
  Text group(TextRef subject, int32_t n);

  const intptr_t* variable() const { return &var_; }
  // Destroys the current match object and holds `handle` instead.
  void takeOver(intptr_t handle);

 private:
  intptr_t var_ = 0;
};

}  // namespace ql::regex

namespace ql::imgconv {
constexpr int32_t kToBmp = 0x004;
// Converts an image file into a BMP file (support library row 3).
void toBmp(TextRef source, TextRef target);
}  // namespace ql::imgconv

namespace ql::net {
constexpr int32_t kFetch = 0x01C;
// The content fetched from an HTTP address (support library row 5); the
// runtime gives an empty or absent byte set when the fetch fails.
Bytes fetch(TextRef address);
}  // namespace ql::net
