// The qlconv program as users run it: usage, the sample game's models to
// OBJ, AC3D and back to SKC through the real module routines, repeatable
// bytes, and bad inputs failing alone.
#include <gtest/gtest.h>

#include <cstdlib>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "tests/qlconv/qlconv_support.h"
#include "tools/qlconv/convert.h"

namespace ql::qlconv {
namespace {

using test::Ran;
using test::readFile;
using test::writeFile;

const fs::path kQlconv = QLCONV_BINARY;
const fs::path kSampleModels = QLCONV_SAMPLE_MODELS;
const std::vector<std::string> kSampleNames = {"guard02", "hero01", "lady04", "monk03"};
const std::vector<std::string> kObjFolderFiles = {".bones", ".skchead", ".skcname"};

class QlconvRun : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(temp_.ok());
    root_ = temp_.path();
    ASSERT_TRUE(fs::is_directory(kSampleModels)) << kSampleModels << ": build the sample_game target";
  }
  Ran qlconv(std::vector<std::string> args) { return test::runProgram(kQlconv, args, root_); }
  // The sample models copied to root/pm.
  void copySamples() {
    fs::create_directories(root_ / "pm");
    for (const std::string& n : kSampleNames)
      fs::copy_file(kSampleModels / (n + ".skc"), root_ / "pm" / (n + ".skc"));
  }
  test::TempDir temp_;
  fs::path root_;
};

// ---- Usage --------------------------------------------------------------------------

TEST_F(QlconvRun, BadUsageExitsTwoWithTheUsage) {
  const std::vector<std::vector<std::string>> cases = {
      {}, {"--to", "fbx", "a.skc"}, {"-j", "0", "a.skc"}, {"--bogus", "a.skc"}, {"a.skc", "-o"},
  };
  for (const auto& args : cases) {
    SCOPED_TRACE(::testing::PrintToString(args));
    const Ran r = qlconv(args);
    EXPECT_EQ(r.exitStatus, 2);
    EXPECT_EQ(r.err.rfind("qlconv: ", 0), 0u) << r.err;
    EXPECT_NE(r.err.find("usage: qlconv [--to obj|ac3d|skc|gltf] [-o OUTDIR] [-j N] [--textures DIR] FILE_OR_FOLDER..."),
              std::string::npos);
    EXPECT_EQ(r.out, "");
  }
}

TEST_F(QlconvRun, HelpAndVersion) {
  Ran r = qlconv({"--help"});
  EXPECT_EQ(r.exitStatus, 0);
  EXPECT_EQ(r.out.rfind("usage: qlconv [--to obj|ac3d|skc|gltf]", 0), 0u) << r.out;
  EXPECT_EQ(r.err, "");
  r = qlconv({"--version"});
  EXPECT_EQ(r.exitStatus, 0);
  EXPECT_EQ(r.out, "qlconv 0.24\n");
}

TEST(QlconvChild, ArgumentsRoundTrip) {
  const ConvertRequest r{InputKind::Obj, Format::Ac3d, "/a/b c.obj", "/o/b c.ac", "/rt", "/tex tures"};
  const auto args = childArgs(r);
  const auto back = parseChildArgs(args);
  ASSERT_TRUE(back.has_value());
  EXPECT_EQ(back->kind, r.kind);
  EXPECT_EQ(back->to, r.to);
  EXPECT_EQ(back->input, r.input);
  EXPECT_EQ(back->output, r.output);
  EXPECT_EQ(back->runtimeDir, r.runtimeDir);
  EXPECT_EQ(back->textureDir, r.textureDir);
  auto relative = args;
  relative[3] = "b.obj";  // children get absolute paths only
  EXPECT_FALSE(parseChildArgs(relative).has_value());
}

// ---- The sample game's models ---------------------------------------------------

// The vertex and triangle rows of an SKC text, read the way its reader does
// (blanks of any length between numbers).
struct SkcTables {
  std::vector<std::array<float, 5>> vertices;
  std::vector<std::string> bones;
  std::vector<std::array<int, 4>> triangles;
  std::string head;  // before "  Vertices:"
};

std::vector<std::string> words(const std::string& line) {
  std::istringstream in(line);
  std::vector<std::string> w;
  for (std::string s; in >> s;) w.push_back(s);
  return w;
}

