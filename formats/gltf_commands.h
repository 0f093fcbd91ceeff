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

}  // namespace ql::formats
