// The operations that carry changed settings to the running server: the listening port, the
// discovery socket, the log file, the ping cycle and the language.

#include "config/Settings.hpp"
#include "net/WinsockErrors.hpp"
#include "platform/Text.hpp"
#include "server/ChatServer.hpp"

namespace velmorin {
namespace {

// No status: RefreshStatus shows the one it finds, whatever it is.
constexpr long kStatusNotShown = -1;

}  // namespace

SocketError ChatServer::MoveListener() {
  GeneralSettings& general = ServerSettings.General;
  if (!IsOnline() || listener_.LocalPort() == general.ActivePort) return {};
  const long oldPort = listener_.LocalPort();
  const SocketError error = listener_.Listen(general.ActivePort);
  if (!error.ok()) {
    if (error.number == kErrorAddressInUse) log_.LogPortInUse(general.ActivePort);
    // The clients stay served on the port they know.
    listener_.Listen(oldPort);
    general.ActivePort = oldPort;
  } else {
    log_.WriteLogLine(ReplaceAll(ReplaceAll(language_.Data("msgPortMoved"), "%old", std::to_string(oldPort)), "%port",
                                 std::to_string(general.ActivePort)) +
                          "\r\n",
                      0);
  }
  frontEnd_.SetTitle(ReplaceAll(language_.Data("titleServerOnline"), "%port", std::to_string(listener_.LocalPort())));
  return error;
}

void ChatServer::RestartDiscovery() {
  infoSocket_.DestroyInfoSocket();
  infoSocket_.CreateInfoSocket();
}

void ChatServer::RestartLogging() {
  log_.Logging().StopLogging();
  StartLoggingWhenEnabled();
}

void ChatServer::StartLoggingWhenEnabled() {
  if (!ServerSettings.Logging.Enabled) return;
  log_.Logging().SetLogNamingByDate(ServerSettings.Logging.LogNamingByDate);
  log_.Logging().StartLogging(ServerSettings.Logging.LogPath,
                              "Server@" + std::to_string(ServerSettings.General.ActivePort));
}

void ChatServer::RestartPingCycle() {
  StopPingCycle();
  RefreshStatus();
  if (IsOnline()) StartPingCycle();
}

void ChatServer::ApplyLanguage(const std::string& languageFile) {
  // The log writer, the chat services and the plugin commands hold language_ by reference: a
  // fresh instance in its place (an instance stays bound to its first file) reaches them all.
  language_ = LanguageFile();
  language_.SetLanguage("frmServer", languageFile);
  frontEnd_.SetTitle(IsOnline() ? ReplaceAll(language_.Data("titleServerOnline"), "%port",
                                             std::to_string(listener_.LocalPort()))
                                : language_.Data("titleServerOffline"));
  serverStatus_ = kStatusNotShown;  // shown again even when it has not changed
  RefreshStatus();
  frontEnd_.RefreshServerInfos();
  log_.WriteLogLine(ReplaceAll(language_.Data("msgLanguageChanged"), "%language", language_.LanguageName()) + "\r\n", 0);
}

}  // namespace velmorin
