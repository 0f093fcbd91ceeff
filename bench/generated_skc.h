// The generated model the SKC and glTF benchmarks load: laid out as the
// game's files are (padded fixed-width numbers, two bone influences per
// vertex, triangle lines with a double blank), twice as many triangles as
// vertices, two materials.
#pragma once

#include <cstdint>
#include <filesystem>

namespace ql::bench {

void writeGeneratedSkc(const std::filesystem::path& file, int64_t vertices);

}  // namespace ql::bench
