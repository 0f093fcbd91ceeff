// Fuzz entry for the OBJ and MTL line readers and their line and token
// splitter. The input is the OBJ text, and also the text of every material
// library it names. Checks what the import relies on: the readers never leave
// their tables, a model they accept only names vertices it has, and the lines
// put back together with their line ends give the text again, none of them
// holding a line end that stands on a character boundary.
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "common/text_split.h"
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
  size_t at = 0;
  int32_t lines = 0;
  ql::text::forEachLine(text, [&](std::string_view line, int32_t number) {
    check(number == ++lines && line.data() == text.data() + at);
    for (size_t i = 0; i < line.size(); i += ql::text::characterLength(line, i))
      check(line[i] != '\r' && line[i] != '\n');
    at += line.size();
    if (at < text.size()) {
      check(text[at] == '\r' || text[at] == '\n');
      at += text.substr(at, 2) == "\r\n" ? 2 : 1;
    }
    return true;
  });
  check(at == text.size() && lines == counts.lines);

  {
    std::vector<Material> library;
    (void)parseMtl(text, library);
  }

  // Tables exactly as large as the import makes them; reads and writes past
  // them show up under the address sanitizer.
  const TableRows rows = tableRows(counts);
  std::vector<float> vertices(size_t(rows.vertexRows) * kVertexColumns);
  std::vector<int32_t> triangles(size_t(rows.triangleRows) * kTriangleColumns);
  FuzzHost host{std::string(text)};
  ObjResult result;
  result.library = {{"a", "a.tga"}};
  const auto fault = parseObj(text, counts, Tables{vertices, triangles}, host, result);
  if (!fault) {
    check(result.vertexCount == counts.vertexLines && result.vertexCount >= 1);
    check(result.triangleCount == counts.triangles && result.triangleCount >= 1);
    for (int32_t t = 0; t < result.triangleCount; ++t)
      for (size_t k = 1; k < kTriangleColumns; ++k) {
        const int32_t v = triangles[size_t(t) * kTriangleColumns + k];
        check(v >= 0 && v < result.vertexCount);
      }
  }
  return 0;
}
