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
#include "chat/ConnectionHandler.hpp"
#include "chat/ConnectionTable.hpp"
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

enum ServerStatusCode : long { StatusReady = 0, StatusFull = 1, StatusStopped = 2 };

class clsServer : private SocketEvents, private ServerInfoProvider, public ChatroomMemberHost, private ConnectionHandler {
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
  long UserCount() const override { return table_.UserCount(); }
  long ConnectionCount() const { return table_.ConnectionCount(); }
  // The user and connection counts are those of the table (checked after every removal in
  // builds with assertions, and by tests).
  bool CountsAgreeWithTable() const { return table_.CountsAgreeWithTable(); }
  long GetUserCount() const { return table_.UserCount(); }
  // The logged-in users fill MaxUserCount: the server is full, and no further login is taken.
  bool UsersFillServer() const;
  std::string GetChatroomCount() const;
  long ListeningPort() const { return listener_.LocalPort(); }
  double BytesIn() const { return table_.BytesIn(); }
  double BytesOut() const { return table_.BytesOut(); }
  std::time_t ServerStartTime() const { return serverStartTime_; }
  long long OnlineSeconds() const;

  // Connection table.
  ConnectionTable& Connections() { return table_; }
  void RemoveUser(long index, const std::string& reason, bool roomNotice, long errorFlag) override;
  long MaxIndex() const { return table_.MaxIndex(); }
  bool InUse(long index) const { return table_.InUse(index); }
  // The connection in a slot that is in use.
  const velmorin::Connection& Connection(long index) const { return table_.At(index); }
  // The listening socket (0) or a connection's socket; nullptr for a free slot.
  ctlSocket* Socket(long index) { return index == 0 ? &listener_ : table_.Socket(index); }
  // A stream socket connected in-process (the fuzz targets' transport) taken as a client
  // connection from the accept on: same checks, slot, welcome. See InProcessConnections.cpp.
  bool AdoptConnection(int fd, const std::string& remoteAddress, long remotePort);

  // Window timers: the ping cycle (kPingDelayTimerId), or a connection's reply timer (its slot).
  bool IsTimerActive(long id) const;

  // Packets.
  void SendCommand(long index, const std::string& command, const std::string& data) {
    table_.SendCommand(index, command, data);
  }
  void SendCommandToEach(const std::vector<long>& targets, const std::string& command, const std::string& data) {
    table_.SendCommandToEach(targets, command, data);
  }

  // Server-originated messages.
  long GetUserID(const std::string& nickname) const { return table_.GetUserID(nickname); }
  void SendServerMsg(const std::string& text);
  void SendPing(long index);
  void UserJoinedEvent(long index, long chatroomId);
  void UserLeftEvent(long index, long newChatroomId, long oldChatroomId, const std::string& reason);
  void SetClientAwayState(long index, bool away) override;
  void SetClientChatroom(long index, long chatroomId) override;
  void SendCloseChatroom(long index, const std::string& roomName) override;

  // A slot still holds the connection it held when `serial` was read, and is not being removed.
  bool StillConnected(long index, std::uint64_t serial) const { return table_.SameConnection(index, serial); }
  void SetClientAdmin(long index, bool admin) {
    if (InUse(index)) table_.At(index).ChatroomAdmin = admin;
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
  // Socket events of the listening socket (the client sockets report to the connection table).
  void OnConnectionRequest(ctlSocket& socket, long requestId) override;
  void OnError(ctlSocket& socket, const SocketError& error) override;

  // What the connection table hands up.
  void ReplyTimeout(long index) override;
  void LoginDeadline(long index) override;
  // The ping cycle: every connection that is not waiting for a nickname is pinged.
  void StartPingCycle();
  void StopPingCycle();
  void PingCycle();
  void SendWelcome(long index);
  bool StartListening();
  void StopListening();
  std::string StatusLine(long icon) const;

  // Returns whether the reader goes on with the next buffered packet.
  bool Dispatch(long index, const std::string& command, const std::string& payload) override;
  bool Login(long index, const std::string& payload);
  void LoginUser(long index, const std::string& nickname, const std::string& proof, const std::string& color,
                 const std::string& clientVersion);
  void DenyUser(long index, const std::string& nickname);
  void CompleteWaitingLogin(long index);

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

  velmorin::Connection& Record(long index) { return table_.At(index); }
  const velmorin::Connection& Record(long index) const { return table_.At(index); }
  bool SameConnection(long index, std::uint64_t serial) const { return table_.SameConnection(index, serial); }

  AdminFrontEnd& frontEnd_;
  clsLanguage language_;
  LogWriter log_;
  PluginEvents events_;
  ctlSocket listener_;
  InfoSocket infoSocket_;
  std::unique_ptr<clsChatrooms> chatrooms_;
  std::unique_ptr<clsChatrooms> retiredChatrooms_;  // the table before the last reset
  std::optional<std::uint64_t> pingCycle_;  // the event-loop timer of the ping cycle
  long serverStatus_ = StatusStopped;
  std::time_t serverStartTime_ = 0;
  clsPlugins plugins_;
  EncryptionPlugins encryptionPlugins_;
  ConnectionTable table_;
  PluginObjects pluginObjects_;
  // Last: its event subscriptions are dropped before the plugin objects and events go.
  std::unique_ptr<PluginCommands> pluginCommands_;
};

}  // namespace velmorin
