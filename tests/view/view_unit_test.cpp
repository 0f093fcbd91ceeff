// The view's handlers and the triangle-list wrapper against a fake runtime:
// the commands they send with their argument records, and the drag
// arithmetic on the view variables.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <numbers>
#include <cstring>
#include <vector>

#include "fake_runtime.h"
#include "module/support/support.h"
#include "ui/units.h"
#include "ui/view.h"

namespace {

namespace abi = ql::abi;
namespace ui = ql::ui;

constexpr int32_t kRowOpenGl = 1;
constexpr int32_t kPropWidth = 2, kPropHeight = 3, kPropPosition = 12;
constexpr uint32_t kTagFloatArray = abi::kTagFloat + abi::kTagArrayFlag;

class View : public ::testing::Test {
 protected:
  void SetUp() override {
    ql::svc::setSlotTable(rt.slots());
    ql::setGlobals(&vars);
  }
  void TearDown() override {
    EXPECT_EQ(rt.liveBlocks(), 0u) << "blocks of the runtime's heap left alive";
    EXPECT_EQ(rt.badFrees, 0);
    ql::svc::setSlotTable(nullptr);
    ql::setGlobals(nullptr);
  }

  // The OpenGL commands sent so far, in order.
  std::vector<fake::Call> glCalls() const {
    std::vector<fake::Call> out;
    for (const auto& c : rt.calls)
      if (c.slot == 2 && c.row == kRowOpenGl) out.push_back(c);
    return out;
  }
  std::vector<int32_t> glCodes() const {
    std::vector<int32_t> out;
    for (const auto& c : glCalls()) out.push_back(c.code);
    return out;
  }
  static double dblOf(const fake::RecordedArg& a) {
    EXPECT_EQ(a.arg.tag, abi::kTagDouble);
    const uint64_t bits = uint64_t(a.arg.lo) | uint64_t(a.arg.hi) << 32;
    double v;
    std::memcpy(&v, &bits, 8);
    return v;
  }
  static float singleOf(const fake::RecordedArg& a) {
    EXPECT_EQ(a.arg.tag, abi::kTagFloat);
    float v;
    std::memcpy(&v, &a.arg.lo, 4);
    return v;
  }
  static int32_t intOf(const fake::RecordedArg& a) {
    EXPECT_EQ(a.arg.tag, abi::kTagInt);
    return int32_t(a.arg.lo);
  }
  static uint64_t wide(const fake::RecordedArg& a) { return uint64_t(a.arg.lo) | uint64_t(a.arg.hi) << 32; }

  fake::Runtime rt;
  ql::Globals vars{};
};

// ---- Drag arithmetic ------------------------------------------------------------------

TEST_F(View, DragDegreesTruncateTowardZero) {
  struct Case {
    int32_t from, to;
    double fullTurn;
    int32_t degrees;
  };
  const Case cases[] = {
      {100, 420, ui::kFullTurnDragX, 180},   // half the full-turn width
      {100, 99, ui::kFullTurnDragX, 0},      // −0.5625 toward zero, not −1
      {420, 100, ui::kFullTurnDragX, -180},
      {0, 10, ui::kFullTurnDragY, 7},        // 7.5
      {10, 0, ui::kFullTurnDragY, -7},       // −7.5
      {0, 640, ui::kFullTurnDragX, 360},     // no reduction modulo 360
      {0, 1280, ui::kFullTurnDragX, 720},
      {0, 356, ui::kFullTurnDragX, 200},     // 200.25
      {5, 5, ui::kFullTurnDragY, 0},
      {-30000, 30000, ui::kFullTurnDragX, 33750},  // far outside the area
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.from << " -> " << c.to);
    EXPECT_EQ(ui::dragDegrees(c.from, c.to, c.fullTurn), c.degrees);
  }
}

