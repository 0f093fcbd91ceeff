// The one-call drawing of a whole triangle list (kCmdDrawTriangleList) and
// the reading of the runtime's arrays it takes.
#pragma once

#include <cstdint>

#include "common/result.h"

namespace ql::gl {

// Arrays as the runtime holds them: u32 dimension count, u32 size per
// dimension, then 4-byte elements row-major.
inline constexpr std::uint32_t kMaxArrayDimensions = 8;
// A bound on what a block may claim; the runtime's arrays are far smaller.
inline constexpr std::uint64_t kMaxArrayElements = 1ull << 28;

struct ArrayView {
  std::uint32_t rows = 0;
  std::uint32_t columns = 0;             // 1 for a list
  const unsigned char* elements = nullptr;  // rows × columns elements of 4 bytes
  std::uint64_t count() const { return std::uint64_t(rows) * columns; }
};

// A two-dimensional array with at least minColumns columns.
Result<ArrayView> tableView(const void* block, std::uint32_t minColumns);
// Any array, its elements taken as one list.
Result<ArrayView> listView(const void* block);

inline constexpr std::uint32_t kVertexColumns = 5;    // x, y, z, u, v
inline constexpr std::uint32_t kTriangleColumns = 4;  // material, a, b, c

// Draws triangles 1..count of `triangles` with vertices from `vertices` as
// described at kCmdDrawTriangleList; `textures` may be null; `textureEnv`
// is a GL texture environment mode, or 0 to leave the environment alone.
// Returns the number of triangles drawn. A GL context must be current.
std::int32_t drawTriangleList(const ArrayView& vertices, const ArrayView& triangles, std::int32_t count,
                              std::int32_t mode, const ArrayView* textures, std::int32_t textureEnv = 0);

}  // namespace ql::gl
