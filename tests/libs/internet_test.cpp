// The internet library's fetch against servers on the loopback address that
// the test starts itself: plain answers, redirects, errors, silence and
// oversized bodies.
#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <thread>

#include "runtime/libs/internet/fetch.h"
#include "tests/libs/lib_host.h"
#include "tests/net/loopback.h"

namespace ql::net {
namespace {

using namespace std::chrono_literals;

// ---- Addresses ------------------------------------------------------------------

TEST(FetchUrl, Parse) {
  struct {
    const char* address;
    bool ok;
    const char* host;
    uint16_t port;
    const char* target;
  } const table[] = {
      {"http://127.0.0.1/update_qltool.txt", true, "127.0.0.1", 80, "/update_qltool.txt"},
      {"HTTP://Example.COM:8080", true, "Example.COM", 8080, "/"},
      {"127.0.0.1:81/a?b=1#frag", true, "127.0.0.1", 81, "/a?b=1"},
      {"http://h/f?kw=%CC%EC", true, "h", 80, "/f?kw=%CC%EC"},
      {"http://h/\xC1\xF7 x", true, "h", 80, "/%C1%F7%20x"},
      {"http://[::1]:8000/x", true, "::1", 8000, "/x"},
      {"http://h?q", true, "h", 80, "/?q"},
      {"", false, "", 0, ""},
      {"http://", false, "", 0, ""},
      {"https://127.0.0.1/", false, "", 0, ""},
      {"ftp://127.0.0.1/", false, "", 0, ""},
      {"http://user@127.0.0.1/", false, "", 0, ""},
      {"http://127.0.0.1:0/", false, "", 0, ""},
      {"http://127.0.0.1:65536/", false, "", 0, ""},
      {"http://127.0.0.1:8x/", false, "", 0, ""},
      {"http://127.0.0.1:/", true, "127.0.0.1", 80, "/"},
      {"http://bad host/", false, "", 0, ""},
      {"http://[::1/", false, "", 0, ""},
  };
  for (const auto& row : table) {
    SCOPED_TRACE(row.address);
    auto url = parseUrl(row.address);
    ASSERT_EQ(url.ok(), row.ok) << (url.ok() ? "" : url.error().message);
    if (!row.ok) continue;
    EXPECT_EQ(url->host, row.host);
    EXPECT_EQ(url->port, row.port);
    EXPECT_EQ(url->target, row.target);
  }
}

TEST(FetchUrl, ResolveLocation) {
  const Url base{"127.0.0.1", 8000, "/dir/page?x=1"};
  struct {
    const char* location;
    bool ok;
    const char* host;
    uint16_t port;
    const char* target;
  } const table[] = {
      {"http://127.0.0.2:9000/new", true, "127.0.0.2", 9000, "/new"},
      {"//127.0.0.3/p", true, "127.0.0.3", 80, "/p"},
      {"/root?y", true, "127.0.0.1", 8000, "/root?y"},
      {"next.txt", true, "127.0.0.1", 8000, "/dir/next.txt"},
      {"next#f", true, "127.0.0.1", 8000, "/dir/next"},
      {"", false, "", 0, ""},
      {"https://127.0.0.1/secure", false, "", 0, ""},
  };
  for (const auto& row : table) {
    SCOPED_TRACE(row.location);
    auto url = resolveLocation(base, row.location);
    ASSERT_EQ(url.ok(), row.ok);
    if (!row.ok) continue;
    EXPECT_EQ(url->host, row.host);
    EXPECT_EQ(url->port, row.port);
    EXPECT_EQ(url->target, row.target);
  }
}

// ---- Loopback servers -----------------------------------------------------------

constexpr size_t kOverCap = 16 * 1024 * 1024 + 1;
const std::string kUpdateText = "ver 26\r\nadd http://127.0.0.1/qltool_ver\r\n";

class LoopbackServer {
 public:
  LoopbackServer() {
    http_.server().Get("/update_qltool.txt", [](const httplib::Request&, httplib::Response& res) {
      res.set_content(kUpdateText, "text/plain");
    });
    http_.server().Get("/binary", [](const httplib::Request&, httplib::Response& res) {
      res.set_content(std::string("\xB0\x00\xFF\r\n\x00", 6), "application/octet-stream");
    });
    http_.server().Get("/empty", [](const httplib::Request&, httplib::Response& res) { res.status = 200; });
    http_.server().Get("/missing", [](const httplib::Request&, httplib::Response& res) {
      res.status = 404;
      res.set_content("no such page", "text/plain");
    });
    http_.server().Get("/error", [](const httplib::Request&, httplib::Response& res) {
      res.status = 500;
      res.set_content("broken", "text/plain");
    });
    // /chain/N redirects N times (alternating the kinds of Location) before
    // answering.
    http_.server().Get(R"(/chain/(\d+))", [this](const httplib::Request& req, httplib::Response& res) {
      const int n = std::stoi(req.matches[1]);
      if (n == 0) {
        res.set_content("end of chain", "text/plain");
        return;
      }
      static const int kStatus[] = {301, 302, 303, 307, 308};
      res.status = kStatus[n % 5];
      const std::string next = std::to_string(n - 1);
      if (n % 3 == 0) res.set_header("Location", url("/chain/" + next));
      else if (n % 3 == 1) res.set_header("Location", "/chain/" + next);
      else res.set_header("Location", next);
    });
    http_.server().Get("/redirect-nowhere", [](const httplib::Request&, httplib::Response& res) { res.status = 302; });
    http_.server().Get("/huge", [](const httplib::Request&, httplib::Response& res) {
      res.set_content(std::string(kOverCap, 'x'), "application/octet-stream");
    });
    // No Content-Length: the size shows only while reading.
    http_.server().Get("/huge-chunked", [](const httplib::Request&, httplib::Response& res) {
      res.set_chunked_content_provider("application/octet-stream", [](size_t offset, httplib::DataSink& sink) {
        static const std::string block(64 * 1024, 'y');
        if (offset >= 2 * kOverCap) {
          sink.done();
          return true;
        }
        return sink.write(block.data(), block.size());
      });
    });
    http_.server().Get(R"(/bytes/(\d+))", [](const httplib::Request& req, httplib::Response& res) {
      res.set_content(std::string(std::stoul(req.matches[1]), 'z'), "application/octet-stream");
    });
    // A byte every 100 ms: each read is quick, the whole never ends in time.
    http_.server().Get("/trickle", [](const httplib::Request&, httplib::Response& res) {
      res.set_chunked_content_provider("text/plain", [](size_t offset, httplib::DataSink& sink) {
        if (offset >= 40) {
          sink.done();
          return true;
        }
        std::this_thread::sleep_for(100ms);
        return sink.write("t", 1);
      });
    });
    http_.start();
  }
  std::string url(const std::string& path) const { return http_.url(path); }
  int port() const { return http_.port(); }

