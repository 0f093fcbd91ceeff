// What a modder sees after choosing a model: the real program (module
// image, kbase.qlr, headless window system, 画板1 on offscreen GL) loads SKC
// files from the game folder's pmodel folder as the model list does, and the
// frames it presents are measured and compared with baseline pictures.
//
// Baselines (tests/view/baselines/NAME.png) hold frames of 画板1 at its
// design size. A frame matches its baseline when at most kBaselineShare of
// its pixels differ, a pixel differing when one of its channels is more than
// kBaselineTolerance apart: room for another Mesa's rounding at edges, none
// for a model that moved, turned or changed size. A frame that does not
// match, or has no baseline yet, fails the test and is written to
// render-output/NAME.png in the build folder, to look at and, when right,
// to copy over the baseline.
#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

#include "module/support/globals.h"
#include "runtime/window/offscreen.h"
#include "tests/e2e/app_fixture.h"
#include "tests/skc/skc_test_support.h"
#include "tools/picture/picture.h"

namespace ql::e2e {
namespace {

namespace event = window::event;
using picture::Picture;
using picture::Rgba;

constexpr int32_t kAreaWidth = 504;  // 画板1 as designed
constexpr int32_t kAreaHeight = 448;
constexpr int32_t kStartScroll = 30;
constexpr int kBaselineTolerance = 16;
constexpr double kBaselineShare = 0.005;

// ---- Models: figures of boxes, written as SKC files --------------------------------

struct Vertex {
  double x, y, z, u, v;
};
struct Triangle {
  int32_t material, a, b, c;
};
struct Mesh {
  std::vector<Vertex> vertices;
  std::vector<Triangle> triangles;

