#pragma once
// The server: the wiring that owns the parts (language, log writer, plugin events, general and
// encryption plugins, listening and discovery sockets, the room table, the connection table and
// the chat services), the lifecycle and status (start-up, going online and offline, shutdown),
// the listening socket's events, and the plugin command interface. It reports through an
// AdminFrontEnd; the desktop window and headless mode are views of it. Everything runs on the
// event-loop thread.
//
// The clients are served by the chat layer: ConnectionTable (slots, packets in and out) and
// ChatService (login, commands, server messages, the end of a connection). The members below
// that name a connection forward to them, for the plugin command interface and the tests.
//
// Re-entrancy: sending, logging and raising plugin events may end in the removal of any
// connection (a failed send removes its recipient). Code that calls out therefore never holds
// a reference into the connection table across the call; it looks the slot up again and
// compares the slot's Serial to see whether it still holds the same connection.

#include <ctime>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "chat/ChatService.hpp"
#include "chat/ConnectionTable.hpp"
#include "chat/StatusHost.hpp"
#include "chat/clsChatrooms.hpp"
#include "chat/ChatroomOperations.hpp"
#include "i18n/clsLanguage.hpp"
#include "logging/LogWriter.hpp"
#include "net/ctlSocket.hpp"
#include "net/InfoSocket.hpp"
#include "plugins/EncryptionPlugins.hpp"
#include "plugins/PluginEvents.hpp"
#include "plugins/PluginMenu.hpp"
#include "plugins/clsPlugins.hpp"
#include "server/AdminFrontEnd.hpp"

namespace velmorin {

class PluginCommands;

// The ping cycle's window timer, as IsTimerActive names it (a connection's reply timer is named
// by its slot).
inline constexpr long kPingDelayTimerId = 65536;

class clsServer : private SocketEvents, private ServerInfoProvider, private StatusHost {
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
  long RefreshStatus() override;
  long RefreshInfos() { return RefreshStatus(); }
  void ResetServerState(bool keepConnections);
  bool IsOnline() const override;
  long ServerStatus() const override { return serverStatus_; }
  long UserCount() const override { return table_.UserCount(); }
  long ConnectionCount() const { return table_.ConnectionCount(); }
  // The user and connection counts are those of the table (checked after every removal in
  // builds with assertions, and by tests).
  bool CountsAgreeWithTable() const { return table_.CountsAgreeWithTable(); }
  long GetUserCount() const { return table_.UserCount(); }
  // The logged-in users fill MaxUserCount: the server is full, and no further login is taken.
  bool UsersFillServer() const { return chat_.Login().UsersFillServer(); }
  std::string GetChatroomCount() const;
  long ListeningPort() const override { return listener_.LocalPort(); }
  double BytesIn() const { return table_.BytesIn(); }
  double BytesOut() const { return table_.BytesOut(); }
  std::time_t ServerStartTime() const { return serverStartTime_; }
  long long OnlineSeconds() const override;

  // The connections, for the plugin command interface and the tests.
  ConnectionTable& Connections() { return table_; }
  ServerMessages& Messages() { return chat_.Messages(); }
  void RemoveUser(long index, const std::string& reason, bool roomNotice, long errorFlag) {
    chat_.RemoveUser(index, reason, roomNotice, errorFlag);
  }
  long MaxIndex() const { return table_.MaxIndex(); }
  bool InUse(long index) const { return table_.InUse(index); }
  // The connection in a slot that is in use.
  const velmorin::Connection& Connection(long index) const { return table_.At(index); }
  // The listening socket (0) or a connection's socket; nullptr for a free slot.
  ctlSocket* Socket(long index) { return index == 0 ? &listener_ : table_.Socket(index); }
  // A stream socket connected in-process (the fuzz targets' transport) taken as a client
  // connection from the accept on: same checks, slot, welcome. See InProcessConnections.cpp.
  bool AdoptConnection(int fd, const std::string& remoteAddress, long remotePort);
  // The ping cycle (kPingDelayTimerId) or a connection's reply timer (its slot) runs.
  bool IsTimerActive(long id) const;
  void SendCommand(long index, const std::string& command, const std::string& data) {
    table_.SendCommand(index, command, data);
  }
  void SendCommandToEach(const std::vector<long>& targets, const std::string& command, const std::string& data) {
    table_.SendCommandToEach(targets, command, data);
  }
  long GetUserID(const std::string& nickname) const { return table_.GetUserID(nickname); }
  void SendServerMsg(const std::string& text) { chat_.Messages().SendServerMsg(text); }
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
                                        std::string second) {
    return pluginObjects_.Call(ident, event, std::move(first), std::move(second));
  }
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

  // The ping cycle: every connection that is neither waiting for a nickname nor closing is
  // pinged each PingDelay.
  void StartPingCycle();
  void StopPingCycle();
  std::string StatusLine(long icon) const;

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
  PluginObjects pluginObjects_;
  ConnectionTable table_;
  ChatService chat_;
  // Last: its event subscriptions are dropped before the plugin objects and events go.
  std::unique_ptr<PluginCommands> pluginCommands_;
};

}  // namespace velmorin
