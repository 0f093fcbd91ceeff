// Argument checking, the window-system hook, the folders and the registry.
#include "kernel_test_support.h"
#include "runtime/kernel/commands/registry.h"
#include "runtime/kernel/commands/text_ops.h"

#include <optional>

#ifdef _WIN32
#include <windows.h>

#include "common/gbk.h"
#endif

namespace {

using namespace kt;

// This test program's own file, found the plain way of each system.
fs::path thisExecutable() {
#ifdef _WIN32
  std::wstring buffer(32768, L'\0');
  const DWORD n = GetModuleFileNameW(nullptr, buffer.data(), DWORD(buffer.size()));
  buffer.resize(n);
  return fs::path(buffer);
#else
  std::error_code ec;
  return fs::read_symlink("/proc/self/exe", ec);
#endif
}

class Dispatch : public KernelTest {};

TEST_F(Dispatch, WrongCallsStopWithTheCommandNamed) {
  struct Case {
    const char* name;
    int32_t code;
    Args args;
    int32_t error;
    std::string needle;
  };
  // A byte set block that claims two dimensions.
  const uint32_t twoDims[4] = {2, 1, 1, 0};
  Case cases[] = {
      {"too few", 0x134, Args().text("abc"), ql::rt::kErrCommandCall, "0x134: takes 2 arguments, got 1"},
      {"too many", 0x130, Args().text("a").text("b"), ql::rt::kErrCommandCall, "0x130"},
      {"text expected", 0x130, Args().integer(3), ql::rt::kErrCommandCall, "expected text, got integer"},
      {"integer expected", 0x13C, Args().text("a").real(1.0).integer(1), ql::rt::kErrCommandCall,
       "argument 2: expected integer, got double"},
      {"bool expected", 0x148, Args().text("a").text("b").integer(1).integer(0), ql::rt::kErrCommandCall,
       "argument 4"},
      {"no arguments allowed", 0x104, Args().integer(1), ql::rt::kErrCommandCall, "0x104"},
      {"OR needs an argument", 0x0C8, Args(), ql::rt::kErrCommandCall, "0xC8"},
      {"OR of a text", 0x0C8, Args().integer(1).text("2"), ql::rt::kErrCommandCall, "argument 2"},
      {"to text of a boolean", 0x168, Args().boolean(true), ql::rt::kErrCommandCall, "0x168"},
      {"to integer of a byte set", 0x9DC, Args().bytes("1"), ql::rt::kErrCommandCall, "0x9DC"},
      {"byte set of two dimensions", 0x168, Args().raw(uintptr_t(twoDims), ql::abi::kTagBytes),
       ql::rt::kErrCommandCall, "not one-dimensional"},
      {"cell with a window tag", 0x994, Args().raw(8, ql::abi::kTypeWindow), ql::rt::kErrCommandCall,
       "expected general-value cell, got window"},
      {"unknown code", 0x123, Args(), ql::rt::kErrUnknownCommand, "0x123 does not exist"},
  };
  for (Case& c : cases) {
    SCOPED_TRACE(c.name);
    expectRuntimeError([&] { call(c.code, std::move(c.args)); }, c.error, c.needle);
  }
}

TEST_F(Dispatch, NullRecordCountsAsNoArguments) {
  ql::rt::setProgramFolder("\\opt\\tool");
  const auto r = ql::rt::kernelCommand(ql::rt::kCmdProgramFolder, nullptr);
  EXPECT_EQ(takeText(r), "\\opt\\tool");
  ql::rt::setProgramFolder("");
}

// The window system's side, recording what the kernel forwarded.
class RecordingWindows : public ql::rt::WindowCommands {
 public:
  std::vector<std::string> log;

