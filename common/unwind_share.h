// On 32-bit Windows each of our modules (a program, each DLL) carries its own
// copy of GCC's DWARF unwinder, and a copy knows only its own module's unwind
// tables: a C++ exception stops, with std::terminate, at the first frame of
// another module. Tools and tests that run the kernel with returnOnEnd need
// exceptions to cross (the end of a run, thrown in the kernel through the
// module's code; a script failure of their window system, thrown through the
// kernel), so when such a library is loaded each side registers the other's
// tables with its own unwinder (dynlib::open, and the kernel for its support
// libraries). The shipped program never throws across a module boundary; to
// it the exchange is one registration per library. Elsewhere
// (SEH on 64-bit Windows, the one shared libgcc on Linux) exceptions cross
// as they are, and these calls do nothing.
#pragma once

namespace ql::unwind {

// This module's unwind tables; null where nothing needs sharing.
const void* ownTables();

// Lets this module's unwinder pass the frames described by `tables` (another
// module's ownTables()). Several calls with the same tables count as one;
// null is ignored.
void adoptTables(const void* tables);

// Before the module of `tables` is unloaded.
void forgetTables(const void* tables);

// The exchange with a library just loaded (its HMODULE): each side adopts the
// other's tables. Every module of the 32-bit build exports its half
// (QlShareUnwindTables); a library without it is left as it is.
void shareWithLibrary(void* module);
// Before unloading a library that shareWithLibrary was called for.
void unshareLibrary(void* module);

}  // namespace ql::unwind
