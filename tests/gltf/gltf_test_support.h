// Models for the glTF tests, and the files the export writes read back with
// the glTF library, so that a test can look at them, change them (as another
// tool would) and write them out again.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "formats/gltf_export.h"
#include "formats/gltf_import.h"
#include "formats/gltf_library.h"

namespace ql::gltf::test {

// A model as the store holds it, with the texts the export takes.
struct TestModel {
  std::vector<std::array<float, 5>> vertices;     // x, y, z, u, v
  std::vector<std::array<int32_t, 4>> triangles;  // material, three vertex indices
  std::vector<std::string> bones;
  std::vector<ExportMaterial> materials;
  std::vector<ExportImage> images;
  std::string head;
  std::string modelFileName;
  std::string meshName = "model";

  // The export's input; valid while the model lives and is not changed.
  ExportInput input() const;
  std::vector<std::string_view> boneViews;  // filled by input()
};

// A closed box of 8 corners and 12 triangles whose faces turn
// counter-clockwise seen from outside (z up, as the game's models), two
// materials, bone texts of one to five influences.
TestModel boxModel();

// The .glb of a model; fails the test when the export refuses it.
std::string exported(const TestModel& m);

// The file read back by the library (images left undecoded).
tinygltf::Model parsed(const std::string& glb);
// The library's .glb of a model (as another tool writes one).
std::string written(const tinygltf::Model& model);

// The elements of an accessor as numbers (any component type).
std::vector<double> numbers(const tinygltf::Model& model, int accessor);

// The per-vertex attributes of the mesh's first primitive (the export gives
// every primitive the same ones), and a copy of the file with its vertices
// replaced: new vertex i is the old vertex source[i] (a vertex may come
// twice, or not at all). Triangles with a vertex that is gone go with it; a
// triangle of a vertex that comes twice takes its first copy.
struct Vertex {
  std::array<float, 3> position;
  std::array<float, 2> texCoord;
  std::vector<uint16_t> joints;  // four per set
  std::vector<float> weights;
  float textNumber = -1;  // _SKC_BONES, −1 when absent
};
std::vector<Vertex> vertices(const tinygltf::Model& model);
// `keepTextNumbers` false: the file loses _SKC_BONES, as Blender's export
// drops attributes it does not know.
tinygltf::Model withVertices(const tinygltf::Model& model, const std::vector<size_t>& source,
                             const std::vector<Vertex>& changed, bool keepTextNumbers);

// An import that reads outside files from a map of names.
class MapHost final : public ImportHost {
 public:
  std::map<std::string, std::string> files;
  std::vector<std::string> asked;
  std::optional<std::string> readFile(std::string_view name) override;
};

// Reads a file; fails the test (and gives an empty model) on a fault.
ImportedModel imported(const std::string& file);
// The fault of a file the import must refuse (nothing when it takes it).
std::optional<ImportFault> refusal(const std::string& file);

// A picture decoded: rows top-down, `channels` bytes a pixel; no pixels when
// the bytes are no picture.
struct Picture {
  int width = 0, height = 0, channels = 0;
  std::vector<int> pixels;
};
Picture decoded(const std::string& bytes);

// Pictures: a 2×2 TGA of 32 bits (with alpha), a 2×2 BMP, a 2×2 JPEG.
std::string tga32();
std::string bmp24();
std::string jpeg();

}  // namespace ql::gltf::test
