# 64-bit Windows: for machines whose Wine can only run 64-bit programs
# (a kernel without 32-bit support cannot start Wine's 32-bit loader).
# Debian: g++-mingw-w64-x86-64-posix, libz-mingw-w64-dev.
set(CMAKE_SYSTEM_PROCESSOR AMD64)
set(QL_MINGW_TRIPLE x86_64-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/toolchain-mingw.cmake)
