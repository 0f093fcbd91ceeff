#include "runtime/libs/support/lib_support.h"

#include <atomic>
#include <cmath>
#include <cstring>
#include <limits>

namespace ql::lib {
namespace {
std::atomic<const QlHost*> gHost{nullptr};
}

bool Host::install(const QlHost* host) {
  if (!host || host->version != kQlHostVersion || !host->allocate || !host->release) return false;
  gHost.store(host);
  return true;
}

const QlHost* Host::get() { return gHost.load(); }

const abi::Arg* Args::at(uint32_t index) const {
  if (!record_ || index >= record_->count) return nullptr;
  const abi::Arg* a = &record_->args[index];
  return a->tag == abi::kTagOmitted ? nullptr : a;
}

uint32_t Args::tag(uint32_t index) const {
  const abi::Arg* a = at(index);
  return a ? a->tag : abi::kTagOmitted;
}

std::string_view Args::text(uint32_t index) const {
  const abi::Arg* a = at(index);
  if (!a || a->tag != abi::kTagText) return {};
  const char* p = reinterpret_cast<const char*>(static_cast<uintptr_t>(abi::argValue(*a)));
  return p ? std::string_view(p) : std::string_view();
}

namespace {
int32_t clampToInt(double d) {
  if (std::isnan(d)) return 0;
  d = std::trunc(d);
  if (d <= double(std::numeric_limits<int32_t>::min())) return std::numeric_limits<int32_t>::min();
  if (d >= double(std::numeric_limits<int32_t>::max())) return std::numeric_limits<int32_t>::max();
  return static_cast<int32_t>(d);
}

double asDouble(const abi::Arg& a) {
  uint64_t bits = abi::argValue(a);
  double d;
  std::memcpy(&d, &bits, sizeof d);
  return d;
}

float asFloat(const abi::Arg& a) {
  float f;
  std::memcpy(&f, &a.lo, sizeof f);
  return f;
}
}  // namespace

int32_t Args::integer(uint32_t index, int32_t fallback) const {
  const abi::Arg* a = at(index);
  if (!a) return fallback;
  switch (a->tag) {
    case abi::kTagInt:
      return static_cast<int32_t>(a->lo);
    case abi::kTagBool:
      return a->lo != 0 ? 1 : 0;
    case abi::kTagFloat:
      return clampToInt(asFloat(*a));
    case abi::kTagDouble:
      return clampToInt(asDouble(*a));
    default:
      return fallback;
  }
}

double Args::number(uint32_t index, double fallback) const {
  const abi::Arg* a = at(index);
  if (!a) return fallback;
  switch (a->tag) {
    case abi::kTagInt:
      return static_cast<int32_t>(a->lo);
    case abi::kTagBool:
      return a->lo != 0 ? 1 : 0;
    case abi::kTagFloat:
      return asFloat(*a);
    case abi::kTagDouble:
      return asDouble(*a);
    default:
      return fallback;
  }
}

bool Args::boolean(uint32_t index, bool fallback) const {
  const abi::Arg* a = at(index);
  if (!a) return fallback;
  switch (a->tag) {
    case abi::kTagBool:
    case abi::kTagInt:
      return a->lo != 0;
    case abi::kTagFloat:
    case abi::kTagDouble:
      return number(index, 0) != 0;
    default:
      return fallback;
  }
}

char* allocText(std::string_view text) {
  const QlHost* host = Host::get();
  if (!host || text.size() >= std::numeric_limits<uintptr_t>::max()) return nullptr;
  auto* block = static_cast<char*>(host->allocate(text.size() + 1));
  if (!block) return nullptr;
  if (!text.empty()) std::memcpy(block, text.data(), text.size());
  block[text.size()] = '\0';
  return block;
}

uint8_t* allocByteSet(std::span<const uint8_t> bytes) {
  constexpr size_t kShapeBytes = 8;  // dimension count 1, then the length
  const QlHost* host = Host::get();
  if (!host || bytes.size() > std::numeric_limits<uint32_t>::max()) return nullptr;
  auto* block = static_cast<uint8_t*>(host->allocate(kShapeBytes + bytes.size()));
  if (!block) return nullptr;
  const uint32_t shape[2] = {1, static_cast<uint32_t>(bytes.size())};
  std::memcpy(block, shape, kShapeBytes);  // little-endian targets only, as the format
  if (!bytes.empty()) std::memcpy(block + kShapeBytes, bytes.data(), bytes.size());
  return block;
}

abi::CmdResult textResult(std::string_view text) { return pointerResult(allocText(text), abi::kTagText); }

abi::CmdResult byteSetResult(std::span<const uint8_t> bytes) {
  return pointerResult(allocByteSet(bytes), abi::kTagBytes);
}

}  // namespace ql::lib
