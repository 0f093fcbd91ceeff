// Textures of an imported OBJ model, through the real program: the names of
// its material library are joined to the OBJ's folder (or are full paths of
// their own), so that is where they must stay, not the texture folder of the
// game models.
#include <string>
#include <vector>

#include "game/textures.h"
#include "module/support/gl.h"
#include "module/support/globals.h"
#include "module/support/kernel.h"
#include "module/support/support.h"
#include "tests/e2e/app_fixture.h"
#include "ui/units.h"

namespace ql::e2e {
namespace {

constexpr char kImportMenu[] = "文件/打开/打开OBJ格式";

// One triangle using the first material; one newmtl + map_Kd per texture.
std::string objText() { return "mtllib m.mtl\r\nv 0 0 0\r\nvt 0 0\r\nusemtl m1\r\nf 1/1 1/1 1/1"; }
std::string mtlText(const std::vector<std::string>& textures) {
  std::string s;
  for (size_t i = 0; i < textures.size(); ++i)
    s += "newmtl m" + std::to_string(i + 1) + "\r\nmap_Kd " + textures[i] + "\r\n";
  return s;
}

struct Imported {
  std::vector<std::string> texturePaths;
  std::vector<int32_t> textureIds;
};

Imported imported() {
  Imported m;
  for (uint64_t i = 1; i <= store::texturePaths().count(); ++i)
    m.texturePaths.emplace_back(store::texturePaths().text(int32_t(i)).view());
  for (uint64_t i = 1; i <= store::textureIds().count(); ++i) m.textureIds.push_back(store::textureIds().get(int32_t(i)));
  return m;
}

class ObjTextures : public AppFixture {
 protected:
  void SetUp() override {
    AppFixture::SetUp();
    seedFinishedFirstStart();
  }
  fs::path objDir() const { return programDir() / "models" / "obj"; }
  std::string objFolder() const { return modulePath(objDir()); }
  // The log lines that refuse a texture path, without their prefix.
  std::vector<std::string> refused() const {
    const std::string prefix = gbk("纹理文件不在纹理目录中，未载入 [");
    std::vector<std::string> out;
    for (const auto& line : finalLogLines())
      if (line.rfind(prefix, 0) == 0) out.push_back(line.substr(prefix.size()));
    return out;
  }
};

TEST_F(ObjTextures, NamesBesideTheObjAndFullPathsArePreparedClimbingNamesAreNot) {
  // Files the converter turns into BMPs beside themselves: that a BMP
  // appears shows the texture was taken, without needing a GL context.
  writeBytes(objDir() / "skin.dds", tinyTga());
  writeBytes(objDir() / "sub" / "hair.dds", tinyTga());
  writeBytes(programDir() / "elsewhere" / "far.dds", tinyTga());
  writeBytes(objDir().parent_path() / "up.dds", tinyTga());    // ..\up.dds
  writeBytes(programDir() / "evil.dds", tinyTga());             // sub\..\..\..\evil.dds
  writeBytes(programDir() / "elsewhere" / "x.dds", tinyTga());  // a full path stepping up
  fs::create_directories(programDir() / "elsewhere" / "sub");    // so that the step up would resolve
  const std::string far = modulePath(programDir() / "elsewhere" / "far.dds");
  const std::string climbingFull = modulePath(programDir() / "elsewhere" / "sub") + "\\..\\x.dds";
  writeBytes(objDir() / "m.obj", objText());
  writeBytes(objDir() / "m.mtl",
             mtlText({"skin.dds", "sub\\hair.dds", far, "..\\up.dds", "sub\\..\\..\\..\\evil.dds", climbingFull}));
  Imported m;
  step([&] {
    ASSERT_TRUE(clickMenu(kImportMenu).ok());
    m = imported();
  });
  confirmDialog(objDir() / "m.obj");
  run();
  expectCleanEnd();
  EXPECT_TRUE(boxes().empty());

  const std::string folder = objFolder();
  EXPECT_EQ(m.texturePaths,
            (std::vector<std::string>{folder + "\\skin.dds", folder + "\\sub\\hair.dds", far, folder + "\\..\\up.dds",
                                      folder + "\\sub\\..\\..\\..\\evil.dds", climbingFull}));
  EXPECT_EQ(m.textureIds, std::vector<int32_t>(6, 0));  // no GL context: no names
  EXPECT_TRUE(exists(objDir() / "skin.bmp"));
  EXPECT_TRUE(exists(objDir() / "sub" / "hair.bmp"));
  EXPECT_TRUE(exists(programDir() / "elsewhere" / "far.bmp"));
  // Names that climb out of the folder they were joined to: neither
  // converted nor loaded, and named in the log.
  EXPECT_FALSE(exists(objDir().parent_path() / "up.bmp"));
  EXPECT_FALSE(exists(programDir() / "evil.bmp"));
  EXPECT_FALSE(exists(programDir() / "elsewhere" / "x.bmp"));
  EXPECT_EQ(refused(), (std::vector<std::string>{folder + "\\..\\up.dds]", folder + "\\sub\\..\\..\\..\\evil.dds]",
                                                 climbingFull + "]"}))
      << utf8(finalLog());
  EXPECT_EQ(finalLogLines().back(), gbk("载入顶点 [1] 个！ 成功"));
}

TEST_F(ObjTextures, WithAContextTheTexturesBesideTheObjLoad) {
  if (!useOffscreenGl()) GTEST_SKIP() << "no offscreen OpenGL in this build";
  writeBytes(objDir() / "skin.tga", tinyTga());
  writeBytes(objDir() / "hair.png", tinyTga());
  writeBytes(programDir() / "elsewhere" / "far.tga", tinyTga());
  writeBytes(objDir().parent_path() / "up.tga", tinyTga());
  const std::string far = modulePath(programDir() / "elsewhere" / "far.tga");
  writeBytes(objDir() / "m.obj", objText());
  writeBytes(objDir() / "m.mtl", mtlText({"skin.tga", "hair.png", far, "..\\up.tga", "missing.tga"}));
  bool haveContext = false;
  Imported m;
  step([&] { haveContext = makeViewContextCurrent(); });
  step([&] {
    if (!haveContext) return;
    ASSERT_TRUE(clickMenu(kImportMenu).ok());
    m = imported();
  });
  confirmDialog(objDir() / "m.obj");
  run();
  if (!haveContext) GTEST_SKIP() << "the drawing area gave no GL context";
  expectCleanEnd();

  ASSERT_EQ(m.textureIds.size(), 5u);
  EXPECT_NE(m.textureIds[0], 0);  // skin.tga beside the OBJ
  EXPECT_NE(m.textureIds[1], 0);  // hair.png through hair.bmp
  EXPECT_NE(m.textureIds[2], 0);  // a full path
  EXPECT_EQ(m.textureIds[3], 0);  // climbs out of the OBJ's folder
  EXPECT_NE(m.textureIds[4], 0);  // a name, though its file is missing
  const std::string folder = objFolder();
  EXPECT_EQ(refused(), (std::vector<std::string>{folder + "\\..\\up.tga]"})) << utf8(finalLog());
  // Only the missing file is reported as not loaded.
  std::vector<std::string> failed;
  const std::string prefix = gbk("纹理文件载入失败 [");
  for (const auto& line : finalLogLines())
    if (line.rfind(prefix, 0) == 0) failed.push_back(line.substr(prefix.size()));
  EXPECT_EQ(failed, (std::vector<std::string>{folder + "\\missing.tga]"})) << utf8(finalLog());
}

// The check itself, byte-wise, for the paths a material library can give.
TEST(ObjTexturePaths, FullPathsThatDoNotClimb) {
  struct Case {
    const char* path;
    bool full;
    bool allowed;
  };
  const Case cases[] = {
      {"C:\\x\\a.tga", true, true},
      {"c:/x/a.tga", true, true},
      {"\\tmp\\x\\a.tga", true, true},          // a Linux path as the runtime maps it
      {"\\\\server\\share\\a.tga", true, true},  // a network share
      {"C:\\x\\..\\a.tga", true, false},
      {"\\tmp\\x\\..\\..\\a.tga", true, false},
      {"C:\\x/../a.tga", true, false},
      {"C:\\x\\D:\\a.tga", true, false},  // a second drive inside
      {"\\tmp\\a.tga:stream", true, false},
      {"C:\\x\\..a.tga", true, true},  // a name starting with dots, not a step up
      {"a.tga", false, false},
      {"sub\\a.tga", false, false},
      {"..\\a.tga", false, false},
      {"C:a.tga", false, false},  // relative to the drive's current folder
      {"", false, false},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(game::isFullPath(c.path), c.full) << c.path;
    EXPECT_EQ(game::fullPathWithoutClimbing(c.path), c.allowed) << c.path;
  }
}

}  // namespace
}  // namespace ql::e2e
