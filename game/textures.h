// Texture release and preparation: one OpenGL texture per entry of the
// store's texturePaths, in the view's GL context, run at the end of every
// model load.
#pragma once

#include <string_view>

namespace ql::game {

// Deletes the texture names held in textureIds (0 is ignored by GL).
void releaseTextures();

// Creates, binds and fills one 2-D texture per entry of texturePaths into the
// same slot of textureIds: "tga" and "bmp" files are loaded directly, any
// other extension is first converted into a BMP file beside the texture.
// Entries that are empty, have no dot in their file name, or lie outside the
// texture folder get no texture (slot 0); the last two are logged. Without a
// GL context the slots stay 0 and nothing is loaded. Afterwards one log line
// names each texture that could not be loaded.
void prepareTextures();

// True when `path` is `folder` + "\" + a relative name that stays inside it:
// no "..", no drive, no leading separator. Byte-wise, as every path cut of
// the tool is.
bool insideFolder(std::string_view path, std::string_view folder);

}  // namespace ql::game