 private:
  testnet::HttpServer http_;
};

using testnet::closedPort;
using testnet::SilentServer;

// ---- fetch() with the real transport and short limits -------------------------------

class FetchLoopback : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { server_ = new LoopbackServer; }
  static void TearDownTestSuite() {
    delete server_;
    server_ = nullptr;
  }
  static LoopbackServer* server_;
};
LoopbackServer* FetchLoopback::server_ = nullptr;

TEST_F(FetchLoopback, BodyLimitIsInclusive) {
  FetchLimits limits;
  limits.maxBody = 1000;
  auto atLimit = fetch(server_->url("/bytes/1000"), limits, defaultTransport());
  ASSERT_TRUE(atLimit.ok()) << atLimit.error().message;
  EXPECT_EQ(atLimit->size(), 1000u);
  EXPECT_FALSE(fetch(server_->url("/bytes/1001"), limits, defaultTransport()).ok());
}

TEST_F(FetchLoopback, RedirectLimitIsInclusive) {
  FetchLimits limits;
  limits.maxRedirects = 2;
  EXPECT_TRUE(fetch(server_->url("/chain/2"), limits, defaultTransport()).ok());
  EXPECT_FALSE(fetch(server_->url("/chain/3"), limits, defaultTransport()).ok());
  EXPECT_FALSE(fetch(server_->url("/redirect-nowhere"), limits, defaultTransport()).ok());
}

TEST_F(FetchLoopback, TrickleStopsAtTheTotalDeadline) {
  FetchLimits limits;
  limits.total = 1000ms;
  const auto start = std::chrono::steady_clock::now();
  auto r = fetch(server_->url("/trickle"), limits, defaultTransport());
  const auto took = std::chrono::steady_clock::now() - start;
  EXPECT_FALSE(r.ok());
  EXPECT_LT(took, 3500ms) << "the whole-fetch limit was not applied";
}

TEST_F(FetchLoopback, SilentServerStopsAtTheReadTimeout) {
  SilentServer silent;
  FetchLimits limits;
  limits.readTimeout = 500ms;
  const auto start = std::chrono::steady_clock::now();
  auto r = fetch(silent.url("/update_qltool.txt"), limits, defaultTransport());
  EXPECT_FALSE(r.ok());
  EXPECT_LT(std::chrono::steady_clock::now() - start, 3000ms);
}

// ---- The library, as the kernel calls it ----------------------------------------------

class InternetLibrary : public FetchLoopback {
 protected:
  static void SetUpTestSuite() {
    FetchLoopback::SetUpTestSuite();
    lib_ = new test::LoadedLibrary(support::kInternetFile);
    ASSERT_TRUE(lib_->loaded()) << lib_->error();
    ASSERT_NE(lib_->init(test::countingHost()), 0);
  }
  static void TearDownTestSuite() {
    delete lib_;
    lib_ = nullptr;
    FetchLoopback::TearDownTestSuite();
  }
  void SetUp() override { blocksBefore_ = test::liveBlocks(); }
  void TearDown() override {
    EXPECT_EQ(test::liveBlocks(), blocksBefore_);
    EXPECT_EQ(test::badReleases(), 0u);
  }

