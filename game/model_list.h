// The model list (列表框1): the game's .skc files, and a selection that loads
// one of them.
#pragma once

#include <cstdint>
#include <string_view>

namespace ql::game {

// Adds one entry to 列表框1 per file gameFolder\pmodel\*.skc, in the order
// Windows lists files by name (windowsNameBefore), whatever order the file
// system yields them in; each entry is the file's exact name. No game folder
// or no pmodel folder: no entry.
void fillModelList();

// Windows' order of file names (GBK): as NTFS keeps a folder, by UTF-16 code
// units with letters compared in upper case (ASCII, Latin-1, Greek, Cyrillic
// and full-width Latin letters, the ones GBK holds with both cases). Names
// equal but for case come in byte order, so the order is total.
bool windowsNameBefore(std::string_view a, std::string_view b);

// Selection in 列表框1: the entry becomes modelFileName and the file
// gameFolder\pmodel\<entry> is loaded.
intptr_t onModelSelected(intptr_t, intptr_t, intptr_t);

}  // namespace ql::game