  // A box with its −y face (the side that faces the viewer) of material 1,
  // every other face of material 0; each face its own four vertices.
  void box(double x0, double y0, double z0, double x1, double y1, double z1) {
    const double xs[2] = {x0, x1}, ys[2] = {y0, y1}, zs[2] = {z0, z1};
    // Faces as (axis, side); corners in order around the face.
    for (int axis = 0; axis < 3; ++axis)
      for (int side = 0; side < 2; ++side) {
        const int first = int(vertices.size());
        const int a1 = (axis + 1) % 3, a2 = (axis + 2) % 3;
        const int corners[4][2] = {{0, 0}, {1, 0}, {1, 1}, {0, 1}};
        for (const auto& c : corners) {
          int pick[3];
          pick[axis] = side;
          pick[a1] = c[0];
          pick[a2] = c[1];
          vertices.push_back({xs[pick[0]], ys[pick[1]], zs[pick[2]], 0.2 + 0.6 * c[0], 0.2 + 0.6 * c[1]});
        }
        const int32_t material = (axis == 1 && side == 0) ? 1 : 0;
        triangles.push_back({material, first, first + 1, first + 2});
        triangles.push_back({material, first, first + 2, first + 3});
      }
  }
};

// A standing figure as the game's are: feet at z = 0, the head's top at 41,
// facing −y; legs, a body twice as wide as the head, a head. `scale` and
// `offset` place it elsewhere in the model's space.
Mesh figure(double scale = 1.0, Vertex offset = {0, 0, 0, 0, 0}) {
  Mesh m;
  m.box(-3.5, -2.5, 0, -0.5, 2.5, 19);   // left leg
  m.box(0.5, -2.5, 0, 3.5, 2.5, 19);     // right leg
  m.box(-6, -2.5, 19, 6, 2.5, 33);       // body
  m.box(-3, -2.5, 33.5, 3, 2.5, 41);     // head
  for (Vertex& v : m.vertices) {
    v.x = v.x * scale + offset.x;
    v.y = v.y * scale + offset.y;
    v.z = v.z * scale + offset.z;
  }
  return m;
}

std::string number(double v, const char* format) {
  char buf[64];
  std::snprintf(buf, sizeof buf, format, v);
  return buf;
}

// The SKC text of a mesh with the figure's two textures.
std::string skcOf(const Mesh& m) {
  std::vector<std::string> lines = skctest::headLines({"fig_back.tga", "fig_front.tga"});
  lines.push_back("  Vertices: " + std::to_string(m.vertices.size()));
  for (const Vertex& v : m.vertices)
    lines.push_back("    v " + number(v.x, "%.5f") + " " + number(v.y, "%.5f") + " " + number(v.z, "%.5f") + " vt " +
                    number(v.u, "%.3f") + " " + number(v.v, "%.3f") + " Bones 1 0 1.00000");
  lines.push_back("  Triangles: " + std::to_string(m.triangles.size()));
  for (const Triangle& t : m.triangles)
    lines.push_back("    f 3 " + std::to_string(t.material) + " " + std::to_string(t.a) + " " + std::to_string(t.b) +
                    " " + std::to_string(t.c));
  lines.push_back("}");
  return skctest::joinLines(lines);
}

// An uncompressed 32-bit TGA of one colour.
std::string plainTga(Rgba c) {
  std::string out(18, '\0');
  out[2] = 2;
  out[12] = 8;
  out[14] = 8;
  out[16] = 32;
  out[17] = 0x28;
  for (int i = 0; i < 64; ++i) out += {char(c.b), char(c.g), char(c.r), char(c.a)};
  return out;
}

constexpr Rgba kBack{30, 60, 220, 255};   // every side but the front: blue
constexpr Rgba kFront{40, 200, 70, 255};  // the side facing −y: green

bool near(Rgba p, Rgba want, int tolerance = 10) {
  return std::abs(p.r - want.r) <= tolerance && std::abs(p.g - want.g) <= tolerance &&
         std::abs(p.b - want.b) <= tolerance;
}
bool isWhite(Rgba p) { return p.r > 240 && p.g > 240 && p.b > 240; }

// ---- Measuring a frame ----------------------------------------------------------------

struct Box {
  int32_t left = -1, top = -1, right = -1, bottom = -1;  // inclusive; -1: nothing drawn
  bool empty() const { return left < 0; }
  double height() const { return bottom - top + 1; }
  double width() const { return right - left + 1; }
  double centreX() const { return (left + right + 1) / 2.0; }
  double centreY() const { return (top + bottom + 1) / 2.0; }
};

// The box around every pixel that is not the white background.
Box drawnBox(const Picture& p) {
  Box b;
  for (int32_t y = 0; y < p.height; ++y)
    for (int32_t x = 0; x < p.width; ++x) {
      if (isWhite(p.at(x, y))) continue;
      if (b.empty()) {
        b = {x, y, x, y};
        continue;
      }
      b.left = std::min(b.left, x);
      b.right = std::max(b.right, x);
      b.top = std::min(b.top, y);
      b.bottom = std::max(b.bottom, y);
    }
  return b;
}

// Drawn pixels of one row.
int32_t drawnInRow(const Picture& p, int32_t y) {
  int32_t n = 0;
  for (int32_t x = 0; x < p.width; ++x) n += isWhite(p.at(x, y)) ? 0 : 1;
  return n;
}

int64_t countNear(const Picture& p, Rgba want) {
  int64_t n = 0;
  for (int32_t y = 0; y < p.height; ++y)
    for (int32_t x = 0; x < p.width; ++x) n += near(p.at(x, y), want) ? 1 : 0;
  return n;
}

class ViewFraming : public AppFixture {
 protected:
  void SetUp() override {
    AppFixture::SetUp();
    ASSERT_TRUE(useOffscreenGl()) << "this build has no offscreen GL";
    seedFinishedFirstStart();
    writeBytes(textureDir() / "fig_back.tga", plainTga(kBack));
    writeBytes(textureDir() / "fig_front.tga", plainTga(kFront));
    // Every SKC load shows its triangle count ("k" and the count): OK.
    windows().setUnscriptedBoxAnswerer([](const HeadlessWindowSystem::MessageBoxShown&) { return 0; });
  }

