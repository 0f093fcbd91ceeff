// qlfakerar e PACKAGE DEST\  — answers the command line the tool builds for
// WinRAR, in the Windows tests: extracts every file of a zip package flat
// into DEST. Exit status 0 when every file was extracted.
#include <exception>
#include <iostream>
#include <string>
#include <vector>

#ifdef _WIN32
#include <windows.h>
#include <shellapi.h>
#endif

#include "common/utf8_path.h"
#include "tests/fakerar/zip_extract.h"

namespace {

constexpr int kExitFailure = 1;
constexpr int kExitUsage = 2;

#ifdef _WIN32
std::string wideToUtf8(const wchar_t* w) {
  const int n = WideCharToMultiByte(CP_UTF8, 0, w, -1, nullptr, 0, nullptr, nullptr);
  if (n <= 1) return {};
  std::string out(size_t(n), '\0');
  WideCharToMultiByte(CP_UTF8, 0, w, -1, out.data(), n, nullptr, nullptr);
  out.pop_back();  // the terminator
  return out;
}

// The arguments as UTF-8, read from the wide command line: the narrow argv
// is in the ANSI code page, which cannot hold every folder name.
std::vector<std::string> utf8Arguments(int, char**) {
  std::vector<std::string> args;
  int count = 0;
  wchar_t** wide = CommandLineToArgvW(GetCommandLineW(), &count);
  if (!wide) return args;
  for (int i = 1; i < count; ++i) args.push_back(wideToUtf8(wide[i]));
  LocalFree(wide);
  return args;
}
#else
std::vector<std::string> utf8Arguments(int argc, char** argv) { return std::vector<std::string>(argv + 1, argv + argc); }
#endif

}  // namespace

int main(int argc, char** argv) {
  try {
    auto command = ql::fakerar::parseCommand(utf8Arguments(argc, argv));
    if (!command) {
      std::cerr << "qlfakerar: " << command.error().message << "\n"
                << "usage: qlfakerar e PACKAGE DEST\\  (extracts every file of the zip PACKAGE into DEST)\n";
      return kExitUsage;
    }
    auto result = ql::fakerar::extractFlat(command->package, command->destination, std::cerr);
    if (!result) {
      std::cerr << "qlfakerar: " << result.error().message << "\n";
      return kExitFailure;
    }
    std::cout << "qlfakerar: " << result->extracted << " files extracted to " << ql::u8text(command->destination);
    if (result->skipped > 0) std::cout << ", " << result->skipped << " entries skipped";
    std::cout << "\n";
    return 0;
  } catch (const std::exception& e) {
    // Out of memory for the package, or a path the system cannot convert.
    std::cerr << "qlfakerar: " << e.what() << "\n";
    return kExitFailure;
  }
}
