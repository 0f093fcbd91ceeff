// The archive adapter: what stands in for WinRAR's "e" command on Linux.
// It extracts every regular file of an archive flat into one folder, and
// never writes anywhere else.
#pragma once

#include <filesystem>
#include <ostream>
#include <string>
#include <string_view>

#include "common/result.h"
#include "runtime/archive/entry_names.h"

namespace ql::unpack {

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
