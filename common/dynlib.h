// Loading a shared library (a .qlr of the runtime, a test's library) and
// finding its symbols: dlopen/dlsym on POSIX, LoadLibraryW/GetProcAddress on
// Windows. For tests and tools that load the runtime as the launcher does.
#pragma once

#include <filesystem>
#include <string>

namespace ql::dynlib {

// Loads the library with all its symbols bound now and kept to itself;
// null on failure (lastError() says why).
void* open(const std::filesystem::path& file);

// The address of an exported symbol, or null.
void* symbol(void* library, const char* name);

// Why the last open() or symbol() failed, for messages.
std::string lastError();

void close(void* library);

}  // namespace ql::dynlib
