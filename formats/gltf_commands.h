// The glTF menu commands: export of the store as one .glb file with its
// textures embedded, and import of a .glb or .gltf file into the store. The
// file formats are formats/gltf_export.h and formats/gltf_import.h; these
// commands gather what the store holds, read and write the files and tell
// the user.
#pragma once

#include <cstdint>

#include "module/support/text.h"

namespace ql::formats {

// Menu 文件 → 输出 → glTF格式.
intptr_t exportGltf(intptr_t, intptr_t, intptr_t);

// Imports the .glb or .gltf file at `path` (a GBK path with '\' separators)
// as the menu command does after its dialog. The file is read and checked
// whole before the store is touched: a file the tables cannot hold is
// refused with the reason, and the previous model stays. True when the
// store took the model.
bool importGltfFile(TextRef path);

// Menu 文件 → 打开 → 打开glTF格式.
intptr_t importGltf(intptr_t, intptr_t, intptr_t);

}  // namespace ql::formats
