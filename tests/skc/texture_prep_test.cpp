// Texture release and preparation after a model load, through the real
// program: which files are converted (and where), which slots get textures,
// and what is logged.
#include <string>
#include <vector>

#include "model/model_store.h"
#include "module/support/gl.h"
#include "module/support/globals.h"
#include "module/support/kernel.h"
#include "tests/e2e/app_fixture.h"
#include "tests/skc/skc_test_support.h"
#include "ui/units.h"

namespace ql::e2e {
namespace {

using skctest::copyStore;
using skctest::headLines;
using skctest::joinLines;
using skctest::StoreCopy;

std::string modelWithTextures(const std::vector<std::string>& textures) {
  auto lines = headLines(textures);
  lines.push_back("  Vertices: 1");
  lines.push_back("    v   1 2 3 vt 0 1 Bones 1 0 1");
  lines.push_back("  Triangles: 1");
  lines.push_back("    f 3  0 0 0 0");
  lines.push_back("}");
  return joinLines(lines);
}

class TexturePrep : public AppFixture {
 protected:
  void SetUp() override {
    AppFixture::SetUp();
    seedFinishedFirstStart();
  }
  std::string texturePath(const std::string& name) { return programFolderText() + "\\lx_ptx_tmp\\" + name; }

  // The textures of every kind the preparation tells apart.
  void writeTextures() {
    writeBytes(textureDir() / "a.tga", tinyTga());
    writeBytes(textureDir() / "c.dds", tinyTga());   // any other extension: converted
    writeBytes(textureDir() / "D.TGA", tinyTga());   // upper case: converted as well
    writeBytes(gameDir() / "evil.jpg", tinyTga());   // reachable only with ".."
  }
  const std::vector<std::string> kTextures = {"a.tga", "b.bmp", "c.dds", "D.TGA", "noext", "..\\..\\evil.jpg"};
};

TEST_F(TexturePrep, ConvertsOnlyInsideTheTextureFolderAndHarmlessWithoutContext) {
  writeTextures();
  writeBytes(gameDir() / "pmodel" / "m.skc", modelWithTextures(kTextures));
  StoreCopy s;
  step([&] {
    ASSERT_TRUE(chooseModel(0).ok());
    s = copyStore();
  });
  answerBox();  // "k1"
  run();
  expectCleanEnd();

  // Converted beside the texture: c.dds and D.TGA; nothing for a.tga, b.bmp.
  EXPECT_TRUE(exists(textureDir() / "c.bmp"));
  EXPECT_TRUE(exists(textureDir() / "D.bmp"));
  EXPECT_FALSE(exists(textureDir() / "a.bmp"));
  // The name that climbs out of the folder is neither converted nor loaded.
  EXPECT_FALSE(exists(gameDir() / "evil.bmp"));
  EXPECT_FALSE(exists(programDir() / "evil.bmp"));

  // No context: no texture names, and nothing to report as not loaded.
  EXPECT_EQ(s.textureIds, std::vector<int32_t>(kTextures.size(), 0));
  const auto log = finalLogLines();
  ASSERT_GE(log.size(), 2u);
  EXPECT_EQ(log[log.size() - 2], gbk("纹理文件不在纹理目录中，未载入 [") + texturePath("..\\..\\evil.jpg") + "]")
      << utf8(finalLog());
  EXPECT_EQ(log.back(), gbk("载入顶点 [1] 个！ 成功"));
}

TEST_F(TexturePrep, WithAContextEachTextureGetsANameAndFailuresAreNamed) {
  if (!useOffscreenGl()) GTEST_SKIP() << "no offscreen OpenGL in this build";
  writeTextures();
  writeBytes(gameDir() / "pmodel" / "m.skc", modelWithTextures(kTextures));
  bool haveContext = false;
  StoreCopy s;
  step([&] { haveContext = makeViewContextCurrent(); });
  step([&] {
    if (!haveContext) return;
    ASSERT_TRUE(chooseModel(0).ok());
    s = copyStore();
  });
  answerBox();  // "k1"
  run();
  if (!haveContext) GTEST_SKIP() << "the drawing area gave no GL context";
  expectCleanEnd();

  ASSERT_EQ(s.textureIds.size(), kTextures.size());
  EXPECT_NE(s.textureIds[0], 0);  // a.tga
  EXPECT_NE(s.textureIds[1], 0);  // b.bmp: a name, though its file is missing
  EXPECT_NE(s.textureIds[2], 0);  // c.dds through c.bmp
  EXPECT_NE(s.textureIds[3], 0);  // D.TGA through D.bmp
  EXPECT_EQ(s.textureIds[4], 0);  // no dot: skipped
  EXPECT_EQ(s.textureIds[5], 0);  // outside the folder
  // Only the missing b.bmp is reported, after the preparation.
  const auto log = finalLogLines();
  ASSERT_GE(log.size(), 3u);
  EXPECT_EQ(log[log.size() - 3], gbk("纹理文件不在纹理目录中，未载入 [") + texturePath("..\\..\\evil.jpg") + "]");
  EXPECT_EQ(log[log.size() - 2], gbk("纹理文件载入失败 [") + texturePath("b.bmp") + "]") << utf8(finalLog());
}

}  // namespace
}  // namespace ql::e2e
