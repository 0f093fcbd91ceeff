// The real programs as child processes: qlpack packs the test kernel onto
// qltool-bare, and the packed launcher starts it with the module image.
#include <elf.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <spawn.h>
#include <sys/wait.h>

#include <cstring>

#include "launcher/memory_platform.h"
#include "launcher_test_support.h"

extern char** environ;

namespace ql::launcher {
namespace {

using namespace ql::launcher::testing;

struct ChildRun {
  int exitCode = -1;
  std::string out;
  std::string err;
};

// Runs `argv` with the environment `env`, its output captured in files of
// `scratch`. DISPLAY is passed only when `env` gives one: no dialog otherwise.
ChildRun runProgram(const fs::path& scratch, std::vector<std::string> argv, std::vector<std::string> env = {}) {
  const fs::path out = scratch / "child.out", err = scratch / "child.err";
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 1, out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
  posix_spawn_file_actions_addopen(&actions, 2, err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);

  for (char** e = environ; *e; ++e) {
    const std::string_view v = *e;
    if (!v.starts_with("DISPLAY=") && !v.starts_with("TMPDIR=") && !v.starts_with("QL_TEST_KERNEL_RECORD="))
      env.emplace_back(v);
  }
  std::vector<char*> args, envp;
  for (std::string& a : argv) args.push_back(a.data());
  args.push_back(nullptr);
  for (std::string& e : env) envp.push_back(e.data());
  envp.push_back(nullptr);

  ChildRun run;
  pid_t pid = 0;
  const int rc = posix_spawn(&pid, args[0], &actions, nullptr, args.data(), envp.data());
  posix_spawn_file_actions_destroy(&actions);
  EXPECT_EQ(rc, 0) << argv[0];
  if (rc != 0) return run;
  int status = 0;
  ::waitpid(pid, &status, 0);
  run.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
  const ByteVec o = readBytes(out), e = readBytes(err);
  run.out.assign(o.begin(), o.end());
  run.err.assign(e.begin(), e.end());
  return run;
}

struct Section {
  uint64_t address = 0;
  uint64_t flags = 0;
  bool found = false;
};

// The section header named `name` of a 64-bit ELF file, with every offset
// checked against the file.
Section findSection(const ByteVec& f, std::string_view name) {
  Section s;
  if (f.size() < sizeof(Elf64_Ehdr) || std::memcmp(f.data(), ELFMAG, SELFMAG) != 0 || f[EI_CLASS] != ELFCLASS64)
    return s;
  Elf64_Ehdr eh;
  std::memcpy(&eh, f.data(), sizeof eh);
  auto header = [&](size_t i, Elf64_Shdr& sh) {
    const uint64_t at = eh.e_shoff + uint64_t(i) * eh.e_shentsize;
    if (eh.e_shentsize < sizeof sh || !inBounds(at, sizeof sh, f.size())) return false;
    std::memcpy(&sh, f.data() + at, sizeof sh);
    return true;
  };
  Elf64_Shdr strtab;
  if (!header(eh.e_shstrndx, strtab)) return s;
  for (size_t i = 0; i < eh.e_shnum; ++i) {
    Elf64_Shdr sh;
    if (!header(i, sh)) return s;
    auto n = readCString(f, uint64_t(strtab.sh_offset) + sh.sh_name);
    if (n && *n == name) {
      s.address = sh.sh_addr;
      s.flags = sh.sh_flags;
      s.found = true;
    }
  }
  return s;
}

class PackedLauncher : public ::testing::Test {
 protected:
  void SetUp() override {
    fs::create_directory(temp_);
    ::chmod(temp_.c_str(), 0700);
  }
  ChildRun pack(std::vector<std::string> args) {
    std::vector<std::string> argv = {QL_QLPACK, "--id", "0xE2E", "--key", "0xA1B2C3D4", "--exe", QL_QLTOOL_BARE,
                                     "--out", packed_.string()};
    argv.insert(argv.end(), args.begin(), args.end());
    return runProgram(scratch_.path(), argv);
  }
  ChildRun start(const fs::path& exe) {
    return runProgram(scratch_.path(), {exe.string()},
                      {"TMPDIR=" + temp_.string(), "QL_TEST_KERNEL_RECORD=" + record_.string()});
  }

