// The runtime side of the writers' test host: the real kernel commands and
// allocator behind a service slot table, a runtime error that throws, and a
// stand-in for the export dialog and the message boxes. Kept apart from the
// module side, whose names (ql::kernel::...) are the module's own.
#pragma once

#include <cstdint>
#include <deque>
#include <optional>
#include <string>
#include <vector>

namespace writers {

// Thrown by slot 0 and by the kernel's runtime-error hook.
struct RuntimeStop {
  int32_t code;
  std::string detail;
};

struct DialogShown {
  std::string initialFolder;
  std::string filter;
};

struct BoxShown {
  std::string text;
  int32_t style;
  bool captioned;
};

namespace kernel_side {

// Starts a test: the program folder (GBK module path) the kernel reports,
// the scripted dialog answers (a path, or nullopt for a cancel).
void start(const std::string& programFolder, std::deque<std::optional<std::string>>* dialogAnswers);
void stop();

void* const* slotTable();
int64_t liveBlocks();
const std::vector<BoxShown>& boxes();
const std::vector<DialogShown>& dialogs();

}  // namespace kernel_side
}  // namespace writers
