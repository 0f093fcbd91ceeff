// Helpers over the model store's module-wide lists and tables (the fields
// themselves live in module/support/globals.h). Tables are addressed
// table[row][column] with rows and columns counted from 1; the vertex indices
// inside triangleTable count from 0, as the SKC file writes them.
#pragma once

#include <cstdint>

#include "module/support/array.h"
#include "module/support/globals.h"

namespace ql::store {

// Columns of vertexTable.
enum VertexColumn : int32_t {
  kVertexX = 1,
  kVertexY = 2,
  kVertexZ = 3,
  kVertexU = 4,
  kVertexV = 5,
};
inline constexpr int32_t kVertexTableColumns = 5;

// Columns of triangleTable.
enum TriangleColumn : int32_t {
  kTriangleMaterial = 1,  // 0-based material number (0 is entry 1 of texturePaths)
  kTriangleIndex1 = 2,    // 0-based vertex indices
  kTriangleIndex2 = 3,
  kTriangleIndex3 = 4,
};
inline constexpr int32_t kTriangleTableColumns = 4;

// The vertexTable row that a vertex index of triangleTable names.
constexpr int32_t vertexRowOf(int32_t vertexIndex) { return vertexIndex + 1; }

// Replaces a list by `entries` zeros (numbers) or absent texts (text lists,
// whose old texts are freed). A count of 0 or below gives an empty list
// rather than runtime error 10: a model may declare no materials.
template <class T>
void resetList(ArrayVar<T> list, int32_t entries);
extern template void resetList<int32_t>(ArrayVar<int32_t>, int32_t);
extern template void resetList<char*>(ArrayVar<char*>, int32_t);

// Replaces a table by `rows` zeroed rows of its columns (rows above 0; the
// old table is freed).
void newVertexTable(ArrayVar<float> table, int32_t rows);
void newTriangleTable(ArrayVar<int32_t> table, int32_t rows);

// Rows of a two-dimensional table; 0 for the start-up shapes (one dimension)
// and for an absent table.
template <class T>
uint32_t tableRows(const ArrayVar<T>& table) {
  return table.dims() == 2 ? table.size(1) : 0;
}

// Entries of a one-dimensional list; 0 for an absent one.
template <class T>
uint32_t listEntries(const ArrayVar<T>& list) {
  return list.dims() == 1 ? list.size(1) : 0;
}

// Keeps the first `keep` entries of a text list whose later entries are all
// absent (a list filled from the front) and gives back its block, shrunk (it
// may have moved). A list with no more than `keep` entries stays as it is.
void* truncateTextList(void* block, uint32_t keep);

}  // namespace ql::store
