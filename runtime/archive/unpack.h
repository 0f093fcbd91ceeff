// The archive adapter: what stands in for WinRAR's "e" command on Linux.
// It extracts every regular file of an archive flat into one folder, and
// never writes anywhere else.
#pragma once

#include <filesystem>
#include <ostream>
#include <string>
#include <string_view>

#include "common/result.h"

namespace ql::unpack {

// The command line arrives Windows-shaped ("\home\u\x\ptexture.pak"); on
// Linux every backslash is a folder separator. A trailing quotation mark is
// dropped as well: by the Windows splitting rules the closing quote of
// "<dest>\" is escaped by the backslash before it and stays in the argument.
std::filesystem::path argToNative(std::string_view arg);

// The part of an entry name that is extracted, or an error saying why the
// entry is refused: absolute names and names with ".." components never
// reach the file system. Both '/' and '\' separate folders.
Result<std::string> flatName(std::string_view entryName);

struct Summary {
  int extracted = 0;
  int skipped = 0;
};

// Extracts `archive` into `dest` (created when missing, its parent must
// exist). Notes about skipped entries go to `notes`. Fails on an unreadable
// or corrupt archive, a destination that cannot take files, or any entry
// whose data cannot be read or written; what was extracted before stays.
Result<Summary> extractFlat(const std::filesystem::path& archive, const std::filesystem::path& dest,
                            std::ostream& notes);

}  // namespace ql::unpack
