#include "module/support/array.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <limits>

namespace ql::arr {
namespace {

uint32_t word(const void* block, size_t index) {
  uint32_t v;
  std::memcpy(&v, static_cast<const uint8_t*>(block) + 4 * index, 4);
  return v;
}
void setWord(void* block, size_t index, uint32_t v) { std::memcpy(static_cast<uint8_t*>(block) + 4 * index, &v, 4); }

// a × b + c without wrapping; false when it does not fit a size_t.
bool mulAdd(uint64_t a, uint64_t b, uint64_t c, uint64_t& out) {
  constexpr uint64_t kMax = std::numeric_limits<size_t>::max();
  if (b != 0 && a > kMax / b) return false;
  const uint64_t product = a * b;
  if (c > kMax - product) return false;
  out = product + c;
  return true;
}

}  // namespace

uint32_t dimensionCount(const void* block) { return block ? word(block, 0) : 0; }

uint32_t dimensionSize(const void* block, uint32_t k) { return word(block, 1 + size_t(k)); }

size_t headerSize(const void* block) { return 4 + 4 * size_t(dimensionCount(block)); }

uint64_t elementCount(const void* block) {
  const uint32_t dims = dimensionCount(block);
  if (dims == 0) return 0;
  uint64_t n = 1;
  for (uint32_t k = 0; k < dims; ++k) n *= dimensionSize(block, k);
  return n;
}

uint64_t elementCountOrZero(const void* block) { return block ? elementCount(block) : 0; }

uint64_t flatIndex(std::span<const uint32_t> zeroBasedIndices, std::span<const uint32_t> sizes) {
  // Horner form of sum(index[k] × product of the later sizes).
  uint64_t at = 0;
  for (size_t k = 0; k < zeroBasedIndices.size() && k < sizes.size(); ++k) at = at * sizes[k] + zeroBasedIndices[k];
  return at;
}

void* elementAddress(void* block, size_t width, std::span<const int32_t> indices) {
  const uint32_t dims = dimensionCount(block);
  if (dims != indices.size()) svc::runtimeError(abi::kErrDimensions);
  if (dims == 0) svc::runtimeError(svc::kErrIndexRange);  // no dimensions: no element at all
  uint64_t at = 0;
  for (uint32_t k = 0; k < dims; ++k) {
    const uint32_t size = dimensionSize(block, k);
    const int32_t i = indices[k];
    if (i < 1 || uint32_t(i) > size) svc::runtimeError(svc::kErrIndexRange);
    at = at * size + uint32_t(i - 1);
  }
  return static_cast<uint8_t*>(block) + headerSize(block) + at * width;
}

void dimension(void** var, size_t width, std::span<const int32_t> sizes, ReleaseFn releaseOld) {
  if (sizes.empty()) svc::runtimeError(abi::kErrArraySize);
  uint64_t count = 1;
  for (int32_t s : sizes) {
    if (s <= 0) svc::runtimeError(abi::kErrArraySize);
    if (!mulAdd(count, uint64_t(s), 0, count)) svc::runtimeError(abi::kErrArraySize);
  }
  // NOTE: a size the program could never address (the product overflows)
  // stops like a size that is not above 0, instead of wrapping into a small block.
  const uint64_t header = 4 + 4 * uint64_t(sizes.size());
  uint64_t total;
  if (!mulAdd(count, width, header, total)) svc::runtimeError(abi::kErrArraySize);
  auto* fresh = static_cast<uint8_t*>(svc::allocate(uintptr_t(total)));
  std::memset(fresh, 0, size_t(total));
  setWord(fresh, 0, uint32_t(sizes.size()));
  for (size_t k = 0; k < sizes.size(); ++k) setWord(fresh, 1 + k, uint32_t(sizes[k]));
  void* old = *var;
  *var = fresh;
  if (old) releaseOld(old);
}

void append(void** var, size_t width, const void* element, bool moduleWide) {
  // The runtime may hand the variable another block here; read it only after.
  if (moduleWide) svc::support(abi::kSupportPrepareAppend, intptr_t(width), reinterpret_cast<intptr_t>(var));
  void* block = *var;
  const uint32_t dims = dimensionCount(block);
  const uint64_t n = elementCountOrZero(block);
  uint64_t total;
  if (n >= std::numeric_limits<uint32_t>::max() || !mulAdd(n + 1, width, 8, total))
    svc::runtimeError(abi::kErrArraySize);
  if (!block) {
    block = svc::allocate(uintptr_t(total));
  } else if (dims <= 1) {
    // A block without dimensions has only its 4-byte count: grow before the
    // shape's second word is written.
    block = svc::reallocate(block, uintptr_t(total));
  } else {
    // Flatten: the elements move up behind the new two-word shape, then the
    // block shrinks or grows to its new size.
    auto* bytes = static_cast<uint8_t*>(block);
    std::memmove(bytes + 8, bytes + headerSize(block), size_t(n * width));
    setWord(block, 0, 1);
    block = svc::reallocate(block, uintptr_t(total));
  }
  setWord(block, 0, 1);
  setWord(block, 1, uint32_t(n + 1));
  std::memcpy(static_cast<uint8_t*>(block) + 8 + n * width, element, width);
  *var = block;
}

void* freshFromShape(const void* shape, size_t width) {
  const uint32_t dims = word(shape, 0);
  const uint64_t header = 4 + 4 * uint64_t(dims);
  const uint64_t count = elementCount(shape);
  uint64_t total;
  if (!mulAdd(count, width, header, total)) svc::runtimeError(abi::kErrArraySize);
  auto* fresh = static_cast<uint8_t*>(svc::allocate(uintptr_t(total)));
  std::memcpy(fresh, shape, size_t(header));
  std::memset(fresh + header, 0, size_t(total - header));
  return fresh;
}

namespace {
void* pointerAt(const void* block, uint64_t i) {
  void* p;
  std::memcpy(&p, static_cast<const uint8_t*>(block) + headerSize(block) + i * sizeof(void*), sizeof(void*));
  return p;
}
}  // namespace

void releaseTextList(void* block) {
  if (!block) return;
  const uint64_t n = elementCount(block);
  for (uint64_t i = 0; i < n; ++i) svc::release(pointerAt(block, i));
  svc::release(block);
}

void releaseRecordList(void* block, size_t textFields) {
  if (!block) return;
  const uint64_t n = elementCount(block);
  for (uint64_t i = 0; i < n; ++i) {
    void* record = pointerAt(block, i);
    if (!record) continue;
    for (size_t f = 0; f < textFields; ++f) {
      void* field;
      std::memcpy(&field, static_cast<uint8_t*>(record) + f * sizeof(void*), sizeof(void*));
      svc::release(field);
    }
    svc::release(record);
  }
  svc::release(block);
}

namespace {

template <class T>
void readRowOf(const void* table, int32_t row, std::span<T> out) {
  static_assert(sizeof(T) == 4);
  // The row's first element, checked against the table's shape; the others
  // follow it (row-major, and the caller stays within the columns).
  const std::array<int32_t, 2> first{row, 1};
  const void* at = elementAddress(const_cast<void*>(table), sizeof(T), first);
  std::memcpy(out.data(), at, out.size() * sizeof(T));
}

}  // namespace

int32_t readableRows(const void* table, int32_t count, uint32_t columns) {
  if (dimensionCount(table) != 2 || dimensionSize(table, 1) < columns) return 0;
  const uint32_t rows = dimensionSize(table, 0);
  if (count <= 0) return 0;
  return int32_t(std::min<uint64_t>(uint32_t(count), std::min<uint32_t>(rows, INT32_MAX)));
}

void readRow(const void* table, int32_t row, std::span<float> out) { readRowOf(table, row, out); }
void readRow(const void* table, int32_t row, std::span<int32_t> out) { readRowOf(table, row, out); }

}  // namespace ql::arr
