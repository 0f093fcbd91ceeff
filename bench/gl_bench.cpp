// One view frame on offscreen GL through the OpenGL binding: the view's way
// (one begin/end and three texture-coordinate/vertex pairs per triangle,
// each a command with its argument record) against the one-call triangle
// list, on models of 5,000 to 500,000 triangles.
#include <benchmark/benchmark.h>

#include <random>
#include <vector>

#include "tests/opengl/gl_harness.h"

namespace {

using namespace ql::gltest;

struct Model {
  std::vector<float> vertices;
  std::vector<std::int32_t> triangles;
  std::uint32_t vertexCount = 0;
  std::uint32_t triangleCount = 0;
};

// A grid mesh over the visible part of the view, bent in depth, two
// triangles per cell: small triangles sharing vertices, as a skin mesh has
// (about half as many vertices as triangles).
Model makeModel(std::uint32_t triangles) {
  std::mt19937 rng(42);
  std::uniform_real_distribution<float> bump(-0.3f, 0.3f);
  std::uint32_t side = 2;
  while (2 * side * side < triangles) ++side;  // cells per row
  Model m;
  m.vertexCount = (side + 1) * (side + 1);
  m.vertices.reserve(size_t(m.vertexCount) * 5);
  constexpr float kExtent = 36.0f;
  for (std::uint32_t j = 0; j <= side; ++j)
    for (std::uint32_t i = 0; i <= side; ++i) {
      const float u = float(i) / float(side), v = float(j) / float(side);
      m.vertices.insert(m.vertices.end(),
                        {(u - 0.5f) * kExtent, (v - 0.5f) * kExtent, 4.0f * (u - 0.5f) * (v - 0.5f) + bump(rng), u, v});
    }
  m.triangles.reserve(size_t(triangles) * 4);
  for (std::uint32_t t = 0; t < triangles; ++t) {
    const std::uint32_t cell = t / 2, i = cell % side, j = cell / side;
    const auto at = [&](std::uint32_t x, std::uint32_t y) { return std::int32_t(y * (side + 1) + x); };
    if (t % 2 == 0)
      m.triangles.insert(m.triangles.end(), {1, at(i, j), at(i + 1, j), at(i + 1, j + 1)});
    else
      m.triangles.insert(m.triangles.end(), {1, at(i, j), at(i + 1, j + 1), at(i, j + 1)});
  }
  m.triangleCount = triangles;
  return m;
}

View& sharedView() {
  static View view;
  static bool setUp = false;
  if (!setUp && view.ok()) {
    view.setUp();
    setUp = true;
  }
  return view;
}

void perTriangleFrame(View& view, const Model& m, std::int32_t mode) {
  const GlLibrary& lib = view.lib();
  view.beginFrame();
  for (std::uint32_t t = 0; t < m.triangleCount; ++t) {
    const std::int32_t* row = &m.triangles[size_t(t) * 4];
    lib.call(ql::gl::kCmdBegin, {intArg(mode)});
    for (int k = 1; k <= 3; ++k) {
      const float* v = &m.vertices[size_t(row[k]) * 5];
      lib.call(ql::gl::kCmdTexCoord2d, {doubleArg(v[3]), doubleArg(v[4])});
      lib.call(ql::gl::kCmdVertex3d, {doubleArg(v[0]), doubleArg(v[1]), doubleArg(v[2])});
    }
    lib.call(ql::gl::kCmdEnd, {});
  }
  view.swap();
}

void BM_FramePerTriangle(benchmark::State& state) {
  View& view = sharedView();
  if (!view.ok()) {
    state.SkipWithError(view.error().c_str());
    return;
  }
  const Model m = makeModel(std::uint32_t(state.range(0)));
  const auto mode = std::int32_t(state.range(1));
  for (auto _ : state) perTriangleFrame(view, m, mode);
  state.SetItemsProcessed(state.iterations() * state.range(0));
}

void BM_FrameTriangleList(benchmark::State& state) {
  View& view = sharedView();
  if (!view.ok()) {
    state.SkipWithError(view.error().c_str());
    return;
  }
  const Model m = makeModel(std::uint32_t(state.range(0)));
  const auto mode = std::int32_t(state.range(1));
  const auto vertices = arrayBlock<float>({m.vertexCount, 5}, m.vertices);
  const auto triangles = arrayBlock<std::int32_t>({m.triangleCount, 4}, m.triangles);
  for (auto _ : state) {
    view.beginFrame();
    view.lib().call(ql::gl::kCmdDrawTriangleList,
                    {addressArg(vertices.data(), ql::gl::kTagFloatArray),
                     addressArg(triangles.data(), ql::abi::kTagIntArray), intArg(std::int32_t(m.triangleCount)),
                     intArg(mode), omittedArg()});
    view.swap();
  }
  state.SetItemsProcessed(state.iterations() * state.range(0));
}

// Mode 4 (filled, batched by the list) and mode 2 (line loops, one
// begin/end per triangle in the list too). Wall time: llvmpipe rasterises
// on threads of its own and the swap waits for it.
void frameArgs(benchmark::internal::Benchmark* b) {
  for (std::int64_t mode : {4, 2})
    for (std::int64_t n : {5000, 50000, 500000}) b->Args({n, mode});
  b->ArgNames({"triangles", "mode"})->Unit(benchmark::kMillisecond)->UseRealTime();
}

BENCHMARK(BM_FramePerTriangle)->Apply(frameArgs);
BENCHMARK(BM_FrameTriangleList)->Apply(frameArgs);

}  // namespace

BENCHMARK_MAIN();
