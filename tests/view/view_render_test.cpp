// The OpenGL view run for real: the module image and kbase.qlr on the
// headless window system, 画板1 rendering into offscreen GL. Models are put
// into the store inside loop steps (and framed as a load frames them);
// frames come from ticks of 时钟1 and mouse events on 画板1, and the pixels
// they present are read back. Models drawn flat lie in the model's x-z
// plane, which faces the viewer once the view stands the model up.
#include <array>
#include <cmath>
#include <cstdint>
#include <string>
#include <vector>

#include "module/support/globals.h"
#include "game/textures.h"
#include "runtime/window/offscreen.h"
#include "tests/e2e/app_fixture.h"
#include "ui/view.h"

namespace ql::e2e {
namespace {

namespace event = window::event;

constexpr int32_t kAreaWidth = 504;  // 画板1 as designed
constexpr int32_t kAreaHeight = 448;
constexpr int32_t kStartScroll = 30;

// ---- Models -------------------------------------------------------------------------

struct Vertex {
  float x, y, z, u, v;
};
struct Triangle {
  int32_t material;
  int32_t a, b, c;  // vertex numbers from 0
};
struct Model {
  std::vector<Vertex> vertices;
  std::vector<Triangle> triangles;
};

// Puts the model into the store as a load would leave it (textureIds of
// `materials` zero entries), marks it loaded and frames it.
void putIntoStore(const Model& m, int32_t materials = 1) {
  Globals& g = globals();
  store::vertexTable().dimension(int32_t(m.vertices.size()), 5);
  for (size_t i = 0; i < m.vertices.size(); ++i) {
    const Vertex& v = m.vertices[i];
    const int32_t row = int32_t(i) + 1;
    const float values[5] = {v.x, v.y, v.z, v.u, v.v};
    for (int32_t col = 1; col <= 5; ++col) store::vertexTable().at(row, col) = values[col - 1];
  }
  store::triangleTable().dimension(std::max<int32_t>(1, int32_t(m.triangles.size())), 4);
  for (size_t i = 0; i < m.triangles.size(); ++i) {
    const Triangle& t = m.triangles[i];
    const int32_t row = int32_t(i) + 1;
    const int32_t values[4] = {t.material, t.a, t.b, t.c};
    for (int32_t col = 1; col <= 4; ++col) store::triangleTable().at(row, col) = values[col - 1];
  }
  store::textureIds().dimension(std::max(1, materials));
  g.vertexCount = int32_t(m.vertices.size());
  g.triangleCount = int32_t(m.triangles.size());
  g.modelLoaded = 1;
  ui::frameModel();
}

// A vertex of a flat model: `across` the screen, `up` it.
Vertex flat(float across, float up, float u = 0, float v = 0) { return {across, 0, up, u, v}; }

// One triangle: A (−10, −10), B (10, −10), C (0, 10) across and up. Its u
// runs with x (0.5 + 0.04 x), away from the texture's edges, where repeat
// and linear filtering would mix in the opposite edge.
Model oneTriangle() {
  return Model{{flat(-10, -10, 0.1f, 0.1f), flat(10, -10, 0.9f, 0.1f), flat(0, 10, 0.5f, 0.9f)}, {{0, 0, 1, 2}}};
}

// ---- Pixels -----------------------------------------------------------------------------

struct Rgba {
  uint8_t r, g, b, a;
};
bool isRed(Rgba p) { return p.r > 200 && p.g < 60 && p.b < 60; }
bool isWhite(Rgba p) { return p.r > 240 && p.g > 240 && p.b > 240; }
bool near(Rgba p, Rgba want, int tolerance = 8) {
  return std::abs(p.r - want.r) <= tolerance && std::abs(p.g - want.g) <= tolerance &&
         std::abs(p.b - want.b) <= tolerance;
}

struct Point {
  int32_t x, y;  // pixels of 画板1, rows from the top
};

// Where a point of the model lands in 画板1 with the view as it stands
// (turns, move, distance, scroll bar at `scroll`): the view's transformation
// and projection worked out by hand.
Point project(const Globals& g, int32_t scroll, double x, double y, double z) {
  const double rad = M_PI / 180.0;
  x -= g.viewCentreX, y -= g.viewCentreY, z -= g.viewCentreZ;
  const double yaw = (g.viewYaw + g.dragYaw) * rad, pitch = (g.viewPitch + g.dragPitch - 90.0) * rad;
  const double x1 = x * std::cos(yaw) - y * std::sin(yaw), y1 = x * std::sin(yaw) + y * std::cos(yaw), z1 = z;
  const double y2 = y1 * std::cos(pitch) - z1 * std::sin(pitch), z2 = y1 * std::sin(pitch) + z1 * std::cos(pitch);
  const double ex = x1 + g.panX + g.dragPanX;
  const double ey = y2 + g.panY + g.dragPanY + (scroll - kStartScroll) * g.scrollStep;
  const double depth = g.viewDistance - z2;
  const double f = 1.0 / std::tan(22.5 * rad);
  const double width = g.viewportWidth, height = g.viewportHeight;
  const double ndcX = f / (width / height) * ex / depth, ndcY = f * ey / depth;
  return {int32_t(std::floor((ndcX + 1) / 2 * width)), int32_t(std::floor(height - (ndcY + 1) / 2 * height))};
}

class Screen {
 public:
  Screen() = default;
  explicit Screen(std::vector<uint8_t> pixels) : px_(std::move(pixels)) {}
  bool valid() const { return px_.size() == size_t(kAreaWidth) * kAreaHeight * 4; }
  Rgba at(Point p) const {
    if (p.x < 0 || p.y < 0 || p.x >= kAreaWidth || p.y >= kAreaHeight) return {0, 0, 0, 0};
    const size_t i = (size_t(p.y) * kAreaWidth + size_t(p.x)) * 4;
    return {px_[i], px_[i + 1], px_[i + 2], px_[i + 3]};
  }
  // Any red pixel within `radius` of p.
  bool redNear(Point p, int radius = 1) const {
    for (int dy = -radius; dy <= radius; ++dy)
      for (int dx = -radius; dx <= radius; ++dx)
        if (isRed(at({p.x + dx, p.y + dy}))) return true;
    return false;
  }
  int32_t count(bool (*pred)(Rgba)) const {
    int32_t n = 0;
    for (int32_t y = 0; y < kAreaHeight; ++y)
      for (int32_t x = 0; x < kAreaWidth; ++x) n += pred(at({x, y})) ? 1 : 0;
    return n;
  }

