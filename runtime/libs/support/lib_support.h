// Small pieces every support library needs: reading the values of an
// argument record and building results whose blocks come from the host, so
// that the module can free them through its free slot.
#pragma once

#include <cstdint>
#include <span>
#include <string_view>

#include "module/abi.h"
#include "runtime/support_lib.h"

namespace ql::lib {

// The host lent by the kernel at QlLibInit; null before that.
class Host {
 public:
  // Accepts the host when its version and its memory services are usable.
  static bool install(const QlHost* host);
  static const QlHost* get();
};

// Read-only view of an argument record. Every accessor tolerates a null
// record, an index past the count and an omitted argument (tag 0): the
// caller's fallback is used then, so a short record never reads past its end.
class Args {
 public:
  explicit Args(const abi::ArgRecord* record) : record_(record) {}

  uint32_t count() const { return record_ ? record_->count : 0; }
  const abi::Arg* at(uint32_t index) const;
  bool present(uint32_t index) const { return at(index) != nullptr; }
  uint32_t tag(uint32_t index) const;

  // A text argument; a null pointer, an omitted argument or another tag
  // reads as the empty text.
  std::string_view text(uint32_t index) const;
  // Integer, boolean, single or double argument as a 32-bit integer
  // (floating values truncated toward zero and clamped); otherwise fallback.
  int32_t integer(uint32_t index, int32_t fallback) const;
  double number(uint32_t index, double fallback) const;
  bool boolean(uint32_t index, bool fallback) const;
  // The argument's value taken as an address (object variables, by-reference
  // arguments); null when absent.
  template <class T>
  T* pointer(uint32_t index) const {
    const abi::Arg* a = at(index);
    return a ? reinterpret_cast<T*>(static_cast<uintptr_t>(abi::argValue(*a))) : nullptr;
  }

 private:
  const abi::ArgRecord* record_;
};

// Blocks for the module, from the host's allocate service. Null when there is
// no host or the allocation failed.
char* allocText(std::string_view text);
// A byte set: u32 1, u32 length, the bytes. Null as above, and when the
// length does not fit 32 bits.
uint8_t* allocByteSet(std::span<const uint8_t> bytes);

// Command results.
inline abi::CmdResult noResult() { return abi::CmdResult{0, abi::kTagOmitted, 0}; }
inline abi::CmdResult intResult(int32_t v) {
  return abi::CmdResult{static_cast<uint32_t>(v), abi::kTagInt, 0};
}
inline abi::CmdResult boolResult(bool v) { return abi::CmdResult{v ? 1u : 0u, abi::kTagBool, 0}; }
inline abi::CmdResult pointerResult(const void* p, uint32_t tag) {
  return abi::CmdResult{static_cast<uint64_t>(reinterpret_cast<uintptr_t>(p)), tag, 0};
}
// A new text for the caller; an allocation failure gives a null text, which
// the module reads as "".
abi::CmdResult textResult(std::string_view text);
abi::CmdResult byteSetResult(std::span<const uint8_t> bytes);

}  // namespace ql::lib
