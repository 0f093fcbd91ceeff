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

#include "model/skc_reader.h"
#include "module/support/globals.h"
#include "tools/qlscenario/app_runner.h"

namespace {

namespace fs = std::filesystem;

fs::path g_dir;
std::map<int64_t, fs::path> g_files;
std::map<int64_t, std::string> g_modulePaths;
ql::apprun::AppRunner* g_runner = nullptr;

// A model laid out as the game's files are: padded fixed-width numbers,
// several bone influences, triangle lines with a double blank.
void writeModel(const fs::path& file, int64_t vertices) {
  std::ofstream out(file, std::ios::binary);
  out << "# Character Skin Export for Interserv\r\n#\t\t\t\tbench\r\nStatic Skins: 1 Dynamic Skins: 0\r\n"
         "Static Skin S_01\r\n{\r\n  Materials: 2\r\n";
  for (const char* t : {"nm001b01.tga", "nm001f01.jpg"}) {
    out << "  Material\r\n    ColorKey  0 0 0 0\r\n    Ambient\t 0.70  0.70  0.70\r\n    Texture   " << t
        << "\r\n    Option    NONE\r\n    TwoSide   FALSE\r\n";
  }
  out << "  Vertices: " << vertices << "\r\n";
  char line[160];
  for (int64_t i = 0; i < vertices; ++i) {
    const double x = double(i % 1000) * 0.01234, y = double(i % 777) * 0.02345, z = double(i % 4100) * 0.01;
    const int n = std::snprintf(line, sizeof line,
                                "    v %9.5f %9.5f %9.5f vt %.3f %.3f Bones 2 %d 0.83333  %d 0.16667\r\n", x, y, z,
                                double(i % 1000) / 1000.0, double(i % 997) / 997.0, int(i % 40), int((i + 1) % 40));
    out.write(line, n);
  }
  out << "  Triangles: " << 2 * vertices << "\r\n";
  for (int64_t t = 0; t < 2 * vertices; ++t) {
    const int n = std::snprintf(line, sizeof line, "    f 3  %d %lld %lld %lld\r\n", int(t % 2), (long long)(t / 2),
                                (long long)((t / 2 + 1) % vertices), (long long)((t / 2 + 2) % vertices));
    out.write(line, n);
  }
  out << "\r\n}";
}

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
    writeModel(file, n);
    auto module = ql::apprun::modulePath(file);
    if (!module) return 1;
    g_files[n] = file;
    g_modulePaths[n] = *module;
    std::cout << file.filename().string() << ": " << double(fs::file_size(file)) / 1e6 << " MB\n";
  }
  const fs::path program = temp.path() / "program";
  fs::create_directories(program);
  if (!ql::apprun::seedFinishedFirstStart(program, temp.path() / "game").ok()) return 1;
  auto programModule = ql::apprun::modulePath(program);
  if (!programModule) return 1;

  ql::apprun::AppRunner runner;
  g_runner = &runner;
  runner.step([] { benchmark::RunSpecifiedBenchmarks(); });
  auto result = runner.run(*programModule);
  if (!result) {
    std::cerr << result.error().message << "\n";
    return 1;
  }
  if (!result->endedCleanly()) std::cerr << "program run: " << result->describe() << "\n";
  benchmark::Shutdown();
  return 0;
}
