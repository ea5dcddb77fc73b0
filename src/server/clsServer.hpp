#pragma once
// The server core: owns the run-time state (listening socket, connection table, timers,
// chatrooms, counters, log writer, plugin events, running plugins and their command interface) and reports through an AdminFrontEnd. The
// desktop window and headless mode are views of it. Everything runs on the event-loop thread.
//
// Re-entrancy: sending, logging and raising plugin events may end in the removal of any
// connection (a failed send removes its recipient). Code that calls out therefore never holds
// a reference into the connection table across the call; it looks the slot up again and
// compares the slot's Serial to see whether it still holds the same connection.

#include <ctime>
#include <map>
#include <set>
#include <unordered_map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "server/AdminFrontEnd.hpp"
#include "codec/PacketReader.hpp"
#include "server/ConnectionRecord.hpp"
#include "i18n/clsLanguage.hpp"
#include "logging/LogWriter.hpp"
#include "net/ctlSocket.hpp"
#include "net/modInfoSocket.hpp"
#include "plugins/EncryptionPlugins.hpp"
#include "plugins/PluginEvents.hpp"
#include "plugins/PluginMenu.hpp"
#include "plugins/clsPlugins.hpp"
#include "chat/clsChatrooms.hpp"
#include "chat/modChatrooms.hpp"

namespace velmorin {

class PluginCommands;

inline constexpr long kPingDelayTimerId = 65536;
// Each connection's login deadline runs as window timer kLoginDeadlineTimerBase + index.
inline constexpr long kLoginDeadlineTimerBase = 1L << 20;
// A connection has this many ping time-outs plus the grace from its connect to log in: at least
// a second longer than one wait for a taken nickname (1.25 ping time-outs + 2 s), and never
// extended by another login.
inline constexpr long kLoginDeadlinePingTimeouts = 3;
inline constexpr long kLoginDeadlineGraceMs = 3000;

enum ServerStatusCode : long { StatusReady = 0, StatusFull = 1, StatusStopped = 2 };

class clsServer : private SocketEvents, private ServerInfoProvider, public ChatroomMemberHost {
 public:
  explicit clsServer(AdminFrontEnd& frontEnd);
  ~clsServer() override;
  clsServer(const clsServer&) = delete;
  clsServer& operator=(const clsServer&) = delete;

  // Start-up after settings and language are loaded: log file, stores, discovery, online.
  void Load();
  // Shutdown: offline, every connection removed, discovery closed, log file closed, settings,
  // bans and welcome text saved.
  void Unload();

  // Lifecycle and status.
  void ChangeStatus(bool ask);
  long RefreshStatus();
  long RefreshInfos() { return RefreshStatus(); }
  void ResetServerState(bool keepConnections);
  bool IsOnline() const;
  long ServerStatus() const override { return serverStatus_; }
  long UserCount() const override { return userCount_; }
  long ConnectionCount() const { return connectionCount_; }
  // The user and connection counts are those of the table (checked after every removal in
  // builds with assertions, and by tests).
  bool CountsAgreeWithTable() const;
  long GetUserCount() const { return userCount_; }
  // The logged-in users fill MaxUserCount: the server is full, and no further login is taken.
  bool UsersFillServer() const;
  std::string GetChatroomCount() const;
  long ListeningPort() const { return listener_.LocalPort(); }
  double BytesIn() const { return bytesIn_; }
  double BytesOut() const { return bytesOut_; }
  std::time_t ServerStartTime() const { return serverStartTime_; }
  long long OnlineSeconds() const;

  // Connection table.
  long FindFreeSlot() const;
  long AllocateConnection();
  void RemoveUser(long index, const std::string& reason, bool roomNotice, long errorFlag);
  long MaxIndex() const { return static_cast<long>(connections_.size()) - 1; }
  bool InUse(long index) const;
  const ConnectionRecord& Connection(long index) const { return connections_.at(static_cast<std::size_t>(index)); }
  ctlSocket* Socket(long index);
  // A stream socket connected in-process (the fuzz targets' transport) taken as a client
  // connection from the accept on: same checks, slot, welcome. See InProcessConnections.cpp.
  bool AdoptConnection(int fd, const std::string& remoteAddress, long remotePort);

  // Window timers: the ping cycle (kPingDelayTimerId) and each connection's one-shot timer.
  void StartTimer(long id, long intervalMs);
  void StopTimer(long id);
  bool IsTimerActive(long id) const;

  // Packets.
  void SendCommand(long index, const std::string& command, const std::string& data);
  // The same packet to each connection in order, framed once; a connection named twice gets one
  // copy, and one that fails or goes meanwhile gets no more.
  void SendCommandToEach(const std::vector<long>& targets, const std::string& command, const std::string& data);

