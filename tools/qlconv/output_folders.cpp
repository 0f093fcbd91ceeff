#include "tools/qlconv/output_folders.h"

#include <algorithm>
#include <system_error>

namespace ql::qlconv {

void OutputFolders::prepare(std::vector<Job>& jobs) {
  for (Job& j : jobs) {
    if (!j.problem.empty()) continue;
    const fs::path folder = j.output.parent_path();
    // The missing folders, innermost first.
    std::vector<fs::path> missing;
    std::error_code ec;
    for (fs::path p = folder; !p.empty() && !fs::exists(p, ec); p = p.parent_path()) {
      if (ec || p == p.parent_path()) break;
      missing.push_back(p);
    }
    for (auto it = missing.rbegin(); it != missing.rend() && !ec; ++it) {
      if (fs::create_directory(*it, ec)) made_.push_back(*it);
    }
    if (!ec && !fs::is_directory(folder, ec)) ec = std::make_error_code(std::errc::not_a_directory);
    if (ec) j.problem = "cannot make the folder " + folder.string() + ": " + ec.message();
  }
}

void OutputFolders::tidy() {
  std::for_each(made_.rbegin(), made_.rend(), [](const fs::path& p) {
    std::error_code ec;
    if (fs::is_empty(p, ec) && !ec) fs::remove(p, ec);
  });
  made_.clear();
}

}  // namespace ql::qlconv
