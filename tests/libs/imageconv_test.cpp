// The image-conversion library, loaded from the runtime folder: images of
// several formats written by the test in a folder with a Chinese name,
// addressed by GBK module paths that differ from the files in letter case.
#include <gtest/gtest.h>

#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "common/stb_private.h"

#include "runtime/paths/paths.h"
#include "common/temp_folder.h"
#include "common/utf8_path.h"
#include "tests/libs/lib_host.h"

namespace ql::test {
namespace {
namespace fs = std::filesystem;

using ql::u8path;

constexpr int32_t kConvert = 0x004;
constexpr int kWidth = 8, kHeight = 6;

// A picture with a distinct colour per quadrant, so that a flipped or
// shifted conversion shows.
std::vector<unsigned char> quadrants(int channels) {
  std::vector<unsigned char> px(size_t(kWidth) * kHeight * channels);
  for (int y = 0; y < kHeight; ++y)
    for (int x = 0; x < kWidth; ++x) {
      unsigned char* p = &px[(size_t(y) * kWidth + x) * channels];
      const bool right = x >= kWidth / 2, bottom = y >= kHeight / 2;
      p[0] = right ? 220 : 20;
      p[1] = bottom ? 200 : 40;
      p[2] = right && bottom ? 250 : 60;
      if (channels == 4) p[3] = 128;
    }
  return px;
}

std::string readFile(const fs::path& p) {
  std::ifstream in(p, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

class ImageConvLibrary : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    lib_ = new LoadedLibrary(support::kImageConvFile);
    ASSERT_TRUE(lib_->loaded()) << lib_->error();
    ASSERT_NE(lib_->init(countingHost()), 0);
  }
  static void TearDownTestSuite() {
    delete lib_;
    lib_ = nullptr;
  }
  void SetUp() override {
    root_ = fs::temp_directory_path() / ("ql_imgcv_test_" + std::to_string(getpid()));
    folder_ = root_ / u8path("纹理 测试");
    fs::create_directories(folder_);
    blocksBefore_ = liveBlocks();
  }
  void TearDown() override {
    EXPECT_EQ(liveBlocks(), blocksBefore_);
    std::error_code ec;
    fs::remove_all(root_, ec);
  }

  // The module's form of a native path: GBK, backslashes.
  static std::string modulePath(const fs::path& native) {
    auto gbk = paths::fromNative(native);
    EXPECT_TRUE(gbk.ok()) << gbk.error().message;
    return gbk.ok() ? *gbk : std::string();
  }

  bool convert(const std::string& source, const std::string& target) {
    ArgList args;
    args.text(source.c_str()).text(target.c_str());
    auto r = lib_->call(kConvert, args.record());
    EXPECT_EQ(r.tag, abi::kTagBool);
    return r.value != 0;
  }

  static LoadedLibrary* lib_;
  fs::path root_, folder_;
  size_t blocksBefore_ = 0;
};
LoadedLibrary* ImageConvLibrary::lib_ = nullptr;

enum class Format { Tga, Jpeg, Png, Bmp };

struct FormatCase {
  const char* name;
  Format format;
  const char* fileOnDisk;    // as the archive holds it
  const char* nameInModel;   // as the model names it
  int channels;
  int tolerance;             // per channel; JPEG is lossy
};

void appendTo(void* context, void* data, int size) {
  static_cast<std::string*>(context)->append(static_cast<const char*>(data), size_t(size));
}

// Encoded in memory and written through the path, so that the Chinese names
// reach the file system the same way on every system.
void writeImage(const FormatCase& c, const fs::path& path) {
  const auto px = quadrants(c.channels);
  std::string bytes;
  int ok = 0;
  switch (c.format) {
    case Format::Tga: ok = stbi_write_tga_to_func(appendTo, &bytes, kWidth, kHeight, c.channels, px.data()); break;
    case Format::Jpeg:
      ok = stbi_write_jpg_to_func(appendTo, &bytes, kWidth, kHeight, c.channels, px.data(), 100);
      break;
    case Format::Png: ok = stbi_write_png_to_func(appendTo, &bytes, kWidth, kHeight, c.channels, px.data(), 0); break;
    case Format::Bmp: ok = stbi_write_bmp_to_func(appendTo, &bytes, kWidth, kHeight, c.channels, px.data()); break;
  }
  ASSERT_NE(ok, 0) << "cannot encode " << c.name;
  std::ofstream out(path, std::ios::binary);
  out.write(bytes.data(), std::streamsize(bytes.size()));
  ASSERT_TRUE(out.good()) << "cannot write " << path;
}

TEST_F(ImageConvLibrary, ConvertsEachFormatToA24BitBmp) {
  const FormatCase table[] = {
      {"tga_rgba_upper_case", Format::Tga, "人物.TGA", "人物.tga", 4, 0},
      {"jpeg_upper_case", Format::Jpeg, "nm001f01.JPG", "nm001f01.jpg", 3, 24},
      {"png_mixed_case", Format::Png, "Skin.Png", "SKIN.png", 3, 0},
      {"png_rgba", Format::Png, "透明.png", "透明.png", 4, 0},
      // X.BMP becomes X.bmp: on a case-blind file system, the same file.
      {"bmp_upper_case_in_place", Format::Bmp, "旧.BMP", "旧.bmp", 3, 0},
  };
  const auto expected = quadrants(3);
  for (const auto& c : table) {
    SCOPED_TRACE(c.name);
    writeImage(c, folder_ / u8path(c.fileOnDisk));
    const std::string base = std::string(c.nameInModel).substr(0, std::string(c.nameInModel).rfind('.'));
    const std::string source = modulePath(folder_ / u8path(c.nameInModel));
    const std::string target = modulePath(folder_ / u8path(base + ".bmp"));
    ASSERT_TRUE(convert(source, target));

    const fs::path written = paths::resolve(folder_ / u8path(base + ".bmp"));
    ASSERT_TRUE(fs::exists(written)) << written;
    const std::string bmp = readFile(written);
    ASSERT_GT(bmp.size(), 54u);
    EXPECT_EQ(bmp.substr(0, 2), "BM");
    EXPECT_EQ(static_cast<unsigned char>(bmp[28]), 24) << "bits per pixel";

    int w = 0, h = 0, n = 0;
    stbi_uc* px = stbi_load_from_memory(reinterpret_cast<const stbi_uc*>(bmp.data()), int(bmp.size()), &w, &h,
                                        &n, 3);
    ASSERT_NE(px, nullptr);
    EXPECT_EQ(w, kWidth);
    EXPECT_EQ(h, kHeight);
    int worst = 0;
    for (size_t i = 0; i < expected.size(); ++i) worst = std::max(worst, std::abs(int(px[i]) - int(expected[i])));
    stbi_image_free(px);
    EXPECT_LE(worst, c.tolerance);
  }
}

TEST_F(ImageConvLibrary, ExistingTargetInAnotherCaseIsReplaced) {
  writeImage({"png", Format::Png, "", "", 3, 0}, folder_ / "a.png");
  { std::ofstream(folder_ / "A.BMP") << "old"; }
  ASSERT_TRUE(convert(modulePath(folder_ / "a.png"), modulePath(folder_ / "a.bmp")));
  // One file, the new picture: not a second one next to the one Windows would replace.
  std::vector<fs::path> bmps;
  for (const auto& entry : fs::directory_iterator(folder_))
    if (paths::equalsIgnoringAsciiCase(entry.path().filename().string(), "a.bmp")) bmps.push_back(entry.path());
  ASSERT_EQ(bmps.size(), 1u);
  EXPECT_EQ(readFile(bmps[0]).substr(0, 2), "BM");
}

TEST_F(ImageConvLibrary, FailuresReturnFalseAndLeaveTheTargetAlone) {
  { std::ofstream(folder_ / "notes.png") << "not an image"; }
  {
    // A PNG cut after its header: recognised, but not decodable.
    writeImage({"png", Format::Png, "", "", 3, 0}, folder_ / "whole.png");
    const std::string whole = readFile(folder_ / "whole.png");
    std::ofstream(folder_ / "cut.png", std::ios::binary) << whole.substr(0, 40);
  }
  { std::ofstream(folder_ / "keep.bmp") << "previous content"; }
  const std::string keep = modulePath(folder_ / "keep.bmp");
  struct {
    const char* name;
    std::string source;
    std::string target;
  } const table[] = {
      {"missing_source", modulePath(folder_ / "missing.jpg"), keep},
      {"not_an_image", modulePath(folder_ / "notes.png"), keep},
      {"truncated_png", modulePath(folder_ / "cut.png"), keep},
      {"empty_source", "", keep},
      {"source_is_a_folder", modulePath(folder_), keep},
      {"target_folder_missing", modulePath(folder_ / "whole.png"), modulePath(folder_ / "no" / "x.bmp")},
      {"empty_target", modulePath(folder_ / "whole.png"), ""},
  };
  for (const auto& row : table) {
    SCOPED_TRACE(row.name);
    EXPECT_FALSE(convert(row.source, row.target));
    EXPECT_EQ(readFile(folder_ / "keep.bmp"), "previous content");
  }
  EXPECT_FALSE(fs::exists(folder_ / "no"));
  // No half-written files stay behind.
  for (const auto& entry : fs::directory_iterator(folder_))
    EXPECT_NE(entry.path().extension(), ".part") << entry.path();
}

TEST_F(ImageConvLibrary, ShortRecordAndUnknownCommand) {
  EXPECT_FALSE(convert("", ""));
  auto r = lib_->call(kConvert, ArgList().record());
  EXPECT_EQ(r.tag, abi::kTagBool);
  EXPECT_EQ(r.value, 0u);
  r = lib_->call(0x008, ArgList().record());
  EXPECT_EQ(r.tag, abi::kTagOmitted);
}

}  // namespace
}  // namespace ql::test
