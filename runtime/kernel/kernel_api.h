// What the kernel library (kbase.qlr) exports besides GetNewSock: a
// configuration call for tools and tests that run a real module image on a
// window system of their choice, and a report of the last run.
//
//   void* lib = dlopen(".../kbase.qlr", RTLD_NOW);
//   auto configure = (QlKernelConfigureFn)dlsym(lib, kQlKernelConfigureName);
//   ql::window::HeadlessWindowSystem windows;           // scripted answers
//   QlKernelConfig config{kQlKernelConfigVersion, &windows, 1, nullptr, nullptr};
//   configure(&config);
//   auto entry = (ql::abi::RuntimeEntryFn)getNewSock(1000);
//   entry(image);                                        // returns when the program ends
//   const QlKernelOutcome* out = lastOutcome();
//
// The window system is passed as a C++ object: caller and kernel must be
// built from the same sources with the same options (they are, in this
// project's build).
#pragma once

#include <cstdint>

#include "module/abi.h"

namespace ql::window {
class WindowSystem;
}

extern "C" {

struct QlKernelConfig {
  uint32_t version;  // kQlKernelConfigVersion
  // Not owned; must outlive every run. Null: FLTK when a display is
  // available, otherwise the headless backend (message boxes then go to
  // standard error and take their first button, file dialogs are cancelled).
  ql::window::WindowSystem* windows;
  // Non-zero: the end of the program (service slot 9, a start routine that
  // returns, a runtime error) returns from the runtime entry instead of
  // ending the process. The kernel then closes the windows the run opened
  // (without running their handlers) and frees the run's memory.
  int32_t returnOnEnd;
  // The program folder command 0x104 reports (GBK, '\' separators); null or
  // "" keeps the executable's folder.
  const char* programFolder;
  // Native path of the folder searched for support libraries (*.qlr); null
  // or "" means the kernel's own folder.
  const char* libraryFolder;
};
inline constexpr uint32_t kQlKernelConfigVersion = 1;

enum QlKernelStage : int32_t {
  kQlStageNotRun = 0,
  kQlStageLoadFailed = 1,    // the image was refused; nothing of it ran
  kQlStageRunning = 2,
  kQlStageEnded = 3,         // the program ended normally (exitCode 0)
  kQlStageRuntimeError = 4,  // errorCode holds the runtime error's code
};

struct QlKernelOutcome {
  int32_t stage;        // QlKernelStage
  int32_t exitCode;     // what the process would have exited with
  int32_t errorCode;    // the runtime error's code (stage kQlStageRuntimeError)
  int32_t cleanupRuns;  // how often the registered clean-up routine ran
  const char* detail;   // load failure or runtime error reason; valid until the next run
};

// Returns 1 when accepted, 0 for an unknown version or while a program runs.
using QlKernelConfigureFn = int32_t (*)(const QlKernelConfig* config);
using QlKernelLastOutcomeFn = const QlKernelOutcome* (*)();
// Blocks of the kernel's allocator not yet freed (service slots 6 to 8 and
// every text, byte set and array the runtime hands out).
using QlKernelLiveBlocksFn = int64_t (*)();

// Where the ShellExecuteA layer sends the module's DLL command instead of
// starting the desktop's opener (xdg-open), so that tests and tools see what
// the program would open without a browser coming up. The texts are the
// module's GBK arguments (null stays null); the hook's return value is what
// the module gets. Stays set across runs; null restores the opener.
using QlShellOpenHook = intptr_t (*)(void* context, const char* operation, const char* file,
                                     const char* parameters, const char* directory, int32_t show);
using QlKernelSetShellHookFn = void (*)(QlShellOpenHook hook, void* context);
}

inline constexpr char kQlKernelConfigureName[] = "QlKernelConfigure";
inline constexpr char kQlKernelLastOutcomeName[] = "QlKernelLastOutcome";
inline constexpr char kQlKernelLiveBlocksName[] = "QlKernelLiveBlocks";
inline constexpr char kQlKernelSetShellHookName[] = "QlKernelSetShellHook";
