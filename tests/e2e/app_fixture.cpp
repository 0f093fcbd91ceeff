#include "tests/e2e/app_fixture.h"

#include <fstream>
#include <sstream>
#include <system_error>

#include "common/gbk.h"
#include "module/support/gl.h"
#include "module/support/kernel.h"
#include "ui/units.h"

namespace ql::window {
void PrintTo(const Rect& r, std::ostream* os) {
  *os << "{" << r.left << ", " << r.top << ", " << r.width << ", " << r.height << "}";
}
}  // namespace ql::window

namespace ql::e2e {

// The module's half of the event contract (ui/form_ids.h) names what the
// window system delivers.
static_assert(ui::event::kWindowCreated == window::event::kCreated &&
              ui::event::kWindowDestroyed == window::event::kDestroying &&
              ui::event::kWindowMoved == window::event::kMoved && ui::event::kWindowResized == window::event::kResized);
static_assert(ui::event::kListEntryChosen == window::event::kListChosen &&
              ui::event::kComboSelectionChanged == window::event::kComboChanged &&
              ui::event::kTimerTick == window::event::kTimerTick);
static_assert(ui::event::kMouseDown == window::event::kMouseDown && ui::event::kMouseUp == window::event::kMouseUp &&
              ui::event::kMouseMove == window::event::kMouseMove &&
              ui::event::kMouseDoubleClick == window::event::kMouseDoubleClick &&
              ui::event::kMouseWheel == window::event::kMouseWheel && ui::event::kKeyDown == window::event::kKeyDown);
static_assert(ui::keys::kLeftButton == window::keys::kLeftButton &&
              ui::keys::kRightButton == window::keys::kRightButton &&
              ui::keys::kMiddleButton == window::keys::kMiddleButton &&
              ui::keys::kWheelNotch == window::keys::kWheelNotch && ui::keys::kVirtualKeyHome == window::vk::kHome);
static_assert(ui::keys::wheelDelta(window::keys::withWheel(window::keys::kShift, -360)) == -360);

namespace {
constexpr char8_t kProgramFolderName[] = u8"青岚工具";
constexpr char8_t kGameFolderName[] = u8"流星蝴蝶剑";
constexpr char kModelFolderName[] = "pmodel";

int32_t intOf(const Result<window::Value>& v, const std::string& what) {
  if (!v) {
    ADD_FAILURE() << what << ": " << v.error().message;
    return 0;
  }
  if (!std::holds_alternative<int32_t>(*v)) {
    ADD_FAILURE() << what << " is a text";
    return 0;
  }
  return std::get<int32_t>(*v);
}
}  // namespace

std::string gbk(std::string_view utf8Text) {
  auto out = utf8ToGbk(utf8Text);
  if (!out) {
    ADD_FAILURE() << "\"" << utf8Text << "\" has no GBK form";
    return {};
  }
  return *out;
}

std::string utf8(std::string_view gbkText) { return gbkToUtf8Lossy(gbkText); }

std::vector<std::string> lines(std::string_view text) {
  std::vector<std::string> out;
  size_t start = 0;
  while (start < text.size()) {
    const size_t cut = text.find("\r\n", start);
    if (cut == std::string_view::npos) {
      out.emplace_back(text.substr(start));
      break;
    }
    out.emplace_back(text.substr(start, cut - start));
    start = cut + 2;
  }
  return out;
}

AppFixture::AppFixture() : temp_("qle2e") {}
AppFixture::~AppFixture() = default;

void AppFixture::SetUp() {
  ASSERT_TRUE(temp_.ok()) << "no temporary folder";
  programDir_ = temp_.path() / kProgramFolderName;
  std::error_code ec;
  fs::create_directories(programDir_, ec);
  ASSERT_FALSE(ec) << programDir_ << ": " << ec.message();
}

const fs::path& AppFixture::gameDir() {
  if (gameDir_.empty()) {
    gameDir_ = temp_.path() / kGameFolderName;
    std::error_code ec;
    fs::create_directories(gameDir_ / kModelFolderName, ec);
    EXPECT_FALSE(ec) << gameDir_ << ": " << ec.message();
  }
  return gameDir_;
}

std::string AppFixture::modulePath(const fs::path& native) {
  auto p = apprun::modulePath(native);
  if (!p) {
    ADD_FAILURE() << p.error().message;
    return {};
  }
  return *p;
}

void AppFixture::writeBytes(const fs::path& file, std::string_view bytes) {
  std::error_code ec;
  if (file.has_parent_path()) fs::create_directories(file.parent_path(), ec);
  std::ofstream out(file, std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), std::streamsize(bytes.size()));
  EXPECT_TRUE(out.flush()) << "cannot write " << file;
}

void AppFixture::writeGbkText(const fs::path& file, std::string_view utf8Text) { writeBytes(file, gbk(utf8Text)); }

