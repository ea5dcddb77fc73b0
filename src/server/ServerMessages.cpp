// Packets the server sends on its own: server messages, pings, join and leave notices.

#include "server/clsServer.hpp"
#include "platform/Text.hpp"
#include "platform/modFilter.hpp"
#include "config/modSettings.hpp"

namespace velmorin {
namespace {

const char kNul = '\0';

}  // namespace

void clsServer::SendServerMsg(const std::string& text) {
  std::vector<long> targets;
  for (long index = 1; index <= MaxIndex(); ++index) {
    if (InUse(index)) targets.push_back(index);
  }
  SendCommandToEach(targets, "message", TrimBlanks(text));
}

void clsServer::SendPing(long index) {
  SendCommand(index, "ping", "");
  if (InUse(index)) table_.StartReplyTimer(index, ServerSettings.General.PingTimeout);
}

bool clsServer::HandlePing(long index, const std::string&) {
  SendCommand(index, "pong", "");
  return true;
}

bool clsServer::HandlePong(long index, const std::string&) {
  table_.StopReplyTimer(index);
  return true;
}

void clsServer::UserJoinedEvent(long index, long chatroomId) {
  const std::uint64_t serial = Record(index).Serial;
  const std::string room = chatrooms_->name(chatroomId);
  events_.UserStatus("userjoined", Record(index).Nickname + kNul + room);
  if (!SameConnection(index, serial) || chatrooms_->users(chatroomId) <= 1) return;
  const velmorin::Connection& record = Record(index);
  const std::string notice = record.Nickname + kNul + std::to_string(record.Color) + kNul + room + kNul +
                             BoolText(record.Away) + kNul + BoolText(record.ChatroomAdmin);
  // A copy: a failed send removes its recipient from the room while we walk it.
  std::vector<long> others = chatrooms_->members(chatroomId);
  std::erase(others, index);
  SendCommandToEach(others, "userJoined", notice);
}

void clsServer::UserLeftEvent(long index, long newChatroomId, long oldChatroomId, const std::string& reason) {
  const std::uint64_t serial = Record(index).Serial;
  const std::string nickname = Record(index).Nickname;
  const std::string oldRoom = chatrooms_->name(oldChatroomId);
  events_.UserStatus("userleft", nickname + kNul + oldRoom + kNul + reason);
  // Also reached while the user is being removed: the slot must still be this user's, and a
  // plugin may have rebuilt the room table.
  if (!table_.SlotHolds(index, serial) || chatrooms_->users(oldChatroomId) <= 1) return;
  const std::string notice = nickname + kNul + oldRoom + kNul + chatrooms_->name(newChatroomId) + kNul + reason;
  std::vector<long> others = chatrooms_->members(oldChatroomId);
  std::erase(others, index);
  SendCommandToEach(others, "userLeft", notice);
}

void clsServer::SetClientAwayState(long index, bool away) {
  if (InUse(index)) Record(index).Away = away;
}

void clsServer::SetClientChatroom(long index, long chatroomId) {
  if (InUse(index)) Record(index).ChatroomID = chatroomId;
}

void clsServer::SendCloseChatroom(long index, const std::string& roomName) {
  SendCommand(index, "closeChatroom", roomName);
}

}  // namespace velmorin
