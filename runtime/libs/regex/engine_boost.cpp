// Boost.Regex (header-only), for platforms without a PCRE2 build.
#include <boost/regex.hpp>

#include <exception>
#include <string>

#include "runtime/libs/regex/engine.h"

namespace ql::regex {
namespace {

class BoostPattern final : public Pattern {
 public:
  explicit BoostPattern(boost::regex re) : re_(std::move(re)) {}

  size_t groupCount() const override { return re_.mark_count(); }

  Result<MatchData> search(std::string_view subject, size_t start) override {
    MatchData out;
    if (start > subject.size()) return out;
    const char* begin = subject.data();
    const char* end = begin + subject.size();
    // Searching from `start` with the whole subject as the base: '^' (the
    // buffer start under no_mod_m) matches only at the subject's first byte,
    // and \b still sees the byte before `start`, as with PCRE2.
    try {
      if (!boost::regex_search(begin + start, end, match_, re_, boost::match_default, begin)) return out;
    } catch (const std::exception& e) {
      // Boost gives up on searches it deems too complex or too deep.
      return fail("Boost.Regex search failed at offset " + std::to_string(start) + ": " + e.what());
    }
    out.found = true;
    out.groups.resize(re_.mark_count() + 1);
    for (size_t g = 0; g < out.groups.size(); ++g) {
      const auto& sub = match_[static_cast<int>(g)];
      if (!sub.matched) continue;
      out.groups[g] = GroupSpan{size_t(sub.first - begin), size_t(sub.second - begin), true};
    }
    return out;
  }

 private:
  boost::regex re_;
  boost::cmatch match_;
};

class BoostEngine final : public Engine {
 public:
  std::string_view name() const override { return "boost"; }

  Result<std::unique_ptr<Pattern>> compile(std::string_view pattern, CompileOptions options) const override {
    // mod_s: '.' matches line breaks too; no_mod_m: '^' and '$' only at the
    // subject's ends. Together they match the PCRE2 options.
    auto flags = boost::regex::perl | boost::regex::mod_s | boost::regex::no_mod_m;
    if (options.ignoreCase) flags |= boost::regex::icase;
    try {
      boost::regex re(pattern.data(), pattern.data() + pattern.size(), flags);
      return std::unique_ptr<Pattern>(std::make_unique<BoostPattern>(std::move(re)));
    } catch (const std::exception& e) {
      return fail(std::string("Boost.Regex cannot compile the pattern: ") + e.what());
    }
  }
};

}  // namespace

const Engine& boostEngine() {
  static const BoostEngine engine;
  return engine;
}

}  // namespace ql::regex
