// Names in the extraction command and in archives, the same for every
// stand-in of WinRAR's "e" command: the archive adapter on Linux and the
// tests' zip-only stand-in on Windows.
#pragma once

#include <filesystem>
#include <string>
#include <string_view>

#include "common/result.h"

namespace ql::unpack {

// The command line arrives Windows-shaped ("\home\u\x\ptexture.pak") in
// UTF-8; on Linux every backslash is a folder separator. A trailing
// quotation mark is dropped as well: by the Windows splitting rules the
// closing quote of "<dest>\" is escaped by the backslash before it and stays
// in the argument.
std::filesystem::path argToNative(std::string_view arg);

// The part of an entry name that is extracted, or an error saying why the
// entry is refused: absolute names and names with ".." components never
// reach the file system. Both '/' and '\' separate folders.
Result<std::string> flatName(std::string_view entryName);

}  // namespace ql::unpack
