#pragma once
// The server end of one connection, played by a test on 127.0.0.1: it writes what the client
// should receive and reads what the client sends, every wait bounded.

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "client/PacketDecoder.hpp"
#include "codec/PacketWriter.hpp"

namespace velmorin::testing {

class ScriptedServer {
 public:
  explicit ScriptedServer(std::chrono::milliseconds bound = std::chrono::milliseconds(3000)) : bound_(bound) {
    listener_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ::bind(listener_, reinterpret_cast<sockaddr*>(&address), sizeof address);
    ::listen(listener_, 4);
    socklen_t size = sizeof address;
    ::getsockname(listener_, reinterpret_cast<sockaddr*>(&address), &size);
    port_ = ntohs(address.sin_port);
  }
  ~ScriptedServer() {
    CloseConnection();
    ::close(listener_);
  }
  ScriptedServer(const ScriptedServer&) = delete;
  ScriptedServer& operator=(const ScriptedServer&) = delete;

  std::uint16_t Port() const { return port_; }

  bool Accept() {
    pollfd entry{listener_, POLLIN, 0};
    if (::poll(&entry, 1, static_cast<int>(bound_.count())) != 1) return false;
    connection_ = ::accept4(listener_, nullptr, nullptr, SOCK_CLOEXEC);
    return connection_ >= 0;
  }
  void Send(std::string_view command, std::string_view payload) { Write(FramePacket(command, payload)); }
  void Write(const std::string& bytes) { (void)!::send(connection_, bytes.data(), bytes.size(), MSG_NOSIGNAL); }
  // The next packet from the client; nothing when none arrives within the bound.
  std::optional<client::Packet> ReadPacket() {
    for (;;) {
      if (auto packet = decoder_.Pop()) return packet;
      pollfd entry{connection_, POLLIN, 0};
      if (::poll(&entry, 1, static_cast<int>(bound_.count())) != 1) return std::nullopt;
      char chunk[4096];
      const ssize_t got = ::recv(connection_, chunk, sizeof chunk, 0);
      if (got <= 0) return std::nullopt;
      decoder_.Feed(std::string_view(chunk, static_cast<std::size_t>(got)));
    }
  }
  void CloseConnection() {
    if (connection_ >= 0) ::close(connection_);
    connection_ = -1;
  }

 private:
  std::chrono::milliseconds bound_;
  int listener_ = -1;
  int connection_ = -1;
  std::uint16_t port_ = 0;
  client::PacketDecoder decoder_;
};

}  // namespace velmorin::testing
