// The connection table: accepting and refusing clients, taking and giving back slots, the
// client sockets' events and the window timers.

#include <sys/random.h>

#include <algorithm>
#include <cassert>

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
namespace {

// 16 random bytes as 32 uppercase hexadecimal digits; empty when no randomness is available.
std::string NewLoginKey() {
  char bytes[16];
  if (::getrandom(bytes, sizeof bytes, 0) != static_cast<ssize_t>(sizeof bytes)) return {};
  return fieldcipher::HexEncode(std::string_view(bytes, sizeof bytes));
}

}  // namespace

bool clsServer::InUse(long index) const {
  return index >= 1 && index <= MaxIndex() && !connections_[static_cast<std::size_t>(index)].Free;
}

bool clsServer::SameConnection(long index, std::uint64_t serial) const {
  return InUse(index) && connections_[static_cast<std::size_t>(index)].Serial == serial &&
         !connections_[static_cast<std::size_t>(index)].LoginKey.empty();
}

ctlSocket* clsServer::Socket(long index) {
  if (index == 0) return &listener_;
  if (index < 1 || index > MaxIndex()) return nullptr;
  return sockets_[static_cast<std::size_t>(index)].get();
}

long clsServer::FindFreeSlot() const {
  for (long index = 1; index <= MaxIndex(); ++index) {
    if (connections_[static_cast<std::size_t>(index)].Free) return index;
  }
  return MaxIndex() + 1;
}

long clsServer::AllocateConnection() {
  const long index = FindFreeSlot();
  if (index > MaxIndex()) {
    connections_.resize(static_cast<std::size_t>(index) + 1);
    receives_.resize(static_cast<std::size_t>(index) + 1);
    sockets_.resize(static_cast<std::size_t>(index) + 1);
  }
  ConnectionRecord& record = Record(index);
  record.Free = false;
  record.ChatroomAdmin = false;
  record.Away = false;
  record.ChatroomID = -1;
  record.EncryptionIndex = -1;
  record.EncryptionActive = false;
  record.LoginKey = NewLoginKey();
  record.ConnectTime = std::time(nullptr);
  record.Serial = nextSerial_++;
  notLoggedIn_[record.Serial] = index;
  ReceiveState& receive = receives_[static_cast<std::size_t>(index)];
  receive.SeparatorPos = 0;
  receive.PacketLength = 0;
  receive.Waiting = false;
  ++connectionCount_;
  sockets_[static_cast<std::size_t>(index)] = std::make_unique<ctlSocket>(static_cast<SocketEvents*>(this));
  sockets_[static_cast<std::size_t>(index)]->SetIndex(index);
  StartTimer(LoginDeadlineTimerId(index), LoginDeadlineMs());
  // Last: the status display is a call out, and the slot is complete by now.
  Record(index).FullAtConnect = RefreshStatus() == StatusFull;
  return index;
}

long clsServer::LoginDeadlineMs() {
  const long timeout = std::max(ServerSettings.General.PingTimeout, 0L);
  return kLoginDeadlinePingTimeouts * timeout + kLoginDeadlineGraceMs;
}

long clsServer::OldestConnectionNotLoggedIn() const {
  for (const auto& [serial, index] : notLoggedIn_) {
    if (SameConnection(index, serial)) return index;  // not one whose removal is under way
  }
  return -1;
}

bool clsServer::CountsAgreeWithTable() const {
  long connections = 0;
  long users = 0;
  std::size_t waiting = 0;
  for (long index = 1; index <= MaxIndex(); ++index) {
    const ConnectionRecord& record = connections_[static_cast<std::size_t>(index)];
    if (record.Free) continue;
    ++connections;
    if (record.LoggedIn()) ++users;
    if (!record.PendingNickname.empty()) ++waiting;
  }
  std::size_t indexed = 0;
  for (const auto& [name, slots] : nicknameIndex_) indexed += slots.size();
  std::size_t pending = 0;
  for (const auto& [name, slots] : pendingIndex_) pending += slots.size();
  return connections == connectionCount_ && users == userCount_ && indexed == static_cast<std::size_t>(users) &&
         pending == waiting &&
         notLoggedIn_.size() == static_cast<std::size_t>(connections - users) &&
         userCount_ >= 0 && connectionCount_ >= 0;
}

