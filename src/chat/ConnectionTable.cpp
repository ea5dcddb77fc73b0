// The connection table: slots, counts and indexes, each connection's timers, and the packets in
// both directions (the reader and dispatch hand-over, the writer and the payload encryption).

#include "chat/ConnectionTable.hpp"

#include <sys/random.h>

#include <algorithm>
#include <cassert>
#include <exception>
#include <utility>

#include "codec/FieldCipher.hpp"
#include "codec/PacketReader.hpp"
#include "codec/PacketWriter.hpp"
#include "config/Settings.hpp"
#include "net/LingeringSockets.hpp"
#include "platform/EventLoop.hpp"
#include "platform/Text.hpp"
#include "plugins/PluginCallGuard.hpp"

namespace velmorin {
namespace {

// 16 random bytes as 32 uppercase hexadecimal digits; empty when no randomness is available.
std::string NewLoginKey() {
  char bytes[16];
  if (::getrandom(bytes, sizeof bytes, 0) != static_cast<ssize_t>(sizeof bytes)) return {};
  return fieldcipher::HexEncode(std::string_view(bytes, sizeof bytes));
}

constexpr std::size_t kInitialSlots = 2;

}  // namespace

ConnectionTable::ConnectionTable(LogWriter& log, PluginEvents& events, const EncryptionPlugins& ciphers)
    : log_(log), events_(events), ciphers_(ciphers) {
  slots_.resize(kInitialSlots);
}

ConnectionTable::~ConnectionTable() {
  for (const auto& [index, timer] : timers_.reply) MainLoop().StopTimer(timer);
  for (const auto& [index, timer] : timers_.deadline) MainLoop().StopTimer(timer);
}

StreamSocket* ConnectionTable::Socket(long index) { return InUse(index) ? At(index).Socket() : nullptr; }

std::string ConnectionTable::PeerNotLoggedIn(long index) const {
  if (!InUse(index) || !At(index).nickname.empty() || At(index).Socket() == nullptr) return {};
  return At(index).Socket()->RemoteHostIP();
}

long ConnectionTable::FindFreeSlot() const {
  for (long index = 1; index <= MaxIndex(); ++index) {
    if (slots_[static_cast<std::size_t>(index)] == nullptr) return index;
  }
  return MaxIndex() + 1;
}

long ConnectionTable::Allocate() {
  const long index = FindFreeSlot();
  if (index > MaxIndex()) slots_.resize(static_cast<std::size_t>(index) + 1);
  const std::uint64_t serial = nextSerial_++;
  slots_[static_cast<std::size_t>(index)] =
      std::make_unique<Connection>(static_cast<StreamSocketEvents*>(this), index, serial, NewLoginKey());
  notLoggedIn_[serial] = index;
  ++connectionCount_;
  timers_.deadline[index] = MainLoop().StartTimer(std::chrono::milliseconds(LoginDeadlineMs()), [this, index] {
    StopTimer(timers_.deadline, index);
    if (handler_ != nullptr) handler_->LoginDeadline(index);
  });
  return index;
}

void ConnectionTable::Release(long index) {
  ClearNickname(index);
  ClearPendingLogin(index);
  StopConnectionTimers(index);
  std::unique_ptr<Connection> connection = std::move(slots_[static_cast<std::size_t>(index)]);
  notLoggedIn_.erase(connection->serial);
  // The socket finishes its graceful close on its own and is destroyed from the loop.
  if (std::unique_ptr<StreamSocket> socket = connection->ReleaseSocket()) LingerAndDestroy(std::move(socket));
  --connectionCount_;

  long highest = MaxIndex();
  while (highest >= 1 && slots_[static_cast<std::size_t>(highest)] == nullptr) --highest;
  const std::size_t size = static_cast<std::size_t>(std::max(highest, 1L)) + 1;
  if (size < slots_.size()) slots_.resize(size);
  assert(CountsAgreeWithTable());
}

void ConnectionTable::Reset() {
  for (const auto& [index, timer] : timers_.reply) MainLoop().StopTimer(timer);
  for (const auto& [index, timer] : timers_.deadline) MainLoop().StopTimer(timer);
  timers_ = Timers{};
  // One of these sockets may be delivering the very event that led here: each closes and is
  // destroyed from the loop.
  for (std::unique_ptr<Connection>& connection : slots_) {
    if (connection == nullptr) continue;
    std::unique_ptr<StreamSocket> socket = connection->ReleaseSocket();
    if (socket == nullptr) continue;
    socket->SetIndex(-1);
    if (socket->State() == StreamState::Connected) socket->CloseSocket();
    LingerAndDestroy(std::move(socket));
  }
  slots_.clear();
  slots_.resize(kInitialSlots);
  userCount_ = 0;
  connectionCount_ = 0;
  nicknameIndex_.clear();
  notLoggedIn_.clear();
  pendingIndex_.clear();
}

bool ConnectionTable::CountsAgreeWithTable() const {
  long connections = 0;
  long users = 0;
  std::size_t waiting = 0;
  for (long index = 1; index <= MaxIndex(); ++index) {
    if (!InUse(index)) continue;
    const Connection& connection = At(index);
    ++connections;
    // A connection being removed keeps its nickname and its wait until its slot is released.
    if (!connection.nickname.empty()) ++users;
    if (!connection.pendingNickname.empty()) ++waiting;
  }
  std::size_t indexed = 0;
  for (const auto& [name, slots] : nicknameIndex_) indexed += slots.size();
  std::size_t pending = 0;
  for (const auto& [name, slots] : pendingIndex_) pending += slots.size();
  return connections == connectionCount_ && users == userCount_ && indexed == static_cast<std::size_t>(users) &&
         pending == waiting && notLoggedIn_.size() == static_cast<std::size_t>(connections - users) &&
         userCount_ >= 0 && connectionCount_ >= 0;
}

long ConnectionTable::GetUserID(const std::string& nickname) const {
  if (nickname.empty()) return -1;
  const auto found = nicknameIndex_.find(LowerCase(nickname));
  return found == nicknameIndex_.end() ? -1 : *found->second.begin();
}

std::set<long> ConnectionTable::Holders(const std::string& lowered) const {
  const auto found = nicknameIndex_.find(lowered);
  return found == nicknameIndex_.end() ? std::set<long>{} : found->second;
}

std::set<long> ConnectionTable::Waiting(const std::string& lowered) const {
  const auto found = pendingIndex_.find(lowered);
  return found == pendingIndex_.end() ? std::set<long>{} : found->second;
}

void ConnectionTable::SetNickname(long index, const std::string& nickname) {
  ClearNickname(index);
  Connection& connection = At(index);
  if (nickname.empty()) {
    notLoggedIn_[connection.serial] = index;
    return;
  }
  connection.nickname = nickname;
  connection.LogIn();
  nicknameIndex_[LowerCase(nickname)].insert(index);
  notLoggedIn_.erase(connection.serial);
  ++userCount_;
}

void ConnectionTable::ClearNickname(long index) {
  std::string& nickname = At(index).nickname;
  if (nickname.empty()) return;
  const auto found = nicknameIndex_.find(LowerCase(nickname));
  if (found != nicknameIndex_.end()) {
    found->second.erase(index);
    if (found->second.empty()) nicknameIndex_.erase(found);
  }
  nickname.clear();
  --userCount_;
}

void ConnectionTable::WaitForNickname(long index, const std::string& nickname, std::string login,
                                      std::string conflicts) {
  Connection& connection = At(index);
  connection.pendingNickname = nickname;
  connection.pendingLogin = std::move(login);
  connection.pendingConflicts = std::move(conflicts);
  connection.WaitForNickname();
  pendingIndex_[LowerCase(nickname)].insert(index);
}

void ConnectionTable::ClearPendingLogin(long index) {
  Connection& connection = At(index);
  if (connection.pendingNickname.empty() && connection.pendingLogin.empty() && connection.pendingConflicts.empty()) {
    return;
  }
  StopReplyTimer(index);
  if (const auto found = pendingIndex_.find(LowerCase(connection.pendingNickname)); found != pendingIndex_.end()) {
    found->second.erase(index);
    if (found->second.empty()) pendingIndex_.erase(found);
  }
  connection.pendingNickname.clear();
  connection.pendingLogin.clear();
  connection.pendingConflicts.clear();
  connection.StopWaiting();
}

long ConnectionTable::OldestConnectionNotLoggedIn() const {
  for (const auto& [serial, index] : notLoggedIn_) {
    if (SameConnection(index, serial)) return index;  // not one whose removal is under way
  }
  return -1;
}

long ConnectionTable::LoginDeadlineMs() {
  const long timeout = std::max(ServerSettings.General.PingTimeout, 0L);
  return kLoginDeadlinePingTimeouts * timeout + kLoginDeadlineGraceMs;
}

void ConnectionTable::StartReplyTimer(long index, long intervalMs) {
  if (intervalMs <= 0) intervalMs = 1000;
  StopReplyTimer(index);
  timers_.reply[index] = MainLoop().StartTimer(std::chrono::milliseconds(intervalMs), [this, index] {
    StopTimer(timers_.reply, index);
    if (InUse(index) && handler_ != nullptr) handler_->ReplyTimeout(index);
  });
}

void ConnectionTable::StopReplyTimer(long index) { StopTimer(timers_.reply, index); }

bool ConnectionTable::ReplyTimerActive(long index) const { return timers_.reply.count(index) != 0; }

void ConnectionTable::StopLoginDeadline(long index) { StopTimer(timers_.deadline, index); }

void ConnectionTable::StopTimer(std::map<long, std::uint64_t>& timers, long index) {
  const auto found = timers.find(index);
  if (found == timers.end()) return;
  MainLoop().StopTimer(found->second);
  timers.erase(found);
}

void ConnectionTable::StopConnectionTimers(long index) {
  StopReplyTimer(index);
  StopLoginDeadline(index);
}

// ---- Packets going out ----

StreamSocket* ConnectionTable::SendableSocket(long index) {
  StreamSocket* socket = Socket(index);
  if (socket != nullptr && socket->State() == StreamState::Connected) return socket;
  log_.Log(LogMessageType::ErrorSendingData, {{"%id", std::to_string(index)}});
  if (handler_ != nullptr) handler_->RemoveUser(index, {.reason = "Error", .tellRoom = true, .byError = true});
  return nullptr;
}

void ConnectionTable::SendCommand(long index, const std::string& command, const std::string& data) {
  StreamSocket* socket = SendableSocket(index);
  if (socket == nullptr) return;
  if (!At(index).EncryptionOn()) {
    socket->SendData(FramePacket(command, data));
    return;
  }
  const std::optional<std::string> encrypted = EncryptPayload(index, data);
  // A failure is logged, and logging may reach plugins: the socket is looked up again.
  if (encrypted.has_value() && (socket = Socket(index)) != nullptr) socket->SendData(FramePacket(command, *encrypted));
}

void ConnectionTable::SendCommandToEach(const std::vector<long>& targets, const std::string& command,
                                        const std::string& data) {
  // Each connection gets one copy, however often the list names it; one that fails or goes
  // while the packet is being handed out gets nothing more.
  // Duplicates are found by marking slots with this call's round number: no hashing, no
  // allocation per recipient. Numbers outside the table (nobody holds them) are rare and
  // compared one by one. Nothing below calls out before the list is complete, so a call
  // re-entered from a send starts a round of its own without disturbing this one.
  std::vector<std::pair<long, std::uint64_t>> recipients;
  recipients.reserve(targets.size());
  const std::uint64_t round = ++relayRound_;
  relayMarks_.resize(slots_.size());
  std::vector<long> outside;
  for (long target : targets) {
    if (target >= 1 && target <= MaxIndex()) {
      std::uint64_t& mark = relayMarks_[static_cast<std::size_t>(target)];
      if (mark == round) continue;
      mark = round;
    } else if (std::find(outside.begin(), outside.end(), target) != outside.end()) {
      continue;
    } else {
      outside.push_back(target);
    }
    recipients.emplace_back(target, InUse(target) ? At(target).serial : 0);
  }
  const std::string packet = FramePacket(command, data);
  for (const auto& [target, serial] : recipients) {
    if (serial == 0) {
      SendableSocket(target);  // nobody holds the slot: logged as a failed send
      continue;
    }
    // One look at the slot per recipient: the sends below do not call out, only the failure
    // handling and the cipher do, and the next recipient looks again.
    if (!SameConnection(target, serial)) continue;
    Connection& connection = At(target);
    StreamSocket* socket = connection.Socket();
    if (connection.EncryptionOn()) {
      SendCommand(target, command, data);
    } else if (socket != nullptr && socket->State() == StreamState::Connected) {
      socket->SendData(packet);
    } else {
      SendableSocket(target);  // logs the failed send and removes the connection
    }
  }
}

// ---- Payload encryption through the encryption plugin a connection chose ----

std::optional<std::string> ConnectionTable::ExchangeEncryptionKey(long index, const std::string& clientKey) {
  LoadedPlugin* plugin = ciphers_.At(At(index).encryptionIndex);
  const PluginCallGuard guard(ciphers_.Ident(At(index).encryptionIndex), "the key exchange");
  if (plugin == nullptr || !plugin->SetKey(index, clientKey)) return std::nullopt;
  std::optional<std::string> ownKey = plugin->GetKey(index);
  if (!ownKey.has_value() || ownKey->empty()) return std::nullopt;
  return ownKey;
}

void ConnectionTable::ForgetEncryption(long index) {
  Connection& connection = At(index);
  const long plugin = connection.encryptionIndex;
  connection.encryptionActive = false;
  connection.encryptionIndex = -1;
  // The plugin drops the connection's keys, so the next connection in this slot starts clean.
  if (LoadedPlugin* cipher = ciphers_.At(plugin)) cipher->Reset(index);
}

LoadedPlugin* ConnectionTable::ActiveCipher(long index) {
  if (!InUse(index) || !At(index).encryptionActive) return nullptr;
  return ciphers_.At(At(index).encryptionIndex);
}

// A connection whose encryption is on never gets a payload in clear: when its plugin is gone
// or fails, the packet is not sent.
std::optional<std::string> ConnectionTable::EncryptPayload(long index, const std::string& data) {
  return PassThroughCipher(index, data, &LoadedPlugin::Encrypt,
                           "The encryption plugin could not encrypt a packet for connection ", "frmServer.SendCommand");
}

// A payload that does not decrypt (tampered, replayed, or not from the key holder) is never
// handed to the dispatcher.
std::optional<std::string> ConnectionTable::DecryptPayload(long index, const std::string& data) {
  return PassThroughCipher(index, data, &LoadedPlugin::Decrypt,
                           "The encryption plugin could not decrypt a packet from connection ",
                           "frmServer.sckServer_OnDataArrival");
}

std::optional<std::string> ConnectionTable::PassThroughCipher(long index, const std::string& data, CipherMember member,
                                                              const std::string& failure, const char* source) {
  LoadedPlugin* plugin = ActiveCipher(index);
  std::optional<std::string> result;
  if (plugin != nullptr) {
    const PluginCallGuard guard(ciphers_.Ident(At(index).encryptionIndex),
                                member == &LoadedPlugin::Encrypt ? "encrypt" : "decrypt");
    result = (plugin->*member)(index, data);
  }
  if (!result.has_value()) {
    log_.Log(LogMessageType::ErrorRaised, {{"%id", std::to_string(index)},
                                           {"%nr", "5"},
                                           {"%description", failure + std::to_string(index)},
                                           {"%source", source}});
  }
  return result;
}

// ---- Packets coming in, and the ends of a connection ----

void ConnectionTable::OnDataArrival(StreamSocket& socket) {
  const long index = socket.Index();
  if (!InUse(index)) return;
  if (socket.State() != StreamState::Connected) return;
  // The socket reports every byte it holds; those a held-up reader left there were counted.
  Connection& connection = At(index);
  const std::size_t held = socket.ReceivedView().size();
  if (held > connection.countedInput) bytesIn_ += static_cast<double>(held - connection.countedInput);
  connection.countedInput = held;
  // One packet at a time, as long as the handling of the last one lets the reader go on. A loop,
  // not a self-call: thousands of tiny packets in one read must not deepen the stack.
  const std::uint64_t serial = connection.serial;
  while (SameConnection(index, serial) && ReadOnePacket(index)) {
  }
  if (!SameConnection(index, serial)) return;
  const StreamSocket* still = Socket(index);
  if (still != nullptr && still->ReceivedView().size() > kMaxUnhandledInput) InvalidData(index);
}

bool ConnectionTable::ReadOnePacket(long index) {
  StreamSocket* socket = Socket(index);
  if (socket == nullptr || socket->State() != StreamState::Connected) return false;
  Connection& connection = At(index);
  PacketReader& reader = connection.Reader();
  PacketView packet;
  switch (reader.Read(socket->ReceivedView(), packet)) {
    case ReadResult::NeedMore:
      return false;
    case ReadResult::LengthError:
      // "%id" is not in the text; it tells the log's rate limit which connection this is.
      log_.Log(LogMessageType::ErrorRaised, {{"%id", std::to_string(index)},
                                             {"%nr", std::to_string(reader.ErrorNumber())},
                                             {"%description", std::string(reader.ErrorText())},
                                             {"%source", "frmServer.sckServer_OnDataArrival"}});
      InvalidData(index);
      return false;
    case ReadResult::Invalid:
      InvalidData(index);
      return false;
    case ReadResult::Packet:
      break;
  }
  // The packet leaves the socket's buffer before anything runs that could close the socket: the
  // handler sees its one copy. The room is taken, not shared, so a handler that reads another
  // packet meanwhile cannot overwrite it.
  std::string payload = std::exchange(payloadRoom_, std::string());
  payload.assign(packet.payload);
  const std::string command(packet.command);
  socket->ConsumeReceived(packet.size);
  connection.countedInput -= std::min(connection.countedInput, packet.size);
  bool goOn = true;
  if (connection.EncryptionOn()) {
    const std::uint64_t serial = connection.serial;
    std::optional<std::string> clear = DecryptPayload(index, payload);
    if (!SameConnection(index, serial)) return false;
    if (!clear.has_value()) return true;  // dropped; the next packet may be sound
    payload = std::move(*clear);
  }
  try {
    goOn = packets_->Dispatch(index, command, payload);
  } catch (const std::exception& error) {
    log_.Log(LogMessageType::ErrorRaised, {{"%id", std::to_string(index)},
                                           {"%nr", "5"},
                                           {"%description", error.what()},
                                           {"%source", "frmServer.sckServer_OnDataArrival"}});
  }
  if (payload.capacity() <= static_cast<std::size_t>(kMaxPacketLength)) payloadRoom_ = std::move(payload);
  return goOn;
}

void ConnectionTable::InvalidData(long index) {
  log_.Log(LogMessageType::ErrorInvalidData, {{"%id", std::to_string(index)}, {"%peer", PeerNotLoggedIn(index)}});
  if (StreamSocket* socket = Socket(index)) {
    socket->CloseSocket();
    OnClose(*socket);
  }
}

void ConnectionTable::OnClose(StreamSocket& socket) {
  const long index = socket.Index();
  if (index <= 0) return;
  if (InUse(index) && !At(index).Closing()) {
    log_.Log(LogMessageType::Disconnected, {{"%id", std::to_string(index)}, {"%peer", PeerNotLoggedIn(index)}});
  }
  handler_->RemoveUser(index, {.tellRoom = true});
}

void ConnectionTable::OnError(StreamSocket& socket, const SocketError& error) {
  const long index = socket.Index();
  if (index < 0) return;  // a socket the table let go of
  const std::uint64_t serial = InUse(index) ? At(index).serial : 0;
  events_.OnlineStatus("error", std::to_string(index) + '\0' + std::to_string(error.number));
  // The plugins hearing of the error may have removed the connection or rebuilt the table.
  if (index > 0 && SameConnection(index, serial)) handler_->RemoveUser(index, {.tellRoom = true, .byError = true});
}

void ConnectionTable::OnSendComplete(StreamSocket& socket) {
  const long index = socket.Index();
  if (InUse(index) && At(index).fullAtConnect) handler_->RemoveUser(index, {.tellRoom = true});
}

void ConnectionTable::OnSendProgress(StreamSocket&, long bytesSent) { bytesOut_ += static_cast<double>(bytesSent); }

}  // namespace velmorin
