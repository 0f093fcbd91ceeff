// What the view's calls put on the screen of an offscreen drawing area:
// modes, textures loaded from files, and the one-call triangle list.
#include <GL/gl.h>
#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <random>
#include <string>
#include <vector>

#include "runtime/paths/paths.h"
#include "tests/opengl/gl_harness.h"

#include "common/stb_private.h"

namespace ql::gltest {
namespace {

constexpr std::int32_t kGlTexture2d = 0x0DE1;

// Where a point of the model plane z = 0 lands, in window pixels counted
// from the top-left: 45° field of view, distance 60, a 504×448 area.
struct ScreenPoint {
  double x, y;
};
ScreenPoint project(double x, double y) {
  const double f = 1.0 / std::tan(45.0 / 2 * M_PI / 180.0);
  const double aspect = double(kAreaWidth) / kAreaHeight;
  const double ndcX = f / aspect * x / 60.0;
  const double ndcY = f * y / 60.0;
  return {(ndcX + 1) / 2 * kAreaWidth, kAreaHeight - (ndcY + 1) / 2 * kAreaHeight};
}

bool isRed(Pixel p) { return p.r > 200 && p.g < 60 && p.b < 60; }
bool isWhite(Pixel p) { return p.r > 240 && p.g > 240 && p.b > 240; }

class Screen {
 public:
  explicit Screen(std::vector<std::uint8_t> pixels) : pixels_(std::move(pixels)) {}
  Pixel at(int x, int y) const { return pixelAt(pixels_, kAreaWidth, x, y); }
  // Any red pixel within `radius` of the point.
  bool redNear(ScreenPoint p, int radius = 2) const {
    for (int dy = -radius; dy <= radius; ++dy)
      for (int dx = -radius; dx <= radius; ++dx)
        if (isRed(at(int(p.x) + dx, int(p.y) + dy))) return true;
    return false;
  }
  int redCount() const {
    int n = 0;
    for (int y = 0; y < kAreaHeight; ++y)
      for (int x = 0; x < kAreaWidth; ++x) n += isRed(at(x, y));
    return n;
  }
  int redRunInRow(int y, int x0, int x1) const {
    int n = 0;
    for (int x = x0; x <= x1; ++x) n += isRed(at(x, y));
    return n;
  }
  int redRunInColumn(int x, int y0, int y1) const {
    int n = 0;
    for (int y = y0; y <= y1; ++y) n += isRed(at(x, y));
    return n;
  }
  const std::vector<std::uint8_t>& pixels() const { return pixels_; }

 private:
  std::vector<std::uint8_t> pixels_;
};

class Render : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(view.ok()) << view.error();
    view.setUp();
  }
  Screen frameOf(std::int32_t mode, double r = 1, double g = 0, double b = 0) {
    view.beginFrame(r, g, b);
    view.triangle(mode, kA, kB, kC);
    view.swap();
    return Screen(view.target()->readPixels());
  }
  static constexpr float kA[5] = {-10, -10, 0, 0, 0};
  static constexpr float kB[5] = {10, -10, 0, 1, 0};
  static constexpr float kC[5] = {0, 10, 0, 0.5f, 1};
  View view;
};

