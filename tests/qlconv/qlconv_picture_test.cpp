// qlconv's pictures as users make them: each model drawn as the view shows
// it after a fresh load, and the contact sheet of the sample game's models,
// compared with its baseline (tests/qlconv/baselines/sample_sheet.png) as the
// view's render tests compare theirs: at most 0.5% of the pixels may differ
// by more than 16 in a channel. A sheet that does not match is written to
// render-output/ in the build folder.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/qlconv/qlconv_support.h"
#include "tools/picture/picture.h"

namespace ql::qlconv {
namespace {

namespace fs = std::filesystem;
using picture::Picture;
using picture::Rgba;
using test::Ran;

const fs::path kQlconv = QLCONV_BINARY;
const fs::path kSampleModels = QLCONV_SAMPLE_MODELS;
constexpr int kBaselineTolerance = 16;
constexpr double kBaselineShare = 0.005;

bool isWhite(Rgba p) { return p.r > 240 && p.g > 240 && p.b > 240; }
bool isRed(Rgba p) { return p.r > 200 && p.g < 60 && p.b < 60; }

// Pixels of the picture for which `pred` holds.
template <class Pred>
int64_t count(const Picture& p, Pred pred) {
  int64_t n = 0;
  for (int32_t y = 0; y < p.height; ++y)
    for (int32_t x = 0; x < p.width; ++x) n += pred(p.at(x, y)) ? 1 : 0;
  return n;
}

class QlconvPictures : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(temp_.ok());
    root_ = temp_.path();
    ASSERT_TRUE(fs::is_directory(kSampleModels)) << kSampleModels << ": build the sample_game target";
  }
  Ran qlconv(std::vector<std::string> args) { return test::runProgram(kQlconv, args, root_); }
  Picture read(const fs::path& file) {
    auto p = picture::readPng(root_ / file);
    EXPECT_TRUE(p.ok()) << (p.ok() ? "" : p.error().message);
    return p.ok() ? *p : Picture{};
  }
  // A model alone in a folder that holds no textures.
  void modelWithoutTextures(const std::string& name) {
    fs::create_directories(root_ / "alone");
    fs::copy_file(kSampleModels / (name + ".skc"), root_ / "alone" / (name + ".skc"));
  }
  test::TempDir temp_;
  fs::path root_;
};

TEST_F(QlconvPictures, TheSampleSheetShowsEveryModelWithItsName) {
  const Ran r = qlconv({"--sheet", "sheet.png", kSampleModels.string()});
  ASSERT_EQ(r.exitStatus, 0) << r.err;
  EXPECT_NE(r.err.find("qlconv: wrote " + (root_ / "sheet.png").string() + ": 4 models\n"), std::string::npos)
      << r.err;
  EXPECT_EQ(r.err.find("did not load"), std::string::npos) << "the textures come from the game's package";
  const Picture sheet = read("sheet.png");
  const auto mismatch =
      picture::baselineMismatch(sheet, fs::path(QLCONV_BASELINES) / "sample_sheet.png",
                                fs::path(QLCONV_RENDER_OUTPUT) / "sample_sheet.png", kBaselineTolerance, kBaselineShare);
  EXPECT_FALSE(mismatch.has_value()) << mismatch.value_or("");
}

TEST_F(QlconvPictures, APictureHasItsSizeAndBackground) {
  fs::create_directories(root_ / "game/pmodel");
  fs::copy_file(kSampleModels / "hero01.skc", root_ / "game/pmodel/hero01.skc");
  fs::copy_file(kSampleModels.parent_path() / "ptexture.pak", root_ / "game/ptexture.pak");
  Ran r = qlconv({"--to", "png", "--size", "300x200", "-o", "white", "game/pmodel"});
  ASSERT_EQ(r.exitStatus, 0) << r.err;
  r = qlconv({"--to=png", "--size=300x200", "--background=transparent", "-o", "clear", "game/pmodel/hero01.skc"});
  ASSERT_EQ(r.exitStatus, 0) << r.err;
  const Picture white = read("white/hero01.png"), clear = read("clear/hero01.png");
  ASSERT_EQ(white.width, 300);
  ASSERT_EQ(white.height, 200);
  ASSERT_EQ(clear.width, 300);
  EXPECT_EQ(white.at(0, 0), (Rgba{255, 255, 255, 255}));
  EXPECT_EQ(clear.at(0, 0), (Rgba{0, 0, 0, 0}));
  // The same model on either background: every pixel that is not
  // background is the same, opaque.
  int64_t model = 0, differ = 0;
  for (int32_t y = 0; y < 200; ++y)
    for (int32_t x = 0; x < 300; ++x) {
      const Rgba c = clear.at(x, y), w = white.at(x, y);
      if (c.a == 0) {
        differ += w == Rgba{255, 255, 255, 255} ? 0 : 1;
        continue;
      }
      ++model;
      differ += (c.a == 255 && c.r == w.r && c.g == w.g && c.b == w.b) ? 0 : 1;
    }
  EXPECT_EQ(differ, 0);
  // The model stands in the middle, four fifths of the height.
  EXPECT_GT(model, 200 * 300 / 20);
  int32_t top = -1, bottom = -1;
  for (int32_t y = 0; y < 200; ++y)
    for (int32_t x = 0; x < 300; ++x)
      if (clear.at(x, y).a != 0) {
        if (top < 0) top = y;
        bottom = y;
      }
  // The front of its bounds fills four fifths; the figure itself, behind
  // its feet, a little less.
  EXPECT_LE(bottom - top + 1, 161);
  EXPECT_GE(bottom - top + 1, 0.72 * 200);
  EXPECT_NEAR((top + bottom + 1) / 2.0, 100, 6);
}

