#pragma once
// The whole server core in this process, for the fuzz targets: a temporary program directory
// (language file, settings, accounts, rooms, ban rules; no plugins), the server online, and up
// to kConnections clients whose connections are socket pairs handed to the core as accepted
// connections. Nothing goes through TCP, and the event loop runs only when asked, without
// blocking, so one input takes well under a millisecond.
//
//   InProcessServer& core = InProcessServer::Instance();   set up on first use, kept for good
//   core.Send(2, bytes);        client 2 (connected first when it is not) sends the bytes
//   core.RunUntilIdle();        the loop runs until nothing is ready; replies are read and dropped
//   core.LetTimePass();         the loop runs a few milliseconds: ping time-outs fall due
//   core.CheckInvariants();     the counters agree with the connection table
//   core.Reset();               every connection removed and closed, the table checked empty
//
// The set-up is fixed: guests allowed, at most kMaxUsers users, a ping cycle every second, a ping
// time-out of kPingTimeoutMs, rooms "Lobby" (standard) and "Vault" (password "secret"), accounts
// "Keeper" (password "secret"), "Opal" (no password) and "Sleeper" (inactive), bans on the
// nickname "BadGuy", the part "evil" and the addresses 10.9.*.* (client 7 connects from
// 10.9.0.7, the others from 127.0.0.x).

#include <chrono>
#include <cstddef>
#include <memory>
#include <string_view>

#include "server/ChatServer.hpp"

namespace velmorin::testing {
class TempProgramDir;
}

namespace velmorin::fuzz {

class InProcessServer {
 public:
  static constexpr int kConnections = 8;
  static constexpr long kMaxUsers = 5;
  static constexpr long kPingTimeoutMs = 1;
  static constexpr std::chrono::milliseconds kTimePassing{kPingTimeoutMs + 1};

  static InProcessServer& Instance();

  // Connects the client when it has no connection; false when the server refused it.
  bool Connect(int client);
  bool Connected(int client) const { return clients_[client] != -1; }
  // Writes the bytes (connecting first when needed); the loop runs whenever the socket pair is
  // full. Bytes for a connection the server has ended are dropped.
  void Send(int client, std::string_view bytes);
  // The client closes its end; with writesOnly, it only stops sending (the server may answer).
  void Close(int client, bool writesOnly = false);
  // Runs loop passes until one does nothing and no reply is left unread (bounded).
  void RunUntilIdle();
  // Runs the loop for kTimePassing, so that every ping time-out started before is due.
  void LetTimePass();
  void CheckInvariants();
  // Removes every connection and runs the loop until every socket of them is gone.
  void Reset();

  ChatServer& server() { return *server_; }

 private:
  explicit InProcessServer(testing::TempProgramDir& dir);
  // Reads and drops what the server sent each client; a client whose connection the server
  // closed closes its end. True when anything was read.
  bool DrainReplies();

  testing::TempProgramDir* dir_;
  std::unique_ptr<AdminFrontEnd> frontEnd_;
  std::unique_ptr<ChatServer> server_;
  long permanentRooms_ = 0;
  int clients_[kConnections];
};

}  // namespace velmorin::fuzz
