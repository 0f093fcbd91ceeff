// PCRE2 (8-bit code units, no UTF) with its JIT where the platform has one.
#define PCRE2_CODE_UNIT_WIDTH 8
#include <pcre2.h>

#include <string>

#include "runtime/libs/regex/engine.h"

namespace ql::regex {
namespace {

// The JIT stack grows on demand up to this size; deep backtracking over a
// multi-megabyte line needs far more than PCRE2's 32 KiB default.
constexpr size_t kJitStackStart = 64 * 1024;
constexpr size_t kJitStackMax = 32 * 1024 * 1024;
// When the JIT stack is exhausted the interpreter takes over, with its
// backtracking memory bounded by this many KiB.
constexpr uint32_t kHeapLimitKiB = 64 * 1024;

std::string pcre2Message(int code) {
  PCRE2_UCHAR buffer[256];
  if (pcre2_get_error_message(code, buffer, sizeof buffer) < 0) return "PCRE2 error " + std::to_string(code);
  return reinterpret_cast<const char*>(buffer);
}

class Pcre2Pattern final : public Pattern {
 public:
  Pcre2Pattern(pcre2_code* code, bool jit) : code_(code), jit_(jit) {
    uint32_t captures = 0;
    pcre2_pattern_info(code_, PCRE2_INFO_CAPTURECOUNT, &captures);
    groupCount_ = captures;
    matchData_ = pcre2_match_data_create_from_pattern(code_, nullptr);
    context_ = pcre2_match_context_create(nullptr);
    if (context_) pcre2_set_heap_limit(context_, kHeapLimitKiB);
    if (jit_ && context_) {
      jitStack_ = pcre2_jit_stack_create(kJitStackStart, kJitStackMax, nullptr);
      if (jitStack_) pcre2_jit_stack_assign(context_, nullptr, jitStack_);
    }
  }
  ~Pcre2Pattern() override {
    pcre2_jit_stack_free(jitStack_);
    pcre2_match_context_free(context_);
    pcre2_match_data_free(matchData_);
    pcre2_code_free(code_);
  }
  Pcre2Pattern(const Pcre2Pattern&) = delete;
  Pcre2Pattern& operator=(const Pcre2Pattern&) = delete;

  size_t groupCount() const override { return groupCount_; }

  Result<MatchData> search(std::string_view subject, size_t start) override {
    MatchData out;
    if (start > subject.size()) return out;
    if (!matchData_ || !context_) return fail("PCRE2: out of memory for match data");
    const auto* s = reinterpret_cast<PCRE2_SPTR>(subject.data());
    int rc = pcre2_match(code_, s, subject.size(), start, 0, matchData_, context_);
    if (rc == PCRE2_ERROR_JIT_STACKLIMIT)
      rc = pcre2_match(code_, s, subject.size(), start, PCRE2_NO_JIT, matchData_, context_);
    if (rc == PCRE2_ERROR_NOMATCH) return out;
    if (rc < 0) return fail("PCRE2 search failed at offset " + std::to_string(start) + ": " + pcre2Message(rc));
    const PCRE2_SIZE* ov = pcre2_get_ovector_pointer(matchData_);
    out.found = true;
    out.groups.resize(groupCount_ + 1);
    // rc counts the pairs up to the highest group that was set; later ones
    // are unset, as are inner ones marked PCRE2_UNSET.
    for (size_t g = 0; g < out.groups.size() && g < size_t(rc); ++g) {
      if (ov[2 * g] == PCRE2_UNSET) continue;
      out.groups[g] = GroupSpan{ov[2 * g], ov[2 * g + 1], true};
    }
    return out;
  }

 private:
  pcre2_code* code_;
  bool jit_;
  size_t groupCount_ = 0;
  pcre2_match_data* matchData_ = nullptr;
  pcre2_match_context* context_ = nullptr;
  pcre2_jit_stack* jitStack_ = nullptr;
};

class Pcre2Engine final : public Engine {
 public:
  std::string_view name() const override { return "pcre2"; }

  Result<std::unique_ptr<Pattern>> compile(std::string_view pattern, CompileOptions options) const override {
    uint32_t flags = PCRE2_DOTALL | PCRE2_DOLLAR_ENDONLY;
    if (options.ignoreCase) flags |= PCRE2_CASELESS;
    int error = 0;
    PCRE2_SIZE errorOffset = 0;
    pcre2_code* code = pcre2_compile(reinterpret_cast<PCRE2_SPTR>(pattern.data()), pattern.size(), flags, &error,
                                     &errorOffset, nullptr);
    if (!code)
      return fail("PCRE2 cannot compile the pattern at offset " + std::to_string(errorOffset) + ": " +
                  pcre2Message(error));
    // Without a JIT (an unsupported platform) the interpreter serves alone.
    const bool jit = pcre2_jit_compile(code, PCRE2_JIT_COMPLETE) == 0;
    return std::unique_ptr<Pattern>(std::make_unique<Pcre2Pattern>(code, jit));
  }
};

}  // namespace

const Engine& pcre2Engine() {
  static const Pcre2Engine engine;
  return engine;
}

}  // namespace ql::regex
