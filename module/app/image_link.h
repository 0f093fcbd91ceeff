// The module's view of its own image: the link area in @code that the loader
// fills in (service slots, @const and @var bases, the clean-up entry), and the
// constants of @const by the offsets of the generated header
// (ql::gen::text::kCrLf, ...).
#pragma once

#include <cstdint>

#include "module/abi.h"
#include "module/support/byteset.h"
#include "module/support/globals.h"
#include "module/support/text.h"

namespace ql::app {

// What the loader's fixups left in the link area.
struct LinkArea {
  void* const* slots;                // address of service slot 0 in @hlpfn
  const uint8_t* constBase;          // first byte of @const's data
  Globals* vars;                     // the zero-filled @var block
  const abi::Routine* cleanupEntry;  // the clean-up routine's entry in @code
};

// The executable's image (its first byte is the signature field).
uint8_t* imageBase();
// Reads the fixed-up fields of the image at `image`.
LinkArea readLinkArea(const uint8_t* image);

// Set once by the start routine (tests: to the image's @const data).
void setConstBase(const uint8_t* base);
const uint8_t* constBase();

// The constant at an @const offset; the base must have been set.
TextRef constText(uint32_t offset);
BytesRef constBytes(uint32_t offset);
double constDouble(uint32_t offset);
const uint32_t* constShape(uint32_t offset);

}  // namespace ql::app