 private:
  std::vector<uint8_t> px_;
};

// An uncompressed 32-bit TGA, rows from the top, of `width` × `height`
// pixels coloured by `colourAt`.
template <class F>
std::string tgaFile(int width, int height, F colourAt) {
  std::string out(18, '\0');
  out[2] = 2;  // true colour, uncompressed
  out[12] = char(width & 0xFF);
  out[13] = char(width >> 8);
  out[14] = char(height & 0xFF);
  out[15] = char(height >> 8);
  out[16] = 32;
  out[17] = 0x28;  // 8 alpha bits, top-left origin
  for (int y = 0; y < height; ++y)
    for (int x = 0; x < width; ++x) {
      const Rgba c = colourAt(x, y);
      out += char(c.b);
      out += char(c.g);
      out += char(c.r);
      out += char(c.a);
    }
  return out;
}

constexpr Rgba kBlue{20, 40, 230, 255};
constexpr Rgba kGreen{30, 200, 60, 255};
constexpr Rgba kYellow{240, 220, 10, 255};

class ViewRender : public AppFixture {
 protected:
  void SetUp() override {
    AppFixture::SetUp();
    ASSERT_TRUE(useOffscreenGl()) << "this build has no offscreen GL";
    seedFinishedFirstStart();
  }

  window::OffscreenSurface* surface() {
    auto* target = dynamic_cast<window::OffscreenSurface*>(windows().glTarget(ui::kMainWindowId, ui::kDrawingArea1Id));
    EXPECT_NE(target, nullptr) << "画板1 has no offscreen GL target";
    return target;
  }
  int32_t swaps() { return windows().swapCount(ui::kMainWindowId, ui::kDrawingArea1Id); }
  // One tick of 时钟1; the frame it presented. Fails the test when the tick
  // swapped nothing.
  Screen frame() {
    const int32_t before = swaps();
    auto ticked = windows().tick(ui::kMainWindowId, ui::kTimer1Id);
    EXPECT_TRUE(ticked && *ticked) << "时钟1 did not tick";
    EXPECT_EQ(swaps(), before + 1) << "the tick drew no frame";
    auto* s = surface();
    return s ? Screen(s->readPixels()) : Screen();
  }
  // Where a point of a flat model (across, up) lands with the view as it
  // stands; a point of any model.
  Point flatAt(double across, double up) { return modelAt(across, 0, up); }
  Point modelAt(double x, double y, double z) {
    return project(store(), intProperty(ui::kMainWindowId, ui::kScrollBar2Id, window::prop::kScrollPosition), x, y, z);
  }
  void scrollTo(int32_t position) {
    ASSERT_TRUE(windows().scroll(ui::kMainWindowId, ui::kScrollBar2Id, position).ok());
  }
  void mouse(int32_t number, int32_t x, int32_t y) {
    ASSERT_TRUE(windows().mouse(ui::kMainWindowId, ui::kDrawingArea1Id, number, x, y).ok());
  }
  // Texture paths of the store: the texture folder and these names.
  void setTexturePaths(const std::vector<std::string>& names) {
    store::texturePaths().dimension(int32_t(names.size()));
    const std::string folder = TextRef(store::textureFolder()).c_str();
    for (size_t i = 0; i < names.size(); ++i) {
      const std::string path = folder + "\\" + names[i];
      store::texturePaths().setText(path.c_str(), int32_t(i) + 1);
    }
  }
  void writeTexture(const std::string& name, Rgba colour) {
    writeBytes(textureDir() / name, tgaFile(8, 8, [&](int, int) { return colour; }));
  }
  void runToCleanEnd() {
    run();
    expectCleanEnd();
  }
};

TEST_F(ViewRender, NothingIsDrawnWithoutAModelAndTheBackgroundIsWhite) {
  step([&] {
    EXPECT_EQ(store().modelLoaded, 0);
    EXPECT_NE(store().glRenderContext, 0) << "the start set the view up";
    auto* s = surface();
    ASSERT_NE(s, nullptr);
    EXPECT_EQ(s->width(), kAreaWidth);
    EXPECT_EQ(s->height(), kAreaHeight);
    for (int i = 0; i < 5; ++i) {
      auto ticked = windows().tick(ui::kMainWindowId, ui::kTimer1Id);
      EXPECT_TRUE(ticked && *ticked);
    }
    EXPECT_EQ(swaps(), 0) << "ticks without a model draw nothing";

    // A loaded model without triangles: the cleared view, white all over.
    putIntoStore(Model{{{0, 0, 0, 0, 0}}, {}});
    const Screen screen = frame();
    ASSERT_TRUE(screen.valid());
    EXPECT_EQ(screen.count(isWhite), kAreaWidth * kAreaHeight);
  });
  runToCleanEnd();
}

TEST_F(ViewRender, EachDisplayModeShowsItsPrimitive) {
  // A, B, C and the middles of the edges AB, BC, CA; the inside.
  struct Expect {
    const char* name;
    int32_t mode;
    bool a, b, c, ab, bc, ca, inside;
  };
  const Expect cases[] = {
      {"点模式: three 8-pixel points", 0, true, true, true, false, false, false, false},
      {"线框式1: one segment A-B per triangle", 1, true, true, false, true, false, false, false},
      {"线框式2: the closed outline", 2, true, true, true, true, true, true, false},
      {"线框式3: A-B-C without the closing edge", 3, true, true, true, true, true, false, false},
      {"纹理模式: filled", 4, true, true, true, true, true, true, true},
      {"5 (the box kept index 5): filled as well", 5, true, true, true, true, true, true, true},
      {"-1 (no entry chosen): nothing", -1, false, false, false, false, false, false, false},
  };
  step([&] {
    putIntoStore(oneTriangle());
    for (const Expect& c : cases) {
      SCOPED_TRACE(c.name);
      store().displayMode = c.mode;
      const Screen s = frame();
      ASSERT_TRUE(s.valid());
      const Point a = flatAt(-10, -10), b = flatAt(10, -10), cc = flatAt(0, 10);
      if (c.mode == 0) {
        // Squares of 8 pixels around each vertex, not wider.
        for (Point v : {a, b, cc}) {
          EXPECT_TRUE(s.redNear(v, 2));
          EXPECT_FALSE(s.redNear({v.x + 6, v.y + 6}, 0));
        }
      }
      // A filled triangle's sharp corner pixel itself may stay uncovered.
      EXPECT_EQ(s.redNear(a, 2), c.a) << "A";
      EXPECT_EQ(s.redNear(b, 2), c.b) << "B";
      EXPECT_EQ(s.redNear(cc, 2), c.c) << "C";
      // Edge middles a little inside the corners' points.
      EXPECT_EQ(s.redNear(flatAt(0, -10)), c.ab) << "edge A-B";
      EXPECT_EQ(s.redNear(flatAt(5, 0)), c.bc) << "edge B-C";
      EXPECT_EQ(s.redNear(flatAt(-5, 0)), c.ca) << "edge C-A";
      EXPECT_EQ(isRed(s.at(flatAt(0, -4))), c.inside) << "inside";
      EXPECT_TRUE(isWhite(s.at(flatAt(-12, 5)))) << "outside the triangle";
      EXPECT_TRUE(isWhite(s.at({2, 2})));
    }
  });
  runToCleanEnd();
}

TEST_F(ViewRender, VertexNumbersOutsideTheTableAreSkipped) {
  step([&] {
    Model m = oneTriangle();
    for (Vertex v : {flat(-20, 15), flat(-16, 15), flat(-18, 20),     // a sound triangle top left
                     flat(20, -20), flat(16, -20), flat(18, -15)})  // and one bottom right
      m.vertices.push_back(v);
    m.triangles = {{0, 0, 1, 9},           // one past the last vertex
                   {0, -1, 1, 2},          // negative
                   {0, 0, 1, 2000000000},  // far outside
                   {0, 3, 4, 5},
                   {0, 6, 7, 8}};
    putIntoStore(m);
    store().displayMode = 4;
    const Screen s = frame();
    EXPECT_TRUE(isWhite(s.at(flatAt(0, -4)))) << "a triangle naming a missing vertex is not drawn";
    EXPECT_TRUE(isRed(s.at(flatAt(-18, 16.5)))) << "the sound triangles after them are";
    EXPECT_TRUE(isRed(s.at(flatAt(18, -18.5))));
    // Rows past triangleCount are not drawn either.
    store().triangleCount = 4;
    const Screen fewer = frame();
    EXPECT_TRUE(isRed(fewer.at(flatAt(-18, 16.5))));
    EXPECT_TRUE(isWhite(fewer.at(flatAt(18, -18.5))));
  });
  runToCleanEnd();
}

TEST_F(ViewRender, ScrollBarMovesTheModelUpAndDown) {
  // A bar 2 units high and 20 wide; one step of the scroll bar moves it by
  // 2% of the view's height (the scroll bar's 100 steps span two views).
  Model bar{{flat(-10, -1), flat(10, -1), flat(10, 1), flat(-10, 1)}, {{0, 0, 1, 2}, {0, 0, 2, 3}}};
  step([&] {
    store().displayMode = 4;
    scrollTo(77);
    putIntoStore(bar);
    EXPECT_EQ(intProperty(ui::kMainWindowId, ui::kScrollBar2Id, window::prop::kScrollPosition), kStartScroll)
        << "a fresh framing starts at the scroll bar's start position";
    struct Case {
      int32_t scroll;
      double stepsUp;
    };
    for (const Case& c : {Case{30, 0}, Case{31, 1}, Case{40, 10}, Case{50, 20}, Case{10, -20}}) {
      SCOPED_TRACE(c.scroll);
      scrollTo(c.scroll);
      const Screen s = frame();
      // The bar's rows in the middle column.
      int32_t top = -1, bottom = -1;
      for (int32_t y = 0; y < kAreaHeight; ++y)
        if (isRed(s.at({kAreaWidth / 2, y}))) {
          if (top < 0) top = y;
          bottom = y;
        }
      ASSERT_GE(top, 0) << "the bar is in view";
      EXPECT_NEAR((top + bottom + 1) / 2.0, kAreaHeight / 2.0 - c.stepsUp * kAreaHeight / 50.0, 1.5);
    }
  });
  runToCleanEnd();
}

TEST_F(ViewRender, DraggingTurnsTheModel) {
  step([&] {
    putIntoStore(oneTriangle());
    store().displayMode = 4;
    // (−7, −8) lies inside the triangle, (−7, 8) inside it turned upside
    // down (half a turn about the screen's horizontal).
    const Point lowLeft = flatAt(-7, -8), highLeft = flatAt(-7, 8);
    Screen s = frame();
    EXPECT_TRUE(isRed(s.at(lowLeft)));
    EXPECT_TRUE(isWhite(s.at(highLeft)));
    const int32_t facing = s.count(isRed);

    mouse(event::kMouseDown, 200, 100);
    mouse(event::kMouseMove, 200, 340);  // 240 pixels down: 180°
    EXPECT_EQ(store().dragPitch, 180);
    EXPECT_EQ(store().viewPitch, 0);
    s = frame();  // the model follows the mouse before the release
    EXPECT_TRUE(isWhite(s.at(lowLeft)));
    EXPECT_TRUE(isRed(s.at(highLeft)));
    mouse(event::kMouseUp, 200, 340);
    EXPECT_EQ(store().viewPitch, 180);
    EXPECT_EQ(store().dragPitch, 0);
    s = frame();
    EXPECT_TRUE(isWhite(s.at(lowLeft)));
    EXPECT_TRUE(isRed(s.at(highLeft)));

    // A horizontal drag of 160 pixels turns it a quarter about the screen's
    // vertical: the flat model is seen edge on.
    mouse(event::kMouseDown, 100, 100);
    mouse(event::kMouseMove, 260, 100);
    EXPECT_EQ(store().dragYaw, 90);
    EXPECT_LT(frame().count(isRed), facing / 20);
    mouse(event::kMouseUp, 260, 100);

    // Small and vertical drags, and two drags of 200 degrees.
    struct Drag {
      int32_t dx, dy;
      int32_t yaw, pitch;  // committed afterwards
    };
    const Drag drags[] = {{-1, 0, 90, 180}, {0, 10, 90, 187}, {356, 0, 290, 187}, {356, 0, 490, 187}};
    for (const Drag& d : drags) {
      mouse(event::kMouseDown, 200, 100);
      mouse(event::kMouseMove, 200 + d.dx, 100 + d.dy);
      mouse(event::kMouseUp, 200 + d.dx, 100 + d.dy);
      EXPECT_EQ(store().viewYaw, d.yaw) << d.dx << "," << d.dy;
      EXPECT_EQ(store().viewPitch, d.pitch) << d.dx << "," << d.dy;
      EXPECT_EQ(store().dragging, 0);
    }
    // Moves without a button down turn nothing.
    mouse(event::kMouseMove, 0, 0);
    EXPECT_EQ(store().dragYaw, 0);
  });
  runToCleanEnd();
}

TEST_F(ViewRender, TexturesShowInTheirOwnColours) {
  // Left half blue, right half green; the triangle's u runs left to right.
  writeBytes(textureDir() / "halves.tga",
             tgaFile(64, 64, [](int x, int) { return x < 32 ? kBlue : kGreen; }));
  step([&] {
    putIntoStore(oneTriangle());
    setTexturePaths({"halves.tga"});
    game::prepareTextures();
    ASSERT_NE(store::textureIds().get(1), 0) << "no texture was made";
    for (int32_t mode : {4, 5}) {
      store().displayMode = mode;
      const Screen s = frame();
      EXPECT_TRUE(near(s.at(flatAt(-4, -6)), kBlue)) << "mode " << mode;
      EXPECT_TRUE(near(s.at(flatAt(4, -6)), kGreen)) << "mode " << mode;
      EXPECT_EQ(s.count(isRed), 0) << "mode " << mode << ": the texture is not tinted red";
    }
    // Points and lines of a textured model take the texture's colours too.
    store().displayMode = 0;
    const Screen points = frame();
    EXPECT_TRUE(near(points.at(flatAt(-10, -10)), kBlue));
    EXPECT_TRUE(near(points.at(flatAt(10, -10)), kGreen));
  });
  runToCleanEnd();
  EXPECT_TRUE(finalLog().empty()) << utf8(finalLog());
}

TEST_F(ViewRender, EachMaterialShowsItsOwnTexture) {
  writeTexture("blue.tga", kBlue);
  writeTexture("green.tga", kGreen);
  writeTexture("yellow.tga", kYellow);
  // Materials 0 blue, 1 green, 2 a file that does not load (its texture
  // stays empty), 3 yellow; material 7 is outside the list.
  writeBytes(textureDir() / "broken.tga", "not a picture");
  Model m;
  auto add = [&](float x, float y, int32_t material) {
    const int32_t first = int32_t(m.vertices.size());
    m.vertices.push_back(flat(x - 3, y - 3, 0.2f, 0.2f));
    m.vertices.push_back(flat(x + 3, y - 3, 0.8f, 0.2f));
    m.vertices.push_back(flat(x, y + 3, 0.5f, 0.8f));
    m.triangles.push_back({material, first, first + 1, first + 2});
  };
  add(-15, 8, 0);
  add(0, 8, 1);
  add(15, 8, 2);
  add(-15, -8, 7);
  add(0, -8, 3);
  add(15, -8, 0);  // the first material again, after the others
  step([&] {
    putIntoStore(m, 4);
    setTexturePaths({"blue.tga", "green.tga", "broken.tga", "yellow.tga"});
    game::prepareTextures();
    store().displayMode = 4;
    const Screen s = frame();
    EXPECT_TRUE(near(s.at(flatAt(-15, 7)), kBlue));
    EXPECT_TRUE(near(s.at(flatAt(0, 7)), kGreen));
    EXPECT_TRUE(isRed(s.at(flatAt(15, 7)))) << "a texture that did not load: plain red";
    EXPECT_TRUE(isRed(s.at(flatAt(-15, -9)))) << "a material outside the list: plain red";
    EXPECT_TRUE(near(s.at(flatAt(0, -9)), kYellow));
    EXPECT_TRUE(near(s.at(flatAt(15, -9)), kBlue));
    // The same frame again: per-material binding leaves no state behind.
    const Screen again = frame();
    EXPECT_TRUE(near(again.at(flatAt(-15, 7)), kBlue));
    EXPECT_TRUE(near(again.at(flatAt(0, -9)), kYellow));
  });
  runToCleanEnd();
  EXPECT_TRUE(boxes().empty());
}

TEST_F(ViewRender, ClosingTheMainWindowReleasesTheView) {
  step([&] {
    putIntoStore(oneTriangle());
    store().displayMode = 4;
    frame();
    ASSERT_TRUE(closeMainWindow().ok());
    EXPECT_EQ(store().viewReady, 0);
    EXPECT_EQ(store().glRenderContext, 0);
    EXPECT_EQ(store().glDeviceContext, 0);
    // A late frame touches neither the gone window nor its context (the
    // run still ends cleanly).
    ui::drawFrame();
  });
  runToCleanEnd();
}

}  // namespace
}  // namespace ql::e2e
