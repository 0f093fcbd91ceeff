// The OBJ writer: the model store as a Wavefront OBJ file, its MTL material
// library and the three side files (.bones, .skchead, .skcname) that carry
// what OBJ cannot hold, so that the OBJ import can rebuild a game model.
#pragma once

#include <cstdint>

#include "module/support/text.h"

namespace ql::formats {

// Pieces of an OBJ path: the folder before its last backslash (with that
// backslash; "" when there is none), and the base name: the part after the
// last backslash up to, not including, the last dot after it.
Text objOutputFolder(TextRef objPath);
Text objBaseName(TextRef objPath);

// "mat" + number + "_" + the base name of the texture path; a path without a
// backslash has an empty base name.
Text objMaterialName(int32_t number, TextRef texturePath);

// The OBJ text of the store, naming `mtlFileName` on its mtllib line.
Text buildObjText(TextRef mtlFileName);
// The MTL text of the store's texture paths.
Text buildMtlText();
// The .bones text: the bone texts joined by CR LF.
Text buildBonesText();

// Menu 文件 → 输出 → OBJ格式.
intptr_t exportObj(intptr_t, intptr_t, intptr_t);

}  // namespace ql::formats