TEST_F(Render, EachDisplayModeShowsItsPrimitive) {
  const ScreenPoint a = project(-10, -10), b = project(10, -10), c = project(0, 10);
  const ScreenPoint ab{(a.x + b.x) / 2, a.y}, bc{(b.x + c.x) / 2, (b.y + c.y) / 2}, ca{(c.x + a.x) / 2, (c.y + a.y) / 2};
  const ScreenPoint centroid = project(0, -10.0 / 3);
  struct Case {
    std::int32_t mode;
    const char* name;
    bool vertexA, vertexC, edgeAb, edgeBc, edgeCa, inside;
  };
  const std::vector<Case> cases = {
      {0, "points", true, true, false, false, false, false},
      {1, "GL_LINES: first to second vertex only", true, false, true, false, false, false},
      {2, "GL_LINE_LOOP: the closed outline", true, true, true, true, true, false},
      {3, "GL_LINE_STRIP: two edges", true, true, true, true, false, false},
      {4, "GL_TRIANGLES: filled", true, true, true, true, true, true},
      {5, "GL_TRIANGLE_STRIP: the same filled triangle", true, true, true, true, true, true},
      {-1, "no mode: nothing", false, false, false, false, false, false},
  };
  for (const auto& k : cases) {
    const Screen s = frameOf(k.mode);
    EXPECT_TRUE(isWhite(s.at(3, 3))) << k.name << ": background";
    EXPECT_EQ(s.redNear(a), k.vertexA) << k.name << ": vertex a";
    EXPECT_EQ(s.redNear(c), k.vertexC) << k.name << ": vertex c";
    EXPECT_EQ(s.redNear(ab), k.edgeAb) << k.name << ": edge a-b";
    EXPECT_EQ(s.redNear(bc), k.edgeBc) << k.name << ": edge b-c";
    EXPECT_EQ(s.redNear(ca), k.edgeCa) << k.name << ": edge c-a";
    EXPECT_EQ(s.redNear(centroid, 3), k.inside) << k.name << ": inside";
    if (k.mode == -1) {
      EXPECT_EQ(s.redCount(), 0) << k.name;
    }
  }
}

TEST_F(Render, PointsAreEightPixelSquares) {
  const Screen s = frameOf(0);
  for (ScreenPoint p : {project(-10, -10), project(10, -10), project(0, 10)}) {
    const int x = int(p.x), y = int(p.y);
    EXPECT_EQ(s.redRunInRow(y, x - 12, x + 12), 8) << "row through " << x << "," << y;
    EXPECT_EQ(s.redRunInColumn(x, y - 12, y + 12), 8) << "column through " << x << "," << y;
  }
  EXPECT_EQ(s.redCount(), 3 * 64);
}

TEST_F(Render, DepthTestHidesWhatLiesBehind) {
  view.beginFrame(1, 0, 0);
  view.triangle(4, kA, kB, kC);  // red at z = 0
  view.lib().call(gl::kCmdColor4d, {doubleArg(0), doubleArg(0), doubleArg(1), doubleArg(1)});
  const float a[5] = {-10, -10, -5, 0, 0}, b[5] = {10, -10, -5, 0, 0}, c[5] = {0, 10, -5, 0, 0};
  view.triangle(4, a, b, c);  // blue, further away
  view.swap();
  const Screen s(view.target()->readPixels());
  const ScreenPoint centroid = project(0, -10.0 / 3);
  EXPECT_TRUE(isRed(s.at(int(centroid.x), int(centroid.y))));
}

TEST_F(Render, ReadPixelsRowsRunTopDown) {
  // A triangle wholly above the centre shows in the upper rows.
  const float a[5] = {-5, 5, 0, 0, 0}, b[5] = {5, 5, 0, 0, 0}, c[5] = {0, 15, 0, 0, 0};
  view.beginFrame();
  view.triangle(4, a, b, c);
  view.swap();
  const Screen s(view.target()->readPixels());
  const ScreenPoint inside = project(0, 8);
  ASSERT_LT(inside.y, kAreaHeight / 2);
  EXPECT_TRUE(isRed(s.at(int(inside.x), int(inside.y))));
  EXPECT_TRUE(isWhite(s.at(int(inside.x), kAreaHeight - 1 - int(inside.y))));
}

TEST_F(Render, SwapPresentsTheBackBuffer) {
  view.beginFrame();
  view.triangle(4, kA, kB, kC);
  // Drawn but not swapped: the front image is still blank.
  const auto front = view.target()->readPixels();
  EXPECT_EQ(Screen(front).redCount(), 0);
  const auto back = view.target()->readBackBuffer();
  EXPECT_GT(Screen(back).redCount(), 0);
  view.swap();
  EXPECT_EQ(view.target()->readPixels(), back);
  EXPECT_EQ(view.system().swapCount(kWindow, kArea), 1);
}

TEST_F(Render, AreaResizeResizesTheSurface) {
  ASSERT_TRUE(view.system().moveResize(kWindow, kArea, std::nullopt, std::nullopt, 300, 200).ok());
  EXPECT_EQ(view.target()->width(), 300);
  EXPECT_EQ(view.target()->height(), 200);
  view.viewportUpdate(300, 200);
  view.beginFrame();
  view.triangle(4, kA, kB, kC);
  view.swap();
  const auto pixels = view.target()->readPixels();
  ASSERT_EQ(pixels.size(), 300u * 200u * 4u);
  // The model stays in the middle of the smaller area.
  const Pixel middle = pixelAt(pixels, 300, 150, 110);
  EXPECT_TRUE(isRed(middle));
}

