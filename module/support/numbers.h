// Floating-point to integer conversion as every assignment of a floating-point
// value to an integer in the module does it.
#pragma once

#include <cstdint>

namespace ql {

// Rounds toward zero whatever the rounding mode in force, and leaves that mode
// unchanged. Values without an integer counterpart get fixed results instead
// of undefined behaviour: NaN gives 0, values at or beyond the 64-bit range
// (including ±infinity) give INT64_MAX or INT64_MIN.
int64_t floatToInt(double value);

// Callers that store into a 32-bit variable keep the low 32 bits of the
// 64-bit result (1e10 gives 1,410,065,408).
inline int32_t floatToInt32(double value) { return static_cast<int32_t>(static_cast<uint32_t>(floatToInt(value))); }

}  // namespace ql
