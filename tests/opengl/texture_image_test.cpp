// Texture pictures without GL: decoding (inputs built from bytes here),
// the power-of-two decision and the scaling.
#include "runtime/libs/opengl/texture_image.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "runtime/paths/paths.h"

namespace ql::gl {
namespace {

using Bytes = std::vector<std::uint8_t>;

// TGA header: id length, colour-map type, image type, colour-map spec (5),
// x/y origin, width, height (little-endian), bits per pixel, descriptor.
Bytes tgaHeader(std::uint8_t type, std::uint16_t w, std::uint16_t h, std::uint8_t bpp, std::uint8_t descriptor) {
  return {0, 0, type, 0, 0, 0, 0, 0, 0, 0, 0, 0, std::uint8_t(w), std::uint8_t(w >> 8), std::uint8_t(h),
          std::uint8_t(h >> 8), bpp, descriptor};
}

Bytes concat(Bytes a, const Bytes& b) {
  a.insert(a.end(), b.begin(), b.end());
  return a;
}

// RGBA of pixel (x, y) with y counting from the picture's bottom.
std::vector<int> rgbaAt(const RgbaImage& img, int x, int yFromBottom) {
  const size_t at = (size_t(yFromBottom) * size_t(img.width) + size_t(x)) * 4;
  return {img.pixels[at], img.pixels[at + 1], img.pixels[at + 2], img.pixels[at + 3]};
}

using V = std::vector<int>;
const V kRed{255, 0, 0, 255}, kGreen{0, 255, 0, 255}, kBlue{0, 0, 255, 255}, kWhite{255, 255, 255, 255};

TEST(TextureImage, Tga24UncompressedBottomOriginKeepsRowsBottomUp) {
  // File rows run bottom-up (descriptor bit 5 clear): red, green below;
  // blue, white on top. Pixels are BGR.
  const Bytes file = concat(tgaHeader(2, 2, 2, 24, 0), {0, 0, 255, 0, 255, 0, 255, 0, 0, 255, 255, 255});
  auto img = decodeImage(file);
  ASSERT_TRUE(img.ok()) << img.error().message;
  EXPECT_EQ(img->width, 2);
  EXPECT_EQ(img->height, 2);
  EXPECT_EQ(rgbaAt(*img, 0, 0), kRed);
  EXPECT_EQ(rgbaAt(*img, 1, 0), kGreen);
  EXPECT_EQ(rgbaAt(*img, 0, 1), kBlue);
  EXPECT_EQ(rgbaAt(*img, 1, 1), kWhite);
}

TEST(TextureImage, TgaTopOriginGivesTheSamePicture) {
  // Same picture stored top row first (descriptor bit 5 set).
  const Bytes file = concat(tgaHeader(2, 2, 2, 24, 0x20), {255, 0, 0, 255, 255, 255, 0, 0, 255, 0, 255, 0});
  auto img = decodeImage(file);
  ASSERT_TRUE(img.ok()) << img.error().message;
  EXPECT_EQ(rgbaAt(*img, 0, 0), kRed);
  EXPECT_EQ(rgbaAt(*img, 1, 1), kWhite);
}

TEST(TextureImage, Tga32RleKeepsAlpha) {
  // Type 10: one run packet of 3 (0x80 | 2) semi-transparent blue, one raw
  // packet of 1 green; 2×2, 8 alpha bits.
  const Bytes file = concat(tgaHeader(10, 2, 2, 32, 8), {0x82, 255, 0, 0, 128, 0x00, 0, 255, 0, 255});
  auto img = decodeImage(file);
  ASSERT_TRUE(img.ok()) << img.error().message;
  EXPECT_EQ(rgbaAt(*img, 0, 0), (V{0, 0, 255, 128}));
  EXPECT_EQ(rgbaAt(*img, 0, 1), (V{0, 0, 255, 128}));
  EXPECT_EQ(rgbaAt(*img, 1, 1), kGreen);
}

TEST(TextureImage, Bmp24WithRowPadding) {
  // 3×2, 24-bit, bottom-up; each 9-byte row padded to 12.
  Bytes file = {'B', 'M', 78, 0, 0, 0, 0, 0, 0, 0, 54, 0, 0, 0,  // file header
                40, 0, 0, 0, 3, 0, 0, 0, 2, 0, 0, 0, 1, 0, 24, 0, 0, 0, 0, 0, 24, 0, 0, 0,
                0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0};
  const Bytes rows = {0, 0, 255, 0, 255, 0, 255, 0, 0, 0, 0, 0,          // bottom: red green blue
                      255, 255, 255, 0, 0, 0, 255, 255, 255, 0, 0, 0};  // top: white black white
  file = concat(file, rows);
  auto img = decodeImage(file);
  ASSERT_TRUE(img.ok()) << img.error().message;
  EXPECT_EQ(img->width, 3);
  EXPECT_EQ(img->height, 2);
  EXPECT_EQ(rgbaAt(*img, 0, 0), kRed);
  EXPECT_EQ(rgbaAt(*img, 2, 0), kBlue);
  EXPECT_EQ(rgbaAt(*img, 1, 1), (V{0, 0, 0, 255}));
}

TEST(TextureImage, MalformedInputsAreRefused) {
  struct Case {
    const char* name;
    Bytes file;
    const char* expect;  // part of the message
  };
  const std::vector<Case> cases = {
      {"empty", {}, "empty"},
      {"text", Bytes{'h', 'e', 'l', 'l', 'o', ' ', 'w', 'o', 'r', 'l', 'd'}, "not a picture"},
      {"tga header cut short", Bytes{0, 0, 2, 0, 0, 0, 0}, "not a picture"},
      {"tga of 20000 x 20000", concat(tgaHeader(2, 20000, 20000, 24, 0), Bytes(16, 0)), "20000x20000"},
      {"tga of width 0", tgaHeader(2, 0, 4, 24, 0), ""},
      {"bmp header only", Bytes{'B', 'M', 0, 0}, "not a picture"},
  };
  for (const auto& c : cases) {
    auto img = decodeImage(c.file);
    ASSERT_FALSE(img.ok()) << c.name;
    EXPECT_NE(img.error().message.find(c.expect), std::string::npos) << c.name << ": " << img.error().message;
  }
}

TEST(TextureImage, PowerOfTwoDecision) {
  struct Case {
    const char* version;
    const char* extensions;
    bool needs;
  };
  const std::vector<Case> cases = {
      {"1.1 Mesa 22.3.6", "GL_EXT_texture", true},
      {"1.4", "GL_A GL_ARB_texture_non_power_of_two GL_B", false},
      {"1.4", "GL_ARB_texture_non_power_of_two", false},
      {"1.4", "GL_ARB_texture_non_power_of_two_x GL_B", true},
      {"1.4", "XGL_ARB_texture_non_power_of_two", true},
      {"2.0", "", false},
      {"4.5 (Compatibility Profile) Mesa 22.3.6", "", false},
      {"", "", true},
      {"garbage", "", true},
  };
  for (const auto& c : cases)
    EXPECT_EQ(needsPowerOfTwo(c.version, c.extensions), c.needs) << c.version << " / " << c.extensions;
}

TEST(TextureImage, PowerOfTwoSizes) {
  struct Case {
    std::int32_t v, limit, expect;
  };
  for (const auto& c : std::vector<Case>{{0, 1024, 1}, {1, 1024, 1}, {2, 1024, 2}, {3, 1024, 4}, {100, 1024, 128},
                                         {256, 1024, 256}, {257, 1024, 512}, {5000, 1024, 1024}})
    EXPECT_EQ(powerOfTwoAtLeast(c.v, c.limit), c.expect) << c.v;
  EXPECT_TRUE(isPowerOfTwo(64));
  EXPECT_FALSE(isPowerOfTwo(60));
  EXPECT_FALSE(isPowerOfTwo(0));
}

// Left half green, right half blue.
RgbaImage halves(std::int32_t w, std::int32_t h) {
  RgbaImage img{w, h, std::vector<std::uint8_t>(size_t(w) * size_t(h) * 4)};
  for (std::int32_t y = 0; y < h; ++y)
    for (std::int32_t x = 0; x < w; ++x) {
      std::uint8_t* p = &img.pixels[(size_t(y) * size_t(w) + size_t(x)) * 4];
      p[0] = 0;
      p[1] = x < w / 2 ? 255 : 0;
      p[2] = x < w / 2 ? 0 : 255;
      p[3] = 255;
    }
  return img;
}

TEST(TextureImage, FitScalesOnlyWhatTheContextCannotTake) {
  struct Case {
    const char* name;
    std::int32_t w, h;
    bool pot;
    std::int32_t maxSide, expectW, expectH;
  };
  const std::vector<Case> cases = {
      {"npot context keeps an odd size", 100, 60, false, 8192, 100, 60},
      {"pot context scales 100x60 up", 100, 60, true, 8192, 128, 64},
      {"pot picture stays", 256, 256, true, 8192, 256, 256},
      {"limit caps an npot side", 100, 60, false, 64, 64, 60},
      {"limit caps a pot side", 100, 60, true, 64, 64, 64},
      {"limit that is no power of two", 100, 60, true, 100, 64, 64},
  };
  for (const auto& c : cases) {
    const RgbaImage in = halves(c.w, c.h);
    const RgbaImage out = fitForTexture(in, c.pot, c.maxSide);
    EXPECT_EQ(out.width, c.expectW) << c.name;
    EXPECT_EQ(out.height, c.expectH) << c.name;
    ASSERT_EQ(out.pixels.size(), size_t(out.width) * size_t(out.height) * 4) << c.name;
    if (out.width == c.w && out.height == c.h) {
      EXPECT_EQ(out.pixels, in.pixels) << c.name;
    }
    // Well inside each half the colour survives the scaling.
    EXPECT_EQ(rgbaAt(out, out.width / 8, out.height / 2), kGreen) << c.name;
    EXPECT_EQ(rgbaAt(out, out.width - 1 - out.width / 8, out.height / 2), kBlue) << c.name;
  }
}

TEST(TextureImage, ScalingBlendsAcrossTheEdgeAsARepeatingTexture) {
  // 2×1: black, white. Scaled to 4×1 with wrapping, the outer pixels mix
  // with the far side instead of copying the edge.
  RgbaImage in{2, 1, {0, 0, 0, 255, 255, 255, 255, 255}};
  RgbaImage out = scaleImage(in, 4, 1);
  ASSERT_EQ(out.pixels.size(), 16u);
  EXPECT_GT(out.pixels[0], 20);    // leftmost: pulled towards the white on the right
  EXPECT_LT(out.pixels[0], 235);
  EXPECT_GT(out.pixels[12], 20);   // rightmost: pulled towards the black on the left
  EXPECT_LT(out.pixels[12], 235);
}

class TextureFiles : public ::testing::Test {
 protected:
  void SetUp() override {
    dir = std::filesystem::temp_directory_path() /
          ("ql_texture_image_" + std::to_string(::testing::UnitTest::GetInstance()->random_seed()) + "_" +
           ::testing::UnitTest::GetInstance()->current_test_info()->name());
    std::filesystem::remove_all(dir);
    std::filesystem::create_directories(dir / "\xE7\xBA\xB9\xE7\x90\x86");  // 纹理 (UTF-8 on disk)
  }
  void TearDown() override { std::filesystem::remove_all(dir); }
  std::string modulePath(const std::filesystem::path& p) {
    auto gbk = paths::fromNative(p);
    EXPECT_TRUE(gbk.ok());
    return gbk.ok() ? *gbk : std::string();
  }
  std::filesystem::path dir;
};

TEST_F(TextureFiles, LoadsThroughAGbkPathIgnoringCase) {
  const Bytes file = concat(tgaHeader(2, 1, 1, 24, 0), {0, 0, 255});
  const auto onDisk = dir / "\xE7\xBA\xB9\xE7\x90\x86" / "NM001B01.TGA";
  std::ofstream(onDisk, std::ios::binary).write(reinterpret_cast<const char*>(file.data()), std::streamsize(file.size()));
  std::string path = modulePath(dir / "\xE7\xBA\xB9\xE7\x90\x86" / "nm001b01.tga");
  ASSERT_NE(path.find('\\'), std::string::npos);
  auto img = loadImageFile(path);
  ASSERT_TRUE(img.ok()) << img.error().message;
  EXPECT_EQ(rgbaAt(*img, 0, 0), kRed);
}

TEST_F(TextureFiles, MissingEmptyAndInvalidPathsFail) {
  std::ofstream(dir / "empty.tga").close();
  EXPECT_FALSE(loadImageFile(modulePath(dir / "none.tga")).ok());
  EXPECT_FALSE(loadImageFile(modulePath(dir / "empty.tga")).ok());
  EXPECT_FALSE(loadImageFile(modulePath(dir)).ok());  // a folder
  EXPECT_FALSE(loadImageFile("").ok());
  EXPECT_FALSE(loadImageFile("\\tmp\\\x81").ok());  // a lead byte with no trail: no GBK
}

}  // namespace
}  // namespace ql::gl
