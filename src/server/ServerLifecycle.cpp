// Server lifecycle: going online and offline, the status display, start-up and shutdown, and the
// ping cycle.

#include <chrono>
#include <cstring>
#include <ctime>

#include "chat/ChatroomOperations.hpp"
#include "config/Accounts.hpp"
#include "config/BanRules.hpp"
#include "config/Settings.hpp"
#include "config/WelcomeMessage.hpp"
#include "i18n/LocaleIds.hpp"
#include "net/MachineAddresses.hpp"
#include "net/SocketError.hpp"
#include "net/WinsockErrors.hpp"
#include "platform/EventLoop.hpp"
#include "platform/ProgramPaths.hpp"
#include "platform/Text.hpp"
#include "plugins/PluginCallGuard.hpp"
#include "server/ChatServer.hpp"
#include "server/PluginCommands.hpp"

namespace velmorin {
namespace {

constexpr long kIconUsed = 3;
constexpr long kRed = 255;

std::string AddressListWith(const std::string& separator) { return ReplaceAll(GetLocalIPs(), "\r\n", separator); }

// Logs a shutdown save that failed (with the reason) or that went beside the administrator's file.
void ReportShutdownSave(LogWriter& log, const LanguageFile& language, const ShutdownSave& save) {
  if (save.error != 0) {
    const std::string& target = save.besideFile.empty() ? save.file : save.besideFile;
    log.WriteLogLine(
        FillPlaceholders(language.Data("msgErrorSaving"), {{"%file", target}, {"%error", std::strerror(save.error)}}) +
            "\r\n",
        kRed);
    return;
  }
  if (save.choice == ShutdownChoice::WriteBeside) {
    log.WriteLogLine(
        FillPlaceholders(language.Data("msgSavedBeside"), {{"%file", save.file}, {"%new", save.besideFile}}) + "\r\n",
        kRed);
  }
}

}  // namespace

void ChatServer::Load() {
  language_.SetLanguage("frmServer", Paths().languageDirectory + ServerSettings.Info.Language);
  // The start of the process, not of each online period: what the view shows from here on (the
  // plugins' load lines, offline periods, earlier online periods) stays until cleared by hand.
  if (ServerSettings.Log.ClearLogAtStart) log_.ClearLog();
  GeneralSettings& general = ServerSettings.General;
  if (general.ActivePort < 1 || general.ActivePort > 65535) {
    general.ActivePort = 1000;
    general.Port = 1000;
  }
  PluginCallGuard::ReportTo(&log_);
  // The general plugins start first, so they see everything the start-up does.
  plugins_ = PluginRegistry(Paths().programDirectory);
  for (PluginLoadNote& note : LoadGeneralPlugins(plugins_, pluginObjects_, *pluginCommands_, SystemDefaultLocaleId(),
                                                 ServerSettings.General.AlwaysOnTop)) {
    plugins_.Remember(std::move(note));
  }
  StartLoggingWhenEnabled();
  WriteLoadNotes(log_, plugins_.LoadNotes());  // after the log file opened, so that it has them
  // The start takes the files as they are; later resets read them again only when that keeps
  // what the server holds (see ResetServerState).
  LoadWelcomeMessage();
  LoadBanList();
  ResetServerState(true);
  infoSocket_.CreateInfoSocket();
  ChangeStatus(true);
}

void ChatServer::Unload() {
  // Plugins hear "offline" once: as the server goes offline here, or as the program closes.
  const bool wasOnline = IsOnline();
  if (wasOnline) {
    events_.OnlineStatus("offline", "");
    listener_.Close();
  }
  for (long index = 1; index <= table_.MaxIndex(); ++index) {
    if (table_.InUse(index)) chat_.RemoveUser(index, {.tellRoom = false});
  }
  encryptionPlugins_.Release();
  infoSocket_.DestroyInfoSocket();
  // The log file closes after the saves, so a save that fails is in it.
  for (const ShutdownSave& save : {SaveSettingsAtShutdown(), SaveBanListAtShutdown(), SaveWelcomeMessageAtShutdown()}) {
    ReportShutdownSave(log_, language_, save);
  }
  log_.Logging().StopLogging();
  // The program closes: the plugins hear it, then end. Their subscriptions go first, so no
  // event reaches a plugin that is being released.
  if (!wasOnline) events_.OnlineStatus("offline", "");
  pluginCommands_->Registry().Clear();
  TerminatePlugins(pluginObjects_, *pluginCommands_);
  pluginCommands_->Registry().Clear();  // anything subscribed again during Terminate
}

bool ChatServer::IsTimerActive(long id) const {
  return id == kPingDelayTimerId ? pingCycle_.has_value() : table_.ReplyTimerActive(id);
}

bool ChatServer::IsOnline() const {
  return listener_.IsListening();
}

long long ChatServer::OnlineSeconds() const {
  if (!IsOnline() || serverStartTime_ == 0) return 0;
  return static_cast<long long>(std::time(nullptr) - serverStartTime_);
}

void ChatServer::ChangeStatus(bool ask) {
  if (IsOnline()) {
    if (table_.UserCount() >= 1 && ask) {
      frontEnd_.ShowWindow();
      const std::string question =
          ReplaceAll(language_.Data("questionStopServer"), "%count", std::to_string(table_.UserCount()));
      if (!frontEnd_.AskYesNo(question, language_.Data("notice"), true)) {
        frontEnd_.SetOnlineState(true);
        return;
      }
    }
    StopPingCycle();
    ResetServerState(false);
    encryptionPlugins_.Release();
    frontEnd_.SetOnlineState(false);
    log_.Log(LogMessageType::ServerStopped, {});
    frontEnd_.SetTitle(language_.Data("titleServerOffline"));
    RefreshStatus();
    frontEnd_.RefreshServerInfos();
    return;
  }

  const SocketError error = listener_.Listen(ServerSettings.General.ActivePort);
  if (error.number == kErrorAddressInUse) log_.LogPortInUse(ServerSettings.General.ActivePort);
  if (error.number == kErrorPermissionDenied) {
    // Ports below 1024 are the system's: say so, and how to choose another.
    const std::string text = ReplaceAll(language_.Data("msgErrorPortPrivileged"), "%port",
                                        std::to_string(ServerSettings.General.ActivePort));
    log_.WriteLogLine(text + "\r\n", 255);
  }
  if (!error.ok()) events_.OnlineStatus("error", std::string("0") + '\0' + std::to_string(error.number));

  // A limit of 0 users makes a listening server "full" at once; it is online all the same.
  if (RefreshStatus() == StatusStopped) {
    serverStartTime_ = 0;
    frontEnd_.SetOnlineState(false);
    log_.Log(LogMessageType::ServerCouldNotStart, {});
    frontEnd_.RefreshServerInfos();
    return;
  }
  serverStartTime_ = std::time(nullptr);
  for (PluginLoadNote& note : encryptionPlugins_.Load(plugins_, SystemDefaultLocaleId(), ServerSettings.General.AlwaysOnTop)) {
    WriteLoadNotes(log_, {note});
    plugins_.Remember(std::move(note));
  }
  BuildActiveAccountList();
  if (ServerSettings.General.ResetBytes) {
    table_.ResetByteCounts();
  }
  frontEnd_.SetOnlineState(true);
  const std::string port = std::to_string(listener_.LocalPort());
  log_.Log(LogMessageType::ServerStarted, {{"%ip", AddressListWith(", ")}, {"%port", port}});
  frontEnd_.SetTitle(ReplaceAll(language_.Data("titleServerOnline"), "%port", port));
  events_.OnlineStatus("online", AddressListWith("\x01") + '\0' + port);
  StartPingCycle();
  RestartDiscovery();
  frontEnd_.RefreshServerInfos();
}

void ChatServer::ResetServerState(bool keepConnections) {
  if (IsOnline()) {
    // Closed first: a plugin that stops the server again from inside the event finds it
    // offline instead of starting a reset within this one.
    listener_.Close();
    events_.OnlineStatus("offline", "");
  }
  if (!keepConnections) {
    for (long index = 1; index <= table_.MaxIndex(); ++index) {
      if (table_.InUse(index)) chat_.RemoveUser(index, {.tellRoom = true});
    }
  }
  frontEnd_.ShowStatus(StatusStopped, language_.Data("statusOffline"), language_.Data("systrayOffline"));
  chat_.ResetRooms([this] { frontEnd_.RefreshChatroomInfos(); });
  // Clients enter the standard room or the only one; with none they cannot chat at all.
  if (Chatrooms().Count() == 0) log_.WriteLogLine(language_.Data("msgNoChatroom") + "\r\n", 255);
  // Read again as a reload reads them: a file that would replace the running text or rules with
  // nothing (gone, unreadable, emptied) is not read, and the log says why.
  if (const ReloadRefusal refusal = CheckWelcomeFileForReload()) {
    log_.WriteLogLine(ReloadRefusalText(language_, Paths().welcomeFile, refusal, "") + "\r\n", 255);
  } else {
    LoadWelcomeMessage();
  }
  if (const ReloadRefusal refusal = CheckBanFileForReload()) {
    log_.WriteLogLine(ReloadRefusalText(language_, Paths().banFile, refusal, BanSectionList()) + "\r\n", 255);
  } else {
    LoadBanList();
  }
  // Connections whose removal a plugin interrupted by this reset end here: their timers stop,
  // and their sockets close and are destroyed from the loop, as one of them may be delivering
  // the very event that led here. The counts go with the table they count.
  table_.Reset();
  frontEnd_.RefreshServerInfos();
  frontEnd_.RefreshChatroomInfos();
}

std::string ChatServer::StatusLine(long icon) const {
  // One connection has texts of its own: the singular form differs in both languages.
  const char* one = table_.ConnectionCount() == 1 ? "One" : "";
  if (icon == StatusReady) {
    return ReplaceAll(language_.Data(std::string("statusOnlineEmpty") + one), "%connections",
                      std::to_string(table_.ConnectionCount()));
  }
  std::string line =
      ReplaceAll(language_.Data(std::string("statusOnlineUsed") + one), "%users", std::to_string(table_.UserCount()));
  line = ReplaceAll(line, "%maxusers", std::to_string(ServerSettings.General.MaxUserCount));
  return ReplaceAll(line, "%connections", std::to_string(table_.ConnectionCount()));
}

void ChatServer::StartPingCycle() {
  StopPingCycle();
  const long interval = ServerSettings.General.PingDelay > 0 ? ServerSettings.General.PingDelay : 1000;
  pingCycle_ =
      MainLoop().StartTimer(std::chrono::milliseconds(interval), [this] { chat_.Messages().PingEveryConnection(); });
}

void ChatServer::StopPingCycle() {
  if (!pingCycle_.has_value()) return;
  MainLoop().StopTimer(*pingCycle_);
  pingCycle_.reset();
}

long ChatServer::RefreshStatus() {
  if (!IsOnline()) {
    if (serverStatus_ != StatusStopped) {
      serverStatus_ = StatusStopped;
      frontEnd_.ShowStatus(StatusStopped, language_.Data("statusOffline"), language_.Data("systrayOffline"));
    }
    return serverStatus_;
  }
  if (chat_.Login().UsersFillServer()) {
    if (serverStatus_ != StatusFull) {
      serverStatus_ = StatusFull;
      const std::string line = StatusLine(StatusFull);
      frontEnd_.ShowStatus(StatusFull, line, line);
    }
    return serverStatus_;
  }
  serverStatus_ = StatusReady;
  const long icon = table_.UserCount() < 1 ? StatusReady : kIconUsed;
  const std::string line = StatusLine(icon);
  frontEnd_.ShowStatus(icon, line, line);
  return serverStatus_;
}

}  // namespace velmorin
