// The SKC and AC3D writers' text for generated models of 100,000 and
// 1,000,000 vertices (as many triangles), built by the module code with
// every number converted by the runtime (command 0x168), next to the same
// numbers formatted in place without crossing the boundary.
#include <benchmark/benchmark.h>

#include <array>
#include <charconv>
#include <cstring>
#include <string>

#include "formats/ac3d_writer.h"
#include "model/skc_writer.h"
#include "module/app/image_link.h"
#include "module/support/support.h"
#include "qvkm_image.h"
#include "tests/writers/kernel_slots.h"

namespace {

// Holds one generated model in the store for the benchmarks of one size.
class GeneratedModel {
 public:
  explicit GeneratedModel(int32_t vertices) : vertices_(vertices) {
    // The real kernel commands and allocator; any other service stops the run.
    writers::kernel_slots::setHandlers({});
    ql::svc::setSlotTable(writers::kernel_slots::table());
    ql::setGlobals(&vars_);
    ql::initGlobals();
    ql::app::setConstBase(ql::app::imageBase() + ql::gen::kConstData);

    ql::store::skcHead().set(
        "# Character Skin Export for Interserv\r\n{\r\n  Materials: 1\r\n  Material\r\n    Texture   a.tga\r\n");
    ql::store::texturePaths().appendText("C:\\x\\lx_ptx_tmp\\a.tga");
    auto vt = ql::store::vertexTable();
    vt.dimension(vertices, 5);
    auto bones = ql::store::boneTexts();
    bones.dimension(vertices);
    for (int32_t i = 0; i < vertices; ++i) {
      // Values like a character model's: positions to five decimals, z up to
      // 41, texture coordinates slightly outside 0..1.
      const float row[5] = {float(i % 997) * 0.01337f - 5.0f, float(i % 991) * 0.01101f, float(i % 983) * 0.04171f,
                            float(i % 1000) / 1000.0f - 0.01f, 1.02f - float(i % 777) / 1000.0f};
      for (int c = 0; c < 5; ++c) vt.at(i + 1, c + 1) = row[c];
      bones.setText(i % 2 ? "2 11 0.83333  2 0.16667" : "1 4 1", i + 1);
    }
    auto tt = ql::store::triangleTable();
    tt.dimension(vertices, 4);
    for (int32_t t = 0; t < vertices; ++t) {
      tt.at(t + 1, 1) = t % 4;
      tt.at(t + 1, 2) = t;
      tt.at(t + 1, 3) = (t + 1) % vertices;
      tt.at(t + 1, 4) = (t + 2) % vertices;
    }
    vars_.vertexCount = vertices;
    vars_.triangleCount = vertices;
    vars_.materialCount = 1;
    vars_.modelLoaded = 1;
  }
  ~GeneratedModel() {
    ql::cleanupGlobals();
    ql::setGlobals(nullptr);
    ql::svc::setSlotTable(nullptr);
  }

 private:
  int32_t vertices_;
  ql::Globals vars_{};
};

template <class Build>
void runWriter(benchmark::State& state, Build build) {
  GeneratedModel model(int32_t(state.range(0)));
  size_t bytes = 0;
  for (auto _ : state) {
    ql::Text text = build();
    bytes = text.size();
    benchmark::DoNotOptimize(text.get());
  }
  state.SetBytesProcessed(int64_t(bytes) * int64_t(state.iterations()));
  state.counters["text_MB"] = double(bytes) / 1e6;
}

void BM_SkcText(benchmark::State& state) { runWriter(state, [] { return ql::model::buildSkcText(); }); }
void BM_Ac3dText(benchmark::State& state) { runWriter(state, [] { return ql::formats::buildAc3dText(); }); }

// The floor: the SKC vertex and triangle lines with std::to_chars into one
// std::string, no runtime call per number.
void BM_SkcLinesInPlace(benchmark::State& state) {
  GeneratedModel model(int32_t(state.range(0)));
  const int32_t n = int32_t(state.range(0));
  auto vt = ql::store::vertexTable();
  auto tt = ql::store::triangleTable();
  auto bones = ql::store::boneTexts();
  size_t bytes = 0;
  for (auto _ : state) {
    std::string out;
    out.reserve(size_t(n) * 100);
    char buf[32];
    auto num = [&](auto v) {
      auto r = std::to_chars(buf, buf + sizeof buf, v);
      out.append(buf, r.ptr);
    };
    for (int32_t i = 1; i <= n; ++i) {
      out += "    v   ";
      for (int c = 1; c <= 5; ++c) {
        num(float(vt.get(i, c)));
        out += c == 3 ? " vt " : " ";
      }
      out += "Bones ";
      out += bones.text(i).view();
      out += "\r\n";
    }
    for (int32_t t = 1; t <= n; ++t) {
      out += "    f 3 ";
      for (int c = 1; c <= 4; ++c) {
        num(int32_t(tt.get(t, c)));
        out += c == 4 ? "\r\n" : " ";
      }
    }
    bytes = out.size();
    benchmark::DoNotOptimize(out.data());
  }
  state.SetBytesProcessed(int64_t(bytes) * int64_t(state.iterations()));
}

// One number through the runtime's conversion (0x168) and back to the free
// service: what every number of a writer's text costs at the boundary.
void BM_NumberToTextCall(benchmark::State& state) {
  GeneratedModel model(1);
  float v = 0.418f;
  for (auto _ : state) {
    ql::Text t = ql::kernel::toText(v);
    benchmark::DoNotOptimize(t.get());
    v += 0.001f;
  }
  state.SetItemsProcessed(int64_t(state.iterations()));
}

// The floor set by memory alone: a fresh block of the runtime's heap as large
// as the SKC text, every byte written once. Where first touches of fresh
// pages are expensive (virtual machines), this is most of a large export.
void BM_FreshBlockOfTextSize(benchmark::State& state) {
  GeneratedModel model(int32_t(state.range(0)));
  const size_t bytes = ql::model::buildSkcText().size();
  for (auto _ : state) {
    void* block = ql::svc::allocate(bytes + 1);
    std::memset(block, ' ', bytes + 1);
    benchmark::DoNotOptimize(block);
    ql::svc::release(block);
  }
  state.SetBytesProcessed(int64_t(bytes) * int64_t(state.iterations()));
}

}  // namespace

BENCHMARK(BM_SkcText)->Arg(100'000)->Arg(1'000'000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Ac3dText)->Arg(100'000)->Arg(1'000'000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_SkcLinesInPlace)->Arg(100'000)->Arg(1'000'000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_NumberToTextCall);
BENCHMARK(BM_FreshBlockOfTextSize)->Arg(100'000)->Arg(1'000'000)->Unit(benchmark::kMillisecond);
BENCHMARK_MAIN();