TEST_F(View, DragTurnsWhileTheButtonIsDownAndCommitsOnRelease) {
  vars.viewYaw = 10;
  vars.viewPitch = -3;
  ui::onMouseMove(500, 500, 0);  // no button down: nothing
  EXPECT_EQ(vars.dragYaw, 0);
  EXPECT_EQ(vars.dragPitch, 0);

  ui::onMouseDown(100, 40, 1);
  EXPECT_EQ(vars.dragging, 1);
  EXPECT_EQ(vars.dragStartX, 100);
  EXPECT_EQ(vars.dragStartY, 40);
  ui::onMouseMove(420, 50, 1);
  EXPECT_EQ(vars.dragYaw, 180);
  EXPECT_EQ(vars.dragPitch, 7);
  ui::onMouseMove(99, 40, 1);  // each move measures from the start point
  EXPECT_EQ(vars.dragYaw, 0);
  EXPECT_EQ(vars.dragPitch, 0);
  ui::onMouseMove(420, 50, 1);
  EXPECT_EQ(vars.viewYaw, 10) << "committed only on release";

  ui::onMouseUp(420, 50, 0);
  EXPECT_EQ(vars.dragging, 0);
  EXPECT_EQ(vars.viewYaw, 190);
  EXPECT_EQ(vars.viewPitch, 4);
  EXPECT_EQ(vars.dragYaw, 0);
  EXPECT_EQ(vars.dragPitch, 0);

  ui::onMouseMove(0, 0, 0);  // after release moves turn nothing
  EXPECT_EQ(vars.dragYaw, 0);
  ui::onMouseUp(0, 0, 0);  // a release without a drag changes nothing
  EXPECT_EQ(vars.viewYaw, 190);
  EXPECT_EQ(vars.viewPitch, 4);
  EXPECT_TRUE(rt.calls.empty()) << "the mouse handlers only change variables";
}

TEST_F(View, AnglesGrowWithoutReduction) {
  for (int drag = 0; drag < 2; ++drag) {
    ui::onMouseDown(0, 0, 0);
    ui::onMouseMove(356, 0, 0);
    ui::onMouseUp(356, 0, 0);
  }
  EXPECT_EQ(vars.viewYaw, 400);
  // Even far out the sum wraps as a 32-bit value instead of overflowing.
  vars.viewYaw = INT32_MAX;
  ui::onMouseDown(0, 0, 0);
  ui::onMouseMove(640, 0, 0);
  ui::onMouseUp(640, 0, 0);
  EXPECT_EQ(vars.viewYaw, INT32_MIN + 359);
}

// ---- Set-up, viewport, frame, release ------------------------------------------------

TEST_F(View, PixelFormatRequest) {
  const ql::gl::PixelFormatRequest r = ui::viewPixelFormat();
  EXPECT_EQ(r.nSize, 40);
  EXPECT_EQ(r.nVersion, 1);
  EXPECT_EQ(r.dwFlags, 0x25u);
  EXPECT_EQ(r.iPixelType, 0);
  EXPECT_EQ(r.cColorBits, 24);
  EXPECT_EQ(r.cDepthBits, 32);
  EXPECT_EQ(r.cStencilBits, 0);
  EXPECT_EQ(r.iLayerType, 0);
  // Every other field 0.
  ql::gl::PixelFormatRequest others = r;
  others.nSize = others.nVersion = 0;
  others.dwFlags = 0;
  others.cColorBits = others.cDepthBits = 0;
  const ql::gl::PixelFormatRequest zero{};
  EXPECT_EQ(std::memcmp(&others, &zero, sizeof zero), 0);
}

