// The kernel's one allocator. Service slots 6, 7 and 8 are these functions,
// and every text, byte set or array a command returns comes from here, so the
// module frees all of them through slot 8.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace ql::rt {

// Never returns null: running out of memory is a runtime error.
void* allocate(uintptr_t size);
// Keeps the old contents; a null block allocates.
void* reallocate(void* block, uintptr_t size);
// Null is ignored.
void release(void* block);

// Blocks handed out and not yet released. Tests use it to prove that every
// returned block reaches the free service.
int64_t liveBlocks();

// ---- Building values --------------------------------------------------------
// A NUL-terminated copy.
char* newText(std::string_view text);
// A byte set: u32 dimension count 1, u32 length, the bytes.
void* newByteSet(std::span<const uint8_t> bytes);
// A one-dimensional list of new texts: u32 1, u32 n, n pointer-sized elements.
void* newTextList(const std::vector<std::string>& texts);

// ---- Reading values --------------------------------------------------------
// An absent text counts as "".
std::string_view textView(const char* text);

// A byte set's bytes; an absent byte set is empty. Fails (nullopt-like empty
// flag) when the block is not one-dimensional.
struct ByteSetView {
  bool valid;
  std::span<const uint8_t> bytes;
};
ByteSetView byteSetView(const void* block);

// Array header words.
constexpr size_t kArrayHeaderOneDim = 8;  // dimension count + one size

}  // namespace ql::rt
