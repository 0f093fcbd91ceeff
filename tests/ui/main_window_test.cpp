// The main-window and log-window handlers against a fake runtime: what they
// read and write through the property services and kernel commands.
#include <gtest/gtest.h>

#include <optional>

#include "fake_runtime.h"
#include "module/app/image_link.h"
#include "module/support/support.h"
#include "qvkm_image.h"
#include "ui/form_ids.h"
#include "ui/main_window.h"
#include "ui/units.h"

namespace {

namespace abi = ql::abi;
namespace ui = ql::ui;
using ql::UnitRef;

constexpr int32_t kPropLeft = 0, kPropTop = 1, kPropWidth = 2, kPropHeight = 3, kPropVisible = 5, kPropText = 8,
                  kPropComboSelection = 19;
constexpr int32_t kCmdOpenWindow = 0x320, kCmdClientWidth = 0x36C, kCmdClientHeight = 0x370, kCmdMove = 0x38C;

class Handlers : public ::testing::Test {
 protected:
  void SetUp() override {
    ql::svc::setSlotTable(rt.slots());
    ql::setGlobals(&vars);
    // The image's @const as stored: constants need no fixups.
    ql::app::setConstBase(ql::app::imageBase() + ql::gen::kConstData);
    rt.textProperties.push_back(kPropText);  // the log box's whole text
  }
  void TearDown() override {
    EXPECT_EQ(rt.liveBlocks(), 0u) << "blocks of the runtime's heap left alive";
    EXPECT_EQ(rt.badFrees, 0);
    ql::svc::setSlotTable(nullptr);
    ql::setGlobals(nullptr);
    ql::app::setConstBase(nullptr);
  }

  void scriptMainWindow(int32_t left, int32_t top, int32_t width, int32_t height) {
    for (int32_t v : {left, top, width, height}) rt.propertyValues.push_back(uint32_t(v));
  }
  static void expectUnit(const fake::RecordedArg& a, UnitRef u) {
    EXPECT_EQ(a.arg.lo, u.window);
    EXPECT_EQ(a.arg.hi, u.unit);
    EXPECT_EQ(a.arg.tag, u.type);
  }
  static void expectInt(const fake::RecordedArg& a, std::optional<int32_t> v) {
    if (!v) {
      EXPECT_EQ(a.arg.tag, abi::kTagOmitted);
      return;
    }
    EXPECT_EQ(a.arg.tag, abi::kTagInt);
    EXPECT_EQ(int32_t(a.arg.lo), *v);
  }
  // A move command (0x38C) of `u` to the given values (nullopt: omitted).
  static void expectMove(const fake::Call& c, UnitRef u, std::optional<int32_t> l, std::optional<int32_t> t,
                         std::optional<int32_t> w, std::optional<int32_t> h) {
    EXPECT_EQ(c.slot, 3);
    EXPECT_EQ(c.code, kCmdMove);
    ASSERT_EQ(c.args.size(), 5u);
    expectUnit(c.args[0], u);
    expectInt(c.args[1], l);
    expectInt(c.args[2], t);
    expectInt(c.args[3], w);
    expectInt(c.args[4], h);
  }
  static void expectRead(const fake::PropertyCall& p, UnitRef u, int32_t property) {
    EXPECT_FALSE(p.write);
    EXPECT_EQ(p.window, u.window);
    EXPECT_EQ(p.unit, u.unit);
    EXPECT_EQ(p.property, property);
    EXPECT_EQ(p.reserved, -1);
  }
  static void expectWrite(const fake::PropertyCall& p, UnitRef u, int32_t property, uint64_t value) {
    EXPECT_TRUE(p.write);
    EXPECT_EQ(p.window, u.window);
    EXPECT_EQ(p.unit, u.unit);
    EXPECT_EQ(p.property, property);
    EXPECT_EQ(p.reserved, -1);
    EXPECT_EQ(p.value, value);
  }

  fake::Runtime rt;
  ql::Globals vars{};
};

// The start handler now runs the whole set-up (archive tool, game folder,
// model list, OpenGL view) against the runtime; it is tested end to end in
// tests/e2e/app_start_test.cpp and tests/setup_help/.

// ---- Layout handlers ----------------------------------------------------------------

TEST_F(Handlers, MoveDocksTheLogWindowAndFitsTheList) {
  struct Case {
    int32_t left, top, width, height;
    int32_t logTop, listHeight;
  };
  const Case cases[] = {
      {50, 50, 640, 480, 530, 400},      // the design size: list 400 high
      {-120, -30, 800, 600, 570, 520},   // off-screen positions keep their sign
      {10, 20, 300, 60, 80, -20},        // shorter than the margin: the difference as it is
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.height);
    rt.calls.clear();
    rt.propertyCalls.clear();
    vars.viewReady = 1;
    scriptMainWindow(c.left, c.top, c.width, c.height);
    rt.propertyValues.push_back(uint32_t(c.height));  // the height read again
    ui::onMainMoved(0, 0, 0);
    ASSERT_EQ(rt.calls.size(), 1u);
    expectMove(rt.calls[0], ui::kLogWindow, c.left, c.logTop, c.width, std::nullopt);
    ASSERT_EQ(rt.propertyCalls.size(), 6u);
    expectRead(rt.propertyCalls[4], ui::kMainWindow, kPropHeight);
    expectWrite(rt.propertyCalls[5], ui::kListBox1, kPropHeight, uint32_t(c.listHeight));
  }
}

