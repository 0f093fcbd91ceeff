// The OBJ export and import menu commands in the running program: the real
// module image and kernel on the headless window system, real files.
#include <tiny_obj_loader.h>

#include <array>
#include <fstream>
#include <optional>
#include <sstream>

#include "formats/obj_export.h"
#include "module/support/support.h"
#include "tests/e2e/app_fixture.h"
#include "tools/qlimagegen/module_texts.h"

namespace ql::e2e {
namespace {

constexpr char kExportMenu[] = "文件/输出/OBJ格式";
constexpr char kImportMenu[] = "文件/打开/打开OBJ格式";
namespace wprop = window::prop;

// The store's model as plain values (texts as GBK bytes).
struct Model {
  std::vector<std::array<float, 5>> vertices;
  std::vector<std::array<int32_t, 4>> triangles;
  std::vector<std::string> texturePaths;
  std::vector<std::string> bones;
  std::string head;
  std::string name;
  std::vector<std::pair<std::string, std::string>> library;
  int32_t loaded = 0;
  bool operator==(const Model&) const = default;
};

std::string helpThreadAddress() {
  for (const auto& t : imagegen::moduleTexts())
    if (t.name == "kHelpThreadAddress") return std::string(t.utf8);
  ADD_FAILURE() << "no help-thread address among the module texts";
  return "";
}

class ObjCommands : public AppFixture {
 protected:
  void SetUp() override {
    AppFixture::SetUp();
    seedFinishedFirstStart();
    fs::create_directories(outDir());
  }

  fs::path outDir() const { return programDir() / "out"; }

  // Inside a step: the store as a load leaves it.
  static void fill(const Model& m) {
    Globals& g = globals();
    auto vt = store::vertexTable();
    vt.dimension(int32_t(m.vertices.size()), 5);
    for (size_t r = 0; r < m.vertices.size(); ++r)
      for (size_t c = 0; c < 5; ++c) vt.at(int32_t(r + 1), int32_t(c + 1)) = m.vertices[r][c];
    auto tt = store::triangleTable();
    tt.dimension(int32_t(m.triangles.size()), 4);
    for (size_t r = 0; r < m.triangles.size(); ++r)
      for (size_t c = 0; c < 4; ++c) tt.at(int32_t(r + 1), int32_t(c + 1)) = m.triangles[r][c];
    auto emptyList = [](auto var) { var.replace(arr::freshFromShape(std::array<uint32_t, 2>{1, 0}.data(), var.kWidth)); };
    emptyList(store::boneTexts());
    for (const auto& b : m.bones) store::boneTexts().appendText(TextRef(b.c_str()));
    emptyList(store::texturePaths());
    emptyList(store::textureIds());
    for (const auto& p : m.texturePaths) {
      store::texturePaths().appendText(TextRef(p.c_str()));
      store::textureIds().append(0);
    }
    emptyList(store::materialLibrary());
    for (const auto& [name, file] : m.library)
      store::materialLibrary().append(newMaterialEntry(TextRef(name.c_str()), TextRef(file.c_str())));
    store::skcHead().set(TextRef(m.head.c_str()));
    store::modelFileName().set(TextRef(m.name.c_str()));
    g.vertexCount = int32_t(m.vertices.size());
    g.triangleCount = int32_t(m.triangles.size());
    g.modelLoaded = m.loaded;
  }

  // Inside a step: what the store holds (rows up to the counts).
  static Model snapshot() {
    const Globals& g = globals();
    Model m;
    auto vt = store::vertexTable();
    auto tt = store::triangleTable();
    if (vt.dims() == 2) {
      EXPECT_EQ(vt.size(1), uint32_t(g.vertexCount)) << "vertex table rows";
      for (int32_t r = 1; r <= g.vertexCount; ++r) {
        std::array<float, 5> row{};
        for (int32_t c = 1; c <= 5; ++c) row[size_t(c - 1)] = vt.get(r, c);
        m.vertices.push_back(row);
      }
    }
    if (tt.dims() == 2) {
      EXPECT_EQ(tt.size(1), uint32_t(g.triangleCount)) << "triangle table rows";
      for (int32_t r = 1; r <= g.triangleCount; ++r) {
        std::array<int32_t, 4> row{};
        for (int32_t c = 1; c <= 4; ++c) row[size_t(c - 1)] = tt.get(r, c);
        m.triangles.push_back(row);
      }
    }
    for (uint64_t i = 1; i <= store::texturePaths().count(); ++i)
      m.texturePaths.emplace_back(store::texturePaths().text(int32_t(i)).view());
    EXPECT_EQ(store::textureIds().count(), store::texturePaths().count());
    for (uint64_t i = 1; i <= store::boneTexts().count(); ++i)
      m.bones.emplace_back(store::boneTexts().text(int32_t(i)).view());
    for (uint64_t i = 1; i <= store::materialLibrary().count(); ++i) {
      const MaterialEntry* e = store::materialLibrary().get(int32_t(i));
      m.library.emplace_back(TextRef(e->materialName).view(), TextRef(e->textureFile).view());
    }
    m.head = std::string(store::skcHead().get().view());
    m.name = std::string(store::modelFileName().get().view());
    m.loaded = g.modelLoaded;
    return m;
  }

