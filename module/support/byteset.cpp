#include "module/support/byteset.h"

#include <cstring>

#include "module/support/array.h"

namespace ql {
namespace {
// What an absent byte set reads as when it is passed to the runtime.
alignas(8) const uint32_t kEmptyByteSet[2] = {1, 0};
}  // namespace

namespace arr {

void* makeByteSet(std::span<const uint8_t> bytes) {
  // Bytes beyond what a u32 length can say never come from one text or file here.
  if (bytes.size() > UINT32_MAX - 8) svc::runtimeError(abi::kErrArraySize);
  auto* block = static_cast<uint8_t*>(svc::allocate(8 + bytes.size()));
  const uint32_t shape[2] = {1, uint32_t(bytes.size())};
  std::memcpy(block, shape, 8);
  if (!bytes.empty()) std::memcpy(block + 8, bytes.data(), bytes.size());
  return block;
}

std::span<const uint8_t> byteSetBytes(const void* block) {
  if (!block) return {};
  const uint64_t n = elementCount(block);
  return std::span<const uint8_t>(static_cast<const uint8_t*>(block) + headerSize(block), size_t(n));
}

}  // namespace arr

BytesRef::BytesRef() : block_(kEmptyByteSet) {}
BytesRef BytesRef::fromBlock(const void* block) {
  BytesRef r;
  if (block) r.block_ = block;
  return r;
}

}  // namespace ql