TEST_F(View, SetUpMakesTheContextCurrentThenSetsTheFixedState) {
  rt.results.push_back(fake::Runtime::intResult(0x71));  // GetDC
  rt.results.push_back(fake::Runtime::intResult(1));     // ChoosePixelFormat
  rt.results.push_back(fake::Runtime::intResult(1));     // SetPixelFormat
  rt.results.push_back(fake::Runtime::intResult(0x72));  // wglCreateContext
  ui::setUpView(0x4242);
  EXPECT_EQ(vars.glDeviceContext, 0x71);
  EXPECT_EQ(vars.glRenderContext, 0x72);

  const auto calls = glCalls();
  const std::vector<int32_t> expected = {0x014, 0x000, 0x004, 0x008, 0x00C, 0x0B0, 0x0E8,
                                         0x0B4, 0x0C8, 0x08C, 0x0C8, 0x1AC, 0x080};
  ASSERT_EQ(glCodes(), expected);
  EXPECT_EQ(wide(calls[0].args.at(0)), 0x4242u);
  EXPECT_EQ(wide(calls[1].args.at(0)), 0x71u);
  EXPECT_EQ(calls[1].args.at(1).arg.tag, abi::kTypePixelFormat);
  EXPECT_EQ(calls[2].args.at(2).arg.tag, abi::kTypePixelFormat);  // its content: PixelFormatRequest
  EXPECT_EQ(intOf(calls[2].args.at(1)), 1) << "the chosen format is set";
  EXPECT_EQ(wide(calls[3].args.at(0)), 0x71u);
  EXPECT_EQ(wide(calls[4].args.at(0)), 0x71u);
  EXPECT_EQ(wide(calls[4].args.at(1)), 0x72u);
  for (int k = 0; k < 4; ++k) EXPECT_EQ(singleOf(calls[5].args.at(k)), 1.0f);  // white
  EXPECT_EQ(intOf(calls[6].args.at(0)), 0x1D00);  // GL_FLAT
  EXPECT_EQ(dblOf(calls[7].args.at(0)), 1.0);
  EXPECT_EQ(intOf(calls[8].args.at(0)), 0x0B71);  // GL_DEPTH_TEST
  EXPECT_EQ(intOf(calls[9].args.at(0)), 0x0201);  // GL_LESS
  EXPECT_EQ(intOf(calls[10].args.at(0)), 0x0DE1);  // GL_TEXTURE_2D
  EXPECT_EQ(singleOf(calls[11].args.at(0)), 8.0f);
  EXPECT_EQ(intOf(calls[12].args.at(0)), 0x0C50);  // perspective correction
  EXPECT_EQ(intOf(calls[12].args.at(1)), 0x1102);  // GL_NICEST
}

TEST_F(View, ViewportFollowsTheDrawingAreaAndSkipsAZeroHeight) {
  struct Case {
    int32_t width, height;
    double aspect;
  };
  const Case cases[] = {{504, 448, 1.125}, {300, 450, 300.0 / 450.0}, {0, 10, 0.0}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.width);
    rt.calls.clear();
    rt.propertyCalls.clear();
    rt.propertyValues = {uint32_t(c.width), uint32_t(c.height)};
    ui::updateViewport();
    ASSERT_EQ(rt.propertyCalls.size(), 2u);
    EXPECT_EQ(rt.propertyCalls[0].unit, ui::kDrawingArea1.unit);
    EXPECT_EQ(rt.propertyCalls[0].property, kPropWidth);
    EXPECT_EQ(rt.propertyCalls[1].unit, ui::kDrawingArea1.unit);
    EXPECT_EQ(rt.propertyCalls[1].property, kPropHeight);
    const auto calls = glCalls();
    ASSERT_EQ(glCodes(), (std::vector<int32_t>{0x03C, 0x024, 0x020, 0x050, 0x024, 0x020}));
    EXPECT_EQ(intOf(calls[0].args.at(2)), c.width);
    EXPECT_EQ(intOf(calls[0].args.at(3)), c.height);
    EXPECT_EQ(intOf(calls[1].args.at(0)), 0x1701);  // projection
    EXPECT_EQ(dblOf(calls[3].args.at(0)), 45.0);
    EXPECT_EQ(dblOf(calls[3].args.at(1)), c.aspect);
    EXPECT_EQ(dblOf(calls[3].args.at(2)), 0.1);
    EXPECT_EQ(dblOf(calls[3].args.at(3)), 1000.0);
    EXPECT_EQ(intOf(calls[4].args.at(0)), 0x1700);  // model-view
  }
  rt.calls.clear();
  rt.propertyValues = {504, 0};
  ui::updateViewport();
  EXPECT_TRUE(glCalls().empty()) << "a zero height gives no aspect: nothing is changed";
}

