#pragma once
// DatagramSocket: a bound UDP socket (LAN discovery). Readiness reaches it straight from the
// event loop; each datagram is handed to its owner with its sender, and a reply goes out at once
// as a datagram of its own.

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "net/SocketError.hpp"
#include "platform/EventLoop.hpp"

namespace velmorin {

class DatagramSocket;

// What a datagram socket tells its owner. Every method has an empty default.
class DatagramEvents {
 public:
  virtual ~DatagramEvents() = default;
  // One datagram that is not empty; the view is valid during the call only.
  virtual void OnDatagram(DatagramSocket&, std::string_view /*datagram*/, const std::string& /*senderAddress*/,
                          long /*senderPort*/) {}
  // The socket failed; it is silent from now on.
  virtual void OnError(DatagramSocket&, const SocketError&) {}
};

class DatagramSocket {
 public:
  explicit DatagramSocket(DatagramEvents* events = nullptr);
  ~DatagramSocket();
  DatagramSocket(const DatagramSocket&) = delete;
  DatagramSocket& operator=(const DatagramSocket&) = delete;

  // Binds `port` (0: the system chooses) of `address` (every address when empty) and starts
  // receiving. Once only (40006 for a second Bind); 6 (overflow) for a port above 65535.
  SocketError Bind(long port, const std::string& address = "");
  // Sends one datagram at once; one the system has no room for now is dropped, as a busy
  // network would drop it. Broadcasting is allowed exactly for broadcast addresses. Any other
  // failure fails the socket: returned, and raised as OnError. Nothing is sent once it failed.
  SocketError SendTo(const std::string& address, long port, std::string_view datagram);
  void Close();

  bool Failed() const { return failed_; }
  // The bound port; 0 before Bind.
  long LocalPort() const { return localPort_; }

  // UDP over IPv4: 65535 minus the IP and UDP headers.
  static constexpr std::size_t kMaxDatagram = 65507;

 private:
  void OnReady(std::uint32_t events);
  SocketError Fail(int code, const char* source);

  DatagramEvents* events_ = nullptr;
  int socket_ = -1;
  EventLoop::WatchId watch_ = 0;
  bool bound_ = false;
  bool failed_ = false;
  bool broadcastEnabled_ = false;
  long localPort_ = 0;
  std::vector<char> datagram_;  // room for the largest datagram, taken on the first receive
};

}  // namespace velmorin
