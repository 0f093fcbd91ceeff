// Where the module image ends. The launcher hands the runtime nothing but the
// image's address; the image lies in a section of the executable, so its
// bytes end where the memory region that holds it ends.
#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

#include "common/result.h"

namespace ql::rt {

// Largest span handed to the image reader: module offsets are 32-bit.
constexpr uint64_t kMaxImageSpan = 0xFFFFFFFFu;

// From the text of /proc/self/maps: the end of the readable and writable
// mapping that holds `address`, extended over the readable and writable
// mappings that follow it without a gap (one section may be mapped in
// pieces). nullopt when no such mapping holds the address.
std::optional<uintptr_t> writableRegionEnd(std::string_view maps, uintptr_t address);

// The number of bytes from `address` to the end of its region, at most
// kMaxImageSpan. Fails when the address lies in no readable and writable
// region (the loader writes the fixups and the service slots in place).
Result<uint64_t> imageSpan(const void* address);

}  // namespace ql::rt
