#include "tools/qlconv/cli.h"

#include <unistd.h>

#include <algorithm>
#include <charconv>
#include <map>
#include <system_error>
#include <thread>

#include "common/gbk.h"

namespace ql::qlconv {

namespace {

bool equalsAsciiNoCase(std::string_view a, std::string_view b) {
  return std::equal(a.begin(), a.end(), b.begin(), b.end(), [](char x, char y) {
    auto lower = [](char c) { return (c >= 'A' && c <= 'Z') ? char(c - 'A' + 'a') : c; };
    return lower(x) == lower(y);
  });
}

Result<int> parseJobs(std::string_view text) {
  int n = 0;
  const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), n);
  if (ec != std::errc() || end != text.data() + text.size() || n < 1 || n > kMaxJobs)
    return fail("-j wants a number from 1 to " + std::to_string(kMaxJobs) + ", not \"" + std::string(text) + "\"");
  return n;
}

// The same file whether or not it exists yet.
fs::path comparable(const fs::path& p) {
  std::error_code ec;
  fs::path c = fs::weakly_canonical(p, ec);
  return ec ? p.lexically_normal() : c;
}

}  // namespace

std::string_view formatName(Format f) {
  switch (f) {
    case Format::Obj: return "obj";
    case Format::Ac3d: return "ac3d";
    case Format::Skc: return "skc";
    case Format::Gltf: return "gltf";
  }
  return "?";
}

std::optional<Format> parseFormat(std::string_view name) {
  for (Format f : {Format::Obj, Format::Ac3d, Format::Skc, Format::Gltf})
    if (name == formatName(f)) return f;
  return std::nullopt;
}

std::string_view inputKindName(InputKind k) {
  switch (k) {
    case InputKind::Skc: return "skc";
    case InputKind::Obj: return "obj";
    case InputKind::Gltf: return "gltf";
  }
  return "?";
}

std::optional<InputKind> parseInputKind(std::string_view name) {
  if (name == "skc") return InputKind::Skc;
  if (name == "obj") return InputKind::Obj;
  if (name == "gltf") return InputKind::Gltf;
  return std::nullopt;
}

std::optional<InputKind> inputKindOf(const fs::path& file) {
  const std::string ext = file.extension().string();
  if (equalsAsciiNoCase(ext, ".skc")) return InputKind::Skc;
  if (equalsAsciiNoCase(ext, ".obj")) return InputKind::Obj;
  if (equalsAsciiNoCase(ext, ".glb") || equalsAsciiNoCase(ext, ".gltf")) return InputKind::Gltf;
  return std::nullopt;
}

Format defaultTarget(InputKind kind) { return kind == InputKind::Skc ? Format::Obj : Format::Skc; }

std::string usageText() {
  return std::string(
             "usage: qlconv [--to obj|ac3d|skc|gltf] [-o OUTDIR] [-j N] [--textures DIR] FILE_OR_FOLDER...\n"
             "Converts character-skin models with the tool's own readers and writers.\n"
             "  FILE_OR_FOLDER   .skc, .obj, .glb and .gltf files; a folder stands for every\n"
             "                   such file directly inside it\n"
             "  --to FORMAT      what to write: obj (a folder NAME/ with NAME.obj, NAME.mtl and\n"
             "                   the side files .bones, .skchead, .skcname), ac3d (NAME.ac),\n"
             "                   skc (NAME.skc) or gltf (NAME.glb, textures embedded); default\n"
             "                   obj for .skc input, skc for .obj, .glb and .gltf input\n"
             "  -o OUTDIR        where the output goes (made when missing); default: beside\n"
             "                   each input\n"
             "  -j N             convert N inputs at once, each in a process of its own;\n"
             "                   default: the number of cores\n"
             "  --textures DIR   the folder of the game's textures (the tool's lx_ptx_tmp), for\n"
             "                   the textures a .glb embeds; default: none, the .glb has none\n"
             "  --runtime-dir DIR  folder of kbase.qlr and the support libraries; default:\n"
             "                   the runtime folder of this build\n"
             "  --help           this text\n"
             "  --version        the tool's version\n"
             "Messages the tool shows (message boxes, log lines) go to standard error, one line\n"
             "each, after the input's name. Texture paths in MTL files point into\n"
             ".\\lx_ptx_tmp, relative to the MTL file.\n"
             "Exit status: 0 all converted, 1 some input failed, 2 bad usage.\n");
}

