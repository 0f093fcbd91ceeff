// The transport on WinINet, the system's own HTTP client on Windows (Debian's
// cpp-httplib cannot be built for MinGW). Same contract as the httplib one:
// one GET, no automatic redirects, body only for 2xx, within the limits.
#if defined(_WIN32)
#include <windows.h>
#include <wininet.h>

#include <algorithm>
#include <string>

#include "runtime/libs/internet/fetch.h"

namespace ql::net {
namespace {

struct InternetHandle {
  HINTERNET h = nullptr;
  explicit InternetHandle(HINTERNET handle) : h(handle) {}
  ~InternetHandle() {
    if (h) InternetCloseHandle(h);
  }
  InternetHandle(const InternetHandle&) = delete;
  InternetHandle& operator=(const InternetHandle&) = delete;
};

DWORD millis(std::chrono::milliseconds d) {
  return static_cast<DWORD>(std::clamp<long long>(d.count(), 1, 0x7FFFFFFF));
}

std::string lastError(const char* what) { return std::string(what) + " failed, error " + std::to_string(GetLastError()); }

class WinInetTransport final : public Transport {
 public:
  Result<HttpResponse> get(const Url& url, const FetchLimits& limits, Clock::time_point deadline) override {
    const auto remaining = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
    if (remaining.count() <= 0) return fail("time-out before connecting to " + url.host);

    InternetHandle session(InternetOpenA("qltool", INTERNET_OPEN_TYPE_PRECONFIG, nullptr, nullptr, 0));
    if (!session.h) return fail(lastError("InternetOpen"));
    DWORD connectMs = millis(std::min(limits.connectTimeout, remaining));
    DWORD readMs = millis(std::min(limits.readTimeout, remaining));
    InternetSetOptionA(session.h, INTERNET_OPTION_CONNECT_TIMEOUT, &connectMs, sizeof connectMs);
    InternetSetOptionA(session.h, INTERNET_OPTION_RECEIVE_TIMEOUT, &readMs, sizeof readMs);
    InternetSetOptionA(session.h, INTERNET_OPTION_SEND_TIMEOUT, &readMs, sizeof readMs);

    InternetHandle connection(
        InternetConnectA(session.h, url.host.c_str(), url.port, nullptr, nullptr, INTERNET_SERVICE_HTTP, 0, 0));
    if (!connection.h) return fail(lastError("InternetConnect"));
    const DWORD flags = INTERNET_FLAG_NO_AUTO_REDIRECT | INTERNET_FLAG_NO_CACHE_WRITE | INTERNET_FLAG_RELOAD |
                        INTERNET_FLAG_NO_COOKIES | INTERNET_FLAG_NO_UI;
    InternetHandle request(
        HttpOpenRequestA(connection.h, "GET", url.target.c_str(), nullptr, nullptr, nullptr, flags, 0));
    if (!request.h) return fail(lastError("HttpOpenRequest"));
    if (!HttpSendRequestA(request.h, nullptr, 0, nullptr, 0)) return fail(lastError("HttpSendRequest"));

    HttpResponse out;
    DWORD status = 0, size = sizeof status;
    if (!HttpQueryInfoA(request.h, HTTP_QUERY_STATUS_CODE | HTTP_QUERY_FLAG_NUMBER, &status, &size, nullptr))
      return fail(lastError("HttpQueryInfo"));
    out.status = static_cast<int>(status);
    char location[4096];
    DWORD locationSize = sizeof location;
    if (HttpQueryInfoA(request.h, HTTP_QUERY_LOCATION, location, &locationSize, nullptr))
      out.location.assign(location, locationSize);
    if (out.status < 200 || out.status >= 300) return out;

    char buffer[16384];
    for (;;) {
      DWORD got = 0;
      if (!InternetReadFile(request.h, buffer, sizeof buffer, &got)) return fail(lastError("InternetReadFile"));
      if (got == 0) break;
      if (got > limits.maxBody - out.body.size())
        return fail("body exceeds " + std::to_string(limits.maxBody) + " bytes");
      if (Clock::now() >= deadline) return fail("time-out while reading the body");
      out.body.insert(out.body.end(), buffer, buffer + got);
    }
    return out;
  }
};

}  // namespace

Transport& defaultTransport() {
  static WinInetTransport transport;
  return transport;
}

}  // namespace ql::net
#endif  // _WIN32