// ---- Textures -------------------------------------------------------------

// A picture of four quadrants as seen: top-left green, top-right blue,
// bottom-left yellow, bottom-right magenta.
std::vector<std::uint8_t> quadrants(int w, int h, int channels) {
  std::vector<std::uint8_t> px(size_t(w) * size_t(h) * size_t(channels));
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) {
      const bool top = y < h / 2, left = x < w / 2;
      const std::uint8_t rgb[3] = {std::uint8_t(top ? 0 : 255), std::uint8_t(top ? (left ? 255 : 0) : (left ? 255 : 0)),
                                   std::uint8_t(top ? (left ? 0 : 255) : (left ? 0 : 255))};
      std::uint8_t* p = &px[(size_t(y) * size_t(w) + size_t(x)) * size_t(channels)];
      for (int k = 0; k < 3; ++k) p[k] = rgb[k];
      if (channels == 4) p[3] = 255;
    }
  return px;
}

class Textures : public Render {
 protected:
  void SetUp() override {
    Render::SetUp();
    dir = std::filesystem::temp_directory_path() /
          ("ql_gl_textures_" + std::string(::testing::UnitTest::GetInstance()->current_test_info()->name()));
    std::filesystem::remove_all(dir);
    std::filesystem::create_directories(dir);
  }
  void TearDown() override { std::filesystem::remove_all(dir); }

  std::string modulePath(const std::string& name) {
    auto gbk = paths::fromNative(dir / name);
    return gbk.ok() ? *gbk : std::string();
  }
  std::int32_t newBoundTexture() {
    std::int32_t name = 0;
    view.lib().call(gl::kCmdGenTexture, {intArg(kGlTexture2d), addressArg(&name, abi::kTagInt)});
    view.lib().call(gl::kCmdBindTexture, {intArg(kGlTexture2d), intArg(name)});
    return name;
  }
  // A quad over model x, y in −10..10 with the whole texture on it, drawn
  // white so that the texels show unchanged.
  Screen texturedQuad() {
    view.beginFrame(1, 1, 1);
    const float a[5] = {-10, -10, 0, 0, 0}, b[5] = {10, -10, 0, 1, 0}, c[5] = {10, 10, 0, 1, 1},
                d[5] = {-10, 10, 0, 0, 1};
    view.triangle(4, a, b, c);
    view.triangle(4, a, c, d);
    view.swap();
    return Screen(view.target()->readPixels());
  }
  static void expectQuadrants(const Screen& s, const std::string& what) {
    struct Spot {
      double x, y;
      int r, g, b;
      const char* name;
    };
    for (const Spot& spot : {Spot{-5, 5, 0, 255, 0, "top-left green"}, Spot{5, 5, 0, 0, 255, "top-right blue"},
                             Spot{-5, -5, 255, 255, 0, "bottom-left yellow"},
                             Spot{5, -5, 255, 0, 255, "bottom-right magenta"}}) {
      const ScreenPoint p = project(spot.x, spot.y);
      const Pixel px = s.at(int(p.x), int(p.y));
      EXPECT_NEAR(px.r, spot.r, 8) << what << ": " << spot.name;
      EXPECT_NEAR(px.g, spot.g, 8) << what << ": " << spot.name;
      EXPECT_NEAR(px.b, spot.b, 8) << what << ": " << spot.name;
    }
  }
  std::filesystem::path dir;
};