std::string AppFixture::readBytes(const fs::path& file) {
  std::ifstream in(file, std::ios::binary);
  if (!in) {
    ADD_FAILURE() << "cannot read " << file;
    return {};
  }
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}

bool AppFixture::exists(const fs::path& p) {
  std::error_code ec;
  return fs::exists(p, ec);
}

void AppFixture::seedFinishedFirstStart() {
  auto status = apprun::seedFinishedFirstStart(programDir_, gameDir());
  EXPECT_TRUE(status.ok()) << status.error().message;
}

bool AppFixture::useOffscreenGl() {
  app_.setOffscreenGl(apprun::offscreenGlAvailable());
  return apprun::offscreenGlAvailable();
}

ql::Globals& AppFixture::store() {
  if (app_.running()) return ql::globals();
  // After the run the kernel has freed @var: hand out zeros, not freed memory.
  ADD_FAILURE() << "store() outside a run: the module's variables are gone";
  static ql::Globals none;
  none = ql::Globals{};
  return none;
}

int32_t AppFixture::intProperty(Id window, Id unit, int32_t number) {
  return intOf(windows().property(window, unit, number), "property " + std::to_string(number));
}

std::string AppFixture::textProperty(Id window, Id unit, int32_t number) {
  auto v = windows().property(window, unit, number);
  if (!v) {
    ADD_FAILURE() << "property " << number << ": " << v.error().message;
    return {};
  }
  if (!std::holds_alternative<std::string>(*v)) {
    ADD_FAILURE() << "property " << number << " is a number";
    return {};
  }
  return std::get<std::string>(*v);
}

window::Rect AppFixture::rectOf(Id window, Id unit) {
  return {intProperty(window, unit, window::prop::kLeft), intProperty(window, unit, window::prop::kTop),
          intProperty(window, unit, window::prop::kWidth), intProperty(window, unit, window::prop::kHeight)};
}

std::string AppFixture::windowTitle(Id window) {
  auto title = windows().windowTitle(window);
  if (!title) {
    ADD_FAILURE() << "window " << window << " is not open";
    return {};
  }
  return *title;
}

Status AppFixture::clickMenu(std::string_view utf8Path) {
  auto item = apprun::menuItemByPath(utf8Path);
  if (!item) return item.error();
  return windows().clickMenu(ui::kMainWindowId, *item);
}

Status AppFixture::moveMainWindow(int32_t left, int32_t top) {
  window::Rect r = rectOf(ui::kMainWindowId);
  r.left = left;
  r.top = top;
  return windows().userMoveResize(ui::kMainWindowId, r);
}

Status AppFixture::resizeWindow(Id window, int32_t width, int32_t height) {
  window::Rect r = rectOf(window);
  r.width = width;
  r.height = height;
  return windows().userMoveResize(window, r);
}

const apprun::RunResult& AppFixture::run() {
  auto r = app_.run(programFolderText());
  if (!r) {
    ADD_FAILURE() << r.error().message;
    result_ = {};
  } else {
    result_ = std::move(r.value());
  }
  ran_ = true;
  return result_;
}

HeadlessWindowSystem& AppFixture::lastWindows() {
  if (!app_.lastWindows()) {
    ADD_FAILURE() << "no run yet";
    return windows();
  }
  return *app_.lastWindows();
}

void AppFixture::expectCleanEnd() const {
  EXPECT_TRUE(ran_) << "run() was not called";
  const apprun::RunResult& r = result_;
  EXPECT_TRUE(r.endedCleanly()) << r.describe();
  EXPECT_EQ(r.unusedAnswers, 0u) << "scripted answers left over";
  EXPECT_EQ(r.stepsRun, r.stepsQueued) << "steps the program did not get to";
}

std::string tinyTga() {
  std::string t(18, '\0');
  t[2] = 2;    // uncompressed true colour
  t[12] = 2;   // width
  t[14] = 2;   // height
  t[16] = 24;  // bits per pixel
  for (int i = 0; i < 4; ++i) t += std::string("\x10\x20\xF0", 3);
  return t;
}

bool makeViewContextCurrent() {
  Globals& g = globals();
  if (g.glRenderContext != 0) return true;
  const intptr_t window = kernel::controlHandle(ui::kMainWindow, ui::kDrawingArea1);
  const intptr_t dc = gl::getDc(window);
  gl::PixelFormatRequest request{};
  request.nSize = sizeof request;
  request.nVersion = 1;
  request.dwFlags = 0x4 | 0x20 | 0x1;  // draw to window, support OpenGL, double buffer
  request.cColorBits = 24;
  request.cDepthBits = 16;
  const int32_t format = gl::choosePixelFormat(dc, request);
  if (format == 0 || !gl::setPixelFormat(dc, format, request)) return false;
  const intptr_t rc = gl::createContext(dc);
  if (rc == 0 || !gl::makeCurrent(dc, rc)) return false;
  g.viewWindowHandle = window;
  g.glDeviceContext = dc;
  g.glRenderContext = rc;
  return true;
}

}  // namespace ql::e2e
