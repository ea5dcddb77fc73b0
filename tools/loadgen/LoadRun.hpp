#pragma once
// One run of the load generator: a single thread, one epoll set, every client non-blocking.
//
// Phases, each bounded in time: settle (the server idle), connect and log in, join the room,
// wait until quiet (then read the server's memory), send the messages, quit.
// LoadRun.cpp holds the phases and the protocol reactions, ClientIo.cpp the sockets and the
// packet cutting, MessagePhase.cpp the sending and counting of messages, Encryption.cpp the
// key exchange of --encrypt and the opening of sealed payloads.

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "Client.hpp"
#include "LatencyHistogram.hpp"
#include "Options.hpp"
#include "Report.hpp"
#include "Traffic.hpp"
#include "TextFields.hpp"
#include "codec/FieldCursor.hpp"
#include "codec/PacketReader.hpp"
#include "codec/PacketWriter.hpp"
#include "codec/WireFormat.hpp"
#include "platform/ByteBuffer.hpp"

namespace velmorin::load {

class LoadRun {
 public:
  explicit LoadRun(Options options);
  ~LoadRun();
  LoadRun(const LoadRun&) = delete;
  LoadRun& operator=(const LoadRun&) = delete;

  // Runs every phase and returns the figures, exit code included.
  RunResult Run();

 private:
  enum class Phase { Connect, Join, Quiet, Messages, Quit };

  // Phases (LoadRun.cpp, MessagePhase.cpp).
  void SettleServer();
  void ConnectAll();
  void JoinAll();
  void WaitQuiet();
  void SendMessages();
  void QuitAll();
  void Finish();

  // The loop (ClientIo.cpp). RunUntil returns true once `done` holds, false when `limitNs`
  // (absolute) or the run's deadline came first.
  bool RunUntil(const std::function<bool()>& done, std::int64_t limitNs);
  void PollOnce(std::int64_t untilNs);
  void Tick(std::int64_t nowNs);
  void TickMessages(std::int64_t nowNs);  // MessagePhase.cpp

  // Sockets (ClientIo.cpp).
  void StartConnect(Client& client, std::int64_t nowNs);
  void OnEvents(Client& client, std::uint32_t events);
  void FinishConnect(Client& client);
  void ReadFrom(Client& client);
  void Consume(Client& client, const char* data, std::size_t size, std::int64_t nowNs);
  std::size_t ParsePackets(Client& client, std::string_view bytes, std::int64_t nowNs);
  void Send(Client& client, std::string_view command, std::string_view payload);
  void QueueFlush(Client& client);
  void FlushQueued();
  void Flush(Client& client);
  void WatchWrite(Client& client, bool watch);
  void CloseSocket(Client& client, ClientState state);
  void OnConnectionLost(Client& client, const std::string& why);
  void Fail(Client& client, const std::string& why);

  // Protocol reactions (LoadRun.cpp, MessagePhase.cpp).
  void OnPacket(Client& client, std::string_view command, std::string_view payload, std::int64_t nowNs);
  void OnWelcome(Client& client, std::string_view payload);
  void OnAcceptUser(Client& client, std::string_view payload, std::int64_t nowNs);
  void CountLoggedIn(Client& client, std::int64_t nowNs);
  void OnAcceptChatroom(Client& client, std::string_view payload);
  void OnRoomMessage(Client& client, std::string_view payload, std::int64_t nowNs);
  void SendJoin(Client& client);
  void SendNextMessage(std::uint32_t sender, std::int64_t nowNs, std::int64_t stampNs);
  void AppendMessageText(ByteBuffer& out, std::uint32_t sender, std::uint32_t sequence,
                         std::int64_t stampNs) const;

  // Encryption (Encryption.cpp).
  void StartEncryption(Client& client);
  void OnAcceptEncryption(Client& client, std::string_view payload);
  void OnServerKey(Client& client, std::string_view payload, std::int64_t nowNs);
  void OnSealedPacket(Client& client, std::string_view command, std::string_view payload, std::int64_t nowNs);

  Options options_;
  RunResult result_;
  int epoll_ = -1;
  Phase phase_ = Phase::Connect;
  std::vector<Client> clients_;
  std::vector<Client*> flushQueue_;
  std::vector<char> readBuffer_;

  std::uint32_t runId_ = 0;  // tags this run's nicknames and messages
  std::int64_t startNs_ = 0;
  std::int64_t deadlineNs_ = 0;
  bool deadlineHit_ = false;
  std::int64_t lastTrafficNs_ = 0;  // last packet other than "ping"

  // Connecting.
  std::uint32_t nextToConnect_ = 0;
  std::uint32_t loginsInFlight_ = 0;
  std::int64_t firstConnectNs_ = 0;
  std::int64_t lastLoginNs_ = 0;
  LatencyHistogram loginTimes_;

  // Joining.
  std::uint32_t joinsInFlight_ = 0;

  // Messages.
  std::unique_ptr<Traffic> traffic_;
  std::vector<std::uint32_t> senderClients_;  // sender number -> client index
  std::vector<std::int64_t> nextDueNs_;       // open loop: per sender
  std::int64_t sendIntervalNs_ = 0;           // open loop: 0 for closed loop
  std::int64_t messageTimeoutNs_ = 0;
  std::int64_t firstSendNs_ = 0;
  std::int64_t lastDeliveryNs_ = 0;
  LatencyHistogram latencies_;
  std::string tagPrefix_;  // "LG <run id> ": starts every text of this run
  ByteBuffer clearPayload_;  // --encrypt: a message's payload before it is sealed
};

// Monotonic clock in nanoseconds; the send time carried in the messages uses it too.
std::int64_t NowNs();

}  // namespace velmorin::load
