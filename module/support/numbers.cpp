#include "module/support/numbers.h"

#include <cmath>
#include <limits>

namespace ql {

int64_t floatToInt(double value) {
  // 2^63 is exact as a double; every double below it in magnitude that is
  // not NaN converts without overflow.
  constexpr double kTwo63 = 9223372036854775808.0;
  if (std::isnan(value)) return 0;
  if (value >= kTwo63) return std::numeric_limits<int64_t>::max();
  if (value < -kTwo63) return std::numeric_limits<int64_t>::min();
  // A C++ conversion from floating point to integer always discards the
  // fraction; it never consults the rounding mode, so the mode stays as it is.
  return static_cast<int64_t>(value);
}

}  // namespace ql
