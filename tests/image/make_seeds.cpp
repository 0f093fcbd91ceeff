// Writes the seed inputs of the module_image fuzz target: valid images of
// both widths and broken ones. Run: image_make_seeds fuzz/seeds/module_image
#include <cstdio>
#include <string>

#include "tests/image/test_images.h"

using namespace ql::image;
using namespace ql::image::test;

static void save(const std::string& dir, const char* name, const ql::ByteVec& b) {
  const std::string path = dir + "/" + name;
  FILE* f = std::fopen(path.c_str(), "wb");
  if (!f || std::fwrite(b.data(), 1, b.size(), f) != b.size()) std::perror(path.c_str());
  if (f) std::fclose(f);
}

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: image_make_seeds DIR\n");
    return 2;
  }
  const std::string dir = argv[1];
  const ql::ByteVec shipped = mustWrite(shippedModel());
  const ql::ByteVec small = mustWrite(small64Model());
  save(dir, "shipped32.qvkm", shipped);
  save(dir, "small64.qvkm", small);
  save(dir, "truncated_in_reloc1.qvkm", ql::ByteVec(shipped.begin(), shipped.end() - 2));
  ql::ByteVec loop = small;  // the last header links back to the first
  const uint32_t first = ql::loadU32(loop.data() + 0x24);
  auto img = readImage(small);
  ql::storeU32(loop.data() + img->placements.back().headerOffset + 4, first);
  save(dir, "chain_loop.qvkm", loop);
  ql::ByteVec badUnit = small;  // first unit's length runs past its record
  const uint32_t form = img->placements[1].dataOffset;
  const uint32_t record = form + 4 + ql::loadU32(badUnit.data() + form);  // after the window list
  const uint32_t units = ql::loadU32(badUnit.data() + record + 16);
  ql::storeU32(badUnit.data() + record + 24 + 8 * units, 0xFFFFFF00);
  save(dir, "unit_length_past.qvkm", badUnit);
  save(dir, "no_library_end.qvkm", ql::ByteVec(small.begin(), small.begin() + 0x70));
  return 0;
}