TEST_F(Textures, TgaAndBmpFilesShowOnTheModel) {
  struct Case {
    const char* name;
    const char* file;
    int w, h, channels;
    bool rle;
    bool bmp;
  };
  const std::vector<Case> cases = {
      {"TGA 32-bit uncompressed, 100x60", "a.tga", 100, 60, 4, false, false},
      {"TGA 24-bit RLE, 64x64", "b.tga", 64, 64, 3, true, false},
      {"BMP 24-bit, 100x60", "c.bmp", 100, 60, 3, false, true},
  };
  for (const auto& c : cases) {
    const std::string native = (dir / c.file).string();
    const auto px = quadrants(c.w, c.h, c.channels);
    stbi_write_tga_with_rle = c.rle ? 1 : 0;
    const int written = c.bmp ? stbi_write_bmp(native.c_str(), c.w, c.h, c.channels, px.data())
                              : stbi_write_tga(native.c_str(), c.w, c.h, c.channels, px.data());
    ASSERT_NE(written, 0) << c.name;

    newBoundTexture();
    const std::string path = modulePath(c.file);
    std::int32_t width = 0, height = 0;
    abi::CmdResult loaded =
        c.bmp ? view.lib().call(gl::kCmdLoadBmpTexture, {addressArg(path.c_str(), abi::kTagText)})
              : view.lib().call(gl::kCmdLoadTgaTexture,
                                {addressArg(path.c_str(), abi::kTagText), omittedArg(),
                                 addressArg(&width, abi::kTagInt), addressArg(&height, abi::kTagInt)});
    EXPECT_EQ(loaded.value, 1u) << c.name;
    if (!c.bmp) {
      EXPECT_EQ(width, c.w) << c.name;
      EXPECT_EQ(height, c.h) << c.name;
    }
    expectQuadrants(texturedQuad(), c.name);
  }
}

TEST_F(Textures, TextureRepeatsOutsideZeroToOne) {
  const std::string native = (dir / "r.tga").string();
  const auto px = quadrants(32, 32, 4);
  ASSERT_NE(stbi_write_tga(native.c_str(), 32, 32, 4, px.data()), 0);
  newBoundTexture();
  const std::string path = modulePath("r.tga");
  view.lib().call(gl::kCmdLoadTgaTexture, {addressArg(path.c_str(), abi::kTagText)});
  // Texture coordinates 1..2 show the same picture as 0..1.
  view.beginFrame(1, 1, 1);
  const float a[5] = {-10, -10, 0, 1, 1}, b[5] = {10, -10, 0, 2, 1}, c[5] = {10, 10, 0, 2, 2},
              d[5] = {-10, 10, 0, 1, 2};
  view.triangle(4, a, b, c);
  view.triangle(4, a, c, d);
  view.swap();
  expectQuadrants(Screen(view.target()->readPixels()), "coordinates 1..2");
}

TEST_F(Textures, AFileThatCannotBeLoadedLeavesTheModelRed) {
  std::filesystem::create_directories(dir);
  { std::FILE* f = std::fopen((dir / "junk.tga").string().c_str(), "wb"); std::fputs("not a picture", f); std::fclose(f); }
  struct Case {
    const char* name;
    std::string path;
  };
  const std::vector<Case> cases = {
      {"missing file", modulePath("none.tga")},
      {"not a picture", modulePath("junk.tga")},
      {"empty path", ""},
  };
  for (const auto& c : cases) {
    newBoundTexture();
    std::int32_t width = -1, height = -1;
    const auto r = view.lib().call(gl::kCmdLoadTgaTexture, {addressArg(c.path.c_str(), abi::kTagText), omittedArg(),
                                                            addressArg(&width, abi::kTagInt),
                                                            addressArg(&height, abi::kTagInt)});
    EXPECT_EQ(r.value, 0u) << c.name;
    EXPECT_EQ(width, -1) << c.name;
    const auto b = view.lib().call(gl::kCmdLoadBmpTexture, {addressArg(c.path.c_str(), abi::kTagText)});
    EXPECT_EQ(b.value, 0u) << c.name;
    // An empty texture is incomplete: the triangles show the plain colour.
    const Screen s = frameOf(4);
    EXPECT_TRUE(isRed(s.at(252, 254))) << c.name;
  }
}

// ---- The one-call triangle list -------------------------------------------------

struct Model {
  std::vector<float> vertices;         // rows of x, y, z, u, v
  std::vector<std::int32_t> triangles;  // rows of material, a, b, c
  std::int32_t vertexCount = 0;
  std::int32_t triangleCount = 0;
};

