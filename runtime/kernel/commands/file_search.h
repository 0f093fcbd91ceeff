// Service slot 12, selectors 0 to 2: the file search the module uses both to
// list files and to test whether a file or folder exists, and the step before
// it enlarges a module-wide array.
#pragma once

#include <cstdint>
#include <string_view>

namespace ql::rt {

// Selector 0. `pattern` is a GBK path with '\' separators whose last
// component may hold '*' and '?' (matched ignoring ASCII case, a double-byte
// character counting as one); an exact name works as an existence test. A
// null pattern continues the search held in *handle; a new pattern ends any
// search held there first. `attributes` 0x10 asks for folders, anything
// without that bit for plain files. `flag` is accepted and has no effect.
// Returns the next matching file name (no folder, GBK) as a new text, "" when
// there is none; names GBK cannot hold are skipped with a note on stderr.
// Names come in the order the file system yields them.
char* fileSearch(const char* pattern, int32_t attributes, int32_t flag, intptr_t* handle);

// Selector 1: ends the search held in *handle (if any) and clears it.
void endFileSearch(intptr_t* handle);

// Selector 2: nothing to prepare, as every block comes from one malloc-based
// allocator that slot 7 can enlarge directly.
void prepareAppend(int32_t elementWidth, void** arrayVariable);

// Wildcard match of one GBK name: '*' any run of characters, '?' exactly one
// character; ASCII letters of single-byte characters compare ignoring case.
// "*.*" matches every name, as on Windows.
bool matchesWildcard(std::string_view pattern, std::string_view name);

// Searches not yet ended (tests check that none is left behind).
int64_t openFileSearches();

}  // namespace ql::rt
