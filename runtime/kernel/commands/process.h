// Running an outside program and waiting for it (kernel command 0x2C0).
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace ql::rt {

// Splits a command line into its arguments: blanks (space, tab) separate,
// double quotes group and are removed, "" inside quotes is a literal quote.
// NOTE: backslashes are always literal. The extraction command line ends
// with `...\lx_ptx_tmp\"`; the C runtime's rule that a backslash escapes a
// quote would swallow the closing quote there.
std::vector<std::string> splitCommandLine(std::string_view commandLine);

// Runs the GBK command line without a shell: argument 0 is a GBK path (made
// native and resolved; a bare name is looked up on PATH), the other arguments
// are passed as UTF-8. With `wait`, true only when the program started and
// exited with status 0; without, true when it started.
bool runCommandLine(std::string_view commandLine, bool wait);

}  // namespace ql::rt
