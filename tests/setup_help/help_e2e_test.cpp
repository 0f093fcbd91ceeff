// The Help menu run for real: the module image on kbase.qlr and the headless
// window system, the update text served by a server on the loopback address
// that the test starts, and the kernel's ShellExecuteA layer pointed at a
// recorder instead of the desktop's browser.
#include <dlfcn.h>

#include <chrono>
#include <cstring>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "module/app/image_link.h"
#include "qvkm_image.h"
#include "runtime/support_lib.h"
#include "tests/e2e/app_fixture.h"
#include "tests/net/loopback.h"

namespace ql::e2e {
namespace {

using namespace std::chrono_literals;
using Box = HeadlessWindowSystem::MessageBoxShown;

constexpr int32_t kOk = 0;
constexpr int32_t kCancel = 1;
constexpr int32_t kStyleOk = 0;
constexpr int32_t kStyleOkCancel = 1;
constexpr int32_t kShowNormal = 1;
constexpr char kUpdatePath[] = "/update_qltool.txt";
// Above the internet library's 16 MiB body limit.
constexpr size_t kHugeBody = 17u * 1024 * 1024;

// ---- What the program hands to the shell --------------------------------------------
struct ShellCall {
  std::optional<std::string> operation, file, parameters, directory;
  int32_t show = 0;
};
std::vector<ShellCall> shellCalls;

std::optional<std::string> textOrNull(const char* s) { return s ? std::optional<std::string>(s) : std::nullopt; }

intptr_t recordShellCall(void*, const char* operation, const char* file, const char* parameters,
                         const char* directory, int32_t show) {
  shellCalls.push_back({textOrNull(operation), textOrNull(file), textOrNull(parameters), textOrNull(directory), show});
  return 42;  // what ShellExecuteA gives when it started something
}

// ---- The update server ------------------------------------------------------------
class UpdateServer {
 public:
  UpdateServer() {
    http_.server().Get(kUpdatePath, [this](const httplib::Request& req, httplib::Response& res) {
      std::lock_guard<std::mutex> lock(mutex_);
      paths_.push_back(req.path);
      res.status = status_;
      res.set_content(body_, "text/plain");
    });
    http_.start();
  }
  void answer(std::string body, int status = 200) {
    std::lock_guard<std::mutex> lock(mutex_);
    body_ = std::move(body);
    status_ = status;
    paths_.clear();
  }
  std::vector<std::string> paths() {
    std::lock_guard<std::mutex> lock(mutex_);
    return paths_;
  }
  int port() const { return http_.port(); }

 private:
  std::mutex mutex_;
  std::string body_;
  int status_ = 200;
  std::vector<std::string> paths_;
  testnet::HttpServer http_;  // last: stops serving before the state above goes
};

using testnet::closedPort;
using testnet::SilentServer;

bool endsWith(const std::string& s, const std::string& tail) {
  return s.size() >= tail.size() && s.compare(s.size() - tail.size(), tail.size(), tail) == 0;
}

class HelpMenu : public AppFixture {
 protected:
  static void SetUpTestSuite() {
    // The same library file the runner loads: dlopen hands back that one.
    const auto file = apprun::defaultRuntimeDir() / support::kKernelFile;
    kernel_ = dlopen(file.c_str(), RTLD_NOW | RTLD_LOCAL);
    ASSERT_NE(kernel_, nullptr) << dlerror();
    setHook_ = reinterpret_cast<QlKernelSetShellHookFn>(dlsym(kernel_, kQlKernelSetShellHookName));
    ASSERT_NE(setHook_, nullptr) << "the kernel lacks " << kQlKernelSetShellHookName;
    setHook_(&recordShellCall, nullptr);
  }
  static void TearDownTestSuite() {
    if (setHook_) setHook_(nullptr, nullptr);
    if (kernel_) dlclose(kernel_);
    kernel_ = nullptr;
    setHook_ = nullptr;
  }
  void SetUp() override {
    AppFixture::SetUp();
    ASSERT_NE(setHook_, nullptr);
    seedFinishedFirstStart();
    shellCalls.clear();
  }

  // Runs the program with one step: the update address pointed at
  // 127.0.0.1:port (same path), then a click on 检测新版本.
  void runUpdateCheck(int port) {
    step([this, port] {
      redirectUpdateAddress(port);
      ASSERT_TRUE(clickMenu("帮助/检测新版本").ok());
    });
    run();
    expectCleanEnd();
  }

