// The OBJ import: replaces the model in the store with one read from an OBJ
// file, its MTL material library and the side files the OBJ writer leaves
// beside it. The file is read and checked completely before the store is
// touched: a file the tables cannot hold is refused with a message naming the
// line, and the previous model stays as it was.
#pragma once

#include <cstdint>

#include "module/support/text.h"

namespace ql::formats {

// Imports the OBJ file at `path` (a GBK path with '\' separators) as the
// menu command does after its dialog. True when the store took the model.
bool importObjFile(TextRef path);

// Menu 文件 → 打开 → 打开OBJ格式.
intptr_t importObj(intptr_t, intptr_t, intptr_t);

}  // namespace ql::formats
