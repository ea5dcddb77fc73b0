#pragma once
// The connection table: one Connection per slot, the slot number being the number clients and
// plugins see (slot 0 is the listening socket's and never holds a connection). It takes and
// gives back slots, keeps the counts and the indexes (nicknames, logins waiting for a nickname,
// connections not logged in, oldest first), runs each connection's timers, reads and decrypts
// each connection's packets and hands them to the PacketHandler, and frames, encrypts and sends
// the packets going out. A failed send, a closed or broken stream and a timer that ran out go
// to the ConnectionHandler.
//
// The read path (OnDataArrival, ReadOnePacket, InvalidData) is in one place, in the last part
// of ConnectionTable.cpp.
//
// Re-entrancy: sending, logging and raising plugin events may end in the removal of any
// connection (a failed send removes its recipient), and a plugin may even rebuild the whole
// table. Code that calls out therefore never holds a reference into the table across the call;
// it looks the slot up again and compares the slot's Serial (SameConnection) to see whether it
// still holds the same connection.

#include <chrono>
#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <unordered_map>
#include <vector>

#include "chat/Connection.hpp"
#include "chat/ConnectionHandler.hpp"
#include "chat/PacketHandler.hpp"
#include "logging/LogWriter.hpp"
#include "net/StreamSocket.hpp"
#include "plugins/EncryptionPlugins.hpp"
#include "plugins/PluginEvents.hpp"

namespace velmorin {

// A connection has this many ping time-outs plus the grace from its connect to log in: at least
// a second longer than one wait for a taken nickname (1.25 ping time-outs + 2 s), and never
// extended by another login.
inline constexpr long kLoginDeadlinePingTimeouts = 3;
inline constexpr long kLoginDeadlineGraceMs = 3000;

class ConnectionTable : private StreamSocketEvents {
 public:
  ConnectionTable(LogWriter& log, PluginEvents& events, const EncryptionPlugins& ciphers);
  ~ConnectionTable() override;
  ConnectionTable(const ConnectionTable&) = delete;
  ConnectionTable& operator=(const ConnectionTable&) = delete;

  // Whom the table hands packets and the ends of connections; set once, before the first
  // connection.
  void SetHandlers(PacketHandler& packets, ConnectionHandler& connections) {
    packets_ = &packets;
    handler_ = &connections;
  }

  // Slots.
  long MaxIndex() const { return static_cast<long>(slots_.size()) - 1; }
  bool InUse(long index) const {
    return index >= 1 && index <= MaxIndex() && slots_[static_cast<std::size_t>(index)] != nullptr;
  }
  // The connection in a slot that is in use.
  Connection& At(long index) { return *slots_[static_cast<std::size_t>(index)]; }
  const Connection& At(long index) const { return *slots_[static_cast<std::size_t>(index)]; }
  // The client socket of a slot in use, else nullptr.
  StreamSocket* Socket(long index);
  // The address of a connection that has never logged in (its log lines are limited by
  // address: the "%peer" placeholder); empty for a logged-in one or a free slot.
  std::string PeerNotLoggedIn(long index) const;
  // The slot still holds the connection `serial`, and it is not being removed.
  bool SameConnection(long index, std::uint64_t serial) const {
    return SlotHolds(index, serial) && !At(index).Closing();
  }
  // The slot still holds the connection `serial` (also while it is being removed).
  bool SlotHolds(long index, std::uint64_t serial) const { return InUse(index) && At(index).serial == serial; }
  // A new connection in the lowest free slot, its login deadline running; returns the slot.
  long Allocate();
  // The last step of a removal, with no call out: the slot, its counts, indexes, timers and
  // socket go (the socket finishes its graceful close on its own).
  void Release(long index);
  // Every connection goes at once, without a call out; counts and indexes start again. For the
  // server going offline (after the removals) and for a reset a plugin caused mid-removal.
  void Reset();

  // Counts. The user count changes only with SetNickname and ClearNickname.
  long ConnectionCount() const { return connectionCount_; }
  long UserCount() const { return userCount_; }
  // The counts and indexes are those of the table (checked after every removal in builds with
  // assertions, and by tests).
  bool CountsAgreeWithTable() const;
  double BytesIn() const { return bytesIn_; }
  double BytesOut() const { return bytesOut_; }
  void ResetByteCounts() { bytesIn_ = bytesOut_ = 0; }

