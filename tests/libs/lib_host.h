// Test fixtures for the support libraries: a host that counts its blocks, a
// loader that opens a library from the runtime folder, and argument records.
#pragma once

#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

#include "module/abi.h"
#include "runtime/support_lib.h"

namespace ql::test {

// The blocks handed out by the counting host and not yet released.
size_t liveBlocks();
// True when `block` is a live block of the counting host.
bool isLiveBlock(const void* block);
// Releases through the host, as the module's free slot would.
void releaseBlock(void* block);
// Releases that named no live block (a double free or a foreign pointer).
size_t badReleases();
const QlHost* countingHost();

class LoadedLibrary {
 public:
  explicit LoadedLibrary(const char* fileName);
  ~LoadedLibrary();
  LoadedLibrary(const LoadedLibrary&) = delete;
  LoadedLibrary& operator=(const LoadedLibrary&) = delete;

  bool loaded() const { return command_ != nullptr; }
  const std::string& error() const { return error_; }
  const QlLibraryInfo* info() const { return info_ ? info_() : nullptr; }
  int32_t init(const QlHost* host) const { return init_(host); }
  abi::CmdResult call(int32_t code, const abi::ArgRecord* args) const { return command_(code, args); }

 private:
  void* handle_ = nullptr;
  QlLibInfoFn info_ = nullptr;
  QlLibInitFn init_ = nullptr;
  QlLibCommandFn command_ = nullptr;
  std::string error_;
};

// An argument record built as the module builds one.
class ArgList {
 public:
  ArgList& text(const char* s) { return add(reinterpret_cast<uintptr_t>(s), abi::kTagText); }
  ArgList& integer(int32_t v) { return add(static_cast<uint32_t>(v), abi::kTagInt); }
  ArgList& boolean(bool v) { return add(v ? 1 : 0, abi::kTagBool); }
  ArgList& object(intptr_t* variable, uint32_t typeCode) {
    return add(reinterpret_cast<uintptr_t>(variable), typeCode);
  }
  ArgList& omitted() { return add(0, abi::kTagOmitted); }
  ArgList& add(uint64_t value, uint32_t tag) {
    args_.push_back(abi::makeArg(value, tag));
    return *this;
  }
  const abi::ArgRecord* record() {
    bytes_.assign(abi::argRecordSize(uint32_t(args_.size())), 0);
    const auto count = uint32_t(args_.size());
    std::memcpy(bytes_.data(), &count, 4);
    if (!args_.empty()) std::memcpy(bytes_.data() + 4, args_.data(), args_.size() * sizeof(abi::Arg));
    return reinterpret_cast<const abi::ArgRecord*>(bytes_.data());
  }

 private:
  std::vector<abi::Arg> args_;
  std::vector<uint8_t> bytes_;
};

// The bytes of a returned byte set (count 1, length, bytes).
std::string byteSetBytes(const void* block);

}  // namespace ql::test