  int32_t messageBox(std::string_view message, int32_t style, std::optional<std::string_view> caption) override {
    log.push_back("box " + std::string(message) + " " + std::to_string(style) + " " +
                  (caption ? std::string(*caption) : "<none>"));
    return 1;
  }
  void openWindow(ql::rt::UnitRef window, ql::rt::UnitRef owner, bool modal) override {
    log.push_back("open " + std::to_string(window.lo) + " " + std::to_string(owner.lo) + " " + std::to_string(modal));
  }
  intptr_t controlHandle(ql::rt::UnitRef, ql::rt::UnitRef control) override { return intptr_t(control.hi) * 2; }
  int32_t clientWidth(ql::rt::UnitRef) override { return 640; }
  int32_t clientHeight(ql::rt::UnitRef) override { return 480; }
  void moveResize(ql::rt::UnitRef target, std::optional<int32_t> left, std::optional<int32_t> top,
                  std::optional<int32_t> width, std::optional<int32_t> height) override {
    auto s = [](std::optional<int32_t> v) { return v ? std::to_string(*v) : std::string("-"); };
    log.push_back("move " + std::to_string(target.hi) + " " + s(left) + " " + s(top) + " " + s(width) + " " +
                  s(height));
  }
  bool showFileDialog(ql::rt::UnitRef, ql::rt::UnitRef dialog) override { return dialog.hi == 7; }
  std::string listEntry(ql::rt::UnitRef, ql::rt::UnitRef, int32_t index) override {
    return "entry" + std::to_string(index);
  }
  void listAdd(ql::rt::UnitRef, ql::rt::UnitRef list, std::string_view text) override {
    log.push_back("add " + std::to_string(list.hi) + " " + std::string(text));
  }
};

TEST_F(Dispatch, WindowCommandsWithoutWindowSystemStop) {
  ql::rt::setWindowCommands(nullptr);
  expectRuntimeError([] { call(ql::rt::kCmdMessageBox, Args().text("hi").integer(0)); },
                     ql::rt::kErrNoWindowSystem, "0x300");
  expectRuntimeError(
      [] {
        call(ql::rt::kCmdListAdd, Args().raw(1, ql::abi::kTypeWindow).raw(2, ql::abi::kTypeListBox).text("a"));
      },
      ql::rt::kErrNoWindowSystem, "0x40C");
}

TEST_F(Dispatch, WindowCommandsAreForwarded) {
  RecordingWindows windows;
  ql::rt::setWindowCommands(&windows);
  const uint64_t window = 0x52000001;
  const uint64_t control = (uint64_t(0x16000005) << 32) | 0x52000001;

  EXPECT_EQ(asInteger(call(ql::rt::kCmdMessageBox, Args().text("msg").integer(1).text("cap"))), 1);
  call(ql::rt::kCmdMessageBox, Args().text("only").integer(0).omitted());
  call(ql::rt::kCmdOpenWindow,
       Args().raw(window, ql::abi::kTypeWindow).raw(0x52000002, ql::abi::kTypeWindow).boolean(false));
  const auto handle = call(ql::rt::kCmdControlHandle,
                           Args().raw(window, ql::abi::kTypeWindow).raw(control, ql::abi::kTypeDrawingArea));
  EXPECT_EQ(handle.value, uint64_t(0x16000005) * 2);
  EXPECT_EQ(asInteger(call(ql::rt::kCmdClientWidth, Args().raw(window, ql::abi::kTypeWindow))), 640);
  EXPECT_EQ(asInteger(call(ql::rt::kCmdClientHeight, Args().raw(window, ql::abi::kTypeWindow))), 480);
  call(ql::rt::kCmdMoveResize,
       Args().raw(control, ql::abi::kTypeDrawingArea).integer(5).omitted().integer(300).omitted());
  EXPECT_TRUE(
      asBoolean(call(ql::rt::kCmdShowFileDialog,
                     Args().raw(window, ql::abi::kTypeWindow).raw(uint64_t(7) << 32, ql::abi::kTypeFileDialog))));
  EXPECT_EQ(
      takeText(call(ql::rt::kCmdListEntry,
                    Args().raw(window, ql::abi::kTypeWindow).raw(uint64_t(9) << 32, ql::abi::kTypeListBox).integer(3))),
      "entry3");
  call(ql::rt::kCmdListAdd,
       Args().raw(window, ql::abi::kTypeWindow).raw(uint64_t(9) << 32, ql::abi::kTypeListBox).text("a.skc"));

  const std::vector<std::string> expected = {"box msg 1 cap", "box only 0 <none>", "open 1375731713 1375731714 0",
                                             "move 369098757 5 - 300 -", "add 9 a.skc"};
  EXPECT_EQ(windows.log, expected);

  // A list box where a file dialog belongs is caught before the window system sees it.
  expectRuntimeError(
      [&] {
        call(ql::rt::kCmdShowFileDialog, Args().raw(window, ql::abi::kTypeWindow).raw(0, ql::abi::kTypeListBox));
      },
      ql::rt::kErrCommandCall, "expected file dialog, got list box");
  ql::rt::setWindowCommands(nullptr);
}

TEST_F(Dispatch, ProgramFolderDefaultsToTheExecutablesFolder) {
  ql::rt::setProgramFolder("");
  const fs::path exe = thisExecutable();
  ASSERT_FALSE(exe.empty());
  const std::string expected = gbkPath(exe.parent_path());
  EXPECT_EQ(takeText(call(ql::rt::kCmdProgramFolder)), expected);
  EXPECT_NE(expected.back(), '\\');

  ql::rt::setProgramFolder("\\tmp\\" + kLiuXingGbk);
  EXPECT_EQ(takeText(call(ql::rt::kCmdProgramFolder)), "\\tmp\\" + kLiuXingGbk);
  ql::rt::setProgramFolder("");
  EXPECT_EQ(takeText(call(ql::rt::kCmdProgramFolder)), expected);
}

#ifdef _WIN32

// The archive tool's "open" command as its installer registers it; the
// classes of the current user stand in when the machine has none. Made here
// only when neither exists, and removed again.
class ArchiveToolKey {
 public:
  static constexpr wchar_t kKey[] = L"Software\\Classes\\WinRAR\\shell\\open\\command";

