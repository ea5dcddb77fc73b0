#pragma once
// ICallback.command, the server side: one command word per server function a plugin may use
// (see docs/plugins.md, "Commands"). Parameters carrying several fields are split at NUL and
// padded or cut to the number of fields the command takes; nickname lists from and to plugins
// are joined by SOH, other returned lists by NUL. Flags read "1"/"0", any number, true/false;
// a flag that is none of these counts as false. Unknown words return "" and do nothing.
//
// Each command runs with errors suppressed: a step that throws ends the command with the result
// as far as it was set. Commands that call into plugins (SendDataToPlugin, SendDataToPluginSynch,
// SendDataToClient with absent nicknames, and everything that raises an event) leave the server's
// tables consistent before the call and look connections up again after it.
//
//   Handlers are grouped by what they touch:
//     PluginCommands.cpp         dispatch, event registry, menu, log, settings, welcome text,
//                                accounts, ban rules, server information
//     PluginServerCommands.cpp   connected users, messages, chatrooms, plugin-to-plugin data,
//                                starting and stopping the server

#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

#include "chat/ConnectionHandler.hpp"
#include "chat/ConnectionTable.hpp"
#include "chat/RoomTable.hpp"
#include "chat/ServerMessages.hpp"
#include "chat/StatusHost.hpp"
#include "logging/LogWriter.hpp"
#include "plugins/EventHandlerRegistry.hpp"
#include "plugins/ICallback.hpp"
#include "plugins/LoadedPlugin.hpp"
#include "plugins/PluginEvents.hpp"
#include "plugins/PluginMenu.hpp"
#include "plugins/PluginObjects.hpp"
#include "plugins/PluginRegistry.hpp"
#include "server/AdminFrontEnd.hpp"
#include "server/OnlineSwitch.hpp"

namespace velmorin {

class PluginCommands : public ICallback {
 public:
  // The parts of the server the commands work on; the server owns them all, and they outlive
  // the commands.
  struct Parts {
    ConnectionTable& table;
    ConnectionHandler& connections;  // removes a user
    ServerMessages& messages;
    const std::unique_ptr<RoomTable>& rooms;  // the live room table, replaced at each reset
    LogWriter& log;
    PluginEvents& events;
    const PluginObjects& plugins;
    AdminFrontEnd& frontEnd;
    const StatusHost& status;
    OnlineSwitch& onlineSwitch;
  };
  explicit PluginCommands(const Parts& parts);
  PluginCommands(const PluginCommands&) = delete;
  PluginCommands& operator=(const PluginCommands&) = delete;

  std::string command(const std::string& sender, const std::string& word, const std::string& first,
                      const std::string& second) override;
  // A command for the administration, which writes the audit line of its action itself; a
  // plugin's command (above) is audited here when it administers the server.
  std::string RunForAdministration(const std::string& word, const std::string& first, const std::string& second);

  EventHandlerRegistry& Registry() { return registry_; }
  // The plugin menu's entries, and a click on one of them ("MenuClick" to its owner).
  const PluginMenu& Menu() const { return menu_; }
  void MenuClick(const std::string& owner, const std::string& entry);
  // Drops every event subscription and menu entry of a plugin (before it is reloaded).
  void ForgetPlugin(const std::string& ident);

 private:
  using Handler = std::string (PluginCommands::*)(const std::string& sender, const std::string& p1,
                                                  const std::string& p2);
  static const std::unordered_map<std::string, Handler>& Handlers();
  std::string Run(const std::string& sender, const std::string& word, const std::string& first,
                  const std::string& second);

