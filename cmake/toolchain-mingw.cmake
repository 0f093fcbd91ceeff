# Cross build for Windows with MinGW-w64 (the -posix flavour: its libstdc++
# has std::thread and std::mutex, which Boost.Regex needs). Included by
# toolchain-mingw-i686.cmake and toolchain-mingw-x86_64.cmake, which set
# QL_MINGW_TRIPLE and CMAKE_SYSTEM_PROCESSOR.
set(CMAKE_SYSTEM_NAME Windows)
find_program(CMAKE_C_COMPILER ${QL_MINGW_TRIPLE}-gcc-posix REQUIRED)
find_program(CMAKE_CXX_COMPILER ${QL_MINGW_TRIPLE}-g++-posix REQUIRED)
find_program(CMAKE_RC_COMPILER ${QL_MINGW_TRIPLE}-windres)

# Libraries and CMake packages come from the MinGW tree only. Headers may also
# come from the host's header-only packages (stb; Boost is mapped in by
# runtime/libs/regex): the MinGW tree is searched first.
set(CMAKE_FIND_ROOT_PATH /usr/${QL_MINGW_TRIPLE})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE BOTH)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# The executables must start on a plain Windows with nothing beside them but
# the runtime's own files: no libgcc, libstdc++ or winpthread DLLs.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")
set(CMAKE_SHARED_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")
set(CMAKE_MODULE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")


# zlib linked in, not beside the executable as a DLL.
set(ZLIB_USE_STATIC_LIBS ON)
# pkg-config must not offer the host's libraries (PCRE2, cpp-httplib).
set(ENV{PKG_CONFIG_LIBDIR} /usr/${QL_MINGW_TRIPLE}/lib/pkgconfig)
set(ENV{PKG_CONFIG_PATH} "")
set(ENV{PKG_CONFIG_SYSROOT_DIR} "")