void clsServer::OnConnectionRequest(ctlSocket& socket, long requestId) {
  if (socket.Index() != 0) return;
  const long maxUsers = ServerSettings.General.MaxUserCount;
  const std::string address = socket.RemoteHostIP();
  if (IsAddressBanned(address)) return;
  if (connectionCount_ > maxUsers + maxUsers / 2) {
    // At the limit, the newcomer takes the place of the oldest connection that has not logged
    // in, so connections that never log in cannot lock real clients out.
    const long oldest = OldestConnectionNotLoggedIn();
    if (oldest < 0) return;
    RemoveUser(oldest, "Timeout", true, -1);
    if (!IsOnline() || connectionCount_ > maxUsers + maxUsers / 2) return;
  }

  const long index = AllocateConnection();
  const std::uint64_t serial = Record(index).Serial;
  log_.Log(LogMessageType::Connected, {{"%id", std::to_string(index)}, {"%ip", address}});
  ctlSocket& client = *sockets_[static_cast<std::size_t>(index)];
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
    figures.users = userCount_;
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

void clsServer::ForgetEncryption(long index) {
  const long plugin = Record(index).EncryptionIndex;
  Record(index).EncryptionActive = false;
  Record(index).EncryptionIndex = -1;
  // The plugin drops the connection's keys, so the next connection in this slot starts clean.
  if (LoadedPlugin* cipher = encryptionPlugins_.At(plugin)) cipher->Reset(index);
}

void clsServer::RemoveUser(long index, const std::string& reason, bool roomNotice, long errorFlag) {
  if (!InUse(index) || Record(index).LoginKey.empty()) return;
  // An empty login key marks the removal as under way: a second RemoveUser of the slot, from
  // inside one of the calls below, does nothing.
  const std::uint64_t serial = Record(index).Serial;
  Record(index).LoginKey.clear();
  // Front end, plugins and sends below may re-enter the server; a plugin may even take it
  // offline, which rebuilds the table. After each call out the slot is checked again, and once
  // it is no longer this connection's, the rest of the removal was done by the rebuild.
  frontEnd_.UserListRemove(index);
  if (!SlotHolds(index, serial)) return;
  ForgetEncryption(index);
  if (!SlotHolds(index, serial)) return;
  ctlSocket* socket = sockets_[static_cast<std::size_t>(index)].get();
  if (socket != nullptr && (socket->State() == sckConnected || socket->State() == sckError)) {
    socket->CloseSocket();
    log_.Log(LogMessageType::Disconnected, {{"%id", std::to_string(index)}});
    if (!SlotHolds(index, serial)) return;
  }
  const long room = Record(index).ChatroomID;
  if (room > -1) {
    if (roomNotice) UserLeftEvent(index, -1, room, reason);
    if (!SlotHolds(index, serial)) return;
    chatrooms_->RemoveUser(room, index);
    Record(index).ChatroomID = -1;
  }
  const std::string nickname = Record(index).Nickname;
  if (!nickname.empty()) {
    events_.UserStatus("userloggedout", nickname + '\0' + (errorFlag != 0 ? "1" : "0"));
    if (!SlotHolds(index, serial)) return;
  }
  ReleaseSlot(index);
  RefreshStatus();
}

bool clsServer::SlotHolds(long index, std::uint64_t serial) const {
  return index >= 1 && index <= MaxIndex() && !connections_[static_cast<std::size_t>(index)].Free &&
         connections_[static_cast<std::size_t>(index)].Serial == serial;
}

void clsServer::ReleaseSlot(long index) {
  ClearNickname(index);
  ClearPendingLogin(index);
  StopConnectionTimers(index);
  ConnectionRecord& record = Record(index);
  notLoggedIn_.erase(record.Serial);
  record.ChatroomID = -1;
  record.SessionKey.clear();
  record.ClientVersion.clear();
  receives_[static_cast<std::size_t>(index)].Clear();
  // The socket finishes its graceful close on its own and is destroyed from the loop.
  LingerAndDestroy(std::move(sockets_[static_cast<std::size_t>(index)]));
  record.Free = true;
  --connectionCount_;

  long highest = MaxIndex();
  while (highest >= 1 && connections_[static_cast<std::size_t>(highest)].Free) --highest;
  const std::size_t size = static_cast<std::size_t>(std::max(highest, 1L)) + 1;
  if (size < connections_.size()) {
    connections_.resize(size);
    receives_.resize(size);
    sockets_.resize(size);
  }
  assert(CountsAgreeWithTable());
}

void clsServer::OnClose(ctlSocket& socket) {
  const long index = socket.Index();
  if (index <= 0) return;
  if (InUse(index) && !Record(index).LoginKey.empty()) {
    log_.Log(LogMessageType::Disconnected, {{"%id", std::to_string(index)}});
  }
  RemoveUser(index, "", true, 0);
}

void clsServer::OnError(ctlSocket& socket, const SocketError& error) {
  const long index = socket.Index();
  if (index < 0) return;  // a socket the server let go of
  const std::uint64_t serial = InUse(index) ? Record(index).Serial : 0;
  events_.OnlineStatus("error", std::to_string(index) + '\0' + std::to_string(error.number));
  // The plugins hearing of the error may have removed the connection or rebuilt the table.
  if (index > 0 && SameConnection(index, serial)) RemoveUser(index, "", true, -1);
}

void clsServer::OnSendComplete(ctlSocket& socket) {
  const long index = socket.Index();
  if (InUse(index) && Record(index).FullAtConnect) RemoveUser(index, "", true, 0);
}

void clsServer::OnSendProgress(ctlSocket&, long bytesSent, long) {
  bytesOut_ += static_cast<double>(bytesSent);
}

void clsServer::StartTimer(long id, long intervalMs) {
  if (intervalMs <= 0) intervalMs = 1000;
  StopTimer(id);
  timers_[id] = MainLoop().StartTimer(std::chrono::milliseconds(intervalMs), [this, id] { Timer_Raised(id); });
}

void clsServer::StopTimer(long id) {
  auto it = timers_.find(id);
  if (it == timers_.end()) return;
  MainLoop().StopTimer(it->second);
  timers_.erase(it);
}

bool clsServer::IsTimerActive(long id) const { return timers_.count(id) != 0; }

void clsServer::StopConnectionTimers(long index) {
  StopTimer(index);
  StopTimer(LoginDeadlineTimerId(index));
}

void clsServer::StopEveryConnectionTimer() {
  std::vector<long> ids;
  for (const auto& [id, timer] : timers_) {
    if (id != kPingDelayTimerId) ids.push_back(id);
  }
  for (long id : ids) StopTimer(id);
}

void clsServer::Timer_Raised(long id) {
  if (id == kPingDelayTimerId) {
    for (long index = 1; index <= MaxIndex(); ++index) {
      if (InUse(index) && Record(index).PendingNickname.empty()) SendPing(index);
    }
    return;
  }
  if (id >= kLoginDeadlineTimerBase) {
    const long index = id - kLoginDeadlineTimerBase;
    StopTimer(id);
    // Counted from the connect, whatever the connection did since: one that has not logged in
    // by now goes as a connection that stopped answering does.
    if (!InUse(index) || Record(index).LoggedIn()) return;
    log_.Log(LogMessageType::PingTimeout, {{"%id", std::to_string(index)}});
    RemoveUser(index, "Timeout", true, -1);
    return;
  }
  StopTimer(id);
  if (!InUse(id)) return;
  if (!Record(id).PendingNickname.empty()) {
    CompleteWaitingLogin(id);
    return;
  }
  log_.Log(LogMessageType::PingTimeout, {{"%id", std::to_string(id)}});
  RemoveUser(id, "Timeout", true, -1);
}

}  // namespace velmorin