  // The value the machine already has, machine-wide first: "" when none.
  static std::wstring existing() {
    for (HKEY root : {HKEY_LOCAL_MACHINE, HKEY_CURRENT_USER}) {
      std::wstring value(1024, L'\0');
      DWORD size = DWORD(value.size() * sizeof(wchar_t));
      if (RegGetValueW(root, kKey, nullptr, RRF_RT_REG_SZ, nullptr, value.data(), &size) == ERROR_SUCCESS) {
        value.resize(wcsnlen(value.c_str(), value.size()));
        if (!value.empty()) return value;
      }
    }
    return {};
  }

  explicit ArchiveToolKey(const std::wstring& value) {
    made_ = RegSetKeyValueW(HKEY_CURRENT_USER, kKey, nullptr, REG_SZ, value.c_str(),
                            DWORD((value.size() + 1) * sizeof(wchar_t))) == ERROR_SUCCESS;
  }
  ~ArchiveToolKey() {
    if (made_) RegDeleteTreeW(HKEY_CURRENT_USER, L"Software\\Classes\\WinRAR");
  }
  bool made() const { return made_; }

 private:
  bool made_ = false;
};

TEST_F(Dispatch, RegistryReadsTheArchiveToolsOpenCommand) {
  std::wstring expected = ArchiveToolKey::existing();
  std::optional<ArchiveToolKey> made;
  if (expected.empty()) {
    expected = L"\"C:\\\u5de5\u5177\\WinRAR.exe\" \"%1\"";  // "C:\工具\WinRAR.exe" "%1"
    made.emplace(expected);
    ASSERT_TRUE(made->made());
  }
  const std::string answer =
      takeText(call(ql::rt::kCmdRegistryRead, Args().integer(4).text(ql::rt::kArchiveToolOpenKey).omitted()));
  auto expectedGbk = ql::wideToGbk(expected);
  ASSERT_TRUE(expectedGbk.has_value());
  EXPECT_EQ(answer, *expectedGbk);

  // Registry keys ignore case; other keys and other roots read as "".
  EXPECT_EQ(takeText(call(ql::rt::kCmdRegistryRead,
                          Args().integer(4).text("software\\classes\\winrar\\SHELL\\open\\command\\"))),
            answer);
  EXPECT_EQ(takeText(call(ql::rt::kCmdRegistryRead, Args().integer(4).text("SOFTWARE\\Other\\"))), "");
  EXPECT_EQ(takeText(call(ql::rt::kCmdRegistryRead, Args().integer(3).text(ql::rt::kArchiveToolOpenKey))), "");
}

#else

TEST_F(Dispatch, RegistryNamesTheArchiveAdapter) {
  ql::rt::setAdapterFolder("\\tmp\\Q_1F\\" + kLiuXingGbk);
  const std::string answer =
      takeText(call(ql::rt::kCmdRegistryRead, Args().integer(4).text(ql::rt::kArchiveToolOpenKey).omitted()));
  EXPECT_EQ(answer, "\"\\tmp\\Q_1F\\" + kLiuXingGbk + "\\qlunpack\" \"%1\"");

  // The cut archive-tool discovery makes: first quote to the next one.
  const int32_t p1 = asInteger(call(ql::rt::kCmdFind, Args().text(answer).text("\"").integer(1).boolean(false)));
  const int32_t p2 =
      asInteger(call(ql::rt::kCmdFind, Args().text(answer).text("\"").integer(p1 + 1).boolean(false)));
  EXPECT_EQ(takeText(call(ql::rt::kCmdMid, Args().text(answer).integer(p1).integer(p2 - p1 + 1))),
            "\"\\tmp\\Q_1F\\" + kLiuXingGbk + "\\qlunpack\"");

  // Registry keys ignore case; other keys read as "".
  EXPECT_EQ(takeText(call(ql::rt::kCmdRegistryRead,
                          Args().integer(4).text("software\\classes\\winrar\\SHELL\\open\\command\\"))),
            answer);
  EXPECT_EQ(takeText(call(ql::rt::kCmdRegistryRead,
                          Args().integer(4).text("SOFTWARE\\Classes\\WinRAR\\shell\\open\\command"))),
            "");
  EXPECT_EQ(takeText(call(ql::rt::kCmdRegistryRead, Args().integer(4).text("SOFTWARE\\Other\\"))), "");
  ql::rt::setAdapterFolder("");
}

#endif

TEST_F(Dispatch, AdapterFolderDefaultsToTheCodesOwnFolder) {
  ql::rt::setAdapterFolder("");
  const fs::path exe = thisExecutable();
  ASSERT_FALSE(exe.empty());
  // The commands are linked into this test program, so its folder is theirs.
  EXPECT_EQ(ql::rt::adapterFolder(), gbkPath(exe.parent_path()));
}

}  // namespace
