#include "server/PluginCommandAudit.hpp"

#include <algorithm>
#include <array>

#include "i18n/LanguageFile.hpp"
#include "logging/LogWriter.hpp"

namespace velmorin {
namespace {

constexpr long kAuditColor = 0x800000;  // as the administration's other audit lines

constexpr std::array<std::string_view, 18> kAdministration = {
    "AllowAnonymousLogin", "AllowCreateChatroom", "SetStandardChatroom", "SetWelcomeMessage", "CreateUserAccount",
    "ModifyUserAccount",   "RemoveUserAccount",   "AddBanRule",          "RemoveBanRule",     "KickUser",
    "ThrowUser",           "SetAdminStatus",      "CreateChatroom",      "ModifyChatroom",    "RemoveChatroom",
    "StartServer",         "StopServer",          "ClearLog",
};

constexpr std::array<std::string_view, 4> kSecondShown = {"AddBanRule", "RemoveBanRule", "KickUser", "SetAdminStatus"};

bool Contains(const auto& words, std::string_view word) {
  return std::find(words.begin(), words.end(), word) != words.end();
}

std::string FirstField(const std::string& parameter) { return parameter.substr(0, parameter.find('\0')); }

}  // namespace

bool IsAdministrationCommand(std::string_view word) { return Contains(kAdministration, word); }

std::string PluginCommandAction(std::string_view word, const std::string& first, const std::string& second) {
  std::string action(word);
  // The welcome text is the whole parameter, and long: the word says enough.
  if (word == "SetWelcomeMessage") return action;
  if (const std::string name = FirstField(first); !name.empty()) action += " " + name;
  if (Contains(kSecondShown, word) && !second.empty()) action += " " + FirstField(second);
  return action;
}

void AuditPluginCommand(LogWriter& log, const std::string& plugin, std::string_view word, const std::string& first,
                        const std::string& second, const std::string& result) {
  const LanguageFile& language = log.Language();
  const std::string origin = FillPlaceholders(language.Data("auditFromPlugin"), {{"%plugin", plugin}}, kMaxLogValueLength);
  const std::string line = FillPlaceholders(
      language.Data(result.empty() ? "msgAuditDone" : "msgAuditAnswered"),
      {{"%origin", origin}, {"%action", PluginCommandAction(word, first, second)}, {"%message", result}},
      kMaxLogValueLength);
  log.WriteLogLine(line + "\r\n", kAuditColor);
}

}  // namespace velmorin
