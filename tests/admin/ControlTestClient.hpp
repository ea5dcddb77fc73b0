#pragma once
// A control-socket client for tests: non-blocking, every wait bounded, and the server's event
// loop pumped while waiting (the server runs on the test's thread).

#include <fcntl.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <functional>
#include <optional>
#include <string>

#include "platform/EventLoop.hpp"

namespace velmorin::testing {

class ControlTestClient {
 public:
  explicit ControlTestClient(const std::string& path, EventLoop* loop = nullptr) : loop_(loop) {
    fd_ = ::socket(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::strncpy(address.sun_path, path.c_str(), sizeof address.sun_path - 1);
    connected_ = ::connect(fd_, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0;
  }
  ~ControlTestClient() { Close(); }
  ControlTestClient(const ControlTestClient&) = delete;
  ControlTestClient& operator=(const ControlTestClient&) = delete;

  bool connected() const { return connected_; }
  // A send failed because the server closed the connection (seen without reading).
  bool sendFailed() const { return sendFailed_; }
  void Close() {
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
  }

  // Sends what the socket takes now; the number of bytes taken.
  std::size_t SendSome(const std::string& bytes) {
    const ssize_t size = ::send(fd_, bytes.data(), bytes.size(), MSG_NOSIGNAL | MSG_DONTWAIT);
    if (size < 0 && errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR) sendFailed_ = true;
    return size > 0 ? static_cast<std::size_t>(size) : 0;
  }
  bool SendAll(const std::string& bytes, std::chrono::milliseconds bound = std::chrono::seconds(5)) {
    std::size_t sent = 0;
    return Until([&] {
      sent += SendSome(bytes.substr(sent));
      return sent == bytes.size();
    }, bound);
  }
  bool Request(const std::string& wordsJson, const std::string& extra = "") {
    return SendAll("{\"v\":1,\"words\":" + wordsJson + extra + "}\n");
  }

  // The next line; nothing at the end of the stream or after the bound.
  std::optional<std::string> ReadLine(std::chrono::milliseconds bound = std::chrono::seconds(5)) {
    std::optional<std::string> line;
    Until([&] {
      Fill();
      const std::size_t end = buffered_.find('\n');
      if (end != std::string::npos) {
        line = buffered_.substr(0, end);
        buffered_.erase(0, end + 1);
        return true;
      }
      return ended_;
    }, bound);
    return line;
  }
  // True once the server has closed the connection (buffered lines are read past).
  bool WaitForEnd(std::chrono::milliseconds bound = std::chrono::seconds(5)) {
    return Until([&] {
      Fill();
      buffered_.clear();
      return ended_;
    }, bound);
  }

  bool Until(const std::function<bool()>& done, std::chrono::milliseconds bound) {
    const auto deadline = std::chrono::steady_clock::now() + bound;
    for (;;) {
      if (done()) return true;
      if (std::chrono::steady_clock::now() >= deadline) return false;
      if (loop_ != nullptr) {
        loop_->RunOnce(5);
      } else {
        ::usleep(5000);
      }
    }
  }

 private:
  void Fill() {
    char chunk[65536];
    for (;;) {
      const ssize_t size = ::recv(fd_, chunk, sizeof chunk, MSG_DONTWAIT);
      if (size > 0) {
        buffered_.append(chunk, static_cast<std::size_t>(size));
        continue;
      }
      if (size == 0 || (errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR)) ended_ = true;
      return;
    }
  }

  EventLoop* loop_;
  int fd_ = -1;
  bool connected_ = false;
  bool ended_ = false;
  bool sendFailed_ = false;
  std::string buffered_;
};

}  // namespace velmorin::testing
