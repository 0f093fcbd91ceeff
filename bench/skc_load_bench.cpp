// SKC load of generated models (5,000 / 100,000 / 1,000,000 vertices, twice
// as many triangles) through the real program, against the plain cost of
// reading the same file into memory. Peak memory of a load is measured as the
// growth of the process's resident high-water mark (reset before each load).
#include <benchmark/benchmark.h>
#include <malloc.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <map>
#include <string>

#include "bench/bench_support.h"
#include "model/skc_reader.h"
#include "module/support/globals.h"
#include "tools/qlscenario/app_runner.h"

namespace {

namespace fs = std::filesystem;

fs::path g_dir;
std::map<int64_t, fs::path> g_files;
std::map<int64_t, std::string> g_modulePaths;
ql::apprun::AppRunner* g_runner = nullptr;

long statusKb(const char* key) {
  std::ifstream in("/proc/self/status");
  std::string k;
  long v = -1;
  std::string rest;
  while (in >> k) {
    if (k == key) {
      in >> v;
      return v;
    }
    std::getline(in, rest);
  }
  return -1;
}

// Resets the resident high-water mark; false where the kernel does not allow it.
bool resetPeak() {
  std::ofstream f("/proc/self/clear_refs");
  f << "5";
  f.flush();
  return bool(f);
}

void BM_ReadIntoMemory(benchmark::State& state) {
  const fs::path& file = g_files.at(state.range(0));
  for (auto _ : state) {
    std::ifstream in(file, std::ios::binary);
    std::string bytes(fs::file_size(file), '\0');
    in.read(bytes.data(), std::streamsize(bytes.size()));
    benchmark::DoNotOptimize(bytes.data());
  }
  state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(fs::file_size(file)));
}

void BM_SkcLoad(benchmark::State& state) {
  const int64_t vertices = state.range(0);
  const std::string& path = g_modulePaths.at(vertices);
  const double fileBytes = double(fs::file_size(g_files.at(vertices)));
  double peakRatio = 0;
  for (auto _ : state) {
    g_runner->windows().answerMessageBox(0);  // "k" + T
    state.PauseTiming();
    const long before = statusKb("VmRSS:");
    const bool peakKnown = resetPeak();
    state.ResumeTiming();
    ql::model::loadSkcModel(path.c_str());
    state.PauseTiming();
    if (peakKnown) peakRatio = std::max(peakRatio, double(statusKb("VmHWM:") - before) * 1024.0 / fileBytes);
    state.ResumeTiming();
  }
  if (ql::globals().vertexCount != vertices || ql::globals().triangleCount != 2 * vertices) {
    state.SkipWithError("the model did not load whole");
  }
  state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(fileBytes));
  state.counters["file_MB"] = fileBytes / 1e6;
  state.counters["peak_x_file"] = peakRatio;
}

void sizes(benchmark::internal::Benchmark* b) {
  for (int64_t n : {5000, 100000, 1000000}) b->Arg(n);
}

BENCHMARK(BM_ReadIntoMemory)->Apply(sizes)->Unit(benchmark::kMillisecond)->Iterations(3)->Repetitions(5)
    ->ReportAggregatesOnly(true);
BENCHMARK(BM_SkcLoad)->Apply(sizes)->Unit(benchmark::kMillisecond)->Iterations(1)->Repetitions(5)
    ->ReportAggregatesOnly(true);

}  // namespace

int main(int argc, char** argv) {
  // Big blocks are mapped and given back when freed, so one load's leftovers
  // do not hide the next one's peak.
  mallopt(M_MMAP_THRESHOLD, 128 * 1024);
  mallopt(M_TRIM_THRESHOLD, 128 * 1024);
  benchmark::Initialize(&argc, argv);
  ql::apprun::TempFolder temp("qlskcbench");
  g_dir = temp.path() / "game" / "pmodel";
  fs::create_directories(g_dir);
  for (int64_t n : {5000, 100000, 1000000}) {
    const fs::path file = g_dir / ("m" + std::to_string(n) + ".skc");
    ql::bench::writeGeneratedSkc(file, n);
    auto module = ql::apprun::modulePath(file);
    if (!module) return 1;
    g_files[n] = file;
    g_modulePaths[n] = *module;
    std::cout << file.filename().string() << ": " << double(fs::file_size(file)) / 1e6 << " MB\n";
  }
  return ql::bench::runBenchmarksInProgram(temp.path(), g_runner);
}
