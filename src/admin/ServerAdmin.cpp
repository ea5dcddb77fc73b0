#include "admin/ServerAdmin.hpp"

#include "config/Settings.hpp"
#include "net/MachineAddresses.hpp"
#include "platform/Text.hpp"
#include "server/ChatServer.hpp"
#include "server/ProgramStart.hpp"
#include "server/StatusTexts.hpp"

namespace velmorin {

AdminResult ServerAdmin::GoOnline() {
  if (server_.IsOnline()) return AdminResult::Refused("alreadyOnline", "The server is online already.");
  server_.ChangeStatus(false);
  if (!server_.IsOnline()) {
    return AdminResult::Refused("msgServerCouldNotStart", server_.Language().Data("msgServerCouldNotStart"));
  }
  return AdminResult::Done("The server is online on port " + std::to_string(server_.ListeningPort()) + ".");
}

AdminResult ServerAdmin::ClearLog() {
  server_.Log().ClearLog();
  return AdminResult::Done("The log view is empty.");
}

AdminResult ServerAdmin::GoOffline(bool confirmed) {
  if (!server_.IsOnline()) return AdminResult::Refused("alreadyOffline", "The server is offline already.");
  const long users = server_.Connections().UserCount();
  if (users >= 1 && !confirmed) {
    // The question the window asks, made readable on one line; the caller confirms instead.
    const std::string question = ReplaceAll(ReplaceAll(server_.Language().Data("questionStopServer"), "%count",
                                                       std::to_string(users)),
                                            "<BR>", " ");
    return AdminResult::Refused("questionStopServer", question);
  }
  server_.ChangeStatus(false);
  return AdminResult::Done("The server is offline.");
}

ServerFigures ServerAdmin::Figures() const {
  const ConnectionTable& table = server_.Connections();
  ServerFigures figures;
  figures.online = server_.IsOnline();
  figures.status = server_.ServerStatus();
  figures.port = figures.online ? server_.ListeningPort() : 0;
  figures.users = table.UserCount();
  figures.maxUsers = ServerSettings.General.MaxUserCount;
  figures.connections = table.ConnectionCount();
  figures.chatrooms = server_.Chatrooms().Count();
  figures.bytesIn = table.BytesIn();
  figures.bytesOut = table.BytesOut();
  figures.programStart = StartTime;
  figures.serverStart = figures.online ? server_.ServerStartTime() : 0;
  figures.programUptime = static_cast<long long>(std::time(nullptr) - StartTime);
  figures.onlineUptime = server_.OnlineSeconds();
  figures.systemUptime = SystemUptimeSeconds();
  return figures;
}

std::vector<std::string> ServerAdmin::LocalAddresses() const {
  const std::string list = GetLocalIPs();
  if (list.empty()) return {};
  return Split(list, "\r\n");
}

}  // namespace velmorin
