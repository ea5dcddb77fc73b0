// The connection table: accepting and refusing clients, taking and giving back slots, the
// client sockets' events and the window timers.

#include <sys/random.h>


#include "core/clsServer.hpp"
#include "moderation/modBanning.hpp"
#include "net/LingeringSockets.hpp"
#include "net/modSocket.hpp"
#include "protocol/modEncryption.hpp"
#include "platform/EventLoop.hpp"
#include "platform/Text.hpp"
#include "store/modSettings.hpp"
#include "store/modWelcomeMsg.hpp"

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
  ReceiveState& receive = receives_[static_cast<std::size_t>(index)];
  receive.SeparatorPos = 0;
  receive.PacketLength = 0;
  receive.Waiting = false;
  const bool full = RefreshStatus() == StatusFull;
  Record(index).FullAtConnect = full;
  ++connectionCount_;
  sockets_[static_cast<std::size_t>(index)] = std::make_unique<ctlSocket>(static_cast<SocketEvents*>(this));
  sockets_[static_cast<std::size_t>(index)]->SetIndex(index);
  return index;
}

void clsServer::OnConnectionRequest(ctlSocket& socket, long requestId) {
  if (socket.Index() != 0) return;
  const long maxUsers = ServerSettings.General.MaxUserCount;
  if (connectionCount_ > maxUsers + maxUsers / 2) return;
  const std::string address = socket.RemoteHostIP();
  if (IsAddressBanned(address)) return;

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
    welcomeText = BuildWelcomeText(figures, [this](const std::string& text) { return events_.WelcomeMessage(text); });
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
  Record(index).LoginKey.clear();
  frontEnd_.UserListRemove(index);
  ForgetEncryption(index);
  ctlSocket* socket = sockets_[static_cast<std::size_t>(index)].get();
  if (socket != nullptr && (socket->State() == sckConnected || socket->State() == sckError)) {
    socket->CloseSocket();
    log_.Log(LogMessageType::Disconnected, {{"%id", std::to_string(index)}});
  }
  const long room = Record(index).ChatroomID;
  if (room > -1) {
    if (roomNotice) UserLeftEvent(index, -1, room, reason);
    chatrooms_->RemoveUser(room, index);
    Record(index).ChatroomID = -1;
  }
  const std::string nickname = Record(index).Nickname;
  if (!nickname.empty()) {
    events_.UserStatus("userloggedout", nickname + '\0' + (errorFlag != 0 ? "1" : "0"));
  }
  --connectionCount_;
  if (!Record(index).Nickname.empty()) {
    --userCount_;
    ClearNickname(index);
  }
  RefreshStatus();
  StopTimer(index);
  ConnectionRecord& record = Record(index);
  record.PendingNickname.clear();
  record.PendingLogin.clear();
  record.PendingConflicts.clear();
  record.SessionKey.clear();
  record.ClientVersion.clear();
  receives_[static_cast<std::size_t>(index)].Clear();
  // The socket finishes its graceful close on its own and is destroyed from the loop.
  LingerAndDestroy(std::move(sockets_[static_cast<std::size_t>(index)]));
  record.Free = true;

  long highest = MaxIndex();
  while (highest >= 1 && connections_[static_cast<std::size_t>(highest)].Free) --highest;
  const std::size_t size = static_cast<std::size_t>(std::max(highest, 1L)) + 1;
  if (size < connections_.size()) {
    connections_.resize(size);
    receives_.resize(size);
    sockets_.resize(size);
  }
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
  events_.OnlineStatus("error", std::to_string(index) + '\0' + std::to_string(error.number));
  if (index > 0) RemoveUser(index, "", true, -1);
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

void clsServer::Timer_Raised(long id) {
  if (id == kPingDelayTimerId) {
    for (long index = 1; index <= MaxIndex(); ++index) {
      if (InUse(index) && Record(index).PendingNickname.empty()) SendPing(index);
    }
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
