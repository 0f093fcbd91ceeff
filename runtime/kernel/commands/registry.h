// Registry text read (kernel command 0x698).
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace ql::rt {

// The key whose default value names the archive tool's "open" command.
inline constexpr char kArchiveToolOpenKey[] = "SOFTWARE\\Classes\\WinRAR\\shell\\open\\command\\";

// A registry text value; `keyPath` ends in the value name, or in '\' for the
// key's default value. "" when absent.
//
// On Windows: root selector 4 reads the local-machine root, then the current
// user's. Elsewhere there is no registry: the archive tool's key answers with
// the archive adapter that ships beside the kernel, `"<folder>\qlunpack" "%1"`,
// the shape that archive-tool discovery cuts; every other key reads as "".
std::string readRegistryText(int32_t root, std::string_view keyPath);

}  // namespace ql::rt
