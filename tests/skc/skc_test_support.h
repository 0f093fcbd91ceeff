// SKC texts built by hand for the reader's tests, and a copy of the model
// store taken inside a running program (the store is gone after the run).
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace ql::skctest {

inline constexpr std::string_view kHeaderLine = "# Character Skin Export for Interserv";

// Lines joined with CR LF, none after the last.
std::string joinLines(const std::vector<std::string>& lines);

// The head of a model as the game's files have it: header lines, "{", the
// Materials line (with `declaredMaterials`, or the number of textures when
// empty) and one material block per texture.
std::vector<std::string> headLines(const std::vector<std::string>& textures, std::string declaredMaterials = "");

// The three vertices of the reference model: blanks of several widths
// between the numbers, and a bone text with a double blank.
std::vector<std::string> referenceVertexLines();
inline constexpr std::array<std::array<float, 5>, 3> kReferenceVertices = {{
    {1.5f, 2.25f, -3.0f, 0.5f, 0.75f},
    {10.0f, 0.125f, 41.0f, -0.125f, 1.25f},
    {0.1f, -0.2f, 0.3f, 0.0f, 1.0f},
}};
inline const std::vector<std::string> kReferenceBones = {"1 0 1.00000", "2 8 0.50005  9 0.49995", "1 3 1"};

// Its two triangles; row 1 has the first vertex index 2 (the trace line).
std::vector<std::string> referenceTriangleLines();
inline constexpr std::array<std::array<int32_t, 4>, 2> kReferenceTriangles = {{
    {0, 2, 1, 0},
    {1, 0, 1, 2},
}};

// The whole reference model: head with textures a.tga and b.bmp, three
// vertices, two triangles and the closing brace, as the writer lays it out.
std::string referenceModel();

// What a load left in the store, copied inside a step.
struct StoreCopy {
  int32_t modelLoaded = 0;
  int32_t materialCount = 0;
  int32_t vertexCount = 0;
  int32_t triangleCount = 0;
  std::string skcHead;
  std::string modelFileName;
  std::vector<std::string> texturePaths;
  std::vector<int32_t> textureIds;
  std::vector<std::string> boneTexts;
  uint32_t vertexRows = 0;  // 0 while the table keeps its start-up shape
  uint32_t triangleRows = 0;
  std::vector<std::array<float, 5>> vertices;     // every row of vertexTable
  std::vector<std::array<int32_t, 4>> triangles;  // every row of triangleTable
};
// Only inside a running program (a step).
StoreCopy copyStore();

}  // namespace ql::skctest
