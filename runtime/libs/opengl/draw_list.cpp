#include "runtime/libs/opengl/draw_list.h"

#include <GL/gl.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

namespace ql::gl {
namespace {

constexpr size_t kElementBytes = 4;
constexpr size_t kBatchTriangles = 65536;  // bounds the index buffer at 1.5 MB (line loops: 6 indices each)
constexpr GLenum kLastPrimitive = GL_POLYGON;
#ifndef GL_ARRAY_BUFFER_BINDING
constexpr GLenum GL_ARRAY_BUFFER_BINDING = 0x8894;
#endif

std::uint32_t loadU32(const unsigned char* p) {
  std::uint32_t v;
  std::memcpy(&v, p, 4);
  return v;
}

float floatAt(const ArrayView& a, std::uint64_t index) {
  float v;
  std::memcpy(&v, a.elements + index * kElementBytes, 4);
  return v;
}

std::int32_t intAt(const ArrayView& a, std::uint64_t index) {
  std::int32_t v;
  std::memcpy(&v, a.elements + index * kElementBytes, 4);
  return v;
}

struct Shape {
  std::uint32_t dimensions;
  std::uint32_t sizes[kMaxArrayDimensions];
  std::uint64_t count;
};

Result<Shape> readShape(const void* block) {
  if (!block) return fail("array: null block");
  const auto* p = static_cast<const unsigned char*>(block);
  Shape s{};
  s.dimensions = loadU32(p);
  if (s.dimensions < 1 || s.dimensions > kMaxArrayDimensions)
    return fail("array: " + std::to_string(s.dimensions) + " dimensions, expected 1.." +
                std::to_string(kMaxArrayDimensions));
  s.count = 1;
  for (std::uint32_t k = 0; k < s.dimensions; ++k) {
    s.sizes[k] = loadU32(p + 4 + 4 * k);
    // Checked before multiplying, so the product cannot overflow.
    if (s.sizes[k] != 0 && s.count > kMaxArrayElements / s.sizes[k])
      return fail("array: dimension " + std::to_string(k + 1) + " of size " + std::to_string(s.sizes[k]) +
                  " makes more than " + std::to_string(kMaxArrayElements) + " elements");
    s.count *= s.sizes[k];
  }
  return s;
}

const unsigned char* elementsOf(const void* block, std::uint32_t dimensions) {
  return static_cast<const unsigned char*>(block) + 4 + 4 * size_t(dimensions);
}

void immediateVertex(const ArrayView& v, std::int32_t row) {
  const std::uint64_t base = std::uint64_t(row) * v.columns;
  glTexCoord2d(floatAt(v, base + 3), floatAt(v, base + 4));
  glVertex3d(floatAt(v, base + 0), floatAt(v, base + 1), floatAt(v, base + 2));
}

// How a mode's triangles can go to GL in batches: each triangle's corners
// (in this order) become vertices of an independent primitive, so a batch
// draws the very same primitives. A line loop or strip of three vertices is
// the same segments drawn as separate lines: segments rasterise alike either
// way (only line stipple, which the view never enables, would differ).
struct Batching {
  bool batched;
  GLenum batchMode;
  int cornerCount;
  int corners[6];
};

Batching batchingOf(std::int32_t mode) {
  switch (mode) {
    case GL_POINTS: return {true, GL_POINTS, 3, {0, 1, 2}};
    case GL_LINES: return {true, GL_LINES, 2, {0, 1}};  // the third vertex never makes a segment
    case GL_LINE_LOOP: return {true, GL_LINES, 6, {0, 1, 1, 2, 2, 0}};
    case GL_LINE_STRIP: return {true, GL_LINES, 4, {0, 1, 1, 2}};
    case GL_TRIANGLES:
    case GL_TRIANGLE_STRIP: return {true, GL_TRIANGLES, 3, {0, 1, 2}};  // a 3-vertex strip is that triangle
    default: return {false, 0, 0, {}};
  }
}

class TriangleSource {
 public:
  TriangleSource(const ArrayView& vertices, const ArrayView& triangles) : v_(vertices), t_(triangles) {}
  // False when a vertex number lies outside the vertex table.
  bool get(std::uint32_t index, std::int32_t (&rows)[3], std::int32_t& material) const {
    const std::uint64_t base = std::uint64_t(index) * t_.columns;
    material = intAt(t_, base);
    for (int k = 0; k < 3; ++k) {
      rows[k] = intAt(t_, base + 1 + k);
      if (rows[k] < 0 || std::uint32_t(rows[k]) >= v_.rows) return false;
    }
    return true;
  }

