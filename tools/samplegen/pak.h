// The texture package: a ZIP archive whose files sit in one folder, as the
// game's own package keeps them; extraction flattens them.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

namespace ql::samplegen {

struct PakFile {
  std::string name;  // inside the folder
  std::vector<uint8_t> bytes;
};

// Throws std::runtime_error when the archive cannot be written.
void writePak(const std::filesystem::path& path, const std::string& folder, const std::vector<PakFile>& files);

}  // namespace ql::samplegen
