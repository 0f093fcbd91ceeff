// Loopback peers for tests of the internet fetch: an HTTP server on a port
// of its own, a socket that accepts connections but never answers, and a
// port on which nothing listens.
#pragma once

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <gtest/gtest.h>
#include <httplib.h>

#include <chrono>
#include <string>
#include <thread>

namespace ql::testnet {

// Routes are added to server() by the owner's constructor, then start()
// binds a free port on 127.0.0.1 and serves until destruction.
class HttpServer {
 public:
  HttpServer() = default;
  HttpServer(const HttpServer&) = delete;
  HttpServer& operator=(const HttpServer&) = delete;
  ~HttpServer() {
    if (!thread_.joinable()) return;
    server_.stop();
    thread_.join();
  }
  httplib::Server& server() { return server_; }
  void start() {
    port_ = server_.bind_to_any_port("127.0.0.1");
    thread_ = std::thread([this] { server_.listen_after_bind(); });
    while (!server_.is_running()) std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  int port() const { return port_; }
  std::string url(const std::string& path) const { return "http://127.0.0.1:" + std::to_string(port_) + path; }

 private:
  httplib::Server server_;
  int port_ = 0;
  std::thread thread_;
};

inline sockaddr_in loopbackAddress() {
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  return addr;
}

// A listening socket that nobody accepts from: the kernel completes the
// connection, and the request is never answered.
class SilentServer {
 public:
  SilentServer() {
    fd_ = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in addr = loopbackAddress();
    socklen_t len = sizeof addr;
    if (bind(fd_, reinterpret_cast<sockaddr*>(&addr), len) != 0 || listen(fd_, 4) != 0 ||
        getsockname(fd_, reinterpret_cast<sockaddr*>(&addr), &len) != 0)
      ADD_FAILURE() << "cannot set up the silent server";
    port_ = ntohs(addr.sin_port);
  }
  SilentServer(const SilentServer&) = delete;
  SilentServer& operator=(const SilentServer&) = delete;
  ~SilentServer() { close(fd_); }
  int port() const { return port_; }
  std::string url(const std::string& path) const { return "http://127.0.0.1:" + std::to_string(port_) + path; }

 private:
  int fd_ = -1;
  int port_ = 0;
};

// A port on which nothing listens (bound once, then released).
inline int closedPort() {
  int fd = socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in addr = loopbackAddress();
  socklen_t len = sizeof addr;
  EXPECT_EQ(bind(fd, reinterpret_cast<sockaddr*>(&addr), len), 0);
  EXPECT_EQ(getsockname(fd, reinterpret_cast<sockaddr*>(&addr), &len), 0);
  close(fd);
  return ntohs(addr.sin_port);
}

}  // namespace ql::testnet
