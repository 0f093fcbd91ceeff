// The SKC reader's regular expressions over a large model, engine by
// engine: 1M vertex lines and 2M triangle lines, each searched, its groups
// taken and converted to numbers, as the reader does.
#include <benchmark/benchmark.h>

#include <charconv>
#include <cstdio>
#include <string>
#include <vector>

#include "runtime/libs/regex/engine.h"

namespace {

using ql::regex::Engine;

constexpr size_t kVertexLines = 1'000'000;
constexpr size_t kTriangleLines = 2'000'000;
const char* const kVertexPattern = " *v +([^ ]+) +([^ ]+) +([^ ]+) +vt +([^ ]+) +([^ ]+) +Bones +(.*)";
const char* const kTrianglePattern = " +f 3 +([0-9]+) +([0-9]+) +([0-9]+) +([0-9]+)";

const std::vector<std::string>& vertexLines() {
  static const std::vector<std::string> lines = [] {
    std::vector<std::string> out;
    out.reserve(kVertexLines);
    char buf[160];
    for (size_t i = 0; i < kVertexLines; ++i) {
      std::snprintf(buf, sizeof buf, "    v %9.5f %9.5f %9.5f vt %.3f %.3f Bones 2 %zu 0.83333  %zu 0.16667",
                    double(i % 997) * 0.013 - 5, double(i % 991) * 0.011, double(i % 983) * 0.041,
                    double(i % 1000) / 1000, 1.0 - double(i % 777) / 1000, i % 30, (i + 7) % 30);
      out.emplace_back(buf);
    }
    return out;
  }();
  return lines;
}

const std::vector<std::string>& triangleLines() {
  static const std::vector<std::string> lines = [] {
    std::vector<std::string> out;
    out.reserve(kTriangleLines);
    for (size_t i = 0; i < kTriangleLines; ++i)
      out.push_back("    f 3  " + std::to_string(i % 8) + " " + std::to_string(i % 1500) + " " +
                    std::to_string((i + 1) % 1500) + " " + std::to_string((i + 2) % 1500));
    return out;
  }();
  return lines;
}

double toNumber(std::string_view s) {
  double d = 0;
  std::from_chars(s.data(), s.data() + s.size(), d);
  return d;
}

// groups: how many groups to convert; the rest (the bone text) is copied.
void runLines(benchmark::State& state, const Engine& engine, const char* pattern,
              const std::vector<std::string>& lines, size_t numericGroups, bool copyLast) {
  auto compiled = engine.compile(pattern, {});
  if (!compiled) {
    state.SkipWithError(compiled.error().message.c_str());
    return;
  }
  auto& p = *compiled.value();
  for (auto _ : state) {
    double sum = 0;
    size_t matched = 0, copied = 0;
    for (const std::string& line : lines) {
      auto r = p.search(line, 0);
      if (!r || !r->found) continue;
      ++matched;
      const std::string_view s(line);
      for (size_t g = 1; g <= numericGroups; ++g)
        sum += toNumber(s.substr(r->groups[g].begin, r->groups[g].end - r->groups[g].begin));
      if (copyLast) {
        const auto& last = r->groups[numericGroups + 1];
        std::string bones(s.substr(last.begin, last.end - last.begin));
        copied += bones.size();
      }
    }
    if (matched != lines.size()) state.SkipWithError("a generated line did not match");
    benchmark::DoNotOptimize(sum);
    benchmark::DoNotOptimize(copied);
  }
  state.SetItemsProcessed(int64_t(state.iterations()) * int64_t(lines.size()));
}

void BM_VertexLines(benchmark::State& state, const Engine* engine) {
  runLines(state, *engine, kVertexPattern, vertexLines(), 5, true);
}
void BM_TriangleLines(benchmark::State& state, const Engine* engine) {
  runLines(state, *engine, kTrianglePattern, triangleLines(), 4, false);
}

BENCHMARK_CAPTURE(BM_VertexLines, pcre2, &ql::regex::pcre2Engine())->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_VertexLines, boost, &ql::regex::boostEngine())->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_TriangleLines, pcre2, &ql::regex::pcre2Engine())->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_TriangleLines, boost, &ql::regex::boostEngine())->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
