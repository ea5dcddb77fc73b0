#pragma once
// The listening Unix domain socket of the administration (run/control.sock) and its
// connections, served on the event loop. It knows lines, not what they mean: each complete
// request line goes to the handler, and the handler's answers go out through Send.
//
// Every connection is bounded both ways, so a control client can neither block the loop nor
// make the server hold more than a few buffers for it:
//   - input: a line longer than maxRequestLine is answered once (OnOversizedLine) and the
//     connection is closed once that answer is out;
//   - output: Send never writes more than the kernel takes; the rest waits in the connection's
//     buffer, and a connection whose unsent output passes maxUnsentOutput is closed;
//   - at most maxConnections at a time; one more is given busyLine and closed at once;
//   - time: a connection that waits for requests and has sent no complete line for
//     requestTimeout is told (OnRequestTimeout) and closed, so silent clients cannot hold the
//     slots for ever; one the handler has made a listener (StopWaitingForRequests, a log
//     follower) keeps its slot for as long as it takes what is sent to it, and any connection
//     whose unsent output the peer has not taken a byte of for stalledOutputTimeout is closed.
// Sends are flushed at the end of the loop's pass, and closes caused by a Send happen then too,
// so Send never calls back into the handler.

#include <sys/types.h>

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>

#include <sys/types.h>

#include "platform/EventLoop.hpp"

namespace velmorin {

class ControlSocket {
 public:
  using ConnectionId = std::uint64_t;

  struct Limits {
    std::size_t maxRequestLine = 64 * 1024;
    std::size_t maxUnsentOutput = 1024 * 1024;
    std::size_t maxConnections = 16;
    std::chrono::milliseconds requestTimeout{10000};
    std::chrono::milliseconds stalledOutputTimeout{30000};
  };

  class Handler {
   public:
    virtual ~Handler() = default;
    virtual void OnOpened(ConnectionId /*connection*/) {}
    // One request line, without its line break (a final CR is cut too).
    virtual void OnLine(ConnectionId connection, std::string_view line) = 0;
    // The line being received passed the limit; what is sent now goes out before the close.
    virtual void OnOversizedLine(ConnectionId /*connection*/) {}
    // No request line came within the time-out; what is sent now goes out before the close.
    virtual void OnRequestTimeout(ConnectionId /*connection*/) {}
    virtual void OnClosed(ConnectionId /*connection*/) {}
  };

  ControlSocket(EventLoop& loop, Handler& handler, Limits limits);
  ~ControlSocket();
  ControlSocket(const ControlSocket&) = delete;
  ControlSocket& operator=(const ControlSocket&) = delete;

  // Listens at `path`, replacing whatever is there: the caller holds the instance lock, so a
  // socket file found there belongs to a server that is gone. The socket file gets mode 0600, or
  // 0660 and the group when one is given (the administrators' group). 0 or the errno of the
  // failed call.
  int Listen(const std::string& path, std::string busyLine = {}, std::optional<gid_t> group = std::nullopt);
  // Closes every connection and the listener and removes the socket file.
  void Close();
  bool Listening() const { return listenFd_ >= 0; }

  // Queues bytes for the connection. False when the connection is unknown or going.
  bool Send(ConnectionId connection, std::string_view bytes);
  // Closes the connection once what was queued has been sent (or could not be).
  void CloseAfterSending(ConnectionId connection);
  // The connection only receives from now on (a log follower): the request time-out no longer
  // applies to it, the stalled-output time-out still does.
  void StopWaitingForRequests(ConnectionId connection);
  std::size_t Unsent(ConnectionId connection) const;
  // The user id of the peer process, as the kernel told it at the connect (SO_PEERCRED);
  // nothing for an unknown connection or when the kernel did not tell.
  std::optional<uid_t> PeerUser(ConnectionId connection) const;
  std::size_t ConnectionCount() const { return connections_.size(); }
  const Limits& limits() const { return limits_; }

 private:
  using Clock = std::chrono::steady_clock;

  struct Connection {
    int fd = -1;
    std::optional<uid_t> peerUser;
    EventLoop::WatchId watch = 0;
    std::string input;
    std::string output;
    bool flushQueued = false;
    bool closing = false;   // no more input; closed when the output is out
    bool dropping = false;  // closed at the end of the pass, output or not
    bool waitingForRequests = true;
    Clock::time_point lastRequest;  // the connect, or the last complete request line
    Clock::time_point lastOutputProgress;  // output became pending, or the peer took some
  };

  void AcceptAll();
  void OnEvents(ConnectionId id, std::uint32_t events);
  void ReadFrom(ConnectionId id);
  void HandleLines(ConnectionId id);
  void Flush(ConnectionId id);
  void QueueFlush(ConnectionId id, Connection& connection);
  void Drop(ConnectionId id);
  Connection* Find(ConnectionId id);
  // Closes the connections whose time-outs have passed; the sweep runs while any is open.
  void Sweep();
  void StartSweep();
  void StopSweep();

  EventLoop& loop_;
  Handler& handler_;
  Limits limits_;
  std::string path_;
  std::string busyLine_;
  int listenFd_ = -1;
  EventLoop::WatchId listenWatch_ = 0;
  EventLoop::TimerId sweepTimer_ = 0;
  ConnectionId nextId_ = 1;
  std::unordered_map<ConnectionId, Connection> connections_;
  // Deferred work holds a weak reference, so it does nothing once the socket is gone.
  std::shared_ptr<ControlSocket*> self_;
};

}  // namespace velmorin
