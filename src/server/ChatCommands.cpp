// Chat and chatroom commands of a logged-in client.

#include <algorithm>

#include "server/clsServer.hpp"
#include "platform/Text.hpp"
#include "codec/PayloadFields.hpp"
#include "codec/modEncryption.hpp"
#include "platform/modFilter.hpp"
#include "codec/modSHA256.hpp"
#include "config/modSettings.hpp"

namespace velmorin {
namespace {

const char kNul = '\0';
constexpr long kMaxRoomName = 40;
constexpr long kMaxDescription = 256;
constexpr long kTooLight = 171;

}  // namespace

std::vector<long> clsServer::RoomMembersOf(long index) const {
  const long room = Connection(index).ChatroomID;
  return room < 0 ? std::vector<long>{} : chatrooms_->members(room);
}

bool clsServer::HandleMessage(long index, const std::string& received) {
  std::string payload = received;
  const std::string kind = FirstField(payload);
  if (kind != "private") {
    const std::uint64_t serial = Record(index).Serial;
    payload = events_.NewMessage(Record(index).Nickname + kNul + chatrooms_->name(Record(index).ChatroomID), payload);
    if (!SameConnection(index, serial)) return false;
    if (payload.empty()) return true;
  }
  std::vector<std::string> fields = PayloadFields(payload, 3);
  const std::string text = Left(fields[2], ServerSettings.General.MaxTextLength);
  const velmorin::Connection& sender = Record(index);

  if (fields[0] == "private") {
    const long recipient = GetUserID(fields[1]);
    if (recipient < 0) return true;
    const std::string message = std::string("private") + kNul + sender.Nickname + kNul + Record(recipient).Nickname +
                                kNul + std::to_string(sender.Color) + kNul + text;
    const std::uint64_t serial = sender.Serial;
    SendCommand(recipient, "message", message);
    // A failed send removes the recipient, and plugins hear of it: the sender is looked up again.
    if (!SameConnection(index, serial)) return false;
    SendCommand(index, "message", message);
    return true;
  }
  if ((fields[0] != "normal" && fields[0] != "me" && fields[0] != "shout") || sender.ChatroomID < 0) return true;
  const std::string message = fields[0] + kNul + sender.Nickname + kNul + std::to_string(sender.Color) + kNul + text;

  std::vector<long> targets;
  if (fields[1].empty()) {
    targets = chatrooms_->members(sender.ChatroomID);
  } else {
    // Named more than once, a user still gets one copy: SendCommandToEach sends each once.
    for (const std::string& nickname : Split(fields[1], "\r\n")) {
      const long target = GetUserID(nickname);
      if (target >= 0 && Record(target).ChatroomID == sender.ChatroomID) targets.push_back(target);
    }
    targets.push_back(index);
  }
  SendCommandToEach(targets, "message", message);
  return true;
}

bool clsServer::HandleAwayMessage(long index, const std::string& payload) {
  RelayUnderSender(index, payload, "awaymessage");
  return true;
}

void clsServer::RelayUnderSender(long index, const std::string& payload, const char* command) {
  const std::vector<std::string> fields = PayloadFields(payload, 2);
  const long recipient = GetUserID(fields[0]);
  if (recipient >= 0) SendCommand(recipient, command, Record(index).Nickname + kNul + fields[1]);
}

bool clsServer::HandleSetClientState(long index, const std::string& payload) {
  if (Record(index).ChatroomID < 0) return true;
  const std::vector<std::string> fields = PayloadFields(payload, 2);
  const std::string& state = fields[0];
  const std::string notice = state == "normal" ? Record(index).Nickname + kNul + "normal"
                                               : Record(index).Nickname + kNul + state + kNul + fields[1];
  const std::uint64_t serial = Record(index).Serial;
  SendCommandToEach(RoomMembersOf(index), "newClientState", notice);
  if (!SameConnection(index, serial)) return false;
  if (state == "away") Record(index).Away = true;
  if (state == "normal") Record(index).Away = false;
  return true;
}

bool clsServer::HandleSetColor(long index, const std::string& payload) {
  const long color = ToLong(payload).value_or(0);
  const long red = color & 0xFF;
  const long green = (color >> 8) & 0xFF;
  const long blue = (color >> 16) & 0xFF;
  if ((red + green + blue) / 3 >= kTooLight) return true;
  const std::string notice = Record(index).Nickname + kNul + std::to_string(color);
  std::vector<long> targets = RoomMembersOf(index);
  if (targets.empty()) targets.push_back(index);
  const std::uint64_t serial = Record(index).Serial;
  SendCommandToEach(targets, "newColor", notice);
  if (!SameConnection(index, serial)) return false;
  Record(index).Color = color;
  frontEnd_.UserListUpdate(index);
  return true;
}

bool clsServer::HandleGetChatroomlist(long index, const std::string&) {
  std::string list;
  for (long room = 0; room <= chatrooms_->MaxID(); ++room) {
    const std::string name = chatrooms_->name(room);
    if (name.empty()) continue;
    list += name + '\x01' + std::to_string(chatrooms_->users(room)) + '\x01' +
            (chatrooms_->PasswordRequired(room) ? "*" : "") + '\x01' + chatrooms_->comment(room) + "\r\n";
  }
  list += kNul;
  list += BoolText(ServerSettings.Chatrooms.AllowCreateChatroom);
  log_.Log(LogMessageType::SendingChatroomList, {{"%id", std::to_string(index)}});
  SendCommand(index, "chatroomlist", list);
  return true;
}

bool clsServer::HandleGetUserlist(long index, const std::string& payload) {
  const std::string requested = FirstField(payload);
  const long room = chatrooms_->GetChatroomID(requested);
  if (room < 0) return true;
  std::string list = requested + kNul;
  bool first = true;
  for (long member : chatrooms_->members(room)) {
    const velmorin::Connection& record = Record(member);
    if (!first) list += "\r\n";
    first = false;
    list += record.Nickname + '\x01' + std::to_string(record.Color) + '\x01' + BoolText(record.Away) + '\x01' +
            BoolText(record.ChatroomAdmin);
  }
  SendCommand(index, "userlist", list);
  log_.Log(LogMessageType::SendingUserlist, {{"%id", std::to_string(index)}, {"%name", requested}});
  return true;
}

void clsServer::EnterChatroom(long index, long chatroomId) {
  const std::uint64_t serial = Record(index).Serial;
  const long oldRoom = Record(index).ChatroomID;
  if (oldRoom >= 0) {
    UserLeftEvent(index, chatroomId, oldRoom, "");
    if (!SameConnection(index, serial)) return;
    chatrooms_->RemoveUser(oldRoom, index);
  }
  Record(index).ChatroomID = chatroomId;
  const bool admin = events_.QueryAdminStatus(Record(index).Nickname, chatrooms_->name(chatroomId));
  if (SameConnection(index, serial)) Record(index).ChatroomAdmin = admin;
}

bool clsServer::HandleJoinChatroom(long index, const std::string& payload) {
  const std::vector<std::string> fields = PayloadFields(payload, 2);
  const std::uint64_t serial = Record(index).Serial;
  // Plugins may lead the user to another room than the one asked for.
  const std::string cleaned = events_.QueryChatroom(Record(index).Nickname, CleanText(fields[0], kMaxRoomName));
  if (!SameConnection(index, serial)) return false;
  const long room = chatrooms_->GetChatroomID(cleaned);
  if (room < 0) {
    SendCommand(index, "acceptChatroom", cleaned + kNul + "notfound");
    return true;
  }
  const std::string name = chatrooms_->name(room);
  if (Record(index).ChatroomID == room) {
    SendCommand(index, "acceptChatroom", name + kNul + "alreadyjoined");
    return true;
  }
  const bool allowed = events_.AllowJoinChatroom(Record(index).Nickname, name);
  if (!SameConnection(index, serial)) return false;
  const std::uint64_t roomSerial = chatrooms_->serial(room);
  const std::string password = chatrooms_->pwd(room);
  const bool proofOk = password.empty() || fields[1] == SHA256Hex(password + Record(index).Nickname + Record(index).LoginKey);
  if (!allowed || !proofOk || roomSerial == 0) {
    SendCommand(index, "acceptChatroom", name + kNul + "failed");
    return true;
  }
  EnterChatroom(index, room);
  // A plugin reached through the events may have removed the user or the room meanwhile.
  if (!SameConnection(index, serial)) return false;
  if (chatrooms_->serial(room) != roomSerial) {
    Record(index).ChatroomID = -1;
    SendCommand(index, "acceptChatroom", name + kNul + "failed");
    return true;
  }
  log_.Log(LogMessageType::ClientJoinedChatroom, {{"%id", std::to_string(index)}, {"%name", name}});
  SendCommand(index, "acceptChatroom", name + kNul + "ok");
  if (!SameConnection(index, serial)) return false;
  chatrooms_->AddUser(room, index);
  UserJoinedEvent(index, room);
  return true;
}

bool clsServer::HandleCreateChatroom(long index, const std::string& payload) {
  const std::vector<std::string> fields = PayloadFields(payload, 4);
  const std::uint64_t serial = Record(index).Serial;
  std::string name = events_.QueryChatroom(Record(index).Nickname, CleanText(fields[0], kMaxRoomName));
  if (!SameConnection(index, serial)) return false;
  const std::string description = CleanText(fields[1], kMaxDescription);
  std::string password = DecryptField(fields[2], Record(index).SessionKey);
  if (fields[3] != SHA256Hex(password + Record(index).LoginKey)) password.clear();

  if (name.empty() || !ServerSettings.Chatrooms.AllowCreateChatroom) {
    SendCommand(index, "acceptChatroom", name + kNul + "notallowed");
    return true;
  }
  if (chatrooms_->GetChatroomID(name) >= 0) {
    SendCommand(index, "acceptChatroom", name + kNul + "notcreated");
    return true;
  }
  const long room = chatrooms_->Add(name, description, password, false);
  const std::uint64_t roomSerial = chatrooms_->serial(room);
  EnterChatroom(index, room);
  if (!SameConnection(index, serial)) return false;
  log_.Log(LogMessageType::ClientCreatedChatroom, {{"%id", std::to_string(index)}, {"%name", name}});
  if (!password.empty() || fields[3].empty()) {
    SendCommand(index, "acceptChatroom", name + kNul + "ok");
  } else {
    log_.Log(LogMessageType::ErrorCRC, {{"%id", std::to_string(index)}, {"%cmd", "createChatroom"}});
    SendCommand(index, "acceptChatroom", name + kNul + "badCRC");
  }
  if (!SameConnection(index, serial)) return false;
  if (chatrooms_->serial(room) != roomSerial) {
    Record(index).ChatroomID = -1;
    return true;
  }
  chatrooms_->AddUser(room, index);
  UserJoinedEvent(index, room);
  return true;
}

bool clsServer::HandleQuit(long index, const std::string& payload) {
  RemoveUser(index, Left(TrimBlanks(FirstField(payload)), 40), true, 0);
  return false;
}

}  // namespace velmorin
