#pragma once
// The server: the wiring that owns the parts (language, log writer, plugin events, general and
// encryption plugins, listening and discovery sockets, the connection table, the chat services
// with their room table, and the plugin command interface), the lifecycle and status (start-up,
// going online and offline, shutdown) and the listening socket's events. It reports through an
// AdminFrontEnd; the desktop window and headless mode are views of it. Everything runs on the
// event-loop thread.
//
// The clients are served by the chat layer: ConnectionTable (slots, packets in and out) and
// ChatService (login, commands, server messages, the end of a connection). The server gives
// each part only the other parts it works with (ChatService::Parts, PluginCommands::Parts);
// callers outside reach a part through its accessor.
//
// Where its code lives: the constructor, destructor and the listening socket's events in
// ChatServer.cpp; start-up, shutdown, online and offline, status and the ping cycle in
// ServerLifecycle.cpp; the operations that carry changed settings to the running parts in
// SettingsApply.cpp; connections made in-process in InProcessConnections.cpp. The plugins'
// command interface is PluginCommands (PluginCommands.cpp, PluginServerCommands.cpp).
//
// Re-entrancy: sending, logging and raising plugin events may end in the removal of any
// connection (a failed send removes its recipient). Code that calls out therefore never holds
// a reference into the connection table across the call; it looks the slot up again and
// compares the slot's Serial to see whether it still holds the same connection.

#include <ctime>
#include <memory>
#include <optional>
#include <string>

#include "chat/ChatService.hpp"
#include "chat/ChatroomOperations.hpp"
#include "chat/ConnectionTable.hpp"
#include "chat/RoomTable.hpp"
#include "chat/StatusHost.hpp"
#include "i18n/LanguageFile.hpp"
#include "logging/LogWriter.hpp"
#include "net/InfoSocket.hpp"
#include "net/Listener.hpp"
#include "plugins/EncryptionPlugins.hpp"
#include "plugins/PluginEvents.hpp"
#include "plugins/PluginRegistry.hpp"
#include "server/AdminFrontEnd.hpp"
#include "server/OnlineSwitch.hpp"

namespace velmorin {

class PluginCommands;

// The ping cycle's window timer, as IsTimerActive names it (a connection's reply timer is named
// by its slot).
inline constexpr long kPingDelayTimerId = 65536;

class ChatServer : private ListenerEvents, private ServerInfoProvider, private StatusHost, private OnlineSwitch {
 public:
  explicit ChatServer(AdminFrontEnd& frontEnd);
  ~ChatServer() override;
  ChatServer(const ChatServer&) = delete;
  ChatServer& operator=(const ChatServer&) = delete;

  // Start-up after settings and language are loaded: log file, stores, discovery, online.
  void Load();
  // Shutdown: offline, every connection removed, discovery closed, log file closed, settings,
  // bans and welcome text saved.
  void Unload();

  // Lifecycle and status.
  void ChangeStatus(bool ask) override;
  long RefreshStatus() override;
  void ResetServerState(bool keepConnections);
  bool IsOnline() const override;
  long ServerStatus() const override { return serverStatus_; }
  long ListeningPort() const override { return listener_.LocalPort(); }
  long long OnlineSeconds() const override;
  // When the server last went online; 0 while it never did or after a failed start.
  std::time_t ServerStartTime() const { return serverStartTime_; }
  // The ping cycle (kPingDelayTimerId) or a connection's reply timer (its slot) runs.
  bool IsTimerActive(long id) const;
  // A stream socket connected in-process (the fuzz targets' transport) taken as a client
  // connection from the accept on: same checks, slot, welcome. See InProcessConnections.cpp.
  bool AdoptConnection(int fd, const std::string& remoteAddress, long remotePort);

  // Changed settings reach the running parts through these (see SettingsApply.cpp).
  // Online on another port than ActivePort: listens on ActivePort instead, keeping the
  // connections, and logs the move with both ports; when that port cannot be had, goes back to
  // the old one and sets ActivePort to it.
  SocketError MoveListener();
  // The discovery socket closed and opened again on ActivePort.
  void RestartDiscovery();
  // The log file closed, and opened again when logging is enabled (directory and naming as set).
  void RestartLogging();
  // The ping cycle stopped, the status refreshed, and the cycle started again with PingDelay
  // when online.
  void RestartPingCycle();
  // The texts of the log lines, title, status and questions from `languageFile` from now on;
  // the title and status are shown again and the change is logged. Lines already logged stay.
  void ApplyLanguage(const std::string& languageFile);

  // The parts. The connection table holds the connections, their counts and byte counters;
  // the chat service removes connections; the plugin commands hold the event subscriptions
  // and the plugin menu.
  ConnectionTable& Connections() { return table_; }
  const ConnectionTable& Connections() const { return table_; }
  ChatService& Chat() { return chat_; }
  ServerMessages& Messages() { return chat_.Messages(); }
  RoomTable& Chatrooms() { return chat_.Rooms(); }
  LogWriter& Log() { return log_; }
  PluginEvents& Events() { return events_; }
  const LanguageFile& Language() const { return language_; }
  AdminFrontEnd& FrontEnd() { return frontEnd_; }
  const PluginRegistry& InstalledPlugins() const { return plugins_; }
  const PluginObjects& RunningPlugins() const { return pluginObjects_; }
  const EncryptionPlugins& LoadedEncryptionPlugins() const { return encryptionPlugins_; }
  // For a plugin reload (admin/PluginAdmin), which replaces one plugin in these.
  PluginRegistry& InstalledPlugins() { return plugins_; }
  PluginObjects& RunningPlugins() { return pluginObjects_; }
  EncryptionPlugins& LoadedEncryptionPlugins() { return encryptionPlugins_; }
  PluginCommands& Commands() { return *pluginCommands_; }

 private:
  long UserCount() const override { return table_.UserCount(); }

  // Socket events of the listening socket (the client sockets report to the connection table).
  void OnConnectionRequest(Listener& listener, ConnectionRequest& request) override;
  void OnError(Listener& listener, const SocketError& error) override;

  // The ping cycle: every connection that is neither waiting for a nickname nor closing is
  // pinged each PingDelay.
  void StartPingCycle();
  void StopPingCycle();
  // The log file opened with the configured directory and naming, when logging is enabled.
  void StartLoggingWhenEnabled();
  std::string StatusLine(long icon) const;

  AdminFrontEnd& frontEnd_;
  LanguageFile language_;
  LogWriter log_;
  PluginEvents events_;
  Listener listener_;
  InfoSocket infoSocket_;
  std::optional<std::uint64_t> pingCycle_;  // the event-loop timer of the ping cycle
  long serverStatus_ = StatusStopped;
  std::time_t serverStartTime_ = 0;
  PluginRegistry plugins_;
  EncryptionPlugins encryptionPlugins_;
  PluginObjects pluginObjects_;
  ConnectionTable table_;
  ChatService chat_;
  // Last: its event subscriptions are dropped before the plugin objects and events go.
  std::unique_ptr<PluginCommands> pluginCommands_;
};

}  // namespace velmorin
