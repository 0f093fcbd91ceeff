#include "runtime/kernel/commands/runtime_error.h"

#include <cstdio>
#include <cstdlib>
#include <string>

namespace ql::rt {

namespace {
RuntimeErrorHook gHook = nullptr;
}

RuntimeErrorHook setRuntimeErrorHook(RuntimeErrorHook hook) {
  RuntimeErrorHook old = gHook;
  gHook = hook;
  return old;
}

void raiseRuntimeError(int32_t code, std::string_view detail) {
  const std::string text(detail);
  if (gHook) gHook(code, text.c_str());
  std::fprintf(stderr, "runtime error %d: %s\n", int(code), text.c_str());
  std::fflush(stderr);
  std::abort();
}

}  // namespace ql::rt
