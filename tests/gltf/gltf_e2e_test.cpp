// The glTF menu commands in the real program: a game model chosen in the
// list, exported to .glb with its textures, imported again and saved as SKC.
#include <bit>
#include <sstream>

#include "formats/gltf_library.h"
#include "model/skc_writer.h"
#include "module/support/support.h"
#include "tests/e2e/app_fixture.h"

namespace ql::e2e {
namespace {

constexpr char kExportMenu[] = "文件/输出/glTF格式";
constexpr char kImportMenu[] = "文件/打开/打开glTF格式";

// A model as the game writes it: two materials (a texture of each kind the
// export converts or takes as it is, one missing), bone texts of one to five
// influences.
std::string gameSkc(const char* secondTexture = "b.bmp") {
  std::string s =
      "# Character Skin Export for Interserv\r\n#\t\t\t\tA Modeller\r\nStatic Skins: 1 Dynamic Skins: 0\r\n"
      "Static Skin S_01\r\n{\r\n  Materials: 3\r\n"
      "  Material\r\n    Texture   a.tga\r\n    Option    NONE\r\n    TwoSide   TRUE\r\n"
      "  Material\r\n    Texture   ";
  s += secondTexture;
  s += "\r\n    Option    ALPHA\r\n    TwoSide   FALSE\r\n"
       "  Material\r\n    Texture   gone.tga\r\n    Option    NONE\r\n    TwoSide   FALSE\r\n"
       "  Vertices: 5\r\n"
       "    v   0.00000   0.00000   0.00000 vt 0.000 0.000 Bones 1 3 1.00000\r\n"
       "    v   1.00000   0.00000   0.00000 vt 1.000 0.000 Bones 2 11 0.83333  2 0.16667\r\n"
       "    v   1.00000   1.00000  41.00000 vt 1.000 1.000 Bones 5 1 0.20000  2 0.20000  3 0.20000  4 0.20000  5 0.20000\r\n"
       "    v   0.00000   1.00000   2.50000 vt 0.418 0.622 Bones 2 8 0.50005  9 0.49995\r\n"
       "    v   0.50000   0.50000   0.50000 vt -0.020 1.020 Bones 0\r\n"
       "  Triangles: 3\r\n    f 3  0 0 1 2\r\n    f 3  1 0 2 3\r\n    f 3  2 1 3 4\r\n\r\n}";
  return s;
}

struct StoreCopy {
  std::vector<uint32_t> vertexBits;
  std::vector<int32_t> triangles;
  std::vector<std::string> boneTexts, texturePaths;
  std::string skcHead, modelFileName;
  int32_t loaded = 0;
  bool operator==(const StoreCopy&) const = default;
};

StoreCopy copyStore() {
  StoreCopy c;
  const Globals& g = globals();
  auto vt = store::vertexTable();
  for (int32_t r = 1; r <= g.vertexCount; ++r)
    for (int32_t col = 1; col <= 5; ++col) c.vertexBits.push_back(std::bit_cast<uint32_t>(float(vt.get(r, col))));
  auto tt = store::triangleTable();
  for (int32_t r = 1; r <= g.triangleCount; ++r)
    for (int32_t col = 1; col <= 4; ++col) c.triangles.push_back(tt.get(r, col));
  for (uint32_t i = 1; i <= store::boneTexts().size(); ++i) c.boneTexts.emplace_back(store::boneTexts().text(i).view());
  for (uint32_t i = 1; i <= store::texturePaths().size(); ++i)
    c.texturePaths.emplace_back(store::texturePaths().text(i).view());
  c.skcHead = std::string(store::skcHead().get().view());
  c.modelFileName = std::string(store::modelFileName().get().view());
  c.loaded = g.modelLoaded;
  return c;
}

bool undecoded(tinygltf::Image*, const int, std::string*, std::string*, int, int, const unsigned char*, int, void*) {
  return true;
}

tinygltf::Model parsedGlb(const std::string& bytes) {
  tinygltf::TinyGLTF loader;
  loader.SetImageLoader(undecoded, nullptr);
  tinygltf::Model model;
  std::string err, warn;
  EXPECT_TRUE(loader.LoadBinaryFromMemory(&model, &err, &warn, reinterpret_cast<const unsigned char*>(bytes.data()),
                                          unsigned(bytes.size()), ""))
      << err;
  return model;
}

class GltfCommands : public AppFixture {
 protected:
  void SetUp() override {
    AppFixture::SetUp();
    seedFinishedFirstStart();
    writeBytes(textureDir() / "a.tga", tinyTga());
    writeBytes(textureDir() / "b.bmp", tinyTga());  // a picture whatever its name says
    writeBytes(gameDir() / "pmodel" / "m01.skc", gameSkc());
  }
  std::string said(size_t i) const { return i < boxes().size() ? boxes()[i].text : std::string("<no box>"); }
  fs::path glbPath() const { return programDir() / u8path("导出.glb"); }
};

TEST_F(GltfCommands, ExportRefusesWithoutAModel) {
  step([&] { EXPECT_TRUE(clickMenu(kExportMenu).ok()); });
  answerBox(0);
  run();
  expectCleanEnd();
  ASSERT_EQ(boxes().size(), 1u);
  EXPECT_EQ(said(0), gbk("没有可输出的数据!"));
  EXPECT_TRUE(dialogs().empty());
}

TEST_F(GltfCommands, ExportWritesOneGlbWithTheTexturesThatExist) {
  step([&] { EXPECT_TRUE(chooseModel(0).ok()); });
  answerBox(0);  // "k3"
  step([&] { EXPECT_TRUE(clickMenu(kExportMenu).ok()); });
  confirmDialog(glbPath());
  answerBox(0);
  step([&] { EXPECT_TRUE(clickMenu(kExportMenu).ok()); });
  cancelDialog();
  answerBox(0);
  run();
  expectCleanEnd();

  ASSERT_EQ(boxes().size(), 3u);
  EXPECT_EQ(said(1), gbk("已输出模型: ") + modulePath(glbPath()));
  EXPECT_EQ(said(2), gbk("输入模型失败！"));
  ASSERT_EQ(dialogs().size(), 2u);
  EXPECT_EQ(dialogs()[0].filter, gbk("glTF模型格式|*.glb"));
  const std::vector<std::string> log = finalLogLines();
  const std::string missing = gbk("纹理文件不存在，未嵌入 [") + modulePath(textureDir() / "gone.tga") + "]";
  EXPECT_EQ(std::count(log.begin(), log.end(), missing), 2) << "once per export";

  const tinygltf::Model m = parsedGlb(readBytes(glbPath()));
  ASSERT_EQ(m.materials.size(), 3u);
  EXPECT_EQ(m.images.size(), 2u);
  EXPECT_EQ(m.materials[0].name, "mat1_a");
  EXPECT_EQ(m.materials[1].alphaMode, "MASK");
  EXPECT_TRUE(m.materials[0].doubleSided);
  EXPECT_FALSE(m.materials[2].doubleSided);
  EXPECT_EQ(m.materials[2].pbrMetallicRoughness.baseColorTexture.index, -1);
  EXPECT_EQ(m.nodes.at(0).name, "m01");
  EXPECT_EQ(m.scenes.at(0).extras.Get("skcModelFileName").Get<std::string>(), "m01.skc");
}

TEST_F(GltfCommands, ExportRefusesAModelItCannotWriteBeforeAskingForAFile) {
  std::string skc = gameSkc();
  skc.replace(skc.find("f 3  2 1 3 4"), 12, "f 3  2 1 3 9");
  writeBytes(gameDir() / "pmodel" / "m01.skc", skc);
  step([&] { EXPECT_TRUE(chooseModel(0).ok()); });
  answerBox(0);
  step([&] { EXPECT_TRUE(clickMenu(kExportMenu).ok()); });
  answerBox(0);
  run();
  expectCleanEnd();
  EXPECT_EQ(said(1), gbk("模型数据无效，未输出：三角形 [3] 的顶点号 [9] 不在顶点表中，模型共有顶点 5 个"));
  EXPECT_TRUE(dialogs().empty());
}

TEST_F(GltfCommands, ImportGivesBackTheModelAndTheSameSkc) {
  StoreCopy loaded, back;
  std::string skcLoaded, skcBack;
  step([&] { EXPECT_TRUE(chooseModel(0).ok()); });
  answerBox(0);  // "k3"
  step([&] {
    loaded = copyStore();
    skcLoaded = std::string(model::buildSkcText().view());
    EXPECT_TRUE(clickMenu(kExportMenu).ok());
  });
  confirmDialog(glbPath());
  answerBox(0);
  step([&] {
    // Another model in between, so that the import has everything to replace.
    store::skcHead().set(TextRef("other"));
    globals().vertexCount = 1;
    EXPECT_TRUE(clickMenu(kImportMenu).ok());
  });
  confirmDialog(glbPath());
  step([&] {
    back = copyStore();
    skcBack = std::string(model::buildSkcText().view());
  });
  run();
  expectCleanEnd();

  ASSERT_EQ(boxes().size(), 2u) << utf8(said(2));
  ASSERT_EQ(dialogs().size(), 2u);
  EXPECT_EQ(dialogs()[1].filter, gbk("glTF模型格式|*.glb;*.gltf"));
  EXPECT_EQ(back, loaded);
  EXPECT_EQ(skcBack, skcLoaded);
  const std::vector<std::string> log = finalLogLines();
  ASSERT_GE(log.size(), 3u);
  EXPECT_EQ(log[0], gbk("=========开始分析glTF文件========"));
  EXPECT_EQ(log[log.size() - 2], gbk("骨骼文本：原样保留 [5] 个，按权重重建 [0] 个"));
  EXPECT_EQ(log.back(), gbk("载入顶点 [5] 个！ 成功"));
}

TEST_F(GltfCommands, GltfWithItsBufferInAFileBesideIt) {
  // The .glb made again as a .gltf whose buffer is a file of a Chinese name
  // in a folder below it.
  StoreCopy loaded, back;
  const fs::path gltf = programDir() / u8path("模型") / "m01.gltf";
  step([&] { EXPECT_TRUE(chooseModel(0).ok()); });
  answerBox(0);
  step([&] {
    loaded = copyStore();
    EXPECT_TRUE(clickMenu(kExportMenu).ok());
  });
  confirmDialog(glbPath());
  answerBox(0);
  step([&] {
    tinygltf::Model m = parsedGlb(readBytes(glbPath()));
    writeBytes(gltf.parent_path() / u8path("数据") / u8path("缓冲 1.bin"),
               std::string(m.buffers[0].data.begin(), m.buffers[0].data.end()));
    m.buffers[0].data.assign(4, 0);
    std::ostringstream json;
    tinygltf::TinyGLTF().WriteGltfSceneToStream(&m, json, false, false);
    std::string text = json.str();
    const size_t buffers = text.find("\"buffers\":[");
    ASSERT_NE(buffers, std::string::npos);
    const size_t end = text.find(']', buffers);
    text.replace(buffers, end + 1 - buffers,
                 "\"buffers\":[{\"byteLength\":" +
                     std::to_string(fs::file_size(gltf.parent_path() / u8path("数据") / u8path("缓冲 1.bin"))) +
                     ",\"uri\":\"%E6%95%B0%E6%8D%AE/%E7%BC%93%E5%86%B2%201.bin\"}]");
    writeBytes(gltf, text);
    EXPECT_TRUE(clickMenu(kImportMenu).ok());
  });
  confirmDialog(gltf);
  step([&] { back = copyStore(); });
  run();
  expectCleanEnd();
  ASSERT_EQ(boxes().size(), 2u) << utf8(said(2));
  EXPECT_EQ(back, loaded);
}

TEST_F(GltfCommands, ARefusedFileLeavesTheStoreAsItWas) {
  StoreCopy before, after;
  const fs::path bad = programDir() / "bad.glb";
  step([&] { EXPECT_TRUE(chooseModel(0).ok()); });
  answerBox(0);
  step([&] { EXPECT_TRUE(clickMenu(kExportMenu).ok()); });
  confirmDialog(glbPath());
  answerBox(0);
  step([&] {
    const std::string glb = readBytes(glbPath());
    writeBytes(bad, glb.substr(0, glb.size() - 100));  // cut short
    before = copyStore();
    EXPECT_TRUE(clickMenu(kImportMenu).ok());
  });
  confirmDialog(bad);
  answerBox(0);
  step([&] { EXPECT_TRUE(clickMenu(kImportMenu).ok()); });
  cancelDialog();
  step([&] {
    after = copyStore();
    EXPECT_TRUE(clickMenu(kImportMenu).ok());
  });
  confirmDialog(programDir() / "none.glb");
  answerBox(0);
  run();
  expectCleanEnd();

  ASSERT_EQ(boxes().size(), 4u);
  EXPECT_EQ(said(2).rfind(gbk("glTF文件有误，未载入：") + modulePath(bad) + "\r\n" + gbk("文件头声明的长度超出文件：")),
            0u)
      << utf8(said(2));
  EXPECT_EQ(said(3), gbk("glTF文件有误，未载入：") + modulePath(programDir() / "none.glb") + "\r\n" + gbk("文件无法读取"));
  EXPECT_EQ(after, before);
}

}  // namespace
}  // namespace ql::e2e
