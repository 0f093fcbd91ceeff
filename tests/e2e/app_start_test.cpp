// The program's start, its window layout handlers and its end, run for real:
// the module image, kbase.qlr and the headless window system.
#include <algorithm>

#include "tests/e2e/app_fixture.h"

namespace ql::e2e {
namespace {

using window::Rect;
namespace prop = window::prop;

constexpr Rect kMainDesigned{50, 50, 640, 480};
constexpr int32_t kLogDesignedHeight = 144;
constexpr int32_t kListBottomMargin = 80;

class AppStart : public AppFixture {
 protected:
  void SetUp() override {
    AppFixture::SetUp();
    seedFinishedFirstStart();
  }
};

TEST_F(AppStart, OpensBothWindowsDockedAndEndsCleanly) {
  bool checked = false;
  step([&] {
    checked = true;
    EXPECT_EQ(windowTitle(ui::kMainWindowId), gbk("青岚三维工具 V0.24  by vrel"));
    EXPECT_EQ(rectOf(ui::kMainWindowId), kMainDesigned);
    EXPECT_EQ(intProperty(ui::kMainWindowId, 0, prop::kVisible), 1);

    EXPECT_EQ(windowTitle(ui::kLogWindowId), "");
    // Docked: its top edge on the main window's bottom edge, the same width.
    EXPECT_EQ(rectOf(ui::kLogWindowId),
              (Rect{kMainDesigned.left, kMainDesigned.top + kMainDesigned.height, kMainDesigned.width,
                    kLogDesignedHeight}));

    // 纹理模式 from the start, and the box shows it.
    EXPECT_EQ(intProperty(ui::kMainWindowId, ui::kComboBox1Id, prop::kComboIndex), 4);
    EXPECT_EQ(store().displayMode, 4);
    EXPECT_EQ(store().viewReady, 1);
    EXPECT_EQ(store().viewPitch, 0);
    EXPECT_EQ(store().modelLoaded, 0);
    // The first show runs the layout handlers: the list ends 80 above the
    // window's bottom edge, everything else stands as designed.
    EXPECT_EQ(rectOf(ui::kMainWindowId, ui::kListBox1Id), (Rect{0, 0, 104, kMainDesigned.height - kListBottomMargin}));
    EXPECT_EQ(rectOf(ui::kMainWindowId, ui::kComboBox1Id), (Rect{0, 416, 104, 20}));
    EXPECT_EQ(rectOf(ui::kMainWindowId, ui::kDrawingArea1Id), (Rect{112, 0, 504, 448}));
    EXPECT_EQ(rectOf(ui::kMainWindowId, ui::kScrollBar2Id), (Rect{616, 0, 16, 456}));
    EXPECT_EQ(logText(), "");
    // The seeded first start: the game folder comes from the memory file.
    auto text = [](const char* t) { return std::string(t ? t : ""); };
    EXPECT_EQ(utf8(text(store().gameFolder)), utf8(gameFolderText()));
    EXPECT_EQ(utf8(text(store().textureFolder)), utf8(programFolderText() + "\\lx_ptx_tmp"));
  });
  run();
  expectCleanEnd();
  EXPECT_TRUE(checked);
  EXPECT_TRUE(boxes().empty());
  EXPECT_TRUE(dialogs().empty());
  EXPECT_EQ(finalLog(), "");
  // The start leaves the first-start state as it found it.
  EXPECT_EQ(readBytes(memoryFile()), gameFolderText());
  EXPECT_TRUE(fs::is_directory(textureDir()));
}

struct MoveCase {
  const char* name;
  bool resizeFirst;  // a user resize (no move event) before the move
  int32_t width, height;
  int32_t left, top;
};

TEST_F(AppStart, MovingTheMainWindowRedocksTheLogAndSizesTheList) {
  // One after another in one run: each move re-reads the current geometry.
  const MoveCase cases[] = {
      {"designed size", false, 640, 480, 100, 70},
      {"wider and taller", true, 800, 600, 120, 90},
      {"to the origin", false, 800, 600, 0, 0},
      {"narrow and short", true, 300, 120, 33, 44},
  };
  for (const MoveCase& c : cases) {
    step([this, c] {
      SCOPED_TRACE(c.name);
      if (c.resizeFirst) {
        ASSERT_TRUE(resizeWindow(ui::kMainWindowId, c.width, c.height).ok());
      }
      ASSERT_TRUE(moveMainWindow(c.left, c.top).ok());
      EXPECT_EQ(rectOf(ui::kMainWindowId), (Rect{c.left, c.top, c.width, c.height}));
      const Rect log = rectOf(ui::kLogWindowId);
      EXPECT_EQ(log, (Rect{c.left, c.top + c.height, c.width, kLogDesignedHeight}));
      const Rect list = rectOf(ui::kMainWindowId, ui::kListBox1Id);
      EXPECT_EQ(list, (Rect{0, 0, 104, c.height - kListBottomMargin}));
    });
  }
  run();
  expectCleanEnd();
  EXPECT_TRUE(boxes().empty());
}

TEST_F(AppStart, ResizingTheMainWindowByAnyEdgeLaysItOutAndRedocksTheLog) {
  struct Case {
    const char* name;
    Rect to;  // the main window's new outer rectangle
  };
  // One after another in one run, as a user drags the edges.
  const Case cases[] = {
      {"bottom edge", {50, 50, 640, 600}},
      {"right edge", {50, 50, 900, 600}},
      {"left edge", {10, 50, 940, 600}},
      {"top edge", {10, 20, 940, 630}},
      {"top-left corner", {200, 150, 750, 500}},
      {"maximised", {0, 0, 1920, 1040}},
      {"short: the list has 10 pixels left", {0, 0, 400, 90}},
      {"shorter than the list's margin", {0, 0, 400, 50}},
      {"narrower than the list", {0, 0, 90, 300}},
      {"back to the design size", {50, 50, 640, 480}},
  };
  for (const Case& c : cases) {
    step([this, c] {
      SCOPED_TRACE(c.name);
      ASSERT_TRUE(windows().userMoveResize(ui::kMainWindowId, c.to).ok());
      EXPECT_EQ(rectOf(ui::kMainWindowId), c.to);
      EXPECT_EQ(rectOf(ui::kLogWindowId), (Rect{c.to.left, c.to.top + c.to.height, c.to.width, kLogDesignedHeight}))
          << "docked under the main window";
      const int32_t grownW = c.to.width - 640, grownH = c.to.height - 480;
      const int32_t listHeight = std::max(0, c.to.height - kListBottomMargin);
      EXPECT_EQ(rectOf(ui::kMainWindowId, ui::kListBox1Id), (Rect{0, 0, 104, listHeight}));
      const Rect combo = rectOf(ui::kMainWindowId, ui::kComboBox1Id);
      EXPECT_EQ(combo, (Rect{0, listHeight + 16, 104, 20})) << "below the list, never under it";
      const int32_t areaWidth = std::max(0, 504 + grownW);
      EXPECT_EQ(rectOf(ui::kMainWindowId, ui::kDrawingArea1Id), (Rect{112, 0, areaWidth, std::max(0, 448 + grownH)}));
      EXPECT_EQ(rectOf(ui::kMainWindowId, ui::kScrollBar2Id),
                (Rect{112 + areaWidth, 0, 16, std::max(0, 456 + grownH)}));
    });
  }
  run();
  expectCleanEnd();
  EXPECT_TRUE(boxes().empty());
}

TEST_F(AppStart, ResizingTheLogWindowFillsItWithTheLogBox) {
  const std::pair<int32_t, int32_t> sizes[] = {{500, 200}, {640, 144}, {900, 60}};
  for (auto [width, height] : sizes) {
    step([this, width, height] {
      SCOPED_TRACE(std::to_string(width) + "x" + std::to_string(height));
      ASSERT_TRUE(resizeWindow(ui::kLogWindowId, width, height).ok());
      auto cw = windows().clientWidth(ui::kLogWindowId);
      auto ch = windows().clientHeight(ui::kLogWindowId);
      ASSERT_TRUE(cw.ok() && ch.ok());
      EXPECT_LT(*cw, width);  // a frame is there: the box fills the client area, not the window
      EXPECT_EQ(rectOf(ui::kLogWindowId, ui::kTextBox1Id), (Rect{0, 0, *cw, *ch}));
      // Resizing the log window does not move the main window.
      EXPECT_EQ(rectOf(ui::kMainWindowId), kMainDesigned);
    });
  }
  run();
  expectCleanEnd();
}

TEST_F(AppStart, TimerTicksWithoutAModelDrawNothing) {
  step([this] {
    const int32_t delivered = windows().tickAll();
    EXPECT_GE(delivered, 1) << "时钟1 runs from the start";
    EXPECT_EQ(windows().swapCount(ui::kMainWindowId, ui::kDrawingArea1Id), 0);
    EXPECT_EQ(store().modelLoaded, 0);
  });
  run();
  expectCleanEnd();
}

TEST_F(AppStart, ClosingTheMainWindowEndsTheLoop) {
  bool afterClose = false;
  step([this] { ASSERT_TRUE(closeMainWindow().ok()); });
  step([&] { afterClose = true; });
  const auto& r = run();
  EXPECT_FALSE(afterClose) << "the loop went on after the main window closed";
  EXPECT_EQ(r.stage, kQlStageEnded) << r.describe();
  EXPECT_EQ(r.exitCode, 0);
  EXPECT_EQ(r.cleanupRuns, 1);
  EXPECT_EQ(r.liveBlocksAfter, r.liveBlocksBefore);
  EXPECT_TRUE(r.exception.empty()) << r.exception;
  EXPECT_EQ(r.stepsRun, 1u);
  EXPECT_FALSE(lastWindows().hasWindow(ui::kMainWindowId));
  EXPECT_FALSE(lastWindows().hasWindow(ui::kLogWindowId));
}

// ---- The fixture itself ---------------------------------------------------------

TEST_F(AppStart, OffscreenGlGivesTheDrawingAreaAContext) {
  if (!useOffscreenGl()) GTEST_SKIP() << "offscreen GL is not built in";
  step([this] {
    auto handle = windows().nativeHandle(ui::kMainWindowId, ui::kDrawingArea1Id);
    ASSERT_TRUE(handle.ok()) << handle.error().message;
    ASSERT_NE(windows().glTarget(ui::kMainWindowId, ui::kDrawingArea1Id), nullptr);
    window::DrawingSurface* surface = windows().surface(*handle);
    ASSERT_NE(surface, nullptr);
    EXPECT_TRUE(surface->makeCurrent());
  });
  run();
  expectCleanEnd();
}

TEST_F(AppStart, RunsAgainInTheSameProcess) {
  // The kernel patches the image when it loads it; each run starts from the
  // image as linked.
  for (int i = 0; i < 3; ++i) {
    SCOPED_TRACE(i);
    int32_t seen = -2;
    step([&] { seen = store().viewReady; });
    run();
    expectCleanEnd();
    EXPECT_EQ(seen, 1);
  }
}

}  // namespace
}  // namespace ql::e2e
