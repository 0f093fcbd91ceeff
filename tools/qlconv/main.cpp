// qlconv: converts whole model folders without windows, with the very
// routines of the desktop tool (module image, kernel, module code) on the
// headless window system. Each input converts in a child process of its own
// (this program started again with the child flag), N at once.
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <system_error>
#include <vector>

#include "common/gbk.h"
#include "game/model_list.h"
#include "tools/picture/picture.h"
#include "tools/qlconv/cli.h"
#include "tools/qlconv/convert.h"
#include "tools/qlconv/output_folders.h"
#include "tools/qlconv/pool.h"
#include "tools/qlconv/sheet.h"
#include "tools/qlconv/textures.h"
#include "tools/qlscenario/app_runner.h"

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

constexpr char kArchiveAdapter[] = "qlunpack";

// The sheet shows the models in the order of the tool's model list.
void orderAsTheModelList(std::vector<Job>& jobs) {
  auto key = [](const Job& j) {
    const std::string name = j.input.filename().string();
    return ql::utf8ToGbk(name).value_or(name);
  };
  std::stable_sort(jobs.begin(), jobs.end(),
                   [&](const Job& a, const Job& b) { return ql::game::windowsNameBefore(key(a), key(b)); });
}

// Puts the pictures the children drew into one sheet; false when it could
// not be written.
bool writeSheet(const Options& options, const fs::path& cwd, const std::vector<Job>& jobs,
                const std::vector<TaskOutcome>& outcomes) {
  std::vector<SheetEntry> entries;
  std::vector<std::string> labels;
  size_t missing = 0;
  for (size_t i = 0; i < jobs.size(); ++i) {
    SheetEntry e;
    e.label = jobs[i].input.filename().string();
    if (outcomes[i].succeeded()) {
      auto p = ql::picture::readPng(jobs[i].output);
      if (p) e.tile = std::move(*p);
    }
    missing += e.tile ? 0 : 1;
    labels.push_back(e.label);
    entries.push_back(std::move(e));
  }
  auto font = LabelFont::find(labels);
  if (!font) std::fprintf(stderr, "qlconv: the sheet shows no names: %s\n", font.error().message.c_str());
  const ql::picture::Picture picture = composeSheet(entries, options.picture.width, options.picture.height,
                                                    options.picture.transparent, font ? &*font : nullptr);
  const fs::path file = (cwd / options.sheet).lexically_normal();
  if (auto s = ql::picture::writePng(picture, file); !s) {
    std::fprintf(stderr, "qlconv: %s\n", s.error().message.c_str());
    return false;
  }
  std::fprintf(stderr, "qlconv: wrote %s: %zu models%s\n", file.string().c_str(), entries.size(),
               missing ? (", " + std::to_string(missing) + " not drawn (crossed out)").c_str() : "");
  return true;
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
  std::vector<Job> jobs = planJobs(*options, cwd);
  OutputFolders folders;
  folders.prepare(jobs);
  const std::string self = selfPath(argv[0]);
  fs::path runtimeDir;
  if (!options->runtimeDir.empty()) runtimeDir = (cwd / options->runtimeDir).lexically_normal();

  const bool sheet = !options->sheet.empty();
  const bool pictures = options->to == Format::Png;
  // Unpacked textures and a sheet's pictures live here until the end.
  ql::TempFolder scratch("qlconv");
  if (pictures && !scratch.ok()) {
    std::fprintf(stderr, "qlconv: cannot make a temporary folder\n");
    return kExitFailed;
  }
  if (sheet) orderAsTheModelList(jobs);
  TextureFinder textures(options->picture.textures, cwd,
                         (runtimeDir.empty() ? ql::apprun::defaultRuntimeDir() : runtimeDir) / kArchiveAdapter,
                         scratch.path());
  std::vector<Task> tasks;
  for (size_t i = 0; i < jobs.size(); ++i) {
    Job& j = jobs[i];
    ConvertRequest request;
    request.kind = j.kind;
    request.to = j.to;
    request.input = j.input;
    request.output = j.output;
    request.runtimeDir = runtimeDir;
    if (pictures && j.problem.empty()) {
      request.width = options->picture.width;
      request.height = options->picture.height;
      request.transparent = options->picture.transparent;
      if (sheet) request.output = j.output = scratch.path() / ("picture" + std::to_string(i) + ".png");
      auto folder = textures.folderFor(j.input);
      if (folder)
        request.textures = *folder;
      else
        j.problem = folder.error().message;
    }
    Task t;
    t.name = j.name;
    if (!j.problem.empty()) {
      t.presetLines.push_back("not converted: " + j.problem);
    } else {
      t.argv.push_back(self);
      const auto child = childArgs(request);
      t.argv.insert(t.argv.end(), child.begin(), child.end());
    }
    tasks.push_back(std::move(t));
  }

  PoolOptions pool;
  pool.jobs = effectiveJobs(options->jobs, tasks.size());
  pool.progress = tasks.size() > 1 && isatty(STDERR_FILENO);
  const std::vector<TaskOutcome> outcomes = runTasks(tasks, pool);
  // A folder made for outputs that none of the conversions wrote goes again.
  folders.tidy();

  size_t failed = 0;
  for (const TaskOutcome& o : outcomes) failed += o.succeeded() ? 0 : 1;
  if (sheet && !writeSheet(*options, cwd, jobs, outcomes)) return kExitFailed;
  if (failed > 0) {
    std::fprintf(stderr, "qlconv: %zu of %zu inputs not converted\n", failed, outcomes.size());
    return kExitFailed;
  }
  return kExitOk;
}