Result<Options> parseArgs(std::span<const std::string> args) {
  Options o;
  bool optionsEnded = false;
  // The value of an option given as "--opt VALUE" or "--opt=VALUE" (or "-oVALUE").
  auto valueOf = [&](size_t& i, std::string_view name, std::string_view arg) -> Result<std::string> {
    if (arg.size() > name.size()) {
      std::string_view rest = arg.substr(name.size());
      if (rest[0] == '=') rest.remove_prefix(1);
      if (rest.empty()) return fail(std::string(name) + " wants a value");
      return std::string(rest);
    }
    if (i + 1 >= args.size()) return fail(std::string(name) + " wants a value");
    return args[++i];
  };
  for (size_t i = 0; i < args.size(); ++i) {
    const std::string& arg = args[i];
    if (optionsEnded || arg.empty() || arg[0] != '-' || arg == "-") {
      o.inputs.push_back(arg);
      continue;
    }
    if (arg == "--") {
      optionsEnded = true;
    } else if (arg == "--help" || arg == "-h") {
      o.help = true;
    } else if (arg == "--version") {
      o.version = true;
    } else if (arg.starts_with("--to") && (arg.size() == 4 || arg[4] == '=')) {
      auto v = valueOf(i, "--to", arg);
      if (!v) return v.error();
      o.to = parseFormat(*v);
      if (!o.to) return fail("--to wants obj, ac3d, skc or gltf, not \"" + *v + "\"");
    } else if (arg.starts_with("-o")) {
      auto v = valueOf(i, "-o", arg);
      if (!v) return v.error();
      o.outDir = *v;
    } else if (arg.starts_with("-j")) {
      auto v = valueOf(i, "-j", arg);
      if (!v) return v.error();
      auto n = parseJobs(*v);
      if (!n) return n.error();
      o.jobs = *n;
    } else if (arg.starts_with("--textures") && (arg.size() == 10 || arg[10] == '=')) {
      auto v = valueOf(i, "--textures", arg);
      if (!v) return v.error();
      o.textureDir = *v;
    } else if (arg.starts_with("--runtime-dir") && (arg.size() == 13 || arg[13] == '=')) {
      auto v = valueOf(i, "--runtime-dir", arg);
      if (!v) return v.error();
      o.runtimeDir = *v;
    } else {
      return fail("unknown option " + arg);
    }
  }
  if (!o.help && !o.version && o.inputs.empty()) return fail("no input given");
  return o;
}

fs::path outputPath(const fs::path& input, Format to, const fs::path& outDir) {
  const fs::path dir = outDir.empty() ? input.parent_path() : outDir;
  const std::string base = input.stem().string();
  switch (to) {
    case Format::Obj: return dir / base / (base + ".obj");
    case Format::Ac3d: return dir / (base + ".ac");
    case Format::Skc: return dir / (base + ".skc");
    case Format::Gltf: return dir / (base + ".glb");
  }
  return {};
}

