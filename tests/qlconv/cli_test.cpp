// qlconv's command line: options, how inputs expand and where they write,
// and how the log box's text becomes lines.
#include <gtest/gtest.h>

#include <fstream>
#include <string>
#include <vector>

#include "tests/qlconv/qlconv_support.h"
#include "tools/qlconv/cli.h"

namespace ql::qlconv {
namespace {

struct ArgsCase {
  const char* name;
  std::vector<std::string> args;
  const char* error;  // nullptr: accepted
};

TEST(QlconvArgs, UsageErrorsNameTheArgument) {
  const ArgsCase cases[] = {
      {"nothing", {}, "no input given"},
      {"unknown option", {"--fast", "a.skc"}, "unknown option --fast"},
      {"unknown format", {"--to", "fbx", "a.skc"}, "--to wants obj, ac3d, skc or gltf, not \"fbx\""},
      {"format missing", {"a.skc", "--to"}, "--to wants a value"},
      {"empty format after =", {"--to=", "a.skc"}, "--to wants a value"},
      {"-o without folder", {"a.skc", "-o"}, "-o wants a value"},
      {"-j zero", {"-j", "0", "a.skc"}, "-j wants a number from 1 to 256, not \"0\""},
      {"-j negative", {"-j", "-3", "a.skc"}, "-j wants a number from 1 to 256, not \"-3\""},
      {"-j not a number", {"-j", "2x", "a.skc"}, "-j wants a number from 1 to 256, not \"2x\""},
      {"-j too many", {"-j", "257", "a.skc"}, "-j wants a number from 1 to 256, not \"257\""},
      {"options only", {"--to", "obj", "-j", "2"}, "no input given"},
  };
  for (const ArgsCase& c : cases) {
    SCOPED_TRACE(c.name);
    auto o = parseArgs(c.args);
    ASSERT_FALSE(o.ok());
    EXPECT_EQ(o.error().message, c.error);
  }
}

TEST(QlconvArgs, AcceptedForms) {
  auto o = parseArgs(std::vector<std::string>{"--to=ac3d", "-oout", "-j3", "x.skc", "--", "-odd.obj"});
  ASSERT_TRUE(o.ok()) << o.error().message;
  EXPECT_EQ(o->to, Format::Ac3d);
  EXPECT_EQ(o->outDir, "out");
  EXPECT_EQ(o->jobs, 3);
  EXPECT_EQ(o->inputs, (std::vector<std::string>{"x.skc", "-odd.obj"}));

  o = parseArgs(std::vector<std::string>{"--textures=tex", "--to", "gltf", "x.skc"});
  ASSERT_TRUE(o.ok()) << o.error().message;
  EXPECT_EQ(o->textureDir, "tex");
  EXPECT_EQ(o->to, Format::Gltf);

  o = parseArgs(std::vector<std::string>{"-o", "dir", "--to", "skc", "-j", "256", "f"});
  ASSERT_TRUE(o.ok()) << o.error().message;
  EXPECT_EQ(o->to, Format::Skc);
  EXPECT_EQ(o->outDir, "dir");
  EXPECT_EQ(o->jobs, 256);

  // --help and --version need no input.
  o = parseArgs(std::vector<std::string>{"--help"});
  ASSERT_TRUE(o.ok());
  EXPECT_TRUE(o->help);
  o = parseArgs(std::vector<std::string>{"--version"});
  ASSERT_TRUE(o.ok());
  EXPECT_TRUE(o->version);
  EXPECT_FALSE(o->to.has_value());
}

TEST(QlconvArgs, DefaultTargetsAndJobCounts) {
  EXPECT_EQ(defaultTarget(InputKind::Skc), Format::Obj);
  EXPECT_EQ(defaultTarget(InputKind::Obj), Format::Skc);
  EXPECT_EQ(defaultTarget(InputKind::Gltf), Format::Skc);
  EXPECT_EQ(inputKindOf("a/HERO.SKC"), InputKind::Skc);
  EXPECT_EQ(inputKindOf("b.Obj"), InputKind::Obj);
  EXPECT_EQ(inputKindOf("c.GLB"), InputKind::Gltf);
  EXPECT_EQ(inputKindOf("d.gltf"), InputKind::Gltf);
  EXPECT_EQ(outputPath("/m/hero.skc", Format::Gltf, "/out"), fs::path("/out/hero.glb"));
  EXPECT_EQ(parseFormat("gltf"), Format::Gltf);
  EXPECT_FALSE(inputKindOf("c.skc.bak").has_value());
  EXPECT_FALSE(inputKindOf(".bones").has_value());

  EXPECT_EQ(effectiveJobs(4, 10), 4);
  EXPECT_EQ(effectiveJobs(4, 2), 2);  // never more processes than inputs
  EXPECT_EQ(effectiveJobs(3, 0), 1);
  EXPECT_GE(effectiveJobs(0, 100), 1);
}

TEST(QlconvPlan, OutputNamesFollowTheInputsBaseName) {
  EXPECT_EQ(outputPath("/m/pmodel/hero01.skc", Format::Obj, ""), fs::path("/m/pmodel/hero01/hero01.obj"));
  EXPECT_EQ(outputPath("/m/pmodel/hero01.skc", Format::Ac3d, "/o"), fs::path("/o/hero01.ac"));
  EXPECT_EQ(outputPath("/m/x/hero01.obj", Format::Skc, "/o"), fs::path("/o/hero01.skc"));
  EXPECT_EQ(outputPath("/m/a.b.skc", Format::Obj, "/o"), fs::path("/o/a.b/a.b.obj"));
}

class QlconvPlanFiles : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(temp_.ok());
    root_ = temp_.path();
  }
  void touch(const fs::path& rel) {
    fs::create_directories((root_ / rel).parent_path());
    std::ofstream(root_ / rel) << "x";
  }
  std::vector<Job> plan(std::vector<std::string> args) {
    auto o = parseArgs(args);
    EXPECT_TRUE(o.ok());
    return planJobs(*o, root_);
  }
  test::TempDir temp_;
  fs::path root_;
};

