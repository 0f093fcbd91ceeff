#include "runtime/kernel/commands/process.h"

#include <cstdio>

#include "common/gbk.h"
#include "runtime/paths/paths.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <spawn.h>
#include <sys/wait.h>

#include <cerrno>
#include <cstring>

extern char** environ;
#endif

namespace ql::rt {

std::vector<std::string> splitCommandLine(std::string_view line) {
  std::vector<std::string> args;
  std::string current;
  bool inArgument = false;  // an argument has begun (even an empty "")
  bool quoted = false;
  for (size_t i = 0; i < line.size(); ++i) {
    const char c = line[i];
    if (c == '"') {
      inArgument = true;
      if (quoted && i + 1 < line.size() && line[i + 1] == '"') {
        current += '"';
        ++i;
      } else {
        quoted = !quoted;
      }
    } else if (!quoted && (c == ' ' || c == '\t')) {
      if (inArgument) args.push_back(std::move(current));
      current.clear();
      inArgument = false;
    } else {
      current += c;
      inArgument = true;
    }
  }
  if (inArgument) args.push_back(std::move(current));
  return args;
}

#ifdef _WIN32

bool runCommandLine(std::string_view commandLine, bool wait) {
  // Windows parses its own command lines; hand it over as it is.
  auto wide = gbkToWide(commandLine);
  if (!wide || wide->empty()) return false;
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION process{};
  if (!CreateProcessW(nullptr, wide->data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &process)) {
    return false;
  }
  CloseHandle(process.hThread);
  bool ok = true;
  if (wait) {
    WaitForSingleObject(process.hProcess, INFINITE);
    DWORD exitCode = 1;
    ok = GetExitCodeProcess(process.hProcess, &exitCode) && exitCode == 0;
  }
  CloseHandle(process.hProcess);
  return ok;
}

#else

bool runCommandLine(std::string_view commandLine, bool wait) {
  const std::vector<std::string> gbkArgs = splitCommandLine(commandLine);
  if (gbkArgs.empty() || gbkArgs[0].empty()) return false;

  auto program = paths::toNativeResolved(gbkArgs[0]);
  if (!program) {
    std::fprintf(stderr, "run: %s\n", program.error().message.c_str());
    return false;
  }
  std::vector<std::string> args;
  args.reserve(gbkArgs.size());
  args.push_back(program->native());
  for (size_t i = 1; i < gbkArgs.size(); ++i) {
    auto utf8 = gbkToUtf8(gbkArgs[i]);
    if (!utf8) {
      std::fprintf(stderr, "run: argument %zu is not valid GBK: %s\n", i, gbkToUtf8Lossy(gbkArgs[i]).c_str());
      return false;
    }
    args.push_back(std::move(*utf8));
  }
  std::vector<char*> argv;
  argv.reserve(args.size() + 1);
  for (std::string& a : args) argv.push_back(a.data());
  argv.push_back(nullptr);

  // A bare name is looked up on PATH, as Windows looks up a program name.
  const bool bareName = args[0].find('/') == std::string::npos;
  pid_t pid = 0;
  const int spawnError = bareName ? posix_spawnp(&pid, argv[0], nullptr, nullptr, argv.data(), environ)
                                  : posix_spawn(&pid, argv[0], nullptr, nullptr, argv.data(), environ);
  if (spawnError != 0) {
    std::fprintf(stderr, "run: cannot start %s: %s\n", argv[0], std::strerror(spawnError));
    return false;
  }
  if (!wait) return true;
  int status = 0;
  while (waitpid(pid, &status, 0) < 0) {
    if (errno != EINTR) return false;
  }
  return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

#endif

}  // namespace ql::rt
