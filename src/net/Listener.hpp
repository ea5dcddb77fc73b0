#pragma once
// Listener: the listening TCP socket. Readiness reaches it straight from the event loop; it takes
// pending connections (several per readiness, so a burst does not wait a pass per client) and
// offers each to its owner as a ConnectionRequest, which a StreamSocket adopts.

#include <cstdint>
#include <memory>
#include <string>

#include "net/ConnectionRequest.hpp"
#include "net/SocketError.hpp"
#include "platform/EventLoop.hpp"

namespace velmorin {

class Listener;

// What a listener tells its owner. Every method has an empty default.
class ListenerEvents {
 public:
  virtual ~ListenerEvents() = default;
  // A connection was taken; StreamSocket::Accept adopts it, otherwise it is closed when the
  // handler returns.
  virtual void OnConnectionRequest(Listener&, ConnectionRequest&) {}
  // The listening socket failed; it listens no more.
  virtual void OnError(Listener&, const SocketError&) {}
};

class Listener {
 public:
  explicit Listener(ListenerEvents* events = nullptr);
  ~Listener();
  Listener(const Listener&) = delete;
  Listener& operator=(const Listener&) = delete;

  void SetEvents(ListenerEvents* events) { events_ = events; }

  // Listens on `port` (0: the system chooses) of `address` (every address when empty), closing
  // what listened before. A failure leaves it closed and says why.
  SocketError Listen(long port, const std::string& address = "");
  void Close();
  bool IsListening() const { return listening_; }
  // The port listened on; after a failed Listen, the port asked for.
  long LocalPort() const { return localPort_; }

  // Hands over a stream socket connected by other means (an in-process transport) as a
  // connection request, exactly as an accepted one. Takes ownership of fd: it is closed when the
  // handler does not accept it, or when nothing listens. Returns whether it was accepted.
  bool AdoptConnected(int fd, const std::string& remoteAddress, long remotePort);

 private:
  void OnReady(std::uint32_t events);
  bool Watch();
  // Takes one pending connection and raises its request event; false when none was taken.
  bool AcceptOne();
  // Raises the request event for a connected descriptor; closes it unless the handler took it.
  bool RaiseConnectionRequest(int fd, const std::string& address, long port);
  void PauseAccepting();
  void Fail(int code);

  ListenerEvents* events_ = nullptr;
  int socket_ = -1;
  EventLoop::WatchId watch_ = 0;
  EventLoop::TimerId acceptRetryTimer_ = 0;
  bool listening_ = false;
  long localPort_ = 0;
  // Expires when the instance is destroyed, so code that raised an event can tell.
  std::shared_ptr<char> alive_ = std::make_shared<char>();
};

}  // namespace velmorin
