// glTF export and import of the generated model (1,000,000 vertices,
// 2,000,000 triangles; a quarter of it as well, to show a linear cost) in the
// running program (real module code and kernel, headless windows), against
// reading the same .glb into memory in the same run. The targets: the import
// within 3 × that read (counter x_read), the export at 300 MB/s or more of
// the file it writes (bytes_per_second).
#include <benchmark/benchmark.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <map>
#include <string>

#include "bench/bench_support.h"
#include "formats/gltf_commands.h"
#include "model/skc_reader.h"
#include "module/support/globals.h"
#include "tools/qlscenario/app_runner.h"
#include "ui/form_ids.h"

namespace {

namespace fs = std::filesystem;

constexpr int64_t kVertices = 1'000'000;
constexpr int64_t kQuarter = kVertices / 4;

struct Model {
  fs::path skc, glb;
  std::string skcModule, glbModule;
  double readSeconds = 0;  // the last read of the .glb into memory
};

ql::apprun::AppRunner* g_runner = nullptr;
std::map<int64_t, Model> g_models;
int64_t g_loaded = 0;  // the vertices of the model in the store

bool load(int64_t vertices) {
  if (g_loaded == vertices) return true;
  g_runner->windows().answerMessageBox(0);  // "k" and the triangle count
  ql::model::loadSkcModel(g_models.at(vertices).skcModule.c_str());
  g_loaded = ql::globals().vertexCount == vertices ? vertices : 0;
  return g_loaded == vertices;
}

// The export command but its dialog and box, which the script answers.
bool exportGlb(int64_t vertices) {
  static const auto menu = ql::apprun::menuItemByPath("文件/输出/glTF格式");
  auto& windows = g_runner->windows();
  windows.confirmFileDialog(g_models.at(vertices).glbModule);
  windows.answerMessageBox(0);
  return menu && windows.clickMenu(ql::ui::kMainWindowId, *menu).ok();
}

void BM_GltfExport(benchmark::State& state) {
  const int64_t vertices = state.range(0);
  if (!load(vertices)) {
    state.SkipWithError("the SKC model did not load");
    return;
  }
  for (auto _ : state)
    if (!exportGlb(vertices)) state.SkipWithError("the export menu failed");
  const auto bytes = fs::file_size(g_models.at(vertices).glb);
  state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(bytes));
  state.counters["glb_MB"] = double(bytes) / 1e6;
}

void BM_ReadGlbIntoMemory(benchmark::State& state) {
  Model& m = g_models.at(state.range(0));
  if (!fs::exists(m.glb) && !(load(state.range(0)) && exportGlb(state.range(0)))) {
    state.SkipWithError("no .glb to read");
    return;
  }
  for (auto _ : state) {
    const auto start = std::chrono::steady_clock::now();
    std::ifstream in(m.glb, std::ios::binary);
    std::string bytes(fs::file_size(m.glb), '\0');
    in.read(bytes.data(), std::streamsize(bytes.size()));
    benchmark::DoNotOptimize(bytes.data());
    m.readSeconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  }
  state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(fs::file_size(m.glb)));
}

void BM_GltfImport(benchmark::State& state) {
  const int64_t vertices = state.range(0);
  const Model& m = g_models.at(vertices);
  if (m.readSeconds == 0) {
    state.SkipWithError("run BM_ReadGlbIntoMemory first");
    return;
  }
  double seconds = 0;
  for (auto _ : state) {
    const auto start = std::chrono::steady_clock::now();
    const bool ok = ql::formats::importGltfFile(m.glbModule.c_str());
    seconds += std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    if (!ok || ql::globals().vertexCount != vertices || ql::globals().triangleCount != 2 * vertices)
      state.SkipWithError("the import refused the file or gave wrong counts");
  }
  g_loaded = 0;  // the store now holds what the import made
  state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(fs::file_size(m.glb)));
  state.counters["x_read"] = seconds / double(state.iterations()) / m.readSeconds;
}

void sizes(benchmark::internal::Benchmark* b) { b->Arg(kVertices)->Arg(kQuarter); }

BENCHMARK(BM_GltfExport)->Apply(sizes)->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(BM_ReadGlbIntoMemory)->Apply(sizes)->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(BM_GltfImport)->Apply(sizes)->Unit(benchmark::kMillisecond)->Iterations(3);

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  ql::apprun::TempFolder temp("qlgltfbench");
  const fs::path dir = temp.path() / "models";
  fs::create_directories(dir);
  for (int64_t n : {kVertices, kQuarter}) {
    Model m;
    m.skc = dir / ("m" + std::to_string(n) + ".skc");
    m.glb = dir / ("m" + std::to_string(n) + ".glb");
    ql::bench::writeGeneratedSkc(m.skc, n);
    auto skc = ql::apprun::modulePath(m.skc);
    auto glb = ql::apprun::modulePath(m.glb);
    if (!skc || !glb) return 1;
    m.skcModule = *skc;
    m.glbModule = *glb;
    g_models[n] = m;
  }
  return ql::bench::runBenchmarksInProgram(temp.path(), g_runner);
}
