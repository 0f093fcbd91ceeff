// The SKC writer: the model store as the game's skin text, exported to a file
// of the user's choice or saved over the model's own file in the game's
// pmodel folder (after a one-time backup of the game's file).
#pragma once

#include <cstdint>

#include "module/support/text.h"

namespace ql::model {

// The SKC text of the store: its head (the loaded one, or one generated from
// materialLibrary), the vertex lines, the triangle lines and the closing
// brace. Changes nothing in the store.
Text buildSkcText();

// Menu 文件 → 输出 → SKC格式.
intptr_t exportSkc(intptr_t, intptr_t, intptr_t);
// Menu 文件 → 保存 → 保存到游戏.
intptr_t saveToGame(intptr_t, intptr_t, intptr_t);

}  // namespace ql::model
