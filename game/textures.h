// Texture release and preparation: one OpenGL texture per entry of the
// store's texturePaths, in the view's GL context, run at the end of every
// model load.
#pragma once

#include <string_view>

#include "module/support/text.h"

namespace ql::game {

// Deletes the texture names held in textureIds (0 is ignored by GL).
void releaseTextures();

// Creates, binds and fills one 2-D texture per entry of texturePaths into the
// same slot of textureIds: "tga" and "bmp" files are loaded directly, any
// other extension is first converted into a BMP file beside the texture.
// Entries that are empty, have no dot in their file name, or lie outside the
// folder their names were joined to get no texture (slot 0); the last two are
// logged. Without a GL context the slots stay 0 and nothing is loaded.
// Afterwards one log line names each texture that could not be loaded.
//
// For a game model every path is the texture folder + "\" + a name.
void prepareTextures();
// For an OBJ import: a path is `baseFolder` (the OBJ's folder) + "\" + a
// name, or a full path that the material library gave as it is.
void prepareTextures(TextRef baseFolder);

// True when `path` is `folder` + "\" + a relative name that stays inside it:
// no "..", no drive, no leading separator. Byte-wise, as every path cut of
// the tool is.
bool insideFolder(std::string_view path, std::string_view folder);

// True when `path` does not depend on a folder it is joined to: it begins
// with a drive ("X:\") or a separator (the root, as the runtime maps Linux
// paths; a network share).
bool isFullPath(std::string_view path);

// True when `path` is a full path of its own that never steps up with ".."
// and holds no colon but its drive's.
bool fullPathWithoutClimbing(std::string_view path);

}  // namespace ql::game