  // Calls fetch and returns the byte set's bytes, after checking that the
  // result is a host block and releasing it.
  std::string fetchBytes(const std::string& address) {
    test::ArgList args;
    args.text(address.c_str());
    auto r = lib_->call(0x01C, args.record());
    EXPECT_EQ(r.tag, abi::kTagBytes);
    void* block = reinterpret_cast<void*>(static_cast<uintptr_t>(r.value));
    if (!block) {
      ADD_FAILURE() << "no byte set";
      return {};
    }
    EXPECT_TRUE(test::isLiveBlock(block));
    std::string bytes = test::byteSetBytes(block);
    test::releaseBlock(block);
    return bytes;
  }

  static test::LoadedLibrary* lib_;
  size_t blocksBefore_ = 0;
};
test::LoadedLibrary* InternetLibrary::lib_ = nullptr;

TEST_F(InternetLibrary, Answers) {
  struct {
    const char* name;
    std::string address;
    std::string expected;
  } const table[] = {
      {"plain_200", server_->url("/update_qltool.txt"), kUpdateText},
      {"binary_body_unchanged", server_->url("/binary"), std::string("\xB0\x00\xFF\r\n\x00", 6)},
      {"empty_200", server_->url("/empty"), ""},
      {"redirect_chain_of_five", server_->url("/chain/5"), "end of chain"},
      {"six_redirects_too_many", server_->url("/chain/6"), ""},
      {"redirect_without_location", server_->url("/redirect-nowhere"), ""},
      {"not_found", server_->url("/missing"), ""},
      {"server_error", server_->url("/error"), ""},
      {"huge_declared_body", server_->url("/huge"), ""},
      {"huge_chunked_body", server_->url("/huge-chunked"), ""},
      {"no_server", "http://127.0.0.1:" + std::to_string(closedPort()) + "/update_qltool.txt", ""},
      {"empty_address", "", ""},
      {"https_not_supported", "https://127.0.0.1:" + std::to_string(server_->port()) + "/", ""},
      {"bad_port", "http://127.0.0.1:99999/", ""},
  };
  for (const auto& row : table) {
    SCOPED_TRACE(row.name);
    EXPECT_EQ(fetchBytes(row.address), row.expected);
  }
}

TEST_F(InternetLibrary, SilentServerGivesEmptyWithinTheTimeout) {
  SilentServer silent;
  const auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(fetchBytes(silent.url("/update_qltool.txt")), "");
  EXPECT_LT(std::chrono::steady_clock::now() - start, 12s);
}

TEST_F(InternetLibrary, MissingArgumentGivesEmpty) {
  auto r = lib_->call(0x01C, test::ArgList().record());
  ASSERT_EQ(r.tag, abi::kTagBytes);
  void* block = reinterpret_cast<void*>(static_cast<uintptr_t>(r.value));
  ASSERT_NE(block, nullptr);
  EXPECT_EQ(test::byteSetBytes(block), "");
  test::releaseBlock(block);
}

}  // namespace
}  // namespace ql::net
