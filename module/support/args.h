// Building argument records and reading command results.
//
// How each kind of argument travels (value low word, value high word, tag):
//  - integer, boolean: the 32-bit value in the low word, 0 in the high word;
//    integer tag 0x80000301, boolean tag 0x80000002 (value 1 or 0).
//  - single float: its 4 bytes in the low word; double: its 8 bytes in both.
//  - text: the address of a NUL-terminated text; never null ("" instead).
//  - byte set / integer array: the address of the block (never null for a
//    byte set: an empty set instead).
//  - platform handle (window handle, device or rendering context): the
//    pointer-sized value in both words, integer tag.
//  - integer variable passed by reference: the address of the 32-bit
//    variable, integer tag; the command's signature says it is a reference.
//  - window, control: low word = window id (0x52…), high word = unit id
//    (0x06… for the window's own unit, 0x16… for a control); tag = the
//    library-qualified type code of the unit (0x00010001 window,
//    0x00010005 text box, 0x00010008 drawing area, 0x0001000F list box,
//    0x0001001F file dialog, …). The runtime's window system decodes it.
//  - object (expression, match, general-value cell, pixel-format record):
//    the address of the module's variable that holds the object (for the
//    pixel-format record, of the record itself); tag = its type code.
//  - omitted optional argument: all three words 0.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>

#include "module/abi.h"
#include "module/support/array.h"
#include "module/support/byteset.h"
#include "module/support/text.h"

namespace ql {

// A window or control as commands and property services name it.
struct UnitRef {
  uint32_t window;  // window id, high byte 0x52
  uint32_t unit;    // unit id: the window's own unit (0x06…) or a control (0x16…)
  uint32_t type;    // library-qualified type code
};
constexpr UnitRef windowUnit(uint32_t windowId, uint32_t windowUnitId) {
  return UnitRef{windowId, windowUnitId, abi::kTypeWindow};
}
constexpr UnitRef controlUnit(uint32_t windowId, uint32_t controlId, uint32_t type) {
  return UnitRef{windowId, controlId, type};
}

namespace args {

inline abi::Arg omitted() { return abi::Arg{0, 0, abi::kTagOmitted}; }
inline abi::Arg integer(int32_t v) { return abi::Arg{static_cast<uint32_t>(v), 0, abi::kTagInt}; }
inline abi::Arg boolean(bool v) { return abi::Arg{v ? 1u : 0u, 0, abi::kTagBool}; }
inline abi::Arg single(float v) {
  uint32_t bits;
  std::memcpy(&bits, &v, 4);
  return abi::Arg{bits, 0, abi::kTagFloat};
}
inline abi::Arg dbl(double v) {
  uint64_t bits;
  std::memcpy(&bits, &v, 8);
  return abi::makeArg(bits, abi::kTagDouble);
}
inline abi::Arg address(const void* p, uint32_t tag) { return abi::makeArg(reinterpret_cast<uintptr_t>(p), tag); }
inline abi::Arg text(TextRef s) { return address(s.c_str(), abi::kTagText); }
inline abi::Arg bytes(BytesRef b) { return address(b.block(), abi::kTagBytes); }
inline abi::Arg handle(intptr_t h) { return abi::makeArg(static_cast<uint64_t>(h), abi::kTagInt); }
inline abi::Arg intRef(int32_t* var) { return address(var, abi::kTagInt); }
inline abi::Arg intArray(const void* block) { return address(block, abi::kTagIntArray); }
inline abi::Arg unit(UnitRef u) { return abi::makeArg(uint64_t(u.window) | uint64_t(u.unit) << 32, u.type); }
inline abi::Arg object(const void* var, uint32_t typeCode) { return address(var, typeCode); }

}  // namespace args

// An argument record of N arguments, laid out as abi::ArgRecord.
template <size_t N>
struct ArgPack {
  uint32_t count = N;
  abi::Arg args[N ? N : 1] = {};
  const abi::ArgRecord* record() const { return reinterpret_cast<const abi::ArgRecord*>(this); }
};
static_assert(offsetof(ArgPack<3>, args) == offsetof(abi::ArgRecord, args));
static_assert(sizeof(ArgPack<3>) == abi::argRecordSize(3));

template <class... A>
abi::CmdResult kernelCall(int32_t code, const A&... a) {
  const ArgPack<sizeof...(A)> pack{sizeof...(A), {a...}};
  return svc::kernelCommand(code, pack.record());
}
template <class... A>
abi::CmdResult libraryCall(int32_t row, int32_t code, const A&... a) {
  const ArgPack<sizeof...(A)> pack{sizeof...(A), {a...}};
  return svc::libraryCommand(row, code, pack.record());
}

namespace result {
inline int32_t integer(const abi::CmdResult& r) { return static_cast<int32_t>(static_cast<uint32_t>(r.value)); }
inline bool boolean(const abi::CmdResult& r) { return static_cast<uint32_t>(r.value) != 0; }
inline double dbl(const abi::CmdResult& r) {
  double v;
  std::memcpy(&v, &r.value, 8);
  return v;
}
inline intptr_t handle(const abi::CmdResult& r) { return static_cast<intptr_t>(r.value); }
inline void* block(const abi::CmdResult& r) { return reinterpret_cast<void*>(static_cast<uintptr_t>(r.value)); }
inline Text text(const abi::CmdResult& r) { return Text::adopt(static_cast<char*>(block(r))); }
inline Bytes bytes(const abi::CmdResult& r) { return Bytes::adopt(block(r)); }
inline TextList textList(const abi::CmdResult& r) { return TextList::adopt(block(r)); }
}  // namespace result

}  // namespace ql
