// qlunpack e ARCHIVE DEST (DEST ends with a folder separator).
// Stands in for WinRAR's "e" command: the runtime runs it with the command
// line that the tool builds for WinRAR, split by the Windows rules.
#include <clocale>
#include <iostream>
#include <string_view>

#include "runtime/archive/unpack.h"

namespace {

constexpr int kExitFailure = 1;
constexpr int kExitUsage = 2;

bool isExtractCommand(std::string_view s) { return s == "e" || s == "E"; }

}  // namespace

int main(int argc, char** argv) {
  // Entry names are handed over as UTF-8, whatever the caller's locale.
  std::setlocale(LC_CTYPE, "C.UTF-8");

  if (argc != 4 || !isExtractCommand(argv[1])) {
    std::cerr << "usage: qlunpack e ARCHIVE DEST\\  (extracts every file of ARCHIVE into DEST without folders)\n";
    return kExitUsage;
  }
  const auto archive = ql::unpack::argToNative(argv[2]);
  const auto dest = ql::unpack::argToNative(argv[3]);
  auto result = ql::unpack::extractFlat(archive, dest, std::cerr);
  if (!result) {
    std::cerr << "qlunpack: " << result.error().message << "\n";
    return kExitFailure;
  }
  std::cout << "qlunpack: " << result->extracted << " files extracted to " << dest.string();
  if (result->skipped > 0) std::cout << ", " << result->skipped << " entries skipped";
  std::cout << "\n";
  return 0;
}