  // Writes pmodel/NAME; models are listed by name, so "a…" comes first.
  void writeModel(const std::string& name, const Mesh& m) { writeBytes(gameDir() / "pmodel" / name, skcOf(m)); }

  window::OffscreenSurface* surface() {
    return dynamic_cast<window::OffscreenSurface*>(windows().glTarget(ui::kMainWindowId, ui::kDrawingArea1Id));
  }
  // One tick of 时钟1 and the frame it presented.
  Picture frame() {
    auto ticked = windows().tick(ui::kMainWindowId, ui::kTimer1Id);
    EXPECT_TRUE(ticked && *ticked) << "时钟1 did not tick";
    auto* s = surface();
    if (!s) {
      ADD_FAILURE() << "画板1 has no offscreen GL target";
      return {};
    }
    auto p = Picture::fromPixels(s->width(), s->height(), s->readPixels());
    EXPECT_TRUE(p.ok()) << (p.ok() ? "" : p.error().message);
    return p.ok() ? *p : Picture{};
  }
  void choose(int32_t index) { ASSERT_TRUE(chooseModel(index).ok()); }
  void mouse(int32_t number, int32_t x, int32_t y, int32_t keys = 0) {
    ASSERT_TRUE(windows().mouse(ui::kMainWindowId, ui::kDrawingArea1Id, number, x, y, keys).ok());
  }
  void wheel(int32_t notches) {
    mouse(event::kMouseWheel, 250, 200, window::keys::withWheel(0, notches * window::keys::kWheelNotch));
  }
  void drag(int32_t keys, int32_t x0, int32_t y0, int32_t x1, int32_t y1) {
    mouse(event::kMouseDown, x0, y0, keys);
    mouse(event::kMouseMove, x1, y1, keys);
    mouse(event::kMouseUp, x1, y1, 0);
  }
  int32_t scrollPosition() {
    return intProperty(ui::kMainWindowId, ui::kScrollBar2Id, window::prop::kScrollPosition);
  }
  void runToCleanEnd() {
    run();
    expectCleanEnd();
    for (const auto& b : boxes()) EXPECT_EQ(b.text.substr(0, 1), "k") << "only the loads' count boxes";
  }
};

// The frame against tests/view/baselines/NAME.png (see the top of the file).
void expectMatchesBaseline(const Picture& frame, const std::string& name) {
  const auto mismatch = picture::baselineMismatch(frame, fs::path(QL_VIEW_BASELINES) / (name + ".png"),
                                                  fs::path(QL_VIEW_RENDER_OUTPUT) / (name + ".png"),
                                                  kBaselineTolerance, kBaselineShare);
  EXPECT_FALSE(mismatch.has_value()) << name << ": " << mismatch.value_or("");
}

// Two frames the same but for edge rounding.
void expectSamePicture(const Picture& a, const Picture& b, const char* what) {
  const picture::Difference d = picture::compare(a, b, kBaselineTolerance);
  EXPECT_TRUE(d.sameSize && d.fraction() <= kBaselineShare)
      << what << ": " << d.differing << " of " << d.total << " pixels differ";
}

// ---- A model on screen at once ----------------------------------------------------------

TEST_F(ViewFraming, AChosenModelShowsWholeUprightTexturedAndCentredWithoutChoosingAMode) {
  writeModel("a_figure.skc", figure());
  step([&] {
    EXPECT_EQ(intProperty(ui::kMainWindowId, ui::kComboBox1Id, window::prop::kComboIndex), 4) << "纹理模式 shown";
    choose(0);
    EXPECT_EQ(store().displayMode, 4);
    const Picture p = frame();
    expectMatchesBaseline(p, "fresh_load");
    const Box b = drawnBox(p);
    ASSERT_FALSE(b.empty());
    // The front of the bounds fills four fifths of the height, centred.
    EXPECT_NEAR(b.height(), 0.8 * kAreaHeight, 3.0);
    EXPECT_NEAR(b.centreY(), kAreaHeight / 2.0, 2.0);
    EXPECT_NEAR(b.centreX(), kAreaWidth / 2.0, 2.0);
    // Upright: the head (half the body's width) at the top, the two legs at
    // the bottom with a gap between them.
    const int32_t headRow = b.top + int32_t(b.height() * 0.05), bodyRow = b.top + int32_t(b.height() * 0.3);
    EXPECT_NEAR(double(drawnInRow(p, headRow)) / drawnInRow(p, bodyRow), 0.5, 0.05);
    const int32_t legRow = b.bottom - int32_t(b.height() * 0.2);
    EXPECT_TRUE(isWhite(p.at(int32_t(b.centreX()), legRow))) << "the gap between the legs";
    EXPECT_FALSE(isWhite(p.at(int32_t(b.centreX()), bodyRow)));
    // Facing the viewer, in the textures' own colours.
    const int64_t front = countNear(p, kFront), back = countNear(p, kBack);
    EXPECT_GT(front, int64_t(b.width() * b.height() * 0.5));
    EXPECT_LT(back * 10, front) << "of the other sides only glimpses";
  });
  runToCleanEnd();
}

TEST_F(ViewFraming, ModelsOfAnySizeAndPlaceFrameAlike) {
  writeModel("a_figure.skc", figure());
  // A twentieth of the size (an OBJ in metres), far from the origin.
  writeModel("b_small_far.skc", figure(0.05, {300, -120, 55, 0, 0}));
  // Twenty times the size.
  writeModel("c_huge.skc", figure(20, {-5000, 0, 100, 0, 0}));
  step([&] {
    choose(0);
    const Picture first = frame();
    const double firstDistance = store().framingDistance;
    choose(1);
    const Picture small = frame();
    EXPECT_NEAR(store().framingDistance, firstDistance * 0.05, 1e-3 * firstDistance);
    expectSamePicture(small, first, "the small model far from the origin");
    choose(2);
    EXPECT_NEAR(store().framingDistance, firstDistance * 20, 1e-3 * firstDistance * 20);
    expectSamePicture(frame(), first, "the huge model");
  });
  runToCleanEnd();
}

TEST_F(ViewFraming, AModelWiderThanTheViewFillsItsWidth) {
  Mesh wide;
  wide.box(-60, -1, 0, 60, 1, 10);
  writeModel("wide.skc", wide);
  step([&] {
    choose(0);
    const Box b = drawnBox(frame());
    ASSERT_FALSE(b.empty());
    EXPECT_NEAR(b.width(), 0.8 * kAreaWidth, 3.0);
    EXPECT_NEAR(b.centreX(), kAreaWidth / 2.0, 2.0);
    EXPECT_NEAR(b.centreY(), kAreaHeight / 2.0, 2.0);
    EXPECT_LT(b.height(), 0.8 * kAreaHeight / 5);
  });
  runToCleanEnd();
}

TEST_F(ViewFraming, ALoadFramesAgainAndKeepsTheChosenMode) {
  writeModel("a_figure.skc", figure());
  writeModel("b_figure.skc", figure(2.0));
  step([&] {
    choose(0);
    const Picture fresh = frame();
    // The user picks a wireframe mode, turns, zooms, moves and scrolls.
    ASSERT_TRUE(windows().chooseComboEntry(ui::kMainWindowId, ui::kComboBox1Id, 2).ok());
    drag(window::keys::kLeftButton, 100, 100, 180, 130);
    drag(window::keys::kRightButton, 100, 100, 150, 120);
    wheel(2);
    ASSERT_TRUE(windows().scroll(ui::kMainWindowId, ui::kScrollBar2Id, 60).ok());
    choose(1);
    EXPECT_EQ(store().displayMode, 2) << "the mode the user chose";
    EXPECT_EQ(intProperty(ui::kMainWindowId, ui::kComboBox1Id, window::prop::kComboIndex), 2);
    EXPECT_EQ(store().viewYaw, 0);
    EXPECT_EQ(store().viewPitch, 0);
    EXPECT_EQ(store().panX, 0);
    EXPECT_EQ(store().panY, 0);
    EXPECT_EQ(store().viewDistance, store().framingDistance);
    EXPECT_EQ(scrollPosition(), kStartScroll);
    // Back in 纹理模式 it is the fresh picture (the figure twice the size frames alike).
    ASSERT_TRUE(windows().chooseComboEntry(ui::kMainWindowId, ui::kComboBox1Id, 4).ok());
    expectSamePicture(frame(), fresh, "the second load");
  });
  runToCleanEnd();
}

// ---- Zoom, pan, reset ---------------------------------------------------------------------

TEST_F(ViewFraming, TheWheelBringsTheModelNearerOrFartherByATenthANotch) {
  writeModel("a_figure.skc", figure());
  step([&] {
    choose(0);
    const Picture fresh = frame();
    const Box before = drawnBox(fresh);
    const double distance = store().viewDistance, front = distance - 2.5;  // the figure's front face
    wheel(1);  // away from the user: nearer
    EXPECT_NEAR(store().viewDistance, 0.9 * distance, 1e-9);
    const Picture nearer = frame();
    expectMatchesBaseline(nearer, "zoom_in");
    const Box after = drawnBox(nearer);
    EXPECT_NEAR(after.height() / before.height(), front / (0.9 * distance - 2.5), 0.01);
    EXPECT_NEAR(after.centreY(), kAreaHeight / 2.0, 2.0) << "toward the middle of the view";
    wheel(-1);
    expectSamePicture(frame(), fresh, "a notch back");

    // Far in, the model stops before it reaches the eye; far out, it stays in view.
    wheel(200);
    EXPECT_NEAR(store().viewDistance, 1.1 * store().viewRadius, 1e-9);
    EXPECT_FALSE(drawnBox(frame()).empty());
    wheel(-400);
    EXPECT_NEAR(store().viewDistance, 20 * store().framingDistance, 1e-9);
    const Box far = drawnBox(frame());
    ASSERT_FALSE(far.empty());
    EXPECT_NEAR(far.height(), before.height() * front / (20 * distance - 2.5), 2.0);
  });
  runToCleanEnd();
}

TEST_F(ViewFraming, RightOrMiddleDragsMoveTheModelWithTheMouse) {
  writeModel("a_figure.skc", figure());
  step([&] {
    choose(0);
    const Box before = drawnBox(frame());
    drag(window::keys::kRightButton, 200, 200, 260, 160);
    EXPECT_EQ(store().viewYaw, 0) << "a move does not turn";
    EXPECT_EQ(store().viewPitch, 0);
    const Picture moved = frame();
    expectMatchesBaseline(moved, "pan");
    // The centre's depth follows the mouse exactly; the front face, nearer
    // the eye, a little more.
    const double d = store().viewDistance, gain = d / (d - 2.5);
    const Box after = drawnBox(moved);
    EXPECT_NEAR(after.centreX() - before.centreX(), 60 * gain, 1.5);
    EXPECT_NEAR(after.centreY() - before.centreY(), -40 * gain, 1.5);
    EXPECT_NEAR(after.height(), before.height(), 1.0);

    // The middle button moves the same way; further moves add up.
    drag(window::keys::kMiddleButton, 300, 300, 240, 340);
    drag(window::keys::kRightButton, 10, 10, 10, 10);
    const Box back = drawnBox(frame());
    EXPECT_NEAR(back.centreX(), before.centreX(), 1.5);
    EXPECT_NEAR(back.centreY(), before.centreY(), 1.5);
  });
  runToCleanEnd();
}

TEST_F(ViewFraming, ADoubleClickOrHomeFramesTheModelAgain) {
  writeModel("a_figure.skc", figure());
  step([&] {
    choose(0);
    const Picture fresh = frame();
    struct Reset {
      const char* name;
      std::function<Status()> act;
    };
    const Reset resets[] = {
        {"double click",
         [&] { return windows().mouse(ui::kMainWindowId, ui::kDrawingArea1Id, event::kMouseDoubleClick, 50, 50,
                                      window::keys::kLeftButton); }},
        {"Home", [&] { return windows().key(ui::kMainWindowId, ui::kDrawingArea1Id, window::vk::kHome); }},
    };
    for (const Reset& r : resets) {
      SCOPED_TRACE(r.name);
      drag(window::keys::kLeftButton, 100, 100, 230, 170);
      drag(window::keys::kRightButton, 100, 100, 40, 150);
      wheel(3);
      ASSERT_TRUE(windows().scroll(ui::kMainWindowId, ui::kScrollBar2Id, 45).ok());
      const picture::Difference changed = picture::compare(frame(), fresh, kBaselineTolerance);
      EXPECT_GT(changed.fraction(), 0.1) << "the view did change";
      ASSERT_TRUE(r.act().ok());
      EXPECT_EQ(scrollPosition(), kStartScroll);
      const Picture again = frame();
      expectSamePicture(again, fresh, r.name);
      expectMatchesBaseline(again, "fresh_load");
    }
    // Other keys change nothing.
    wheel(2);
    const Picture zoomed = frame();
    ASSERT_TRUE(windows().key(ui::kMainWindowId, ui::kDrawingArea1Id, window::vk::kEnd).ok());
    expectSamePicture(frame(), zoomed, "End");
  });
  runToCleanEnd();
}

// ---- The view follows the window --------------------------------------------------------

TEST_F(ViewFraming, ALargerWindowGivesALargerUnstretchedView) {
  writeModel("a_figure.skc", figure());
  step([&] {
    choose(0);
    const Box designed = drawnBox(frame());
    struct Size {
      int32_t width, height;
    };
    for (const Size size : {Size{900, 700}, Size{1920, 1040}, Size{500, 640}, Size{640, 480}}) {
      SCOPED_TRACE(std::to_string(size.width) + "x" + std::to_string(size.height));
      ASSERT_TRUE(resizeWindow(ui::kMainWindowId, size.width, size.height).ok());
      const int32_t areaWidth = kAreaWidth + size.width - 640, areaHeight = kAreaHeight + size.height - 480;
      EXPECT_EQ(rectOf(ui::kMainWindowId, ui::kDrawingArea1Id), (window::Rect{112, 0, areaWidth, areaHeight}));
      ASSERT_NE(surface(), nullptr);
      EXPECT_EQ(surface()->width(), areaWidth);
      EXPECT_EQ(surface()->height(), areaHeight);
      EXPECT_EQ(store().viewportWidth, areaWidth);
      EXPECT_EQ(store().viewportHeight, areaHeight);
      const Picture p = frame();
      ASSERT_EQ(p.width, areaWidth);
      const Box b = drawnBox(p);
      ASSERT_FALSE(b.empty());
      // The same share of the height, in the middle, not stretched.
      EXPECT_NEAR(b.height() / areaHeight, designed.height() / kAreaHeight, 0.01);
      EXPECT_NEAR(b.width() / b.height(), designed.width() / designed.height(), 0.02);
      EXPECT_NEAR(b.centreX(), areaWidth / 2.0, 2.0);
      EXPECT_NEAR(b.centreY(), areaHeight / 2.0, 2.0);
    }
    expectMatchesBaseline(frame(), "fresh_load");
  });
  runToCleanEnd();
}

}  // namespace
}  // namespace ql::e2e