 private:
  const ArrayView& v_;
  const ArrayView& t_;
};

// Material numbers count from 0, as the triangle table stores them.
GLuint textureOf(const ArrayView* textures, std::int32_t material) {
  if (!textures || material < 0 || std::uint64_t(material) >= textures->count()) return 0;
  return static_cast<GLuint>(intAt(*textures, std::uint64_t(material)));
}

bool isTextureEnvMode(std::int32_t mode) {
  return mode == GL_MODULATE || mode == GL_DECAL || mode == GL_BLEND || mode == GL_REPLACE;
}

}  // namespace

Result<ArrayView> tableView(const void* block, std::uint32_t minColumns) {
  auto shape = readShape(block);
  if (!shape) return shape.error();
  if (shape->dimensions != 2)
    return fail("table: " + std::to_string(shape->dimensions) + " dimensions, expected 2");
  if (shape->sizes[1] < minColumns)
    return fail("table: " + std::to_string(shape->sizes[1]) + " columns, expected at least " +
                std::to_string(minColumns));
  return ArrayView{shape->sizes[0], shape->sizes[1], elementsOf(block, 2)};
}

Result<ArrayView> listView(const void* block) {
  auto shape = readShape(block);
  if (!shape) return shape.error();
  return ArrayView{static_cast<std::uint32_t>(shape->count), 1, elementsOf(block, shape->dimensions)};
}

std::int32_t drawTriangleList(const ArrayView& vertices, const ArrayView& triangles, std::int32_t count,
                              std::int32_t mode, const ArrayView* textures, std::int32_t textureEnv) {
  if (count <= 0 || mode < 0 || GLenum(mode) > kLastPrimitive) return 0;
  const std::uint32_t total = std::min<std::uint32_t>(std::uint32_t(count), triangles.rows);
  const TriangleSource source(vertices, triangles);

  GLint previousEnv = 0;
  const bool setEnv = isTextureEnvMode(textureEnv);
  if (setEnv) {
    glGetTexEnviv(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, &previousEnv);
    glTexEnvi(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, textureEnv);
  }

  GLint previousTexture = 0;
  if (textures) glGetIntegerv(GL_TEXTURE_BINDING_2D, &previousTexture);
  GLuint boundTexture = static_cast<GLuint>(previousTexture);
  auto bindFor = [&](std::int32_t material) -> bool {  // true when the binding changed
    if (!textures) return false;
    const GLuint want = textureOf(textures, material);
    if (want == boundTexture) return false;
    glBindTexture(GL_TEXTURE_2D, want);
    boundTexture = want;
    return true;
  };

  // Client arrays are addresses only while no buffer object is bound to
  // GL_ARRAY_BUFFER; nobody binds one here, but then we would draw wrong.
  GLint arrayBuffer = 0;
  glGetIntegerv(GL_ARRAY_BUFFER_BINDING, &arrayBuffer);
  glGetError();  // a 1.x context does not know the query; that is fine
  Batching batching = batchingOf(mode);
  if (arrayBuffer != 0) batching.batched = false;

  std::int32_t drawn = 0;
  std::int32_t rows[3];
  std::int32_t material = 0;
  if (batching.batched) {
    // The vertex table itself is the vertex array (x, y, z then u, v in
    // each row); the triangles become indices into it, so a vertex that
    // several triangles share is fetched from the same values each time.
    static thread_local std::vector<GLuint> indices;
    indices.clear();
    const size_t batchIndices = kBatchTriangles * size_t(batching.cornerCount);
    indices.reserve(batchIndices);
    const GLsizei stride = GLsizei(vertices.columns * kElementBytes);
    glPushClientAttrib(GL_CLIENT_VERTEX_ARRAY_BIT);
    glEnableClientState(GL_VERTEX_ARRAY);
    glEnableClientState(GL_TEXTURE_COORD_ARRAY);
    glDisableClientState(GL_COLOR_ARRAY);
    glDisableClientState(GL_NORMAL_ARRAY);
    glDisableClientState(GL_INDEX_ARRAY);
    glDisableClientState(GL_EDGE_FLAG_ARRAY);
    glVertexPointer(3, GL_FLOAT, stride, vertices.elements);
    glTexCoordPointer(2, GL_FLOAT, stride, vertices.elements + 3 * kElementBytes);
    auto flush = [&] {
      if (indices.empty()) return;
      glDrawElements(batching.batchMode, GLsizei(indices.size()), GL_UNSIGNED_INT, indices.data());
      indices.clear();
    };
    for (std::uint32_t i = 0; i < total; ++i) {
      if (!source.get(i, rows, material)) continue;
      // Triangles keep their order across a texture change: what is queued
      // goes out under the old texture first.
      if (textures && textureOf(textures, material) != boundTexture) {
        flush();
        bindFor(material);
      }
      for (int k = 0; k < batching.cornerCount; ++k) indices.push_back(GLuint(rows[batching.corners[k]]));
      ++drawn;
      if (indices.size() >= batchIndices) flush();
    }
    flush();
    glPopClientAttrib();
  } else {
    for (std::uint32_t i = 0; i < total; ++i) {
      if (!source.get(i, rows, material)) continue;
      bindFor(material);
      glBegin(GLenum(mode));
      for (int k = 0; k < 3; ++k) immediateVertex(vertices, rows[k]);
      glEnd();
      ++drawn;
    }
  }
  if (textures && boundTexture != static_cast<GLuint>(previousTexture))
    glBindTexture(GL_TEXTURE_2D, static_cast<GLuint>(previousTexture));
  if (setEnv) glTexEnvi(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, previousEnv);
  return drawn;
}

}  // namespace ql::gl
