// The chat services put together, the resets of the live room table, and the end of a connection.

#include "chat/ChatService.hpp"

#include <utility>

#include "chat/ChatroomOperations.hpp"

namespace velmorin {

ChatService::ChatService(const Parts& parts)
    : table_(parts.table),
      rooms_(std::make_unique<RoomTable>()),
      log_(parts.log),
      events_(parts.events),
      status_(parts.status),
      userList_(parts.userList),
      messages_(parts.table, rooms_, parts.events),
      login_({parts.table, rooms_, parts.log, parts.events, messages_, parts.status, parts.userList, *this}),
      auxiliary_({parts.table, rooms_, parts.log, parts.events, parts.plugins, parts.language}),
      commands_({parts.table, rooms_, parts.log, parts.events, messages_, login_, auxiliary_, parts.userList,
                 *this}) {
  table_.SetHandlers(commands_, *this);
}

void ChatService::ResetRooms(std::function<void()> onChange) {
  retiredRooms_ = std::move(rooms_);
  rooms_ = std::make_unique<RoomTable>();
  rooms_->SetChangeCallback(std::move(onChange));
  LoadChatrooms(*rooms_);
}

void ChatService::RemoveUser(long index, const RemovalOptions& options) {
  if (!table_.InUse(index) || table_.At(index).Closing()) return;
  // From here the connection is closing: a second RemoveUser of the slot, from inside one of
  // the calls below, does nothing.
  const std::uint64_t serial = table_.At(index).serial;
  table_.At(index).StartClosing();
  // Front end, plugins and sends below may re-enter the server; a plugin may even take it
  // offline, which rebuilds the table. After each call out the slot is checked again, and once
  // it is no longer this connection's, the rest of the removal was done by the rebuild.
  userList_.UserListRemove(index);
  if (!table_.SlotHolds(index, serial)) return;
  table_.ForgetEncryption(index);
  if (!table_.SlotHolds(index, serial)) return;
  StreamSocket* socket = table_.At(index).Socket();
  if (socket != nullptr && (socket->State() == StreamState::Connected || socket->State() == StreamState::Failed)) {
    const std::string peer = table_.PeerNotLoggedIn(index);
    socket->CloseSocket();
    log_.Log(LogMessageType::Disconnected, {{"%id", std::to_string(index)}, {"%peer", peer}});
    if (!table_.SlotHolds(index, serial)) return;
  }
  const long room = table_.At(index).chatroomId;
  if (room > -1) {
    if (options.tellRoom) messages_.UserLeftEvent(index, -1, room, options.reason);
    if (!table_.SlotHolds(index, serial)) return;
    rooms_->RemoveUser(room, index);
    table_.At(index).chatroomId = -1;
  }
  const std::string nickname = table_.At(index).nickname;
  if (!nickname.empty()) {
    events_.UserStatus("userloggedout", nickname + '\0' + (options.byError ? "1" : "0"));
    if (!table_.SlotHolds(index, serial)) return;
  }
  table_.Release(index);
  status_.RefreshStatus();
}

void ChatService::ReplyTimeout(long index) {
  if (!table_.InUse(index)) return;
  if (table_.At(index).WaitingForNickname()) {
    login_.CompleteWaitingLogin(index);
    return;
  }
  log_.Log(LogMessageType::PingTimeout, {{"%id", std::to_string(index)}, {"%peer", table_.PeerNotLoggedIn(index)}});
  RemoveUser(index, {.reason = "Timeout", .tellRoom = true, .byError = true});
}

void ChatService::LoginDeadline(long index) { login_.LoginDeadline(index); }

}  // namespace velmorin