TEST_F(View, FrameProjectsPlacesTurnsCentresDrawsAndSwaps) {
  vars.glDeviceContext = 0x71;
  vars.glRenderContext = 0x72;
  vars.viewportWidth = 504;
  vars.viewportHeight = 448;
  vars.viewFramed = 1;
  vars.viewCentreX = 1;
  vars.viewCentreY = 2;
  vars.viewCentreZ = 3;
  vars.viewRadius = 20;
  vars.viewDistance = 80;
  vars.scrollStep = 1.5;
  vars.panX = 2;
  vars.panY = -3;
  vars.dragPanX = 0.5;
  vars.dragPanY = 1;
  vars.viewPitch = 30;
  vars.dragPitch = 7;
  vars.viewYaw = 400;
  vars.dragYaw = -180;
  vars.displayMode = 3;
  vars.triangleCount = 12;
  ql::store::vertexTable().dimension(4, 5);
  ql::store::triangleTable().dimension(12, 4);
  ql::store::textureIds().dimension(2);
  struct Case {
    int32_t scroll;
    double offset;  // scroll steps from the start position 30, times the step
  };
  for (const Case& c : {Case{30, 0.0}, Case{50, 30.0}, Case{1, -43.5}, Case{100, 105.0}}) {
    SCOPED_TRACE(c.scroll);
    rt.calls.clear();
    rt.propertyCalls.clear();
    rt.propertyValues = {uint32_t(c.scroll)};
    ui::drawFrame();
    ASSERT_EQ(rt.propertyCalls.size(), 1u);
    EXPECT_EQ(rt.propertyCalls[0].unit, ui::kScrollBar2.unit);
    EXPECT_EQ(rt.propertyCalls[0].property, kPropPosition);
    const auto calls = glCalls();
    ASSERT_EQ(glCodes(), (std::vector<int32_t>{0x0A8, 0x024, 0x020, 0x050, 0x024, 0x020, 0x0C0, 0x028, 0x02C,
                                                0x02C, 0x028, 0x800, 0x098}));
    EXPECT_EQ(intOf(calls[0].args.at(0)), 0x4100);
    // The clipping planes hug the model's sphere: distance ∓ 1.05 radii.
    EXPECT_EQ(dblOf(calls[3].args.at(0)), 45.0);
    EXPECT_EQ(dblOf(calls[3].args.at(1)), 1.125);
    EXPECT_DOUBLE_EQ(dblOf(calls[3].args.at(2)), 59.0);
    EXPECT_DOUBLE_EQ(dblOf(calls[3].args.at(3)), 101.0);
    EXPECT_EQ(intOf(calls[4].args.at(0)), 0x1700);
    EXPECT_EQ(dblOf(calls[6].args.at(0)), 1.0);  // red
    EXPECT_EQ(dblOf(calls[6].args.at(1)), 0.0);
    EXPECT_EQ(dblOf(calls[6].args.at(2)), 0.0);
    EXPECT_EQ(dblOf(calls[6].args.at(3)), 1.0);
    // Moved (committed and pending pan, the scroll bar) and pushed away.
    EXPECT_DOUBLE_EQ(dblOf(calls[7].args.at(0)), 2.5);
    EXPECT_DOUBLE_EQ(dblOf(calls[7].args.at(1)), -2.0 + c.offset);
    EXPECT_DOUBLE_EQ(dblOf(calls[7].args.at(2)), -80.0);
    // Stood up and pitched about x first, then yaw about z, each committed
    // plus pending.
    EXPECT_EQ(dblOf(calls[8].args.at(0)), -90.0 + 37.0);
    EXPECT_EQ(dblOf(calls[8].args.at(1)), 1.0);
    EXPECT_EQ(dblOf(calls[8].args.at(3)), 0.0);
    EXPECT_EQ(dblOf(calls[9].args.at(0)), 220.0);
    EXPECT_EQ(dblOf(calls[9].args.at(1)), 0.0);
    EXPECT_EQ(dblOf(calls[9].args.at(3)), 1.0);
    // Turned about the bounds' centre.
    EXPECT_EQ(dblOf(calls[10].args.at(0)), -1.0);
    EXPECT_EQ(dblOf(calls[10].args.at(1)), -2.0);
    EXPECT_EQ(dblOf(calls[10].args.at(2)), -3.0);
    // The model: the store's tables, its count and mode, per-material
    // textures in replace mode.
    const auto& draw = calls[11].args;
    ASSERT_EQ(draw.size(), 6u);
    EXPECT_EQ(draw[0].arg.tag, kTagFloatArray);
    EXPECT_EQ(wide(draw[0]), reinterpret_cast<uintptr_t>(vars.vertexTable));
    EXPECT_EQ(draw[1].arg.tag, abi::kTagIntArray);
    EXPECT_EQ(wide(draw[1]), reinterpret_cast<uintptr_t>(vars.triangleTable));
    EXPECT_EQ(intOf(draw[2]), 12);
    EXPECT_EQ(intOf(draw[3]), 3);
    EXPECT_EQ(draw[4].arg.tag, abi::kTagIntArray);
    EXPECT_EQ(wide(draw[4]), reinterpret_cast<uintptr_t>(vars.textureIds));
    EXPECT_EQ(intOf(draw[5]), 0x1E01);  // GL_REPLACE
    EXPECT_EQ(wide(calls[12].args.at(0)), 0x71u);
  }
  ql::cleanupGlobals();
}