  ScratchDir scratch_;
  fs::path temp_ = scratch_.path() / "tmp";
  fs::path packed_ = scratch_.path() / "qltool";
  fs::path record_ = scratch_.path() / "kernel-record.txt";
};

TEST_F(PackedLauncher, StartsTheKernelWithTheModuleImageSection) {
  const fs::path data = scratch_.path() / "readme.txt";
  writeBytes(data, bytesOf("packed along"));
  const ChildRun packRun = pack({"--entry", std::string("kbase.qlr=") + QL_TEST_KERNEL, data.string()});
  ASSERT_EQ(packRun.exitCode, 0) << packRun.err;

  const ChildRun run = start(packed_);
  EXPECT_EQ(run.exitCode, 0);
  EXPECT_EQ(run.err, "");

  auto rec = readRecord(record_);
  EXPECT_EQ(rec["sock"], "1000");
  EXPECT_EQ(rec["self"], (temp_ / "Q_E2E" / "kbase.qlr").string());
  EXPECT_EQ(readBytes(temp_ / "Q_E2E" / "readme.txt"), bytesOf("packed along"));

  const std::string signature("QVKM / MADE BY Q COMPILER - QUELM \0\0", 36);
  EXPECT_EQ(rec["bytes"], hexOf(bytesOf(signature)));

  // The address is the first byte of the image's own section, wherever the
  // executable was loaded.
  const Section qvkm = findSection(readBytes(QL_QLTOOL_BARE), ".qvkm");
  ASSERT_TRUE(qvkm.found);
  EXPECT_TRUE(qvkm.flags & SHF_ALLOC);
  EXPECT_TRUE(qvkm.flags & SHF_WRITE);
  const uint64_t entry = std::stoull(rec["entry"], nullptr, 16);
  const uint64_t base = std::stoull(rec["exe_base"], nullptr, 16);
  EXPECT_EQ(entry, base + qvkm.address) << rec["entry"] << " " << rec["exe_base"];
}

TEST_F(PackedLauncher, FailuresEndWithTheMessageOnStandardErrorAndExitCode0) {
  const fs::path note = scratch_.path() / "note.txt";
  writeBytes(note, bytesOf("no kernel here"));
  struct Case {
    const char* name;
    fs::path exe;
    std::vector<std::string> pack;
    const char* message;
    const char* display = nullptr;
  } cases[] = {
      {"nothing appended", QL_QLTOOL_BARE, {}, "Error: Invalid data in the file!\n"},
      {"no kernel", packed_, {note.string()}, "Error: Not found the kernel library!\n"},
      {"kernel without GetNewSock", packed_, {"--entry", std::string("KBASE.QLB=") + QL_TEST_KERNEL_NO_SOCK},
       "Error: The kernel library is invalid!\n"},
      // A display that cannot be opened costs the dialog, not the exit code.
      {"display that does not answer", QL_QLTOOL_BARE, {}, "Error: Invalid data in the file!\n", ":987"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    if (!c.pack.empty()) {
      ASSERT_EQ(pack(c.pack).exitCode, 0);
    }
    const ChildRun run = c.display ? runProgram(scratch_.path(), {c.exe.string()},
                                                {"TMPDIR=" + temp_.string(), std::string("DISPLAY=") + c.display})
                                   : start(c.exe);
    EXPECT_EQ(run.exitCode, 0);
    EXPECT_EQ(run.err, c.message);
    EXPECT_EQ(readRecord(record_).count("entry"), 0u);
  }
}

TEST(Qlpack, HelpAndRefusals) {
  ScratchDir scratch;
  const ChildRun help = runProgram(scratch.path(), {QL_QLPACK, "--help"});
  EXPECT_EQ(help.exitCode, 0);
  EXPECT_NE(help.out.find("usage: qlpack --id ID --key KEY --exe IN --out OUT"), std::string::npos);

  const std::string out = (scratch.path() / "out").string();
  struct Case {
    const char* name;
    std::vector<std::string> args;
    const char* error;
  } cases[] = {
      {"no identifier", {"--key", "1", "--exe", QL_QLTOOL_BARE, "--out", out}, "are required"},
      {"name with a folder", {"--id", "1", "--key", "1", "--exe", QL_QLTOOL_BARE, "--out", out, "--entry",
                              std::string("../kbase.qlr=") + QL_TEST_KERNEL}, "not a single file name"},
      {"missing file", {"--id", "1", "--key", "1", "--exe", QL_QLTOOL_BARE, "--out", out, "/nonexistent/x"},
       "cannot read '/nonexistent/x'"},
      {"key too wide", {"--id", "1", "--key", "0x100000000", "--exe", QL_QLTOOL_BARE, "--out", out},
       "bad or missing value for --key"},
      {"unknown option", {"--idd", "1"}, "unknown option '--idd'"},
  };
  for (const Case& c : cases) {
    std::vector<std::string> argv = {QL_QLPACK};
    argv.insert(argv.end(), c.args.begin(), c.args.end());
    const ChildRun r = runProgram(scratch.path(), argv);
    EXPECT_EQ(r.exitCode, 1) << c.name;
    EXPECT_NE(r.err.find(c.error), std::string::npos) << c.name << ": " << r.err;
    EXPECT_FALSE(fs::exists(out)) << c.name;
  }
}

// The shipped qltool carries exactly the registered runtime files.
TEST(ShippedPackage, HoldsEveryRuntimeFileInOrder) {
#if !defined(QL_SHIPPED_QLTOOL)
  GTEST_SKIP() << "this build does not pack qltool";
#else
  MemoryPlatform memory;
  memory.file = readBytes(QL_SHIPPED_QLTOOL);
  ASSERT_FALSE(memory.file.empty());
  alignas(16) static unsigned char image[64];
  const LaunchResult r = runLauncher(memory, image);

  std::vector<std::string> files;
  std::string list = QL_SHIPPED_FILES;
  for (size_t start = 0; !list.empty() && start <= list.size();) {
    const size_t bar = std::min(list.find('|', start), list.size());
    if (bar > start) files.push_back(list.substr(start, bar - start));
    start = bar + 1;
  }
  char folder[32];
  std::snprintf(folder, sizeof folder, "/mem/Q_%X/", unsigned(QL_SHIPPED_ID));
  std::vector<std::string> expected;
  bool haveKernel = false;
  for (const std::string& f : files) {
    const std::string name = fs::path(f).filename().string();
    expected.push_back(folder + name);
    haveKernel = haveKernel || isKernelName(name);
    EXPECT_EQ(memory.written[folder + name], readBytes(f)) << name;
  }
  EXPECT_EQ(memory.writeOrder, expected);
  // The memory platform loads nothing: a package with a kernel gets as far
  // as loading it; an empty one declares an empty list, which is refused.
  const Outcome expectedOutcome =
      haveKernel ? Outcome::kKernelLoadFailed : files.empty() ? Outcome::kInvalidData : Outcome::kKernelNotFound;
  EXPECT_EQ(r.outcome, expectedOutcome) << r.detail;
#endif
}

}  // namespace
}  // namespace ql::launcher
