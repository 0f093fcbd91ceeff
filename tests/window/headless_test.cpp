#include "runtime/window/headless.h"

#include <algorithm>

#include <gtest/gtest.h>

#include "window_fixture.h"

namespace ql::window {
namespace {

using namespace ql::window::testing;

std::int32_t intProp(const WindowSystem& ws, Id w, Id u, std::int32_t n) {
  auto v = ws.property(w, u, n);
  EXPECT_TRUE(v.ok()) << (v.ok() ? "" : v.error().message);
  return v.ok() ? std::get<std::int32_t>(*v) : -999;
}

std::string textProp(const WindowSystem& ws, Id w, Id u, std::int32_t n) {
  auto v = ws.property(w, u, n);
  EXPECT_TRUE(v.ok()) << (v.ok() ? "" : v.error().message);
  return v.ok() ? std::get<std::string>(*v) : "<error>";
}

class Headless : public ::testing::Test {
 protected:
  void SetUp() override {
    ws.setEventSink([this](const Event& e) {
      events.push_back(e);
      if (onEvent) onEvent(e);
    });
    ASSERT_TRUE(ws.createWindow(mainWindowDef()).ok());
  }

  HeadlessWindowSystem ws;
  std::vector<Event> events;
  std::function<void(const Event&)> onEvent;
};

TEST_F(Headless, CreationDeliversCreatedAndFirstShowReportsPlaceAndSizeOnce) {
  ASSERT_EQ(events.size(), 1u);
  EXPECT_EQ(events[0], (Event{kMain, kMainUnit, event::kCreated}));
  EXPECT_EQ(intProp(ws, kMain, kMainUnit, prop::kVisible), 0);
  EXPECT_EQ(ws.mainWindow(), kMain);

  events.clear();
  ASSERT_TRUE(ws.setProperty(kMain, kMainUnit, prop::kVisible, 1).ok());
  EXPECT_EQ(events, (std::vector<Event>{{kMain, kMainUnit, event::kMoved}, {kMain, kMainUnit, event::kResized}}));
  EXPECT_EQ(intProp(ws, kMain, kMainUnit, prop::kVisible), 1);

  events.clear();
  ASSERT_TRUE(ws.setProperty(kMain, kMainUnit, prop::kVisible, 0).ok());
  ASSERT_TRUE(ws.setProperty(kMain, kMainUnit, prop::kVisible, 1).ok());
  EXPECT_TRUE(events.empty());
}

TEST_F(Headless, WindowIsAddressedByUnitIdWindowIdOrZero) {
  for (Id unit : {kMainUnit, kMain, Id{0}}) {
    EXPECT_EQ(intProp(ws, kMain, unit, prop::kLeft), 50);
    EXPECT_EQ(intProp(ws, kMain, unit, prop::kHeight), 480);
  }
  EXPECT_FALSE(ws.property(kMain, 0x06000099, prop::kLeft).ok());
  EXPECT_FALSE(ws.property(0x52000099, kMainUnit, prop::kLeft).ok());
}

TEST_F(Headless, WindowGeometryWritesDeliverMoveAndResize) {
  struct Case {
    const char* what;
    std::optional<std::int32_t> l, t, w, h;
    std::vector<std::int32_t> numbers;
    Rect after;
  };
  const Case cases[] = {
      {"left only", 60, {}, {}, {}, {event::kMoved}, {60, 50, 640, 480}},
      {"same values", 60, 50, {}, {}, {}, {60, 50, 640, 480}},
      {"width only", {}, {}, 700, {}, {event::kResized}, {60, 50, 700, 480}},
      {"both", 0, 0, 10, 20, {event::kMoved, event::kResized}, {0, 0, 10, 20}},
      {"negative size becomes 0", {}, {}, -5, {}, {event::kResized}, {0, 0, 0, 20}},
  };
  for (const auto& c : cases) {
    events.clear();
    ASSERT_TRUE(ws.moveResize(kMain, kMainUnit, c.l, c.t, c.w, c.h).ok()) << c.what;
    std::vector<std::int32_t> numbers;
    for (const auto& e : events) numbers.push_back(e.number);
    EXPECT_EQ(numbers, c.numbers) << c.what;
    Rect got{intProp(ws, kMain, kMainUnit, 0), intProp(ws, kMain, kMainUnit, 1), intProp(ws, kMain, kMainUnit, 2),
             intProp(ws, kMain, kMainUnit, 3)};
    EXPECT_EQ(got, c.after) << c.what;
  }
  events.clear();
  ASSERT_TRUE(ws.setProperty(kMain, kMainUnit, prop::kTop, 7).ok());
  EXPECT_EQ(events, (std::vector<Event>{{kMain, kMainUnit, event::kMoved}}));
}

TEST_F(Headless, ClientAreaIsOuterLessFrameAndMenu) {
  // Default frame: 4 px borders, 20 px caption, 20 px menu bar.
  EXPECT_EQ(*ws.clientWidth(kMain), 640 - 8);
  EXPECT_EQ(*ws.clientHeight(kMain), 480 - 4 - 20 - 20 - 4);
  ASSERT_TRUE(ws.createWindow(logWindowDef(), kMain).ok());
  EXPECT_EQ(*ws.clientHeight(kLog), 144 - 4 - 20 - 4);  // no menu

  HeadlessWindowSystem bare(HeadlessWindowSystem::Options{0, 0, 0});
  ASSERT_TRUE(bare.createWindow(mainWindowDef()).ok());
  EXPECT_EQ(*bare.clientWidth(kMain), 640);
  EXPECT_EQ(*bare.clientHeight(kMain), 480);
  // A window smaller than its frame has an empty client area, never a negative one.
  ASSERT_TRUE(ws.setProperty(kMain, kMainUnit, prop::kHeight, 10).ok());
  EXPECT_EQ(*ws.clientHeight(kMain), 0);
  EXPECT_FALSE(ws.clientWidth(0x52000099).ok());
}

TEST_F(Headless, ControlGeometryKeepsOmittedValuesAndDeliversNothing) {
  events.clear();
  ASSERT_TRUE(ws.moveResize(kMain, kList, std::nullopt, std::nullopt, std::nullopt, 400).ok());
  EXPECT_EQ(intProp(ws, kMain, kList, prop::kLeft), 0);
  EXPECT_EQ(intProp(ws, kMain, kList, prop::kTop), 0);
  EXPECT_EQ(intProp(ws, kMain, kList, prop::kWidth), 104);
  EXPECT_EQ(intProp(ws, kMain, kList, prop::kHeight), 400);
  ASSERT_TRUE(ws.setProperty(kMain, kArea, prop::kLeft, 120).ok());
  EXPECT_EQ(intProp(ws, kMain, kArea, prop::kLeft), 120);
  EXPECT_TRUE(events.empty());
  // Timers and dialogs have no place on screen.
  EXPECT_FALSE(ws.moveResize(kMain, kTimer, 1, 1, 1, 1).ok());
  EXPECT_FALSE(ws.property(kMain, kOpenDialog, prop::kWidth).ok());
  EXPECT_FALSE(ws.moveResize(kMain, 0x16000099, 1, 1, 1, 1).ok());
}

TEST_F(Headless, EachKindAnswersOnlyItsOwnProperties) {
  struct Case {
    Id unit;
    std::int32_t number;
    bool readable;
  };
  const Case cases[] = {
      {kList, prop::kListIndex, true},       {kList, prop::kComboIndex, false},
      {kCombo, prop::kComboIndex, true},     {kCombo, prop::kListIndex, false},
      {kScroll, prop::kScrollPosition, true}, {kList, prop::kScrollPosition, false},
      {kTimer, prop::kIntervalOrText, true},  {kArea, prop::kIntervalOrText, false},
      {kOpenDialog, prop::kFileName, true},   {kOpenDialog, prop::kFilter, true},
      {kOpenDialog, prop::kInitialFolder, true}, {kTimer, prop::kFileName, false},
      {kArea, prop::kVisible, true},          {kTimer, prop::kVisible, false},
      {kList, 4, false},                      {kMainUnit, prop::kListIndex, false},
      {kMainUnit, 4, false},
  };
  for (const auto& c : cases)
    EXPECT_EQ(ws.property(kMain, c.unit, c.number).ok(), c.readable) << std::hex << c.unit << " " << c.number;
}

TEST_F(Headless, WritesOfTheWrongTypeAreRefused) {
  EXPECT_FALSE(ws.setProperty(kMain, kTimer, prop::kIntervalOrText, std::string("50")).ok());
  EXPECT_FALSE(ws.setProperty(kMain, kOpenDialog, prop::kFilter, 3).ok());
  EXPECT_FALSE(ws.setProperty(kMain, kMainUnit, prop::kLeft, std::string("1")).ok());
  EXPECT_EQ(intProp(ws, kMain, kTimer, prop::kIntervalOrText), 50);
  EXPECT_EQ(textProp(ws, kMain, kOpenDialog, prop::kFilter), "OBJ|*.obj");
}

TEST_F(Headless, SelectionIndexOutsideTheEntriesClearsTheSelection) {
  // Index 5 of five entries is one past the last: no selection (-1), as the
  // native Windows combo box reports it.
  const std::pair<std::int32_t, std::int32_t> cases[] = {{0, 0}, {4, 4}, {5, -1}, {2, 2}, {-1, -1}, {-7, -1}, {99, -1}};
  events.clear();
  for (auto [set, expected] : cases) {
    ASSERT_TRUE(ws.setProperty(kMain, kCombo, prop::kComboIndex, set).ok());
    EXPECT_EQ(intProp(ws, kMain, kCombo, prop::kComboIndex), expected) << set;
  }
  for (const char* e : {"a.skc", "b.skc"}) ASSERT_TRUE(ws.addListItem(kMain, kList, e).ok());
  for (auto [set, expected] : std::vector<std::pair<int, int>>{{1, 1}, {2, -1}, {0, 0}, {-1, -1}}) {
    ASSERT_TRUE(ws.setProperty(kMain, kList, prop::kListIndex, set).ok());
    EXPECT_EQ(intProp(ws, kMain, kList, prop::kListIndex), expected) << set;
  }
  // Programmatic selections deliver no event.
  EXPECT_TRUE(events.empty());
}

TEST_F(Headless, UserChoicesUpdateTheSelectionBeforeTheEvent) {
  for (const char* e : {"a.skc", "b.skc", "c.skc"}) ASSERT_TRUE(ws.addListItem(kMain, kList, e).ok());
  std::vector<std::int32_t> seenIndex;
  onEvent = [&](const Event& e) {
    if (e.unit == kList) seenIndex.push_back(intProp(ws, kMain, kList, prop::kListIndex));
    if (e.unit == kCombo) seenIndex.push_back(intProp(ws, kMain, kCombo, prop::kComboIndex));
  };
  events.clear();
  ASSERT_TRUE(ws.chooseListEntry(kMain, kList, 2).ok());
  ASSERT_TRUE(ws.chooseComboEntry(kMain, kCombo, 1).ok());
  EXPECT_EQ(events, (std::vector<Event>{{kMain, kList, event::kListChosen}, {kMain, kCombo, event::kComboChanged}}));
  EXPECT_EQ(seenIndex, (std::vector<std::int32_t>{2, 1}));

  EXPECT_FALSE(ws.chooseListEntry(kMain, kList, 3).ok());
  EXPECT_FALSE(ws.chooseComboEntry(kMain, kCombo, 5).ok());
  EXPECT_FALSE(ws.chooseComboEntry(kMain, kList, 0).ok());
  EXPECT_EQ(events.size(), 2u);
}

TEST_F(Headless, ListBoxAddsAndReadsEntriesInOrder) {
  EXPECT_EQ(*ws.listCount(kMain, kList), 0);
  const std::string names[] = {"nm001f01.skc", "\xC1\xD0\xB1\xED.skc", ""};
  for (const auto& n : names) ASSERT_TRUE(ws.addListItem(kMain, kList, n).ok());
  EXPECT_EQ(*ws.listCount(kMain, kList), 3);
  for (int i = 0; i < 3; ++i) EXPECT_EQ(*ws.listItem(kMain, kList, i), names[i]);
  auto bad = ws.listItem(kMain, kList, 3);
  ASSERT_FALSE(bad.ok());
  EXPECT_NE(bad.error().message.find("index 3"), std::string::npos) << bad.error().message;
  EXPECT_FALSE(ws.listItem(kMain, kList, -1).ok());
  EXPECT_FALSE(ws.addListItem(kMain, kCombo, "x").ok());
  EXPECT_FALSE(ws.listItem(kMain, kCombo, 0).ok());
}

TEST_F(Headless, ScrollPositionStaysInItsRange) {
  EXPECT_EQ(intProp(ws, kMain, kScroll, prop::kScrollPosition), 30);
  const std::pair<std::int32_t, std::int32_t> cases[] = {{50, 50}, {1, 1}, {100, 100}, {0, 1}, {101, 100}, {-5, 1}};
  for (auto [set, expected] : cases) {
    ASSERT_TRUE(ws.setProperty(kMain, kScroll, prop::kScrollPosition, set).ok());
    EXPECT_EQ(intProp(ws, kMain, kScroll, prop::kScrollPosition), expected) << set;
  }
  ASSERT_TRUE(ws.scroll(kMain, kScroll, 250).ok());
  EXPECT_EQ(intProp(ws, kMain, kScroll, prop::kScrollPosition), 100);

  auto def = mainWindowDef();
  def.id = 0x52000005;
  def.controls[3].scroll.position = 0;  // designed below its minimum
  ASSERT_TRUE(ws.createWindow(def).ok());
  EXPECT_EQ(intProp(ws, def.id, kScroll, prop::kScrollPosition), 1);
}

TEST_F(Headless, TimersTickOnlyWhileRunning) {
  events.clear();
  EXPECT_TRUE(*ws.tick(kMain, kTimer));
  EXPECT_EQ(events, (std::vector<Event>{{kMain, kTimer, event::kTimerTick}}));

  ASSERT_TRUE(ws.setProperty(kMain, kTimer, prop::kIntervalOrText, 0).ok());
  events.clear();
  EXPECT_FALSE(*ws.tick(kMain, kTimer));
  EXPECT_EQ(ws.tickAll(), 0);
  EXPECT_TRUE(events.empty());

  ASSERT_TRUE(ws.setProperty(kMain, kTimer, prop::kIntervalOrText, 50).ok());
  EXPECT_EQ(ws.tickAll(), 1);
  EXPECT_EQ(events.size(), 1u);
  EXPECT_FALSE(ws.setProperty(kMain, kTimer, prop::kIntervalOrText, -1).ok());
  EXPECT_EQ(intProp(ws, kMain, kTimer, prop::kIntervalOrText), 50);
  EXPECT_FALSE(ws.tick(kMain, kList).ok());
}

TEST_F(Headless, TickHandlerThatStopsItsTimerEndsTheTicks) {
  // As the model loader does: stop the timer from inside a handler.
  onEvent = [&](const Event& e) {
    if (e.unit == kTimer) (void)ws.setProperty(kMain, kTimer, prop::kIntervalOrText, 0);
  };
  EXPECT_EQ(ws.tickAll(), 1);
  EXPECT_EQ(ws.tickAll(), 0);
}

TEST_F(Headless, MenuClicksReachOnlyLeafItems) {
  events.clear();
  ASSERT_TRUE(ws.clickMenu(kMain, kMenuOpenObj).ok());
  ASSERT_TRUE(ws.clickMenu(kMain, kMenuCheck).ok());
  EXPECT_EQ(events, (std::vector<Event>{{kMain, kMenuOpenObj, event::kMenuClicked},
                                        {kMain, kMenuCheck, event::kMenuClicked}}));
  for (Id parent : {kMenuFile, kMenuOpen, kMenuHelp}) EXPECT_FALSE(ws.clickMenu(kMain, parent).ok());
  EXPECT_FALSE(ws.clickMenu(kMain, 0x26000099).ok());
  EXPECT_EQ(events.size(), 2u);
}

TEST_F(Headless, MouseEventsCarryPositionAndKeys) {
  events.clear();
  ASSERT_TRUE(ws.mouse(kMain, kArea, event::kMouseDown, 100, 40, keys::kLeftButton).ok());
  ASSERT_TRUE(ws.mouse(kMain, kArea, event::kMouseMove, 420, 50, keys::kLeftButton).ok());
  ASSERT_TRUE(ws.mouse(kMain, kArea, event::kMouseUp, 420, 50).ok());
  ASSERT_TRUE(ws.mouse(kMain, kArea, event::kMouseDoubleClick, 7, 8, keys::kRightButton).ok());
  ASSERT_TRUE(ws.mouse(kMain, kArea, event::kMouseWheel, 30, 20, keys::withWheel(keys::kShift, -240)).ok());
  ASSERT_TRUE(ws.key(kMain, kArea, vk::kHome, keys::kControl).ok());
  EXPECT_EQ(events, (std::vector<Event>{{kMain, kArea, -1, 100, 40, 1},
                                        {kMain, kArea, -6, 420, 50, 1},
                                        {kMain, kArea, -2, 420, 50, 0},
                                        {kMain, kArea, -3, 7, 8, 2},
                                        {kMain, kArea, -12, 30, 20, int32_t(0xFF100004u)},
                                        {kMain, kArea, -9, 0x24, 0, 8}}));
  // A key event (−9) or a number of no event is no mouse event.
  for (int32_t notMouse : {-4, -9, 0, 1}) EXPECT_FALSE(ws.mouse(kMain, kArea, notMouse, 0, 0).ok()) << notMouse;
  EXPECT_FALSE(ws.mouse(kMain, kList, event::kMouseDown, 0, 0).ok());
  EXPECT_FALSE(ws.key(kMain, kList, vk::kHome).ok()) << "keys only for drawing areas";
}

TEST_F(Headless, WheelTurnTravelsInTheKeyStatesHighBits) {
  struct Case {
    int32_t bits, delta, packed;
  };
  const Case cases[] = {
      {0, 120, 0x00780000},
      {keys::kLeftButton | keys::kShift, -120, int32_t(0xFF880005u)},
      {0x12345, 0, 0x2345},                  // only the low 16 bits of the keys
      {0, 40000, 0x7FFF0000},                // clamped to 16 bits
      {0, -40000, int32_t(0x80000000u)},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.delta);
    EXPECT_EQ(keys::withWheel(c.bits, c.delta), c.packed);
    EXPECT_EQ(keys::wheelDelta(c.packed), std::clamp(c.delta, -32768, 32767));
  }
}

TEST_F(Headless, DefinitionsThatCannotBeBuiltAreRefusedWhole) {
  struct Case {
    const char* what;
    std::function<void(WindowDef&)> spoil;
  };
  const Case cases[] = {
      {"menu starts at level 1", [](WindowDef& w) { w.menu[0].level = 1; }},
      {"menu skips a level", [](WindowDef& w) { w.menu[1].level = 2; }},
      {"negative level", [](WindowDef& w) { w.menu[5].level = -1; }},
      {"menu id repeated", [](WindowDef& w) { w.menu[2].id = w.menu[4].id; }},
      {"control id repeated", [](WindowDef& w) { w.controls[1].id = w.controls[0].id; }},
      {"control id equals a menu id", [](WindowDef& w) { w.controls[0].id = kMenuCheck; }},
      {"negative control size", [](WindowDef& w) { w.controls[0].rect.height = -1; }},
      {"scroll range upside down", [](WindowDef& w) { w.controls[3].scroll = {100, 1, 10, 1, 30}; }},
      {"negative interval", [](WindowDef& w) { w.controls[4].intervalMs = -50; }},
      {"negative window size", [](WindowDef& w) { w.rect.width = -1; }},
  };
  for (const auto& c : cases) {
    HeadlessWindowSystem fresh;
    int created = 0;
    fresh.setEventSink([&](const Event&) { ++created; });
    WindowDef def = mainWindowDef();
    c.spoil(def);
    EXPECT_FALSE(fresh.createWindow(def).ok()) << c.what;
    EXPECT_FALSE(fresh.hasWindow(kMain)) << c.what;
    EXPECT_EQ(created, 0) << c.what;
    EXPECT_FALSE(fresh.mainWindow()) << c.what;
  }
  EXPECT_FALSE(ws.createWindow(mainWindowDef()).ok());                  // already open
  EXPECT_FALSE(ws.createWindow(logWindowDef(), Id{0x52000099}).ok());  // owner not open
  EXPECT_FALSE(ws.hasWindow(kLog));
}

TEST_F(Headless, MessageBoxesAnswerFromTheScriptAndAreRecorded) {
  const std::string text = "\xC3\xBB\xD3\xD0\xBF\xC9\xCA\xE4\xB3\xF6\xB5\xC4\xCA\xFD\xBE\xDD!";
  ws.answerMessageBox(0);
  ws.answerMessageBox(1);
  ws.answerMessageBox(0);
  EXPECT_EQ(ws.messageBox(text, kStyleOk, std::nullopt), 0);
  EXPECT_EQ(ws.messageBox("q?", kStyleOkCancel, std::string_view("\xB0\xEF\xD6\xFA")), 1);
  EXPECT_EQ(ws.messageBox("odd style", 7, std::nullopt), 0);  // counts as OK only
  EXPECT_EQ(ws.pendingAnswers(), 0u);
  using Shown = HeadlessWindowSystem::MessageBoxShown;
  EXPECT_EQ(ws.messageBoxes(), (std::vector<Shown>{{text, kStyleOk, std::nullopt, 0},
                                                   {"q?", kStyleOkCancel, "\xB0\xEF\xD6\xFA", 1},
                                                   {"odd style", kStyleOk, std::nullopt, 0}}));
  EXPECT_TRUE(ws.scriptFailures().empty());
}

TEST_F(Headless, ScriptMistakesFailLoudly) {
  struct Case {
    const char* what;
    std::function<void(HeadlessWindowSystem&)> script;
    std::function<void(HeadlessWindowSystem&)> show;
  };
  const Case cases[] = {
      {"box with empty script", [](HeadlessWindowSystem&) {},
       [](HeadlessWindowSystem& s) { s.messageBox("x", kStyleOk, std::nullopt); }},
      {"Cancel on an OK-only box", [](HeadlessWindowSystem& s) { s.answerMessageBox(1); },
       [](HeadlessWindowSystem& s) { s.messageBox("x", kStyleOk, std::nullopt); }},
      {"negative button", [](HeadlessWindowSystem& s) { s.answerMessageBox(-1); },
       [](HeadlessWindowSystem& s) { s.messageBox("x", kStyleOkCancel, std::nullopt); }},
      {"dialog answer for a box", [](HeadlessWindowSystem& s) { s.cancelFileDialog(); },
       [](HeadlessWindowSystem& s) { s.messageBox("x", kStyleOk, std::nullopt); }},
      {"dialog with empty script", [](HeadlessWindowSystem&) {},
       [](HeadlessWindowSystem& s) { (void)s.runFileDialog(kMain, kOpenDialog); }},
      {"box answer for a dialog", [](HeadlessWindowSystem& s) { s.answerMessageBox(0); },
       [](HeadlessWindowSystem& s) { (void)s.runFileDialog(kMain, kOpenDialog); }},
  };
  for (const auto& c : cases) {
    HeadlessWindowSystem fresh;
    ASSERT_TRUE(fresh.createWindow(mainWindowDef()).ok());
    c.script(fresh);
    EXPECT_THROW(c.show(fresh), ScriptError) << c.what;
    EXPECT_EQ(fresh.scriptFailures().size(), 1u) << c.what;
    // What was shown is still recorded, so the failure can be understood.
    EXPECT_EQ(fresh.messageBoxes().size() + fresh.fileDialogs().size(), 1u) << c.what;
  }
}

TEST_F(Headless, ConfirmedDialogReportsThePathAndCancelKeepsTheName) {
  ASSERT_TRUE(ws.setProperty(kMain, kOpenDialog, prop::kInitialFolder, std::string("\\home\\a")).ok());
  ASSERT_TRUE(ws.setProperty(kMain, kOpenDialog, prop::kFileName, std::string("ptexture.pak")).ok());
  ws.confirmFileDialog("\\home\\a\\\xCE\xC4\xBC\xFE.obj");
  ws.cancelFileDialog();
  ws.confirmFileDialog("\\home\\a\\noext");

  EXPECT_TRUE(*ws.runFileDialog(kMain, kOpenDialog));
  EXPECT_EQ(textProp(ws, kMain, kOpenDialog, prop::kFileName), "\\home\\a\\\xCE\xC4\xBC\xFE.obj");
  EXPECT_FALSE(*ws.runFileDialog(kMain, kOpenDialog));
  EXPECT_EQ(textProp(ws, kMain, kOpenDialog, prop::kFileName), "\\home\\a\\\xCE\xC4\xBC\xFE.obj");
  // Open dialogs report the name as chosen; no default extension.
  EXPECT_TRUE(*ws.runFileDialog(kMain, kOpenDialog));
  EXPECT_EQ(textProp(ws, kMain, kOpenDialog, prop::kFileName), "\\home\\a\\noext");

  const auto& shown = ws.fileDialogs();
  ASSERT_EQ(shown.size(), 3u);
  EXPECT_EQ(shown[0].kind, FileDialogKind::Open);
  EXPECT_EQ(shown[0].filter, "OBJ|*.obj");
  EXPECT_EQ(shown[0].initialFolder, "\\home\\a");
  EXPECT_EQ(shown[0].fileName, "ptexture.pak");
  EXPECT_TRUE(shown[0].confirmed);
  EXPECT_FALSE(shown[1].confirmed);
  EXPECT_EQ(shown[1].fileName, "\\home\\a\\\xCE\xC4\xBC\xFE.obj");  // the preset is the last result
  EXPECT_FALSE(ws.runFileDialog(kMain, kList).ok());
}

TEST_F(Headless, SaveDialogAddsItsDefaultExtensionToBareNames) {
  ws.confirmFileDialog("\\out\\model");
  ws.confirmFileDialog("\\out\\model.obj");
  EXPECT_TRUE(*ws.runFileDialog(kMain, kSaveDialog));
  EXPECT_EQ(textProp(ws, kMain, kSaveDialog, prop::kFileName), "\\out\\model.ac");
  EXPECT_TRUE(*ws.runFileDialog(kMain, kSaveDialog));
  EXPECT_EQ(textProp(ws, kMain, kSaveDialog, prop::kFileName), "\\out\\model.obj");
  EXPECT_EQ(ws.fileDialogs()[0].title, "\xC7\xEB");
  EXPECT_EQ(ws.fileDialogs()[0].kind, FileDialogKind::Save);
  EXPECT_EQ(ws.fileDialogs()[0].defaultExtension, "*.ac");
}

TEST_F(Headless, TextBoxKeepsItsBytesExactly) {
  ASSERT_TRUE(ws.createWindow(logWindowDef(), kMain).ok());
  const std::string text = "\xC7\xE0\r\n\r\nline\xFF\x80";  // not even valid GBK at the end
  ASSERT_TRUE(ws.setProperty(kLog, kLogBox, prop::kIntervalOrText, text).ok());
  EXPECT_EQ(textProp(ws, kLog, kLogBox, prop::kIntervalOrText), text);
}

TEST_F(Headless, DestroyingTheMainWindowTakesItsOwnedWindowsAndEndsTheLoop) {
  ASSERT_TRUE(ws.createWindow(logWindowDef(), kMain).ok());
  std::int32_t logWidthDuringDestroy = 0;
  onEvent = [&](const Event& e) {
    // The window is still readable while its destroying event runs.
    if (e.window == kLog && e.number == event::kDestroying)
      logWidthDuringDestroy = intProp(ws, kLog, kLogUnit, prop::kWidth);
  };
  events.clear();
  ASSERT_TRUE(ws.userClose(kMain).ok());
  EXPECT_EQ(events, (std::vector<Event>{{kMain, kMainUnit, event::kDestroying}, {kLog, kLogUnit, event::kDestroying}}));
  EXPECT_EQ(logWidthDuringDestroy, 397);
  EXPECT_FALSE(ws.hasWindow(kMain));
  EXPECT_FALSE(ws.hasWindow(kLog));
  EXPECT_TRUE(ws.quitRequested());
  EXPECT_FALSE(ws.destroyWindow(kMain).ok());
  EXPECT_FALSE(ws.property(kLog, kLogBox, prop::kIntervalOrText).ok());
}

TEST_F(Headless, ClosingAnOtherWindowOnlyHidesIt) {
  ASSERT_TRUE(ws.createWindow(logWindowDef(), kMain).ok());
  ASSERT_TRUE(ws.setProperty(kLog, kLogUnit, prop::kVisible, 1).ok());
  ASSERT_TRUE(ws.userClose(kLog).ok());
  EXPECT_TRUE(ws.hasWindow(kLog));
  EXPECT_EQ(intProp(ws, kLog, kLogUnit, prop::kVisible), 0);
  EXPECT_FALSE(ws.quitRequested());
}

TEST_F(Headless, DestroyFromInsideItsOwnDestroyingEventIsHarmless) {
  ASSERT_TRUE(ws.createWindow(logWindowDef(), kMain).ok());
  int destroying = 0;
  onEvent = [&](const Event& e) {
    if (e.number == event::kDestroying && e.window == kLog) {
      ++destroying;
      EXPECT_TRUE(ws.destroyWindow(kLog).ok());
    }
  };
  ASSERT_TRUE(ws.destroyWindow(kLog).ok());
  EXPECT_EQ(destroying, 1);
  EXPECT_FALSE(ws.hasWindow(kLog));
  EXPECT_TRUE(ws.hasWindow(kMain));
  EXPECT_FALSE(ws.quitRequested());
}

TEST_F(Headless, MessageLoopRunsItsStepsUntilTheMainWindowCloses) {
  std::vector<int> ran;
  ws.queueLoopStep([&] { ran.push_back(1); });
  ws.queueLoopStep([&] {
    ran.push_back(2);
    (void)ws.userClose(kMain);
  });
  ws.queueLoopStep([&] { ran.push_back(3); });
  EXPECT_EQ(ws.run(), 0);
  EXPECT_EQ(ran, (std::vector<int>{1, 2}));

  HeadlessWindowSystem empty;
  EXPECT_EQ(empty.run(), 0);  // nothing queued: returns at once
  empty.quit();
  EXPECT_TRUE(empty.quitRequested());
}

TEST_F(Headless, DrawingAreaHandleLeadsToItsSurface) {
  auto h = ws.nativeHandle(kMain, kArea);
  ASSERT_TRUE(h.ok());
  EXPECT_NE(*h, 0u);
  EXPECT_EQ(*ws.nativeHandle(kMain, kArea), *h);  // stable
  DrawingSurface* s = ws.surface(*h);
  ASSERT_NE(s, nullptr);
  EXPECT_FALSE(s->makeCurrent());
  int drawn = 0;
  s->setDrawHook([&] { ++drawn; });
  s->requestRedraw();
  s->swapBuffers();
  s->swapBuffers();
  EXPECT_EQ(drawn, 1);
  EXPECT_EQ(ws.redrawCount(kMain, kArea), 1);
  EXPECT_EQ(ws.swapCount(kMain, kArea), 2);

  auto listHandle = ws.nativeHandle(kMain, kList);
  ASSERT_TRUE(listHandle.ok());
  EXPECT_NE(*listHandle, *h);
  EXPECT_EQ(ws.surface(*listHandle), nullptr);
  EXPECT_EQ(ws.surface(0), nullptr);
  EXPECT_FALSE(ws.nativeHandle(kMain, kTimer).ok());
  EXPECT_FALSE(ws.nativeHandle(kMain, kOpenDialog).ok());
}

// The tool's start and layout handlers, written against the interface: they
// read and write properties from inside events, which delivers more events.
TEST_F(Headless, LayoutHandlersKeepTheLogWindowDocked) {
  bool viewReady = false;
  onEvent = [&](const Event& e) {
    if (e.window == kMain && e.number == event::kMoved && viewReady) {
      std::int32_t l = intProp(ws, kMain, kMainUnit, 0), t = intProp(ws, kMain, kMainUnit, 1);
      std::int32_t w = intProp(ws, kMain, kMainUnit, 2), h = intProp(ws, kMain, kMainUnit, 3);
      ASSERT_TRUE(ws.moveResize(kLog, kLogUnit, l, t + h, w, std::nullopt).ok());
      ASSERT_TRUE(ws.setProperty(kMain, kList, prop::kHeight, h - 80).ok());
    }
    if (e.window == kLog && e.number == event::kResized) {
      ASSERT_TRUE(ws.moveResize(kLog, kLogBox, 0, 0, *ws.clientWidth(kLog), *ws.clientHeight(kLog)).ok());
    }
  };
  ASSERT_TRUE(ws.createWindow(logWindowDef(), kMain).ok());
  ASSERT_TRUE(ws.setProperty(kLog, kLogUnit, prop::kVisible, 1).ok());
  // A move before the view is ready changes nothing.
  ASSERT_TRUE(ws.userMoveResize(kMain, {60, 50, 640, 480}).ok());
  EXPECT_EQ(intProp(ws, kMain, kList, prop::kHeight), 264);
  viewReady = true;
  ASSERT_TRUE(ws.setProperty(kMain, kMainUnit, prop::kVisible, 1).ok());
  EXPECT_EQ(intProp(ws, kMain, kList, prop::kHeight), 400);
  EXPECT_EQ(intProp(ws, kLog, kLogUnit, prop::kTop), 530);
  EXPECT_EQ(intProp(ws, kLog, kLogUnit, prop::kWidth), 640);
  EXPECT_EQ(intProp(ws, kLog, kLogUnit, prop::kHeight), 144);
  EXPECT_EQ(intProp(ws, kLog, kLogBox, prop::kWidth), 632);
  EXPECT_EQ(intProp(ws, kLog, kLogBox, prop::kHeight), 116);
  EXPECT_EQ(intProp(ws, kLog, kLogBox, prop::kLeft), 0);

  ASSERT_TRUE(ws.userMoveResize(kMain, {200, 100, 640, 480}).ok());
  EXPECT_EQ(intProp(ws, kLog, kLogUnit, prop::kLeft), 200);
  EXPECT_EQ(intProp(ws, kLog, kLogUnit, prop::kTop), 580);
}

}  // namespace
}  // namespace ql::window
