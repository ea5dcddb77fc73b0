#include "ctl/HelpTable.hpp"

#include <sstream>

namespace velmorin::ctl {
namespace {

std::vector<std::string> Split(const char* words) {
  std::istringstream in(words);
  std::vector<std::string> out;
  for (std::string word; in >> word;) out.push_back(word);
  return out;
}

bool StartsWith(const std::vector<std::string>& whole, const std::vector<std::string>& prefix) {
  if (prefix.size() > whole.size()) return false;
  for (std::size_t i = 0; i < prefix.size(); ++i) {
    if (whole[i] != prefix[i]) return false;
  }
  return true;
}

}  // namespace

const std::vector<CommandHelp>& HelpTable() {
  static const std::vector<CommandHelp> table = {
      {"status", "", "The server's state: online or offline, users, connections, bytes in and out, start time, uptime."},
      {"users", "", "The connected users: id, nickname, address, room, and the other columns of the user list."},
      {"kick", "NICK", "Disconnects the user NICK."},
      {"say", "[--user NICK | --room ROOM] TEXT",
       "Sends a server message: to everyone, to one user (--user) or to the members of one room (--room)."},
      {"rooms", "", "The chatrooms: the stored ones and those clients created, with their members."},
      {"room add", "NAME [--password TEXT] [--topic TEXT] [--limit N] ...", "Adds a chatroom to the running server and to chatrooms.cfg."},
      {"room edit", "NAME [--name NEW] [--password TEXT] [--topic TEXT] [--limit N] ...", "Changes a chatroom."},
      {"room remove", "NAME", "Removes a chatroom; its members get \"closeChatroom\"."},
      {"room standard", "NAME", "Makes NAME the standard room new users enter."},
      {"account add", "NAME [--comment TEXT] [--inactive] [--password-stdin]",
       "Adds an account. The password is asked twice on the terminal without echo, or read from\n"
       "standard input (its first line) with --password-stdin; never from the command line."},
      {"account edit", "NAME [--comment TEXT] [--active | --inactive] [--password] [--password-stdin]",
       "Changes an account. --password asks for a new password as account add does;\n"
       "--password-stdin reads it from standard input."},
      {"account remove", "NAME", "Removes an account."},
      {"account list", "", "The accounts with their state and comment."},
      {"ban add", "PATTERN | FROM-TO | --nick NAME | --nick-part TEXT",
       "Adds a ban rule: an address pattern (192.168.*.*), an address range, a nickname, or a part of nicknames."},
      {"ban remove", "PATTERN | FROM-TO | --nick NAME | --nick-part TEXT", "Removes a ban rule."},
      {"ban list", "", "Both ban lists: addresses and nicknames."},
      {"ban user", "NICK [--address | --nick | --both]", "Bans a connected user by address, by nickname or both, and disconnects it."},
      {"settings get", "[KEY]", "Every stored setting, or the one named KEY."},
      {"settings set", "KEY VALUE [KEY VALUE]...", "Changes settings, confirms and applies them to the running server in one step."},
      {"settings reset", "", "Resets the settings to the standard values and applies them."},
      {"welcome get", "", "Shows the welcome text."},
      {"welcome set", "TEXT", "Replaces the welcome text."},
      {"welcome import", "PATH", "Replaces the welcome text with the file PATH (relative to the current directory)."},
      {"welcome export", "PATH", "Writes the welcome text to the file PATH (relative to the current directory)."},
      {"reload", "", "Reads server.cfg, users.cfg, ban.cfg and welcome.msg again and applies them (as SIGHUP does)."},
      {"online", "", "Takes the server online: it listens for clients again."},
      {"offline", "", "Takes the server offline: every user is disconnected and the listener closed."},
      {"plugins list", "", "The installed plugins and encryption plugins, and whether each is loaded."},
      {"plugins enable", "NAME", "Switches a plugin on (written to the Plugins or Encryption section)."},
      {"plugins disable", "NAME", "Switches a plugin off."},
      {"plugins about", "NAME", "Asks the plugin to show its about text."},
      {"log follow", "", "The live log, one line as it is written, coloured on a terminal; ends with Ctrl+C."},
      {"sysinfo", "", "A system report: the machine, the process, and the versions of the libraries used."},
      {"ips", "", "The machine's IPv4 addresses."},
  };
  return table;
}

std::vector<CommandHelp> HelpFor(const std::vector<std::string>& words) {
  for (std::size_t length = words.size(); length > 0; --length) {
    const std::vector<std::string> prefix(words.begin(), words.begin() + static_cast<std::ptrdiff_t>(length));
    std::vector<CommandHelp> found;
    for (const CommandHelp& entry : HelpTable()) {
      if (StartsWith(Split(entry.words), prefix)) found.push_back(entry);
    }
    if (!found.empty()) return found;
  }
  return HelpTable();
}

}  // namespace velmorin::ctl
