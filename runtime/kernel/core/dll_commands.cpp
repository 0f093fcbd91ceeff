#include "runtime/kernel/core/dll_commands.h"

#include <cerrno>
#include <string>
#include <thread>

#include "common/gbk.h"
#include "runtime/paths/paths.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <spawn.h>
#include <sys/wait.h>
extern char** environ;
#endif

namespace ql::rt {

namespace {

constexpr char kShellDll[] = "shell32.dll";
constexpr char kShellExecute[] = "ShellExecuteA";
constexpr char kOpenVerb[] = "open";
constexpr char kOpener[] = "xdg-open";

const char* textArg(intptr_t value) { return reinterpret_cast<const char*>(value); }

// Set by tests and tools between runs; handlers run on the one GUI thread.
QlShellOpenHook shellHook = nullptr;
void* shellHookContext = nullptr;

}  // namespace

DllBinding bindDllCommand(std::string_view dllFile, std::string_view function) {
  const std::string what = std::string(dllFile) + " / " + std::string(function);
#ifdef _WIN32
  HMODULE dll = LoadLibraryA(std::string(dllFile).c_str());
  if (!dll) return {nullptr, what + ": the DLL cannot be loaded"};
  FARPROC fn = GetProcAddress(dll, std::string(function).c_str());
  if (!fn) return {nullptr, what + ": the DLL has no such function"};
  // Through void(*)(): GetProcAddress's type says nothing of the function's.
  return {reinterpret_cast<DllFunction>(reinterpret_cast<void (*)()>(fn)), {}};
#else
  if (paths::equalsIgnoringAsciiCase(dllFile, kShellDll) && paths::equalsIgnoringAsciiCase(function, kShellExecute))
    return {&shellExecuteLayer, {}};
  return {nullptr, what + ": no such function on this platform"};
#endif
}

void setShellHook(QlShellOpenHook hook, void* context) {
  shellHook = hook;
  shellHookContext = hook ? context : nullptr;
}

intptr_t shellExecuteLayer(intptr_t, intptr_t operation, intptr_t file, intptr_t parameters, intptr_t directory,
                           intptr_t show) {
  if (shellHook)
    return shellHook(shellHookContext, textArg(operation), textArg(file), textArg(parameters), textArg(directory),
                     static_cast<int32_t>(show));
  const char* verb = textArg(operation);
  if (verb && !paths::equalsIgnoringAsciiCase(verb, kOpenVerb)) return kShellNoAssociation;
  const char* target = textArg(file);
  if (!target || !*target) return kShellFileNotFound;
  const auto utf8 = gbkToUtf8(target);
  if (!utf8) return kShellFileNotFound;
#ifdef _WIN32
  return reinterpret_cast<intptr_t>(ShellExecuteA(nullptr, kOpenVerb, target, nullptr, nullptr, SW_SHOWNORMAL));
#else
  std::string program = kOpener;
  std::string argument = *utf8;
  char* argv[] = {program.data(), argument.data(), nullptr};
  pid_t pid = 0;
  if (posix_spawnp(&pid, kOpener, nullptr, nullptr, argv, environ) != 0) return kShellFileNotFound;
  // Not waited for, as the real function returns at once; a thread of its
  // own reaps the child so that it leaves no zombie behind.
  std::thread([pid] {
    int status = 0;
    while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
  }).detach();
  return kShellOk;
#endif
}

}  // namespace ql::rt