std::vector<Job> planJobs(const Options& options, const fs::path& cwd) {
  const fs::path outDir = options.outDir.empty() ? fs::path() : (cwd / options.outDir).lexically_normal();
  std::vector<Job> jobs;
  auto add = [&](std::string name, const fs::path& file) {
    Job j;
    j.name = std::move(name);
    j.input = (cwd / file).lexically_normal();
    std::error_code ec;
    const auto kind = inputKindOf(file);
    const auto status = fs::status(j.input, ec);
    if (!fs::exists(status)) {
      j.problem = "cannot read " + j.input.string() + ": no such file";
    } else if (fs::is_directory(status)) {
      j.problem = "is a folder";  // only named folders expand, not folders inside them
    } else if (!kind) {
      j.problem = "not an .skc, .obj, .glb or .gltf file";
    } else if (access(j.input.c_str(), R_OK) != 0) {
      j.problem = "cannot read " + j.input.string() + ": " + std::generic_category().message(errno);
    }
    if (kind) {
      j.kind = *kind;
      j.to = options.to.value_or(defaultTarget(*kind));
      j.output = outputPath(j.input, j.to, outDir);
    }
    jobs.push_back(std::move(j));
  };

  for (const std::string& arg : options.inputs) {
    const fs::path given(arg);
    std::error_code ec;
    if (!fs::is_directory(cwd / given, ec)) {
      add(arg, given);
      continue;
    }
    std::vector<fs::path> names;
    for (fs::directory_iterator it(cwd / given, ec), end; !ec && it != end; it.increment(ec)) {
      std::error_code typeError;
      if (it->is_directory(typeError) || !inputKindOf(it->path())) continue;
      names.push_back(it->path().filename());
    }
    if (ec) {
      Job j;
      j.name = arg;
      j.input = (cwd / given).lexically_normal();
      j.problem = "cannot list the folder: " + ec.message();
      jobs.push_back(std::move(j));
      continue;
    }
    if (names.empty()) {
      Job j;
      j.name = arg;
      j.input = (cwd / given).lexically_normal();
      j.problem = "no .skc, .obj, .glb or .gltf file in this folder";
      jobs.push_back(std::move(j));
      continue;
    }
    std::sort(names.begin(), names.end());
    for (const fs::path& n : names) add((given / n).string(), given / n);
  }

  // The same file named twice (a folder and a file in it) converts once.
  std::map<fs::path, size_t> inputs;
  std::vector<Job> unique;
  for (Job& j : jobs) {
    if (!j.problem.empty()) {
      unique.push_back(std::move(j));
      continue;
    }
    if (inputs.emplace(comparable(j.input), unique.size()).second) unique.push_back(std::move(j));
  }

  // No conversion may write over an input of this run (it may be read at the
  // same moment, and the user's model would be gone) or over another one's
  // output; the first of two that collide goes ahead.
  std::map<fs::path, size_t> outputs;
  for (size_t i = 0; i < unique.size(); ++i) {
    Job& j = unique[i];
    if (!j.problem.empty()) continue;
    const fs::path out = comparable(j.output);
    if (auto in = inputs.find(out); in != inputs.end()) {
      j.problem = in->second == i ? "the output " + j.output.string() + " would replace the input itself"
                                  : "the output " + j.output.string() + " would replace the input " +
                                        unique[in->second].name;
      continue;
    }
    auto [at, fresh] = outputs.emplace(out, i);
    if (!fresh) j.problem = "the output " + j.output.string() + " is also the output of " + unique[at->second].name;
  }
  return unique;
}

int effectiveJobs(int requested, size_t jobCount) {
  int n = requested;
  if (n <= 0) {
    const unsigned cores = std::thread::hardware_concurrency();
    n = cores == 0 ? 1 : int(std::min<unsigned>(cores, kMaxJobs));
  }
  if (jobCount < size_t(n)) n = int(jobCount);
  return std::max(n, 1);
}

std::vector<std::string> LogFollower::update(std::string_view text) {
  if (!text.starts_with(seen_)) emitted_ = 0;  // replaced
  seen_.assign(text);
  std::vector<std::string> lines;
  for (;;) {
    const size_t cut = seen_.find("\r\n", emitted_);
    if (cut == std::string::npos) break;
    lines.push_back(seen_.substr(emitted_, cut - emitted_));
    emitted_ = cut + 2;
  }
  return lines;
}

std::optional<std::string> LogFollower::rest() {
  if (emitted_ >= seen_.size()) return std::nullopt;
  std::string r = seen_.substr(emitted_);
  emitted_ = seen_.size();
  return r;
}

std::string messageLine(std::string_view gbk) {
  std::string s = gbkToUtf8Lossy(gbk);
  std::string out;
  out.reserve(s.size());
  for (size_t i = 0; i < s.size(); ++i) {
    if (s[i] == '\r' || s[i] == '\n') {
      if (s[i] == '\r' && i + 1 < s.size() && s[i + 1] == '\n') ++i;
      if (i + 1 < s.size()) out.push_back(' ');
      continue;
    }
    out.push_back(s[i]);
  }
  return out;
}

}  // namespace ql::qlconv
