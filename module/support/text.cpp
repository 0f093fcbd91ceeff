#include "module/support/text.h"

#include <cstring>
#include <vector>

#include "module/support/services.h"

namespace ql {

int32_t textCompare(const char* a, const char* b) {
  if (!a) return (!b || *b == '\0') ? 0 : -1;
  if (!b) return *a == '\0' ? 0 : 1;
  const auto* x = reinterpret_cast<const unsigned char*>(a);
  const auto* y = reinterpret_cast<const unsigned char*>(b);
  while (*x == *y) {
    if (*x == 0) return 0;
    ++x;
    ++y;
  }
  return *x < *y ? -1 : 1;
}

size_t textLength(const char* s) { return s ? std::strlen(s) : 0; }

char* textConcat(std::span<const char* const> parts) {
  size_t total = 1;  // the NUL
  for (const char* p : parts) total += textLength(p);
  auto* out = static_cast<char*>(svc::allocate(total));
  char* at = out;
  for (const char* p : parts) {
    const size_t n = textLength(p);
    if (n) std::memcpy(at, p, n);
    at += n;
  }
  *at = '\0';
  return out;
}

char* textCopy(const char* s) {
  const char* one[] = {s};
  return textConcat(one);
}

char* textFromBytes(std::string_view bytes) {
  auto* out = static_cast<char*>(svc::allocate(bytes.size() + 1));
  if (!bytes.empty()) std::memcpy(out, bytes.data(), bytes.size());
  out[bytes.size()] = '\0';
  return out;
}

Text concatList(std::initializer_list<TextRef> parts) {
  // The module joins at most 13 texts at once; more still works, off the stack.
  constexpr size_t kInline = 16;
  const char* inlineParts[kInline];
  std::vector<const char*> many;
  const char** raw = inlineParts;
  if (parts.size() > kInline) {
    many.resize(parts.size());
    raw = many.data();
  }
  size_t i = 0;
  for (TextRef p : parts) raw[i++] = p.c_str();
  return Text::adopt(textConcat(std::span<const char* const>(raw, parts.size())));
}

void Text::reset(char* block) {
  char* old = std::exchange(p_, block);
  if (old && old != block) svc::release(old);
}

void TextVar::set(TextRef s) { set(Text::copy(s)); }

void TextVar::set(Text&& s) {
  char* old = std::exchange(*var_, s.release());
  svc::release(old);
}

void TextVar::clear() { svc::release(std::exchange(*var_, nullptr)); }

}  // namespace ql
