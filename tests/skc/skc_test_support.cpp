#include "tests/skc/skc_test_support.h"

#include "model/model_store.h"
#include "module/support/globals.h"

namespace ql::skctest {

std::string joinLines(const std::vector<std::string>& lines) {
  std::string out;
  for (size_t i = 0; i < lines.size(); ++i) {
    if (i) out += "\r\n";
    out += lines[i];
  }
  return out;
}

std::vector<std::string> headLines(const std::vector<std::string>& textures, std::string declaredMaterials) {
  if (declaredMaterials.empty()) declaredMaterials = std::to_string(textures.size());
  std::vector<std::string> lines = {std::string(kHeaderLine), "#\t\t\t\tvrel", "Static Skins: 1 Dynamic Skins: 0",
                                    "Static Skin S_01", "{", "  Materials: " + declaredMaterials};
  for (const std::string& t : textures) {
    lines.push_back("  Material");
    lines.push_back("    Texture   " + t);
    lines.push_back("    Ambient\t 0.70  0.70  0.70");
    lines.push_back("    Option    NONE");
    lines.push_back("    TwoSide   FALSE");
  }
  return lines;
}

std::vector<std::string> referenceVertexLines() {
  return {
      "    v   1.50000   2.25000  -3.00000 vt 0.500 0.750 Bones 1 0 1.00000",
      "    v  10.00000     0.125  41 vt   -0.125 1.25 Bones 2 8 0.50005  9 0.49995",
      "v 0.1 -0.2 0.3 vt 0 1 Bones 1 3 1",
  };
}

std::vector<std::string> referenceTriangleLines() { return {"    f 3  0 2 1 0", "    f 3 1   0 1 2"}; }

std::string referenceModel() {
  std::vector<std::string> lines = headLines({"a.tga", "b.bmp"});
  lines.push_back("  Vertices: 3");
  for (auto& l : referenceVertexLines()) lines.push_back(l);
  lines.push_back("  Triangles: 2");
  for (auto& l : referenceTriangleLines()) lines.push_back(l);
  lines.push_back("");
  lines.push_back("}");
  return joinLines(lines);
}

StoreCopy copyStore() {
  const Globals& g = globals();
  StoreCopy c;
  c.modelLoaded = g.modelLoaded;
  c.materialCount = g.materialCount;
  c.vertexCount = g.vertexCount;
  c.triangleCount = g.triangleCount;
  c.skcHead = std::string(store::skcHead().get().view());
  c.modelFileName = std::string(store::modelFileName().get().view());
  auto paths = store::texturePaths();
  for (uint32_t i = 1; i <= store::listEntries(paths); ++i) c.texturePaths.emplace_back(paths.text(i).view());
  auto ids = store::textureIds();
  for (uint32_t i = 1; i <= store::listEntries(ids); ++i) c.textureIds.push_back(ids.get(i));
  auto bones = store::boneTexts();
  for (uint32_t i = 1; i <= store::listEntries(bones); ++i) c.boneTexts.emplace_back(bones.text(i).view());
  auto vt = store::vertexTable();
  c.vertexRows = store::tableRows(vt);
  for (uint32_t r = 1; r <= c.vertexRows; ++r) {
    std::array<float, 5> row{};
    for (int32_t col = 1; col <= 5; ++col) row[col - 1] = vt.get(r, col);
    c.vertices.push_back(row);
  }
  auto tt = store::triangleTable();
  c.triangleRows = store::tableRows(tt);
  for (uint32_t r = 1; r <= c.triangleRows; ++r) {
    std::array<int32_t, 4> row{};
    for (int32_t col = 1; col <= 4; ++col) row[col - 1] = tt.get(r, col);
    c.triangles.push_back(row);
  }
  return c;
}

}  // namespace ql::skctest
