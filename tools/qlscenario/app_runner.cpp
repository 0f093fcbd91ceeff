#include "tools/qlscenario/app_runner.h"

#include <stdlib.h>

#include <cstring>
#include <exception>
#include <fstream>
#include <random>
#include <system_error>

#include "common/dynlib.h"
#include "common/gbk.h"
#include "common/utf8_path.h"
#include "module/abi.h"
#include "module/image/image.h"
#include "qvkm_image.h"
#include "runtime/paths/paths.h"
#include "runtime/support_lib.h"
#include "ui/form_ids.h"
#ifdef QL_APPRUN_HAVE_OFFSCREEN
#include "runtime/window/offscreen.h"
#endif

namespace ql::apprun {

namespace fs = std::filesystem;
using ql::u8path;
using ql::u8text;

namespace {

struct KernelLib {
  fs::path file;
  void* handle = nullptr;
  abi::GetNewSockFn getNewSock = nullptr;
  QlKernelConfigureFn configure = nullptr;
  QlKernelLastOutcomeFn outcome = nullptr;
  QlKernelLiveBlocksFn live = nullptr;
};

// One kernel per process, as the launcher has: it keeps process-wide state.
Result<const KernelLib*> kernelLibrary(const fs::path& runtimeDir) {
  static KernelLib lib;
  const fs::path file = runtimeDir / support::kKernelFile;
  if (lib.handle) {
    if (lib.file != file)
      return fail("the kernel " + lib.file.string() + " is already loaded; cannot switch to " + file.string());
    return &lib;
  }
  void* handle = dynlib::open(file);
  if (!handle) return fail("cannot load the kernel " + file.string() + ": " + dynlib::lastError());
  KernelLib k;
  k.file = file;
  k.handle = handle;
  k.getNewSock = reinterpret_cast<abi::GetNewSockFn>(dynlib::symbol(handle, abi::kGetNewSockName));
  k.configure = reinterpret_cast<QlKernelConfigureFn>(dynlib::symbol(handle, kQlKernelConfigureName));
  k.outcome = reinterpret_cast<QlKernelLastOutcomeFn>(dynlib::symbol(handle, kQlKernelLastOutcomeName));
  k.live = reinterpret_cast<QlKernelLiveBlocksFn>(dynlib::symbol(handle, kQlKernelLiveBlocksName));
  if (!k.getNewSock || !k.configure || !k.outcome || !k.live) {
    dynlib::close(handle);
    return fail("the kernel " + file.string() + " lacks one of its exports");
  }
  lib = k;
  return &lib;
}

uint8_t* restoredImage() {
  const std::vector<uint8_t>& pristine = unloadedImage();
  auto* image = static_cast<uint8_t*>(ql_module_image_address());
  std::memcpy(image, pristine.data(), pristine.size());
  return image;
}

std::string stageName(int32_t stage) {
  switch (stage) {
    case kQlStageNotRun: return "not run";
    case kQlStageLoadFailed: return "image refused";
    case kQlStageRunning: return "still running";
    case kQlStageEnded: return "ended";
    case kQlStageRuntimeError: return "runtime error";
    default: return "stage " + std::to_string(stage);
  }
}

}  // namespace

// Taken at the first call, which comes before the first run patches the image.
const std::vector<uint8_t>& unloadedImage() {
  static const std::vector<uint8_t> pristine = [] {
    const auto* image = static_cast<const uint8_t*>(ql_module_image_address());
    return std::vector<uint8_t>(image, image + gen::kImageSize);
  }();
  return pristine;
}

Result<window::Id> menuItemByPath(std::string_view utf8Path) {
  static const Result<image::Image> img =
      image::readImage(ByteSpan(unloadedImage().data(), unloadedImage().size()), image::ReadOptions{image::kNativeWidth});
  if (!img) return fail("the module image does not read back: " + img.error().message);
  const image::Window* main = img->form.window(ui::kMainWindowId);
  if (!main) return fail("the module image has no main window");

  std::vector<std::string> captions;
  for (size_t start = 0;;) {
    const size_t cut = utf8Path.find('/', start);
    const std::string_view piece = utf8Path.substr(start, cut == std::string_view::npos ? cut : cut - start);
    auto gbk = utf8ToGbk(piece);
    if (piece.empty() || !gbk) return fail("menu path \"" + std::string(utf8Path) + "\": bad caption \"" +
                                            std::string(piece) + "\"");
    captions.push_back(std::move(*gbk));
    if (cut == std::string_view::npos) break;
    start = cut + 1;
  }
  // Items come depth-first; an item belongs to the nearest one a level up.
  size_t depth = 0;
  bool inside = true;  // the items seen belong to the matched parent
  for (const image::Unit& u : main->units) {
    if (!u.isMenuItem()) continue;
    if (u.level < depth) inside = false;
    if (!inside || u.level != depth) continue;
    if (u.caption != captions[depth]) continue;
    if (depth + 1 == captions.size()) return window::Id(u.id);
    ++depth;
  }
  return fail("the main window has no menu item \"" + std::string(utf8Path) + "\"");
}

fs::path defaultRuntimeDir() { return fs::path(QL_APPRUN_RUNTIME_DIR); }

bool offscreenGlAvailable() {
#ifdef QL_APPRUN_HAVE_OFFSCREEN
  return true;
#else
  return false;
#endif
}

Result<std::string> modulePath(const fs::path& native) { return paths::fromNative(native); }

Status seedFinishedFirstStart(const fs::path& programDir, const fs::path& gameDir) {
  auto content = modulePath(gameDir);
  if (!content) return content.error();
  std::error_code ec;
  fs::create_directories(programDir / kTextureFolderName, ec);
  if (ec) return fail("cannot create " + u8text(programDir / kTextureFolderName) + ": " + ec.message());
  const fs::path memory = programDir / kMemoryFileName;
  std::ofstream out(memory, std::ios::binary | std::ios::trunc);
  out.write(content->data(), std::streamsize(content->size()));
  if (!out.flush()) return fail("cannot write " + u8text(memory));
  return Ok{};
}

// ---- RunResult ----------------------------------------------------------------

bool RunResult::endedCleanly() const {
  return stage == kQlStageEnded && exitCode == 0 && cleanupRuns == 1 && liveBlocksAfter == liveBlocksBefore &&
         exception.empty() && scriptFailures.empty();
}

std::string RunResult::describe() const {
  std::string s = stageName(stage) + ", exit code " + std::to_string(exitCode);
  if (stage == kQlStageRuntimeError) s += ", error " + std::to_string(errorCode);
  if (!detail.empty()) s += " (" + gbkToUtf8Lossy(detail) + ")";
  s += ", clean-up ran " + std::to_string(cleanupRuns) + "x, live blocks " + std::to_string(liveBlocksBefore) +
       " -> " + std::to_string(liveBlocksAfter) + ", steps " + std::to_string(stepsRun) + "/" +
       std::to_string(stepsQueued);
  if (!exception.empty()) s += ", exception: " + exception;
  for (const auto& f : scriptFailures) s += ", script: " + f;
  return s;
}

// ---- AppRunner ------------------------------------------------------------------

AppRunner::AppRunner() : AppRunner(Options{}) {}

AppRunner::AppRunner(Options options)
    : options_(std::move(options)), next_(std::make_unique<window::HeadlessWindowSystem>()) {}

AppRunner::~AppRunner() = default;

window::HeadlessWindowSystem& AppRunner::windows() { return current_ ? *current_ : *next_; }

void AppRunner::step(std::function<void()> fn) {
  ++stepsQueued_;
  windows().queueLoopStep([this, fn = std::move(fn)] {
    fn();
    ++stepsRun_;
    lastSnapshot_ = snapshot();
  });
}

Snapshot AppRunner::snapshot() const {
  Snapshot s;
  if (!current_) return s;
  const window::HeadlessWindowSystem& w = *current_;
  if (w.hasWindow(ui::kLogWindowId)) {
    auto text = w.property(ui::kLogWindowId, ui::kTextBox1Id, window::prop::kIntervalOrText);
    if (text && std::holds_alternative<std::string>(*text)) {
      s.logWindowOpen = true;
      s.logText = std::get<std::string>(*text);
    }
  }
  if (w.hasWindow(ui::kMainWindowId)) {
    auto count = w.listCount(ui::kMainWindowId, ui::kListBox1Id);
    for (int32_t i = 0; count && i < *count; ++i)
      if (auto item = w.listItem(ui::kMainWindowId, ui::kListBox1Id, i)) s.modelList.push_back(*item);
  }
  return s;
}

Result<RunResult> AppRunner::run(std::string_view gbkProgramFolder) {
  if (running_) return fail("a run is already in progress");
  auto kernel = kernelLibrary(options_.runtimeDir);
  if (!kernel) return kernel.error();
  const KernelLib& k = **kernel;

  std::unique_ptr<window::HeadlessWindowSystem> windows = std::move(next_);
  next_ = std::make_unique<window::HeadlessWindowSystem>();
#ifdef QL_APPRUN_HAVE_OFFSCREEN
  if (options_.offscreenGl)
    windows->setGlTargetFactory([](window::Id, window::Id, int32_t width,
                                   int32_t height) -> std::unique_ptr<window::HeadlessGlTarget> {
      auto surface = window::OffscreenSurface::create(width, height);
      if (!surface) return nullptr;
      return std::move(surface.value());
    });
#endif

  const std::string folder(gbkProgramFolder);
  const std::string libraries = options_.runtimeDir.string();
  QlKernelConfig config{kQlKernelConfigVersion, windows.get(), 1, folder.c_str(), libraries.c_str()};
  if (k.configure(&config) != 1) return fail("the kernel refused its configuration");

  // The last step reads the log once more, right before the loop runs dry.
  current_ = windows.get();
  stepsRun_ = 0;
  lastSnapshot_ = {};
  windows->queueLoopStep([this] { lastSnapshot_ = snapshot(); });

  RunResult r;
  r.stepsQueued = stepsQueued_;
  r.liveBlocksBefore = k.live();
  auto entry = reinterpret_cast<abi::RuntimeEntryFn>(k.getNewSock(abi::kGetNewSockMagic));
  running_ = true;
  try {
    entry(restoredImage());
  } catch (const std::exception& e) {
    r.exception = e.what();
  } catch (...) {
    r.exception = "an exception of unknown type";
  }
  running_ = false;
  current_ = nullptr;

  const QlKernelOutcome& out = *k.outcome();
  r.stage = out.stage;
  r.exitCode = out.exitCode;
  r.errorCode = out.errorCode;
  r.cleanupRuns = out.cleanupRuns;
  r.detail = out.detail ? out.detail : "";
  r.liveBlocksAfter = k.live();
  r.boxes = windows->messageBoxes();
  r.dialogs = windows->fileDialogs();
  r.scriptFailures = windows->scriptFailures();
  r.unusedAnswers = windows->pendingAnswers();
  r.stepsRun = stepsRun_;
  r.last = lastSnapshot_;
  stepsQueued_ = 0;
  last_ = std::move(windows);
  return r;
}

}  // namespace ql::apprun
