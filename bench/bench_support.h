// What the benchmarks of the running program share: the generated model they
// load, and the run of the registered benchmarks inside the program.
#pragma once

#include <cstdint>
#include <filesystem>

namespace ql::apprun {
class AppRunner;
}

namespace ql::bench {

// The generated model the SKC and glTF benchmarks load: laid out as the
// game's files are (padded fixed-width numbers, two bone influences per
// vertex, triangle lines with a double blank), twice as many triangles as
// vertices, two materials.
void writeGeneratedSkc(const std::filesystem::path& file, int64_t vertices);

// Runs the registered benchmarks inside the real program (module image,
// kernel, headless windows) started in `folder`/program, its first start
// done with `folder`/game as the game folder. `runner` points at the running
// program meanwhile. The exit status for main().
int runBenchmarksInProgram(const std::filesystem::path& folder, apprun::AppRunner*& runner);

}  // namespace ql::bench
