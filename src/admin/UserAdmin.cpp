#include "admin/UserAdmin.hpp"

#include <algorithm>
#include <utility>

#include "codec/WireFormat.hpp"
#include "config/TextFilters.hpp"
#include "platform/Text.hpp"
#include "server/ChatServer.hpp"
#include "server/PluginCommands.hpp"

namespace velmorin {
namespace {

constexpr const char* kEditorSection = "frmSendServerMsg";

}  // namespace

std::vector<UserRow> UserAdmin::Users() {
  ConnectionTable& table = server_.Connections();
  std::vector<UserRow> rows;
  for (long index = 1; index <= table.MaxIndex(); ++index) {
    if (!table.InUse(index) || table.At(index).nickname.empty()) continue;
    const Connection& user = table.At(index);
    UserRow row;
    row.id = index;
    row.nickname = user.nickname;
    if (user.chatroomId >= 0) row.chatroom = server_.Chatrooms().Name(user.chatroomId);
    if (const StreamSocket* socket = table.Socket(index)) row.address = socket->RemoteHostIP();
    row.clientVersion = user.clientVersion;
    rows.push_back(std::move(row));
  }
  return rows;
}

AdminResult UserAdmin::Disconnect(const std::string& nickname, const std::string& reason) {
  const std::string why = TrimBlanks(reason);
  if (why.size() > kMaxKickReasonLength) {
    return AdminResult::Refused("textTooLong",
                                "The reason is longer than " + std::to_string(kMaxKickReasonLength) + " bytes.");
  }
  // Control characters would split the fields the reason travels in.
  if (std::any_of(why.begin(), why.end(), [](char c) { return static_cast<unsigned char>(c) < 0x20; })) {
    return AdminResult::Refused("invalidValue", "The reason contains a control character.");
  }
  ConnectionTable& table = server_.Connections();
  const long index = table.GetUserID(nickname);
  if (index < 0) return Notice("noticePersonDoesNotExist");
  const std::string found = table.At(index).nickname;
  // The audit line of the administrator's action names the reason; the kick needs no line of its own.
  TellDisconnected(index, why);
  // A send that failed has removed the user already, which is the same end.
  server_.Commands().RunForAdministration("KickUser", found, why);
  return AdminResult::Done(found + " was disconnected" + (why.empty() ? "." : " (reason: " + why + ")."));
}

void UserAdmin::TellDisconnected(long index, const std::string& reason) {
  ConnectionTable& table = server_.Connections();
  const std::uint64_t serial = table.At(index).serial;
  const std::string text =
      ReplaceAll(server_.Language().Data(reason.empty() ? "msgKicked" : "msgKickedReason"), "%reason", reason);
  table.SendCommand(index, "message", std::string("server") + kFieldSeparator + text);
  if (!table.SameConnection(index, serial)) return;
  const Connection& user = table.At(index);
  const std::string room = user.chatroomId >= 0 ? server_.Chatrooms().Name(user.chatroomId) : std::string();
  table.SendCommand(index, "userLeft",
                    user.nickname + kFieldSeparator + room + kFieldSeparator + kFieldSeparator + reason);
}

AdminResult UserAdmin::SendToAll(const std::string& text) {
  std::string trimmed;
  if (AdminResult checked = CheckText(text, trimmed); !checked.ok()) return checked;
  // The plugin interface's empty recipient list is every logged-in user.
  return Send("", trimmed, "Server message sent to every logged-in user.");
}

AdminResult UserAdmin::SendToUser(const std::string& nickname, const std::string& text) {
  std::string trimmed;
  if (AdminResult checked = CheckText(text, trimmed); !checked.ok()) return checked;
  const long index = server_.Connections().GetUserID(nickname);
  if (index < 0) return Notice("noticePersonDoesNotExist");
  const std::string found = server_.Connections().At(index).nickname;
  return Send(found, trimmed, "Server message sent to " + found + ".");
}

AdminResult UserAdmin::SendToRoom(const std::string& room, const std::string& text) {
  std::string trimmed;
  if (AdminResult checked = CheckText(text, trimmed); !checked.ok()) return checked;
  const RoomTable& rooms = server_.Chatrooms();
  const long id = rooms.GetChatroomID(room);
  if (id < 0) return Notice("noticeChatroomDoesNotExist");
  // The members' nicknames joined by SOH, as the plugin interface names recipients.
  const std::string members = server_.Commands().RunForAdministration("GetUserList", rooms.Name(id), "");
  if (members.empty()) return Notice("noticeChatroomEmpty");
  return Send(members, trimmed, "Server message sent to the members of " + rooms.Name(id) + ".");
}

AdminResult UserAdmin::CheckText(const std::string& text, std::string& trimmed) const {
  trimmed = TrimBlanks(text);
  if (trimmed.empty()) return AdminResult::Refused("emptyText", "The message is empty; nothing was sent.");
  if (trimmed.size() > kMaxServerMessageLength) {
    return AdminResult::Refused("textTooLong", "The message is longer than " +
                                                   std::to_string(kMaxServerMessageLength) + " bytes.");
  }
  // A NUL would end the text field early and make the rest a field of its own.
  if (trimmed.find('\0') != std::string::npos) {
    return AdminResult::Refused("invalidValue", "The message contains a NUL character.");
  }
  return AdminResult::Done();
}

AdminResult UserAdmin::Send(const std::string& recipients, const std::string& text, const std::string& done) {
  const std::string result = server_.Commands().RunForAdministration("SendMessage", recipients, text);
  if (result == "sent") return AdminResult::Done(done);
  if (recipients.empty()) return AdminResult::Refused("nobodyLoggedIn", "Nobody is logged in; nothing was sent.");
  // The recipients left between the look-up and the send.
  return Notice("noticePersonDoesNotExist");
}

AdminResult UserAdmin::Notice(const std::string& key) const {
  return AdminResult::Refused(key, server_.Language().Data(key, kEditorSection));
}

}  // namespace velmorin
