// The AC3D writer: the model store as one AC3D object with one material and
// one texture, a triangle surface per model triangle with the texture
// coordinates of its corners.
#pragma once

#include <cstdint>

#include "module/support/text.h"

namespace ql::formats {

// The AC3D text of the store. Changes nothing in the store.
Text buildAc3dText();

// Menu 文件 → 输出 → AC3D格式.
intptr_t exportAc3d(intptr_t, intptr_t, intptr_t);

}  // namespace ql::formats
