// Dispatch of client packets by command, and the chat and chatroom commands of a logged-in
// client.

#include "chat/ChatCommands.hpp"

#include <algorithm>

#include "codec/FieldCipher.hpp"
#include "codec/PayloadFields.hpp"
#include "codec/Sha256.hpp"
#include "config/Settings.hpp"
#include "config/TextFilters.hpp"
#include "platform/Text.hpp"

namespace velmorin {
namespace {

constexpr long kMaxDescription = 256;
constexpr long kTooLight = 171;

}  // namespace

ChatCommands::ChatCommands(const Parts& parts)
    : table_(parts.table),
      rooms_(parts.rooms),
      log_(parts.log),
      events_(parts.events),
      messages_(parts.messages),
      login_(parts.login),
      auxiliary_(parts.auxiliary),
      userList_(parts.userList),
      connections_(parts.connections) {}

const std::unordered_map<std::string, ChatCommands::Handler>& ChatCommands::Handlers() {
  using C = ChatCommands;
  static const std::unordered_map<std::string, Handler> handlers = {
      {"message", [](C& c, long i, const std::string& p) { return c.HandleMessage(i, p); }},
      {"ping", [](C& c, long i, const std::string& p) { return c.messages_.HandlePing(i, p); }},
      {"pong",
       [](C& c, long i, const std::string& p) {
         c.messages_.HandlePong(i, p);
         c.login_.HolderAnswered(i);
         return true;
       }},
      {"command", [](C& c, long i, const std::string& p) { return c.auxiliary_.HandleCommand(i, p); }},
      {"abortFiletransfer", [](C& c, long i, const std::string& p) { return c.auxiliary_.HandleAbortFiletransfer(i, p); }},
      {"acceptEncryptionkey", [](C& c, long i, const std::string& p) { return c.auxiliary_.HandleAcceptEncryptionkey(i, p); }},
      {"acceptFiles", [](C& c, long i, const std::string& p) { return c.auxiliary_.HandleAcceptFiles(i, p); }},
      {"awaymessage", [](C& c, long i, const std::string& p) { return c.auxiliary_.HandleAwayMessage(i, p); }},
      {"clientPluginData", [](C& c, long i, const std::string& p) { return c.auxiliary_.HandleClientPluginData(i, p); }},
      {"createChatroom", [](C& c, long i, const std::string& p) { return c.HandleCreateChatroom(i, p); }},
      {"encryptionkey", [](C& c, long i, const std::string& p) { return c.auxiliary_.HandleEncryptionkey(i, p); }},
      {"fileRequest", [](C& c, long i, const std::string& p) { return c.auxiliary_.HandleFileRequest(i, p); }},
      {"findPerson", [](C& c, long i, const std::string& p) { return c.auxiliary_.HandleFindPerson(i, p); }},
      {"getAwayMessage", [](C& c, long i, const std::string& p) { return c.auxiliary_.HandleGetAwayMessage(i, p); }},
      {"getChatroomlist", [](C& c, long i, const std::string& p) { return c.HandleGetChatroomlist(i, p); }},
      {"getEncryptionlist", [](C& c, long i, const std::string& p) { return c.auxiliary_.HandleGetEncryptionlist(i, p); }},
      {"getUserlist", [](C& c, long i, const std::string& p) { return c.HandleGetUserlist(i, p); }},
      {"joinChatroom", [](C& c, long i, const std::string& p) { return c.HandleJoinChatroom(i, p); }},
      {"pluginResponse", [](C& c, long i, const std::string& p) { return c.auxiliary_.HandlePluginResponse(i, p); }},
      {"quit", [](C& c, long i, const std::string& p) { return c.HandleQuit(i, p); }},
      {"serverPluginData", [](C& c, long i, const std::string& p) { return c.auxiliary_.HandleServerPluginData(i, p); }},
      {"setClientState", [](C& c, long i, const std::string& p) { return c.HandleSetClientState(i, p); }},
      {"setColor", [](C& c, long i, const std::string& p) { return c.HandleSetColor(i, p); }},
      {"setEncryption", [](C& c, long i, const std::string& p) { return c.auxiliary_.HandleSetEncryption(i, p); }},
  };
  return handlers;
}

bool ChatCommands::Dispatch(long index, const std::string& command, const std::string& payload) {
  if (command == "login") return login_.Login(index, payload);
  if (!table_.At(index).LoggedIn()) return true;  // ignored before the login, without reply
  const auto& handlers = Handlers();
  const auto handler = handlers.find(command);
  if (handler == handlers.end()) {
    log_.Log(LogMessageType::UnknownCommand,
             {{"%id", std::to_string(index)}, {"%size", std::to_string(payload.size())}, {"%cmd", command}});
    return true;
  }
  return handler->second(*this, index, payload);
}

std::vector<long> ChatCommands::RoomMembersOf(long index) const {
  const long room = table_.At(index).chatroomId;
  return room < 0 ? std::vector<long>{} : rooms_->Members(room);
}

bool ChatCommands::HandleMessage(long index, const std::string& received) {
  // The fields are read as views into the payload, or into what the plugins made of it.
  std::string_view payload = received;
  std::string rewritten;
  if (FieldCursor::First(payload) != "private" && events_.HasSubscribers("NewMessage")) {
    const std::uint64_t serial = table_.At(index).serial;
    rewritten = events_.NewMessage(table_.At(index).nickname + kFieldSeparator + rooms_->Name(table_.At(index).chatroomId), received);
    if (!table_.SameConnection(index, serial)) return false;
    if (rewritten.empty()) return true;
    payload = rewritten;
  }
  FieldCursor fields(payload);
  const std::string_view kind = fields.Next();
  const std::string_view names = fields.Next();
  const long maxText = ServerSettings.General.MaxTextLength;
  const std::string_view text = maxText <= 0 ? std::string_view() : fields.Next().substr(0, static_cast<std::size_t>(maxText));
  const Connection& sender = table_.At(index);

  if (kind == "private") {
    const long recipient = table_.GetUserID(std::string(names));
    if (recipient < 0) return true;
    const std::string message = std::string("private") + kFieldSeparator + sender.nickname + kFieldSeparator + table_.At(recipient).nickname +
                                kFieldSeparator + std::to_string(sender.color) + kFieldSeparator + std::string(text);
    const std::uint64_t serial = sender.serial;
    table_.SendCommand(recipient, "message", message);
    // A failed send removes the recipient, and plugins hear of it: the sender is looked up again.
    if (!table_.SameConnection(index, serial)) return false;
    table_.SendCommand(index, "message", message);
    return true;
  }
  if ((kind != "normal" && kind != "me" && kind != "shout") || sender.chatroomId < 0) return true;
  const std::string color = std::to_string(sender.color);
  std::string message;
  message.reserve(kind.size() + sender.nickname.size() + color.size() + text.size() + 3);
  message.append(kind).append(1, kFieldSeparator).append(sender.nickname).append(1, kFieldSeparator);
  message.append(color).append(1, kFieldSeparator).append(text);

  if (names.empty()) {
    // The room's own list: SendCommandToEach takes its recipients from it before it sends.
    table_.SendCommandToEach(rooms_->Members(sender.chatroomId), "message", message);
    return true;
  }
  // Named more than once, a user still gets one copy: SendCommandToEach sends each once.
  std::vector<long> targets;
  for (const std::string& nickname : Split(names, "\r\n")) {
    const long target = table_.GetUserID(nickname);
    if (target >= 0 && table_.At(target).chatroomId == sender.chatroomId) targets.push_back(target);
  }
  targets.push_back(index);
  table_.SendCommandToEach(targets, "message", message);
  return true;
}


bool ChatCommands::HandleSetClientState(long index, const std::string& payload) {
  if (table_.At(index).chatroomId < 0) return true;
  const std::vector<std::string> fields = PayloadFields(payload, 2);
  const std::string& state = fields[0];
  const std::string notice = state == "normal" ? table_.At(index).nickname + kFieldSeparator + "normal"
                                               : table_.At(index).nickname + kFieldSeparator + state + kFieldSeparator + fields[1];
  const std::uint64_t serial = table_.At(index).serial;
  table_.SendCommandToEach(RoomMembersOf(index), "newClientState", notice);
  if (!table_.SameConnection(index, serial)) return false;
  if (state == "away") table_.At(index).away = true;
  if (state == "normal") table_.At(index).away = false;
  return true;
}

bool ChatCommands::HandleSetColor(long index, const std::string& payload) {
  const long color = ToLong(payload).value_or(0);
  const long red = color & 0xFF;
  const long green = (color >> 8) & 0xFF;
  const long blue = (color >> 16) & 0xFF;
  if ((red + green + blue) / 3 >= kTooLight) return true;
  const std::string notice = table_.At(index).nickname + kFieldSeparator + std::to_string(color);
  std::vector<long> targets = RoomMembersOf(index);
  if (targets.empty()) targets.push_back(index);
  const std::uint64_t serial = table_.At(index).serial;
  table_.SendCommandToEach(targets, "newColor", notice);
  if (!table_.SameConnection(index, serial)) return false;
  table_.At(index).color = color;
  userList_.UserListUpdate(index);
  return true;
}

bool ChatCommands::HandleGetChatroomlist(long index, const std::string&) {
  std::string list;
  for (long room = 0; room <= rooms_->MaxID(); ++room) {
    const std::string name = rooms_->Name(room);
    if (name.empty()) continue;
    list += name + '\x01' + std::to_string(rooms_->MemberCount(room)) + '\x01' +
            (rooms_->PasswordRequired(room) ? "*" : "") + '\x01' + rooms_->Comment(room) + "\r\n";
  }
  list += kFieldSeparator;
  list += BoolText(ServerSettings.Chatrooms.AllowCreateChatroom);
  log_.Log(LogMessageType::SendingChatroomList, {{"%id", std::to_string(index)}});
  table_.SendCommand(index, "chatroomlist", list);
  return true;
}

bool ChatCommands::HandleGetUserlist(long index, const std::string& payload) {
  const std::string requested = FirstField(payload);
  const long room = rooms_->GetChatroomID(requested);
  if (room < 0) return true;
  std::string list = requested + kFieldSeparator;
  bool first = true;
  for (long member : rooms_->Members(room)) {
    if (!table_.InUse(member)) continue;  // members leave a room before their slot goes
    const Connection& record = table_.At(member);
    if (!first) list += "\r\n";
    first = false;
    list += record.nickname + '\x01' + std::to_string(record.color) + '\x01' + BoolText(record.away) + '\x01' +
            BoolText(record.chatroomAdmin);
  }
  table_.SendCommand(index, "userlist", list);
  log_.Log(LogMessageType::SendingUserlist, {{"%id", std::to_string(index)}, {"%name", requested}});
  return true;
}

void ChatCommands::EnterChatroom(long index, long chatroomId) {
  const std::uint64_t serial = table_.At(index).serial;
  const long oldRoom = table_.At(index).chatroomId;
  if (oldRoom >= 0) {
    messages_.UserLeftEvent(index, chatroomId, oldRoom, "");
    if (!table_.SameConnection(index, serial)) return;
    rooms_->RemoveUser(oldRoom, index);
  }
  table_.At(index).chatroomId = chatroomId;
  const bool admin = events_.QueryAdminStatus(table_.At(index).nickname, rooms_->Name(chatroomId));
  if (table_.SameConnection(index, serial)) table_.At(index).chatroomAdmin = admin;
}

bool ChatCommands::HandleJoinChatroom(long index, const std::string& payload) {
  const std::vector<std::string> fields = PayloadFields(payload, 2);
  const std::uint64_t serial = table_.At(index).serial;
  // Plugins may lead the user to another room than the one asked for.
  const std::string cleaned = events_.QueryChatroom(table_.At(index).nickname, CleanText(fields[0], kMaxChatroomNameLength));
  if (!table_.SameConnection(index, serial)) return false;
  const long room = rooms_->GetChatroomID(cleaned);
  if (room < 0) {
    table_.SendCommand(index, "acceptChatroom", cleaned + kFieldSeparator + "notfound");
    return true;
  }
  const std::string name = rooms_->Name(room);
  if (table_.At(index).chatroomId == room) {
    table_.SendCommand(index, "acceptChatroom", name + kFieldSeparator + "alreadyjoined");
    return true;
  }
  const bool allowed = events_.AllowJoinChatroom(table_.At(index).nickname, name);
  if (!table_.SameConnection(index, serial)) return false;
  const std::uint64_t roomSerial = rooms_->Serial(room);
  const std::string password = rooms_->Password(room);
  const Connection& user = table_.At(index);
  const bool proofOk = password.empty() || fields[1] == SHA256Hex(password + user.nickname + user.loginKey);
  if (!allowed || !proofOk || roomSerial == 0) {
    table_.SendCommand(index, "acceptChatroom", name + kFieldSeparator + "failed");
    return true;
  }
  EnterChatroom(index, room);
  // A plugin reached through the events may have removed the user or the room meanwhile.
  if (!table_.SameConnection(index, serial)) return false;
  if (rooms_->Serial(room) != roomSerial) {
    table_.At(index).chatroomId = -1;
    table_.SendCommand(index, "acceptChatroom", name + kFieldSeparator + "failed");
    return true;
  }
  log_.Log(LogMessageType::ClientJoinedChatroom, {{"%id", std::to_string(index)}, {"%name", name}});
  table_.SendCommand(index, "acceptChatroom", name + kFieldSeparator + "ok");
  if (!table_.SameConnection(index, serial)) return false;
  rooms_->AddUser(room, index);
  messages_.UserJoinedEvent(index, room);
  return true;
}

bool ChatCommands::HandleCreateChatroom(long index, const std::string& payload) {
  const std::vector<std::string> fields = PayloadFields(payload, 4);
  const std::uint64_t serial = table_.At(index).serial;
  std::string name = events_.QueryChatroom(table_.At(index).nickname, CleanText(fields[0], kMaxChatroomNameLength));
  if (!table_.SameConnection(index, serial)) return false;
  const std::string description = CleanText(fields[1], kMaxDescription);
  std::string password = DecryptField(fields[2], table_.At(index).sessionKey);
  if (fields[3] != SHA256Hex(password + table_.At(index).loginKey)) password.clear();

  if (name.empty() || !ServerSettings.Chatrooms.AllowCreateChatroom) {
    table_.SendCommand(index, "acceptChatroom", name + kFieldSeparator + "notallowed");
    return true;
  }
  if (rooms_->GetChatroomID(name) >= 0) {
    table_.SendCommand(index, "acceptChatroom", name + kFieldSeparator + "notcreated");
    return true;
  }
  const long room = rooms_->Add(name, description, password, false);
  const std::uint64_t roomSerial = rooms_->Serial(room);
  EnterChatroom(index, room);
  if (!table_.SameConnection(index, serial)) return false;
  log_.Log(LogMessageType::ClientCreatedChatroom, {{"%id", std::to_string(index)}, {"%name", name}});
  if (!password.empty() || fields[3].empty()) {
    table_.SendCommand(index, "acceptChatroom", name + kFieldSeparator + "ok");
  } else {
    log_.Log(LogMessageType::ErrorCRC, {{"%id", std::to_string(index)}, {"%cmd", "createChatroom"}});
    table_.SendCommand(index, "acceptChatroom", name + kFieldSeparator + "badCRC");
  }
  if (!table_.SameConnection(index, serial)) return false;
  if (rooms_->Serial(room) != roomSerial) {
    table_.At(index).chatroomId = -1;
    return true;
  }
  rooms_->AddUser(room, index);
  messages_.UserJoinedEvent(index, room);
  return true;
}

bool ChatCommands::HandleQuit(long index, const std::string& payload) {
  connections_.RemoveUser(index, {.reason = Left(TrimBlanks(FirstField(payload)), 40), .tellRoom = true});
  return false;
}

}  // namespace velmorin