SkcTables readSkc(const std::string& text) {
  SkcTables t;
  t.head = text.substr(0, text.find("  Vertices:"));
  size_t start = 0;
  while (start < text.size()) {
    size_t cut = text.find("\r\n", start);
    if (cut == std::string::npos) cut = text.size();
    const std::string line = text.substr(start, cut - start);
    start = cut + 2;
    const auto w = words(line);
    if (w.size() >= 8 && w[0] == "v" && w[4] == "vt" && w[7] == "Bones") {
      t.vertices.push_back({std::strtof(w[1].c_str(), nullptr), std::strtof(w[2].c_str(), nullptr),
                            std::strtof(w[3].c_str(), nullptr), std::strtof(w[5].c_str(), nullptr),
                            std::strtof(w[6].c_str(), nullptr)});
      size_t at = line.find("Bones ") + 6;
      while (at < line.size() && line[at] == ' ') ++at;
      t.bones.push_back(line.substr(at));
    } else if (w.size() == 6 && w[0] == "f" && w[1] == "3") {
      t.triangles.push_back({std::atoi(w[2].c_str()), std::atoi(w[3].c_str()), std::atoi(w[4].c_str()),
                             std::atoi(w[5].c_str())});
    }
  }
  return t;
}

// A path as the module shows it: '\' separators.
std::string backslashed(const fs::path& p) {
  std::string s = p.string();
  for (char& c : s)
    if (c == '/') c = '\\';
  return s;
}

std::map<std::string, std::string> filesUnder(const fs::path& dir) {
  std::map<std::string, std::string> files;
  for (const auto& e : fs::recursive_directory_iterator(dir))
    if (e.is_regular_file()) files[fs::relative(e.path(), dir).string()] = readFile(e.path());
  return files;
}

TEST_F(QlconvRun, SampleFolderToObjAc3dAndBackToSkc) {
  copySamples();
  Ran r = qlconv({"-j", "2", "-o", "obj", "pm"});
  ASSERT_EQ(r.exitStatus, 0) << r.err;
  r = qlconv({"--to", "ac3d", "-o", "ac", "pm"});
  ASSERT_EQ(r.exitStatus, 0) << r.err;
  std::vector<std::string> objs;
  for (const std::string& n : kSampleNames) objs.push_back("obj/" + n + "/" + n + ".obj");
  std::vector<std::string> args = {"-o", "back"};
  args.insert(args.end(), objs.begin(), objs.end());
  r = qlconv(args);
  ASSERT_EQ(r.exitStatus, 0) << r.err;

  for (const std::string& n : kSampleNames) {
    SCOPED_TRACE(n);
    const fs::path objDir = root_ / "obj" / n;
    for (const std::string& f : {n + ".obj", n + ".mtl", std::string(".bones"), std::string(".skchead"),
                                 std::string(".skcname")})
      EXPECT_TRUE(fs::is_regular_file(objDir / f)) << f;
    EXPECT_EQ(readFile(objDir / ".skcname"), n + ".skc");
    const std::string obj = readFile(objDir / (n + ".obj"));
    EXPECT_NE(obj.find("\r\nmtllib " + n + ".mtl\r\n"), std::string::npos);
    // Texture paths point into the texture folder beside the output.
    EXPECT_NE(readFile(objDir / (n + ".mtl")).find("\r\nmap_Kd .\\lx_ptx_tmp\\"), std::string::npos);
    EXPECT_EQ(readFile(root_ / "ac" / (n + ".ac")).rfind("AC3Db\r\n", 0), 0u);

    // SKC -> OBJ -> SKC: the same triangles, bones and texture coordinates;
    // positions come back turned as the OBJ import turns them: (x, z, -y).
    const std::string originalText = readFile(root_ / "pm" / (n + ".skc"));
    const std::string backText = readFile(root_ / "back" / (n + ".skc"));
    const SkcTables original = readSkc(originalText);
    const SkcTables back = readSkc(backText);
    ASSERT_GT(original.vertices.size(), 100u);
    ASSERT_GT(original.triangles.size(), 100u);
    EXPECT_EQ(back.triangles, original.triangles);
    EXPECT_EQ(back.bones, original.bones);
    ASSERT_EQ(back.vertices.size(), original.vertices.size());
    for (size_t i = 0; i < original.vertices.size(); ++i) {
      const auto& o = original.vertices[i];
      const std::array<float, 5> turned{o[0], o[2], -o[1], o[3], o[4]};
      ASSERT_EQ(back.vertices[i], turned) << "vertex row " << i + 1;
    }
    // The head comes back verbatim, then the line break the writer adds.
    EXPECT_EQ(back.head, original.head + "\r\n");
    EXPECT_EQ(backText.substr(backText.size() - 3), "\r\n}");
  }
  // The messages name their input, one line each.
  const auto lines = r.errLines();
  ASSERT_FALSE(lines.empty());
  EXPECT_EQ(lines.front(), "obj/guard02/guard02.obj: =========开始分析OBJ文件========");
  EXPECT_EQ(lines.back(), "obj/monk03/monk03.obj: 已输出SKC文件到 " + backslashed(root_ / "back" / "monk03.skc"));
}

