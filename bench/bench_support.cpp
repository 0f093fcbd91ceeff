#include "bench/bench_support.h"

#include <benchmark/benchmark.h>

#include <cstdio>
#include <fstream>
#include <iostream>

#include "tools/qlscenario/app_runner.h"

namespace ql::bench {

void writeGeneratedSkc(const std::filesystem::path& file, int64_t vertices) {
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

int runBenchmarksInProgram(const std::filesystem::path& folder, apprun::AppRunner*& runner) {
  const std::filesystem::path program = folder / "program";
  std::filesystem::create_directories(program);
  if (!apprun::seedFinishedFirstStart(program, folder / "game").ok()) return 1;
  auto programModule = apprun::modulePath(program);
  if (!programModule) return 1;

  apprun::AppRunner app;
  runner = &app;
  app.step([] { benchmark::RunSpecifiedBenchmarks(); });
  auto result = app.run(*programModule);
  runner = nullptr;
  if (!result) {
    std::cerr << result.error().message << "\n";
    return 1;
  }
  if (!result->endedCleanly()) std::cerr << "program run: " << result->describe() << "\n";
  benchmark::Shutdown();
  return 0;
}

}  // namespace ql::bench
