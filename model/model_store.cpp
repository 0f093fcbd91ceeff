#include "model/model_store.h"

#include <cstring>

#include "module/support/services.h"

namespace ql::store {
namespace {

alignas(4) constexpr uint32_t kEmptyListShape[2] = {1, 0};
constexpr size_t kListHeaderBytes = 8;  // dimension count, entries

}  // namespace

template <class T>
void resetList(ArrayVar<T> list, int32_t entries) {
  if (entries <= 0) {
    list.replace(arr::freshFromShape(kEmptyListShape, ArrayVar<T>::kWidth));
    return;
  }
  list.dimension(entries);
}
template void resetList<int32_t>(ArrayVar<int32_t>, int32_t);
template void resetList<char*>(ArrayVar<char*>, int32_t);

void newVertexTable(ArrayVar<float> table, int32_t rows) { table.dimension(rows, kVertexTableColumns); }

void newTriangleTable(ArrayVar<int32_t> table, int32_t rows) { table.dimension(rows, kTriangleTableColumns); }

void* truncateTextList(void* block, uint32_t keep) {
  if (arr::dimensionCount(block) != 1 || arr::dimensionSize(block, 0) <= keep) return block;
  std::memcpy(static_cast<uint8_t*>(block) + 4, &keep, 4);
  // The dropped entries hold no text, so nothing but the room goes.
  return svc::reallocate(block, kListHeaderBytes + size_t(keep) * sizeof(char*));
}

}  // namespace ql::store
