// The module-wide variables: start-up shapes and the clean-up at exit.
#include "fixture.h"

namespace {

using namespace ql;

TEST_F(ModuleSupport, InitialisationGivesTheStartUpShapes) {
  initGlobals();
  EXPECT_EQ(words(vars.materialLibrary, 2), (std::vector<uint32_t>{1, 0}));
  EXPECT_EQ(words(vars.vertexTable, 7), (std::vector<uint32_t>{1, 5, 0, 0, 0, 0, 0}));
  EXPECT_EQ(words(vars.boneTexts, 2), (std::vector<uint32_t>{1, 0}));
  EXPECT_EQ(words(vars.triangleTable, 7), (std::vector<uint32_t>{1, 5, 0, 0, 0, 0, 0}));
  EXPECT_EQ(words(vars.texturePaths, 2), (std::vector<uint32_t>{1, 0}));
  EXPECT_EQ(words(vars.textureIds, 2), (std::vector<uint32_t>{1, 0}));
  EXPECT_EQ(rt.liveBlocks(), 6u);
  EXPECT_EQ(vars.skcHead, nullptr);
  EXPECT_EQ(vars.modelLoaded, 0);
  cleanupGlobals();
}

TEST_F(ModuleSupport, CleanUpFreesEveryTextAndListOfALoadedModel) {
  initGlobals();
  store::winrarPath().set("\"C:\\WinRAR\\WinRAR.exe\"");
  store::textureFolder().set("C:\\tool\\lx_ptx_tmp");
  store::gameFolder().set("C:\\game");
  store::skcHead().set("# head\r\n");
  store::modelFileName().set("a.skc");
  store::materialLibrary().append(newMaterialEntry("m1", "t1.tga"));
  store::materialLibrary().append(newMaterialEntry("m2", ""));
  store::vertexTable().dimension(3, 5);
  store::vertexTable().at(3, 5) = 0.25f;
  store::triangleTable().dimension(2, 4);
  for (const char* bone : {"2 8 0.5  9 0.5", "1 3 1.0", ""}) store::boneTexts().appendText(bone);
  store::texturePaths().dimension(2);
  store::texturePaths().setText("C:\\tool\\lx_ptx_tmp\\t1.tga", 1);  // entry 2 stays absent
  store::textureIds().dimension(2);
  store::textureIds().at(1) = 4;
  ASSERT_GT(rt.liveBlocks(), 6u);

  cleanupGlobals();
  EXPECT_EQ(rt.liveBlocks(), 0u);
  EXPECT_EQ(vars.materialLibrary, nullptr);
  EXPECT_EQ(vars.vertexTable, nullptr);
  EXPECT_EQ(vars.gameFolder, nullptr);
  EXPECT_EQ(vars.modelFileName, nullptr);
  cleanupGlobals();  // a second run finds nothing to free
}

TEST_F(ModuleSupport, CleanUpOfTheUntouchedZeroBlockFreesNothing) {
  cleanupGlobals();
  EXPECT_EQ(rt.badFrees, 0);
}

}  // namespace
