// The two start-up steps that find what the tool needs outside itself: the
// archive tool (WinRAR, or what stands in for it) and the game folder with
// the game's textures unpacked into the tool's working folder.
#pragma once

#include "module/support/text.h"

namespace ql::game {

// The quoted program path at the front of an "open" command as the registry
// holds it: from the first quotation mark through the next one, both marks
// kept. Empty when the command has fewer than two quotation marks.
Text quotedProgramPath(TextRef openCommand);

// winrarPath := the quoted program of WinRAR's shell "open" command, or else
// the file the user picks in 通用对话框2 (a cancel leaves it empty, silently).
void discoverArchiveTool();

// textureFolder := programFolder + "\lx_ptx_tmp". When that folder and the
// memory file both exist, gameFolder := the memory file's content. Otherwise
// the user is asked for the texture package (通用对话框1); the package is
// extracted into the texture folder, and its folder becomes gameFolder and is
// written to the memory file, whether or not the extraction worked.
void setUpGameFolder();

// Runs winrarPath + ` e "archive" "destination"` and waits for it; reports
// the outcome in a message box. `destination` ends with a backslash.
void extractPackage(TextRef archive, TextRef destination);

}  // namespace ql::game