TEST_F(QlconvRun, SampleFolderToGltfAndBackToTheSameSkc) {
  copySamples();
  // The game's textures, as the first start unpacks them.
  Ran r = test::runProgram(QLCONV_UNPACK, {"e", QLCONV_SAMPLE_PAK, (root_ / "tex").string() + "/"}, root_);
  ASSERT_EQ(r.exitStatus, 0) << r.err;
  const auto textures = filesUnder(root_ / "tex");
  r = qlconv({"--to", "gltf", "--textures", "tex", "-o", "glb", "pm"});
  ASSERT_EQ(r.exitStatus, 0) << r.err;
  EXPECT_EQ(r.err.find("未嵌入"), std::string::npos) << r.err;
  // The BMP copies the program makes of JPEG textures stay in its own folder.
  EXPECT_TRUE(filesUnder(root_ / "tex") == textures);
  r = qlconv({"--to", "gltf", "--textures", "nowhere", "-o", "none", "pm/hero01.skc"});
  EXPECT_EQ(r.exitStatus, 1);
  EXPECT_NE(r.err.find("not converted: the texture folder " + (root_ / "nowhere").string() + " is not a folder"),
            std::string::npos)
      << r.err;
  r = qlconv({"-o", "back", "glb"});
  ASSERT_EQ(r.exitStatus, 0) << r.err;
  ASSERT_EQ(qlconv({"--to", "skc", "-o", "direct", "pm"}).exitStatus, 0);
  for (const std::string& n : kSampleNames) {
    SCOPED_TRACE(n);
    const std::string glb = readFile(root_ / "glb" / (n + ".glb"));
    EXPECT_EQ(glb.rfind("glTF", 0), 0u);
    // Five textures or so each, embedded: far more than the model's own data.
    EXPECT_GT(glb.size(), 60000u);
    const std::string back = readFile(root_ / "back" / (n + ".skc"));
    EXPECT_FALSE(back.empty());
    EXPECT_TRUE(back == readFile(root_ / "direct" / (n + ".skc"))) << "the SKC through glTF differs";
    const SkcTables t = readSkc(back);
    EXPECT_NE(r.err.find("glb/" + n + ".glb: 骨骼文本：原样保留 [" + std::to_string(t.vertices.size()) +
                         "] 个，按权重重建 [0] 个"),
              std::string::npos)
        << r.err;
  }
}

TEST_F(QlconvRun, SkcLoadMessagesGoToStandardErrorInOrder) {
  copySamples();
  const Ran r = qlconv({"-o", "out", "pm/hero01.skc"});
  ASSERT_EQ(r.exitStatus, 0) << r.err;
  const auto lines = r.errLines();
  ASSERT_GE(lines.size(), 6u) << r.err;
  EXPECT_EQ(lines[0], "pm/hero01.skc: =========开始分析SKC文件========");
  EXPECT_EQ(lines[1].rfind("pm/hero01.skc: 材质总数 == [", 0), 0u) << lines[1];
  // The triangle-count box comes between the log lines around it.
  const SkcTables t = readSkc(readFile(root_ / "pm/hero01.skc"));
  const std::string count = std::to_string(t.triangles.size());
  size_t box = 0;
  while (box < lines.size() && lines[box] != "pm/hero01.skc: k" + count) ++box;
  ASSERT_LT(box, lines.size()) << r.err;
  EXPECT_EQ(lines[box - 1], "pm/hero01.skc: 三角形总数： [" + count + "]");
  EXPECT_EQ(lines[box + 1], "pm/hero01.skc: i2==" + count);
  EXPECT_EQ(lines.back().rfind("pm/hero01.skc: 已输出模型: ", 0), 0u) << lines.back();
}

TEST_F(QlconvRun, ASecondRunWritesTheSameBytes) {
  copySamples();
  for (const char* to : {"obj", "ac3d", "skc", "gltf"}) {
    SCOPED_TRACE(to);
    const std::string first = std::string("first-") + to, second = std::string("second-") + to;
    ASSERT_EQ(qlconv({"--to", to, "-o", first, "pm"}).exitStatus, 0);
    ASSERT_EQ(qlconv({"--to", to, "-j", "1", "-o", second, "pm"}).exitStatus, 0);
    const auto a = filesUnder(root_ / first);
    const auto b = filesUnder(root_ / second);
    EXPECT_EQ(a.size(), std::string(to) == "obj" ? kSampleNames.size() * 5 : kSampleNames.size());
    EXPECT_TRUE(a == b);
  }
}

