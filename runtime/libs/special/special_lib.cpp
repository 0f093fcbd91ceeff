// The special-functions library (library row 4). The module lists it in its
// library table but calls none of its commands; it is shipped so the table
// binds. Every command returns the empty result (value 0, no tag): an
// unknown command is no reason to stop the program.
#include "runtime/libs/support/lib_support.h"

QL_EXPORT const QlLibraryInfo* QlLibInfo() {
  static const QlLibraryInfo info{"special", ql::support::kSpecialId, 1, 0, "Special functions"};
  return &info;
}

QL_EXPORT int32_t QlLibInit(const QlHost* host) { return ql::lib::Host::install(host) ? 1 : 0; }

QL_EXPORT ql::abi::CmdResult QlLibCommand(int32_t, const ql::abi::ArgRecord*) { return ql::lib::noResult(); }