TEST_F(QlconvPictures, TexturesComeFromTheGivenFolderOrPackageAndMissingOnesAreSaid) {
  modelWithoutTextures("guard02");
  // No package beside it and no lx_ptx_tmp: the model is drawn red, and said so.
  Ran r = qlconv({"--to", "png", "-o", "none", "alone"});
  ASSERT_EQ(r.exitStatus, 0) << r.err;
  EXPECT_NE(r.err.find("alone/guard02.skc: 4 textures did not load; the model shows red there, as in the tool\n"),
            std::string::npos)
      << r.err;
  const int64_t redWithout = count(read("none/guard02.png"), isRed);
  EXPECT_GT(redWithout, 1000);

  // The package given, the same textures unpacked into a folder, and that
  // folder as ./lx_ptx_tmp: the same picture.
  const fs::path package = kSampleModels.parent_path() / "ptexture.pak";
  r = qlconv({"--to", "png", "--textures", package.string(), "-o", "pak", "alone"});
  ASSERT_EQ(r.exitStatus, 0) << r.err;
  EXPECT_EQ(r.err.find("did not load"), std::string::npos) << r.err;
  const Picture fromPackage = read("pak/guard02.png");
  EXPECT_LT(count(fromPackage, isRed), redWithout / 100) << "textured, not red";
  fs::create_directories(root_ / "lx_ptx_tmp");
  ASSERT_EQ(test::runProgram(QLCONV_UNPACKER,
                             {"e", package.string(), (root_ / "lx_ptx_tmp").string() + "/"}, root_)
                .exitStatus,
            0);
  const auto before = test::filesUnder(root_ / "lx_ptx_tmp");
  r = qlconv({"--to", "png", "--textures", "lx_ptx_tmp", "-o", "folder", "alone"});
  ASSERT_EQ(r.exitStatus, 0) << r.err;
  r = qlconv({"--to", "png", "-o", "beside", "alone"});
  ASSERT_EQ(r.exitStatus, 0) << r.err;
  for (const char* made : {"folder/guard02.png", "beside/guard02.png"}) {
    const picture::Difference d = picture::compare(read(made), fromPackage, 0);
    EXPECT_TRUE(d.sameSize && d.differing == 0) << made << ": " << d.differing << " pixels differ";
  }
  EXPECT_EQ(test::filesUnder(root_ / "lx_ptx_tmp"), before) << "the user's texture folder is only read";

  r = qlconv({"--to", "png", "--textures", "nowhere", "-o", "x", "alone"});
  EXPECT_EQ(r.exitStatus, 1);
  EXPECT_NE(r.err.find("alone/guard02.skc: not converted: --textures: " + (root_ / "nowhere").string() +
                       " is neither a folder nor a texture package\n"),
            std::string::npos)
      << r.err;
  test::writeFile(root_ / "broken.pak", "not an archive");
  r = qlconv({"--to", "png", "--textures", "broken.pak", "-o", "x", "alone"});
  EXPECT_EQ(r.exitStatus, 1);
  EXPECT_NE(r.err.find("not converted: the texture package " + (root_ / "broken.pak").string() +
                       " could not be unpacked\n"),
            std::string::npos)
      << r.err;
}

TEST_F(QlconvPictures, AModelThatCannotBeDrawnIsCrossedOutOnTheSheet) {
  modelWithoutTextures("monk03");
  test::writeFile(root_ / "alone/broken.skc", "# Character Skin Export\r\n{\r\n}");
  const Ran r = qlconv({"--sheet", "sheet.png", "--size", "64x64", "alone"});
  EXPECT_EQ(r.exitStatus, 1);
  EXPECT_NE(r.err.find("alone/broken.skc: not converted: no model was read from "), std::string::npos) << r.err;
  EXPECT_NE(r.err.find(": 2 models, 1 not drawn (crossed out)\n"), std::string::npos) << r.err;
  const Picture sheet = read("sheet.png");
  // Two cells side by side: broken.skc (the model list's order) first, grey.
  ASSERT_GT(sheet.width, 2 * 64);
  EXPECT_EQ(sheet.at(8 + 32, 8 + 20), (Rgba{225, 225, 225, 255}));
  EXPECT_FALSE(isWhite(sheet.at(8 + 72 + 32, 8 + 32))) << "the monk in the second cell";
}

}  // namespace
}  // namespace ql::qlconv