  // Three vertices, one triangle, one material.
  static Model smallModel() {
    Model m;
    m.vertices = {{{1.5f, 2, -3, 0.25f, 0.75f}}, {{0, 0.5f, 41, 1, 0}}, {{-2, 1, 0.125f, 1.5f, -0.5f}}};
    m.triangles = {{{0, 0, 1, 2}}};
    m.texturePaths = {"C:\\x\\lx_ptx_tmp\\body.tga"};
    m.bones = {"2 8 0.50005  9 0.49995", "1 3 1", "1 3 1"};
    m.head = "# Character Skin Export for Interserv\r\n{\r\n  Materials: 1\r\n";
    m.name = "nm001.skc";
    m.loaded = 1;
    return m;
  }

  std::string exportedObj(const Model& m, const fs::path& objPath) {
    step([&, m] {
      fill(m);
      ASSERT_TRUE(clickMenu(kExportMenu).ok());
    });
    confirmDialog(objPath);
    answerBox();
    run();
    expectCleanEnd();
    return readBytes(objPath);
  }
};

std::string mtlBlock(const std::string& name, const std::string& path) {
  return "\r\nnewmtl " + name +
         "\r\nNs 96.078431\r\nKa 0.000000 0.000000 0.000000\r\nKd 0.800000 0.800000 0.800000\r\n"
         "Ks 0.078125 0.078125 0.078125\r\nNi 1.000000\r\nd 1.000000\r\nillum 2\r\nmap_Kd " +
         path;
}

// ---- Export --------------------------------------------------------------------------

TEST_F(ObjCommands, ExportWritesObjMtlAndSideFilesBesideTheObj) {
  const fs::path obj = outDir() / "hero.obj";
  const std::string text = exportedObj(smallModel(), obj);
  EXPECT_EQ(text, gbk("# OBJ File for metor //流星蝴蝶剑格式输出  by vrel ") + "\r\n#" + helpThreadAddress() +
                      "\r\nmtllib hero.mtl\r\no mesh.obj"
                      "\r\nv 1.5 2 -3\r\nv 0 0.5 41\r\nv -2 1 0.125"
                      "\r\nvt 0.25 0.75\r\nvt 1 0\r\nvt 1.5 -0.5"
                      "\r\nusemtl mat1_body\r\nf 1/1 2/2 3/3");
  EXPECT_EQ(readBytes(outDir() / "hero.mtl"),
            "# Material Count: 1\r\n" + mtlBlock("mat1_body", "C:\\x\\lx_ptx_tmp\\body.tga"));
  EXPECT_EQ(readBytes(outDir() / ".bones"), "2 8 0.50005  9 0.49995\r\n1 3 1\r\n1 3 1");
  EXPECT_EQ(readBytes(outDir() / ".skchead"), smallModel().head);
  EXPECT_EQ(readBytes(outDir() / ".skcname"), "nm001.skc");
  // Nothing lands in the program's folder.
  EXPECT_FALSE(exists(programDir() / ".bones"));
  ASSERT_EQ(dialogs().size(), 1u);
  EXPECT_EQ(dialogs()[0].dialog, ui::kFileDialog3Id);
  EXPECT_EQ(dialogs()[0].initialFolder, programFolderText());
  EXPECT_EQ(dialogs()[0].filter, gbk("OBJ模型格式|*.obj"));
  ASSERT_EQ(boxes().size(), 1u);
  EXPECT_EQ(boxes()[0].text, gbk("已输出模型: ") + modulePath(obj));
}

TEST_F(ObjCommands, ExportSwitchesMaterialWheneverItChanges) {
  Model m = smallModel();
  m.texturePaths = {"C:\\x\\a.tga", "C:\\x\\lx_ptx_tmp\\body.tga", "body.tga"};
  m.triangles = {{{0, 0, 1, 2}}, {{0, 2, 1, 0}}, {{1, 0, 1, 2}}, {{0, 1, 2, 0}}, {{2, 0, 2, 1}}};
  const std::string text = exportedObj(m, outDir() / "hero.obj");
  const size_t faces = text.find("\r\nusemtl");
  ASSERT_NE(faces, std::string::npos);
  EXPECT_EQ(text.substr(faces),
            "\r\nusemtl mat1_a\r\nf 1/1 2/2 3/3\r\nf 3/3 2/2 1/1"
            "\r\nusemtl mat2_body\r\nf 1/1 2/2 3/3"
            "\r\nusemtl mat1_a\r\nf 2/2 3/3 1/1"
            "\r\nusemtl mat3_\r\nf 1/1 3/3 2/2");
  EXPECT_EQ(readBytes(outDir() / "hero.mtl"), "# Material Count: 3\r\n" + mtlBlock("mat1_a", "C:\\x\\a.tga") +
                                                  mtlBlock("mat2_body", "C:\\x\\lx_ptx_tmp\\body.tga") +
                                                  mtlBlock("mat3_", "body.tga"));
}

TEST_F(ObjCommands, ExportWritesAllVLinesBeforeAllVtLines) {
  Model m = smallModel();
  m.vertices.clear();
  m.bones.clear();
  for (int i = 0; i < 40; ++i) m.vertices.push_back({{float(i), float(-i), 0.5f, float(i) / 4, 1}});
  const std::string text = exportedObj(m, outDir() / "many.obj");
  std::vector<std::string> kinds;
  for (const std::string& line : lines(text + "\r\n")) kinds.push_back(line.substr(0, line.find(' ')));
  ASSERT_EQ(kinds.size(), 4u + 40 + 40 + 2);
  for (int i = 0; i < 40; ++i) {
    EXPECT_EQ(kinds[size_t(4 + i)], "v");
    EXPECT_EQ(kinds[size_t(44 + i)], "vt");
  }
  EXPECT_EQ(readBytes(outDir() / ".bones"), "");
}

TEST_F(ObjCommands, ExportWithOneBone) {
  Model m = smallModel();
  m.bones = {"1 3 1"};
  exportedObj(m, outDir() / "hero.obj");
  EXPECT_EQ(readBytes(outDir() / ".bones"), "1 3 1");
}

// The dialog may add the filter's extension to a bare name, so the path
// pieces are checked on their own, through the runtime's text commands.
TEST_F(ObjCommands, PathPiecesOfTheObjAndMaterialNames) {
  step([&] {
    auto take = [](Text t) { return std::string(t.view()); };
    using formats::objBaseName;
    using formats::objMaterialName;
    using formats::objOutputFolder;
    EXPECT_EQ(take(objOutputFolder("D:\\out\\hero.obj")), "D:\\out\\");
    EXPECT_EQ(take(objBaseName("D:\\out\\hero.obj")), "hero");
    EXPECT_EQ(take(objBaseName("D:\\out\\hero")), "hero");
    EXPECT_EQ(take(objBaseName("D:\\out.v2\\hero")), "hero");
    EXPECT_EQ(take(objBaseName("D:\\out\\hero.v2.obj")), "hero.v2");
    EXPECT_EQ(take(objOutputFolder("hero.obj")), "");
    EXPECT_EQ(take(objBaseName("hero.obj")), "hero");
    EXPECT_EQ(take(objMaterialName(2, "C:\\x\\lx_ptx_tmp\\body.tga")), "mat2_body");
    EXPECT_EQ(take(objMaterialName(2, "body.tga")), "mat2_");
    EXPECT_EQ(take(objMaterialName(12, "C:\\x\\noext")), "mat12_noext");
    EXPECT_EQ(take(objMaterialName(1, "")), "mat1_");
    // A GBK name whose second byte is a backslash is not cut inside it.
    const std::string gbkName = gbk("C:\\x\\嘰.tga");
    EXPECT_EQ(take(objMaterialName(1, TextRef(gbkName.c_str()))), gbk("mat1_嘰"));
  });
  run();
  expectCleanEnd();
}

TEST_F(ObjCommands, ExportRefusesWithoutModelAndWhenCancelled) {
  step([&] { ASSERT_TRUE(clickMenu(kExportMenu).ok()); });
  answerBox();
  step([&] {
    fill(smallModel());
    ASSERT_TRUE(clickMenu(kExportMenu).ok());
  });
  cancelDialog();
  answerBox();
  run();
  expectCleanEnd();
  ASSERT_EQ(boxes().size(), 2u);
  EXPECT_EQ(boxes()[0].text, gbk("没有可输出的数据!"));
  EXPECT_EQ(boxes()[1].text, gbk("输入模型失败！"));
  EXPECT_EQ(dialogs().size(), 1u);
  EXPECT_TRUE(fs::is_empty(outDir()));
}

TEST_F(ObjCommands, ExportReportsMaterialsOutsideTheListsAsInvalid) {
  struct Case {
    std::vector<std::string> paths;
    int32_t material;
    std::string message;
  };
  const Case cases[] = {
      {{"C:\\a.tga"}, 1, "模型数据无效，未输出：三角形 [2] 的材质号 [1] 不在材质表中，模型共有材质 1 个"},
      {{"C:\\a.tga"}, -1, "模型数据无效，未输出：三角形 [2] 的材质号 [-1] 不在材质表中，模型共有材质 1 个"},
      {{}, 0, "模型数据无效，未输出：三角形 [1] 的材质号 [0] 不在材质表中，模型共有材质 0 个"},
  };
  for (const Case& c : cases) {
    Model m = smallModel();
    m.texturePaths = c.paths;
    m.triangles = {{{0, 0, 1, 2}}, {{c.material, 0, 1, 2}}};
    step([&, m] {
      fill(m);
      ASSERT_TRUE(clickMenu(kExportMenu).ok());
    });
    answerBox();
  }
  run();
  expectCleanEnd();
  ASSERT_EQ(boxes().size(), std::size(cases));
  for (size_t i = 0; i < std::size(cases); ++i) EXPECT_EQ(boxes()[i].text, gbk(cases[i].message)) << i;
  EXPECT_TRUE(dialogs().empty());  // refused before anything is asked
}

TEST_F(ObjCommands, ExportReportsTheFileItCouldNotWrite) {
  // The OBJ's folder does not exist; then a side file's name is a folder.
  const fs::path missing = programDir() / "nosuch" / "hero.obj";
  fs::create_directories(outDir() / ".skchead");
  step([&] {
    fill(smallModel());
    ASSERT_TRUE(clickMenu(kExportMenu).ok());
    ASSERT_TRUE(clickMenu(kExportMenu).ok());
  });
  confirmDialog(missing);
  answerBox();
  confirmDialog(outDir() / "hero.obj");
  answerBox();
  run();
  expectCleanEnd();
  ASSERT_EQ(boxes().size(), 2u);
  EXPECT_EQ(boxes()[0].text, gbk("写入文件失败：") + modulePath(missing));
  EXPECT_EQ(boxes()[1].text, gbk("写入文件失败：") + modulePath(outDir() / ".skchead"));
  EXPECT_TRUE(exists(outDir() / ".bones"));     // written before the failure
  EXPECT_FALSE(exists(outDir() / ".skcname"));  // not after it
}

TEST_F(ObjCommands, ExportedModelParsesWithTinyobjloader) {
  Model m = smallModel();
  m.texturePaths = {"C:\\x\\a.tga", "C:\\x\\b.png"};
  m.triangles = {{{0, 0, 1, 2}}, {{1, 2, 1, 0}}};
  const fs::path obj = outDir() / "tiny.obj";
  exportedObj(m, obj);
  tinyobj::attrib_t attrib;
  std::vector<tinyobj::shape_t> shapes;
  std::vector<tinyobj::material_t> materials;
  std::string warn, err;
  const std::string base = outDir().string() + "/";
  ASSERT_TRUE(tinyobj::LoadObj(&attrib, &shapes, &materials, &warn, &err, obj.c_str(), base.c_str())) << err;
  EXPECT_EQ(attrib.vertices.size(), 9u);
  EXPECT_EQ(attrib.texcoords.size(), 6u);
  EXPECT_FLOAT_EQ(attrib.vertices[2], -3.0f);
  ASSERT_EQ(materials.size(), 2u);
  EXPECT_EQ(materials[0].name, "mat1_a");
  EXPECT_EQ(materials[0].diffuse_texname, "C:\\x\\a.tga");
  EXPECT_EQ(materials[1].name, "mat2_b");
  EXPECT_EQ(materials[1].diffuse_texname, "C:\\x\\b.png");
  ASSERT_EQ(shapes.size(), 1u);
  EXPECT_EQ(shapes[0].mesh.material_ids, (std::vector<int>{0, 1}));
  EXPECT_EQ(shapes[0].mesh.indices[3].vertex_index, 2);
  EXPECT_EQ(shapes[0].mesh.indices[3].texcoord_index, 2);
}

// ---- Import --------------------------------------------------------------------------

TEST_F(ObjCommands, ExportThenImportGivesTheModelBackWithTheGameAxes) {
  Model m = smallModel();
  m.texturePaths = {"C:\\x\\a.tga", "body.tga"};
  m.triangles = {{{0, 0, 1, 2}}, {{1, 2, 0, 1}}, {{0, 1, 2, 0}}};
  const fs::path obj = outDir() / "round.obj";
  std::optional<Model> back;
  step([&] {
    fill(m);
    ASSERT_TRUE(clickMenu(kExportMenu).ok());
    // Another model in between: the import must replace all of it.
    Model other = smallModel();
    other.bones = {"x"};
    other.vertices.push_back({{9, 9, 9, 9, 9}});
    fill(other);
    ASSERT_TRUE(clickMenu(kImportMenu).ok());
    back = snapshot();
    EXPECT_EQ(intProperty(ui::kMainWindowId, ui::kTimer1Id, wprop::kIntervalOrText), 50);
  });
  confirmDialog(obj);
  answerBox();
  confirmDialog(obj);
  run();
  expectCleanEnd();
  ASSERT_TRUE(back);
  ASSERT_EQ(back->vertices.size(), m.vertices.size());
  for (size_t i = 0; i < m.vertices.size(); ++i) {
    const auto& a = m.vertices[i];
    EXPECT_EQ(back->vertices[i], (std::array<float, 5>{a[0], a[2], -a[1], a[3], a[4]})) << "vertex " << i + 1;
  }
  EXPECT_EQ(back->triangles, m.triangles);
  EXPECT_EQ(back->bones, m.bones);
  EXPECT_EQ(back->head, m.head);
  EXPECT_EQ(back->name, m.name);
  // The texture paths: a full map_Kd value as written (the texture folder's
  // files come back to where they were), a bare name behind the OBJ folder
  // and a backslash.
  const std::string folder = modulePath(outDir());
  EXPECT_EQ(back->texturePaths, (std::vector<std::string>{"C:\\x\\a.tga", folder + "\\body.tga"}));
  EXPECT_EQ(back->library, (std::vector<std::pair<std::string, std::string>>{{"mat1_a", "C:\\x\\a.tga"},
                                                                            {"mat2_", "body.tga"}}));
  EXPECT_EQ(back->loaded, 1);
  ASSERT_EQ(dialogs().size(), 2u);
  EXPECT_EQ(dialogs()[1].dialog, ui::kFileDialog4Id);
  EXPECT_EQ(dialogs()[1].initialFolder, programFolderText());
  EXPECT_EQ(dialogs()[1].filter, gbk("OBJ模型格式|*.obj"));
  // Texture preparation may log between the bones line and the last line.
  const auto log = finalLogLines();
  ASSERT_GE(log.size(), 4u);
  EXPECT_EQ(std::vector<std::string>(log.begin(), log.begin() + 3),
            (std::vector<std::string>{gbk("=========开始分析OBJ文件========"),
                                      gbk("试图打开OBJ所对应的骨骼文件....    ") + folder + "\\.bones",
                                      gbk("加载OBJ所对应的骨骼文件成功！！！....")}));
  EXPECT_EQ(log.back(), gbk("载入顶点 [3] 个！ 成功"));
}

TEST_F(ObjCommands, ImportWithoutSideFilesOrLibrary) {
  // Written by another tool: no side files, no mtllib, blanks in map_Kd
  // of a later library, normals, groups.
  writeBytes(outDir() / "a.obj",
             "# other\r\nv 1 2 3\r\nv 4 5 6\r\nv 7 8 9\r\nv 0 0 0\r\nvt 0.1 0.2\r\nvt 0.3 0.4\r\nvn 0 0 1\r\n"
             "g grp\r\ns off\r\nf 1/2/1 2/1/1 3/2/1\r\n");
  writeBytes(outDir() / "b.obj", "mtllib b.mtl\r\nv 1 2 3\r\nvt 0 0\r\nusemtl skin\r\nf 1/1 1/1 1/1");
  writeBytes(outDir() / "b.mtl", "newmtl hair\r\nmap_Kd h.tga\r\nnewmtl skin\r\nmap_Kd tex\\body skin.tga");
  writeBytes(outDir() / "c.obj", "v 1 2 3\r\nvt 0 0\r\nusemtl hair\r\nf 1/1 1/1 1/1\r\nusemtl skin\r\nf 1/1 1/1 1/1");
  std::optional<Model> a, b, c;
  step([&] {
    fill(smallModel());
    ASSERT_TRUE(clickMenu(kImportMenu).ok());
    a = snapshot();
    ASSERT_TRUE(clickMenu(kImportMenu).ok());
    b = snapshot();
    ASSERT_TRUE(clickMenu(kImportMenu).ok());
    c = snapshot();
  });
  confirmDialog(outDir() / "a.obj");
  confirmDialog(outDir() / "b.obj");
  confirmDialog(outDir() / "c.obj");
  run();
  expectCleanEnd();
  EXPECT_TRUE(boxes().empty());
  ASSERT_TRUE(a && b && c);
  EXPECT_EQ(a->vertices.size(), 4u);  // an unused vertex still counts
  EXPECT_EQ(a->vertices[0], (std::array<float, 5>{1, 3, -2, 0.3f, 0.4f}));
  EXPECT_EQ(a->vertices[3], (std::array<float, 5>{0, 0, 0, 0, 0}));
  EXPECT_EQ(a->triangles, (std::vector<std::array<int32_t, 4>>{{{0, 0, 1, 2}}}));
  EXPECT_TRUE(a->bones.empty());
  EXPECT_EQ(a->head, "");
  EXPECT_EQ(a->name, "");
  EXPECT_TRUE(a->texturePaths.empty());
  EXPECT_EQ(a->library, smallModel().library);

  const std::string folder = modulePath(outDir());
  EXPECT_EQ(b->triangles[0][0], 1);
  EXPECT_EQ(b->texturePaths, (std::vector<std::string>{folder + "\\h.tga", folder + "\\tex\\body skin.tga"}));
  // No mtllib: the previous library serves the lookups, no texture paths.
  EXPECT_EQ(c->library, b->library);
  EXPECT_EQ(c->triangles, (std::vector<std::array<int32_t, 4>>{{{0, 0, 0, 0}}, {{1, 0, 0, 0}}}));
  EXPECT_TRUE(c->texturePaths.empty());
  const auto log = finalLogLines();
  ASSERT_GE(log.size(), 4u);
  EXPECT_EQ(log[2], gbk("加载OBJ所对应的骨骼文件失败！！！...."));
  EXPECT_EQ(log.back(), gbk("载入顶点 [1] 个！ 成功"));
}

TEST_F(ObjCommands, ImportUnknownMaterialThenExportRefuses) {
  writeBytes(outDir() / "u.obj", "mtllib u.mtl\r\nv 1 2 3\r\nvt 0 0\r\nusemtl nosuch\r\nf 1/1 1/1 1/1");
  writeBytes(outDir() / "u.mtl", "newmtl a\r\nmap_Kd a.tga");
  std::optional<Model> m;
  step([&] {
    ASSERT_TRUE(clickMenu(kImportMenu).ok());
    m = snapshot();
    ASSERT_TRUE(clickMenu(kExportMenu).ok());
  });
  confirmDialog(outDir() / "u.obj");
  answerBox();
  answerBox();
  run();
  expectCleanEnd();
  ASSERT_TRUE(m);
  EXPECT_EQ(m->triangles[0][0], -1);
  ASSERT_EQ(boxes().size(), 2u);
  EXPECT_EQ(boxes()[0].text, gbk("运行出错！在窗口程序集1_取材质库中材质号()"));
  EXPECT_EQ(boxes()[1].text, gbk("模型数据无效，未输出：三角形 [1] 的材质号 [-1] 不在材质表中，模型共有材质 1 个"));
}

TEST_F(ObjCommands, ImportCancelledChangesNothing) {
  std::optional<Model> before, after;
  step([&] {
    fill(smallModel());
    before = snapshot();
    ASSERT_TRUE(clickMenu(kImportMenu).ok());
    after = snapshot();
  });
  cancelDialog();
  run();
  expectCleanEnd();
  EXPECT_TRUE(boxes().empty());
  EXPECT_EQ(after, before);
  EXPECT_EQ(finalLog(), "");
}

TEST_F(ObjCommands, MalformedImportsLeaveTheStoreAsItWas) {
  struct Case {
    const char* name;
    std::string obj;
    std::string where;  // the message after the path
  };
  const std::string head = "v 0 0 0\r\nv 1 0 0\r\nvt 0 0\r\n";
  const Case cases[] = {
      {"empty", "", "\r\n文件中没有顶点行 (v)"},
      {"no f", head, "\r\n文件中没有面行 (f)"},
      {"comment lines only, LF", "# v 1 2 3\n#f 1 1 1\n", "\r\n文件中没有顶点行 (v)"},
      {"short v", head + "v 1 2\r\nf 1/1 1/1 1/1", "\r\n第 4 行：顶点行 (v) 少于三个坐标"},
      {"short vt", head + "vt 1\r\nf 1/1 1/1 1/1", "\r\n第 4 行：纹理坐标行 (vt) 少于两个数"},
      {"two corners", head + "f 1/1 2/1", "\r\n第 4 行：面行 (f) 少于三个角"},
      {"vertex outside", head + "f 1/1 2/1 3/1", "\r\n第 4 行：顶点号 [3] 不在 1 到 2 之间"},
      {"fourth corner outside", head + "f 1/1 2/1 1/1 5", "\r\n第 4 行：顶点号 [5] 不在 1 到 2 之间"},
      {"relative vertex", head + "f -3 1 2", "\r\n第 4 行：顶点号 [-3] 往前数超出了此前已读的 2 个顶点行 (v)"},
      {"relative vt", head + "f 1/-2 2/1 1/1", "\r\n第 4 行：纹理坐标号 [-2] 往前数超出了此前已读的 1 个纹理坐标行 (vt)"},
      {"map_Kd first", head + "mtllib m.mtl\r\nf 1/1 2/1 1/1", "\r\n材质库 m.mtl，第 2 行：map_Kd 出现在任何 newmtl 之前"},
  };
  writeBytes(outDir() / "m.mtl", "# x\r\nmap_Kd a.tga\r\nnewmtl a");
  Model first = smallModel();
  first.library = {{"old", "old.tga"}};
  std::vector<std::pair<Model, Model>> seen;
  for (size_t i = 0; i < std::size(cases); ++i) {
    const fs::path obj = outDir() / ("bad" + std::to_string(i) + ".obj");
    writeBytes(obj, cases[i].obj);
    // Side files that would replace the bones, head and name.
    writeBytes(outDir() / ".bones", "new bones");
    step([&, obj] {
      if (seen.empty()) fill(first);
      Model before = snapshot();
      EXPECT_TRUE(clickMenu(kImportMenu).ok());
      seen.emplace_back(before, snapshot());
    });
    confirmDialog(obj);
    answerBox();
  }
  run();
  expectCleanEnd();
  ASSERT_EQ(seen.size(), std::size(cases));
  ASSERT_EQ(boxes().size(), std::size(cases));
  for (size_t i = 0; i < std::size(cases); ++i) {
    EXPECT_EQ(seen[i].second, first) << cases[i].name;
    const std::string path = modulePath(outDir() / ("bad" + std::to_string(i) + ".obj"));
    EXPECT_EQ(boxes()[i].text, gbk("OBJ文件有误，未载入：") + path + gbk(cases[i].where)) << cases[i].name;
  }
}

// ---- Files from other programs -------------------------------------------------------

// An OBJ and MTL in the shape a 3D program exports them: LF line ends, its
// own comments, normals, smoothing groups, v/vt/vn and v//vn corners, a quad
// and a pentagon, relative numbers, TABs and runs of blanks, its texture
// paths with "/" and options before the name.
constexpr char kOtherProgramsObj[] =
    "# Blender 3.4.1\n# www.blender.org\nmtllib other.mtl\no mesh.obj\n"
    "v 0.000000 0.000000 0.000000\nv 1.000000 0.000000 0.000000\nv 1.000000 1.000000 0.000000\n"
    "v 0.000000 1.000000 0.000000\nv 2.000000 0.500000 -0.250000\nv 0.500000\t2.000000  1.500000\n"
    "vn 0.0000 0.0000 1.0000\nvt 0.100000 0.200000\nvt 0.300000 0.400000\nvt 0.500000 0.600000\n"
    "vt 0.700000 0.800000\ns 0\nusemtl skin\nf 1/1/1 2/2/1 3/3/1 4/4/1\nusemtl cloth\n"
    "f -5/-3/1 -2/-4/1 -1/-1/1 -3/-2/1 -4/-4/1\nf 1//1 5//1 6//1 # no texture coordinates\n";

TEST_F(ObjCommands, ImportAsOtherProgramsWriteIt) {
  const std::string texFolder = modulePath(outDir() / "lx_ptx_tmp");
  writeBytes(outDir() / "other.obj", kOtherProgramsObj);
  // Blender's absolute path (UTF-8, "/"), a relative one, options, quotes.
  const std::string linuxTex = (outDir() / "lx_ptx_tmp" / "身体.tga").string();
  writeBytes(outDir() / "other.mtl",
             "# Blender 3.4.1 MTL File: 'None'\n\nnewmtl skin\nNs 96.078453\nKd 0.8 0.8 0.8\nmap_Kd " + linuxTex +
                 "\n\nnewmtl cloth\nmap_Kd -s 1 1 1 -bm 1 textures/cloth.tga\n\nnewmtl rest\nmap_Kd \"a b.tga\"\n\nnewmtl plain\nKd 1 1 1\n");
  writeBytes(outDir() / ".bones", "1 0 1\r\n1 1 1\r\n1 2 1\r\n1 3 1\r\n1 4 1\r\n1 5 1");
  writeBytes(outDir() / ".skcname", "m01.skc");
  std::optional<Model> m;
  step([&] {
    ASSERT_TRUE(clickMenu(kImportMenu).ok());
    m = snapshot();
  });
  confirmDialog(outDir() / "other.obj");
  run();
  expectCleanEnd();
  EXPECT_TRUE(boxes().empty());
  ASSERT_TRUE(m);
  ASSERT_EQ(m->vertices.size(), 6u);
  // (x, z, −y); the pairs of the corners, relative numbers counted back
  // from the six v and four vt lines: -2/-4 is vertex 5 with vt line 1.
  EXPECT_EQ(m->vertices[4], (std::array<float, 5>{2, -0.25f, -0.5f, 0.1f, 0.2f}));
  EXPECT_EQ(m->vertices[5], (std::array<float, 5>{0.5f, 1.5f, -2, 0.7f, 0.8f}));
  EXPECT_EQ(m->vertices[3], (std::array<float, 5>{0, 0, -1, 0.5f, 0.6f}));  // 4/4, then -3/-2
  EXPECT_EQ(m->vertices[0], (std::array<float, 5>{0, 0, 0, 0.1f, 0.2f}));  // 1/1, and 1//1 keeps it
  EXPECT_EQ(m->triangles, (std::vector<std::array<int32_t, 4>>{{{0, 0, 1, 2}},
                                                               {{0, 0, 2, 3}},
                                                               {{1, 1, 4, 5}},
                                                               {{1, 1, 5, 3}},
                                                               {{1, 1, 3, 2}},
                                                               {{1, 0, 4, 5}}}));
  EXPECT_EQ(m->bones.size(), 6u);
  EXPECT_EQ(m->name, "m01.skc");
  const std::string folder = modulePath(outDir());
  // The material without a map_Kd line has no texture path.
  EXPECT_EQ(m->texturePaths, (std::vector<std::string>{texFolder + gbk("\\身体.tga"), folder + "\\textures\\cloth.tga",
                                                       folder + "\\a b.tga", ""}));
  const auto log = finalLogLines();
  EXPECT_EQ(std::count(log.begin(), log.end(), gbk("加载OBJ所对应的骨骼文件成功！！！....")), 1);
  // Nothing is refused or missing but the textures, which are not there.
  for (const std::string& line : log) EXPECT_EQ(line.find(gbk("纹理文件不在纹理目录中")), std::string::npos) << utf8(line);
  EXPECT_EQ(log.back(), gbk("载入顶点 [6] 个！ 成功")) << utf8(finalLog());
}

TEST_F(ObjCommands, SkcFromAnotherProgramsObjNamesEveryTexture) {
  // No .skchead: the SKC's head is made from the material library, and each
  // Texture line names the file, however the library wrote it.
  writeBytes(outDir() / "t.obj",
             "mtllib t.mtl\nv 0 0 0\nv 1 0 0\nv 0 1 0\nvt 0 0\nusemtl a\nf 1 2 3\nusemtl b\nf 1 2 3\nusemtl c\nf 3 2 1\n");
  writeBytes(outDir() / "t.mtl",
             "newmtl a\nmap_Kd -s 1 1 1 body.tga\nnewmtl b\nmap_Kd textures/arm.tga\n"
             "newmtl c\nmap_Kd \"C:\\My Textures\\leg.jpg\"\n");
  const fs::path skc = outDir() / "t.skc";
  step([&] {
    ASSERT_TRUE(clickMenu(kImportMenu).ok());
    ASSERT_TRUE(clickMenu("文件/输出/SKC格式").ok());
  });
  confirmDialog(outDir() / "t.obj");
  confirmDialog(skc);
  answerBox();
  run();
  expectCleanEnd();
  std::vector<std::string> textures;
  for (const std::string& line : lines(readBytes(skc)))
    if (line.rfind("    Texture", 0) == 0) textures.push_back(line);
  EXPECT_EQ(textures, (std::vector<std::string>{"    Texture   body.tga", "    Texture   arm.tga",
                                                "    Texture   leg.jpg"}));
}

TEST_F(ObjCommands, BoneLinesThatNoLongerMatchAreNamedBeforeTheyAreWritten) {
  // Three vertices; the .bones beside the OBJ has one line more, or one less.
  const std::string obj = "v 0 0 0\nv 1 0 0\nv 0 1 0\nvt 0 0\nf 1 2 3\n";
  struct Case {
    const char* name;
    std::string bones;
    std::string log;
    std::vector<std::string> written;  // the bone part of the SKC's vertex lines
  };
  const Case cases[] = {
      {"more lines than vertices", "1 0 1\r\n1 1 1\r\n1 2 1\r\n1 3 1", "骨骼文件的行数与顶点数不符：骨骼 [4] 行，顶点 [3] 个",
       {"1 0 1", "1 1 1", "1 2 1"}},
      {"fewer lines than vertices", "1 0 1\r\n1 1 1", "骨骼文件的行数与顶点数不符：骨骼 [2] 行，顶点 [3] 个",
       {"1 0 1", "1 1 1", "0"}},
  };
  std::vector<std::vector<std::string>> importLogs;
  for (size_t i = 0; i < std::size(cases); ++i) {
    const fs::path dir = outDir() / ("m" + std::to_string(i));
    writeBytes(dir / "m.obj", obj);
    writeBytes(dir / ".bones", cases[i].bones);
    writeBytes(dir / ".skcname", "m0" + std::to_string(i) + ".skc");
    step([&] {
      ASSERT_TRUE(clickMenu(kImportMenu).ok());
      importLogs.push_back(lines(logText()));
      ASSERT_TRUE(clickMenu("文件/输出/SKC格式").ok());
      ASSERT_TRUE(clickMenu("文件/保存/保存到游戏").ok());
    });
    confirmDialog(dir / "m.obj");
    confirmDialog(dir / "m.skc");
    for (int k = 0; k < 4; ++k) answerBox();  // mismatch, written, mismatch, saved
  }
  run();
  expectCleanEnd();
  ASSERT_EQ(importLogs.size(), std::size(cases));
  ASSERT_EQ(boxes().size(), 4 * std::size(cases));
  for (size_t i = 0; i < std::size(cases); ++i) {
    const Case& c = cases[i];
    SCOPED_TRACE(c.name);
    const fs::path dir = outDir() / ("m" + std::to_string(i));
    const auto& log = importLogs[i];
    EXPECT_NE(std::find(log.begin(), log.end(), gbk(c.log)), log.end());
    const std::string box = gbk(c.log + "\r\n骨骼行按行号对应顶点：没有骨骼行的顶点写为 0，多出的骨骼行不写出。");
    EXPECT_EQ(boxes()[4 * i].text, box);
    EXPECT_EQ(boxes()[4 * i + 1].text, gbk("已输出SKC文件到 ") + modulePath(dir / "m.skc"));
    EXPECT_EQ(boxes()[4 * i + 2].text, box);
    for (const fs::path& file : {dir / "m.skc", gameDir() / "pmodel" / ("m0" + std::to_string(i) + ".skc")}) {
      std::vector<std::string> written;
      for (const std::string& line : lines(readBytes(file)))
        if (line.rfind("    v ", 0) == 0) written.push_back(line.substr(line.find(" Bones ") + 7));
      EXPECT_EQ(written, c.written) << file;
    }
  }
}

TEST_F(ObjCommands, MatchingBoneLinesAreWrittenWithoutAWord) {
  writeBytes(outDir() / "m.obj", "v 0 0 0\nv 1 0 0\nv 0 1 0\nf 1 2 3\n");
  writeBytes(outDir() / ".bones", "1 0 1\r\n1 1 1\r\n1 2 1");
  step([&] {
    ASSERT_TRUE(clickMenu(kImportMenu).ok());
    ASSERT_TRUE(clickMenu("文件/输出/SKC格式").ok());
  });
  confirmDialog(outDir() / "m.obj");
  confirmDialog(outDir() / "m.skc");
  answerBox();
  run();
  expectCleanEnd();
  ASSERT_EQ(boxes().size(), 1u);
  EXPECT_EQ(boxes()[0].text, gbk("已输出SKC文件到 ") + modulePath(outDir() / "m.skc"));
  for (const std::string& line : finalLogLines()) EXPECT_EQ(line.find(gbk("骨骼文件的行数")), std::string::npos);
}

TEST_F(ObjCommands, MtlNamesTexturesInTheFormOfThisSystemsPaths) {
  // A texture folder with a Chinese name, as the runtime gives it to the tool.
  const fs::path texDir = programDir() / "纹理" / "lx_ptx_tmp";
  Model m = smallModel();
  m.texturePaths = {modulePath(texDir / "body.tga"), "C:\\x\\a.tga", "body.tga"};
  m.triangles = {{{0, 0, 1, 2}}, {{1, 0, 1, 2}}, {{2, 0, 1, 2}}};
  const fs::path obj = outDir() / "hero.obj";
  std::optional<Model> back;
  step([&] {
    fill(m);
    ASSERT_TRUE(clickMenu(kExportMenu).ok());
    ASSERT_TRUE(clickMenu(kImportMenu).ok());
    back = snapshot();
  });
  confirmDialog(obj);
  answerBox();
  confirmDialog(obj);
  run();
  expectCleanEnd();
  // Linux programs read UTF-8 paths with "/"; a drive path means nothing
  // there and stays as it is.
  EXPECT_EQ(readBytes(outDir() / "hero.mtl"),
            "# Material Count: 3\r\n" + mtlBlock("mat1_body", (texDir / "body.tga").string()) +
                mtlBlock("mat2_a", "C:\\x\\a.tga") + mtlBlock("mat3_", "body.tga"));
  // And the import reads the tool's own paths back.
  ASSERT_TRUE(back);
  EXPECT_EQ(back->texturePaths, (std::vector<std::string>{m.texturePaths[0], "C:\\x\\a.tga",
                                                          modulePath(outDir()) + "\\body.tga"}));
}

}  // namespace
}  // namespace ql::e2e
