// Stand-in for the module image until the generated one exists: a section of
// its own holding just the image's opening signature bytes.
#include "module/abi.h"

namespace {

__attribute__((section(".qvkm"), used, aligned(16)))
unsigned char placeholderImage[48] = "QVKM / MADE BY Q COMPILER - QUELM \0\0";

}  // namespace

extern "C" void* ql_module_image_address(void) { return placeholderImage; }
