#pragma once
// The control socket of the running server: takes request lines from ControlSocket, runs them
// through the ControlRegistry and answers each with one JSON line (admin/ControlProtocol).
// "log follow" is answered here: after its "done" the connection gets the last N lines of the
// log's backlog ("--lines N"), then every log line as it is written, until the client closes. A follower that reads too slowly loses lines instead of
// growing the server's memory; it is told how many before the next line it gets.
//
// Slots are kept for the administrator: a connection that sends no request for the socket's
// request time-out is told so and closed, and at most half of the slots may follow the log
// (a follower keeps its slot while it reads; one that stops reading is closed by the socket).

#include <cstddef>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "admin/ControlRegistry.hpp"
#include "logging/LogFeed.hpp"
#include "net/ControlSocket.hpp"

namespace velmorin {

class ControlServer : private ControlSocket::Handler {
 public:
  ControlServer(EventLoop& loop, const ControlRegistry& registry, LogFeed& feed, std::string version,
                ControlSocket::Limits limits = {});
  ~ControlServer() override;
  ControlServer(const ControlServer&) = delete;
  ControlServer& operator=(const ControlServer&) = delete;

  // Listens at the path, for the administrators' group too when one is given (see
  // ControlSocket::Listen). 0 or the errno.
  int Open(const std::string& path, std::optional<gid_t> adminGroup = std::nullopt);
  // Closes every connection and removes the socket file.
  void Close();
  std::size_t ConnectionCount() const { return socket_.ConnectionCount(); }

  // Hears every request that was run (not "log follow") with the peer's user id and the answer:
  // the audit trail of the control socket.
  using AuditHook = std::function<void(std::optional<uid_t> peerUser, const std::vector<std::string>& words,
                                       const ControlReply& reply)>;
  void SetAudit(AuditHook hook) { audit_ = std::move(hook); }

 private:
  struct Follower {
    LogFeed::ListenerId listener = 0;
    std::size_t dropped = 0;
    std::size_t backlog = 0;  // lines of the backlog still to send after the reply
  };

  void OnOpened(ControlSocket::ConnectionId connection) override;
  void OnLine(ControlSocket::ConnectionId connection, std::string_view line) override;
  void OnOversizedLine(ControlSocket::ConnectionId connection) override;
  void OnRequestTimeout(ControlSocket::ConnectionId connection) override;
  void OnClosed(ControlSocket::ConnectionId connection) override;

  void Audit(ControlSocket::ConnectionId connection, const std::vector<std::string>& words, const ControlReply& reply);
  ControlReply Follow(ControlSocket::ConnectionId connection, const std::vector<std::string>& words);
  void SendBacklog(ControlSocket::ConnectionId connection);
  void SendLogLine(ControlSocket::ConnectionId connection, std::optional<LogMessageType> type, long color,
                   const std::string& line);

  const ControlRegistry& registry_;
  LogFeed& feed_;
  std::string version_;
  ControlSocket socket_;
  std::unordered_map<ControlSocket::ConnectionId, Follower> followers_;
  AuditHook audit_;
};

}  // namespace velmorin
