#include "server/PluginCommands.hpp"

#include <charconv>
#include <cmath>
#include <cstdio>
#include <ctime>
#include <exception>

#include "codec/PayloadFields.hpp"
#include "config/Accounts.hpp"
#include "config/BanRules.hpp"
#include "config/Settings.hpp"
#include "config/WelcomeMessage.hpp"
#include "i18n/LanguageFile.hpp"
#include "net/MachineAddresses.hpp"
#include "platform/ProgramPaths.hpp"
#include "platform/Text.hpp"
#include "server/PluginCommandAudit.hpp"
#include "server/ProgramStart.hpp"

namespace velmorin {

namespace plugin_text {

std::vector<std::string> Fields(const std::string& parameter, std::size_t count) {
  std::vector<std::string> fields = PayloadFields(parameter, count);
  fields.resize(count);
  return fields;
}

bool Flag(const std::string& text, bool whenEmpty) {
  if (text.empty()) return whenEmpty;
  return ToBool(text).value_or(false);
}

}  // namespace plugin_text

namespace {

using plugin_text::Fields;
using plugin_text::Flag;

// A byte counter: whole numbers as plain digits, anything else in the shortest exact form.
std::string CounterText(double value) {
  if (std::isfinite(value) && value == std::floor(value) && std::fabs(value) < 1e15) {
    return std::to_string(static_cast<long long>(value));
  }
  // "." as the decimal point whatever the locale says.
  char text[32];
  const auto written = std::to_chars(text, text + sizeof text, value, std::chars_format::general, 15);
  return std::string(text, written.ptr);
}

}  // namespace

PluginCommands::PluginCommands(const Parts& parts)
    : table_(parts.table),
      connections_(parts.connections),
      messages_(parts.messages),
      rooms_(parts.rooms),
      log_(parts.log),
      plugins_(parts.plugins),
      frontEnd_(parts.frontEnd),
      status_(parts.status),
      onlineSwitch_(parts.onlineSwitch),
      registry_(parts.events, parts.plugins) {}

void PluginCommands::ForgetPlugin(const std::string& ident) {
  registry_.RemoveAll(ident);
  if (menu_.RemoveOwner(ident)) frontEnd_.RebuildPluginMenu();
}

void PluginCommands::MenuClick(const std::string& owner, const std::string& entry) {
  plugins_.Call(owner, "MenuClick", entry, "");
}

const std::unordered_map<std::string, PluginCommands::Handler>& PluginCommands::Handlers() {
  static const std::unordered_map<std::string, Handler> handlers = {
      {"AddBanRule", &PluginCommands::AddBanRule},
      {"AddEventHandler", &PluginCommands::AddEventHandler},
      {"AddLogLine", &PluginCommands::AddLogLine},
      {"AddMenuEntry", &PluginCommands::AddMenuEntry},
      {"AllowAnonymousLogin", &PluginCommands::AllowAnonymousLogin},
      {"AllowCreateChatroom", &PluginCommands::AllowCreateChatroom},
      {"ClearLog", &PluginCommands::ClearLog},
      {"CreateChatroom", &PluginCommands::CreateChatroom},
      {"CreateUserAccount", &PluginCommands::CreateUserAccount},
      {"EditMenuEntry", &PluginCommands::EditMenuEntry},
      {"GetActiveUserAccountList", &PluginCommands::GetActiveUserAccountList},
      {"GetChatroomInfos", &PluginCommands::GetChatroomInfos},
      {"GetChatroomList", &PluginCommands::GetChatroomList},
      {"GetLogText", &PluginCommands::GetLogText},
      {"GetServerInfo", &PluginCommands::GetServerInfo},
      {"GetStandardChatroom", &PluginCommands::GetStandardChatroom},
      {"GetUserAccountInfo", &PluginCommands::GetUserAccountInfo},
      {"GetUserAccountList", &PluginCommands::GetUserAccountList},
      {"GetUserInfo", &PluginCommands::GetUserInfo},
      {"GetUserList", &PluginCommands::GetUserList},
      {"GetWelcomeMessage", &PluginCommands::GetWelcomeMessage},
      {"KickUser", &PluginCommands::KickUser},
      {"ListBanRules", &PluginCommands::ListBanRules},
      {"ModifyChatroom", &PluginCommands::ModifyChatroom},
      {"ModifyUserAccount", &PluginCommands::ModifyUserAccount},
      {"RemoveBanRule", &PluginCommands::RemoveBanRule},
      {"RemoveChatroom", &PluginCommands::RemoveChatroom},
      {"RemoveEventHandler", &PluginCommands::RemoveEventHandler},
      {"RemoveMenuEntry", &PluginCommands::RemoveMenuEntry},
      {"RemoveUserAccount", &PluginCommands::RemoveUserAccount},
      {"SendDataToClient", &PluginCommands::SendDataToClient},
      {"SendDataToPlugin", &PluginCommands::SendDataToPlugin},
      {"SendDataToPluginSynch", &PluginCommands::SendDataToPluginSynch},
      {"SendMessage", &PluginCommands::SendMessage},
      {"SetAdminStatus", &PluginCommands::SetAdminStatus},
      {"SetStandardChatroom", &PluginCommands::SetStandardChatroom},
      {"SetWelcomeMessage", &PluginCommands::SetWelcomeMessage},
      {"ShowBalloonTooltip", &PluginCommands::ShowBalloonTooltip},
      {"StartServer", &PluginCommands::StartServer},
      {"StopServer", &PluginCommands::StopServer},
      {"ThrowUser", &PluginCommands::ThrowUser},
  };
  return handlers;
}

std::string PluginCommands::command(const std::string& sender, const std::string& word, const std::string& first,
                                    const std::string& second) {
  std::string result = Run(sender, word, first, second);
  if (IsAdministrationCommand(word)) AuditPluginCommand(log_, sender, word, first, second, result);
  return result;
}

std::string PluginCommands::RunForAdministration(const std::string& word, const std::string& first,
                                                 const std::string& second) {
  return Run({}, word, first, second);
}

std::string PluginCommands::Run(const std::string& sender, const std::string& word, const std::string& first,
                                const std::string& second) {
  const auto found = Handlers().find(word);
  if (found == Handlers().end()) return {};
  // Errors stay inside the server: the plugin sees an empty result, and the log one line per
  // plugin and second (the id is the limiter's key) saying what went wrong.
  const auto logFailure = [&](const std::string& what) {
    log_.Log(LogMessageType::ErrorRaised, {{"%id", "plugin " + sender}, {"%nr", "0"}, {"%description", what},
                                           {"%source", "command " + word}});
  };
  try {
    return (this->*found->second)(sender, first, second);
  } catch (const std::exception& error) {
    logFailure(error.what());
  } catch (...) {
    logFailure("unknown exception");
  }
  return {};
}

// ---- Event registry -------------------------------------------------------------------------

std::string PluginCommands::AddEventHandler(const std::string& sender, const std::string& p1, const std::string&) {
  registry_.Add(p1, sender);
  return {};
}

std::string PluginCommands::RemoveEventHandler(const std::string& sender, const std::string& p1, const std::string&) {
  registry_.Remove(p1, sender);
  return {};
}

// ---- Menu -----------------------------------------------------------------------------------

std::string PluginCommands::AddMenuEntry(const std::string& sender, const std::string& p1, const std::string& p2) {
  const std::vector<std::string> f = Fields(p2, 3);
  if (menu_.Add(PluginMenuEntry{Flag(f[2], true), Flag(f[1], false), p1, sender, f[0]})) {
    frontEnd_.RebuildPluginMenu();
  }
  return {};
}

std::string PluginCommands::EditMenuEntry(const std::string& sender, const std::string& p1, const std::string& p2) {
  const std::vector<std::string> f = Fields(p2, 3);
  if (menu_.Edit(sender, p1, Flag(f[2], true), Flag(f[1], false), f[0])) {
    frontEnd_.UpdatePluginMenuItem(sender, p1);
  }
  return {};
}

std::string PluginCommands::RemoveMenuEntry(const std::string& sender, const std::string& p1, const std::string&) {
  if (menu_.Remove(sender, p1)) frontEnd_.RebuildPluginMenu();
  return {};
}

// ---- Log view and tray ----------------------------------------------------------------------

std::string PluginCommands::AddLogLine(const std::string&, const std::string& p1, const std::string& p2) {
  // A colour that is not a number fails the step: nothing is written.
  if (const std::optional<long> color = ToLong(p1)) log_.WriteLogLine(p2 + "\r\n", *color);
  return {};
}

std::string PluginCommands::ClearLog(const std::string&, const std::string&, const std::string&) {
  log_.ClearLog();
  return {};
}

std::string PluginCommands::GetLogText(const std::string&, const std::string& p1, const std::string&) {
  return frontEnd_.LogText(EqualsNoCase(p1, "rtf"));
}

std::string PluginCommands::ShowBalloonTooltip(const std::string&, const std::string& p1, const std::string& p2) {
  const std::vector<std::string> f = Fields(p1, 2);
  const long icon = f[0] == "info" ? 1 : f[0] == "warning" ? 2 : f[0] == "error" ? 3 : 0;
  frontEnd_.ShowTrayBalloon(icon, f[1], p2);
  return {};
}

// ---- Settings and welcome text --------------------------------------------------------------

namespace {

std::string SwitchSetting(bool& setting, const std::string& p1) {
  const std::string before = BoolText(setting);
  if (p1 == "allow") setting = true;
  if (p1 == "deny") setting = false;
  return before;
}

}  // namespace

std::string PluginCommands::AllowAnonymousLogin(const std::string&, const std::string& p1, const std::string&) {
  return SwitchSetting(ServerSettings.General.AllowGuests, p1);
}

std::string PluginCommands::AllowCreateChatroom(const std::string&, const std::string& p1, const std::string&) {
  return SwitchSetting(ServerSettings.Chatrooms.AllowCreateChatroom, p1);
}

std::string PluginCommands::GetStandardChatroom(const std::string&, const std::string&, const std::string&) {
  return ServerSettings.Chatrooms.StandardChatroom;
}

std::string PluginCommands::SetStandardChatroom(const std::string&, const std::string& p1, const std::string&) {
  return velmorin::SetStandardChatroom(p1);
}

std::string PluginCommands::GetWelcomeMessage(const std::string&, const std::string&, const std::string&) {
  return WelcomeText;
}

std::string PluginCommands::SetWelcomeMessage(const std::string&, const std::string& p1, const std::string&) {
  const std::string before = WelcomeText;
  WelcomeText = p1;
  // A text the file cannot take now (changed by hand, or not writable) is not taken; the log
  // says why.
  if (const int error = SaveWelcomeMessage(); error != 0) {
    WelcomeText = before;
    log_.WriteLogLine(SaveFailureText(CurrentLanguage(), Paths().welcomeFile, error) + "\r\n", 255);
  }
  return {};
}

// ---- Accounts -------------------------------------------------------------------------------

std::string PluginCommands::CreateUserAccount(const std::string&, const std::string& p1, const std::string&) {
  return velmorin::CreateUserAccount(p1);
}

std::string PluginCommands::ModifyUserAccount(const std::string&, const std::string& p1, const std::string& p2) {
  const std::vector<std::string> f = Fields(p1, 2);
  return velmorin::ModifyUserAccount(f[0], f[1], p2);
}

std::string PluginCommands::RemoveUserAccount(const std::string&, const std::string& p1, const std::string&) {
  return velmorin::RemoveUserAccount(p1);
}

std::string PluginCommands::GetUserAccountInfo(const std::string&, const std::string& p1, const std::string& p2) {
  return velmorin::GetUserAccountInfo(p1, p2);
}

std::string PluginCommands::GetUserAccountList(const std::string&, const std::string&, const std::string&) {
  return velmorin::GetUserAccountList();
}

std::string PluginCommands::GetActiveUserAccountList(const std::string&, const std::string&, const std::string&) {
  return velmorin::GetActiveUserAccountList();
}

// ---- Ban rules ------------------------------------------------------------------------------

std::string PluginCommands::AddBanRule(const std::string&, const std::string& p1, const std::string& p2) {
  return velmorin::AddBanRule(p1, p2);
}

std::string PluginCommands::RemoveBanRule(const std::string&, const std::string& p1, const std::string& p2) {
  return velmorin::RemoveBanRule(p1, p2);
}

std::string PluginCommands::ListBanRules(const std::string&, const std::string& p1, const std::string&) {
  return velmorin::ListBanRules(p1);
}

// ---- Server information ---------------------------------------------------------------------

std::string PluginCommands::GetServerInfo(const std::string&, const std::string& p1, const std::string&) {
  const GeneralSettings& general = ServerSettings.General;
  if (p1 == "admin") return general.AdministratorName;
  if (p1 == "adminmail") return general.AdministratorEMail;
  if (p1 == "bytesin") return CounterText(table_.BytesIn());
  if (p1 == "bytesout") return CounterText(table_.BytesOut());
  if (p1 == "chatroomcount") return std::to_string(Rooms().Count());
  if (p1 == "connectioncount") return std::to_string(table_.ConnectionCount());
  if (p1 == "hwnd") return "0";  // there is no window handle to give
  if (p1 == "ips") {
    const std::string addresses = GetLocalIPs();
    return addresses.empty() ? addresses : addresses + "\r\n";
  }
  if (p1 == "maxtextlength") return std::to_string(general.MaxTextLength);
  if (p1 == "maxusercount") return std::to_string(general.MaxUserCount);
  if (p1 == "port") return std::to_string(status_.ListeningPort());
  if (p1 == "uptimeserver") return std::to_string(static_cast<long long>(std::time(nullptr) - StartTime));
  if (p1 == "uptimeonline") return std::to_string(status_.OnlineSeconds());
  if (p1 == "usercount") return std::to_string(table_.UserCount());
  if (p1 == "version") return ServerSettings.Info.Version;
  return {};
}

}  // namespace velmorin
