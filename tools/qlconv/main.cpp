// qlconv: converts whole model folders without windows, with the very
// routines of the desktop tool (module image, kernel, module code) on the
// headless window system. Each input converts in a child process of its own
// (this program started again with the child flag), N at once.
#include <unistd.h>

#include <cstdio>
#include <string>
#include <system_error>
#include <vector>

#include "tools/qlconv/cli.h"
#include "tools/qlconv/convert.h"
#include "tools/qlconv/pool.h"

namespace {

using namespace ql::qlconv;

constexpr int kExitOk = 0;
constexpr int kExitFailed = 1;
constexpr int kExitUsage = 2;

// This program's own file, for starting the children.
std::string selfPath(const char* argv0) {
  std::error_code ec;
  const fs::path self = fs::read_symlink("/proc/self/exe", ec);
  if (!ec) return self.string();
  return fs::absolute(argv0, ec).string();
}

}  // namespace

int main(int argc, char** argv) {
  const std::vector<std::string> args(argv + 1, argv + argc);

  if (!args.empty() && args[0] == kChildFlag) {
    const auto request = parseChildArgs(args);
    if (!request) {
      std::fprintf(stderr, "qlconv: bad child arguments\n");
      return kExitUsage;
    }
    return convertOne(*request, stderr);
  }

  auto options = parseArgs(args);
  if (!options) {
    std::fprintf(stderr, "qlconv: %s\n%s", options.error().message.c_str(), usageText().c_str());
    return kExitUsage;
  }
  if (options->help) {
    std::fputs(usageText().c_str(), stdout);
    return kExitOk;
  }
  if (options->version) {
    std::printf("qlconv %s\n", kVersion);
    return kExitOk;
  }

  std::error_code ec;
  const fs::path cwd = fs::current_path(ec);
  if (ec) {
    std::fprintf(stderr, "qlconv: cannot read the current folder: %s\n", ec.message().c_str());
    return kExitFailed;
  }
  const std::vector<Job> jobs = planJobs(*options, cwd);
  const std::string self = selfPath(argv[0]);
  fs::path runtimeDir;
  if (!options->runtimeDir.empty()) runtimeDir = (cwd / options->runtimeDir).lexically_normal();
  fs::path textureDir;
  if (!options->textureDir.empty()) textureDir = (cwd / options->textureDir).lexically_normal();

  std::vector<Task> tasks;
  for (const Job& j : jobs) {
    Task t;
    t.name = j.name;
    if (!j.problem.empty()) {
      t.presetLines.push_back("not converted: " + j.problem);
    } else {
      t.argv.push_back(self);
      const auto child = childArgs({j.kind, j.to, j.input, j.output, runtimeDir, textureDir});
      t.argv.insert(t.argv.end(), child.begin(), child.end());
    }
    tasks.push_back(std::move(t));
  }

  PoolOptions pool;
  pool.jobs = effectiveJobs(options->jobs, tasks.size());
  pool.progress = tasks.size() > 1 && isatty(STDERR_FILENO);
  const std::vector<TaskOutcome> outcomes = runTasks(tasks, pool);

  size_t failed = 0;
  for (const TaskOutcome& o : outcomes) failed += o.succeeded() ? 0 : 1;
  if (failed > 0) {
    std::fprintf(stderr, "qlconv: %zu of %zu inputs not converted\n", failed, outcomes.size());
    return kExitFailed;
  }
  return kExitOk;
}
