#include "runtime/window/headless.h"

#include "common/gbk.h"

namespace ql::window {

class HeadlessWindowSystem::Surface final : public DrawingSurface {
 public:
  Surface(Id window, Id area, std::unique_ptr<HeadlessGlTarget> target)
      : window_(window), area_(area), target_(std::move(target)) {}
  // Without a GL target there is no context: no screen to make one on.
  bool makeCurrent() override { return target_ && target_->makeCurrent(); }
  void swapBuffers() override {
    ++swaps_;
    if (target_) target_->swapBuffers();
  }
  void setDrawHook(std::function<void()> hook) override { hook_ = std::move(hook); }
  void requestRedraw() override {
    ++redraws_;
    if (hook_) {
      if (target_) target_->makeCurrent();
      hook_();
    }
  }

  Id window_;
  Id area_;
  std::unique_ptr<HeadlessGlTarget> target_;
  std::int32_t swaps_ = 0;
  std::int32_t redraws_ = 0;
  std::function<void()> hook_;
};

HeadlessWindowSystem::HeadlessWindowSystem() : HeadlessWindowSystem(Options{}) {}
HeadlessWindowSystem::HeadlessWindowSystem(Options options) : options_(options) {}
HeadlessWindowSystem::~HeadlessWindowSystem() = default;

void HeadlessWindowSystem::answerMessageBox(std::int32_t button) {
  script_.push_back({Answer::Kind::Button, button, {}});
}

void HeadlessWindowSystem::confirmFileDialog(std::string gbkPath) {
  script_.push_back({Answer::Kind::Confirm, 0, std::move(gbkPath)});
}

void HeadlessWindowSystem::cancelFileDialog() { script_.push_back({Answer::Kind::Cancel, 0, {}}); }

void HeadlessWindowSystem::scriptFailure(std::string message) {
  failures_.push_back(message);
  throw ScriptError(message);
}

std::int32_t HeadlessWindowSystem::backendMessageBox(std::string_view text, std::int32_t style,
                                                     std::optional<std::string_view> caption) {
  MessageBoxShown shown{std::string(text), style, caption ? std::optional<std::string>(*caption) : std::nullopt, 0};
  std::string what = "message box \"" + gbkToUtf8Lossy(text) + "\"";
  if (boxAnswerer_ && (script_.empty() || script_.front().kind != Answer::Kind::Button)) {
    shown.answer = boxAnswerer_(shown);
    boxes_.push_back(shown);
    const std::int32_t buttons = style == kStyleOkCancel ? 2 : 1;
    if (shown.answer < 0 || shown.answer >= buttons)
      scriptFailure(what + " has " + std::to_string(buttons) + " button(s); the answerer chose button " +
                    std::to_string(shown.answer));
    return shown.answer;
  }
  if (script_.empty()) {
    boxes_.push_back(shown);
    scriptFailure(what + " shown with no scripted answer");
  }
  Answer a = script_.front();
  if (a.kind != Answer::Kind::Button) {
    boxes_.push_back(shown);
    scriptFailure(what + " shown while the script expects a file dialog");
  }
  std::int32_t buttons = style == kStyleOkCancel ? 2 : 1;
  if (a.button < 0 || a.button >= buttons) {
    boxes_.push_back(shown);
    scriptFailure(what + " has " + std::to_string(buttons) + " button(s); the script answers button " +
                  std::to_string(a.button));
  }
  script_.pop_front();
  shown.answer = a.button;
  boxes_.push_back(shown);
  return a.button;
}

std::optional<std::string> HeadlessWindowSystem::backendFileDialog(const WindowState& w, const ControlState& c) {
  const auto& d = c.def.dialog;
  FileDialogShown shown{w.def.id, c.def.id, d.kind, d.title, d.filter, d.initialFolder, d.fileName,
                        d.defaultExtension, false, {}};
  std::string what = "file dialog \"" + gbkToUtf8Lossy(d.title) + "\"";
  if (script_.empty() || script_.front().kind == Answer::Kind::Button) {
    dialogs_.push_back(shown);
    scriptFailure(what + (script_.empty() ? " shown with no scripted answer"
                                          : " shown while the script expects a message box"));
  }
  Answer a = script_.front();
  script_.pop_front();
  shown.confirmed = a.kind == Answer::Kind::Confirm;
  shown.answer = a.path;
  dialogs_.push_back(shown);
  if (!shown.confirmed) return std::nullopt;
  return a.path;
}

Status HeadlessWindowSystem::backendCreate(WindowState&) { return Ok{}; }

void HeadlessWindowSystem::backendDestroy(WindowState& w) {
  for (auto it = surfaces_.begin(); it != surfaces_.end();) {
    if (it->second->window_ == w.def.id)
      it = surfaces_.erase(it);
    else
      ++it;
  }
}

FrameMetrics HeadlessWindowSystem::frame(const WindowState& w) const {
  std::int32_t menu = w.def.menu.empty() ? 0 : options_.menuBar;
  return {options_.border, options_.border + options_.caption + menu, options_.border, options_.border};
}

void HeadlessWindowSystem::backendRun() {
  while (!quitRequested() && !loop_.empty()) {
    auto step = std::move(loop_.front());
    loop_.pop_front();
    step();
  }
}

std::uintptr_t HeadlessWindowSystem::backendHandle(WindowState& w, ControlState& c) {
  std::uintptr_t handle = nextHandle_++;
  if (c.def.kind == ControlKind::DrawingArea) {
    std::unique_ptr<HeadlessGlTarget> target;
    if (glFactory_) target = glFactory_(w.def.id, c.def.id, c.def.rect.width, c.def.rect.height);
    surfaces_[handle] = std::make_unique<Surface>(w.def.id, c.def.id, std::move(target));
  }
  return handle;
}

void HeadlessWindowSystem::backendControlChanged(WindowState&, ControlState& c, Aspect aspect) {
  if (aspect != Aspect::Geometry || c.handle == 0) return;
  auto it = surfaces_.find(c.handle);
  if (it != surfaces_.end() && it->second->target_) it->second->target_->resize(c.def.rect.width, c.def.rect.height);
}

HeadlessGlTarget* HeadlessWindowSystem::glTarget(Id window, Id area) const {
  const auto* s = findSurface(window, area);
  return s ? s->target_.get() : nullptr;
}

DrawingSurface* HeadlessWindowSystem::backendSurface(std::uintptr_t handle) {
  auto it = surfaces_.find(handle);
  return it == surfaces_.end() ? nullptr : it->second.get();
}

const HeadlessWindowSystem::Surface* HeadlessWindowSystem::findSurface(Id window, Id area) const {
  for (const auto& [handle, s] : surfaces_)
    if (s->window_ == window && s->area_ == area) return s.get();
  return nullptr;
}

std::int32_t HeadlessWindowSystem::swapCount(Id window, Id area) const {
  const auto* s = findSurface(window, area);
  return s ? s->swaps_ : 0;
}

std::int32_t HeadlessWindowSystem::redrawCount(Id window, Id area) const {
  const auto* s = findSurface(window, area);
  return s ? s->redraws_ : 0;
}

std::int32_t HeadlessWindowSystem::tickAll() {
  // Collect first: a tick handler may stop timers or close windows.
  std::vector<std::pair<Id, Id>> running;
  for (const auto& [id, w] : windows())
    for (const auto& c : w.controls)
      if (c.def.kind == ControlKind::Timer && c.def.intervalMs > 0) running.emplace_back(id, c.def.id);
  std::int32_t delivered = 0;
  for (auto [window, timer] : running) {
    auto r = tick(window, timer);
    if (r && *r) ++delivered;
  }
  return delivered;
}

}  // namespace ql::window