// Overlapping triangles at several depths, two materials.
Model randomModel(int triangleCount, unsigned seed) {
  std::mt19937 rng(seed);
  std::uniform_real_distribution<float> xy(-20, 20), z(-8, 8), uv(-0.2f, 1.2f), small(-4, 4);
  Model m;
  m.vertexCount = triangleCount * 2;
  for (int i = 0; i < m.vertexCount; ++i) {
    m.vertices.insert(m.vertices.end(), {xy(rng), xy(rng), z(rng), uv(rng), uv(rng)});
  }
  std::uniform_int_distribution<int> pick(0, m.vertexCount - 1);
  for (int t = 0; t < triangleCount; ++t) {
    const int a = pick(rng);
    // Keep triangles small so that their outlines are told apart.
    int b = pick(rng), c = pick(rng);
    m.vertices[size_t(b) * 5] = m.vertices[size_t(a) * 5] + small(rng);
    m.vertices[size_t(b) * 5 + 1] = m.vertices[size_t(a) * 5 + 1] + small(rng);
    m.vertices[size_t(c) * 5] = m.vertices[size_t(a) * 5] + small(rng);
    m.vertices[size_t(c) * 5 + 1] = m.vertices[size_t(a) * 5 + 1] + small(rng);
    m.triangles.insert(m.triangles.end(), {t % 2, a, b, c});  // materials 0 and 1
  }
  m.triangleCount = triangleCount;
  return m;
}

class TriangleList : public Textures {
 protected:
  // The view's way: one begin/end per triangle, through the commands;
  // with textureIds, a bind per triangle as a per-material view would.
  Screen perTriangle(const Model& m, std::int32_t mode, const std::vector<std::int32_t>* textureIds = nullptr) {
    view.beginFrame();
    for (std::int32_t t = 0; t < m.triangleCount; ++t) {
      const std::int32_t* row = &m.triangles[size_t(t) * 4];
      if (textureIds) {
        const std::int32_t material = row[0];
        const std::int32_t id = material >= 0 && size_t(material) < textureIds->size() ? (*textureIds)[size_t(material)] : 0;
        view.lib().call(gl::kCmdBindTexture, {intArg(kGlTexture2d), intArg(id)});
      }
      float v[3][5];
      for (int k = 0; k < 3; ++k) std::memcpy(v[k], &m.vertices[size_t(row[1 + k]) * 5], sizeof v[k]);
      view.triangle(mode, v[0], v[1], v[2]);
    }
    view.swap();
    return Screen(view.target()->readPixels());
  }
  std::int32_t fastCall(const Model& m, std::int32_t mode, std::int32_t count,
                        const std::vector<std::uint32_t>* textureBlock = nullptr) {
    vertexBlock = arrayBlock<float>({std::uint32_t(m.vertexCount), 5}, m.vertices);
    triangleBlock = arrayBlock<std::int32_t>({std::uint32_t(m.triangleCount), 4}, m.triangles);
    return static_cast<std::int32_t>(
        view.lib()
            .call(gl::kCmdDrawTriangleList,
                  {addressArg(vertexBlock.data(), gl::kTagFloatArray), addressArg(triangleBlock.data(), abi::kTagIntArray),
                   intArg(count), intArg(mode),
                   textureBlock ? addressArg(textureBlock->data(), abi::kTagIntArray) : omittedArg()})
            .value);
  }
  Screen fast(const Model& m, std::int32_t mode, const std::vector<std::uint32_t>* textureBlock = nullptr) {
    view.beginFrame();
    drawn = fastCall(m, mode, m.triangleCount, textureBlock);
    view.swap();
    return Screen(view.target()->readPixels());
  }
  std::vector<std::uint32_t> vertexBlock, triangleBlock;
  std::int32_t drawn = 0;
};

TEST_F(TriangleList, SamePixelsAsOneBeginEndPerTriangle) {
  const Model m = randomModel(400, 7);
  for (std::int32_t mode : {0, 1, 2, 3, 4, 5, 6, 9, -1, 10}) {
    const Screen slow = perTriangle(m, mode);
    const Screen quick = fast(m, mode);
    const bool drawsSomething = mode >= 0 && mode <= 9;
    EXPECT_EQ(drawn, drawsSomething ? m.triangleCount : 0) << "mode " << mode;
    if (mode >= 0 && mode <= 5) {
      EXPECT_GT(slow.redCount(), 0) << "mode " << mode;
    }
    EXPECT_TRUE(slow.pixels() == quick.pixels()) << "mode " << mode << ": the fast path differs";
  }
}

