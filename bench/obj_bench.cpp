// OBJ import and export of a large generated model (1,000,000 vertices,
// 2,000,000 triangles) in the running program (real module code and kernel,
// headless windows), against reading the same file into memory and parsing it
// with tinyobjloader. Besides the times, each import reports the growth of the
// process's peak resident set it caused (peak_MB), measured from a reset of
// the peak (/proc/self/clear_refs) with the heap trimmed before. Import and
// export also run on a quarter of the model (argument: thousands of
// vertices): equal bytes per second at both sizes show a linear cost. The
// generated coordinates take about a thousand values each, which the export's
// cache of number texts serves; the export of a quarter model whose every
// number differs shows the cost without that help.
#include <benchmark/benchmark.h>
#include <malloc.h>
#include <tiny_obj_loader.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <streambuf>
#include <string>
#include <vector>

#include "formats/obj_import.h"
#include "module/support/globals.h"
#include "tools/qlscenario/app_runner.h"
#include "ui/form_ids.h"

namespace {

namespace fs = std::filesystem;

constexpr int kVertices = 1'000'000;
constexpr int kTriangles = 2'000'000;
constexpr int kFacesPerMaterial = 1000;
constexpr int kQuarter = 4;

// A generated model: its file and the module's path to it.
struct Generated {
  int vertices;
  int triangles;
  bool distinct;  // every coordinate a number of its own
  fs::path obj;
  std::string module;
};

ql::apprun::AppRunner* g_runner = nullptr;
fs::path g_dir;
fs::path g_obj;  // the full model
std::vector<Generated> g_models;

const Generated* modelWith(int64_t thousandVertices, bool distinct = false) {
  for (const Generated& m : g_models)
    if (m.vertices == thousandVertices * 1000 && m.distinct == distinct) return &m;
  return nullptr;
}

void writeModel(const fs::path& path, int vertices, int triangles, bool distinct) {
  std::ofstream obj(path, std::ios::binary);
  std::string s;
  s.reserve(size_t(vertices) * 60 + size_t(triangles) * 32);
  s += "# generated\r\nmtllib big.mtl\r\no mesh.obj";
  char line[128];
  for (int i = 0; i < vertices; ++i) {
    const int n = distinct ? std::snprintf(line, sizeof line, "\r\nv %.7g %.7g %.7g", i * 0.0001234 - 6.0,
                                           i * 0.0004321 + 0.5, 20.0 - i * 0.0000777)
                           : std::snprintf(line, sizeof line, "\r\nv %.5f %.5f %.5f", (i % 1000) * 0.01234 - 6.0,
                                           (i / 1000) * 0.04321, ((i * 7) % 997) * 0.05 - 20.0);
    s.append(line, size_t(n));
  }
  for (int i = 0; i < vertices; ++i) {
    const int n = distinct ? std::snprintf(line, sizeof line, "\r\nvt %.7g %.7g", double(i) / vertices,
                                           1.0 - double(i) / vertices / 3)
                           : std::snprintf(line, sizeof line, "\r\nvt %.4f %.4f", (i % 1000) / 999.0,
                                           (i / 1000) / 999.0);
    s.append(line, size_t(n));
  }
  for (int t = 0; t < triangles; ++t) {
    if (t % kFacesPerMaterial == 0) s += (t / kFacesPerMaterial) % 2 ? "\r\nusemtl skin" : "\r\nusemtl hair";
    const int a = t / 2 + 1, b = (t / 2 + 1) % vertices + 1, c = (t / 2 + 1000) % vertices + 1;
    const int n = std::snprintf(line, sizeof line, "\r\nf %d/%d %d/%d %d/%d", a, a, b, b, c, c);
    s.append(line, size_t(n));
  }
  obj.write(s.data(), std::streamsize(s.size()));
}

// ---- Peak resident memory -----------------------------------------------------
long statusKb(const char* key) {
  std::ifstream in("/proc/self/status");
  std::string k;
  long v = 0;
  while (in >> k) {
    if (k == key) {
      in >> v;
      return v;
    }
    in.ignore(1 << 20, '\n');
  }
  return -1;
}
// Returns the resident set now, after trimming the heap and resetting the peak.
long startPeak() {
  malloc_trim(0);
  std::ofstream("/proc/self/clear_refs") << "5";
  return statusKb("VmRSS:");
}
double peakGrowthMb(long baselineKb) { return double(statusKb("VmHWM:") - baselineKb) / 1024.0; }

// ---- tinyobjloader on the file read into memory ----------------------------------
struct MemoryBuf : std::streambuf {
  MemoryBuf(char* b, size_t n) { setg(b, b, b + n); }
};

void BM_TinyobjloaderReadAndParse(benchmark::State& state) {
  for (auto _ : state) {
    const long base = startPeak();
    std::string bytes;
    {
      std::ifstream in(g_obj, std::ios::binary);
      bytes.resize(size_t(fs::file_size(g_obj)));
      in.read(bytes.data(), std::streamsize(bytes.size()));
    }
    MemoryBuf buf(bytes.data(), bytes.size());
    std::istream objStream(&buf);
    tinyobj::MaterialFileReader mtl(g_dir.string() + "/");
    tinyobj::attrib_t attrib;
    std::vector<tinyobj::shape_t> shapes;
    std::vector<tinyobj::material_t> materials;
    std::string warn, err;
    const bool ok = tinyobj::LoadObj(&attrib, &shapes, &materials, &warn, &err, &objStream, &mtl);
    if (!ok || attrib.vertices.size() != size_t(kVertices) * 3) state.SkipWithError("tinyobjloader failed");
    state.counters["peak_MB"] = peakGrowthMb(base);
    benchmark::DoNotOptimize(shapes.data());
  }
  state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(fs::file_size(g_obj)));
}

