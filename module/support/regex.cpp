#include "module/support/regex.h"

namespace ql::regex {

using namespace ql::args;

namespace {
template <class... A>
abi::CmdResult call(int32_t code, const A&... a) {
  return libraryCall(abi::kRowRegex, code, a...);
}
abi::Arg self(const Regex& r) { return object(r.variable(), abi::kTypeRegex); }
abi::Arg self(const Match& m) { return object(m.variable(), abi::kTypeMatch); }
}  // namespace

Regex::Regex() { call(kConstruct, self(*this)); }
Regex::~Regex() { call(kDestroy, self(*this)); }
void Regex::setPattern(TextRef pattern) { call(kSetPattern, self(*this), text(pattern), boolean(false)); }
void Regex::search(TextRef subject, Match& into) {
  into.takeOver(result::handle(call(kSearch, self(*this), text(subject), integer(1), omitted())));
}

Match::Match() { call(kMatchConstruct, self(*this)); }
Match::~Match() { call(kMatchDestroy, self(*this)); }
void Match::takeOver(intptr_t handle) {
  call(kMatchDestroy, self(*this));
  var_ = handle;
}
bool Match::notFound() { return result::integer(call(kMatchNotFound, self(*this))) != 0; }
Text Match::group(TextRef subject, int32_t n) {
  return result::text(call(kMatchGroup, self(*this), text(subject), integer(n)));
}

}  // namespace ql::regex

namespace ql::imgconv {
void toBmp(TextRef source, TextRef target) {
  libraryCall(abi::kRowImageConv, kToBmp, args::text(source), args::text(target));
}
}  // namespace ql::imgconv

namespace ql::net {
Bytes fetch(TextRef address) { return result::bytes(libraryCall(abi::kRowInternet, kFetch, args::text(address))); }
}  // namespace ql::net
