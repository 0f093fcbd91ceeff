// Fuzz entry for the module image reader. Whatever it accepts must write back
// to bytes that read as the same model.
#include <cstdlib>

#include "module/image/image.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace ql::image;
  auto img = readImage(ql::ByteSpan(data, size));
  if (!img) {
    if (img.error().message.empty()) std::abort();  // every rejection says why
    return 0;
  }
  // Touch what a loader would: fixup values and decoded properties.
  for (const auto& s : img->model.segments)
    for (const auto& f : s.fixups) (void)img->fieldValue(s, f);
  for (const auto& w : img->form.windows)
    for (const auto& u : w.units) {
      PropertyCursor c(u.properties);
      while (!c.atEnd())
        if (!c.text()) break;
    }
  auto bytes = writeImage(img->model);
  if (!bytes) return 0;  // e.g. a layout with gaps cannot always be rewritten 1:1
  auto again = readImage(*bytes);
  if (!again) std::abort();
  return 0;
}
