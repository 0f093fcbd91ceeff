#include "runtime/kernel/core/runtime.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "common/gbk.h"
#include "module/image/image.h"
#include "runtime/kernel/commands/commands.h"
#include "runtime/kernel/commands/file_search.h"
#include "runtime/kernel/commands/memory.h"
#include "runtime/kernel/commands/runtime_error.h"
#include "runtime/kernel/core/dll_commands.h"
#include "runtime/kernel/core/form_build.h"
#include "runtime/kernel/core/image_bounds.h"
#include "runtime/kernel/core/libraries.h"
#include "runtime/support_lib.h"
#include "runtime/window/headless.h"
#ifdef QL_KERNEL_HAVE_FLTK
#include "runtime/window/fltk/fltk_window_system.h"
#endif
#ifdef QL_KERNEL_HAVE_WIN32
#include "runtime/window/win32/win32_window_system.h"
#endif

namespace ql::rt {

namespace {

using abi::ArgRecord;
using abi::CmdResult;
using image::hex;

// GBK texts the runtime shows itself.
constexpr char kRuntimeErrorText[] = "\xD4\xCB\xD0\xD0\xCA\xB1\xB4\xED\xCE\xF3 ";  // "运行时错误 "
constexpr char kLoadFailedText[] =
    "\xC4\xA3\xBF\xE9\xD3\xB3\xCF\xF1\xCE\xDE\xB7\xA8\xD4\xD8\xC8\xEB\xA3\xBA";  // "模块映像无法载入："
constexpr char kLineBreak[] = "\r\n";

constexpr int32_t kMaxExitCode = 255;
constexpr size_t kEntrySize = sizeof(abi::Routine);

// Thrown to leave the module's code when the program ends and the caller
// asked to get control back (QlKernelConfig::returnOnEnd).
struct ProgramEnd {};

struct FreeBlock {
  void operator()(uint8_t* p) const { std::free(p); }
};

// Everything that belongs to one loaded image.
struct Run {
  uint8_t* base = nullptr;
  image::Image img;
  uint8_t* hlpfn = nullptr;
  uint8_t* constData = nullptr;
  uint8_t* code = nullptr;
  uint32_t codeSize = 0;
  std::unique_ptr<uint8_t, FreeBlock> var;
  std::vector<BoundRow> rows;
  std::optional<DllBinding> dll;
  std::map<uint32_t, window::WindowDef> defs;
  std::vector<uint32_t> opened;            // windows this run created, in order
  std::optional<uint32_t> cleanupEntry;    // code offset of the clean-up routine's entry
  bool ending = false;                     // the clean-up has begun: no handler runs any more
};

class KernelWindows final : public WindowCommands {
 public:
  int32_t messageBox(std::string_view message, int32_t style, std::optional<std::string_view> caption) override;
  void openWindow(UnitRef window, UnitRef owner, bool modal) override;
  intptr_t controlHandle(UnitRef window, UnitRef control) override;
  int32_t clientWidth(UnitRef window) override;
  int32_t clientHeight(UnitRef window) override;
  void moveResize(UnitRef target, std::optional<int32_t> left, std::optional<int32_t> top,
                  std::optional<int32_t> width, std::optional<int32_t> height) override;
  bool showFileDialog(UnitRef window, UnitRef dialog) override;
  std::string listEntry(UnitRef window, UnitRef list, int32_t index) override;
  void listAdd(UnitRef window, UnitRef list, std::string_view text) override;
};

struct State {
  QlKernelConfig config{kQlKernelConfigVersion, nullptr, 0, nullptr, nullptr};
  std::string libraryFolder;
  std::unique_ptr<window::WindowSystem> owned;  // the kernel's own backend, when none was configured
  window::HeadlessWindowSystem* ownHeadless = nullptr;
  window::WindowSystem* windows = nullptr;
  std::unique_ptr<Run> run;
  bool running = false;
  bool handlingError = false;
  QlKernelOutcome outcome{kQlStageNotRun, 0, 0, 0, ""};
  std::string detail;
  KernelWindows windowCommands;
  RuntimeErrorHook previousHook = nullptr;
};

// Never destroyed: the process may end from inside a handler, with windows
// and libraries still in use.
State& state() {
  static State* s = new State;
  return *s;
}

Run& currentRun(const char* what) {
  State& s = state();
  if (!s.run) raiseRuntimeError(kErrCommandCall, std::string(what) + " called while no module runs");
  return *s.run;
}

window::WindowSystem& windows() {
  State& s = state();
  if (!s.windows) raiseRuntimeError(kErrNoWindowSystem, "no window system");
  return *s.windows;
}

void setDetail(std::string text) {
  State& s = state();
  s.detail = std::move(text);
  s.outcome.detail = s.detail.c_str();
}

// ---- Ending the program ------------------------------------------------------

[[noreturn]] void finish(int32_t exitCode) {
  State& s = state();
  s.outcome.exitCode = exitCode;
  if (s.config.returnOnEnd) throw ProgramEnd{};
  std::fflush(nullptr);
  if (exitCode == 0) std::exit(0);
  // An abnormal end: no static destructors while the module is mid-way.
  std::_Exit(exitCode);
}

void callRoutine(uint32_t offset, intptr_t a, intptr_t b, intptr_t c) {
  Run& run = currentRun("a module routine");
  if (uint64_t(offset) + kEntrySize > run.codeSize)
    raiseRuntimeError(kErrBadRoutine, "routine entry at @code+" + hex(offset) + " lies outside @code's " +
                                          hex(run.codeSize) + " bytes");
  abi::Routine routine = nullptr;
  std::memcpy(&routine, run.code + offset, sizeof routine);
  if (!routine) raiseRuntimeError(kErrBadRoutine, "routine entry at @code+" + hex(offset) + " is empty");
  routine(a, b, c);
}

// The registered clean-up runs once, however the program ends normally.
void runCleanupOnce() {
  State& s = state();
  if (!s.run || s.run->ending) return;
  s.run->ending = true;
  if (!s.run->cleanupEntry) return;
  ++s.outcome.cleanupRuns;
  callRoutine(*s.run->cleanupEntry, 0, 0, 0);
}

[[noreturn]] void endProgram() {
  runCleanupOnce();
  State& s = state();
  s.outcome.stage = kQlStageEnded;
  finish(0);
}

void showBox(const std::string& text) {
  State& s = state();
  if (!s.windows) return;
  try {
    if (s.ownHeadless && s.ownHeadless->pendingAnswers() == 0) s.ownHeadless->answerMessageBox(0);
    s.windows->messageBox(text, window::kStyleOk, std::nullopt);
  } catch (const std::exception& e) {
    std::fprintf(stderr, "kbase: the message box could not be shown: %s\n", e.what());
  }
}

// The kernel's runtime-error hook: report, then end without the clean-up
// (the module may have stopped half-way through changing what it frees).
void onRuntimeError(int32_t code, const char* detail) {
  State& s = state();
  const std::string reason = detail ? detail : "";
  std::fprintf(stderr, "kbase: runtime error %d: %s\n", int(code), reason.c_str());
  const int32_t exitCode = std::clamp<int32_t>(code, 1, kMaxExitCode);
  if (s.handlingError) finish(exitCode);  // an error while reporting one
  s.handlingError = true;
  s.outcome.stage = kQlStageRuntimeError;
  s.outcome.errorCode = code;
  setDetail(reason);
  std::string text = kRuntimeErrorText + std::to_string(code);
  if (!reason.empty()) text += kLineBreak + reason;
  showBox(text);
  finish(exitCode);
}

// ---- Windows -------------------------------------------------------------------

[[noreturn]] void windowError(const std::string& what, const Error& e) {
  raiseRuntimeError(kErrWindow, what + ": " + e.message);
}

void openWindow(uint32_t id, std::optional<uint32_t> owner, bool visible) {
  Run& run = currentRun("open window");
  window::WindowSystem& ws = windows();
  if (ws.hasWindow(id)) {
    if (visible) {
      if (auto st = ws.setProperty(id, 0, window::prop::kVisible, window::Value{int32_t{1}}); !st)
        windowError("show window " + hex(id), st.error());
    }
    return;
  }
  auto def = run.defs.find(id);
  if (def == run.defs.end()) raiseRuntimeError(kErrWindow, "open window: the module defines no window " + hex(id));
  window::WindowDef wanted = def->second;
  wanted.visible = visible;
  run.opened.push_back(id);
  // The created event is delivered (and its handler run) inside this call.
  if (auto st = ws.createWindow(wanted, owner); !st) windowError("open window " + hex(id), st.error());
}

// The type code of a unit the module names, from the module's own definitions.
uint32_t unitType(uint32_t windowId, uint32_t unitId, const char* what) {
  Run& run = currentRun(what);
  const image::Window* w = run.img.form.window(windowId);
  if (!w) raiseRuntimeError(kErrWindow, std::string(what) + ": the module defines no window " + hex(windowId));
  const image::Unit* own = w->windowUnit();
  if (unitId == 0 || unitId == windowId || (own && unitId == own->id)) return abi::kTypeWindow;
  const image::Unit* u = w->unit(unitId);
  if (!u) raiseRuntimeError(kErrWindow, std::string(what) + ": window " + hex(windowId) + " has no unit " + hex(unitId));
  return u->type;
}

void onEvent(const window::Event& e) {
  State& s = state();
  if (!s.run || s.run->ending) return;
  const image::Window* w = s.run->img.form.window(e.window);
  if (!w) return;
  const image::Unit* u = (e.unit == 0 || e.unit == e.window) ? w->windowUnit() : w->unit(e.unit);
  if (!u) return;
  uint32_t handler = image::kNoHandler;
  if (u->isMenuItem()) {
    if (e.number == window::event::kMenuClicked) handler = u->handler;
  } else {
    for (const auto& ev : u->events)
      if (ev.number == e.number) {
        handler = ev.handler;
        break;
      }
  }
  if (handler == image::kNoHandler) return;
  // Mouse handlers take x, y and the key state; the others ignore them (0).
  callRoutine(handler, e.x, e.y, e.keys);
}

int32_t KernelWindows::messageBox(std::string_view message, int32_t style, std::optional<std::string_view> caption) {
  State& s = state();
  if (s.ownHeadless) {
    // Without a screen (and without a tool's script) the box is reported and
    // answered with its first button.
    std::fprintf(stderr, "kbase: message box: %s\n", gbkToUtf8Lossy(message).c_str());
    if (s.ownHeadless->pendingAnswers() == 0) s.ownHeadless->answerMessageBox(0);
  }
  return windows().messageBox(message, style, caption);
}

void KernelWindows::openWindow(UnitRef window, UnitRef owner, bool) {
  // NOTE: the module opens windows not modal only; a modal request is
  // served the same way.
  std::optional<uint32_t> ownerId;
  if (owner.type != abi::kTagOmitted) ownerId = owner.lo;
  ql::rt::openWindow(window.lo, ownerId, true);
}

intptr_t KernelWindows::controlHandle(UnitRef window, UnitRef control) {
  auto h = windows().nativeHandle(window.lo, control.hi);
  if (!h) windowError("control handle", h.error());
  return intptr_t(*h);
}

int32_t KernelWindows::clientWidth(UnitRef window) {
  auto v = windows().clientWidth(window.lo);
  if (!v) windowError("client width", v.error());
  return *v;
}

int32_t KernelWindows::clientHeight(UnitRef window) {
  auto v = windows().clientHeight(window.lo);
  if (!v) windowError("client height", v.error());
  return *v;
}

void KernelWindows::moveResize(UnitRef target, std::optional<int32_t> left, std::optional<int32_t> top,
                               std::optional<int32_t> width, std::optional<int32_t> height) {
  if (auto st = windows().moveResize(target.lo, target.hi, left, top, width, height); !st)
    windowError("move " + hex(target.hi), st.error());
}

bool KernelWindows::showFileDialog(UnitRef window, UnitRef dialog) {
  State& s = state();
  if (s.ownHeadless && s.ownHeadless->pendingAnswers() == 0) s.ownHeadless->cancelFileDialog();
  auto r = windows().runFileDialog(window.lo, dialog.hi);
  if (!r) windowError("file dialog", r.error());
  return *r;
}

std::string KernelWindows::listEntry(UnitRef window, UnitRef list, int32_t index) {
  window::WindowSystem& ws = windows();
  auto n = ws.listCount(window.lo, list.hi);
  if (!n) windowError("list entry", n.error());
  if (index < 0 || index >= *n) return {};
  auto text = ws.listItem(window.lo, list.hi, index);
  if (!text) windowError("list entry", text.error());
  return *text;
}

void KernelWindows::listAdd(UnitRef window, UnitRef list, std::string_view text) {
  if (auto st = windows().addListItem(window.lo, list.hi, text); !st) windowError("add list entry", st.error());
}

// ---- Service slots -------------------------------------------------------------

[[noreturn]] void svcRuntimeError(int32_t code) {
  raiseRuntimeError(code, "the module stopped with runtime error " + std::to_string(code));
}

intptr_t svcDllCommand(int32_t declaration, intptr_t a1, intptr_t a2, intptr_t a3, intptr_t a4, intptr_t a5,
                       intptr_t a6) {
  Run& run = currentRun("DLL command");
  if (declaration != 0 || !run.dll)
    raiseRuntimeError(kErrUnavailable, "DLL command " + std::to_string(declaration) + " is not declared");
  if (!run.dll->function)
    raiseRuntimeError(kErrUnavailable, "DLL command 0 (" + run.dll->missing + ") is not available");
  return run.dll->function(a1, a2, a3, a4, a5, a6);
}

CmdResult svcLibraryCommand(int32_t row, int32_t code, const ArgRecord* args) {
  Run& run = currentRun("library command");
  if (row < 0 || size_t(row) >= run.rows.size())
    raiseRuntimeError(kErrUnavailable, "library command " + hex(uint32_t(code)) + ": the library table has no row " +
                                           std::to_string(row));
  if (row == abi::kRowKernel) return kernelCommand(code, args);
  const BoundRow& r = run.rows[size_t(row)];
  if (!r.command)
    raiseRuntimeError(kErrUnavailable, "library row " + std::to_string(row) + " (" + r.name + ") is not available: " +
                                           r.missing + "; its command " + hex(uint32_t(code)) + " cannot run");
  return r.command(code, args);
}

CmdResult svcKernelCommand(int32_t code, const ArgRecord* args) { return kernelCommand(code, args); }

uint64_t svcReadProperty(uint32_t window, uint32_t unit, int32_t property, int32_t) {
  (void)unitType(window, unit, "read property");  // the module must define the unit
  auto v = windows().property(window, unit, property);
  if (!v) windowError("read property " + std::to_string(property), v.error());
  if (const auto* text = std::get_if<std::string>(&v.value())) return uint64_t(reinterpret_cast<uintptr_t>(newText(*text)));
  return uint32_t(std::get<int32_t>(v.value()));
}

void svcWriteProperty(uint32_t window, uint32_t unit, int32_t property, int32_t, uint64_t value) {
  const uint32_t type = unitType(window, unit, "write property");
  window::Value v;
  if (isTextProperty(type, property))
    v = std::string(textView(reinterpret_cast<const char*>(uintptr_t(value))));
  else
    v = int32_t(uint32_t(value));
  if (auto st = windows().setProperty(window, unit, property, v); !st)
    windowError("write property " + std::to_string(property), st.error());
}

[[noreturn]] void svcEndProgram(int32_t) { endProgram(); }

void svcMessageLoop(int32_t) {
  windows().run();
  runCleanupOnce();
}

void svcOpenWindow(uint32_t window) { openWindow(window, std::nullopt, false); }

intptr_t svcSupport(int32_t selector, intptr_t a, intptr_t b, intptr_t c, intptr_t d) {
  switch (selector) {
    case abi::kSupportFileSearch:
      return reinterpret_cast<intptr_t>(
          fileSearch(reinterpret_cast<const char*>(a), int32_t(b), int32_t(c), reinterpret_cast<intptr_t*>(d)));
    case abi::kSupportEndSearch:
      endFileSearch(reinterpret_cast<intptr_t*>(a));
      return 0;
    case abi::kSupportPrepareAppend:
      prepareAppend(int32_t(a), reinterpret_cast<void**>(b));
      return 0;
    case abi::kSupportRegisterCleanup: {
      Run& run = currentRun("register clean-up");
      const auto at = uintptr_t(a), code = reinterpret_cast<uintptr_t>(run.code);
      if (at < code || at - code > run.codeSize || run.codeSize - (at - code) < kEntrySize)
        raiseRuntimeError(kErrBadRoutine, "clean-up entry at " + hex(at) + " lies outside @code");
      run.cleanupEntry = uint32_t(at - code);
      return 0;
    }
    default:
      raiseRuntimeError(kErrCommandCall, "support service: unknown selector " + std::to_string(selector));
  }
}

[[noreturn]] void hostRuntimeError(int32_t code) {
  raiseRuntimeError(code, "a support library stopped with runtime error " + std::to_string(code));
}

// What the OpenGL binding asks of the window system: the drawing surface
// behind a control's native handle.
intptr_t hostWindowService(int32_t op, intptr_t a, intptr_t, intptr_t) {
  State& s = state();
  if (op != kQlWindowSurfaceOfHandle || !s.windows) return 0;
  return reinterpret_cast<intptr_t>(s.windows->surface(uintptr_t(a)));
}

const QlHost* host() {
  static const QlHost h{kQlHostVersion, &allocate, &reallocate, &release, &hostRuntimeError, &hostWindowService};
  return &h;
}

// In slot order; the declared types pin each signature to module/abi.h.
void* const* serviceTable() {
  static const abi::RuntimeErrorFn s0 = &svcRuntimeError;
  static const abi::DllCommandFn s1 = &svcDllCommand;
  static const abi::LibraryCommandFn s2 = &svcLibraryCommand;
  static const abi::KernelCommandFn s3 = &svcKernelCommand;
  static const abi::ReadPropertyFn s4 = &svcReadProperty;
  static const abi::WritePropertyFn s5 = &svcWriteProperty;
  static const abi::AllocateFn s6 = &allocate;
  static const abi::ReallocateFn s7 = &reallocate;
  static const abi::FreeFn s8 = &release;
  static const abi::EndProgramFn s9 = &svcEndProgram;
  static const abi::MessageLoopFn s10 = &svcMessageLoop;
  static const abi::OpenWindowFn s11 = &svcOpenWindow;
  static const abi::SupportFn s12 = &svcSupport;
  static void* const table[abi::kSlotCount] = {
      reinterpret_cast<void*>(s0),  reinterpret_cast<void*>(s1),  reinterpret_cast<void*>(s2),
      reinterpret_cast<void*>(s3),  reinterpret_cast<void*>(s4),  reinterpret_cast<void*>(s5),
      reinterpret_cast<void*>(s6),  reinterpret_cast<void*>(s7),  reinterpret_cast<void*>(s8),
      reinterpret_cast<void*>(s9),  reinterpret_cast<void*>(s10), reinterpret_cast<void*>(s11),
      reinterpret_cast<void*>(s12)};
  return table;
}

// ---- Loading ----------------------------------------------------------------------

uint8_t* segmentData(Run& run, std::string_view name) {
  const auto index = run.img.segmentIndex(name);
  return run.base + run.img.placements[*index].dataOffset;
}

void storePointer(uint8_t* at, uintptr_t value) { std::memcpy(at, &value, sizeof value); }

// Everything is checked before the first byte of the image changes, so a
// refused image stays as it was.
Result<std::unique_ptr<Run>> load(void* address) {
  State& s = state();
  auto span = imageSpan(address);
  if (!span) return span.error();
  auto run = std::make_unique<Run>();
  run->base = static_cast<uint8_t*>(address);
  auto img = image::readImage(ByteSpan(run->base, size_t(*span)), image::ReadOptions{image::kNativeWidth});
  if (!img) return img.error();
  run->img = std::move(img.value());
  const image::Image& image = run->img;
  // Fixups and slots are written in place, so an image loads once: a second
  // load would add the bases again. Its filled slots give it away.
  const auto& slots = image.model.segments[*image.segmentIndex(image::kHlpfnSegment)].data;
  if (slots && std::any_of(slots->begin(), slots->end(), [](uint8_t b) { return b != 0; }))
    return fail("@hlpfn holds filled service slots: this image has already been loaded");

  for (const image::Window& w : image.form.windows) {
    auto def = buildWindowDef(w);
    if (!def) return def.error();
    run->defs.emplace(w.id, std::move(def.value()));
  }

  const std::string folder = s.libraryFolder.empty() ? kernelFolder().string() : s.libraryFolder;
  auto rows = bindLibraries(image.model.libraries, folder, host());
  if (!rows) return rows.error();
  run->rows = std::move(rows.value());
  for (size_t r = 0; r < run->rows.size(); ++r)
    if (!run->rows[r].command && r != 0)
      std::fprintf(stderr, "kbase: library row %zu (%s): %s\n", r, run->rows[r].name.c_str(),
                   run->rows[r].missing.c_str());

  if (image.model.dllCommand) run->dll = bindDllCommand(image.dllFileName, image.dllCommandName);

  run->hlpfn = segmentData(*run, image::kHlpfnSegment);
  run->constData = segmentData(*run, image::kConstSegment);
  run->code = segmentData(*run, image::kCodeSegment);
  run->codeSize = image.placements[*image.segmentIndex(image::kCodeSegment)].storedSize;
  const image::Segment& varSegment = image.model.segments[*image.segmentIndex(image::kVarSegment)];
  run->var.reset(static_cast<uint8_t*>(std::calloc(std::max<size_t>(varSegment.memSize, 1), 1)));
  if (!run->var) return fail("cannot allocate the " + hex(varSegment.memSize) + " bytes of @var");

  // From here on the image changes.
  const uintptr_t bases[image::kFixupKindCount] = {
      reinterpret_cast<uintptr_t>(run->hlpfn), reinterpret_cast<uintptr_t>(run->constData),
      reinterpret_cast<uintptr_t>(run->var.get()), reinterpret_cast<uintptr_t>(run->code)};
  for (size_t i = 0; i < image.model.segments.size(); ++i) {
    const image::Segment& segment = image.model.segments[i];
    if (segment.fixups.empty()) continue;
    uint8_t* data = run->base + image.placements[i].dataOffset;
    for (const image::Fixup& f : segment.fixups)
      storePointer(data + f.fieldOffset, bases[size_t(f.kind)] + uintptr_t(image.fieldValue(segment, f)));
  }
  void* const* table = serviceTable();
  for (int slot = 0; slot < abi::kSlotCount; ++slot)
    storePointer(run->hlpfn + size_t(slot) * sizeof(void*), reinterpret_cast<uintptr_t>(table[slot]));
  return run;
}

void startBackend() {
  State& s = state();
  if (s.config.windows) {
    s.windows = s.config.windows;
    return;
  }
  if (!s.owned) {
#ifdef QL_KERNEL_HAVE_FLTK
    const char* display = std::getenv("DISPLAY");
    if (display && *display && window::FltkWindowSystem::displayAvailable())
      s.owned = std::make_unique<window::FltkWindowSystem>();
#endif
#ifdef QL_KERNEL_HAVE_WIN32
    // Tests of the whole program run it without windows, as a missing
    // DISPLAY does on Linux.
    const char* backend = std::getenv("QL_WINDOW_SYSTEM");
    if (!backend || std::strcmp(backend, "headless") != 0) s.owned = std::make_unique<window::Win32WindowSystem>();
#endif
    if (!s.owned) {
      auto headless = std::make_unique<window::HeadlessWindowSystem>();
      s.ownHeadless = headless.get();
      s.owned = std::move(headless);
    }
  }
  s.windows = s.owned.get();
}

// Only reached when the caller gets control back: close what the run opened
// without running handlers, free its memory, detach from the window system.
void teardown() {
  State& s = state();
  if (s.windows) {
    s.windows->setEventSink(nullptr);
    if (s.run)
      for (auto it = s.run->opened.rbegin(); it != s.run->opened.rend(); ++it)
        if (s.windows->hasWindow(*it)) (void)s.windows->destroyWindow(*it);
  }
  s.run.reset();
  setWindowCommands(nullptr);
  setRuntimeErrorHook(s.previousHook);
  s.windows = nullptr;
  s.running = false;
  s.handlingError = false;
}

void runLoaded() {
  State& s = state();
  s.outcome.stage = kQlStageRunning;
  callRoutine(s.run->img.model.startRoutine, 0, 0, 0);
  // The start routine ends with the end-the-program service; one that
  // returns ends the program the same way.
  endProgram();
}

}  // namespace

bool configureRuntime(const QlKernelConfig& config) {
  State& s = state();
  if (config.version != kQlKernelConfigVersion || s.running) return false;
  s.config = config;
  s.libraryFolder = config.libraryFolder ? config.libraryFolder : "";
  setProgramFolder(config.programFolder ? config.programFolder : "");
  s.config.programFolder = nullptr;
  s.config.libraryFolder = nullptr;
  return true;
}

const QlKernelOutcome& lastOutcome() { return state().outcome; }

void runModule(void* image) {
  State& s = state();
  if (s.running) {
    std::fprintf(stderr, "kbase: a module is already running; the runtime entry was called again\n");
    return;
  }
  s.running = true;
  s.outcome = QlKernelOutcome{kQlStageNotRun, 0, 0, 0, ""};
  setDetail("");
  s.previousHook = setRuntimeErrorHook(&onRuntimeError);
  try {
    startBackend();
    setWindowCommands(&s.windowCommands);
    auto loaded = load(image);
    if (!loaded) {
      s.outcome.stage = kQlStageLoadFailed;
      s.outcome.exitCode = 0;
      setDetail(loaded.error().message);
      std::fprintf(stderr, "kbase: module image refused: %s\n", s.detail.c_str());
      showBox(kLoadFailedText + std::string(kLineBreak) + s.detail);
      teardown();
      return;
    }
    s.run = std::move(loaded.value());
    s.windows->setEventSink([](const window::Event& e) { onEvent(e); });
    runLoaded();
  } catch (const ProgramEnd&) {
  } catch (...) {
    // A tool's window system may throw (a scripted answer missing): the
    // tool gets its exception, the kernel is ready for the next run.
    teardown();
    throw;
  }
  teardown();
}

}  // namespace ql::rt