TEST_F(Handlers, MoveBeforeTheViewIsReadyTouchesNothing) {
  vars.viewReady = 0;
  ui::onMainMoved(0, 0, 0);
  EXPECT_TRUE(rt.calls.empty());
  EXPECT_TRUE(rt.propertyCalls.empty());
}

TEST_F(Handlers, LogResizeFillsTheClientArea) {
  rt.results.push_back(fake::Runtime::intResult(389));
  rt.results.push_back(fake::Runtime::intResult(110));
  ui::onLogResized(0, 0, 0);
  ASSERT_EQ(rt.calls.size(), 3u);
  EXPECT_EQ(rt.calls[0].code, kCmdClientWidth);
  expectUnit(rt.calls[0].args.at(0), ui::kLogWindow);
  EXPECT_EQ(rt.calls[1].code, kCmdClientHeight);
  expectUnit(rt.calls[1].args.at(0), ui::kLogWindow);
  expectMove(rt.calls[2], ui::kTextBox1, 0, 0, 389, 110);
}

// ---- Log box --------------------------------------------------------------------------

TEST_F(Handlers, AppendLineAddsTheTextAndOneLineBreak) {
  struct Case {
    std::optional<std::string> current;  // nullopt: the runtime hands back no text
    std::string line, expected;
  };
  const Case cases[] = {
      {"", "", "\r\n"},
      {"abc\r\n", "\xB2\xC4\xD6\xCA", "abc\r\n\xB2\xC4\xD6\xCA\r\n"},
      {"x", "a\r\nb", "xa\r\nb\r\n"},  // the text is not examined
      {std::nullopt, "y", "y\r\n"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.line);
    rt.propertyCalls.clear();
    rt.propertyValues.push_back(c.current ? reinterpret_cast<uintptr_t>(rt.text(*c.current)) : 0);
    ui::appendLogLine(c.line.c_str());
    ASSERT_EQ(rt.propertyCalls.size(), 2u);
    expectRead(rt.propertyCalls[0], ui::kTextBox1, kPropText);
    EXPECT_TRUE(rt.propertyCalls[1].write);
    EXPECT_EQ(rt.propertyCalls[1].unit, ui::kTextBox1Id);
    EXPECT_EQ(rt.propertyCalls[1].property, kPropText);
    EXPECT_EQ(rt.propertyCalls[1].text, c.expected);
  }
}

TEST_F(Handlers, ReplaceSetsTheWholeText) {
  ui::replaceLog("=========\r\n");
  ASSERT_EQ(rt.propertyCalls.size(), 1u);
  EXPECT_EQ(rt.propertyCalls[0].window, ui::kLogWindowId);
  EXPECT_EQ(rt.propertyCalls[0].unit, ui::kTextBox1Id);
  EXPECT_EQ(rt.propertyCalls[0].text, "=========\r\n");
}

// ---- Mode change and timer ---------------------------------------------------------------

TEST_F(Handlers, ModeChangeTakesTheIndexUnlessNothingIsSelected) {
  struct Case {
    int32_t before, reported, after;
  };
  const Case cases[] = {{5, 3, 3}, {2, 0, 0}, {4, -1, 4}, {-1, -1, -1}};
  for (const Case& c : cases) {
    vars.displayMode = c.before;
    rt.propertyCalls.clear();
    rt.propertyValues.push_back(uint32_t(c.reported));
    ui::onModeChanged(0, 0, 0);
    EXPECT_EQ(vars.displayMode, c.after) << "reported " << c.reported;
    ASSERT_EQ(rt.propertyCalls.size(), 1u);
    expectRead(rt.propertyCalls[0], ui::kComboBox1, kPropComboSelection);
  }
}

TEST_F(Handlers, TimerWithoutAModelDrawsNothing) {
  vars.modelLoaded = 0;
  ui::onTimerTick(0, 0, 0);
  EXPECT_TRUE(rt.calls.empty());
  EXPECT_TRUE(rt.propertyCalls.empty());
}

}  // namespace
