#pragma once
// Packets the server sends on its own: server messages, pings and their answers, the notices
// of a user joining or leaving a room, and what removing a room tells its members.

#include <memory>
#include <string>

#include "chat/ChatroomOperations.hpp"
#include "chat/ConnectionTable.hpp"
#include "chat/RoomTable.hpp"
#include "plugins/PluginEvents.hpp"

namespace velmorin {

class ServerMessages : public ChatroomMemberHost {
 public:
  // `rooms` is the live room table, replaced each time the server goes offline.
  ServerMessages(ConnectionTable& table, const std::unique_ptr<RoomTable>& rooms, PluginEvents& events);

  // The text, trimmed, to every connection.
  void SendServerMsg(const std::string& text);
  // A ping, and the connection's reply timer started.
  void SendPing(long index);
  // The ping cycle: every connection that is neither waiting for a nickname nor closing.
  void PingEveryConnection();
  bool HandlePing(long index, const std::string& payload);
  bool HandlePong(long index, const std::string& payload);

  // The plugins hear of it, then the other members of the room.
  void UserJoinedEvent(long index, long chatroomId);
  void UserLeftEvent(long index, long newChatroomId, long oldChatroomId, const std::string& reason);

  // What removing a room does to its members.
  void SetClientAwayState(long index, bool away) override;
  void SetClientChatroom(long index, long chatroomId) override;
  void SendCloseChatroom(long index, const std::string& roomName) override;

 private:
  ConnectionTable& table_;
  const std::unique_ptr<RoomTable>& rooms_;
  PluginEvents& events_;
};

}  // namespace velmorin
