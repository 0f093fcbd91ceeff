// The internet library's fetch: one HTTP GET, redirects followed, the body
// returned. The part that talks to the network is a small transport
// interface (cpp-httplib on Linux, WinINet on Windows); address parsing,
// redirects and limits are shared.
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "common/result.h"

namespace ql::net {

struct FetchLimits {
  std::chrono::milliseconds connectTimeout{5000};  // per connection
  std::chrono::milliseconds readTimeout{5000};     // longest wait for the next bytes
  std::chrono::milliseconds total{5000};           // the whole fetch, redirects included
  size_t maxBody = 16 * 1024 * 1024;               // bytes after any decoding
  int maxRedirects = 5;
};

struct Url {
  std::string host;    // a name or an IPv4 address, or an IPv6 address without brackets
  uint16_t port = 80;
  std::string target;  // path and query, starting with '/', bytes outside printable ASCII percent-encoded
};

// "http://host[:port][/path][?query][#fragment]"; the scheme may be left out
// and is matched ignoring case. Only plain HTTP: https and other schemes,
// user information and malformed hosts or ports are errors.
Result<Url> parseUrl(std::string_view address);

// The address a redirect's Location names, relative to the one that
// answered: absolute, scheme-relative ("//host/x"), absolute path or
// relative path.
Result<Url> resolveLocation(const Url& base, std::string_view location);

struct HttpResponse {
  int status = 0;
  std::string location;  // the Location header of a redirect
  std::vector<uint8_t> body;  // filled for 2xx answers only
};

using Clock = std::chrono::steady_clock;

// One GET, no redirects followed. The body is read only for a 2xx answer and
// only while it stays within `maxBody` and the deadline; beyond either, the
// transport gives an error.
class Transport {
 public:
  virtual ~Transport() = default;
  virtual Result<HttpResponse> get(const Url& url, const FetchLimits& limits, Clock::time_point deadline) = 0;
};

// The platform's transport.
Transport& defaultTransport();

// The whole fetch: parse, GET, follow up to maxRedirects redirects (301, 302,
// 303, 307, 308), and give the body of the final 2xx answer. Any failure is
// an error with the reason.
Result<std::vector<uint8_t>> fetch(std::string_view address, const FetchLimits& limits, Transport& transport);

}  // namespace ql::net
