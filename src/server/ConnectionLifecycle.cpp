// A connection's life as the server sees it: accepting and refusing clients, the welcome, the
// removal, and the connection timers running out.

#include <algorithm>

#include "server/clsServer.hpp"
#include "config/modBanning.hpp"
#include "net/LingeringSockets.hpp"
#include "net/modSocket.hpp"
#include "codec/modEncryption.hpp"
#include "platform/EventLoop.hpp"
#include "platform/Text.hpp"
#include "config/modSettings.hpp"
#include "config/modWelcomeMsg.hpp"

namespace velmorin {

void clsServer::OnConnectionRequest(ctlSocket& socket, long requestId) {
  if (socket.Index() != 0) return;
  const long maxUsers = ServerSettings.General.MaxUserCount;
  const std::string address = socket.RemoteHostIP();
  if (IsAddressBanned(address)) return;
  if (table_.ConnectionCount() > maxUsers + maxUsers / 2) {
    // At the limit, the newcomer takes the place of the oldest connection that has not logged
    // in, so connections that never log in cannot lock real clients out.
    const long oldest = table_.OldestConnectionNotLoggedIn();
    if (oldest < 0) return;
    RemoveUser(oldest, "Timeout", true, -1);
    if (!IsOnline() || table_.ConnectionCount() > maxUsers + maxUsers / 2) return;
  }

  const long index = table_.Allocate();
  const std::uint64_t serial = Record(index).Serial;
  // Last: the status display is a call out, and the slot is complete by now.
  Record(index).FullAtConnect = RefreshStatus() == StatusFull;
  log_.Log(LogMessageType::Connected, {{"%id", std::to_string(index)}, {"%ip", address}});
  if (!table_.SameConnection(index, serial)) return;
  ctlSocket& client = *Record(index).Socket();
  client.SetLocalPort(ServerSettings.General.ActivePort);
  if (client.Accept(requestId)) {
    RemoveUser(index, "", false, 0);
    return;
  }
  // Replies go out at once, and everything a pass produces for a client leaves in one send.
  client.SetNoDelay(true);
  client.SetDeferredFlush(true);
  RefreshStatus();
  frontEnd_.UserListAdd(index, address);
  // Logging or the front end may have reached code that removed the connection meanwhile.
  if (!SameConnection(index, serial)) return;
  SendWelcome(index);
}

void clsServer::SendWelcome(long index) {
  const GeneralSettings& general = ServerSettings.General;
  const std::string& standard = ServerSettings.Chatrooms.StandardChatroom;
  std::string welcomeText;
  if (ServerSettings.WelcomeMessage.SendWelcomeMessage) {
    WelcomeFigures figures;
    figures.users = table_.UserCount();
    figures.port = listener_.LocalPort();
    figures.addresses = SplitLines(GetLocalIPs() + "\r\n");
    figures.onlineSeconds = OnlineSeconds();
    const std::uint64_t serial = Record(index).Serial;
    welcomeText = BuildWelcomeText(figures, [this](const std::string& text) { return events_.WelcomeMessage(text); });
    // The plugins may have removed the connection, or rebuilt the whole table.
    if (!SameConnection(index, serial)) return;
  }
  const std::string payload = ServerSettings.Info.Version + "\r\n" +
                              (serverStatus_ != StatusReady ? "full" : "ok") + "\r\n" +
                              CurrentLanguage().language() + "\r\n" + std::to_string(general.MaxTextLength) +
                              "\r\n" + general.AdministratorName + "\r\n" + general.AdministratorEMail + "\r\n" +
                              (chatrooms_->GetChatroomID(standard) >= 0 ? standard : std::string()) + "\r\n" +
                              chatrooms_->OnlyChatroom() + "\r\n" + Record(index).LoginKey + "\r\n" + "0.6" +
                              '\0' + welcomeText;
  log_.Log(LogMessageType::SendingWelcome, {{"%id", std::to_string(index)}});
  SendCommand(index, "welcome", payload);
}

void clsServer::RemoveUser(long index, const std::string& reason, bool roomNotice, long errorFlag) {
  if (!InUse(index) || Record(index).Closing()) return;
  // From here the connection is closing: a second RemoveUser of the slot, from inside one of
  // the calls below, does nothing.
  const std::uint64_t serial = Record(index).Serial;
  Record(index).StartClosing();
  // Front end, plugins and sends below may re-enter the server; a plugin may even take it
  // offline, which rebuilds the table. After each call out the slot is checked again, and once
  // it is no longer this connection's, the rest of the removal was done by the rebuild.
  frontEnd_.UserListRemove(index);
  if (!table_.SlotHolds(index, serial)) return;
  table_.ForgetEncryption(index);
  if (!table_.SlotHolds(index, serial)) return;
  ctlSocket* socket = Record(index).Socket();
  if (socket != nullptr && (socket->State() == sckConnected || socket->State() == sckError)) {
    socket->CloseSocket();
    log_.Log(LogMessageType::Disconnected, {{"%id", std::to_string(index)}});
    if (!table_.SlotHolds(index, serial)) return;
  }
  const long room = Record(index).ChatroomID;
  if (room > -1) {
    if (roomNotice) UserLeftEvent(index, -1, room, reason);
    if (!table_.SlotHolds(index, serial)) return;
    chatrooms_->RemoveUser(room, index);
    Record(index).ChatroomID = -1;
  }
  const std::string nickname = Record(index).Nickname;
  if (!nickname.empty()) {
    events_.UserStatus("userloggedout", nickname + '\0' + (errorFlag != 0 ? "1" : "0"));
    if (!table_.SlotHolds(index, serial)) return;
  }
  table_.Release(index);
  RefreshStatus();
}

void clsServer::OnError(ctlSocket& socket, const SocketError& error) {
  // The listening socket's errors reach the plugins; the client sockets report to the table.
  if (socket.Index() != 0) return;
  events_.OnlineStatus("error", std::string("0") + '\0' + std::to_string(error.number));
}

void clsServer::PingCycle() {
  for (long index = 1; index <= MaxIndex(); ++index) {
    if (InUse(index) && !Record(index).WaitingForNickname() && !Record(index).Closing()) SendPing(index);
  }
}

bool clsServer::IsTimerActive(long id) const {
  return id == kPingDelayTimerId ? pingCycle_.has_value() : table_.ReplyTimerActive(id);
}

void clsServer::LoginDeadline(long index) {
  // Counted from the connect, whatever the connection did since: one that has not logged in
  // by now goes as a connection that stopped answering does.
  if (!InUse(index) || Record(index).LoggedIn() || Record(index).Closing()) return;
  log_.Log(LogMessageType::PingTimeout, {{"%id", std::to_string(index)}});
  RemoveUser(index, "Timeout", true, -1);
}

void clsServer::ReplyTimeout(long index) {
  if (!InUse(index)) return;
  if (Record(index).WaitingForNickname()) {
    CompleteWaitingLogin(index);
    return;
  }
  log_.Log(LogMessageType::PingTimeout, {{"%id", std::to_string(index)}});
  RemoveUser(index, "Timeout", true, -1);
}

}  // namespace velmorin
