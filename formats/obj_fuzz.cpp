// Fuzz entry for the OBJ and MTL line readers and the CR LF line cutting the
// side files share. The input is the OBJ text, and also the text of every
// material library it names. Checks what the import relies on: the readers
// never leave their tables, a model they accept only names vertices it has,
// and their lines are the runtime's split of the text at CR LF.
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "formats/obj_parse.h"
#include "runtime/kernel/commands/text_ops.h"

namespace {

class FuzzHost final : public ql::obj::Host {
 public:
  explicit FuzzHost(std::string library) : library_(std::move(library)) {}
  double toDouble(const char* t) override { return ql::rt::textToDouble(t); }
  int32_t toInt(const char* t) override { return ql::rt::textToInteger(t); }
  std::string readLibrary(const char*) override { return library_; }
  void materialMissing(const char*) override {}

 private:
  std::string library_;
};

void check(bool ok) {
  if (!ok) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace ql::obj;
  const std::string input(reinterpret_cast<const char*>(data), size);
  const std::string_view text = textOf(input);

  const Counts counts = countObjLines(text);
  const auto pieces = ql::rt::splitText(text, "\r\n", std::nullopt);
  check(size_t(counts.lines) == pieces.size());

  {
    std::string buffer(text);
    std::vector<Material> library;
    (void)parseMtl(std::span<char>(buffer.data(), buffer.size()), library);
  }

  // Tables exactly as large as the import makes them; reads and writes past
  // them show up under the address sanitizer.
  const TableRows rows = tableRows(counts);
  std::vector<float> vertices(size_t(rows.vertexRows) * kVertexColumns);
  std::vector<int32_t> triangles(size_t(rows.triangleRows) * kTriangleColumns);
  std::string buffer(text);
  FuzzHost host{std::string(text)};
  ObjResult result;
  result.library = {{"a", "a.tga"}};
  const auto fault = parseObj(std::span<char>(buffer.data(), buffer.size()), counts, Tables{vertices, triangles},
                              host, result);
  if (!fault) {
    check(result.vertexCount == counts.vertexLines && result.vertexCount >= 1);
    check(result.triangleCount == counts.faceLines && result.triangleCount >= 1);
    for (int32_t t = 0; t < result.triangleCount; ++t)
      for (size_t k = 1; k < kTriangleColumns; ++k) {
        const int32_t v = triangles[size_t(t) * kTriangleColumns + k];
        check(v >= 0 && v < result.vertexCount);
      }
  }
  return 0;
}
