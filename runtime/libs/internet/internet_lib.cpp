// The internet library (library row 5).
#include "runtime/libs/internet/fetch.h"
#include "runtime/libs/support/lib_support.h"

namespace {
constexpr int32_t kFetch = 0x01C;
}  // namespace

QL_EXPORT const QlLibraryInfo* QlLibInfo() {
  static const QlLibraryInfo info{"internet", ql::support::kInternetId, 1, 0, "Internet access"};
  return &info;
}

QL_EXPORT int32_t QlLibInit(const QlHost* host) { return ql::lib::Host::install(host) ? 1 : 0; }

// Fetch: the body of an HTTP GET as a byte set. Whatever goes wrong (bad
// address, no server, an error status, a time-out, a body past the limit),
// the caller gets an empty byte set: the update check treats both alike.
QL_EXPORT ql::abi::CmdResult QlLibCommand(int32_t code, const ql::abi::ArgRecord* record) {
  if (code != kFetch) return ql::lib::noResult();
  const ql::lib::Args args(record);
  try {
    auto body = ql::net::fetch(args.text(0), ql::net::FetchLimits{}, ql::net::defaultTransport());
    if (body) return ql::lib::byteSetResult(*body);
  } catch (...) {  // out of memory: no exception may reach the module
  }
  return ql::lib::byteSetResult({});
}
