// Shared by the kernel tests and their support library.
#pragma once

#include <cstdint>

namespace ql::rt::test {

inline constexpr char kTestLibId[] = "7E570000000000000000000000C0DE01";
inline constexpr char kNoSuchLibId[] = "7E5700000000000000000000DEADBEEF";

constexpr int32_t kLibCmdPrefix = 1;  // text -> "lib:" + text
constexpr int32_t kLibCmdFail = 2;    // raises kLibErrorCode through the host
constexpr int32_t kLibCmdSurface = 3;   // handle -> host window service's surface
constexpr int32_t kLibErrorCode = 77;
constexpr int32_t kLibBadArgs = 78;

}  // namespace ql::rt::test
