#pragma once
// From the connect to the logged-in user: accepting a connection the listening socket took, the
// welcome, the login with its checks (protocol, account and password, guests, bans, the user
// limit), the wait for a taken nickname, and the login deadline.
//
// A login whose nickname is held (or awaited) by other connections waits: the holders are
// pinged, and when the wait is over (CompleteWaitingLogin, from the connection's reply timer)
// the login is taken if no holder still answers to the nickname, else refused as "used".
// Once every listed holder has answered its ping (HolderAnswered), the nickname is known to be
// taken and the login hears "used" at once; a holder that does not answer still keeps the
// login waiting until its own ping time-out has removed it.

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "chat/ConnectionHandler.hpp"
#include "chat/ConnectionRateLimit.hpp"
#include "chat/ConnectionTable.hpp"
#include "chat/RoomTable.hpp"
#include "chat/ServerMessages.hpp"
#include "chat/StatusHost.hpp"
#include "chat/UserListView.hpp"
#include "logging/LogWriter.hpp"
#include "net/ConnectionRequest.hpp"
#include "plugins/PluginEvents.hpp"

namespace velmorin {

class LoginService {
 public:
  struct Parts {
    ConnectionTable& table;
    const std::unique_ptr<RoomTable>& rooms;
    LogWriter& log;
    PluginEvents& events;
    ServerMessages& messages;
    StatusHost& status;
    UserListView& userList;
    ConnectionHandler& connections;
  };
  explicit LoginService(const Parts& parts);

  // The listening socket took a connection: address bans, the connection rate of its address,
  // the connection limit, a slot, the welcome.
  void Accept(ConnectionRequest& request);
  // The "login" packet; returns whether the reader goes on.
  bool Login(long index, const std::string& payload);
  // The wait for a taken nickname is over.
  void CompleteWaitingLogin(long index);
  // A logged-in connection answered a ping: the logins waiting for its nickname end with
  // "used" when all their holders have answered.
  void HolderAnswered(long index);
  void LoginDeadline(long index);
  // The logged-in users fill MaxUserCount: the server is full, and no further login is taken.
  bool UsersFillServer() const;

 private:
  void SendWelcome(long index);
  // `knownPassword`: the account's password when the caller has just read it; else it is read.
  void LoginUser(long index, const std::string& nickname, const std::string& proof, const std::string& color,
                 const std::string& clientVersion, std::optional<std::string> knownPassword = std::nullopt);
  void DenyUser(long index, const std::string& nickname);
  // The listed conflicts of a waiting login that still hold its nickname.
  std::vector<long> RemainingHolders(long index) const;

  ConnectionTable& table_;
  const std::unique_ptr<RoomTable>& rooms_;
  LogWriter& log_;
  PluginEvents& events_;
  ServerMessages& messages_;
  StatusHost& status_;
  UserListView& userList_;
  ConnectionHandler& connections_;
  ConnectionRateLimit connectionRate_;
};

}  // namespace velmorin
