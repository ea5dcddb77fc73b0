// Dispatch of client packets by command, and the login.

#include <set>
#include <unordered_map>

#include "server/clsServer.hpp"
#include "config/modBanning.hpp"
#include "platform/Text.hpp"
#include "codec/PayloadFields.hpp"
#include "platform/modFilter.hpp"
#include "codec/modSHA256.hpp"
#include "config/modSettings.hpp"
#include "config/modUsers.hpp"

namespace velmorin {
namespace {

const char kNul = '\0';
constexpr const char* kProtocolVersion = "0.6";

}  // namespace

const std::unordered_map<std::string, clsServer::CommandHandler>& clsServer::CommandHandlers() {
  static const std::unordered_map<std::string, CommandHandler> handlers = {
      {"message", &clsServer::HandleMessage},
      {"ping", &clsServer::HandlePing},
      {"pong", &clsServer::HandlePong},
      {"command", &clsServer::HandleCommand},
      {"abortFiletransfer", &clsServer::HandleAbortFiletransfer},
      {"acceptEncryptionkey", &clsServer::HandleAcceptEncryptionkey},
      {"acceptFiles", &clsServer::HandleAcceptFiles},
      {"awaymessage", &clsServer::HandleAwayMessage},
      {"clientPluginData", &clsServer::HandleClientPluginData},
      {"createChatroom", &clsServer::HandleCreateChatroom},
      {"encryptionkey", &clsServer::HandleEncryptionkey},
      {"fileRequest", &clsServer::HandleFileRequest},
      {"findPerson", &clsServer::HandleFindPerson},
      {"getAwayMessage", &clsServer::HandleGetAwayMessage},
      {"getChatroomlist", &clsServer::HandleGetChatroomlist},
      {"getEncryptionlist", &clsServer::HandleGetEncryptionlist},
      {"getUserlist", &clsServer::HandleGetUserlist},
      {"joinChatroom", &clsServer::HandleJoinChatroom},
      {"pluginResponse", &clsServer::HandlePluginResponse},
      {"quit", &clsServer::HandleQuit},
      {"serverPluginData", &clsServer::HandleServerPluginData},
      {"setClientState", &clsServer::HandleSetClientState},
      {"setColor", &clsServer::HandleSetColor},
      {"setEncryption", &clsServer::HandleSetEncryption},
  };
  return handlers;
}

bool clsServer::Dispatch(long index, const std::string& command, const std::string& payload) {
  if (command == "login") return Login(index, payload);
  if (!Record(index).LoggedIn()) return true;  // ignored before the login, without reply
  const auto& handlers = CommandHandlers();
  const auto handler = handlers.find(command);
  if (handler == handlers.end()) {
    log_.Log(LogMessageType::UnknownCommand,
             {{"%id", std::to_string(index)}, {"%size", std::to_string(payload.size())}, {"%cmd", command}});
    return true;
  }
  return (this->*(handler->second))(index, payload);
}

bool clsServer::Login(long index, const std::string& payload) {
  if (Record(index).LoggedIn()) return true;
  // A new login replaces one that waits for a taken nickname: that wait ends here, and only
  // the newest login counts. The login deadline stays as it was.
  table_.ClearPendingLogin(index);
  const std::vector<std::string> fields = PayloadFields(payload, 5);
  const std::string id = std::to_string(index);
  if (Record(index).FullAtConnect) {
    // Welcomed with "full": its connection ends once the welcome is out, and a login that
    // comes first is refused rather than taking a place the server does not have.
    DenyUser(index, CleanNickname(fields[0]));
    return false;
  }
  if (fields[4] != kProtocolVersion) {
    log_.Log(LogMessageType::ErrorVersion, {{"%id", id}, {"%ver", fields[4]}});
    SendCommand(index, "acceptUser", "unsupported");
    RemoveUser(index, "", true, 0);
    return false;
  }
  const std::uint64_t serial = Record(index).Serial;
  const std::string address = Socket(index) != nullptr ? Socket(index)->RemoteHostIP() : std::string();
  std::string nickname = events_.QueryChatname(fields[0], address);
  if (!SameConnection(index, serial)) return false;
  nickname = CleanNickname(nickname);
  if (nickname.empty()) {
    DenyUser(index, "");
    return false;
  }
  if (IsActiveAccount(nickname)) {
    const std::string password = GetPassword(nickname);
    if (!password.empty() && fields[1] != SHA256Hex(password + Record(index).LoginKey)) {
      DenyUser(index, nickname);
      return false;
    }
  } else if (AccountExists(nickname)) {
    DenyUser(index, nickname);
    return false;
  } else if (!ServerSettings.General.AllowGuests) {
    log_.Log(LogMessageType::ErrorNoGuests, {{"%id", id}, {"%name", nickname}});
    SendCommand(index, "acceptUser", "noguests");
    RemoveUser(index, "", true, 0);
    return false;
  } else if (IsNicknameBanned(nickname)) {
    DenyUser(index, nickname);
    return false;
  }

  // The holders of the nickname and the logins waiting for it, found through the indices (a
  // copy: a ping that fails removes its connection); the holders are asked whether they live.
  const std::string lowered = LowerCase(nickname);
  const std::set<long> holders = table_.Holders(lowered);
  std::set<long> others = holders;
  others.merge(table_.Waiting(lowered));
  std::string conflicts;
  for (long other : others) {
    if (!conflicts.empty()) conflicts += kNul;
    conflicts += std::to_string(other);
  }
  for (long holder : holders) {
    if (InUse(holder)) SendPing(holder);
  }
  if (!SameConnection(index, serial)) return false;
  if (conflicts.empty()) {
    // A connection welcomed while there was room may log in after others filled it: the user
    // limit holds for it too, as it does for a login that waited.
    if (UsersFillServer()) {
      DenyUser(index, nickname);
      return false;
    }
    LoginUser(index, nickname, fields[1], fields[2], fields[3]);
    return true;
  }
  table_.WaitForNickname(index, nickname, fields[1] + kNul + fields[2] + kNul + fields[3], conflicts);
  const long timeout = ServerSettings.General.PingTimeout;
  table_.StartReplyTimer(index, timeout + timeout / 4 + 2000);
  return false;
}

void clsServer::LoginUser(long index, const std::string& nickname, const std::string& proof, const std::string& color,
                          const std::string& clientVersion) {
  const std::uint64_t serial = Record(index).Serial;
  // The table is complete before anything calls out.
  table_.ClearPendingLogin(index);
  table_.StopLoginDeadline(index);
  table_.SetNickname(index, nickname);
  const std::string password = GetPassword(nickname);
  velmorin::Connection& record = Record(index);
  record.Color = ToLong(color).value_or(0);
  record.ClientVersion = clientVersion;
  record.SessionKey = SHA256Hex(nickname + password + record.LoginKey);
  RefreshStatus();
  frontEnd_.UserListUpdate(index);
  log_.Log(LogMessageType::ClientAccepted, {{"%id", std::to_string(index)}, {"%name", nickname}});
  if (!SameConnection(index, serial)) return;
  const char* status = !password.empty() || proof.empty() ? "ok" : "ok_nopwd";
  SendCommand(index, "acceptUser", std::string(status) + kNul + nickname);
  if (!SameConnection(index, serial)) return;
  events_.UserStatus("userloggedin", nickname + kNul + color);
}

void clsServer::DenyUser(long index, const std::string& nickname) {
  const std::uint64_t serial = Record(index).Serial;
  log_.Log(LogMessageType::ErrorDenied, {{"%id", std::to_string(index)}, {"%name", nickname}});
  if (!SameConnection(index, serial)) return;
  SendCommand(index, "acceptUser", "denied");
  // The reply leaves before the connection closes: the close is graceful and flushes it.
  if (SameConnection(index, serial)) RemoveUser(index, "", true, 0);
}

void clsServer::CompleteWaitingLogin(long index) {
  table_.StopReplyTimer(index);
  const std::uint64_t serial = Record(index).Serial;
  const std::string nickname = Record(index).PendingNickname;
  const std::vector<std::string> login = PayloadFields(Record(index).PendingLogin, 3);
  const std::string pending = LowerCase(nickname);
  bool conflict = false;
  for (const std::string& text : Split(Record(index).PendingConflicts, std::string_view(&kNul, 1))) {
    const long other = ToLong(text).value_or(0);
    if (other != index && InUse(other) && LowerCase(Record(other).Nickname) == pending) conflict = true;
  }
  table_.ClearPendingLogin(index);
  if (Record(index).LoggedIn()) return;
  if (conflict) {
    log_.Log(LogMessageType::ChatnameAlreadyUsed, {{"%id", std::to_string(index)}});
    if (!SameConnection(index, serial)) return;
    SendCommand(index, "acceptUser", "used");
    if (SameConnection(index, serial)) RemoveUser(index, "", true, 0);
    return;
  }
  if (UsersFillServer()) {
    if (SameConnection(index, serial)) DenyUser(index, nickname);
    return;
  }
  if (!SameConnection(index, serial)) return;
  LoginUser(index, nickname, login[0], login[1], login[2]);
}

}  // namespace velmorin
