// The real kbase.qlr, loaded the way the launcher loads it, running small
// module images on the headless window system.
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <memory>
#include <thread>

#include <gtest/gtest.h>

#include "common/dynlib.h"
#include "module/abi.h"
#include "runtime/kernel/kernel_api.h"
#include "runtime/support_lib.h"
#include "runtime/window/headless.h"
#include "tests/kernel/test_ids.h"
#include "tests/kernel/test_module.h"

namespace ql::rt::test {
namespace {

namespace fs = std::filesystem;
using window::HeadlessWindowSystem;

const std::string kRuntimeErrorPrefix = gbk("运行时错误 ");
const std::string kLoadFailedPrefix = gbk("模块映像无法载入：");
constexpr int32_t kErrCommandCall = 20, kErrWindow = 25, kErrUnavailable = 26, kErrBadRoutine = 27;

// ---- The kernel library --------------------------------------------------------
struct Kernel {
  void* handle = nullptr;
  abi::GetNewSockFn getNewSock = nullptr;
  QlKernelConfigureFn configure = nullptr;
  QlKernelLastOutcomeFn outcome = nullptr;
  QlKernelLiveBlocksFn live = nullptr;
};

const Kernel& kernel() {
  static Kernel k = [] {
    Kernel r;
    r.handle = ql::dynlib::open(QL_TEST_KERNEL);
    if (!r.handle) {
      std::fprintf(stderr, "cannot load %s: %s\n", QL_TEST_KERNEL, ql::dynlib::lastError().c_str());
      std::abort();
    }
    r.getNewSock = reinterpret_cast<abi::GetNewSockFn>(ql::dynlib::symbol(r.handle, abi::kGetNewSockName));
    r.configure = reinterpret_cast<QlKernelConfigureFn>(ql::dynlib::symbol(r.handle, kQlKernelConfigureName));
    r.outcome = reinterpret_cast<QlKernelLastOutcomeFn>(ql::dynlib::symbol(r.handle, kQlKernelLastOutcomeName));
    r.live = reinterpret_cast<QlKernelLiveBlocksFn>(ql::dynlib::symbol(r.handle, kQlKernelLiveBlocksName));
    if (!r.getNewSock || !r.configure || !r.outcome || !r.live) std::abort();
    return r;
  }();
  return k;
}

// ---- The module's side of the calls --------------------------------------------
abi::Arg textArg(const char* s) { return abi::makeArg(reinterpret_cast<uintptr_t>(s), abi::kTagText); }
abi::Arg intArg(int32_t v) { return abi::Arg{uint32_t(v), 0, abi::kTagInt}; }
abi::Arg boolArg(bool v) { return abi::Arg{v ? 1u : 0u, 0, abi::kTagBool}; }
abi::Arg unitArg(uint32_t window, uint32_t unit, uint32_t type) {
  return abi::makeArg(uint64_t(window) | uint64_t(unit) << 32, type);
}
abi::Arg mainWindowArg() { return unitArg(kMain, kMainUnit, abi::kTypeWindow); }
abi::Arg omittedArg() { return abi::Arg{0, 0, abi::kTagOmitted}; }

struct Record {
  std::vector<uint8_t> bytes;
  explicit Record(std::initializer_list<abi::Arg> args) : bytes(abi::argRecordSize(uint32_t(args.size()))) {
    const uint32_t n = uint32_t(args.size());
    std::memcpy(bytes.data(), &n, 4);
    if (n) std::memcpy(bytes.data() + 4, std::data(args), args.size() * sizeof(abi::Arg));
  }
  const abi::ArgRecord* get() const { return reinterpret_cast<const abi::ArgRecord*>(bytes.data()); }
};

abi::CmdResult kcall(int32_t code, std::initializer_list<abi::Arg> args) {
  Record r(args);
  return slot<abi::KernelCommandFn>(abi::kSlotKernelCommand)(code, r.get());
}
abi::CmdResult lcall(int32_t row, int32_t code, std::initializer_list<abi::Arg> args) {
  Record r(args);
  return slot<abi::LibraryCommandFn>(abi::kSlotLibraryCommand)(row, code, r.get());
}
void release(void* block) { slot<abi::FreeFn>(abi::kSlotFree)(block); }
// A text result, copied, then freed through the free slot as module code does.
std::string takeText(uint64_t value) {
  auto* p = reinterpret_cast<char*>(uintptr_t(value));
  std::string s = p ? p : "";
  release(p);
  return s;
}
uint64_t readProp(uint32_t window, uint32_t unit, int32_t number) {
  return slot<abi::ReadPropertyFn>(abi::kSlotReadProperty)(window, unit, number, -1);
}
void writeProp(uint32_t window, uint32_t unit, int32_t number, uint64_t value) {
  slot<abi::WritePropertyFn>(abi::kSlotWriteProperty)(window, unit, number, -1, value);
}
void registerCleanup() {
  slot<abi::SupportFn>(abi::kSlotSupport)(abi::kSupportRegisterCleanup, intptr_t(codeField(kFieldCleanup)), 0, 0, 0);
}
void openWindowSlot(uint32_t id) { slot<abi::OpenWindowFn>(abi::kSlotOpenWindow)(id); }
void messageLoop() { slot<abi::MessageLoopFn>(abi::kSlotMessageLoop)(0); }
[[noreturn]] void endProgram() {
  slot<abi::EndProgramFn>(abi::kSlotEndProgram)(0);
  std::abort();
}
int32_t asInt(uint64_t v) { return int32_t(uint32_t(v)); }

// ---- Fixture -------------------------------------------------------------------------
class KernelRun : public ::testing::Test {
 protected:
  void SetUp() override {
    module().reset();
    windows_ = std::make_unique<HeadlessWindowSystem>();
    configure(true, QL_TEST_LIB_DIR);
    baseline_ = kernel().live();
  }

