// qlconv's command line: the options, the inputs they name (folders expand
// to the .skc and .obj files directly inside), and where each conversion
// writes. Nothing here runs a conversion.
#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "common/result.h"

namespace ql::qlconv {

namespace fs = std::filesystem;

inline constexpr char kVersion[] = QLCONV_VERSION;
// More at once than this gains nothing on any machine we run on and only
// risks running out of processes.
inline constexpr int kMaxJobs = 256;

// Writers reachable from the menu 文件/输出.
enum class Format { Obj, Ac3d, Skc, Gltf };
// What reads an input: the model list's SKC load, the OBJ import or the glTF
// import.
enum class InputKind { Skc, Obj, Gltf };

std::string_view formatName(Format f);  // "obj", "ac3d", "skc"
std::optional<Format> parseFormat(std::string_view name);
std::string_view inputKindName(InputKind k);  // "skc", "obj", "gltf"
std::optional<InputKind> parseInputKind(std::string_view name);
// By extension, ignoring ASCII case as the game's Windows file system does.
std::optional<InputKind> inputKindOf(const fs::path& file);
// Without --to: SKC becomes OBJ, OBJ and glTF become SKC.
Format defaultTarget(InputKind kind);

struct Options {
  bool help = false;
  bool version = false;
  std::optional<Format> to;
  fs::path outDir;     // empty: beside each input
  int jobs = 0;        // 0: one per core
  fs::path runtimeDir;  // empty: this build's runtime folder
  fs::path textureDir;  // empty: no textures
  std::vector<std::string> inputs;
};

// A usage error's message names the offending argument; the caller prints it
// with the usage text and exits with 2.
Result<Options> parseArgs(std::span<const std::string> args);
std::string usageText();

// One conversion. `problem` set: it fails without running (the reason, for
// the user).
struct Job {
  std::string name;  // the input as the user named it: the prefix of its messages
  fs::path input;    // absolute
  InputKind kind = InputKind::Skc;
  Format to = Format::Obj;
  fs::path output;   // absolute: the file the writer's dialog is answered with
  std::string problem;
};

// The main output file of `input` converted to `to`, in `outDir` (empty:
// beside the input): NAME.ac, NAME.skc, NAME.glb, or NAME/NAME.obj with the
// MTL and side files in that folder of its own.
fs::path outputPath(const fs::path& input, Format to, const fs::path& outDir);

// Expands folders (their .skc, .obj, .glb and .gltf files, by name), drops repeats of the
// same file, and sets `problem` on inputs that cannot be read, are of no known
// kind, or whose output would replace an input of this run or another job's
// output. Relative paths are taken from `cwd`.
std::vector<Job> planJobs(const Options& options, const fs::path& cwd);

// The number of processes for `jobCount` jobs: -j, else the cores, never
// more than the jobs, at least 1.
int effectiveJobs(int requested, size_t jobCount);

// Turns what the log box shows into whole lines as it grows. The log is
// replaced (a new banner) or appended to; a text that does not continue the
// previous one counts as replaced and is read from its start.
class LogFollower {
 public:
  // The lines (GBK, without CR LF) completed since the last call.
  std::vector<std::string> update(std::string_view text);
  // The unfinished last line, if any (at the end of a run).
  std::optional<std::string> rest();

 private:
  std::string seen_;    // the text as last read
  size_t emitted_ = 0;  // bytes of seen_ already given out as lines
};

// One line of standard error from a message (GBK): UTF-8, line breaks
// inside it turned into blanks.
std::string messageLine(std::string_view gbk);

}  // namespace ql::qlconv
