// The view's handlers and the triangle-list wrapper against a fake runtime:
// the commands they send with their argument records, and the drag
// arithmetic on the view variables.
#include <gtest/gtest.h>

#include <cmath>
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
    ui::onViewportUpdate(0, 0, 0);
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

TEST_F(View, FramePlacesTurnsDrawsAndSwaps) {
  vars.glDeviceContext = 0x71;
  vars.glRenderContext = 0x72;
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
    double offset;
  };
  for (const Case& c : {Case{50, 0.0}, Case{30, -20.0}, Case{1, -49.0}, Case{100, 50.0}}) {
    SCOPED_TRACE(c.scroll);
    rt.calls.clear();
    rt.propertyCalls.clear();
    rt.propertyValues = {uint32_t(c.scroll)};
    ui::drawFrame();
    ASSERT_EQ(rt.propertyCalls.size(), 1u);
    EXPECT_EQ(rt.propertyCalls[0].unit, ui::kScrollBar2.unit);
    EXPECT_EQ(rt.propertyCalls[0].property, kPropPosition);
    const auto calls = glCalls();
    ASSERT_EQ(glCodes(), (std::vector<int32_t>{0x0A8, 0x020, 0x0C0, 0x028, 0x02C, 0x02C, 0x800, 0x098}));
    EXPECT_EQ(intOf(calls[0].args.at(0)), 0x4100);
    EXPECT_EQ(dblOf(calls[2].args.at(0)), 1.0);  // red
    EXPECT_EQ(dblOf(calls[2].args.at(1)), 0.0);
    EXPECT_EQ(dblOf(calls[2].args.at(2)), 0.0);
    EXPECT_EQ(dblOf(calls[2].args.at(3)), 1.0);
    EXPECT_EQ(dblOf(calls[3].args.at(0)), 0.0);
    EXPECT_EQ(dblOf(calls[3].args.at(1)), c.offset);
    EXPECT_EQ(dblOf(calls[3].args.at(2)), -60.0);
    // Pitch about x first, then yaw about z, each committed plus pending.
    EXPECT_EQ(dblOf(calls[4].args.at(0)), 37.0);
    EXPECT_EQ(dblOf(calls[4].args.at(1)), 1.0);
    EXPECT_EQ(dblOf(calls[4].args.at(3)), 0.0);
    EXPECT_EQ(dblOf(calls[5].args.at(0)), 220.0);
    EXPECT_EQ(dblOf(calls[5].args.at(1)), 0.0);
    EXPECT_EQ(dblOf(calls[5].args.at(3)), 1.0);
    // The model: the store's tables, its count and mode, per-material
    // textures in replace mode.
    const auto& draw = calls[6].args;
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
    EXPECT_EQ(wide(calls[7].args.at(0)), 0x71u);
  }
  ql::cleanupGlobals();
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
