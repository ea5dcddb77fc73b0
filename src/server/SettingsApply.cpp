// The operations that carry changed settings to the running server: the listening port, the
// discovery socket, the log file and the ping cycle.

#include "net/WinsockErrors.hpp"
#include "platform/Text.hpp"
#include "config/modSettings.hpp"
#include "server/clsServer.hpp"

namespace velmorin {

SocketError clsServer::MoveListener() {
  GeneralSettings& general = ServerSettings.General;
  if (!IsOnline() || listener_.LocalPort() == general.ActivePort) return {};
  const long oldPort = listener_.LocalPort();
  const SocketError error = listener_.Listen(general.ActivePort);
  if (error) {
    if (error.number == kErrorAddressInUse) log_.LogPortInUse(general.ActivePort);
    // The clients stay served on the port they know.
    listener_.Listen(oldPort);
    general.ActivePort = oldPort;
  } else {
    log_.WriteLogLine(ReplaceAll(ReplaceAll(language_.data("msgPortMoved"), "%old", std::to_string(oldPort)), "%port",
                                 std::to_string(general.ActivePort)) +
                          "\r\n",
                      0);
  }
  frontEnd_.SetTitle(ReplaceAll(language_.data("titleServerOnline"), "%port", std::to_string(listener_.LocalPort())));
  return error;
}

void clsServer::RestartDiscovery() {
  infoSocket_.DestroyInfoSocket();
  infoSocket_.CreateInfoSocket();
}

void clsServer::RestartLogging() {
  log_.Logging().StopLogging();
  StartLoggingWhenEnabled();
}

void clsServer::StartLoggingWhenEnabled() {
  if (!ServerSettings.Logging.Enabled) return;
  log_.Logging().SetLogNamingByDate(ServerSettings.Logging.LogNamingByDate);
  log_.Logging().StartLogging(ServerSettings.Logging.LogPath,
                              "Server@" + std::to_string(ServerSettings.General.ActivePort));
}

void clsServer::RestartPingCycle() {
  StopPingCycle();
  RefreshStatus();
  if (IsOnline()) StartPingCycle();
}

}  // namespace velmorin
