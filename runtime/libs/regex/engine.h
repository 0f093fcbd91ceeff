// The regular-expression engine behind the runtime's regex library. Two
// implementations exist (PCRE2 with its JIT, Boost.Regex); the build picks
// one for the shipped library and the conformance tests run both, so the
// module sees the same matches on every platform.
//
// Semantics shared by both engines:
// - the subject and the pattern are byte strings (GBK texts): no UTF mode,
//   a byte above 0x7F is one character; case folding covers ASCII only;
// - Perl syntax; the search is unanchored, leftmost, with greedy quantifiers
//   unless the pattern asks otherwise;
// - '.' matches any byte, line breaks included; '^' and '$' match only at the
//   ends of the whole subject (the module's subjects are single lines or a
//   whole file, never something to be read line by line by the engine);
// - a search from a later offset still sees the bytes before it (for \b),
//   but '^' never matches there.
#pragma once

#include <cstddef>
#include <memory>
#include <string_view>
#include <vector>

#include "common/result.h"

namespace ql::regex {

struct GroupSpan {
  size_t begin = 0;  // byte offsets into the subject searched
  size_t end = 0;
  bool set = false;  // false: the group took no part in the match
};

struct MatchData {
  bool found = false;
  std::vector<GroupSpan> groups;  // [0] the whole match, then group 1, 2, ...
};

struct CompileOptions {
  bool ignoreCase = false;
};

// A compiled pattern. Not safe for concurrent searches: it keeps its match
// buffers between searches (the runtime uses it from one thread).
class Pattern {
 public:
  virtual ~Pattern() = default;
  virtual size_t groupCount() const = 0;
  // Searches `subject` from byte offset `start` (start > size: not found).
  // An error means the engine gave up (a resource limit), not "no match".
  virtual Result<MatchData> search(std::string_view subject, size_t start) = 0;
};

class Engine {
 public:
  virtual ~Engine() = default;
  virtual std::string_view name() const = 0;
  virtual Result<std::unique_ptr<Pattern>> compile(std::string_view pattern, CompileOptions options) const = 0;
};

// Each defined only where its engine is built in.
const Engine& pcre2Engine();
const Engine& boostEngine();

}  // namespace ql::regex
