// The image-conversion library (library row 3).
#include "runtime/libs/imageconv/convert.h"
#include "runtime/libs/support/lib_support.h"
#include "runtime/paths/paths.h"

namespace {
constexpr int32_t kConvertToBmp = 0x004;

// Source and target come as the module's GBK paths. The source is found as
// Windows would find it (ignoring letter case); the target replaces a file
// of the same name in another case, or is created in the resolved folder.
bool convert(const ql::lib::Args& args) {
  auto source = ql::paths::toNativeResolved(args.text(0));
  auto target = ql::paths::toNativeForWrite(args.text(1));
  if (!source || !target || source->empty() || target->empty()) return false;
  return ql::imageconv::convertToBmp(*source, *target).ok();
}
}  // namespace

QL_EXPORT const QlLibraryInfo* QlLibInfo() {
  static const QlLibraryInfo info{"imageconv", ql::support::kImageConvId, 1, 0, "Image conversion to BMP"};
  return &info;
}

QL_EXPORT int32_t QlLibInit(const QlHost* host) { return ql::lib::Host::install(host) ? 1 : 0; }

// The module does not examine the outcome; the boolean is there for others.
QL_EXPORT ql::abi::CmdResult QlLibCommand(int32_t code, const ql::abi::ArgRecord* record) {
  if (code != kConvertToBmp) return ql::lib::noResult();
  try {
    return ql::lib::boolResult(convert(ql::lib::Args(record)));
  } catch (...) {  // out of memory: no exception may reach the module
    return ql::lib::boolResult(false);
  }
}
