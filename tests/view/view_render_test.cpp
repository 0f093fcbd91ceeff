// The OpenGL view run for real: the module image and kbase.qlr on the
// headless window system, 画板1 rendering into offscreen GL. Models are put
// into the store inside loop steps; frames come from ticks of 时钟1 and
// mouse events on 画板1, and the pixels they present are read back.
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
// `materials` zero entries), and marks it loaded.
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
}

// One triangle: A (−10, −10), B (10, −10), C (0, 10) in the z = 0 plane.
// Its u runs with x (0.5 + 0.04 x), away from the texture's edges, where
// repeat and linear filtering would mix in the opposite edge.
Model oneTriangle() {
  return Model{{{-10, -10, 0, 0.1f, 0.1f}, {10, -10, 0, 0.9f, 0.1f}, {0, 10, 0, 0.5f, 0.9f}}, {{0, 0, 1, 2}}};
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

// Where a point of the model's z = 0 plane lands with no rotation and the
// model moved by `offset` along y: the view's projection (45°, the area's
// aspect, the model 60 units away) worked out by hand.
Point project(double x, double y, double offset) {
  const double f = 1.0 / std::tan(22.5 * M_PI / 180.0);
  const double aspect = double(kAreaWidth) / kAreaHeight;
  const double ndcX = f / aspect * x / 60.0;
  const double ndcY = f * (y + offset) / 60.0;
  return {int32_t(std::floor((ndcX + 1) / 2 * kAreaWidth)), int32_t(std::floor(kAreaHeight - (ndcY + 1) / 2 * kAreaHeight))};
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
    scrollTo(50);  // the model in place
    putIntoStore(oneTriangle());
    for (const Expect& c : cases) {
      SCOPED_TRACE(c.name);
      store().displayMode = c.mode;
      const Screen s = frame();
      ASSERT_TRUE(s.valid());
      const Point a = project(-10, -10, 0), b = project(10, -10, 0), cc = project(0, 10, 0);
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
      EXPECT_EQ(s.redNear(project(0, -10, 0)), c.ab) << "edge A-B";
      EXPECT_EQ(s.redNear(project(5, 0, 0)), c.bc) << "edge B-C";
      EXPECT_EQ(s.redNear(project(-5, 0, 0)), c.ca) << "edge C-A";
      EXPECT_EQ(isRed(s.at(project(0, -4, 0))), c.inside) << "inside";
      EXPECT_TRUE(isWhite(s.at(project(-12, 5, 0)))) << "outside the triangle";
      EXPECT_TRUE(isWhite(s.at({2, 2})));
    }
  });
  runToCleanEnd();
}

TEST_F(ViewRender, VertexNumbersOutsideTheTableAreSkipped) {
  step([&] {
    scrollTo(50);
    Model m = oneTriangle();
    m.vertices.push_back({-20, 15, 0, 0, 0});                // a second, sound triangle on the left
    m.vertices.push_back({-16, 15, 0, 0, 0});
    m.vertices.push_back({-18, 20, 0, 0, 0});
    m.triangles = {{0, 0, 1, 6},                            // one past the last vertex
                   {0, -1, 1, 2},                           // negative
                   {0, 0, 1, 2000000000},                   // far outside
                   {0, 3, 4, 5}};
    putIntoStore(m);
    store().displayMode = 4;
    const Screen s = frame();
    EXPECT_TRUE(isWhite(s.at(project(0, -4, 0)))) << "a triangle naming a missing vertex is not drawn";
    EXPECT_TRUE(isRed(s.at(project(-18, 16.5, 0)))) << "the sound triangle after them is";
    // Rows past triangleCount are not drawn either.
    store().triangleCount = 3;
    EXPECT_TRUE(isWhite(frame().at(project(-18, 16.5, 0))));
  });
  runToCleanEnd();
}

TEST_F(ViewRender, ScrollBarMovesTheModelAlongY) {
  // A small triangle placed at y = 50 − s sits in the middle of the view
  // exactly when the scroll offset is s − 50.
  struct Case {
    int32_t scroll, offset;
  };
  const Case cases[] = {{50, 0}, {kStartScroll, -20}, {1, -49}};
  step([&] {
    EXPECT_EQ(intProperty(ui::kMainWindowId, ui::kScrollBar2Id, window::prop::kScrollPosition), kStartScroll);
    store().displayMode = 4;
    for (const Case& c : cases) {
      SCOPED_TRACE(c.scroll);
      const float centre = float(-c.offset);
      putIntoStore(Model{{{-2, centre - 1, 0, 0, 0}, {2, centre - 1, 0, 0, 0}, {0, centre + 1, 0, 0, 0}},
                         {{0, 0, 1, 2}}});
      scrollTo(c.scroll);
      const Screen s = frame();
      EXPECT_TRUE(isRed(s.at(project(0, 0, 0)))) << "the model in the middle";
      EXPECT_TRUE(isWhite(s.at(project(0, 2, 0))));
      EXPECT_TRUE(isWhite(s.at(project(0, -2, 0))));
      // One position further the model has moved by one unit (9 pixels).
      scrollTo(c.scroll == 1 ? 2 : c.scroll - 1);
      const Screen moved = frame();
      EXPECT_EQ(isRed(moved.at(project(0, 0.6, 0))), c.scroll == 1) << "up one unit";
      EXPECT_EQ(isRed(moved.at(project(0, -1.6, 0))), c.scroll != 1) << "down one unit";
    }
  });
  runToCleanEnd();
}

