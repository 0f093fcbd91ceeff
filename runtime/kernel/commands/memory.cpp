#include "runtime/kernel/commands/memory.h"

#include <atomic>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <string>

#if defined(__linux__)
#include <sys/mman.h>
#endif

#include "module/abi.h"
#include "runtime/kernel/commands/runtime_error.h"

namespace ql::rt {

namespace {

std::atomic<int64_t> gLive{0};

[[noreturn]] void outOfMemory(uintptr_t size) {
  raiseRuntimeError(kErrOutOfMemory, "cannot allocate " + std::to_string(size) + " bytes");
}

// malloc(0) may give null; every block has at least one byte.
size_t atLeastOne(uintptr_t size) { return size == 0 ? 1 : size_t(size); }

void storeU32(void* at, uint32_t v) { std::memcpy(at, &v, 4); }
uint32_t loadU32(const void* at) {
  uint32_t v;
  std::memcpy(&v, at, 4);
  return v;
}

// Big blocks (a model's file, its tables, an export's text) are asked to be
// backed by huge pages where the system offers them: filling fresh memory
// otherwise costs a page fault per 4 KB, which on virtual machines costs more
// than the work done in the block. Only advice: where it is refused the block
// works as it is.
void preferHugePages([[maybe_unused]] void* block, [[maybe_unused]] size_t size) {
#if defined(__linux__)
  constexpr uintptr_t kHugePage = uintptr_t(2) << 20;
  if (size < 2 * kHugePage) return;
  const uintptr_t begin = (uintptr_t(block) + kHugePage - 1) & ~(kHugePage - 1);
  const uintptr_t end = (uintptr_t(block) + size) & ~(kHugePage - 1);
  if (end > begin) (void)madvise(reinterpret_cast<void*>(begin), end - begin, MADV_HUGEPAGE);
#endif
}

}  // namespace

void* allocate(uintptr_t size) {
  void* block = std::malloc(atLeastOne(size));
  if (!block) outOfMemory(size);
  gLive.fetch_add(1, std::memory_order_relaxed);
  preferHugePages(block, size_t(size));
  return block;
}

void* reallocate(void* block, uintptr_t size) {
  if (!block) return allocate(size);
  void* moved = std::realloc(block, atLeastOne(size));
  if (!moved) outOfMemory(size);  // the old block stays valid and counted
  preferHugePages(moved, size_t(size));
  return moved;
}

void release(void* block) {
  if (!block) return;
  gLive.fetch_sub(1, std::memory_order_relaxed);
  std::free(block);
}

int64_t liveBlocks() { return gLive.load(std::memory_order_relaxed); }

char* newText(std::string_view text) {
  char* block = static_cast<char*>(allocate(uintptr_t(text.size()) + 1));
  if (!text.empty()) std::memcpy(block, text.data(), text.size());
  block[text.size()] = '\0';
  return block;
}

void* newByteSet(std::span<const uint8_t> bytes) {
  if (bytes.size() > std::numeric_limits<uint32_t>::max()) {
    raiseRuntimeError(kErrOutOfMemory, "byte set of " + std::to_string(bytes.size()) + " bytes exceeds 32-bit length");
  }
  auto* block = static_cast<uint8_t*>(allocate(kArrayHeaderOneDim + bytes.size()));
  storeU32(block, 1);
  storeU32(block + 4, uint32_t(bytes.size()));
  if (!bytes.empty()) std::memcpy(block + kArrayHeaderOneDim, bytes.data(), bytes.size());
  return block;
}

void* newTextList(const std::vector<std::string>& texts) {
  if (texts.size() > std::numeric_limits<uint32_t>::max() / abi::kTextElementWidth) {
    raiseRuntimeError(kErrOutOfMemory, "list of " + std::to_string(texts.size()) + " texts is too long");
  }
  auto* block = static_cast<uint8_t*>(allocate(kArrayHeaderOneDim + texts.size() * abi::kTextElementWidth));
  storeU32(block, 1);
  storeU32(block + 4, uint32_t(texts.size()));
  for (size_t i = 0; i < texts.size(); ++i) {
    char* element = newText(texts[i]);
    std::memcpy(block + kArrayHeaderOneDim + i * abi::kTextElementWidth, &element, sizeof element);
  }
  return block;
}

std::string_view textView(const char* text) { return text ? std::string_view(text) : std::string_view(); }

ByteSetView byteSetView(const void* block) {
  if (!block) return {true, {}};
  const auto* bytes = static_cast<const uint8_t*>(block);
  if (loadU32(bytes) != 1) return {false, {}};
  return {true, std::span<const uint8_t>(bytes + kArrayHeaderOneDim, loadU32(bytes + 4))};
}

}  // namespace ql::rt