// ---- Framing ---------------------------------------------------------------------------

// Puts vertices (x, y, z) and triangles (three vertex numbers from 0) into
// the store, triangleCount as given.
void putModel(const std::vector<std::array<float, 3>>& vertices, const std::vector<std::array<int32_t, 3>>& triangles,
              int32_t triangleCount) {
  ql::store::vertexTable().dimension(int32_t(std::max<size_t>(1, vertices.size())), 5);
  for (size_t i = 0; i < vertices.size(); ++i)
    for (int32_t col = 1; col <= 3; ++col) ql::store::vertexTable().at(int32_t(i) + 1, col) = vertices[i][col - 1];
  ql::store::triangleTable().dimension(int32_t(std::max<size_t>(1, triangles.size())), 4);
  for (size_t i = 0; i < triangles.size(); ++i)
    for (int32_t col = 2; col <= 4; ++col) ql::store::triangleTable().at(int32_t(i) + 1, col) = triangles[i][col - 2];
  ql::globals().triangleCount = triangleCount;
}

TEST_F(View, BoundsTakeOnlyTheVerticesTheDrawnTrianglesName) {
  const float inf = INFINITY, nan = NAN;
  putModel({{-1, -2, 0}, {3, 4, 41}, {100, 100, 100}, {inf, 0, 0}, {0, nan, 0}, {-5, 0, 7}, {-90, -90, -90}},
           {{0, 1, 5},
            {6, 2, 7},         // one past the last vertex: the triangle is not drawn
            {-1, 6, 2},        // negative
            {6, 2000000, 2},   // far outside
            {3, 4, 0},         // coordinates that are not finite: those vertices alone are left out
            {2, 2, 2}},        // beyond triangleCount: not drawn, not counted
           5);
  const ui::ModelBounds b = ui::modelBounds();
  ASSERT_FALSE(b.empty);
  EXPECT_EQ(b.min[0], -5);
  EXPECT_EQ(b.min[1], -2);
  EXPECT_EQ(b.min[2], 0);
  EXPECT_EQ(b.max[0], 3);
  EXPECT_EQ(b.max[1], 4);
  EXPECT_EQ(b.max[2], 41);

  // No triangle, a count beyond the table, the start-up shapes.
  putModel({{1, 1, 1}}, {}, 0);
  EXPECT_TRUE(ui::modelBounds().empty);
  putModel({{1, 2, 3}}, {{0, 0, 0}}, 50);
  EXPECT_FALSE(ui::modelBounds().empty);
  EXPECT_EQ(ui::modelBounds().max[2], 3);
  ql::cleanupGlobals();
  ql::initGlobals();
  vars.triangleCount = 3;
  EXPECT_TRUE(ui::modelBounds().empty);
  ql::cleanupGlobals();
}