  // The update address is a constant of the running image; its host is ours
  // to choose, so the test swaps in its own server and keeps the path. The
  // next run restores the image's bytes.
  static void redirectUpdateAddress(int port) {
    char* address = const_cast<char*>(app::constText(gen::text::kUpdateAddress).c_str());
    const std::string original = address;
    ASSERT_TRUE(endsWith(original, kUpdatePath)) << original;
    const std::string local = "http://127.0.0.1:" + std::to_string(port) + kUpdatePath;
    ASSERT_LE(local.size(), original.size());
    std::memcpy(address, local.c_str(), local.size() + 1);
  }

  static Box noUpdateBox() { return Box{gbk("没有检测到更新信息！"), kStyleOk, std::nullopt, kOk}; }
  static Box newerVersionBox(int32_t answer) {
    return Box{gbk("检测到更高版本，是否打开网页查看？"), kStyleOkCancel, gbk("帮助"), answer};
  }
  static void expectOpened(const std::string& address) {
    ASSERT_EQ(shellCalls.size(), 1u);
    const ShellCall& c = shellCalls[0];
    EXPECT_EQ(c.operation, "open");
    EXPECT_EQ(c.file, address);
    EXPECT_EQ(c.parameters, "");
    EXPECT_EQ(c.directory, "");
    EXPECT_EQ(c.show, kShowNormal);
  }

