// The process pool: children's lines come out prefixed, grouped per task and
// in task order whatever order the children end in; every task's outcome is
// kept; children that cannot start or that crash fail alone.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "tests/qlconv/qlconv_support.h"
#include "tools/qlconv/pool.h"

namespace ql::qlconv {
namespace {

Task shell(std::string name, std::string script) { return Task{std::move(name), {"/bin/sh", "-c", std::move(script)}, {}}; }

struct Caught {
  std::vector<TaskOutcome> outcomes;
  std::string err;
};

Caught runCaught(const std::vector<Task>& tasks, int jobs) {
  Caught c;
  FILE* err = std::tmpfile();
  PoolOptions o;
  o.jobs = jobs;
  o.err = err;
  c.outcomes = runTasks(tasks, o);
  std::rewind(err);
  char buffer[4096];
  for (size_t n; (n = std::fread(buffer, 1, sizeof buffer, err)) > 0;) c.err.append(buffer, n);
  std::fclose(err);
  return c;
}

TEST(QlconvPool, LinesStayGroupedInTaskOrderWhateverOrderTasksEndIn) {
  // The first task ends last; with three at once the others end before it.
  const std::vector<Task> tasks = {
      shell("slow", "echo one >&2; sleep 0.4; echo two >&2"),
      shell("fast", "echo a >&2; echo b; printf 'no line break' >&2"),
      shell("middle", "sleep 0.1; echo m >&2; exit 3"),
  };
  for (int jobs : {1, 3}) {
    SCOPED_TRACE(jobs);
    const Caught c = runCaught(tasks, jobs);
    EXPECT_EQ(c.err,
              "slow: one\nslow: two\n"
              "fast: a\nfast: b\nfast: no line break\n"
              "middle: m\n");
    ASSERT_EQ(c.outcomes.size(), 3u);
    EXPECT_TRUE(c.outcomes[0].succeeded());
    EXPECT_TRUE(c.outcomes[1].succeeded());
    EXPECT_FALSE(c.outcomes[2].succeeded());
    EXPECT_EQ(c.outcomes[2].exitStatus, 3);
  }
}

TEST(QlconvPool, TasksThatCannotRunFailAloneWithTheirReason) {
  const std::vector<Task> tasks = {
      Task{"planned", {}, {"not converted: no such file"}},
      shell("ok", "echo fine >&2"),
      Task{"nowhere", {"/nonexistent/qlconv-child"}, {}},
      shell("crash", "echo before >&2; kill -SEGV $$"),
      shell("last", "exit 0"),
  };
  const Caught c = runCaught(tasks, 2);
  ASSERT_EQ(c.outcomes.size(), 5u);
  EXPECT_FALSE(c.outcomes[0].ran);
  EXPECT_FALSE(c.outcomes[0].succeeded());
  EXPECT_TRUE(c.outcomes[1].succeeded());
  EXPECT_FALSE(c.outcomes[2].succeeded());
  EXPECT_FALSE(c.outcomes[3].succeeded());
  EXPECT_EQ(c.outcomes[3].signal, SIGSEGV);
  EXPECT_TRUE(c.outcomes[4].succeeded());
  const std::string expectedStart =
      "planned: not converted: no such file\n"
      "ok: fine\n"
      "nowhere: cannot start /nonexistent/qlconv-child: ";
  EXPECT_EQ(c.err.substr(0, expectedStart.size()), expectedStart) << c.err;
  EXPECT_NE(c.err.find("\ncrash: before\ncrash: the conversion crashed (Segmentation fault)\n"), std::string::npos)
      << c.err;
}

TEST(QlconvPool, RunsSeveralAtOnce) {
  // Four tasks that each wait for the others' marker files can only finish
  // when all four run at the same time; one at a time they would time out.
  test::TempDir dir;
  ASSERT_TRUE(dir.ok());
  std::vector<Task> tasks;
  for (int i = 0; i < 4; ++i) {
    const std::string d = dir.path().string();
    tasks.push_back(shell("t" + std::to_string(i), "touch " + d + "/" + std::to_string(i) +
                                                       "; n=0; while [ $(ls " + d +
                                                       " | wc -l) -lt 4 ]; do n=$((n+1)); "
                                                       "[ $n -gt 100 ] && exit 7; sleep 0.05; done; exit 0"));
  }
  const Caught parallel = runCaught(tasks, 4);
  for (const TaskOutcome& o : parallel.outcomes) EXPECT_TRUE(o.succeeded()) << o.exitStatus;
}

TEST(QlconvPool, ProgressLineIsClearedBeforeEachMessage) {
  FILE* err = std::tmpfile();
  PoolOptions o;
  o.jobs = 1;
  o.err = err;
  o.progress = true;
  runTasks({shell("a", "echo x >&2"), shell("b", "true")}, o);
  std::rewind(err);
  std::string text;
  char buffer[1024];
  for (size_t n; (n = std::fread(buffer, 1, sizeof buffer, err)) > 0;) text.append(buffer, n);
  std::fclose(err);
  EXPECT_NE(text.find("[0/2] a"), std::string::npos) << text;
  EXPECT_NE(text.find("\r\033[Ka: x\n"), std::string::npos) << text;
  EXPECT_NE(text.find("[1/2] b"), std::string::npos) << text;
  // It ends cleared: the last thing written wipes the line.
  EXPECT_EQ(text.substr(text.size() - 4), "\r\033[K");
}

}  // namespace
}  // namespace ql::qlconv
