#include "module/app/image_link.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "qvkm_image.h"

namespace ql::app {
namespace {

const uint8_t* g_constBase = nullptr;

template <class T>
T loadField(const uint8_t* image, uint32_t offset) {
  static_assert(sizeof(T) == gen::kPointerWidth);
  T value;
  std::memcpy(&value, image + offset, sizeof value);
  return value;
}

const uint8_t* at(uint32_t offset) {
  if (!g_constBase) {
    std::fprintf(stderr, "module: a constant used before the @const base was set\n");
    std::abort();
  }
  return g_constBase + offset;
}

}  // namespace

uint8_t* imageBase() { return static_cast<uint8_t*>(ql_module_image_address()); }

LinkArea readLinkArea(const uint8_t* image) {
  return LinkArea{
      loadField<void* const*>(image, gen::link::kServiceSlots),
      loadField<const uint8_t*>(image, gen::link::kConstBase),
      loadField<Globals*>(image, gen::link::kVarBase),
      loadField<const abi::Routine*>(image, gen::link::kCleanupEntry),
  };
}

void setConstBase(const uint8_t* base) { g_constBase = base; }
const uint8_t* constBase() { return g_constBase; }

TextRef constText(uint32_t offset) { return TextRef(reinterpret_cast<const char*>(at(offset))); }
BytesRef constBytes(uint32_t offset) { return BytesRef::fromBlock(at(offset)); }

double constDouble(uint32_t offset) {
  double v;
  std::memcpy(&v, at(offset), sizeof v);
  return v;
}

const uint32_t* constShape(uint32_t offset) { return reinterpret_cast<const uint32_t*>(at(offset)); }

}  // namespace ql::app
