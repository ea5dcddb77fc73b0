#include "admin/UserAdmin.hpp"

#include <utility>

#include "platform/modFilter.hpp"
#include "server/PluginCommands.hpp"
#include "server/clsServer.hpp"

namespace velmorin {
namespace {

constexpr const char* kEditorSection = "frmSendServerMsg";

}  // namespace

std::vector<UserRow> UserAdmin::Users() {
  ConnectionTable& table = server_.Connections();
  std::vector<UserRow> rows;
  for (long index = 1; index <= table.MaxIndex(); ++index) {
    if (!table.InUse(index) || table.At(index).Nickname.empty()) continue;
    const Connection& user = table.At(index);
    UserRow row;
    row.id = index;
    row.nickname = user.Nickname;
    if (user.ChatroomID >= 0) row.chatroom = server_.Chatrooms().name(user.ChatroomID);
    if (ctlSocket* socket = table.Socket(index)) row.address = socket->RemoteHostIP();
    row.clientVersion = user.ClientVersion;
    rows.push_back(std::move(row));
  }
  return rows;
}

AdminResult UserAdmin::Disconnect(const std::string& nickname) {
  if (server_.Commands().RunForAdministration("KickUser", nickname, "") != "kicked") {
    return Notice("noticePersonDoesNotExist");
  }
  return AdminResult::Done(nickname + " was disconnected.");
}

AdminResult UserAdmin::SendToAll(const std::string& text) {
  std::string trimmed;
  if (AdminResult refused = CheckText(text, trimmed); !refused) return refused;
  // The plugin interface's empty recipient list is every logged-in user.
  return Send("", trimmed, "Server message sent to every logged-in user.");
}

AdminResult UserAdmin::SendToUser(const std::string& nickname, const std::string& text) {
  std::string trimmed;
  if (AdminResult refused = CheckText(text, trimmed); !refused) return refused;
  const long index = server_.Connections().GetUserID(nickname);
  if (index < 0) return Notice("noticePersonDoesNotExist");
  const std::string found = server_.Connections().At(index).Nickname;
  return Send(found, trimmed, "Server message sent to " + found + ".");
}

AdminResult UserAdmin::SendToRoom(const std::string& room, const std::string& text) {
  std::string trimmed;
  if (AdminResult refused = CheckText(text, trimmed); !refused) return refused;
  const clsChatrooms& rooms = server_.Chatrooms();
  const long id = rooms.GetChatroomID(room);
  if (id < 0) return Notice("noticeChatroomDoesNotExist");
  // The members' nicknames joined by SOH, as the plugin interface names recipients.
  const std::string members = server_.Commands().RunForAdministration("GetUserList", rooms.name(id), "");
  if (members.empty()) return Notice("noticeChatroomEmpty");
  return Send(members, trimmed, "Server message sent to the members of " + rooms.name(id) + ".");
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
  return AdminResult::Refused(key, server_.Language().data(key, kEditorSection));
}

}  // namespace velmorin