  // Server-originated messages.
  long GetUserID(const std::string& nickname) const;
  void SendServerMsg(const std::string& text);
  void SendPing(long index);
  void UserJoinedEvent(long index, long chatroomId);
  void UserLeftEvent(long index, long newChatroomId, long oldChatroomId, const std::string& reason);
  void SetClientAwayState(long index, bool away) override;
  void SetClientChatroom(long index, long chatroomId) override;
  void SendCloseChatroom(long index, const std::string& roomName) override;

  // A slot still holds the connection it held when `serial` was read, and is not being removed.
  bool StillConnected(long index, std::uint64_t serial) const { return SameConnection(index, serial); }
  void SetClientAdmin(long index, bool admin) {
    if (InUse(index)) Record(index).ChatroomAdmin = admin;
  }

  // General plugins: the installed ones, the running ones and the command interface they call.
  const clsPlugins& InstalledPlugins() const { return plugins_; }
  const PluginObjects& RunningPlugins() const { return pluginObjects_; }
  const EncryptionPlugins& LoadedEncryptionPlugins() const { return encryptionPlugins_; }
  PluginCommands& Commands() { return *pluginCommands_; }
  // Calls `command`(event, first, second) of the running plugin with that identity; nothing
  // when it is not running or the call failed.
  std::optional<std::string> CallPlugin(const std::string& ident, const std::string& event, std::string first,
                                        std::string second);
  bool CallServerPlugin(const std::string& ident, const std::string& event, const std::string& first,
                        const std::string& second) {
    return CallPlugin(ident, event, first, second).has_value();
  }
  // The plugin menu's entries, and a click on one of them ("MenuClick" to its owner).
  const std::vector<clsPluginMenuEntry>& PluginMenuEntries() const;
  void PluginMenuClick(const std::string& owner, const std::string& entry);

  AdminFrontEnd& FrontEnd() { return frontEnd_; }
  clsChatrooms& Chatrooms() { return *chatrooms_; }
  LogWriter& Log() { return log_; }
  PluginEvents& Events() { return events_; }
  const clsLanguage& Language() const { return language_; }

 private:
  // Socket events of the listening socket (index 0) and the client sockets.
  void OnConnectionRequest(ctlSocket& socket, long requestId) override;
  void OnDataArrival(ctlSocket& socket, long bytesTotal) override;
  void OnClose(ctlSocket& socket) override;
  void OnError(ctlSocket& socket, const SocketError& error) override;
  void OnSendComplete(ctlSocket& socket) override;
  void OnSendProgress(ctlSocket& socket, long bytesSent, long bytesRemaining) override;

  void Timer_Raised(long id);
  static long LoginDeadlineTimerId(long index) { return kLoginDeadlineTimerBase + index; }
  static long LoginDeadlineMs();
  void StopConnectionTimers(long index);
  void StopEveryConnectionTimer();
  // The connection that has waited longest without logging in, or -1.
  long OldestConnectionNotLoggedIn() const;
  // The slot still holds the connection `serial` (also while it is being removed).
  bool SlotHolds(long index, std::uint64_t serial) const;
  // The last step of a removal, with no call out: the slot, its counts, timers and socket go.
  void ReleaseSlot(long index);
  void SendWelcome(long index);
  bool StartListening();
  void StopListening();
  std::string StatusLine(long icon) const;

  // Packet reader and dispatch.
  bool ReadOnePacket(long index);
  void InvalidData(long index);
  // Returns whether the reader goes on with the next buffered packet.
  bool Dispatch(long index, const std::string& command, const std::string& payload);
  bool Login(long index, const std::string& payload);
  void LoginUser(long index, const std::string& nickname, const std::string& proof, const std::string& color,
                 const std::string& clientVersion);
  void DenyUser(long index, const std::string& nickname);
  void CompleteWaitingLogin(long index);
  // Ends a wait for a taken nickname, if any: its timer stops and nothing stays pending.
  void ClearPendingLogin(long index);

  // Handlers of a logged-in client's commands; each returns whether the reader goes on.
  using CommandHandler = bool (clsServer::*)(long index, const std::string& payload);
  static const std::unordered_map<std::string, CommandHandler>& CommandHandlers();
  bool HandlePing(long index, const std::string& payload);
  bool HandlePong(long index, const std::string& payload);
  bool HandleMessage(long index, const std::string& payload);
  bool HandleAwayMessage(long index, const std::string& payload);
  bool HandleSetClientState(long index, const std::string& payload);
  bool HandleSetColor(long index, const std::string& payload);
  bool HandleGetChatroomlist(long index, const std::string& payload);
  bool HandleGetUserlist(long index, const std::string& payload);
  bool HandleJoinChatroom(long index, const std::string& payload);
  bool HandleCreateChatroom(long index, const std::string& payload);
  bool HandleQuit(long index, const std::string& payload);
  bool HandleFileRequest(long index, const std::string& payload);
  bool HandleAcceptFiles(long index, const std::string& payload);
  bool HandleAbortFiletransfer(long index, const std::string& payload);
  bool HandleGetEncryptionlist(long index, const std::string& payload);
  bool HandleSetEncryption(long index, const std::string& payload);
  bool HandleEncryptionkey(long index, const std::string& payload);
  bool HandleAcceptEncryptionkey(long index, const std::string& payload);
  bool HandleClientPluginData(long index, const std::string& payload);
  bool HandlePluginResponse(long index, const std::string& payload);
  bool HandleServerPluginData(long index, const std::string& payload);
  bool HandleCommand(long index, const std::string& payload);
  bool HandleFindPerson(long index, const std::string& payload);
  bool HandleGetAwayMessage(long index, const std::string& payload);
  // Payload: a nickname, NUL, a text. The named user (if any) gets `command` with the sender's
  // nickname, NUL, the text.
  void RelayUnderSender(long index, const std::string& payload, const char* command);

