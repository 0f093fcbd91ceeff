// qlfakerar run as the runtime runs WinRAR: on Windows one command line
// `"<program>" e "<package>" "<folder>\"` through CreateProcessW, split by
// the program itself; on Linux the arguments that split gives.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#ifdef _WIN32
#include <windows.h>
#else
#include <spawn.h>
#include <sys/wait.h>
#include <fcntl.h>
#endif

#include "tests/fakerar/zip_builder.h"
#include "tests/fakerar/zip_extract.h"
#include "common/temp_folder.h"
#include "common/utf8_path.h"

#ifndef _WIN32
extern char** environ;
#endif

namespace fs = std::filesystem;
using ql::fakerar::test::BuiltZip;
using ql::fakerar::test::buildZip;
using ql::fakerar::test::listFolder;
using ql::fakerar::test::readFile;
using ql::fakerar::test::writeFile;
using ql::TempFolder;
using ql::u8path;
using ql::u8text;

namespace {

struct RunResult {
  int exitCode = -1;  // -1 when the program did not end normally
  std::string output;  // stdout and stderr
};

#ifdef _WIN32
std::wstring wide(const std::string& utf8) {
  const int n = MultiByteToWideChar(CP_UTF8, 0, utf8.data(), int(utf8.size()), nullptr, 0);
  std::wstring w(size_t(n), L'\0');
  MultiByteToWideChar(CP_UTF8, 0, utf8.data(), int(utf8.size()), w.data(), n);
  return w;
}

// The build machine's path of the program means nothing here (Wine): the
// program is built beside this test.
fs::path programPath() {
  std::wstring self(MAX_PATH, L'\0');
  for (;;) {
    const DWORD n = GetModuleFileNameW(nullptr, self.data(), DWORD(self.size()));
    if (n < self.size()) {
      self.resize(n);
      break;
    }
    self.resize(self.size() * 2);
  }
  return fs::path(self).parent_path() / fs::path(QL_FAKERAR_EXE).filename();
}

// As the tool quotes it: the command bare, every path between quotes.
RunResult runFakerar(const std::vector<std::string>& args, const fs::path& outputFile) {
  std::wstring line = L"\"" + programPath().wstring() + L"\"";
  for (size_t i = 0; i < args.size(); ++i) line += i == 0 ? L" " + wide(args[i]) : L" \"" + wide(args[i]) + L"\"";
  SECURITY_ATTRIBUTES inherit{sizeof(SECURITY_ATTRIBUTES), nullptr, TRUE};
  HANDLE out = CreateFileW(outputFile.c_str(), GENERIC_WRITE, FILE_SHARE_READ, &inherit, CREATE_ALWAYS,
                           FILE_ATTRIBUTE_NORMAL, nullptr);
  if (out == INVALID_HANDLE_VALUE) return {};
  STARTUPINFOW startup{};
  startup.cb = sizeof(startup);
  startup.dwFlags = STARTF_USESTDHANDLES;
  startup.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
  startup.hStdOutput = out;
  startup.hStdError = out;
  PROCESS_INFORMATION process{};
  const BOOL started =
      CreateProcessW(nullptr, line.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr, &startup, &process);
  CloseHandle(out);
  RunResult r;
  if (started) {
    WaitForSingleObject(process.hProcess, INFINITE);
    DWORD code = 0;
    if (GetExitCodeProcess(process.hProcess, &code)) r.exitCode = int(code);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
  }
  r.output = readFile(outputFile);
  return r;
}
#else
RunResult runFakerar(const std::vector<std::string>& args, const fs::path& outputFile) {
  const std::string program = QL_FAKERAR_EXE;
  std::vector<char*> argv{const_cast<char*>(program.c_str())};
  for (const auto& a : args) argv.push_back(const_cast<char*>(a.c_str()));
  argv.push_back(nullptr);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 1, outputFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  posix_spawn_file_actions_adddup2(&actions, 1, 2);
  pid_t pid = 0;
  const int spawned = posix_spawn(&pid, program.c_str(), &actions, nullptr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  RunResult r;
  if (spawned != 0) return r;
  int status = 0;
  if (waitpid(pid, &status, 0) == pid && WIFEXITED(status)) r.exitCode = WEXITSTATUS(status);
  r.output = readFile(outputFile);
  return r;
}
#endif

// A path as the tool hands it over: '\' separators, and a folder with a
// trailing '\'.
std::string windowsShaped(const fs::path& p, bool folder) {
  std::string s = u8text(p);
  std::replace(s.begin(), s.end(), '/', '\\');
  return folder ? s + '\\' : s;
}

class QlFakerar : public ::testing::Test {
 protected:
  fs::path writePackage(const BuiltZip& z) {
    const fs::path p = tmp.path() / u8path("\xE6\xB8\xB8\xE6\x88\x8F ptexture.pak");  // "游戏 ptexture.pak"
    writeFile(p, std::string(z.bytes.begin(), z.bytes.end()));
    return p;
  }
  RunResult run(const std::vector<std::string>& args) { return runFakerar(args, tmp.path() / "output.txt"); }

  TempFolder tmp{"ql_fakerar_run"};
  // "纹理 中文": a folder name outside every ANSI code page but the Chinese one.
  const fs::path dest = tmp.path() / u8path("\xE7\xBA\xB9\xE7\x90\x86 \xE4\xB8\xAD\xE6\x96\x87");
};

TEST_F(QlFakerar, ExtractsThePackageIntoAChineseFolderItCreates) {
  const fs::path package = writePackage(buildZip({{"texture/", "", false},
                                                  {"texture/a.tga", std::string(5000, 'a'), true},
                                                  {"texture/b.jpg", "bbb", false, 0, true}}));
  writeFile(tmp.path() / "b.jpg", "not touched: outside the destination");
  const RunResult r = run({"e", windowsShaped(package, false), windowsShaped(dest, true)});
  ASSERT_EQ(r.exitCode, 0) << r.output;
  EXPECT_NE(r.output.find("2 files extracted"), std::string::npos) << r.output;
  EXPECT_EQ(listFolder(dest), (std::vector<std::string>{"a.tga", "b.jpg"}));
  EXPECT_EQ(readFile(dest / "a.tga"), std::string(5000, 'a'));
  EXPECT_EQ(readFile(dest / "b.jpg"), "bbb");
  EXPECT_EQ(readFile(tmp.path() / "b.jpg"), "not touched: outside the destination");
}

TEST_F(QlFakerar, FailuresEndNonZeroWithAMessage) {
  BuiltZip badCrc = buildZip({{"good.tga", "good"}, {"bad.tga", "bad data"}});
  badCrc.patchU32(badCrc.centralOffsets[1] + offsetof(ql::fakerar::CentralFileHeader, crc32), 0x1234);
  const std::string package = windowsShaped(writePackage(badCrc), false);
  const std::string folder = windowsShaped(dest, true);
  writeFile(tmp.path() / "plain.txt", "this is no zip archive at all, just some words");

  using Names = std::vector<std::string>;
  const struct {
    const char* label;
    std::vector<std::string> args;
    int exitCode;
    std::string message;
    Names extracted;  // empty: the destination is not even created
  } cases[] = {
      // The good entry lands, the bad one leaves nothing half-written.
      {"bad CRC", {"e", package, folder}, 1, "entry 1 'bad.tga': CRC-32 mismatch", {"good.tga"}},
      {"missing package", {"e", windowsShaped(tmp.path() / "nowhere.pak", false), folder}, 1,
       "cannot find package", {}},
      {"not a zip", {"e", windowsShaped(tmp.path() / "plain.txt", false), folder}, 1, "not a zip archive", {}},
      {"unknown command", {"x", package, folder}, 2, "unknown command 'x'", {}},
      {"too few arguments", {"e", package}, 2, "expected 3 arguments", {}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.label);
    fs::remove_all(dest);
    const RunResult r = run(c.args);
    EXPECT_EQ(r.exitCode, c.exitCode) << r.output;
    EXPECT_NE(r.output.find(c.message), std::string::npos) << r.output;
    if (c.extracted.empty()) {
      EXPECT_FALSE(fs::exists(dest));
    } else {
      EXPECT_EQ(listFolder(dest), c.extracted);
    }
  }
}

}  // namespace