  void configure(bool returnOnEnd, const char* libraryFolder) {
    programFolder_ = gbk("\\程序\\目录");
    QlKernelConfig config{kQlKernelConfigVersion, windows_.get(), returnOnEnd ? 1 : 0, programFolder_.c_str(),
                          libraryFolder};
    ASSERT_EQ(kernel().configure(&config), 1);
  }

  // Builds the image, maps it and calls the runtime entry.
  const QlKernelOutcome& run(const ImageOptions& options = {}) {
    built_ = buildImage(options);
    image_ = std::make_unique<MappedImage>(built_);
    return runMapped();
  }
  const QlKernelOutcome& runMapped() {
    auto entry = reinterpret_cast<abi::RuntimeEntryFn>(kernel().getNewSock(abi::kGetNewSockMagic));
    entry(image_->data());
    return *kernel().outcome();
  }

  std::string lastBoxText() const {
    return windows_->messageBoxes().empty() ? std::string() : windows_->messageBoxes().back().text;
  }
  std::vector<int> handlersCalled() const {
    std::vector<int> out;
    for (const auto& c : module().calls) out.push_back(c.handler);
    return out;
  }

  std::unique_ptr<HeadlessWindowSystem> windows_;
  std::string programFolder_;
  BuiltImage built_;
  std::unique_ptr<MappedImage> image_;
  int64_t baseline_ = 0;
};

TEST(KernelEntry, GetNewSockAnswersOnlyTheMagicNumber) {
  EXPECT_NE(kernel().getNewSock(abi::kGetNewSockMagic), nullptr);
  EXPECT_EQ(kernel().getNewSock(999), nullptr);
  EXPECT_EQ(kernel().getNewSock(0), nullptr);
}

// ---- Loader ------------------------------------------------------------------------------

TEST_F(KernelRun, LoaderAppliesEveryFixupKindAndFillsTheSlots) {
  auto read = image::readImage(buildImage().bytes);
  ASSERT_TRUE(read.ok());
  auto dataOf = [&](std::string_view name) { return read->placements[*read->segmentIndex(name)].dataOffset; };

  module().start = [&] {
    uint8_t* base = image_->data();
    const uintptr_t table = codeField(kFieldHlpfn);
    EXPECT_EQ(table, reinterpret_cast<uintptr_t>(base + dataOf("@hlpfn")));  // kind 0: slot 0 is the table
    EXPECT_EQ(codeField(kFieldSlot9), table + sizeof(void*) * abi::kSlotEndProgram);
    EXPECT_EQ(codeField(kFieldConst), reinterpret_cast<uintptr_t>(base + dataOf("@const") + kConstHello));
    EXPECT_STREQ(reinterpret_cast<const char*>(codeField(kFieldConst)), "hello");
    EXPECT_EQ(codeField(kFieldCleanup), reinterpret_cast<uintptr_t>(image_->code() + kCleanupEntry));

    // kind 2: a zero-filled writable block of @var's size, outside the image.
    auto* var = reinterpret_cast<uint8_t*>(codeField(kFieldVar) - kVarProbe);
    EXPECT_TRUE(var + kVarSize <= base || var >= base + built_.bytes.size());
    EXPECT_EQ(std::count(var, var + kVarSize, 0), kVarSize);
    std::memset(var, 0xAB, kVarSize);

    // The slots lie where the image puts them, not necessarily aligned.
    std::set<void*> distinct;
    for (int i = 0; i < abi::kSlotCount; ++i) {
      void* entry = nullptr;
      std::memcpy(&entry, reinterpret_cast<const uint8_t*>(table) + i * sizeof(void*), sizeof entry);
      EXPECT_NE(entry, nullptr) << "slot " << i;
      distinct.insert(entry);
    }
    EXPECT_EQ(distinct.size(), size_t(abi::kSlotCount));
    registerCleanup();
    endProgram();
  };
  const auto& out = run();
  EXPECT_EQ(out.stage, kQlStageEnded);
  EXPECT_EQ(out.exitCode, 0);
  EXPECT_EQ(module().startRuns, 1);
  EXPECT_EQ(module().cleanupRuns, 1);
  EXPECT_EQ(out.cleanupRuns, 1);
  EXPECT_TRUE(windows_->messageBoxes().empty());
  EXPECT_EQ(kernel().live(), baseline_);
}

struct RefusedCase {
  const char* name;
  ImageOptions options;
  const char* reason;
};

TEST_F(KernelRun, RefusedImagesRunNothingAndStayUnchanged) {
  ImageOptions badSignature;
  badSignature.badSignature = true;
  ImageOptions foreignKernel;
  foreignKernel.row0Id = "00112233445566778899AABBCCDDEEFF";
  ImageOptions otherWidth;
  otherWidth.otherWidth = true;
  ImageOptions unknownControl;
  unknownControl.extraControlType = 0x00010099;
  const RefusedCase cases[] = {
      {"signature", badSignature, "signature"},
      {"row 0 is not this kernel", foreignKernel, "row 0"},
      {"slots of the other width", otherWidth, sizeof(void*) == 8 ? "32-bit" : "64-bit"},
      {"control the window system lacks", unknownControl, "no control of this type"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    module().reset();
    windows_ = std::make_unique<HeadlessWindowSystem>();
    configure(true, QL_TEST_LIB_DIR);
    const auto& out = run(c.options);
    EXPECT_EQ(out.stage, kQlStageLoadFailed);
    EXPECT_NE(std::string(out.detail).find(c.reason), std::string::npos) << out.detail;
    EXPECT_EQ(module().startRuns, 0);
    EXPECT_EQ(std::memcmp(image_->data(), built_.bytes.data(), built_.bytes.size()), 0);
    ASSERT_EQ(windows_->messageBoxes().size(), 1u);
    EXPECT_EQ(lastBoxText().rfind(kLoadFailedPrefix, 0), 0u);
    EXPECT_NE(lastBoxText().find(c.reason), std::string::npos);
  }
}

TEST_F(KernelRun, NullAddressIsRefused) {
  auto entry = reinterpret_cast<abi::RuntimeEntryFn>(kernel().getNewSock(abi::kGetNewSockMagic));
  entry(nullptr);
  EXPECT_EQ(kernel().outcome()->stage, kQlStageLoadFailed);
  EXPECT_NE(std::string(kernel().outcome()->detail).find("null"), std::string::npos);
}

TEST_F(KernelRun, AnImageLoadsOnlyOnce) {
  module().start = [] { endProgram(); };
  ASSERT_EQ(run().stage, kQlStageEnded);
  const std::vector<uint8_t> afterFirst(image_->data(), image_->data() + built_.bytes.size());
  const auto& again = runMapped();
  // Refused: its fixup fields now hold addresses (and its slots are filled).
  EXPECT_EQ(again.stage, kQlStageLoadFailed);
  EXPECT_EQ(module().startRuns, 1);
  // The fixups were not applied a second time.
  EXPECT_EQ(std::memcmp(image_->data(), afterFirst.data(), afterFirst.size()), 0);
}

// ---- Libraries and DLL command ----------------------------------------------------------

TEST_F(KernelRun, MissingLibraryRowStopsOnlyWhenItsCommandIsCalled) {
  bool reached = false, passed = false;
  module().start = [&] {
    registerCleanup();
    reached = true;
    lcall(2, 0x01C, {textArg("http://example.com/")});
    passed = true;
  };
  const auto& out = run();
  EXPECT_TRUE(reached);
  EXPECT_FALSE(passed);
  EXPECT_EQ(out.stage, kQlStageRuntimeError);
  EXPECT_EQ(out.errorCode, kErrUnavailable);
  EXPECT_NE(std::string(out.detail).find("row 2 (absent)"), std::string::npos) << out.detail;
  EXPECT_NE(out.exitCode, 0);
  // A runtime error ends without the clean-up.
  EXPECT_EQ(module().cleanupRuns, 0);
  ASSERT_EQ(windows_->messageBoxes().size(), 1u);
  EXPECT_EQ(lastBoxText().rfind(kRuntimeErrorPrefix + "26", 0), 0u);
}

TEST_F(KernelRun, BoundLibraryAnswersWithBlocksOfTheKernelAllocator) {
  module().start = [&] {
    const int64_t before = kernel().live();
    abi::CmdResult r = lcall(1, kLibCmdPrefix, {textArg("abc")});
    EXPECT_EQ(r.tag, abi::kTagText);
    EXPECT_EQ(kernel().live(), before + 1);  // the library allocated through the host
    EXPECT_EQ(takeText(r.value), "lib:abc");
    EXPECT_EQ(kernel().live(), before);
    // Row 0 is the kernel itself.
    EXPECT_EQ(asInt(lcall(0, 0x130, {textArg("hello")}).value), 5);
    lcall(1, kLibCmdFail, {});
  };
  const auto& out = run();
  EXPECT_EQ(out.stage, kQlStageRuntimeError);
  EXPECT_EQ(out.errorCode, kLibErrorCode);
  EXPECT_EQ(kernel().live(), baseline_);
}

TEST_F(KernelRun, LibraryRowOutsideTheTableIsARuntimeError) {
  module().start = [] { lcall(9, 0, {}); };
  const auto& out = run();
  EXPECT_EQ(out.errorCode, kErrUnavailable);
  EXPECT_NE(std::string(out.detail).find("no row 9"), std::string::npos);
}

TEST_F(KernelRun, SupportLibrariesOfTheKernelFolderBindByIdentifier) {
  if (!fs::exists(fs::path(QL_TEST_KERNEL).parent_path() / support::kSpecialFile))
    GTEST_SKIP() << "qlspec.qlr is not built";
  configure(true, nullptr);  // the kernel's own folder
  module().start = [] {
    EXPECT_EQ(lcall(3, 0, {}).tag, abi::kTagOmitted);  // the special library answers every command empty
    lcall(1, kLibCmdPrefix, {textArg("x")});           // the test library lives elsewhere
  };
  const auto& out = run();
  EXPECT_EQ(out.errorCode, kErrUnavailable);
  EXPECT_NE(std::string(out.detail).find("row 1 (qltest)"), std::string::npos);
}

// The ShellExecuteA layer of systems other than Windows (xdg-open).
#if !defined(_WIN32)
class FakeOpener {
 public:
  FakeOpener() : dir_(fs::temp_directory_path() / ("ql_kernel_opener_" + std::to_string(getpid()))) {
    fs::create_directories(dir_);
    const fs::path script = dir_ / "xdg-open";
    std::ofstream(script) << "#!/bin/sh\nprintf '%s\\n' \"$#\" \"$1\" > \"" << (dir_ / "out.tmp").string()
                          << "\"\nmv \"" << (dir_ / "out.tmp").string() << "\" \"" << out().string() << "\"\n";
    fs::permissions(script, fs::perms::owner_all);
    oldPath_ = getenv("PATH") ? getenv("PATH") : "";
    setenv("PATH", (dir_.string() + ":" + oldPath_).c_str(), 1);
  }
  ~FakeOpener() {
    setenv("PATH", oldPath_.c_str(), 1);
    fs::remove_all(dir_);
  }
  fs::path out() const { return dir_ / "args.txt"; }
  std::vector<std::string> waitForArgs() const {
    for (int i = 0; i < 500 && !fs::exists(out()); ++i) std::this_thread::sleep_for(std::chrono::milliseconds(10));
    std::ifstream in(out());
    std::vector<std::string> lines;
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    return lines;
  }
  void hidePath() const { setenv("PATH", (dir_ / "nothing-here").c_str(), 1); }

 private:
  fs::path dir_;
  std::string oldPath_;
};

TEST_F(KernelRun, ShellExecuteOpensTheAddressWithXdgOpen) {
  FakeOpener opener;
  intptr_t opened = 0, printed = 0;
  const char* address = "http://example.com/a b;c&d";
  module().start = [&] {
    auto dll = slot<abi::DllCommandFn>(abi::kSlotDllCommand);
    printed = dll(0, 0, intptr_t("print"), intptr_t(address), intptr_t(""), intptr_t(""), 1);
    opened = dll(0, 0, intptr_t("open"), intptr_t(address), intptr_t(""), intptr_t(""), 1);
    endProgram();
  };
  EXPECT_EQ(run().stage, kQlStageEnded);
  EXPECT_GT(opened, 32);
  EXPECT_LE(printed, 32);
  // One argument, unsplit and unexpanded: no shell in between.
  EXPECT_EQ(opener.waitForArgs(), (std::vector<std::string>{"1", address}));
}

TEST_F(KernelRun, ShellExecuteFailsWhenNoOpenerCanStart) {
  FakeOpener opener;
  opener.hidePath();
  intptr_t result = 0;
  module().start = [&] {
    result = slot<abi::DllCommandFn>(abi::kSlotDllCommand)(0, 0, intptr_t("open"), intptr_t("http://x/"), 0, 0, 1);
    endProgram();
  };
  run();
  EXPECT_LE(result, 32);
}

#endif

TEST_F(KernelRun, UnboundDllCommandIsARuntimeErrorWhenCalled) {
  ImageOptions o;
#if defined(_WIN32)
  o.dllFunction = "ShellExecuteQ";  // shell32 has ShellExecuteW on Windows
#else
  o.dllFunction = "ShellExecuteW";
#endif
  module().start = [] { slot<abi::DllCommandFn>(abi::kSlotDllCommand)(0, 0, 0, 0, 0, 0, 0); };
  const auto& out = run(o);
  EXPECT_EQ(out.errorCode, kErrUnavailable);
  EXPECT_NE(std::string(out.detail).find(o.dllFunction), std::string::npos);
}

// ---- Service contract ------------------------------------------------------------------

TEST_F(KernelRun, KernelCommandsAndAllocatorThroughTheSlots) {
  module().start = [&] {
    abi::CmdResult len = kcall(0x130, {textArg("hello")});
    EXPECT_EQ(len.tag, abi::kTagInt);
    EXPECT_EQ(asInt(len.value), 5);
    EXPECT_EQ(takeText(kcall(0x104, {}).value), programFolder_);
    EXPECT_EQ(takeText(kcall(0x134, {textArg("hello"), intArg(2)}).value), "he");

    auto* block = static_cast<char*>(slot<abi::AllocateFn>(abi::kSlotAllocate)(8));
    std::memcpy(block, "abcdefg", 8);
    block = static_cast<char*>(slot<abi::ReallocateFn>(abi::kSlotReallocate)(block, 4096));
    EXPECT_STREQ(block, "abcdefg");
    EXPECT_EQ(kernel().live(), baseline_ + 1);
    release(block);
    release(nullptr);
    EXPECT_EQ(kernel().live(), baseline_);

    // Selectors 0 and 1: a search that finds nothing gives a new "".
    intptr_t handle = 0;
    auto support = slot<abi::SupportFn>(abi::kSlotSupport);
    const std::string pattern = gbk("\\no\\such\\folder\\*.skc");
    EXPECT_EQ(takeText(uint64_t(support(abi::kSupportFileSearch, intptr_t(pattern.c_str()), 0, 0, intptr_t(&handle)))),
              "");
    support(abi::kSupportEndSearch, intptr_t(&handle), 0, 0, 0);
    EXPECT_EQ(kernel().live(), baseline_);
    kcall(0x130, {intArg(5)});  // a text expected: the kernel stops
  };
  const auto& out = run();
  EXPECT_EQ(out.stage, kQlStageRuntimeError);
  EXPECT_EQ(out.errorCode, kErrCommandCall);
  EXPECT_EQ(kernel().live(), baseline_);
}

TEST_F(KernelRun, RuntimeErrorSlotShowsTheCodeAndEndsWithoutCleanup) {
  module().start = [] {
    registerCleanup();
    slot<abi::RuntimeErrorFn>(abi::kSlotRuntimeError)(abi::kErrResultType);
  };
  const auto& out = run();
  EXPECT_EQ(out.stage, kQlStageRuntimeError);
  EXPECT_EQ(out.errorCode, abi::kErrResultType);
  EXPECT_EQ(out.exitCode, abi::kErrResultType);
  EXPECT_EQ(module().cleanupRuns, 0);
  ASSERT_EQ(windows_->messageBoxes().size(), 1u);
  EXPECT_EQ(lastBoxText().rfind(kRuntimeErrorPrefix + "5", 0), 0u);
  EXPECT_EQ(windows_->messageBoxes().back().style, window::kStyleOk);
}

TEST_F(KernelRun, UnknownSupportSelectorIsARuntimeError) {
  module().start = [] { slot<abi::SupportFn>(abi::kSlotSupport)(4, 0, 0, 0, 0); };
  EXPECT_EQ(run().errorCode, kErrCommandCall);
}

TEST_F(KernelRun, CleanupEntryOutsideCodeIsRefused) {
  module().start = [] {
    static uintptr_t elsewhere = 0;
    slot<abi::SupportFn>(abi::kSlotSupport)(abi::kSupportRegisterCleanup, intptr_t(&elsewhere), 0, 0, 0);
  };
  EXPECT_EQ(run().errorCode, kErrBadRoutine);
}

// ---- Clean-up ----------------------------------------------------------------------------

TEST_F(KernelRun, CleanupRunsExactlyOnceHoweverTheProgramEnds) {
  struct Case {
    const char* name;
    std::function<void()> start;
  };
  const Case cases[] = {
      {"end program", [] { registerCleanup(), endProgram(); }},
      {"start routine returns", [] { registerCleanup(); }},
      {"loop, then end program", [] { registerCleanup(), messageLoop(), endProgram(); }},
      {"clean-up ends the program itself",
       [] {
         module().onCleanup = [] { endProgram(); };
         registerCleanup();
         endProgram();
       }},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    module().reset();
    windows_ = std::make_unique<HeadlessWindowSystem>();
    configure(true, QL_TEST_LIB_DIR);
    module().start = c.start;
    const auto& out = run();
    EXPECT_EQ(out.stage, kQlStageEnded);
    EXPECT_EQ(module().cleanupRuns, 1);
    EXPECT_EQ(out.cleanupRuns, 1);
  }
}

TEST_F(KernelRun, NoHandlerRunsAfterTheCleanup) {
  module().start = [&] {
    registerCleanup();
    openWindowSlot(kMain);
    messageLoop();  // nothing queued: returns at once and runs the clean-up
    EXPECT_EQ(module().cleanupRuns, 1);
    ASSERT_TRUE(windows_->tick(kMain, kTimer).ok());
    endProgram();
  };
  run();
  EXPECT_EQ(handlersCalled(), std::vector<int>{hCreated});
  EXPECT_EQ(module().cleanupRuns, 1);
  // The run's windows are closed when control comes back.
  EXPECT_FALSE(windows_->hasWindow(kMain));
}

// ---- Windows and events ------------------------------------------------------------------

TEST_F(KernelRun, EventsReachTheirHandlersWithMouseArguments) {
  std::vector<std::string> order;
  module().onHandler[hCreated] = [&] {
    order.push_back("created");
    kcall(0x40C, {mainWindowArg(), unitArg(kMain, kList, abi::kTypeListBox), textArg("a.skc")});
    kcall(0x40C, {mainWindowArg(), unitArg(kMain, kList, abi::kTypeListBox), textArg("b.skc")});
  };
  module().start = [&] {
    registerCleanup();
    order.push_back("open");
    openWindowSlot(kMain);  // the created handler runs inside
    order.push_back("opened");
    messageLoop();
    endProgram();
  };
  windows_->queueLoopStep([&] {
    ASSERT_TRUE(windows_->chooseListEntry(kMain, kList, 1).ok());
    ASSERT_TRUE(windows_->chooseComboEntry(kMain, kCombo, 2).ok());
    ASSERT_TRUE(windows_->mouse(kMain, kArea, -1, 10, 20, 1).ok());
    ASSERT_TRUE(windows_->mouse(kMain, kArea, -6, 30, 40, 0x09).ok());
    ASSERT_TRUE(windows_->mouse(kMain, kArea, -2, 31, 41, 0).ok());
    ASSERT_TRUE(windows_->tick(kMain, kTimer).ok());
    ASSERT_TRUE(windows_->clickMenu(kMain, kMenuOpen).ok());
    (void)windows_->clickMenu(kMain, kMenuAbout);  // an item without handler runs nothing
    ASSERT_TRUE(windows_->userMoveResize(kMain, {60, 70, 640, 480}).ok());
    ASSERT_TRUE(windows_->userMoveResize(kMain, {60, 70, 700, 500}).ok());
    ASSERT_TRUE(windows_->userClose(kMain).ok());
  });
  const auto& out = run();
  EXPECT_EQ(out.stage, kQlStageEnded);
  EXPECT_EQ(order, (std::vector<std::string>{"open", "created", "opened"}));
  const std::vector<Call> expected = {
      {hCreated, 0, 0, 0},    {hList, 0, 0, 0},      {hCombo, 0, 0, 0},      {hMouseDown, 10, 20, 1},
      {hMouseMove, 30, 40, 9}, {hMouseUp, 31, 41, 0}, {hTick, 0, 0, 0},       {hMenuOpen, 0, 0, 0},
      {hMoved, 0, 0, 0},      {hResized, 0, 0, 0},   {hDestroying, 0, 0, 0},
  };
  EXPECT_EQ(module().calls, expected);
  EXPECT_EQ(module().cleanupRuns, 1);
}

TEST_F(KernelRun, EmptyHandlerEntryIsARuntimeError) {
  ImageOptions o;
  o.aboutHandler = kEmptyEntry;
  module().start = [&] {
    openWindowSlot(kMain);
    (void)windows_->clickMenu(kMain, kMenuAbout);
  };
  const auto& out = run(o);
  EXPECT_EQ(out.errorCode, kErrBadRoutine);
  EXPECT_NE(std::string(out.detail).find("empty"), std::string::npos);
}

TEST_F(KernelRun, PropertiesReadAndWrittenByNumber) {
  module().start = [&] {
    openWindowSlot(kMain);
    // The window, addressed by its own unit or by its id.
    EXPECT_EQ(asInt(readProp(kMain, kMainUnit, 0)), 50);
    EXPECT_EQ(asInt(readProp(kMain, kMainUnit, 2)), 640);
    EXPECT_EQ(asInt(readProp(kMain, kMain, 3)), 480);
    EXPECT_EQ(asInt(readProp(kMain, kMainUnit, 5)), 0);  // slot 11 opens hidden
    writeProp(kMain, kMainUnit, 5, 1);
    EXPECT_EQ(asInt(readProp(kMain, kMainUnit, 5)), 1);

    // Texts come back as new blocks; writes take a text's address.
    EXPECT_EQ(takeText(readProp(kMain, kText, 8)), gbk("初始"));
    const std::string log = gbk("日志\r\n");
    writeProp(kMain, kText, 8, reinterpret_cast<uintptr_t>(log.c_str()));
    EXPECT_EQ(std::get<std::string>(*windows_->property(kMain, kText, 8)), log);
    writeProp(kMain, kText, 8, 0);  // an absent text is ""
    EXPECT_EQ(takeText(readProp(kMain, kText, 8)), "");

    EXPECT_EQ(asInt(readProp(kMain, kTimer, 8)), 50);
    writeProp(kMain, kTimer, 8, 0);
    EXPECT_EQ(std::get<int32_t>(*windows_->property(kMain, kTimer, 8)), 0);

    EXPECT_EQ(takeText(readProp(kMain, kDialog, 10)), "ptexture.pak");
    EXPECT_EQ(takeText(readProp(kMain, kDialog, 11)), gbk("流星打包文件|*.pak"));
    const std::string filter = gbk("OBJ格式|*.obj");
    writeProp(kMain, kDialog, 11, reinterpret_cast<uintptr_t>(filter.c_str()));
    EXPECT_EQ(takeText(readProp(kMain, kDialog, 11)), filter);
    const std::string folder = gbk("\\游戏\\pmodel");
    writeProp(kMain, kDialog, 13, reinterpret_cast<uintptr_t>(folder.c_str()));
    EXPECT_EQ(takeText(readProp(kMain, kDialog, 13)), folder);

    EXPECT_EQ(asInt(readProp(kMain, kScroll, 12)), 30);
    EXPECT_EQ(asInt(readProp(kMain, kList, 16)), -1);
    writeProp(kMain, kCombo, 19, 4);
    EXPECT_EQ(asInt(readProp(kMain, kCombo, 19)), 4);
    writeProp(kMain, kCombo, 19, 5);  // one past the five entries
    EXPECT_EQ(asInt(readProp(kMain, kCombo, 19)), -1);
    writeProp(kMain, kList, 3, uint32_t(-80 + 480));
    EXPECT_EQ(asInt(readProp(kMain, kList, 3)), 400);
    EXPECT_EQ(kernel().live(), baseline_);
    endProgram();
  };
  EXPECT_EQ(run().stage, kQlStageEnded);
  EXPECT_EQ(kernel().live(), baseline_);
}

TEST_F(KernelRun, PropertyFaultsAreRuntimeErrors) {
  struct Case {
    const char* name;
    std::function<void()> access;
    const char* detail;
  };
  const Case cases[] = {
      {"property the list box lacks", [] { readProp(kMain, kList, 99); }, "no property 99"},
      {"unit the module does not define", [] { readProp(kMain, 0x16000999, 0); }, "no unit"},
      {"window the module does not define", [] { writeProp(0x52000099, 0, 0, 1); }, "defines no window"},
      {"window not yet open", [] { readProp(kLog, kLogText, 8); }, "not open"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    module().reset();
    windows_ = std::make_unique<HeadlessWindowSystem>();
    configure(true, QL_TEST_LIB_DIR);
    module().start = [&] {
      openWindowSlot(kMain);
      c.access();
    };
    const auto& out = run();
    EXPECT_EQ(out.errorCode, kErrWindow);
    EXPECT_NE(std::string(out.detail).find(c.detail), std::string::npos) << out.detail;
  }
}

TEST_F(KernelRun, WindowCommandsWorkOnTheBuiltWindows) {
  module().start = [&] {
    openWindowSlot(kMain);
    const abi::Arg main = mainWindowArg();
    const abi::Arg list = unitArg(kMain, kList, abi::kTypeListBox);

    // 0x320: the log window, owned by the main window, shows at once.
    kcall(0x320, {unitArg(kLog, kLogUnit, abi::kTypeWindow), main, boolArg(false)});
    EXPECT_TRUE(windows_->hasWindow(kLog));
    EXPECT_EQ(std::get<int32_t>(*windows_->property(kLog, kLogUnit, 5)), 1);

    EXPECT_EQ(asInt(kcall(0x36C, {main}).value), *windows_->clientWidth(kMain));
    EXPECT_EQ(asInt(kcall(0x370, {main}).value), *windows_->clientHeight(kMain));
    const auto handle = kcall(0x35C, {main, unitArg(kMain, kArea, abi::kTypeDrawingArea)}).value;
    EXPECT_NE(handle, 0u);
    EXPECT_EQ(handle, *windows_->nativeHandle(kMain, kArea));
    // A support library reaches the drawing surface behind that handle.
    const auto surface = lcall(1, kLibCmdSurface, {abi::makeArg(handle, abi::kTagInt)}).value;
    EXPECT_NE(surface, 0u);
    EXPECT_EQ(surface, reinterpret_cast<uintptr_t>(windows_->surface(uintptr_t(handle))));
    EXPECT_EQ(lcall(1, kLibCmdSurface, {intArg(0)}).value, 0u);

    // 0x38C: omitted values stay; resizing the log window runs its handler.
    kcall(0x38C, {list, omittedArg(), omittedArg(), omittedArg(), intArg(300)});
    EXPECT_EQ(std::get<int32_t>(*windows_->property(kMain, kList, 0)), 0);
    EXPECT_EQ(std::get<int32_t>(*windows_->property(kMain, kList, 3)), 300);
    kcall(0x38C, {unitArg(kLog, kLogUnit, abi::kTypeWindow), intArg(50), intArg(530), intArg(640)});
    EXPECT_EQ(module().calls.back().handler, hLogResized);

    kcall(0x40C, {main, list, textArg("nm001.skc")});
    EXPECT_EQ(takeText(kcall(0x3EC, {main, list, intArg(0)}).value), "nm001.skc");
    EXPECT_EQ(takeText(kcall(0x3EC, {main, list, intArg(5)}).value), "");

    const std::string chosen = gbk("\\游戏\\ptexture.pak");
    windows_->confirmFileDialog(chosen);
    EXPECT_EQ(asInt(kcall(0x3A4, {main, unitArg(kMain, kDialog, abi::kTypeFileDialog)}).value), 1);
    EXPECT_EQ(takeText(readProp(kMain, kDialog, 10)), chosen);
    windows_->cancelFileDialog();
    EXPECT_EQ(asInt(kcall(0x3A4, {main, unitArg(kMain, kDialog, abi::kTypeFileDialog)}).value), 0);

    windows_->answerMessageBox(1);
    const std::string question = gbk("确定吗？"), caption = gbk("帮助");
    EXPECT_EQ(asInt(kcall(0x300, {textArg(question.c_str()), intArg(1), textArg(caption.c_str())}).value), 1);
    EXPECT_EQ(kernel().live(), baseline_);
    endProgram();
  };
  EXPECT_EQ(run().stage, kQlStageEnded);
  ASSERT_EQ(windows_->messageBoxes().size(), 1u);
  EXPECT_EQ(windows_->messageBoxes()[0].caption, gbk("帮助"));
  EXPECT_EQ(windows_->pendingAnswers(), 0u);
}

TEST_F(KernelRun, OpeningAWindowTheModuleLacksIsARuntimeError) {
  module().start = [] { openWindowSlot(0x52000077); };
  const auto& out = run();
  EXPECT_EQ(out.errorCode, kErrWindow);
  EXPECT_NE(std::string(out.detail).find("defines no window"), std::string::npos);
}

#if !defined(_WIN32)  // Windows always has its desktop: the kernel uses its Win32 windows
// Without a configured window system and without a display the kernel runs
// on its own headless backend: boxes take their first button, dialogs cancel.
TEST_F(KernelRun, WithoutDisplayTheKernelRunsHeadless) {
  const char* display = getenv("DISPLAY");
  const std::string saved = display ? display : "";
  unsetenv("DISPLAY");
  QlKernelConfig config{kQlKernelConfigVersion, nullptr, 1, nullptr, QL_TEST_LIB_DIR};
  ASSERT_EQ(kernel().configure(&config), 1);
  int32_t box = -1, dialog = -1;
  module().start = [&] {
    registerCleanup();
    openWindowSlot(kMain);
    const std::string text = gbk("没有可输出的数据!");
    box = asInt(kcall(0x300, {textArg(text.c_str()), intArg(1), omittedArg()}).value);
    dialog = asInt(kcall(0x3A4, {mainWindowArg(), unitArg(kMain, kDialog, abi::kTypeFileDialog)}).value);
    messageLoop();
    endProgram();
  };
  const auto& out = run();
  if (display) setenv("DISPLAY", saved.c_str(), 1);
  EXPECT_EQ(out.stage, kQlStageEnded);
  EXPECT_EQ(box, 0);
  EXPECT_EQ(dialog, 0);
  EXPECT_EQ(module().cleanupRuns, 1);
  EXPECT_EQ(handlersCalled(), std::vector<int>{hCreated});
  EXPECT_TRUE(windows_->messageBoxes().empty());  // the configured one of the fixture was not used
}
#endif

// ---- The process ends as the real program's does ------------------------------------------

using KernelRunDeathTest = KernelRun;

TEST_F(KernelRunDeathTest, EndProgramExitsWithZeroAfterTheCleanup) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  auto body = [&] {
    configure(false, QL_TEST_LIB_DIR);
    module().onCleanup = [] { std::fprintf(stderr, "clean-up ran\n"); };
    module().start = [] {
      registerCleanup();
      endProgram();
    };
    run();
    std::_Exit(99);
  };
  EXPECT_EXIT(body(), ::testing::ExitedWithCode(0), "clean-up ran");
}

TEST_F(KernelRunDeathTest, RuntimeErrorExitsWithItsCode) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  auto body = [&] {
    configure(false, QL_TEST_LIB_DIR);
    module().start = [] { slot<abi::RuntimeErrorFn>(abi::kSlotRuntimeError)(abi::kErrArraySize); };
    run();
    std::_Exit(99);
  };
  EXPECT_EXIT(body(), ::testing::ExitedWithCode(abi::kErrArraySize), "runtime error 10");
}

}  // namespace
}  // namespace ql::rt::test
