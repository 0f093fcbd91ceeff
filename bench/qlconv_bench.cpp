// qlconv on a folder of generated models, one process at a time against
// several: each conversion runs in a process of its own, so -j 2 should take
// about half the wall time of -j 1 on two cores. Also the cost of one model
// alone (start of the program included) at a few sizes.
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <spawn.h>
#include <stdlib.h>
#include <sys/wait.h>

#include <cmath>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

extern char** environ;

namespace {

namespace fs = std::filesystem;

constexpr int kFolderModels = 24;
constexpr int kFolderModelVertices = 3000;

// A character-like SKC model: a header, three materials, a grid of vertices
// rolled into a cylinder, two triangles per grid cell.
std::string generatedSkc(int vertices, int seed) {
  const int columns = 30;
  const int rows = vertices / columns;
  std::string s =
      "# Character Skin Export for Interserv\r\n#\t\t\t\tbench\r\nStatic Skins: 1 Dynamic Skins: 0\r\n"
      "Static Skin S_01\r\n{\r\n  Materials: 3\r\n";
  for (const char* tex : {"a.tga", "b.jpg", "c.bmp"})
    s += std::string("  Material\r\n    Texture   ") + tex +
         "\r\n    ColorKey  0 0 0 0\r\n    Option    NONE\r\n    TwoSide   TRUE\r\n";
  s += "  Vertices: " + std::to_string(rows * columns) + "\r\n";
  char line[160];
  for (int r = 0; r < rows; ++r)
    for (int c = 0; c < columns; ++c) {
      const double a = 6.2831853 * c / columns;
      std::snprintf(line, sizeof line, "    v   %.5f %.5f %.5f vt %.3f %.3f Bones 2 %d 0.50000  %d 0.50000\r\n",
                    std::cos(a) * (3 + seed % 5), std::sin(a) * 3, 41.0 * r / rows, double(c) / columns,
                    double(r) / rows, r % 20, (r + 1) % 20);
      s += line;
    }
  const int triangles = (rows - 1) * (columns - 1) * 2;
  s += "  Triangles: " + std::to_string(triangles) + "\r\n";
  for (int r = 0; r + 1 < rows; ++r)
    for (int c = 0; c + 1 < columns; ++c) {
      const int v = r * columns + c;
      std::snprintf(line, sizeof line, "    f 3 %d %d %d %d\r\n    f 3 %d %d %d %d\r\n", r % 3, v, v + 1,
                    v + columns, r % 3, v + 1, v + columns + 1, v + columns);
      s += line;
    }
  return s + "\r\n}";
}

class Workspace {
 public:
  Workspace() {
    std::string pattern = (fs::temp_directory_path() / "qlconv-bench-XXXXXX").string();
    if (mkdtemp(pattern.data())) root_ = pattern;
  }
  ~Workspace() {
    std::error_code ec;
    if (!root_.empty()) fs::remove_all(root_, ec);
  }
  const fs::path& root() const { return root_; }

 private:
  fs::path root_;
};

void writeFile(const fs::path& file, const std::string& bytes) {
  fs::create_directories(file.parent_path());
  std::ofstream(file, std::ios::binary) << bytes;
}

// qlconv with `args`, its output thrown away; its exit status.
int runQlconv(std::vector<std::string> args) {
  args.insert(args.begin(), QLCONV_BINARY);
  std::vector<char*> argv;
  for (std::string& a : args) argv.push_back(a.data());
  argv.push_back(nullptr);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
  posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
  pid_t pid = -1;
  const int rc = posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  if (rc != 0) return -1;
  int status = 0;
  waitpid(pid, &status, 0);
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

// A folder of kFolderModels models to OBJ with -j N.
void BM_QlconvFolder(benchmark::State& state) {
  Workspace w;
  for (int i = 0; i < kFolderModels; ++i)
    writeFile(w.root() / "pmodel" / ("m" + std::to_string(i) + ".skc"), generatedSkc(kFolderModelVertices, i));
  const std::string jobs = std::to_string(state.range(0));
  for (auto _ : state) {
    if (runQlconv({"-j", jobs, "-o", (w.root() / "out").string(), (w.root() / "pmodel").string()}) != 0) {
      state.SkipWithError("qlconv failed");
      break;
    }
  }
  state.SetItemsProcessed(state.iterations() * kFolderModels);
  state.counters["models"] = kFolderModels;
}
BENCHMARK(BM_QlconvFolder)->Arg(1)->Arg(2)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3);

// One model to each format: the program's start plus reader and writer.
void BM_QlconvOneModel(benchmark::State& state) {
  Workspace w;
  const fs::path model = w.root() / "m.skc";
  writeFile(model, generatedSkc(int(state.range(0)), 1));
  const char* formats[] = {"obj", "ac3d", "skc"};
  const std::string to = formats[state.range(1)];
  for (auto _ : state) {
    if (runQlconv({"--to", to, "-o", (w.root() / "out").string(), model.string()}) != 0) {
      state.SkipWithError("qlconv failed");
      break;
    }
  }
  state.SetLabel(to);
  state.SetBytesProcessed(state.iterations() * int64_t(fs::file_size(model)));
}
BENCHMARK(BM_QlconvOneModel)
    ->ArgsProduct({{3000, 30000, 300000}, {0, 1, 2}})
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