  static inline void* kernel_ = nullptr;
  static inline QlKernelSetShellHookFn setHook_ = nullptr;
};

// ---- The three links ------------------------------------------------------------------

TEST_F(HelpMenu, LinksAskFirstAndOpenTheirPageOnOk) {
  struct Link {
    const char* menu;
    const char* question;
    uint32_t address;    // the constant the image holds
    const char* tail;    // its fixed path and query
  } const links[] = {
      {"帮助/百度贴吧", "将访问百度贴吧[天外流星]，是否打开？", gen::text::kForumBarAddress,
       "/f?kw=%CC%EC%CD%E2%C1%F7%D0%C7"},
      {"帮助/访问论坛获取帮助", "将打开网页查看是否有更新内容，是否打开？", gen::text::kHelpThreadAddress,
       "/bbs/a/a.asp?B=2200&ID=175022"},
      {"帮助/当前版本说明", "将访问网页[版本说明]，是否打开？", gen::text::kVersionNotesAddress, "/qltool_ver"},
  };
  for (const Link& link : links) {
    for (const int32_t answer : {kOk, kCancel}) {
      SCOPED_TRACE(std::string(link.menu) + (answer == kOk ? ", OK" : ", Cancel"));
      shellCalls.clear();
      std::string address;
      step([&] {
        address = std::string(app::constText(link.address).c_str());
        ASSERT_TRUE(clickMenu(link.menu).ok());
      });
      answerBox(answer);
      run();
      expectCleanEnd();
      EXPECT_TRUE(address.starts_with("http://")) << address;
      EXPECT_TRUE(endsWith(address, link.tail)) << address;
      ASSERT_EQ(boxes().size(), 1u);
      EXPECT_EQ(boxes()[0], (Box{gbk(link.question), kStyleOkCancel, gbk("帮助"), answer}));
      if (answer == kOk)
        expectOpened(address);
      else
        EXPECT_TRUE(shellCalls.empty()) << "Cancel opens nothing";
    }
  }
}

// ---- The update check -------------------------------------------------------------

TEST_F(HelpMenu, UpdateTextDecidesWhatIsOffered) {
  UpdateServer server;
  struct Case {
    const char* name;
    std::string body;
    std::optional<int32_t> answer;  // the question's answer; none: "no update" expected
    std::string opened;             // on OK
    int status = 200;
  } const cases[] = {
      {"newer version, OK", "ver 30\r\nadd http://qltool.example.net/v30\r\n", kOk, "http://qltool.example.net/v30"},
      {"newer version, Cancel", "ver 30\r\nadd http://qltool.example.net/v30\r\n", kCancel, ""},
      {"just above ours", "ver 26\r\nadd http://h.example/26", kOk, "http://h.example/26"},
      {"https page", "ver 30\r\nadd https://h.example/p?q=1\r\n", kOk, "https://h.example/p?q=1"},
      {"address with a blank: the part before it", "ver 30\r\nadd http://h.example/a b\r\n", kOk,
       "http://h.example/a"},
      {"lines after the second are ignored", "ver 30\r\nadd http://h.example/x\r\nver 1\r\nadd file:///x\r\n", kOk,
       "http://h.example/x"},
      {"our own version", "ver 25\r\nadd http://h.example/\r\n", std::nullopt, ""},
      {"older version", "ver 7\r\nadd http://h.example/\r\n", std::nullopt, ""},
      {"capital V", "Ver 30\r\nadd http://h.example/\r\n", std::nullopt, ""},
      {"two blanks before the number", "ver  30\r\nadd http://h.example/\r\n", std::nullopt, ""},
      {"no number", "ver\r\nadd http://h.example/\r\n", std::nullopt, ""},
      {"one line only", "ver 30", std::nullopt, ""},
      {"second line empty", "ver 30\r\n", std::nullopt, ""},
      {"LF line breaks", "ver 30\nadd http://h.example/\n", std::nullopt, ""},
      {"capital Add", "ver 30\r\nAdd http://h.example/\r\n", std::nullopt, ""},
      {"empty address", "ver 30\r\nadd \r\n", std::nullopt, ""},
      {"add without address", "ver 30\r\nadd\r\n", std::nullopt, ""},
      {"empty text", "", std::nullopt, ""},
      {"error status", "ver 30\r\nadd http://h.example/\r\n", std::nullopt, "", 404},
      // What the text names goes to the shell: only web addresses may.
      {"file URL", "ver 30\r\nadd file:///etc/passwd\r\n", std::nullopt, ""},
      {"local program", "ver 30\r\nadd /usr/bin/xterm\r\n", std::nullopt, ""},
      {"Windows path", "ver 30\r\nadd C:\\Windows\\notepad.exe\r\n", std::nullopt, ""},
      {"other scheme", "ver 30\r\nadd javascript:alert(1)\r\n", std::nullopt, ""},
      {"scheme without host", "ver 30\r\nadd http://\r\n", std::nullopt, ""},
      {"control character", "ver 30\r\nadd http://h.example/\x01x\r\n", std::nullopt, ""},
      {"tab in the address", "ver 30\r\nadd http://h.example/\tx\r\n", std::nullopt, ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    shellCalls.clear();
    server.answer(c.body, c.status);
    if (c.answer) answerBox(*c.answer);
    else answerBox(kOk);
    runUpdateCheck(server.port());

    EXPECT_EQ(server.paths(), std::vector<std::string>{kUpdatePath}) << "one fetch of the update text";
    ASSERT_EQ(boxes().size(), 1u);
    if (!c.answer) {
      EXPECT_EQ(boxes()[0], noUpdateBox());
      EXPECT_TRUE(shellCalls.empty());
      continue;
    }
    EXPECT_EQ(boxes()[0], newerVersionBox(*c.answer));
    if (*c.answer == kOk)
      expectOpened(c.opened);
    else
      EXPECT_TRUE(shellCalls.empty()) << "Cancel opens nothing";
  }
}

TEST_F(HelpMenu, UnreachableOrUnusableServerMeansNoUpdate) {
  struct Case {
    const char* name;
    std::function<int()> port;
  };
  SilentServer silent;
  UpdateServer huge;
  // A valid announcement at the front, but far more than an update text.
  std::string body = "ver 30\r\nadd http://h.example/huge\r\n";
  body.resize(kHugeBody, 'x');
  huge.answer(body);
  const Case cases[] = {
      {"no server", [] { return closedPort(); }},
      {"server that never answers", [&] { return silent.port(); }},
      {"body past the limit", [&] { return huge.port(); }},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    shellCalls.clear();
    answerBox(kOk);
    // The fetch gives up on its own (the internet library's time-out), so
    // the run ends.
    runUpdateCheck(c.port());
    ASSERT_EQ(boxes().size(), 1u);
    EXPECT_EQ(boxes()[0], noUpdateBox());
    EXPECT_TRUE(shellCalls.empty());
  }
}

}  // namespace
}  // namespace ql::e2e
