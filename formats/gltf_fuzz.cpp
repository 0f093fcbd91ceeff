// Fuzz entry for the glTF reader: the input is a .glb or .gltf file, and also
// the content of every outside file a .gltf names. Checks what the import
// relies on: a model it accepts only names vertices and materials it has,
// holds a bone text per vertex and finite numbers.
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "formats/gltf_import.h"

namespace {

class FuzzHost final : public ql::gltf::ImportHost {
 public:
  explicit FuzzHost(std::string content) : content_(std::move(content)) {}
  std::optional<std::string> readFile(std::string_view) override { return content_; }

 private:
  std::string content_;
};

void check(bool ok) {
  if (!ok) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  FuzzHost host(std::string(reinterpret_cast<const char*>(data), size));
  ql::gltf::ImportedModel m;
  if (ql::gltf::readGltf(std::span<const uint8_t>(data, size), host, m)) return 0;
  check(m.vertices.size() % 5 == 0 && m.triangles.size() % 4 == 0);
  check(m.vertexCount() > 0 && m.triangleCount() > 0);
  check(m.boneTextOf.size() == m.vertexCount());
  for (uint32_t t : m.boneTextOf) check(t < m.boneTexts.size());
  for (float v : m.vertices) check(std::isfinite(v));
  for (size_t t = 0; t < m.triangleCount(); ++t) {
    check(m.triangles[t * 4] >= 0 && size_t(m.triangles[t * 4]) < m.materials.size());
    for (size_t c = 1; c <= 3; ++c)
      check(m.triangles[t * 4 + c] >= 0 && size_t(m.triangles[t * 4 + c]) < m.vertexCount());
  }
  for (size_t k = 0; k < m.vertexCount(); ++k) check(!m.boneText(k).empty());
  return 0;
}
