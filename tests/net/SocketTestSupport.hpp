#pragma once
// Helpers for socket tests: an event recorder and bounded runs of the main loop.

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "net/DatagramSocket.hpp"
#include "net/Listener.hpp"
#include "net/StreamSocket.hpp"
#include "platform/EventLoop.hpp"

namespace velmorin::testing {

// Runs the main loop until the condition holds or the time is up; returns the condition.
inline bool RunUntil(const std::function<bool()>& condition, int timeoutMs = 3000) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
  while (!condition()) {
    if (std::chrono::steady_clock::now() >= deadline) return false;
    MainLoop().RunOnce(10);
  }
  return true;
}

// Runs the main loop for a while, for checks that something does not happen.
inline void RunFor(int milliseconds) {
  RunUntil([] { return false; }, milliseconds);
}

// Records every event of the sockets it is attached to, as short texts.
struct EventRecorder : StreamSocketEvents, ListenerEvents, DatagramEvents {
  std::vector<std::string> events;
  std::vector<StreamState> statesAtClose;
  std::function<void(Listener&, ConnectionRequest&)> onRequest;
  std::function<void(StreamSocket&)> onData;

  void OnClose(StreamSocket& socket) override {
    statesAtClose.push_back(socket.State());
    events.push_back("close");
  }
  void OnConnectionRequest(Listener& listener, ConnectionRequest& request) override {
    events.push_back("request");
    if (onRequest) onRequest(listener, request);
  }
  // With what the socket holds at that moment.
  void OnDataArrival(StreamSocket& socket) override {
    events.push_back("data:" + std::to_string(socket.BytesReceived()));
    if (onData) onData(socket);
  }
  void OnError(StreamSocket&, const SocketError& error) override { Error(error); }
  void OnError(Listener&, const SocketError& error) override { Error(error); }
  void OnError(DatagramSocket&, const SocketError& error) override { Error(error); }
  void OnSendComplete(StreamSocket&) override { events.push_back("complete"); }
  // With what the socket still holds to send.
  void OnSendProgress(StreamSocket& socket, long sent) override {
    events.push_back("progress:" + std::to_string(sent) + "," + std::to_string(socket.BytesToSend()));
  }
  void OnDatagram(DatagramSocket&, std::string_view datagram, const std::string& sender, long) override {
    events.push_back("datagram:" + std::string(datagram) + " from " + sender);
  }
  bool Has(const std::string& event) const {
    for (const std::string& e : events) {
      if (e == event) return true;
    }
    return false;
  }

 private:
  void Error(const SocketError& error) { events.push_back("error:" + std::to_string(error.number)); }
};

// A plain blocking-free POSIX TCP client for playing the peer.
struct RawClient {
  int fd = -1;
  explicit RawClient(long port, int receiveBuffer = 0) {
    fd = ::socket(AF_INET, SOCK_STREAM, 0);
    if (receiveBuffer > 0) ::setsockopt(fd, SOL_SOCKET, SO_RCVBUF, &receiveBuffer, sizeof receiveBuffer);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(static_cast<std::uint16_t>(port));
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address);
  }
  ~RawClient() { Close(); }
  void Close() {
    if (fd >= 0) ::close(fd);
    fd = -1;
  }
  void Send(const std::string& data) const { ::send(fd, data.data(), data.size(), MSG_NOSIGNAL); }
  // Reads what arrives within the time; "" on end of stream or nothing.
  std::string Receive(int timeoutMs = 2000) const {
    pollfd entry{fd, POLLIN, 0};
    if (::poll(&entry, 1, timeoutMs) <= 0) return {};
    char buffer[65536];
    const ssize_t n = ::recv(fd, buffer, sizeof buffer, MSG_DONTWAIT);
    return n > 0 ? std::string(buffer, static_cast<std::size_t>(n)) : std::string();
  }
  // True when the peer closed the connection within the time.
  bool SeesEndOfStream(int timeoutMs = 2000) const {
    pollfd entry{fd, POLLIN, 0};
    if (::poll(&entry, 1, timeoutMs) <= 0) return false;
    char byte;
    return ::recv(fd, &byte, 1, MSG_DONTWAIT) == 0;
  }
};

}  // namespace velmorin::testing