TEST_F(QlconvRun, DefaultOutputGoesBesideTheInput) {
  copySamples();
  ASSERT_EQ(qlconv({"pm/lady04.skc"}).exitStatus, 0);
  EXPECT_TRUE(fs::is_regular_file(root_ / "pm/lady04/lady04.obj"));
  ASSERT_EQ(qlconv({"pm/lady04/lady04.obj"}).exitStatus, 0);
  EXPECT_TRUE(fs::is_regular_file(root_ / "pm/lady04/lady04.skc"));
  // Converting the SKC to SKC beside itself would replace the user's model.
  const Ran r = qlconv({"--to", "skc", "pm/lady04.skc"});
  EXPECT_EQ(r.exitStatus, 1);
  EXPECT_EQ(readFile(root_ / "pm/lady04.skc"), readFile(kSampleModels / "lady04.skc"));
  EXPECT_NE(r.err.find("pm/lady04.skc: not converted: the output " + (root_ / "pm/lady04.skc").string() +
                       " would replace the input itself"),
            std::string::npos)
      << r.err;
}

TEST_F(QlconvRun, BadInputsFailAloneWithAClearMessage) {
  copySamples();
  // A file whose first line is not the SKC header, one without a Materials
  // line, a link to nothing, an OBJ that is not one, and a missing file.
  writeFile(root_ / "pm/wrong.skc", "# Character Skin Export\r\n{\r\n}");
  writeFile(root_ / "pm/nomat.skc", "# Character Skin Export for Interserv\r\n{\r\n}");
  fs::create_symlink(root_ / "gone.skc", root_ / "pm/broken.skc");
  writeFile(root_ / "bad/bad.obj", std::string("\x00\x01 not an obj", 13));
  // A name GBK cannot hold cannot be handed to the program.
  fs::copy_file(kSampleModels / "hero01.skc", root_ / "pm/\xF0\x9F\x98\x80.skc");
  const Ran r = qlconv({"-j", "2", "-o", "out", "pm", "bad/bad.obj", "absent.obj"});
  EXPECT_EQ(r.exitStatus, 1) << r.err;
  for (const std::string& n : kSampleNames)
    EXPECT_TRUE(fs::is_regular_file(root_ / "out" / n / (n + ".obj"))) << n;
  EXPECT_FALSE(fs::exists(root_ / "out/wrong"));
  EXPECT_FALSE(fs::exists(root_ / "out/nomat/nomat.obj"));
  const std::string& e = r.err;
  // The reader's refusal, the load's closing line, then why nothing was written.
  EXPECT_NE(e.find("pm/wrong.skc: 错误的模型文件！\npm/wrong.skc: 载入顶点 [0] 个！ 成功\n"
                   "pm/wrong.skc: not converted: no model was read from " +
                   (root_ / "pm/wrong.skc").string() + "\n"),
            std::string::npos)
      << e;
  EXPECT_NE(e.find("pm/nomat.skc: 在模型文件中没有找到材质样式\n"), std::string::npos) << e;
  EXPECT_NE(e.find("pm/broken.skc: not converted: cannot read " + (root_ / "pm/broken.skc").string() +
                   ": no such file\n"),
            std::string::npos)
      << e;
  EXPECT_NE(e.find("bad/bad.obj: not converted: "), std::string::npos) << e;
  EXPECT_NE(e.find("absent.obj: not converted: cannot read " + (root_ / "absent.obj").string()), std::string::npos)
      << e;
  EXPECT_NE(e.find("pm/\xF0\x9F\x98\x80.skc: not converted: "), std::string::npos) << e;
  EXPECT_FALSE(fs::exists(root_ / "out/\xF0\x9F\x98\x80"));
  EXPECT_NE(e.find("qlconv: 6 of 10 inputs not converted\n"), std::string::npos) << e;
}

TEST_F(QlconvRun, AnUnwritableOutputFails) {
  copySamples();
  // The output folder's place is taken by a file: nothing can be written.
  writeFile(root_ / "out", "a file");
  const Ran r = qlconv({"--to", "ac3d", "-o", "out", "pm/hero01.skc"});
  EXPECT_EQ(r.exitStatus, 1);
  EXPECT_NE(r.err.find("pm/hero01.skc: not converted: cannot make the folder " + (root_ / "out").string()),
            std::string::npos)
      << r.err;
}

}  // namespace
}  // namespace ql::qlconv