// ---- The tool's import and export -----------------------------------------------
const Generated* g_loaded = nullptr;  // the model in the store

bool importModel(const Generated& m) {
  g_loaded = nullptr;
  if (!ql::formats::importObjFile(m.module.c_str()) || ql::globals().vertexCount != m.vertices ||
      ql::globals().triangleCount != m.triangles)
    return false;
  g_loaded = &m;
  return true;
}

void BM_ObjImport(benchmark::State& state) {
  const Generated* m = modelWith(state.range(0));
  if (!m) {
    state.SkipWithError("no such model");
    return;
  }
  for (auto _ : state) {
    const long base = startPeak();
    if (!importModel(*m)) state.SkipWithError("import refused the file or gave wrong counts");
    state.counters["peak_MB"] = peakGrowthMb(base);
  }
  state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(fs::file_size(m->obj)));
}

// The whole export command (OBJ, MTL, side files) but its dialog and box,
// which the script answers.
void exportModel(benchmark::State& state, const Generated* m) {
  if (!m || (g_loaded != m && !importModel(*m))) {
    state.SkipWithError("no model to export");
    return;
  }
  const fs::path out = g_dir / "out" / "export.obj";
  fs::create_directories(out.parent_path());
  const auto menu = ql::apprun::menuItemByPath("文件/输出/OBJ格式");
  const auto path = ql::apprun::modulePath(out);
  if (!menu || !path) {
    state.SkipWithError("no export menu");
    return;
  }
  auto& windows = g_runner->windows();
  for (auto _ : state) {
    windows.confirmFileDialog(*path);
    windows.answerMessageBox(0);
    if (!windows.clickMenu(ql::ui::kMainWindowId, *menu).ok()) state.SkipWithError("menu click failed");
  }
  state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(fs::file_size(out)));
  state.counters["obj_MB"] = double(fs::file_size(out)) / 1e6;
}

void BM_ObjExport(benchmark::State& state) { exportModel(state, modelWith(state.range(0))); }
void BM_ObjExportDistinctNumbers(benchmark::State& state) { exportModel(state, modelWith(state.range(0), true)); }

BENCHMARK(BM_ObjImport)->ArgName("kvertices")->Arg(kVertices / 1000)->Arg(kVertices / 1000 / kQuarter)
    ->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(BM_TinyobjloaderReadAndParse)->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(BM_ObjExport)->ArgName("kvertices")->Arg(kVertices / 1000)->Arg(kVertices / 1000 / kQuarter)
    ->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(BM_ObjExportDistinctNumbers)->ArgName("kvertices")->Arg(kVertices / 1000 / kQuarter)
    ->Unit(benchmark::kMillisecond)->Iterations(3);

}  // namespace

int main(int argc, char** argv) {
  // Fixed thresholds: big blocks are mapped and given back when freed, so one
  // measurement's leftovers do not hide the next one's peak.
  mallopt(M_MMAP_THRESHOLD, 128 * 1024);
  mallopt(M_TRIM_THRESHOLD, 128 * 1024);
  benchmark::Initialize(&argc, argv);
  ql::apprun::TempFolder temp("qlobjbench");
  g_dir = temp.path() / "model";
  fs::create_directories(g_dir);
  g_obj = g_dir / "big.obj";
  std::ofstream(g_dir / "big.mtl", std::ios::binary) << "newmtl hair\r\nmap_Kd hair.tga\r\nnewmtl skin\r\nmap_Kd skin.tga";
  g_models = {{kVertices, kTriangles, false, g_obj, {}},
              {kVertices / kQuarter, kTriangles / kQuarter, false, g_dir / "quarter.obj", {}},
              {kVertices / kQuarter, kTriangles / kQuarter, true, g_dir / "distinct.obj", {}}};
  for (Generated& m : g_models) {
    writeModel(m.obj, m.vertices, m.triangles, m.distinct);
    auto module = ql::apprun::modulePath(m.obj);
    if (!module) return 1;
    m.module = *module;
  }
  const fs::path program = temp.path() / "program";
  fs::create_directories(program);
  if (!ql::apprun::seedFinishedFirstStart(program, temp.path() / "game").ok()) return 1;
  auto programModule = ql::apprun::modulePath(program);
  if (!programModule) return 1;
  std::cout << "OBJ file: " << fs::file_size(g_obj) / 1e6 << " MB\n";

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
