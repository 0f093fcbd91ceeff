#include "tools/qlconv/textures.h"

#include <spawn.h>
#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <cstring>
#include <system_error>
#include <vector>

extern char** environ;

namespace ql::qlconv {

namespace {

constexpr char kToolTextureFolder[] = "lx_ptx_tmp";
constexpr char kModelFolder[] = "pmodel";
constexpr char kTexturePackage[] = "ptexture.pak";

bool equalsNoCase(std::string a, std::string b) {
  for (char& c : a) c = char(std::tolower(static_cast<unsigned char>(c)));
  for (char& c : b) c = char(std::tolower(static_cast<unsigned char>(c)));
  return a == b;
}

// The file of `folder` named `name`, ignoring ASCII case as the game's
// Windows file system does; empty when there is none.
fs::path findNoCase(const fs::path& folder, const std::string& name) {
  std::error_code ec;
  for (fs::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec))
    if (equalsNoCase(it->path().filename().string(), name)) return it->path();
  return {};
}

}  // namespace

TextureFinder::TextureFinder(fs::path given, const fs::path& cwd, fs::path unpacker, fs::path scratch)
    : given_(given.empty() ? given : (cwd / given).lexically_normal()),
      unpacker_(std::move(unpacker)),
      scratch_(std::move(scratch)) {
  std::error_code ec;
  if (fs::is_directory(cwd / kToolTextureFolder, ec)) beside_ = cwd / kToolTextureFolder;
}

Result<fs::path> TextureFinder::folderFor(const fs::path& model) {
  std::error_code ec;
  if (!given_.empty()) {
    if (fs::is_directory(given_, ec)) return given_;
    if (fs::is_regular_file(given_, ec)) return unpacked(given_);
    return fail("--textures: " + given_.string() + " is neither a folder nor a texture package");
  }
  if (!beside_.empty()) return beside_;
  const fs::path folder = model.parent_path();
  if (!equalsNoCase(folder.filename().string(), kModelFolder)) return fs::path();
  const fs::path package = findNoCase(folder.parent_path(), kTexturePackage);
  if (package.empty()) return fs::path();
  return unpacked(package);
}

Result<fs::path> TextureFinder::unpacked(const fs::path& package) {
  if (auto at = packages_.find(package); at != packages_.end()) return at->second;
  const fs::path into = scratch_ / ("textures" + std::to_string(packages_.size()));
  std::error_code ec;
  fs::create_directories(into, ec);
  if (ec) return fail("cannot make a folder for the textures: " + ec.message());
  // The adapter takes WinRAR's command line: e "ARCHIVE" "DEST/".
  std::vector<std::string> args = {unpacker_.string(), "e", package.string(), into.string() + "/"};
  std::vector<char*> argv;
  for (std::string& a : args) argv.push_back(a.data());
  argv.push_back(nullptr);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
  pid_t pid = 0;
  const int started = posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  if (started != 0) return fail("cannot start the archive adapter " + unpacker_.string() + ": " + std::strerror(started));
  int status = 0;
  while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
  }
  if (!WIFEXITED(status) || WEXITSTATUS(status) != 0)
    return fail("the texture package " + package.string() + " could not be unpacked");
  packages_.emplace(package, into);
  return into;
}

}  // namespace ql::qlconv
