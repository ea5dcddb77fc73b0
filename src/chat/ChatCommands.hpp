#pragma once
// The commands of a client: dispatch by command word, and the chat and chatroom commands of a
// logged-in client (messages, client state and colour, room and user lists, joining, creating
// and leaving). The login goes to the LoginService, pings to the ServerMessages, and the other
// commands to the AuxiliaryCommands; before the login only "login" is answered.

#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

#include "chat/AuxiliaryCommands.hpp"
#include "chat/ConnectionHandler.hpp"
#include "chat/ConnectionTable.hpp"
#include "chat/LoginService.hpp"
#include "chat/PacketHandler.hpp"
#include "chat/RoomTable.hpp"
#include "chat/ServerMessages.hpp"
#include "chat/UserListView.hpp"
#include "logging/LogWriter.hpp"
#include "plugins/PluginEvents.hpp"

namespace velmorin {

class ChatCommands : public PacketHandler {
 public:
  struct Parts {
    ConnectionTable& table;
    const std::unique_ptr<RoomTable>& rooms;
    LogWriter& log;
    PluginEvents& events;
    ServerMessages& messages;
    LoginService& login;
    AuxiliaryCommands& auxiliary;
    UserListView& userList;
    ConnectionHandler& connections;
  };
  explicit ChatCommands(const Parts& parts);

  bool Dispatch(long index, const std::string& command, const std::string& payload) override;

 private:
  // A handler of a logged-in client's command; returns whether the reader goes on.
  using Handler = bool (*)(ChatCommands& commands, long index, const std::string& payload);
  static const std::unordered_map<std::string, Handler>& Handlers();

  bool HandleMessage(long index, const std::string& payload);
  bool HandleSetClientState(long index, const std::string& payload);
  bool HandleSetColor(long index, const std::string& payload);
  bool HandleGetChatroomlist(long index, const std::string& payload);
  bool HandleGetUserlist(long index, const std::string& payload);
  bool HandleJoinChatroom(long index, const std::string& payload);
  bool HandleCreateChatroom(long index, const std::string& payload);
  bool HandleQuit(long index, const std::string& payload);

  // Moves a user into a room it is not in yet: leave notice and membership of the old room,
  // the new room and administrator flag, then join notice.
  void EnterChatroom(long index, long chatroomId);
  // The members of the user's room (a copy), or none.
  std::vector<long> RoomMembersOf(long index) const;

  ConnectionTable& table_;
  const std::unique_ptr<RoomTable>& rooms_;
  LogWriter& log_;
  PluginEvents& events_;
  ServerMessages& messages_;
  LoginService& login_;
  AuxiliaryCommands& auxiliary_;
  UserListView& userList_;
  ConnectionHandler& connections_;
};

}  // namespace velmorin