TEST_F(View, FramingFillsFourFifthsOfTheHeightWhateverTheSize) {
  const double f = 1.0 / std::tan(22.5 * std::numbers::pi / 180.0);
  struct Case {
    const char* name;
    ui::ModelBounds bounds;
    double aspect;
    double centre[3];
    double distance;
  };
  auto box = [](double x0, double y0, double z0, double x1, double y1, double z1) {
    return ui::ModelBounds{false, {x0, y0, z0}, {x1, y1, z1}};
  };
  const Case cases[] = {
      // A game character: 41 high, narrow; its front face fills 0.8 of the height.
      {"character", box(-7, -3.4, 0, 7, 3.5, 41), 1.125, {0, 0.05, 20.5}, 3.45 + 20.5 * f / 0.8},
      // The same shape in metres: the same picture at a 20th of the distance.
      {"in metres", box(-0.35, -0.17, 0, 0.35, 0.175, 2.05), 1.125, {0, 0.0025, 1.025},
       0.1725 + 1.025 * f / 0.8},
      // Wider than the view: its width fills 0.8 of the view's width instead.
      {"wide", box(-40, -1, -5, 40, 1, 5), 1.125, {0, 0, 0}, 1 + 40 * f / (0.8 * 1.125)},
      {"wide in a tall view", box(-40, -1, -5, 40, 1, 5), 0.5, {0, 0, 0}, 1 + 40 * f / 0.4},
      // Only depth: never nearer than 1.1 radii.
      {"needle into the view", box(0, -10, 0, 0, 10, 0), 1.125, {0, 0, 0}, 11.0},
      // A point and nothing at all: a radius of 1.
      {"point", box(5, 6, 7, 5, 6, 7), 1.125, {5, 6, 7}, 1.1},
      {"empty", ui::ModelBounds{}, 1.125, {0, 0, 0}, 1.1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const ui::Framing fr = ui::framingFor(c.bounds, c.aspect);
    for (int k = 0; k < 3; ++k) EXPECT_NEAR(fr.centre[k], c.centre[k], 1e-9) << k;
    EXPECT_NEAR(fr.distance, c.distance, 1e-9 * c.distance);
    EXPECT_GE(fr.distance, 1.1 * fr.radius - 1e-12);
    // 50 steps of the scroll bar: the view's height at that distance.
    EXPECT_NEAR(fr.scrollStep * 50, 2 * fr.distance / f, 1e-9 * fr.distance);
  }
  EXPECT_NEAR(ui::framingFor(box(-1, -2, -2, 1, 2, 2), 1.0).radius, 3.0, 1e-12);
}

TEST_F(View, FramingAndResetReturnToTheStartOfAFreshLoad) {
  putModel({{-7, -3, 0}, {7, 3, 41}}, {{0, 1, 1}}, 1);
  vars.viewportWidth = 504;
  vars.viewportHeight = 448;
  vars.viewYaw = 95;
  vars.viewPitch = -12;
  vars.dragging = 1;
  vars.dragYaw = 3;
  vars.panX = 4;
  vars.dragPanY = 2;
  vars.viewDistance = 7;
  ui::frameModel();
  const ui::Framing expected = ui::framingFor(ui::modelBounds(), 1.125);
  EXPECT_EQ(vars.viewFramed, 1);
  EXPECT_EQ(vars.viewCentreZ, 20.5);
  EXPECT_EQ(vars.framingDistance, expected.distance);
  EXPECT_EQ(vars.viewDistance, expected.distance);
  EXPECT_EQ(vars.scrollStep, expected.scrollStep);
  auto expectFresh = [&] {
    EXPECT_EQ(vars.viewYaw, 0);
    EXPECT_EQ(vars.viewPitch, 0);
    EXPECT_EQ(vars.dragYaw, 0);
    EXPECT_EQ(vars.dragging, 0);
    EXPECT_EQ(vars.panX, 0);
    EXPECT_EQ(vars.dragPanY, 0);
    EXPECT_EQ(vars.viewDistance, vars.framingDistance);
    // The scroll bar back at its start position.
    ASSERT_FALSE(rt.propertyCalls.empty());
    const auto& w = rt.propertyCalls.back();
    EXPECT_TRUE(w.write);
    EXPECT_EQ(w.unit, ui::kScrollBar2.unit);
    EXPECT_EQ(w.property, kPropPosition);
    EXPECT_EQ(w.value, 30u);
  };
  expectFresh();

  // A double click and Home return there; other keys do nothing.
  struct Reset {
    const char* name;
    intptr_t (*handler)(intptr_t, intptr_t, intptr_t);
    intptr_t first;
    bool resets;
  };
  const Reset resets[] = {{"double click", ui::onMouseDoubleClick, 10, true},
                          {"Home", ui::onKeyDown, 0x24, true},
                          {"End", ui::onKeyDown, 0x23, false},
                          {"A", ui::onKeyDown, 'A', false}};
  for (const Reset& r : resets) {
    SCOPED_TRACE(r.name);
    rt.propertyCalls.clear();
    vars.viewYaw = 40;
    vars.panY = -1;
    vars.viewDistance = vars.framingDistance / 2;
    r.handler(r.first, 20, 0);
    if (r.resets) {
      expectFresh();
    } else {
      EXPECT_EQ(vars.viewYaw, 40);
      EXPECT_EQ(vars.panY, -1);
      EXPECT_TRUE(rt.propertyCalls.empty());
    }
  }
  ql::cleanupGlobals();
}

TEST_F(View, TheWheelZoomsByATenthANotchWithinBounds) {
  vars.viewFramed = 1;
  vars.viewRadius = 10;
  vars.framingDistance = 60;
  struct Case {
    const char* name;
    double from;
    int32_t delta;
    double to;
  };
  const Case cases[] = {
      {"one notch away from the user: nearer", 60, 120, 54},
      {"one notch toward the user: farther", 54, -120, 60},
      {"three notches at once", 60, 360, 60 * 0.729},
      {"half a notch", 60, 60, 60 * std::sqrt(0.9)},
      {"never nearer than 1.1 radii", 12, 1200, 11},
      {"never farther than 20 framings", 1100, -1200, 1200},
      {"no turn", 33, 0, 33},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    vars.viewDistance = c.from;
    ui::onMouseWheel(200, 100, int32_t(uint32_t(uint16_t(int16_t(c.delta))) << 16 | 0x01));
    EXPECT_NEAR(vars.viewDistance, c.to, 1e-9);
  }
  // Before any model is framed the wheel changes nothing.
  vars.viewFramed = 0;
  vars.viewDistance = 0;
  ui::zoomView(120);
  EXPECT_EQ(vars.viewDistance, 0);
  EXPECT_TRUE(rt.calls.empty()) << "the wheel only changes variables";
}

TEST_F(View, RightOrMiddleDragsMoveTheModelWithTheMouse) {
  vars.viewFramed = 1;
  vars.viewDistance = 60;
  vars.viewportHeight = 448;
  vars.viewYaw = 5;
  // At 60 units the view is 2 × 60 × tan 22.5° high: that many units per 448 pixels.
  const double unitsPerPixel = 2 * 60 * std::tan(22.5 * std::numbers::pi / 180.0) / 448;
  struct Case {
    const char* name;
    int32_t keys;
    bool pans;
  };
  const Case cases[] = {{"right", 0x02, true},  {"middle", 0x10, true}, {"right with shift", 0x06, true},
                        {"left", 0x01, false},  {"left and right", 0x03, false},
                        {"no button named", 0, false}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    vars.panX = 1;
    vars.panY = 2;
    ui::onMouseDown(100, 100, c.keys);
    ui::onMouseMove(150, 80, c.keys);
    if (c.pans) {
      EXPECT_NEAR(vars.dragPanX, 50 * unitsPerPixel, 1e-12);
      EXPECT_NEAR(vars.dragPanY, 20 * unitsPerPixel, 1e-12) << "up the screen";
      EXPECT_EQ(vars.dragYaw, 0) << "a move does not turn";
    } else {
      EXPECT_EQ(vars.dragPanX, 0);
      EXPECT_EQ(vars.dragYaw, 28);  // 50 / 640 × 360 = 28.125
    }
    ui::onMouseUp(150, 80, 0);
    EXPECT_EQ(vars.dragging, 0);
    EXPECT_EQ(vars.dragPanX, 0);
    EXPECT_NEAR(vars.panX, c.pans ? 1 + 50 * unitsPerPixel : 1, 1e-12);
    EXPECT_NEAR(vars.panY, c.pans ? 2 + 20 * unitsPerPixel : 2, 1e-12);
    vars.viewYaw = 5;
  }
}

TEST_F(View, ASecondPressDuringADragEndsTheFirstWhereItIs) {
  ui::onMouseDown(0, 0, 0x01);
  ui::onMouseMove(320, 0, 0x01);  // half a turn pending
  ui::onMouseDown(320, 0, 0x03);  // the right button joins: the turn is kept
  EXPECT_EQ(vars.viewYaw, 180);
  EXPECT_EQ(vars.dragging, 1);
  ui::onMouseMove(330, 0, 0x03);
  ui::onMouseUp(330, 0, 0x02);
  EXPECT_EQ(vars.viewYaw, 185);
  EXPECT_EQ(vars.dragging, 0);
}

TEST_F(View, ReleaseGivesTheContextUpAndNoFrameFollows) {
  vars.viewWindowHandle = 0x4242;
  vars.glDeviceContext = 0x71;
  vars.glRenderContext = 0x72;
  vars.viewReady = 1;
  vars.modelLoaded = 1;
  ui::onViewRelease(0, 0, 0);
  const auto calls = glCalls();
  ASSERT_EQ(glCodes(), (std::vector<int32_t>{0x00C, 0x010, 0x01C}));
  EXPECT_EQ(wide(calls[0].args.at(0)), 0u);
  EXPECT_EQ(wide(calls[0].args.at(1)), 0u);
  EXPECT_EQ(wide(calls[1].args.at(0)), 0x72u);
  EXPECT_EQ(wide(calls[2].args.at(0)), 0x4242u);
  EXPECT_EQ(wide(calls[2].args.at(1)), 0x71u);
  EXPECT_EQ(vars.viewReady, 0);

  rt.calls.clear();
  ui::drawFrame();
  EXPECT_TRUE(rt.calls.empty()) << "a frame after the release";
  EXPECT_TRUE(rt.propertyCalls.empty());
}

// ---- The triangle-list wrapper -------------------------------------------------------

TEST_F(View, TriangleListWrapperPassesTheTablesAndOptionalArguments) {
  ql::FloatTable vertices;
  vertices.dimension(3, 5);
  ql::Array<int32_t> triangles;
  triangles.dimension(2, 4);
  ql::IntList ids;
  ids.dimension(2);
  ql::IntList absent;  // a list variable that holds no block

  struct Case {
    const char* name;
    const ql::ArrayVar<int32_t>* ids;
    int32_t env;
    bool idsGiven;
    bool idsEmptyList;
  };
  const Case cases[] = {
      {"no textures, environment left alone", nullptr, 0, false, false},
      {"textures in replace mode", &ids, 0x1E01, true, false},
      {"a texture list without a block travels as an empty list", &absent, 0x2100, true, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    rt.calls.clear();
    rt.results.push_back(fake::Runtime::intResult(2));
    EXPECT_EQ(ql::gl::drawTriangleList(vertices, triangles, 9, 4, c.ids, c.env), 2);
    ASSERT_EQ(rt.calls.size(), 1u);
    const auto& call = rt.calls[0];
    EXPECT_EQ(call.slot, 2);
    EXPECT_EQ(call.row, kRowOpenGl);
    EXPECT_EQ(call.code, 0x800);
    ASSERT_EQ(call.args.size(), 6u);
    EXPECT_EQ(call.args[0].arg.tag, kTagFloatArray);
    EXPECT_EQ(wide(call.args[0]), reinterpret_cast<uintptr_t>(vertices.block()));
    EXPECT_EQ(call.args[1].arg.tag, abi::kTagIntArray);
    EXPECT_EQ(wide(call.args[1]), reinterpret_cast<uintptr_t>(triangles.block()));
    EXPECT_EQ(intOf(call.args[2]), 9);
    EXPECT_EQ(intOf(call.args[3]), 4);
    if (!c.idsGiven) {
      EXPECT_EQ(call.args[4].arg.tag, abi::kTagOmitted);
    } else {
      EXPECT_EQ(call.args[4].arg.tag, abi::kTagIntArray);
      const auto* block = reinterpret_cast<const uint32_t*>(wide(call.args[4]));
      ASSERT_NE(block, nullptr);
      if (c.idsEmptyList) {
        EXPECT_EQ(block[0], 1u);
        EXPECT_EQ(block[1], 0u);
      } else {
        EXPECT_EQ(block, ids.block());
      }
    }
    if (c.env == 0) {
      EXPECT_EQ(call.args[5].arg.tag, abi::kTagOmitted);
    } else {
      EXPECT_EQ(intOf(call.args[5]), c.env);
    }
  }

  // Without either table nothing is sent.
  rt.calls.clear();
  ql::FloatTable noVertices;
  EXPECT_EQ(ql::gl::drawTriangleList(noVertices, triangles, 2, 4), 0);
  ql::Array<int32_t> noTriangles;
  EXPECT_EQ(ql::gl::drawTriangleList(vertices, noTriangles, 2, 4), 0);
  EXPECT_TRUE(rt.calls.empty());
}

}  // namespace
