#pragma once
// Another program listening on a TCP port on every address: what a server meets when its port
// is taken. Port 0 takes any free port; port() says which.

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdint>

namespace velmorin::testing {

class PortHolder {
 public:
  explicit PortHolder(std::uint16_t port = 0) : fd_(::socket(AF_INET, SOCK_STREAM, 0)) {
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(port);
    address.sin_addr.s_addr = htonl(INADDR_ANY);
    listening_ = fd_ >= 0 && ::bind(fd_, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0 &&
                 ::listen(fd_, 1) == 0;
    socklen_t length = sizeof address;
    if (listening_ && ::getsockname(fd_, reinterpret_cast<sockaddr*>(&address), &length) == 0) {
      port_ = ntohs(address.sin_port);
    }
  }
  ~PortHolder() { Release(); }
  PortHolder(const PortHolder&) = delete;
  PortHolder& operator=(const PortHolder&) = delete;

  bool listening() const { return listening_; }
  std::uint16_t port() const { return port_; }
  // Closes the port before the end of the scope.
  void Release() {
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
  }

 private:
  int fd_;
  bool listening_ = false;
  std::uint16_t port_ = 0;
};

}  // namespace velmorin::testing