TEST_F(TriangleList, TexturesPerMaterial) {
  // Material 0: the quadrant picture; material 1: no texture (plain colour).
  const std::string native = (dir / "q.tga").string();
  const auto px = quadrants(64, 64, 4);
  ASSERT_NE(stbi_write_tga(native.c_str(), 64, 64, 4, px.data()), 0);
  const std::int32_t textured = newBoundTexture();
  const std::string path = modulePath("q.tga");
  ASSERT_EQ(view.lib().call(gl::kCmdLoadTgaTexture, {addressArg(path.c_str(), abi::kTagText)}).value, 1u);
  const std::int32_t before = newBoundTexture();  // what is bound before the drawing

  const std::vector<std::int32_t> ids = {textured, 0};
  const auto idBlock = arrayBlock<std::int32_t>({2}, ids);
  const Model m = randomModel(300, 11);
  const Screen slow = perTriangle(m, 4, &ids);
  view.lib().call(gl::kCmdBindTexture, {intArg(kGlTexture2d), intArg(before)});
  const Screen quick = fast(m, 4, &idBlock);
  EXPECT_TRUE(slow.pixels() == quick.pixels());
  GLint bound = 0;
  glGetIntegerv(GL_TEXTURE_BINDING_2D, &bound);
  EXPECT_EQ(bound, before) << "the earlier binding comes back";
}

TEST_F(TriangleList, MalformedListsDrawOnlyWhatIsSound) {
  Model m = randomModel(10, 3);
  EXPECT_EQ(fastCall(m, 4, 10), 10);
  EXPECT_EQ(fastCall(m, 4, 100), 10) << "count clamped to the table";
  EXPECT_EQ(fastCall(m, 4, 4), 4);
  EXPECT_EQ(fastCall(m, 4, 0), 0);
  EXPECT_EQ(fastCall(m, 4, -3), 0);

  Model bad = m;
  bad.triangles[1 * 4 + 2] = m.vertexCount;  // one past the last vertex
  bad.triangles[2 * 4 + 3] = -1;
  EXPECT_EQ(fastCall(bad, 4, 10), 8) << "triangles naming a missing vertex are skipped";

  // Shapes and tags the command refuses.
  const auto vertices = arrayBlock<float>({std::uint32_t(m.vertexCount), 5}, m.vertices);
  const auto triangles = arrayBlock<std::int32_t>({10, 4}, m.triangles);
  const auto narrow = arrayBlock<float>({std::uint32_t(m.vertexCount) * 5 / 4, 4}, m.vertices);
  const auto flat = arrayBlock<float>({std::uint32_t(m.vertices.size())}, m.vertices);
  const std::vector<std::uint32_t> forged = {2, 0x40000000, 5};
  struct Case {
    const char* name;
    abi::Arg v, t;
  };
  const std::vector<Case> cases = {
      {"vertex table of 4 columns", addressArg(narrow.data(), gl::kTagFloatArray),
       addressArg(triangles.data(), abi::kTagIntArray)},
      {"vertex list of one dimension", addressArg(flat.data(), gl::kTagFloatArray),
       addressArg(triangles.data(), abi::kTagIntArray)},
      {"vertex table claiming 2^30 rows", addressArg(forged.data(), gl::kTagFloatArray),
       addressArg(triangles.data(), abi::kTagIntArray)},
      {"vertices tagged as integers", addressArg(vertices.data(), abi::kTagIntArray),
       addressArg(triangles.data(), abi::kTagIntArray)},
      {"no triangle table", addressArg(vertices.data(), gl::kTagFloatArray), omittedArg()},
      {"null vertex table", addressArg(nullptr, gl::kTagFloatArray), addressArg(triangles.data(), abi::kTagIntArray)},
  };
  for (const auto& c : cases)
    EXPECT_EQ(view.lib().call(gl::kCmdDrawTriangleList, {c.v, c.t, intArg(10), intArg(4)}).value, 0u) << c.name;
}

}  // namespace
}  // namespace ql::gltest
