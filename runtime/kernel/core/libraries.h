// The support libraries: found as *.qlr files in one folder, loaded once per
// process, and bound to the rows of an image's library table by identifier.
// A row without a library is no reason to refuse the image: the program runs
// until it calls one of that row's commands.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "common/result.h"
#include "module/image/image.h"
#include "runtime/support_lib.h"

namespace ql::rt {

struct BoundRow {
  std::string name;                  // as the library table names it
  std::string id;                    // its identifier
  QlLibCommandFn command = nullptr;  // null when unbound
  std::string missing;               // why it is unbound
};

// The kernel's own folder (the file holding this code).
std::filesystem::path kernelFolder();

// Row 0 must carry the kernel's identifier; every other row is bound to the
// library in `folder` with the same identifier (hex digits compared ignoring
// case), initialised once with `host`. Fails only for a wrong row 0.
Result<std::vector<BoundRow>> bindLibraries(const std::vector<image::LibraryRow>& rows,
                                            const std::filesystem::path& folder, const QlHost* host);

}  // namespace ql::rt
