#pragma once
// The audit line of a plugin command that administers the server (accounts, ban rules, rooms,
// kicks, settings, going on- or offline): which plugin, what it asked, what the command answered.
// What a plugin does for its users (messages, data, lookups) leaves no line.
//
// Only the name a command works on is shown, never the other fields of its parameter: account
// and room commands carry passwords there.

#include <string>
#include <string_view>

namespace velmorin {

class LogWriter;

bool IsAdministrationCommand(std::string_view word);

// "KickUser Bob spam": the word, the first field of the first parameter, and the second
// parameter for the commands whose second parameter is no secret (a ban rule, a kick reason).
std::string PluginCommandAction(std::string_view word, const std::string& first, const std::string& second);

// Writes the audit line of an administration command.
void AuditPluginCommand(LogWriter& log, const std::string& plugin, std::string_view word, const std::string& first,
                        const std::string& second, const std::string& result);

}  // namespace velmorin
