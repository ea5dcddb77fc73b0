#pragma once
// The chat layer as one part: the services that serve the clients of the connection table
// (login, chat and room commands, auxiliary commands, server-originated messages), the live room
// table, and the end of a connection. The server layer owns one, with the table, and gives it the
// log, the plugin events and running plugins, and the two small views of itself the chat layer
// needs (StatusHost, UserListView).
//
// Re-entrancy: see ConnectionTable. Every service re-checks a connection's Serial after a call
// out, and RemoveUser leaves CountsAgreeWithTable true once the slot is released.

#include <functional>
#include <memory>
#include <string>

#include "chat/AuxiliaryCommands.hpp"
#include "chat/ChatCommands.hpp"
#include "chat/ConnectionHandler.hpp"
#include "chat/ConnectionTable.hpp"
#include "chat/LoginService.hpp"
#include "chat/RoomTable.hpp"
#include "chat/ServerMessages.hpp"
#include "chat/StatusHost.hpp"
#include "chat/UserListView.hpp"
#include "i18n/LanguageFile.hpp"
#include "logging/LogWriter.hpp"
#include "plugins/PluginEvents.hpp"
#include "plugins/PluginRegistry.hpp"

namespace velmorin {

class ChatService : public ConnectionHandler {
 public:
  struct Parts {
    ConnectionTable& table;
    LogWriter& log;
    PluginEvents& events;
    const PluginObjects& plugins;
    const LanguageFile& language;
    StatusHost& status;
    UserListView& userList;
  };
  // Becomes the table's packet and connection handler.
  explicit ChatService(const Parts& parts);
  ChatService(const ChatService&) = delete;
  ChatService& operator=(const ChatService&) = delete;

  void RemoveUser(long index, const RemovalOptions& options) override;
  void ReplyTimeout(long index) override;
  void LoginDeadline(long index) override;

  // The live room table, empty until the first ResetRooms.
  RoomTable& Rooms() { return *rooms_; }
  // The owner of the live table, for the parts that must see each replacement.
  const std::unique_ptr<RoomTable>& LiveRooms() const { return rooms_; }
  // A new table, loaded from the room store, replaces the live one; `onChange` hears of every
  // later change to it. The old table outlives the reset by one round: a plugin command working
  // on it may have reached the reset from inside its own call.
  void ResetRooms(std::function<void()> onChange);

  LoginService& Login() { return login_; }
  const LoginService& Login() const { return login_; }
  ServerMessages& Messages() { return messages_; }

 private:
  ConnectionTable& table_;
  std::unique_ptr<RoomTable> rooms_;  // before the services, which keep a reference to it
  std::unique_ptr<RoomTable> retiredRooms_;  // the table before the last reset
  LogWriter& log_;
  PluginEvents& events_;
  StatusHost& status_;
  UserListView& userList_;
  ServerMessages messages_;
  LoginService login_;
  AuxiliaryCommands auxiliary_;
  ChatCommands commands_;
};

}  // namespace velmorin