TEST_F(ViewRender, DraggingTurnsTheModel) {
  step([&] {
    scrollTo(50);
    putIntoStore(oneTriangle());
    store().displayMode = 4;
    // (−7, −8) lies inside the triangle, (−7, 8) inside it turned by 180°
    // about z.
    const Point lowLeft = project(-7, -8, 0), highLeft = project(-7, 8, 0);
    Screen s = frame();
    EXPECT_TRUE(isRed(s.at(lowLeft)));
    EXPECT_TRUE(isWhite(s.at(highLeft)));

    mouse(event::kMouseDown, 100, 200);
    mouse(event::kMouseMove, 420, 200);
    EXPECT_EQ(store().dragYaw, 180);
    EXPECT_EQ(store().viewYaw, 0);
    s = frame();  // the model follows the mouse before the release
    EXPECT_TRUE(isWhite(s.at(lowLeft)));
    EXPECT_TRUE(isRed(s.at(highLeft)));
    mouse(event::kMouseUp, 420, 200);
    EXPECT_EQ(store().viewYaw, 180);
    EXPECT_EQ(store().dragYaw, 0);
    s = frame();
    EXPECT_TRUE(isWhite(s.at(lowLeft)));
    EXPECT_TRUE(isRed(s.at(highLeft)));

    // Small and vertical drags, and two drags of 200 degrees.
    struct Drag {
      int32_t dx, dy;
      int32_t yaw, pitch;  // committed afterwards
    };
    const Drag drags[] = {{-1, 0, 180, 0}, {0, 10, 180, 7}, {356, 0, 380, 7}, {356, 0, 580, 7}};
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
    scrollTo(50);
    putIntoStore(oneTriangle());
    setTexturePaths({"halves.tga"});
    game::prepareTextures();
    ASSERT_NE(store::textureIds().get(1), 0) << "no texture was made";
    for (int32_t mode : {4, 5}) {
      store().displayMode = mode;
      const Screen s = frame();
      EXPECT_TRUE(near(s.at(project(-4, -6, 0)), kBlue)) << "mode " << mode;
      EXPECT_TRUE(near(s.at(project(4, -6, 0)), kGreen)) << "mode " << mode;
      EXPECT_EQ(s.count(isRed), 0) << "mode " << mode << ": the texture is not tinted red";
    }
    // Points and lines of a textured model take the texture's colours too.
    store().displayMode = 0;
    const Screen points = frame();
    EXPECT_TRUE(near(points.at(project(-10, -10, 0)), kBlue));
    EXPECT_TRUE(near(points.at(project(10, -10, 0)), kGreen));
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
    m.vertices.push_back({x - 3, y - 3, 0, 0.2f, 0.2f});
    m.vertices.push_back({x + 3, y - 3, 0, 0.8f, 0.2f});
    m.vertices.push_back({x, y + 3, 0, 0.5f, 0.8f});
    m.triangles.push_back({material, first, first + 1, first + 2});
  };
  add(-15, 8, 0);
  add(0, 8, 1);
  add(15, 8, 2);
  add(-15, -8, 7);
  add(0, -8, 3);
  add(15, -8, 0);  // the first material again, after the others
  step([&] {
    scrollTo(50);
    putIntoStore(m, 4);
    setTexturePaths({"blue.tga", "green.tga", "broken.tga", "yellow.tga"});
    game::prepareTextures();
    store().displayMode = 4;
    const Screen s = frame();
    EXPECT_TRUE(near(s.at(project(-15, 7, 0)), kBlue));
    EXPECT_TRUE(near(s.at(project(0, 7, 0)), kGreen));
    EXPECT_TRUE(isRed(s.at(project(15, 7, 0)))) << "a texture that did not load: plain red";
    EXPECT_TRUE(isRed(s.at(project(-15, -9, 0)))) << "a material outside the list: plain red";
    EXPECT_TRUE(near(s.at(project(0, -9, 0)), kYellow));
    EXPECT_TRUE(near(s.at(project(15, -9, 0)), kBlue));
    // The same frame again: per-material binding leaves no state behind.
    const Screen again = frame();
    EXPECT_TRUE(near(again.at(project(-15, 7, 0)), kBlue));
    EXPECT_TRUE(near(again.at(project(0, -9, 0)), kYellow));
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
