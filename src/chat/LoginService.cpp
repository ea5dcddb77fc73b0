// Accepting a connection, the welcome, the login and the wait for a taken nickname.

#include "chat/LoginService.hpp"

#include <algorithm>
#include <set>

#include "codec/PayloadFields.hpp"
#include "codec/Sha256.hpp"
#include "codec/WireFormat.hpp"
#include "config/Accounts.hpp"
#include "config/BanRules.hpp"
#include "config/Settings.hpp"
#include "config/TextFilters.hpp"
#include "config/WelcomeMessage.hpp"
#include "i18n/LanguageFile.hpp"
#include "net/MachineAddresses.hpp"
#include "platform/Text.hpp"

namespace velmorin {
namespace {

// The longest client version text kept; real clients send a name and a number.
constexpr long kMaxClientVersionLength = 64;

}  // namespace

LoginService::LoginService(const Parts& parts)
    : table_(parts.table),
      rooms_(parts.rooms),
      log_(parts.log),
      events_(parts.events),
      messages_(parts.messages),
      status_(parts.status),
      userList_(parts.userList),
      connections_(parts.connections),
      connectionRate_(parts.log) {}

bool LoginService::UsersFillServer() const { return table_.UserCount() >= ServerSettings.General.MaxUserCount; }

void LoginService::Accept(ConnectionRequest& request) {
  const long maxUsers = ServerSettings.General.MaxUserCount;
  const std::string address = request.address;
  if (IsAddressBanned(address)) {
    log_.LogText(LogMessageType::ErrorDenied, "msgAddressBanned", {{"%ip", address}, {"%peer", address}});
    return;
  }
  // Beyond its rate an address is refused silently: closed at once, no slot, no welcome, no
  // line of its own (the refusals are counted and reported once per interval).
  if (!connectionRate_.Admit(address, ServerSettings.General.MaxConnectionRate)) return;
  if (table_.ConnectionCount() > maxUsers + maxUsers / 2) {
    // At the limit, the newcomer takes the place of the oldest connection that has not logged
    // in, so connections that never log in cannot lock real clients out.
    const long oldest = table_.OldestConnectionNotLoggedIn();
    if (oldest < 0) return;
    connections_.RemoveUser(oldest, {.reason = "Timeout", .tellRoom = true, .byError = true});
    if (!status_.IsOnline() || table_.ConnectionCount() > maxUsers + maxUsers / 2) return;
  }

  const long index = table_.Allocate();
  const std::uint64_t serial = table_.At(index).serial;
  // Last: the status display is a call out, and the slot is complete by now.
  table_.At(index).fullAtConnect = status_.RefreshStatus() == StatusFull;
  log_.Log(LogMessageType::Connected, {{"%id", std::to_string(index)}, {"%ip", address}, {"%peer", address}});
  if (!table_.SameConnection(index, serial)) return;
  StreamSocket& client = *table_.At(index).Socket();
  if (!client.Accept(request).ok()) {
    connections_.RemoveUser(index, {.tellRoom = false});
    return;
  }
  // Replies go out at once (everything a pass produces for a client leaves in one send).
  client.SetNoDelay(true);
  status_.RefreshStatus();
  userList_.UserListAdd(index, address);
  // Logging or the front end may have reached code that removed the connection meanwhile.
  if (!table_.SameConnection(index, serial)) return;
  SendWelcome(index);
}

void LoginService::SendWelcome(long index) {
  const GeneralSettings& general = ServerSettings.General;
  const std::string& standard = ServerSettings.Chatrooms.StandardChatroom;
  std::string welcomeText;
  if (ServerSettings.WelcomeMessage.SendWelcomeMessage) {
    WelcomeFigures figures;
    figures.users = table_.UserCount();
    figures.port = status_.ListeningPort();
    figures.addresses = SplitLines(GetLocalIPs() + "\r\n");
    figures.onlineSeconds = status_.OnlineSeconds();
    const std::uint64_t serial = table_.At(index).serial;
    welcomeText = BuildWelcomeText(figures, [this](const std::string& text) { return events_.WelcomeMessage(text); });
    // The plugins may have removed the connection, or rebuilt the whole table.
    if (!table_.SameConnection(index, serial)) return;
  }
  const std::string payload = ServerSettings.Info.Version + "\r\n" +
                              (status_.ServerStatus() != StatusReady ? "full" : "ok") + "\r\n" +
                              CurrentLanguage().LanguageName() + "\r\n" + std::to_string(general.MaxTextLength) +
                              "\r\n" + general.AdministratorName + "\r\n" + general.AdministratorEMail + "\r\n" +
                              (rooms_->GetChatroomID(standard) >= 0 ? standard : std::string()) + "\r\n" +
                              rooms_->OnlyChatroom() + "\r\n" + table_.At(index).loginKey + "\r\n" + std::string(kProtocolVersion) +
                              '\0' + welcomeText;
  log_.Log(LogMessageType::SendingWelcome, {{"%id", std::to_string(index)}, {"%peer", table_.PeerNotLoggedIn(index)}});
  if (status_.ServerStatus() != StatusReady) {
    log_.LogText(LogMessageType::ErrorDenied, "msgRefusedFull",
                 {{"%id", std::to_string(index)}, {"%peer", table_.PeerNotLoggedIn(index)}});
  }
  table_.SendCommand(index, "welcome", payload);
}

bool LoginService::Login(long index, const std::string& payload) {
  if (table_.At(index).LoggedIn()) return true;
  // A new login replaces one that waits for a taken nickname: that wait ends here, and only
  // the newest login counts. The login deadline stays as it was.
  table_.ClearPendingLogin(index);
  const std::vector<std::string> fields = PayloadFields(payload, 5);
  const std::string id = std::to_string(index);
  if (table_.At(index).fullAtConnect) {
    // Welcomed with "full": its connection ends once the welcome is out, and a login that
    // comes first is refused rather than taking a place the server does not have.
    DenyUser(index, CleanNickname(fields[0]));
    return false;
  }
  if (fields[4] != kProtocolVersion) {
    log_.Log(LogMessageType::ErrorVersion, {{"%id", id}, {"%ver", fields[4]}, {"%peer", table_.PeerNotLoggedIn(index)}});
    table_.SendCommand(index, "acceptUser", "unsupported");
    connections_.RemoveUser(index, {.tellRoom = true});
    return false;
  }
  const std::uint64_t serial = table_.At(index).serial;
  const std::string address = table_.Socket(index) != nullptr ? table_.Socket(index)->RemoteHostIP() : std::string();
  std::string nickname = events_.QueryChatname(fields[0], address);
  if (!table_.SameConnection(index, serial)) return false;
  nickname = CleanNickname(nickname);
  if (nickname.empty()) {
    DenyUser(index, "");
    return false;
  }
  // One look at the accounts file answers both questions, and gives the password to the login.
  const AccountEntry account = ReadAccountEntry(nickname);
  if (IsActiveAccount(nickname)) {
    if (!account.password.empty() && fields[1] != SHA256Hex(account.password + table_.At(index).loginKey)) {
      DenyUser(index, nickname);
      return false;
    }
  } else if (account.exists) {
    DenyUser(index, nickname);
    return false;
  } else if (!ServerSettings.General.AllowGuests) {
    log_.Log(LogMessageType::ErrorNoGuests, {{"%id", id}, {"%name", nickname}, {"%peer", table_.PeerNotLoggedIn(index)}});
    table_.SendCommand(index, "acceptUser", "noguests");
    connections_.RemoveUser(index, {.tellRoom = true});
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
    if (!conflicts.empty()) conflicts += kFieldSeparator;
    conflicts += std::to_string(other);
  }
  for (long holder : holders) {
    if (table_.InUse(holder)) messages_.SendPing(holder);
  }
  if (!table_.SameConnection(index, serial)) return false;
  if (conflicts.empty()) {
    // A connection welcomed while there was room may log in after others filled it: the user
    // limit holds for it too, as it does for a login that waited.
    if (UsersFillServer()) {
      DenyUser(index, nickname);
      return false;
    }
    LoginUser(index, nickname, fields[1], fields[2], fields[3], account.password);
    return true;
  }
  table_.WaitForNickname(index, nickname, fields[1] + kFieldSeparator + fields[2] + kFieldSeparator + fields[3], conflicts);
  table_.StartReplyTimer(index, NicknameWaitMs(ServerSettings.General.PingTimeout));
  return false;
}

void LoginService::LoginUser(long index, const std::string& nickname, const std::string& proof,
                             const std::string& color, const std::string& clientVersion,
                             std::optional<std::string> knownPassword) {
  const std::uint64_t serial = table_.At(index).serial;
  // The table is complete before anything calls out.
  table_.ClearPendingLogin(index);
  table_.StopLoginDeadline(index);
  table_.SetNickname(index, nickname);
  const std::string password = knownPassword ? std::move(*knownPassword) : GetPassword(nickname);
  Connection& record = table_.At(index);
  record.color = ToLong(color).value_or(0);
  // Shown to administrators and plugins as the client gave it: cleaned as a nickname is, so it
  // holds no control characters (a terminal would obey them) and stays short.
  record.clientVersion = CleanText(clientVersion, kMaxClientVersionLength);
  record.sessionKey = SHA256Hex(nickname + password + record.loginKey);
  status_.RefreshStatus();
  userList_.UserListUpdate(index);
  log_.Log(LogMessageType::ClientAccepted, {{"%id", std::to_string(index)}, {"%name", nickname}});
  if (!table_.SameConnection(index, serial)) return;
  const char* status = !password.empty() || proof.empty() ? "ok" : "ok_nopwd";
  table_.SendCommand(index, "acceptUser", std::string(status) + kFieldSeparator + nickname);
  if (!table_.SameConnection(index, serial)) return;
  events_.UserStatus("userloggedin", nickname + kFieldSeparator + color);
}

void LoginService::DenyUser(long index, const std::string& nickname) {
  const std::uint64_t serial = table_.At(index).serial;
  log_.Log(LogMessageType::ErrorDenied,
           {{"%id", std::to_string(index)}, {"%name", nickname}, {"%peer", table_.PeerNotLoggedIn(index)}});
  if (!table_.SameConnection(index, serial)) return;
  table_.SendCommand(index, "acceptUser", "denied");
  // The reply leaves before the connection closes: the close is graceful and flushes it.
  if (table_.SameConnection(index, serial)) connections_.RemoveUser(index, {.tellRoom = true});
}

std::vector<long> LoginService::RemainingHolders(long index) const {
  const std::string pending = LowerCase(table_.At(index).pendingNickname);
  std::vector<long> holders;
  for (const std::string& text : Split(table_.At(index).pendingConflicts, std::string_view(&kFieldSeparator, 1))) {
    const long other = ToLong(text).value_or(0);
    if (other != index && table_.InUse(other) && LowerCase(table_.At(other).nickname) == pending)
      holders.push_back(other);
  }
  return holders;
}

void LoginService::HolderAnswered(long index) {
  if (!table_.InUse(index) || !table_.At(index).LoggedIn()) return;
  // A copy: each completion removes its connection from the index.
  for (const long waiting : table_.Waiting(LowerCase(table_.At(index).nickname))) {
    if (!table_.InUse(waiting) || !table_.At(waiting).WaitingForNickname()) continue;
    const std::vector<long> holders = RemainingHolders(waiting);
    // A holder whose reply timer still runs has not answered yet: it may be dead, and the
    // login then goes ahead at the end of the wait. So may one that is being removed.
    const bool allAnswered = std::none_of(holders.begin(), holders.end(), [this](long holder) {
      return table_.ReplyTimerActive(holder) || table_.At(holder).Closing();
    });
    if (!holders.empty() && allAnswered) CompleteWaitingLogin(waiting);
  }
}

void LoginService::CompleteWaitingLogin(long index) {
  table_.StopReplyTimer(index);
  const std::uint64_t serial = table_.At(index).serial;
  const std::string nickname = table_.At(index).pendingNickname;
  const std::vector<std::string> login = PayloadFields(table_.At(index).pendingLogin, 3);
  const bool conflict = !RemainingHolders(index).empty();
  table_.ClearPendingLogin(index);
  if (table_.At(index).LoggedIn()) return;
  if (conflict) {
    log_.Log(LogMessageType::ChatnameAlreadyUsed, {{"%id", std::to_string(index)}, {"%peer", table_.PeerNotLoggedIn(index)}});
    if (!table_.SameConnection(index, serial)) return;
    table_.SendCommand(index, "acceptUser", "used");
    if (table_.SameConnection(index, serial)) connections_.RemoveUser(index, {.tellRoom = true});
    return;
  }
  if (UsersFillServer()) {
    if (table_.SameConnection(index, serial)) DenyUser(index, nickname);
    return;
  }
  if (!table_.SameConnection(index, serial)) return;
  LoginUser(index, nickname, login[0], login[1], login[2]);
}

void LoginService::LoginDeadline(long index) {
  // Counted from the connect, whatever the connection did since: one that has not logged in
  // by now goes as a connection that stopped answering does.
  if (!table_.InUse(index) || table_.At(index).LoggedIn() || table_.At(index).Closing()) return;
  log_.Log(LogMessageType::PingTimeout, {{"%id", std::to_string(index)}, {"%peer", table_.PeerNotLoggedIn(index)}});
  connections_.RemoveUser(index, {.reason = "Timeout", .tellRoom = true, .byError = true});
}

}  // namespace velmorin
