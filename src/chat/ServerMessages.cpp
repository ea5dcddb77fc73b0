// Packets the server sends on its own: server messages, pings, join and leave notices.

#include "chat/ServerMessages.hpp"

#include <algorithm>

#include "codec/WireFormat.hpp"
#include "config/Settings.hpp"
#include "config/TextFilters.hpp"
#include "platform/Text.hpp"

namespace velmorin {
ServerMessages::ServerMessages(ConnectionTable& table, const std::unique_ptr<RoomTable>& rooms,
                               PluginEvents& events)
    : table_(table), rooms_(rooms), events_(events) {}

void ServerMessages::SendServerMsg(const std::string& text) {
  std::vector<long> targets;
  for (long index = 1; index <= table_.MaxIndex(); ++index) {
    if (table_.InUse(index)) targets.push_back(index);
  }
  table_.SendCommandToEach(targets, "message", TrimBlanks(text));
}

void ServerMessages::SendPing(long index) {
  table_.SendCommand(index, "ping", "");
  if (table_.InUse(index)) table_.StartReplyTimer(index, ServerSettings.General.PingTimeout);
}

void ServerMessages::PingEveryConnection() {
  for (long index = 1; index <= table_.MaxIndex(); ++index) {
    if (!table_.InUse(index)) continue;
    const Connection& connection = table_.At(index);
    if (!connection.WaitingForNickname() && !connection.Closing()) SendPing(index);
  }
}

bool ServerMessages::HandlePing(long index, const std::string&) {
  table_.SendCommand(index, "pong", "");
  return true;
}

bool ServerMessages::HandlePong(long index, const std::string&) {
  table_.StopReplyTimer(index);
  return true;
}

void ServerMessages::UserJoinedEvent(long index, long chatroomId) {
  const std::uint64_t serial = table_.At(index).serial;
  const std::string room = rooms_->Name(chatroomId);
  events_.UserStatus("userjoined", table_.At(index).nickname + kFieldSeparator + room);
  if (!table_.SameConnection(index, serial) || rooms_->MemberCount(chatroomId) <= 1) return;
  const Connection& user = table_.At(index);
  const std::string notice = user.nickname + kFieldSeparator + std::to_string(user.color) + kFieldSeparator + room + kFieldSeparator +
                             BoolText(user.away) + kFieldSeparator + BoolText(user.chatroomAdmin);
  // A copy: a failed send removes its recipient from the room while we walk it.
  std::vector<long> others = rooms_->Members(chatroomId);
  std::erase(others, index);
  table_.SendCommandToEach(others, "userJoined", notice);
}

void ServerMessages::UserLeftEvent(long index, long newChatroomId, long oldChatroomId, const std::string& reason) {
  const std::uint64_t serial = table_.At(index).serial;
  const std::string nickname = table_.At(index).nickname;
  const std::string oldRoom = rooms_->Name(oldChatroomId);
  events_.UserStatus("userleft", nickname + kFieldSeparator + oldRoom + kFieldSeparator + reason);
  // Also reached while the user is being removed: the slot must still be this user's, and a
  // plugin may have rebuilt the room table.
  if (!table_.SlotHolds(index, serial) || rooms_->MemberCount(oldChatroomId) <= 1) return;
  const std::string notice = nickname + kFieldSeparator + oldRoom + kFieldSeparator + rooms_->Name(newChatroomId) + kFieldSeparator + reason;
  std::vector<long> others = rooms_->Members(oldChatroomId);
  std::erase(others, index);
  table_.SendCommandToEach(others, "userLeft", notice);
}

void ServerMessages::SetClientAwayState(long index, bool away) {
  if (table_.InUse(index)) table_.At(index).away = away;
}

void ServerMessages::SetClientChatroom(long index, long chatroomId) {
  if (table_.InUse(index)) table_.At(index).chatroomId = chatroomId;
}

void ServerMessages::SendCloseChatroom(long index, const std::string& roomName) {
  table_.SendCommand(index, "closeChatroom", roomName);
}

}  // namespace velmorin
