#include "client/Discovery.hpp"

#include <arpa/inet.h>
#include <netdb.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "platform/Text.hpp"

namespace velmorin::client {
namespace {

class Socket {
 public:
  explicit Socket(int fd) : fd_(fd) {}
  ~Socket() {
    if (fd_ >= 0) ::close(fd_);
  }
  Socket(const Socket&) = delete;
  Socket& operator=(const Socket&) = delete;
  int fd() const { return fd_; }

 private:
  int fd_;
};

std::string AddressText(const sockaddr_in& address) {
  char text[INET_ADDRSTRLEN] = {};
  ::inet_ntop(AF_INET, &address.sin_addr, text, sizeof text);
  return std::string(text) + ":" + std::to_string(ntohs(address.sin_port));
}

}  // namespace

std::optional<ServerInfo> ParseServerInfo(std::string_view datagram, std::string address) {
  std::vector<std::string> lines = Split(datagram, "\r\n");
  if (lines.empty() || lines[0] != "vm3_serverinfos") return std::nullopt;
  lines.resize(std::max<std::size_t>(lines.size(), 5));
  // A description that held CR LF itself would have been cut into further lines.
  std::string description = lines[4];
  for (std::size_t i = 5; i < lines.size(); ++i) description += "<br>" + lines[i];
  return ServerInfo{std::move(address), lines[1], lines[2], lines[3], std::move(description)};
}

DiscoveryResult Discover(const std::string& host, std::uint16_t port, std::chrono::milliseconds timeout) {
  DiscoveryResult result;
  addrinfo hints{};
  hints.ai_family = AF_INET;
  hints.ai_socktype = SOCK_DGRAM;
  hints.ai_flags = AI_NUMERICSERV;
  addrinfo* found = nullptr;
  if (const int rc = ::getaddrinfo(host.c_str(), std::to_string(port).c_str(), &hints, &found); rc != 0) {
    result.error = host + ": " + ::gai_strerror(rc);
    return result;
  }
  sockaddr_in target{};
  std::memcpy(&target, found->ai_addr, sizeof target);
  ::freeaddrinfo(found);

  const Socket socket(::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0));
  if (socket.fd() < 0) {
    result.error = std::string("socket: ") + std::strerror(errno);
    return result;
  }
  const int on = 1;
  ::setsockopt(socket.fd(), SOL_SOCKET, SO_BROADCAST, &on, sizeof on);
  constexpr std::string_view kRequest = "vm3_gsi";
  if (::sendto(socket.fd(), kRequest.data(), kRequest.size(), 0, reinterpret_cast<const sockaddr*>(&target),
               sizeof target) < 0) {
    result.error = "sending to " + AddressText(target) + ": " + std::strerror(errno);
    return result;
  }

  const auto deadline = std::chrono::steady_clock::now() + timeout;
  for (;;) {
    const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
    if (left.count() <= 0) break;
    pollfd entry{socket.fd(), POLLIN, 0};
    const int ready = ::poll(&entry, 1, static_cast<int>(left.count()));
    if (ready < 0 && errno == EINTR) continue;
    if (ready <= 0) break;
    char datagram[2048];
    sockaddr_in from{};
    socklen_t size = sizeof from;
    const ssize_t got = ::recvfrom(socket.fd(), datagram, sizeof datagram, 0, reinterpret_cast<sockaddr*>(&from), &size);
    if (got < 0 && errno == EINTR) continue;
    if (got < 0) break;
    const std::string address = AddressText(from);
    auto info = ParseServerInfo(std::string_view(datagram, static_cast<std::size_t>(got)), address);
    if (!info) continue;
    const bool known = std::any_of(result.servers.begin(), result.servers.end(),
                                   [&](const ServerInfo& server) { return server.address == address; });
    if (!known) result.servers.push_back(std::move(*info));
    if (from.sin_addr.s_addr == target.sin_addr.s_addr && from.sin_port == target.sin_port) break;
  }
  return result;
}

}  // namespace velmorin::client