  // PluginCommands.cpp
  std::string AddEventHandler(const std::string& sender, const std::string& p1, const std::string& p2);
  std::string RemoveEventHandler(const std::string& sender, const std::string& p1, const std::string& p2);
  std::string AddMenuEntry(const std::string& sender, const std::string& p1, const std::string& p2);
  std::string EditMenuEntry(const std::string& sender, const std::string& p1, const std::string& p2);
  std::string RemoveMenuEntry(const std::string& sender, const std::string& p1, const std::string& p2);
  std::string AddLogLine(const std::string& sender, const std::string& p1, const std::string& p2);
  std::string ClearLog(const std::string& sender, const std::string& p1, const std::string& p2);
  std::string GetLogText(const std::string& sender, const std::string& p1, const std::string& p2);
  std::string ShowBalloonTooltip(const std::string& sender, const std::string& p1, const std::string& p2);
  std::string AllowAnonymousLogin(const std::string& sender, const std::string& p1, const std::string& p2);
  std::string AllowCreateChatroom(const std::string& sender, const std::string& p1, const std::string& p2);
  std::string GetStandardChatroom(const std::string& sender, const std::string& p1, const std::string& p2);
  std::string SetStandardChatroom(const std::string& sender, const std::string& p1, const std::string& p2);
  std::string GetWelcomeMessage(const std::string& sender, const std::string& p1, const std::string& p2);
  std::string SetWelcomeMessage(const std::string& sender, const std::string& p1, const std::string& p2);
  std::string CreateUserAccount(const std::string& sender, const std::string& p1, const std::string& p2);
  std::string ModifyUserAccount(const std::string& sender, const std::string& p1, const std::string& p2);
  std::string RemoveUserAccount(const std::string& sender, const std::string& p1, const std::string& p2);
  std::string GetUserAccountInfo(const std::string& sender, const std::string& p1, const std::string& p2);
  std::string GetUserAccountList(const std::string& sender, const std::string& p1, const std::string& p2);
  std::string GetActiveUserAccountList(const std::string& sender, const std::string& p1, const std::string& p2);
  std::string AddBanRule(const std::string& sender, const std::string& p1, const std::string& p2);
  std::string RemoveBanRule(const std::string& sender, const std::string& p1, const std::string& p2);
  std::string ListBanRules(const std::string& sender, const std::string& p1, const std::string& p2);
  std::string GetServerInfo(const std::string& sender, const std::string& p1, const std::string& p2);

  // PluginServerCommands.cpp
  std::string GetUserInfo(const std::string& sender, const std::string& p1, const std::string& p2);
  std::string GetUserList(const std::string& sender, const std::string& p1, const std::string& p2);
  std::string KickUser(const std::string& sender, const std::string& p1, const std::string& p2);
  std::string ThrowUser(const std::string& sender, const std::string& p1, const std::string& p2);
  std::string SetAdminStatus(const std::string& sender, const std::string& p1, const std::string& p2);
  std::string SendMessage(const std::string& sender, const std::string& p1, const std::string& p2);
  std::string SendDataToClient(const std::string& sender, const std::string& p1, const std::string& p2);
  std::string SendDataToPlugin(const std::string& sender, const std::string& p1, const std::string& p2);
  std::string SendDataToPluginSynch(const std::string& sender, const std::string& p1, const std::string& p2);
  std::string CreateChatroom(const std::string& sender, const std::string& p1, const std::string& p2);
  std::string ModifyChatroom(const std::string& sender, const std::string& p1, const std::string& p2);
  std::string RemoveChatroom(const std::string& sender, const std::string& p1, const std::string& p2);
  std::string GetChatroomInfos(const std::string& sender, const std::string& p1, const std::string& p2);
  std::string GetChatroomList(const std::string& sender, const std::string& p1, const std::string& p2);
  std::string StartServer(const std::string& sender, const std::string& p1, const std::string& p2);
  std::string StopServer(const std::string& sender, const std::string& p1, const std::string& p2);

  // The room table live now: a reset replaces it, even from inside a command.
  RoomTable& Rooms() { return *rooms_; }

  ConnectionTable& table_;
  ConnectionHandler& connections_;
  ServerMessages& messages_;
  const std::unique_ptr<RoomTable>& rooms_;
  LogWriter& log_;
  const PluginObjects& plugins_;
  AdminFrontEnd& frontEnd_;
  const StatusHost& status_;
  OnlineSwitch& onlineSwitch_;
  EventHandlerRegistry registry_;
  PluginMenu menu_;
};

namespace plugin_text {
// The parameter split at NUL into exactly `count` fields (missing ones empty, surplus dropped).
std::vector<std::string> Fields(const std::string& parameter, std::size_t count);
// A flag given by a plugin; `whenEmpty` for the empty text, false for any other non-flag.
bool Flag(const std::string& text, bool whenEmpty = false);
}  // namespace plugin_text

}  // namespace velmorin