  // Moves a user into a room it is not in yet: leave notice and membership of the old room,
  // the new room and administrator flag, then join notice.
  void EnterChatroom(long index, long chatroomId);
  // The members of the user's room (a copy), or none.
  std::vector<long> RoomMembersOf(long index) const;

  // Encryption plugins of the current online period.
  std::string EncryptionListText() const { return encryptionPlugins_.OfferedList(); }
  long FindEncryptionPlugin(const std::string& identity) const { return encryptionPlugins_.Find(identity); }
  // Gives the client's key to the connection's plugin and returns the plugin's key for the
  // connection; nothing when the plugin is missing or refuses either step.
  std::optional<std::string> ExchangeEncryptionKey(long index, const std::string& clientKey);
  // Payloads of the connection pass through its plugin.
  bool EncryptionOn(long index) const {
    const ConnectionRecord& record = connections_[static_cast<std::size_t>(index)];
    return record.EncryptionActive && record.EncryptionIndex != -1;
  }
  // Clears the connection's plugin choice and has the plugin forget the connection's keys.
  void ForgetEncryption(long index);
  // The connection's chosen plugin once the key exchange completed, else nullptr.
  LoadedPlugin* ActiveCipher(long index);
  // A payload through the active cipher; nothing when the plugin fails. Logged as an error.
  std::optional<std::string> EncryptPayload(long index, const std::string& data);
  std::optional<std::string> DecryptPayload(long index, const std::string& data);
  using CipherMember = std::optional<std::string> (LoadedPlugin::*)(long connection, const std::string& text);
  std::optional<std::string> PassThroughCipher(long index, const std::string& data, CipherMember member,
                                               const std::string& failure, const char* source);

  // Nicknames are indexed so that lookups do not scan the table; the lowest index wins. These
  // two are the only places the user count changes.
  void SetNickname(long index, const std::string& nickname);
  void ClearNickname(long index);

  ConnectionRecord& Record(long index) { return connections_[static_cast<std::size_t>(index)]; }
  bool SameConnection(long index, std::uint64_t serial) const;
  // The connected socket of a connection, or nothing after the send-failure handling (logged,
  // connection removed).
  ctlSocket* SendableSocket(long index);

  AdminFrontEnd& frontEnd_;
  clsLanguage language_;
  LogWriter log_;
  PluginEvents events_;
  ctlSocket listener_;
  InfoSocket infoSocket_;
  std::unique_ptr<clsChatrooms> chatrooms_;
  std::unique_ptr<clsChatrooms> retiredChatrooms_;  // the table before the last reset
  std::vector<ConnectionRecord> connections_;  // index 0 unused: the listening socket
  std::vector<ReceiveState> receives_;
  std::vector<std::unique_ptr<ctlSocket>> sockets_;
  std::map<long, std::uint64_t> timers_;  // window timer id -> event-loop timer
  std::unordered_map<std::string, std::set<long>> nicknameIndex_;  // lowercase -> slots
  std::unordered_map<std::string, std::set<long>> pendingIndex_;  // lowercase waiting nickname -> slots
  std::map<std::uint64_t, long> notLoggedIn_;  // serial -> slot of connections not logged in, oldest first
  long serverStatus_ = StatusStopped;
  long connectionCount_ = 0;
  long userCount_ = 0;
  double bytesIn_ = 0;
  double bytesOut_ = 0;
  std::time_t serverStartTime_ = 0;
  std::uint64_t nextSerial_ = 1;
  // Per slot, the last relay round that included it (duplicate recipients are skipped).
  std::vector<std::uint64_t> relayMarks_;
  std::uint64_t relayRound_ = 0;
  clsPlugins plugins_;
  EncryptionPlugins encryptionPlugins_;
  PluginObjects pluginObjects_;
  // Last: its event subscriptions are dropped before the plugin objects and events go.
  std::unique_ptr<PluginCommands> pluginCommands_;
};

}  // namespace velmorin