TEST_F(QlconvPlanFiles, FolderExpandsToItsSkcAndObjFilesByName) {
  touch("pm/b.skc");
  touch("pm/A.OBJ");
  touch("pm/c.txt");
  touch("pm/.bones");
  touch("pm/c.skc.bak");
  touch("pm/sub/deep.skc");  // not directly inside
  fs::create_directories(root_ / "pm/dir.skc");  // a folder is no model
  const auto jobs = plan({"pm"});
  ASSERT_EQ(jobs.size(), 2u);
  EXPECT_EQ(jobs[0].name, "pm/A.OBJ");
  EXPECT_EQ(jobs[0].kind, InputKind::Obj);
  EXPECT_EQ(jobs[0].to, Format::Skc);
  EXPECT_EQ(jobs[0].output, root_ / "pm/A.skc");
  EXPECT_EQ(jobs[1].name, "pm/b.skc");
  EXPECT_EQ(jobs[1].kind, InputKind::Skc);
  EXPECT_EQ(jobs[1].output, root_ / "pm/b/b.obj");
  for (const Job& j : jobs) EXPECT_EQ(j.problem, "") << j.name;
}

TEST_F(QlconvPlanFiles, BadInputsFailAloneWithAReason) {
  touch("pm/good.skc");
  touch("notes.txt");
  touch("empty/readme.md");
  fs::create_symlink(root_ / "nowhere.skc", root_ / "pm/broken.skc");
  const auto jobs = plan({"-o", "out", "pm", "missing.obj", "notes.txt", "empty"});
  ASSERT_EQ(jobs.size(), 5u);
  EXPECT_EQ(jobs[0].name, "pm/broken.skc");
  EXPECT_EQ(jobs[0].problem, "cannot read " + (root_ / "pm/broken.skc").string() + ": no such file");
  EXPECT_EQ(jobs[1].name, "pm/good.skc");
  EXPECT_EQ(jobs[1].problem, "");
  EXPECT_EQ(jobs[1].output, root_ / "out/good/good.obj");
  EXPECT_EQ(jobs[2].problem, "cannot read " + (root_ / "missing.obj").string() + ": no such file");
  EXPECT_EQ(jobs[3].problem, "not an .skc, .obj, .glb or .gltf file");
  EXPECT_EQ(jobs[4].name, "empty");
  EXPECT_EQ(jobs[4].problem, "no .skc, .obj, .glb or .gltf file in this folder");
}

