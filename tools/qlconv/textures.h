// Where qlconv's pictures take their textures from: --textures (a folder as
// it is, a texture package unpacked once), else ./lx_ptx_tmp (the tool's own
// texture folder, when qlconv runs beside the tool), else the game's
// ptexture.pak beside the model's pmodel folder, unpacked once.
#pragma once

#include <filesystem>
#include <map>
#include <string>

#include "common/result.h"

namespace ql::qlconv {

namespace fs = std::filesystem;

class TextureFinder {
 public:
  // `scratch` holds what is unpacked; `unpacker` is the runtime's archive
  // adapter (qlunpack: e "ARCHIVE" "DEST/").
  TextureFinder(fs::path given, const fs::path& cwd, fs::path unpacker, fs::path scratch);

  // The texture folder for a model file; an empty path when there is none
  // to be found. Fails when a package cannot be unpacked.
  Result<fs::path> folderFor(const fs::path& model);

 private:
  Result<fs::path> unpacked(const fs::path& package);

  fs::path given_;
  fs::path beside_;  // ./lx_ptx_tmp when it exists
  fs::path unpacker_;
  fs::path scratch_;
  std::map<fs::path, fs::path> packages_;
};

}  // namespace ql::qlconv
