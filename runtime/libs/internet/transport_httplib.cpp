// The transport on cpp-httplib (Debian's shared build). Redirects are
// followed by fetch(), not by the library, so their count and targets stay
// under our limits.
#include <httplib.h>

#include <algorithm>

#include "runtime/libs/internet/fetch.h"

namespace ql::net {
namespace {

void splitDuration(std::chrono::milliseconds d, time_t& sec, time_t& usec) {
  if (d.count() < 1) d = std::chrono::milliseconds(1);
  sec = static_cast<time_t>(d.count() / 1000);
  usec = static_cast<time_t>((d.count() % 1000) * 1000);
}

class HttplibTransport final : public Transport {
 public:
  Result<HttpResponse> get(const Url& url, const FetchLimits& limits, Clock::time_point deadline) override {
    const auto remaining = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
    if (remaining.count() <= 0) return fail("time-out before connecting to " + url.host);

    httplib::Client client(url.host, url.port);
    time_t sec = 0, usec = 0;
    splitDuration(std::min(limits.connectTimeout, remaining), sec, usec);
    client.set_connection_timeout(sec, usec);
    splitDuration(std::min(limits.readTimeout, remaining), sec, usec);
    client.set_read_timeout(sec, usec);
    client.set_write_timeout(sec, usec);
    client.set_follow_location(false);
    client.set_keep_alive(false);

    HttpResponse out;
    bool sawResponse = false;
    std::string stopReason;
    auto onResponse = [&](const httplib::Response& r) {
      sawResponse = true;
      out.status = r.status;
      out.location = r.get_header_value("Location");
      if (r.status < 200 || r.status >= 300) return false;  // the body is not wanted
      if (r.has_header("Content-Length")) {
        const std::string declared = r.get_header_value("Content-Length");
        if (declared.size() > 18 || std::stoull("0" + declared) > limits.maxBody) {
          stopReason = "declared body of " + declared + " bytes exceeds " + std::to_string(limits.maxBody);
          return false;
        }
      }
      return true;
    };
    auto onContent = [&](const char* data, size_t size) {
      if (size > limits.maxBody - out.body.size()) {
        stopReason = "body exceeds " + std::to_string(limits.maxBody) + " bytes";
        return false;
      }
      if (Clock::now() >= deadline) {
        stopReason = "time-out while reading the body";
        return false;
      }
      out.body.insert(out.body.end(), data, data + size);
      return true;
    };
    httplib::Result result = client.Get(url.target, httplib::Headers{}, onResponse, onContent);
    const std::string where = url.host + ":" + std::to_string(url.port) + url.target;
    if (!stopReason.empty()) return fail(stopReason + " (" + where + ")");
    // A cancelled transfer of a non-2xx answer still told us its status.
    if (sawResponse && (out.status < 200 || out.status >= 300)) {
      out.body.clear();
      return out;
    }
    if (!result) return fail("HTTP GET " + where + " failed: " + httplib::to_string(result.error()));
    if (Clock::now() > deadline) return fail("time-out fetching " + where);
    return out;
  }
};

}  // namespace

Transport& defaultTransport() {
  static HttplibTransport transport;
  return transport;
}

}  // namespace ql::net
