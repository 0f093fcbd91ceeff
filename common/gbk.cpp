#include "common/gbk.h"

#include <algorithm>

#ifdef _WIN32
#include <windows.h>
#else
#include <iconv.h>
#include <cerrno>
#include <cstring>
#endif

namespace ql {

#ifdef _WIN32
namespace {
constexpr UINT kCodePageGbk = 936;
}

std::optional<std::wstring> gbkToWide(std::string_view gbk) {
  if (gbk.empty()) return std::wstring();
  int n = MultiByteToWideChar(kCodePageGbk, MB_ERR_INVALID_CHARS, gbk.data(), int(gbk.size()), nullptr, 0);
  if (n <= 0) return std::nullopt;
  std::wstring out(size_t(n), L'\0');
  MultiByteToWideChar(kCodePageGbk, MB_ERR_INVALID_CHARS, gbk.data(), int(gbk.size()), out.data(), n);
  return out;
}

std::optional<std::string> wideToGbk(std::wstring_view wide) {
  if (wide.empty()) return std::string();
  // Without WC_NO_BEST_FIT_CHARS a character GBK lacks would quietly become
  // a look-alike (an accented letter its plain one) instead of failing.
  BOOL lossy = FALSE;
  int n = WideCharToMultiByte(kCodePageGbk, WC_NO_BEST_FIT_CHARS, wide.data(), int(wide.size()), nullptr, 0, nullptr,
                              &lossy);
  if (n <= 0 || lossy) return std::nullopt;
  std::string out(size_t(n), '\0');
  WideCharToMultiByte(kCodePageGbk, WC_NO_BEST_FIT_CHARS, wide.data(), int(wide.size()), out.data(), n, nullptr,
                      nullptr);
  return out;
}

static std::optional<std::wstring> utf8ToWide(std::string_view s) {
  if (s.empty()) return std::wstring();
  int n = MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, s.data(), int(s.size()), nullptr, 0);
  if (n <= 0) return std::nullopt;
  std::wstring out(size_t(n), L'\0');
  MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, s.data(), int(s.size()), out.data(), n);
  return out;
}

static std::string wideToUtf8(std::wstring_view w) {
  if (w.empty()) return {};
  int n = WideCharToMultiByte(CP_UTF8, 0, w.data(), int(w.size()), nullptr, 0, nullptr, nullptr);
  std::string out(size_t(n), '\0');
  WideCharToMultiByte(CP_UTF8, 0, w.data(), int(w.size()), out.data(), n, nullptr, nullptr);
  return out;
}

std::optional<std::string> gbkToUtf8(std::string_view gbk) {
  auto w = gbkToWide(gbk);
  if (!w) return std::nullopt;
  return wideToUtf8(*w);
}

std::optional<std::string> utf8ToGbk(std::string_view utf8) {
  auto w = utf8ToWide(utf8);
  if (!w) return std::nullopt;
  return wideToGbk(*w);
}

// Character by character (GBK has one- and two-byte ones), so that each byte
// that starts no valid character becomes U+FFFD, as on other systems; the
// code page's own default would be '?', which a message cannot tell apart.
std::string gbkToUtf8Lossy(std::string_view gbk) {
  std::wstring w;
  w.reserve(gbk.size());
  for (size_t i = 0; i < gbk.size();) {
    const auto byte = static_cast<unsigned char>(gbk[i]);
    if (byte < 0x80) {
      w += wchar_t(byte);
      ++i;
      continue;
    }
    wchar_t c = 0;
    if (i + 1 < gbk.size() &&
        MultiByteToWideChar(kCodePageGbk, MB_ERR_INVALID_CHARS, gbk.data() + i, 2, &c, 1) == 1) {
      w += c;
      i += 2;
    } else {
      w += wchar_t(0xFFFD);
      ++i;
    }
  }
  return wideToUtf8(w);
}

#else

namespace {

// One conversion with iconv; stops at the first sequence that cannot be
// converted. `lossy` replaces such bytes with U+FFFD (UTF-8 output only).
std::optional<std::string> convert(const char* to, const char* from, std::string_view in, bool lossy) {
  if (in.empty()) return std::string();
  iconv_t cd = iconv_open(to, from);
  if (cd == reinterpret_cast<iconv_t>(-1)) return std::nullopt;
  std::string out;
  out.resize(in.size() * 4 + 16);
  char* src = const_cast<char*>(in.data());
  size_t srcLeft = in.size();
  char* dst = out.data();
  size_t dstLeft = out.size();
  bool good = true;
  while (srcLeft > 0) {
    size_t r = iconv(cd, &src, &srcLeft, &dst, &dstLeft);
    if (r != static_cast<size_t>(-1)) break;
    if (errno == E2BIG) {
      size_t used = size_t(dst - out.data());
      out.resize(out.size() * 2);
      dst = out.data() + used;
      dstLeft = out.size() - used;
      continue;
    }
    // EILSEQ or EINVAL: an unconvertible or incomplete sequence.
    if (!lossy) {
      good = false;
      break;
    }
    if (dstLeft < 3) {
      size_t used = size_t(dst - out.data());
      out.resize(out.size() * 2);
      dst = out.data() + used;
      dstLeft = out.size() - used;
    }
    static const char kReplacement[] = "\xEF\xBF\xBD";
    std::memcpy(dst, kReplacement, 3);
    dst += 3;
    dstLeft -= 3;
    ++src;
    --srcLeft;
  }
  iconv_close(cd);
  if (!good) return std::nullopt;
  out.resize(size_t(dst - out.data()));
  return out;
}

}  // namespace

std::optional<std::string> gbkToUtf8(std::string_view gbk) { return convert("UTF-8", "GBK", gbk, false); }
std::optional<std::string> utf8ToGbk(std::string_view utf8) { return convert("GBK", "UTF-8", utf8, false); }
std::string gbkToUtf8Lossy(std::string_view gbk) { return *convert("UTF-8", "GBK", gbk, true); }

#endif

std::optional<std::string> gbkPathToLinux(std::string_view gbkPath) {
  auto utf8 = gbkToUtf8(gbkPath);
  if (utf8) std::replace(utf8->begin(), utf8->end(), '\\', '/');
  return utf8;
}

std::optional<std::string> linuxPathToGbk(std::string_view utf8Path) {
  std::string utf8(utf8Path);
  std::replace(utf8.begin(), utf8.end(), '/', '\\');
  return utf8ToGbk(utf8);
}

std::u32string utf8CodePoints(std::string_view utf8) {
  std::u32string out;
  out.reserve(utf8.size());
  for (size_t i = 0; i < utf8.size();) {
    const auto lead = static_cast<unsigned char>(utf8[i]);
    const size_t length = lead < 0x80 ? 1 : lead < 0xE0 ? 2 : lead < 0xF0 ? 3 : 4;
    char32_t c = length == 1 ? lead : lead & (0x7F >> length);
    for (size_t k = 1; k < length && i + k < utf8.size(); ++k) c = (c << 6) | (utf8[i + k] & 0x3F);
    out.push_back(c);
    i += length;
  }
  return out;
}

}  // namespace ql
