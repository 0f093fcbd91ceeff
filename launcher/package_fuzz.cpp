// Fuzzes the whole start-up on an in-memory executable: trailer, package,
// unscrambling, inflation and the entry walk. Whatever the bytes, the launcher
// must show exactly one message, leave no heap block behind and write only
// single names inside the extraction folder.
#include <cstdlib>

#include "launcher/launcher.h"
#include "launcher/memory_platform.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  ql::launcher::MemoryPlatform platform;
  platform.file.assign(data, data + size);
  platform.heapLimit = 16u << 20;
  alignas(16) static unsigned char image[64];

  const ql::launcher::LaunchResult result = ql::launcher::runLauncher(platform, image);
  // Libraries never load here, so nothing can start.
  if (result.outcome == ql::launcher::Outcome::kStarted) std::abort();
  if (platform.shown.size() != 1 || platform.shown[0] != ql::launcher::messageFor(result.outcome)) std::abort();
  if (platform.liveBlocks != 0) std::abort();
  for (const auto& [path, bytes] : platform.written) {
    if (platform.preparedFolders.size() != 1) std::abort();
    const std::string folder = platform.preparedFolders[0] + "/";
    if (path.compare(0, folder.size(), folder) != 0) std::abort();
    const std::string name = path.substr(folder.size());
    if (name.empty() || name == "." || name == ".." || name.find_first_of("/\\:") != std::string::npos) std::abort();
    if (path.size() > 259) std::abort();
  }
  return 0;
}
