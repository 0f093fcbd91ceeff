# 32-bit Windows (the shipped build: the game is 32-bit).
# Debian: g++-mingw-w64-i686-posix, libz-mingw-w64-dev.
set(CMAKE_SYSTEM_PROCESSOR x86)
set(QL_MINGW_TRIPLE i686-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/toolchain-mingw.cmake)
# Doubles in SSE2 registers, as in the 64-bit build: the x87 unit's 80-bit
# intermediates change the last digit of number texts and their round trip.
set(CMAKE_C_FLAGS_INIT "-msse2 -mfpmath=sse")
set(CMAKE_CXX_FLAGS_INIT "-msse2 -mfpmath=sse")
