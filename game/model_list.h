// The model list (列表框1): the game's .skc files, and a selection that loads
// one of them.
#pragma once

#include <cstdint>

namespace ql::game {

// Adds one entry to 列表框1 per file gameFolder\pmodel\*.skc, in the order the
// file system yields them. No game folder or no pmodel folder: no entry.
void fillModelList();

// Selection in 列表框1: the entry becomes modelFileName and the file
// gameFolder\pmodel\<entry> is loaded.
intptr_t onModelSelected(intptr_t, intptr_t, intptr_t);

}  // namespace ql::game