TEST_F(QlconvPlanFiles, NoOutputReplacesAnInputOrAnotherOutput) {
  touch("pm/hero.skc");
  touch("pm/hero.obj");
  touch("other/hero.skc");
  touch("self/self.skc");
  // hero.obj -> pm/hero.skc is an input of this run; the two hero.skc in
  // other folders write the same -o output; self.skc -> skc beside itself.
  auto jobs = plan({"pm"});
  ASSERT_EQ(jobs.size(), 2u);
  EXPECT_EQ(jobs[0].name, "pm/hero.obj");
  EXPECT_EQ(jobs[0].problem,
            "the output " + (root_ / "pm/hero.skc").string() + " would replace the input pm/hero.skc");
  EXPECT_EQ(jobs[1].problem, "");

  jobs = plan({"--to", "ac3d", "-o", "out", "pm/hero.skc", "other/hero.skc"});
  ASSERT_EQ(jobs.size(), 2u);
  EXPECT_EQ(jobs[0].problem, "");
  EXPECT_EQ(jobs[1].problem,
            "the output " + (root_ / "out/hero.ac").string() + " is also the output of pm/hero.skc");

  jobs = plan({"--to", "skc", "self/self.skc"});
  ASSERT_EQ(jobs.size(), 1u);
  EXPECT_EQ(jobs[0].problem, "the output " + (root_ / "self/self.skc").string() + " would replace the input itself");
}

TEST_F(QlconvPlanFiles, TheSameFileNamedTwiceConvertsOnce) {
  touch("pm/a.skc");
  const auto jobs = plan({"pm", "pm/a.skc", "./pm/../pm/a.skc"});
  ASSERT_EQ(jobs.size(), 1u);
  EXPECT_EQ(jobs[0].name, "pm/a.skc");
  EXPECT_EQ(jobs[0].problem, "");
}

TEST(QlconvLog, FollowsAppendsAndReplacements) {
  LogFollower f;
  EXPECT_EQ(f.update(""), std::vector<std::string>{});
  EXPECT_EQ(f.update("banner\r\n"), std::vector<std::string>{"banner"});
  EXPECT_EQ(f.update("banner\r\none\r\ntw"), std::vector<std::string>{"one"});
  // The unfinished line waits until its line break comes.
  EXPECT_EQ(f.update("banner\r\none\r\ntwo\r\n"), std::vector<std::string>{"two"});
  EXPECT_EQ(f.update("banner\r\none\r\ntwo\r\n"), std::vector<std::string>{});
  // Replaced by a new banner: read from the start again.
  EXPECT_EQ(f.update("other\r\n\r\nx"), (std::vector<std::string>{"other", ""}));
  EXPECT_EQ(f.rest(), std::optional<std::string>("x"));
  EXPECT_EQ(f.rest(), std::nullopt);
}

TEST(QlconvLog, MessagesBecomeOneUtf8Line) {
  EXPECT_EQ(messageLine("\xd2\xd1\xca\xe4\xb3\xf6"), "已输出");
  EXPECT_EQ(messageLine("a\r\nb\nc\r\n"), "a b c");
  EXPECT_EQ(messageLine("k1234"), "k1234");
}

}  // namespace
}  // namespace ql::qlconv