  // Nicknames are indexed so that lookups do not scan the table; the lowest index wins.
  long GetUserID(const std::string& nickname) const;
  // The slots holding a nickname, and those whose login waits for it (lowercase name; copies).
  std::set<long> Holders(const std::string& lowered) const;
  std::set<long> Waiting(const std::string& lowered) const;
  // Takes the login: the nickname is indexed and the connection logged in.
  void SetNickname(long index, const std::string& nickname);
  void ClearNickname(long index);
  // A login waits for the holders of its nickname to answer.
  void WaitForNickname(long index, const std::string& nickname, std::string login, std::string conflicts);
  // Ends a wait for a taken nickname, if any: its timer stops and nothing stays pending.
  void ClearPendingLogin(long index);
  // The connection that has waited longest without logging in, or -1.
  long OldestConnectionNotLoggedIn() const;

  // Each connection's timers: the reply timer (a ping's answer, or a wait for a taken nickname)
  // and the login deadline counted from the connect.
  void StartReplyTimer(long index, long intervalMs);
  void StopReplyTimer(long index);
  bool ReplyTimerActive(long index) const;
  void StopLoginDeadline(long index);
  static long LoginDeadlineMs();

  // Packets.
  void SendCommand(long index, const std::string& command, const std::string& data);
  // The same packet to each connection in order, framed once; a connection named twice gets one
  // copy, and one that fails or goes meanwhile gets no more. `targets` is read whole before the
  // first send, so it may be a list the sends change (a room's members).
  void SendCommandToEach(const std::vector<long>& targets, const std::string& command, const std::string& data);

  // Encryption plugins of the current online period.
  const EncryptionPlugins& Ciphers() const { return ciphers_; }
  // Gives the client's key to the connection's plugin and returns the plugin's key for the
  // connection; nothing when the plugin is missing or refuses either step.
  std::optional<std::string> ExchangeEncryptionKey(long index, const std::string& clientKey);
  // Clears the connection's plugin choice and has the plugin forget the connection's keys.
  void ForgetEncryption(long index);

 private:
  struct Timers {
    std::map<long, std::uint64_t> reply;     // slot -> event-loop timer
    std::map<long, std::uint64_t> deadline;  // slot -> event-loop timer
  };

  long FindFreeSlot() const;

  // Socket events of the client sockets: the read path and the ends of a connection.
  void OnDataArrival(StreamSocket& socket) override;
  void OnClose(StreamSocket& socket) override;
  void OnError(StreamSocket& socket, const SocketError& error) override;
  void OnSendComplete(StreamSocket& socket) override;
  void OnSendProgress(StreamSocket& socket, long bytesSent) override;
  // Takes one packet from the front of the socket's received bytes, decrypts and dispatches it.
  // Returns whether another packet may follow at once.
  bool ReadOnePacket(long index);
  void InvalidData(long index);

  // The connected socket of a connection, or nothing after the send-failure handling (logged,
  // connection removed).
  StreamSocket* SendableSocket(long index);
  // The connection's chosen plugin once the key exchange completed, else nullptr.
  LoadedPlugin* ActiveCipher(long index);
  // A payload through the active cipher; nothing when the plugin fails. Logged as an error.
  std::optional<std::string> EncryptPayload(long index, const std::string& data);
  std::optional<std::string> DecryptPayload(long index, const std::string& data);
  using CipherMember = std::optional<std::string> (LoadedPlugin::*)(long connection, const std::string& text);
  std::optional<std::string> PassThroughCipher(long index, const std::string& data, CipherMember member,
                                               const std::string& failure, const char* source);

  void StopTimer(std::map<long, std::uint64_t>& timers, long index);
  void StopConnectionTimers(long index);

  LogWriter& log_;
  PluginEvents& events_;
  const EncryptionPlugins& ciphers_;
  PacketHandler* packets_ = nullptr;
  ConnectionHandler* handler_ = nullptr;
  std::vector<std::unique_ptr<Connection>> slots_;  // slot 0 unused: the listening socket
  Timers timers_;
  std::unordered_map<std::string, std::set<long>> nicknameIndex_;  // lowercase -> slots
  std::unordered_map<std::string, std::set<long>> pendingIndex_;  // lowercase waiting nickname -> slots
  std::map<std::uint64_t, long> notLoggedIn_;  // serial -> slot of connections not logged in, oldest first
  long connectionCount_ = 0;
  long userCount_ = 0;
  double bytesIn_ = 0;
  double bytesOut_ = 0;
  std::uint64_t nextSerial_ = 1;
  // Per slot, the last relay round that included it (duplicate recipients are skipped).
  std::vector<std::uint64_t> relayMarks_;
  std::uint64_t relayRound_ = 0;
  // The payload of the packet being handled: the one copy of its bytes out of the socket's
  // buffer, into memory that keeps its room from packet to packet.
  std::string payloadRoom_;
};

}  // namespace velmorin
