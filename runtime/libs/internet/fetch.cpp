#include "runtime/libs/internet/fetch.h"

#include <cctype>
#include <charconv>

namespace ql::net {
namespace {

constexpr std::string_view kHttpScheme = "http://";

bool equalsIgnoringCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? char(c - 'A' + 'a') : c; };
    if (lower(a[i]) != lower(b[i])) return false;
  }
  return true;
}

bool isHostChar(char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '-' || c == '.' ||
         c == '_';
}

// Request targets travel as ASCII: the module's GBK bytes, blanks and
// control bytes become %XX; existing escapes stay as they are.
std::string encodeTarget(std::string_view raw) {
  static constexpr char kHex[] = "0123456789ABCDEF";
  std::string out;
  out.reserve(raw.size());
  for (char ch : raw) {
    const auto c = static_cast<unsigned char>(ch);
    if (c <= 0x20 || c >= 0x7F) {
      out += '%';
      out += kHex[c >> 4];
      out += kHex[c & 15];
    } else {
      out += ch;
    }
  }
  return out.empty() || out[0] != '/' ? "/" + out : out;
}

Result<Url> parseAuthorityAndTarget(std::string_view rest, std::string_view address) {
  const size_t authorityEnd = rest.find_first_of("/?#");
  std::string_view authority = rest.substr(0, authorityEnd);
  std::string_view target = authorityEnd == std::string_view::npos ? std::string_view() : rest.substr(authorityEnd);
  if (const size_t hash = target.find('#'); hash != std::string_view::npos) target = target.substr(0, hash);
  if (authority.find('@') != std::string_view::npos)
    return fail("address with user information is not supported: " + std::string(address));

  Url url;
  std::string_view portText;
  if (!authority.empty() && authority[0] == '[') {
    const size_t close = authority.find(']');
    if (close == std::string_view::npos) return fail("unclosed IPv6 host in " + std::string(address));
    url.host = std::string(authority.substr(1, close - 1));
    std::string_view after = authority.substr(close + 1);
    if (!after.empty()) {
      if (after[0] != ':') return fail("bad text after IPv6 host in " + std::string(address));
      portText = after.substr(1);
    }
    for (char c : url.host)
      if (!(std::isxdigit(static_cast<unsigned char>(c)) || c == ':' || c == '.'))
        return fail("bad IPv6 host in " + std::string(address));
  } else {
    const size_t colon = authority.rfind(':');
    url.host = std::string(authority.substr(0, colon));
    if (colon != std::string_view::npos) portText = authority.substr(colon + 1);
    for (char c : url.host)
      if (!isHostChar(c)) return fail("bad host name in " + std::string(address));
  }
  if (url.host.empty()) return fail("no host in " + std::string(address));
  if (!portText.empty()) {
    unsigned port = 0;
    auto [end, ec] = std::from_chars(portText.data(), portText.data() + portText.size(), port);
    if (ec != std::errc() || end != portText.data() + portText.size() || port == 0 || port > 65535)
      return fail("bad port '" + std::string(portText) + "' in " + std::string(address));
    url.port = static_cast<uint16_t>(port);
  }
  url.target = encodeTarget(target);
  return url;
}

bool isRedirect(int status) {
  return status == 301 || status == 302 || status == 303 || status == 307 || status == 308;
}

}  // namespace

Result<Url> parseUrl(std::string_view address) {
  std::string_view rest = address;
  if (const size_t sep = address.find("://"); sep != std::string_view::npos) {
    if (!equalsIgnoringCase(address.substr(0, sep + 3), kHttpScheme))
      return fail("only plain HTTP addresses are supported: " + std::string(address));
    rest = address.substr(sep + 3);
  }
  return parseAuthorityAndTarget(rest, address);
}

Result<Url> resolveLocation(const Url& base, std::string_view location) {
  if (location.find("://") != std::string_view::npos) return parseUrl(location);
  if (location.substr(0, 2) == "//") return parseAuthorityAndTarget(location.substr(2), location);
  if (location.empty()) return fail("redirect without a Location");
  Url url = base;
  if (location[0] == '/') {
    url.target = encodeTarget(location.substr(0, location.find('#')));
    return url;
  }
  // Relative to the folder of the base path (its query dropped).
  std::string_view basePath = base.target;
  basePath = basePath.substr(0, basePath.find('?'));
  basePath = basePath.substr(0, basePath.rfind('/') + 1);
  url.target = encodeTarget(std::string(basePath) + std::string(location.substr(0, location.find('#'))));
  return url;
}

Result<std::vector<uint8_t>> fetch(std::string_view address, const FetchLimits& limits, Transport& transport) {
  const Clock::time_point deadline = Clock::now() + limits.total;
  auto url = parseUrl(address);
  if (!url) return url.error();
  for (int hop = 0;; ++hop) {
    if (Clock::now() >= deadline) return fail("time-out before asking " + url->host + url->target);
    auto response = transport.get(*url, limits, deadline);
    if (!response) return response.error();
    const int status = response->status;
    if (status >= 200 && status < 300) return std::move(response->body);
    if (!isRedirect(status))
      return fail("HTTP status " + std::to_string(status) + " from " + url->host + url->target);
    if (hop >= limits.maxRedirects)
      return fail("more than " + std::to_string(limits.maxRedirects) + " redirects from " + std::string(address));
    auto next = resolveLocation(*url, response->location);
    if (!next) return next.error();
    url = std::move(next);
  }
}

}  // namespace ql::net
