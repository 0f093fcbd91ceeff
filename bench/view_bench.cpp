// One frame of the view through the real module path: the module image and
// kbase.qlr running on the headless window system, 画板1 on offscreen GL, a
// tick of 时钟1 drawing the model in the store (clear, place, turn, the
// triangle list, swap). Generated models of 5,000 to 500,000 triangles.
#include <benchmark/benchmark.h>

#include <array>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <map>
#include <random>
#include <string>
#include <vector>

#include "game/textures.h"
#include "module/support/globals.h"
#include "tools/qlscenario/app_runner.h"
#include "ui/form_ids.h"

namespace {

namespace fs = std::filesystem;

ql::apprun::AppRunner* g_runner = nullptr;

struct Model {
  std::vector<float> vertices;          // rows of x, y, z, u, v
  std::vector<std::int32_t> triangles;  // rows of material, a, b, c
  std::int32_t vertexCount = 0;
  std::int32_t triangleCount = 0;
};

// A grid over the visible part of the view, bent in depth, two triangles per
// cell: small triangles sharing vertices as a skin mesh has (about half as
// many vertices as triangles). Rows of cells alternate between materials 0
// and 1 when `materials` is 2.
Model makeModel(std::int32_t triangles, std::int32_t materials) {
  std::mt19937 rng(42);
  std::uniform_real_distribution<float> bump(-0.3f, 0.3f);
  std::int32_t side = 2;
  while (2 * side * side < triangles) ++side;
  Model m;
  m.vertexCount = (side + 1) * (side + 1);
  constexpr float kExtent = 36.0f;
  for (std::int32_t j = 0; j <= side; ++j)
    for (std::int32_t i = 0; i <= side; ++i) {
      const float u = float(i) / float(side), v = float(j) / float(side);
      m.vertices.insert(m.vertices.end(),
                        {(u - 0.5f) * kExtent, (v - 0.5f) * kExtent, 4.0f * (u - 0.5f) * (v - 0.5f) + bump(rng), u, v});
    }
  for (std::int32_t t = 0; t < triangles; ++t) {
    const std::int32_t cell = t / 2, i = cell % side, j = cell / side;
    const std::int32_t material = materials > 1 ? j % materials : 0;
    const auto at = [&](std::int32_t x, std::int32_t y) { return y * (side + 1) + x; };
    if (t % 2 == 0)
      m.triangles.insert(m.triangles.end(), {material, at(i, j), at(i + 1, j), at(i + 1, j + 1)});
    else
      m.triangles.insert(m.triangles.end(), {material, at(i, j), at(i + 1, j + 1), at(i, j + 1)});
  }
  m.triangleCount = triangles;
  return m;
}

// Fills a freshly dimensioned table of the store with the rows at once.
template <class T>
void fillTable(ql::ArrayVar<T> table, std::int32_t rows, std::int32_t columns, const std::vector<T>& values) {
  table.dimension(rows, columns);
  const std::array<std::int32_t, 2> firstElement{1, 1};
  void* at = ql::arr::elementAddress(table.block(), sizeof(T), firstElement);
  std::memcpy(at, values.data(), values.size() * sizeof(T));
}

// The store holds the model of this many triangles and materials.
void loadIntoStore(std::int32_t triangles, std::int32_t materials) {
  static std::pair<std::int32_t, std::int32_t> loaded{0, 0};
  if (loaded == std::pair{triangles, materials}) return;
  const Model m = makeModel(triangles, materials);
  ql::Globals& g = ql::globals();
  fillTable(ql::store::vertexTable(), m.vertexCount, 5, m.vertices);
  fillTable(ql::store::triangleTable(), m.triangleCount, 4, m.triangles);
  ql::game::releaseTextures();
  ql::store::textureIds().dimension(2);
  ql::store::texturePaths().dimension(2);
  if (materials > 1) {
    const std::string folder = ql::TextRef(ql::store::textureFolder()).c_str();
    ql::store::texturePaths().setText((folder + "\\a.tga").c_str(), 1);
    ql::store::texturePaths().setText((folder + "\\b.tga").c_str(), 2);
    ql::game::prepareTextures();
  }
  g.vertexCount = m.vertexCount;
  g.triangleCount = m.triangleCount;
  g.modelLoaded = 1;
  loaded = {triangles, materials};
}

void BM_ViewFrame(benchmark::State& state) {
  const auto triangles = std::int32_t(state.range(0));
  const auto mode = std::int32_t(state.range(1));
  const auto materials = std::int32_t(state.range(2));
  loadIntoStore(triangles, materials);
  ql::globals().displayMode = mode;
  auto& windows = g_runner->windows();
  const std::int32_t swapsBefore = windows.swapCount(ql::ui::kMainWindowId, ql::ui::kDrawingArea1Id);
  for (auto _ : state) {
    auto ticked = windows.tick(ql::ui::kMainWindowId, ql::ui::kTimer1Id);
    if (!ticked || !*ticked) {
      state.SkipWithError("时钟1 did not tick");
      return;
    }
  }
  const std::int32_t frames = windows.swapCount(ql::ui::kMainWindowId, ql::ui::kDrawingArea1Id) - swapsBefore;
  if (frames != std::int32_t(state.iterations())) state.SkipWithError("a tick drew no frame (no offscreen GL?)");
  state.SetItemsProcessed(state.iterations() * triangles);
}

// Filled (batched), line strips (one primitive per triangle) and filled
// with two textured materials. Wall time: llvmpipe rasterises on threads of
// its own, and the swap reads the frame back, which waits for it.
void frameArgs(benchmark::internal::Benchmark* b) {
  for (std::int64_t n : {5000, 50000, 500000}) {
    b->Args({n, 4, 1});
    b->Args({n, 3, 1});
    b->Args({n, 4, 2});
  }
  b->ArgNames({"triangles", "mode", "materials"})->Unit(benchmark::kMillisecond)->UseRealTime();
}
BENCHMARK(BM_ViewFrame)->Apply(frameArgs);

void writeTga(const fs::path& file, std::uint8_t r, std::uint8_t g, std::uint8_t b) {
  constexpr int kSide = 256;
  std::string out(18, '\0');
  out[2] = 2;
  out[12] = char(kSide & 0xFF);
  out[13] = char(kSide >> 8);
  out[14] = char(kSide & 0xFF);
  out[15] = char(kSide >> 8);
  out[16] = 32;
  out[17] = 0x28;
  for (int i = 0; i < kSide * kSide; ++i) out += {char(b), char(g ^ (i & 0x1F)), char(r), char(0xFF)};
  std::ofstream(file, std::ios::binary).write(out.data(), std::streamsize(out.size()));
}

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  ql::apprun::TempFolder temp("qlviewbench");
  const fs::path program = temp.path() / "program";
  fs::create_directories(program);
  if (!ql::apprun::seedFinishedFirstStart(program, temp.path() / "game").ok()) return 1;
  writeTga(program / ql::apprun::kTextureFolderName / "a.tga", 200, 120, 40);
  writeTga(program / ql::apprun::kTextureFolderName / "b.tga", 40, 120, 200);
  auto programModule = ql::apprun::modulePath(program);
  if (!programModule) return 1;
  if (!ql::apprun::offscreenGlAvailable()) {
    std::cerr << "no offscreen GL in this build\n";
    return 1;
  }

  ql::apprun::AppRunner runner;
  runner.setOffscreenGl(true);
  g_runner = &runner;
  runner.step([] {
    // The model in the middle of the view.
    (void)g_runner->windows().scroll(ql::ui::kMainWindowId, ql::ui::kScrollBar2Id, 50);
    benchmark::RunSpecifiedBenchmarks();
  });
  auto result = runner.run(*programModule);
  if (!result) {
    std::cerr << result.error().message << "\n";
    return 1;
  }
  if (!result->endedCleanly()) std::cerr << "program run: " << result->describe() << "\n";
  benchmark::Shutdown();
  return 0;
}
