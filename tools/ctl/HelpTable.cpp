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
      {"status", "",
       "The server's state as fields: status (online or offline), port, users, max_users, connections,\n"
       "chatrooms, bytes and data in and out, start times and uptimes (\"-\" while offline)."},
      {"users", "", "The logged-in users: id, nickname, chatroom, ip, version."},
      {"kick", "NICK [--reason TEXT]",
       "Disconnects the logged-in user NICK. The user is told so, with the reason; its room and the\n"
       "log get the reason too. The terminal client does not connect again on its own after that."},
      {"say", "[--user NICK | --room ROOM] TEXT...",
       "Sends a server message (the words of TEXT joined by blanks) to every logged-in user, to one\n"
       "user (--user) or to the members of one room (--room)."},
      {"rooms", "",
       "The live chatrooms: id, name, members, password (*), stored (yes: in chatrooms.cfg; no: added\n"
       "without --store; client: made by a client), standard, description; and the stored rooms."},
      {"room add", "NAME [--password P] [--description TEXT] [--store]",
       "Adds a chatroom to the running server; with --store to chatrooms.cfg as well, so that it is\n"
       "there again after a restart."},
      {"room edit", "NAME [--password P] [--description TEXT]",
       "Changes a live chatroom's password (empty: none) or description; a stored room in\n"
       "chatrooms.cfg too."},
      {"room remove", "NAME [--yes]",
       "Removes a chatroom, live and stored; its members get \"closeChatroom\". A removed standard\n"
       "room leaves none. A stored room goes from chatrooms.cfg for good, so its removal is refused\n"
       "unless --yes confirms it (and the last stored one leaves a server that starts without a room)."},
      {"room standard", "NAME|--none",
       "Makes NAME, a stored room that is live, the room new users enter (a room added without\n"
       "--store is refused: it is gone after a restart); --none: no standard room."},
      {"account add", "NAME [--comment TEXT] [--inactive] [--password-stdin]",
       "Adds an account. The password is asked twice on the terminal without echo, or read from\n"
       "standard input (its first line) with --password-stdin; never from the command line."},
      {"account edit", "NAME [--comment TEXT] [--active|--inactive] [--password] [--password-stdin]",
       "Changes an account. --password asks for a new password as account add does;\n"
       "--password-stdin reads it from standard input (and implies --password)."},
      {"account remove", "NAME", "Removes an account."},
      {"account list", "", "The accounts: name, active, password (* when set), comment."},
      {"ban add", "ip PATTERN|FROM-TO",
       "Adds an address rule: a pattern (192.168.*.*) or a range (10.0.0.1-10.0.0.50)."},
      {"ban add", "nick|nickpart TEXT",
       "Adds a nickname rule: nick bans the nickname TEXT, nickpart every nickname that contains TEXT."},
      {"ban remove", "ip PATTERN|FROM-TO", "Removes an address rule."},
      {"ban remove", "nick|nickpart TEXT", "Removes the nickname rule TEXT of that kind."},
      {"ban list", "", "Every rule: kind (ip, nick or nickpart) and rule."},
      {"ban user", "NICK [--ip] [--nick] [--nickpart]",
       "Bans the logged-in user NICK by address, nickname and nickname part, as chosen (none chosen:\n"
       "--ip --nick), and disconnects them. The reply says how many other users are connected\n"
       "from a banned address."},
      {"settings get", "[KEY]",
       "Every setting as a key and value table, or the setting KEY. A key is Section.Key as in\n"
       "server.cfg (General.Port, LogMessages.Connected_Color), in any case. Values are shown as the\n"
       "settings dialog shows them: ping timeout in seconds, ping delay in minutes, Booleans 1 or 0."},
      {"settings set", "KEY VALUE [KEY VALUE...]",
       "Changes settings and confirms them in one step: saved to server.cfg and applied to the\n"
       "running server. The dialog's conversions apply (a port of 0 or above 65535 becomes 1000, a\n"
       "user limit above 32768 becomes 32768, an empty or 0 number its default). A number that is not\n"
       "digits is refused. One bad key or value refuses all and changes nothing, and so\n"
       "do a new General.Port that cannot be listened on and a server.cfg changed by hand since the\n"
       "server read it (reload first)."},
      {"settings reset", "[--yes]",
       "Confirms the standard settings and the standard welcome text; refused unless --yes confirms it."},
      {"welcome get", "", "The welcome text, as the field text."},
      {"welcome set", "TEXT...",
       "Replaces the welcome text with the words of TEXT joined by blanks; a line break inside a\n"
       "word is a line break of the text."},
      {"welcome import", "PATH",
       "Replaces the welcome text with the file PATH (a regular file of at most 64 KiB). PATH is taken\n"
       "relative to the current directory; the server reads it as the user it runs as."},
      {"welcome export", "PATH",
       "Writes the welcome text to the file PATH, relative to the current directory; the server\n"
       "writes it as the user it runs as."},
      {"reload", "",
       "Reads server.cfg, users.cfg, ban.cfg and welcome.msg again and applies them, as SIGHUP does.\n"
       "Refused, and nothing changes, when a file is missing, unreadable, empty or holds none of its\n"
       "sections (reading it would put defaults over the running configuration); the message says why."},
      {"online", "", "Takes the server online on its port: the one given with /port:N at start, else the configured one."},
      {"offline", "[--yes]",
       "Takes the server offline: every user is disconnected and the listener closed. While users are\n"
       "logged in it is refused (questionStopServer: how many, and to add --yes) unless --yes\n"
       "confirms it."},
      {"plugins list", "",
       "The installed plugins and encryption plugins: name, title, ident, type, version, author,\n"
       "enabled, loaded, state (loaded, disabled, failed, not loaded) and the reason of a failure.\n"
       "A file the server refused (interface version, missing export, ...) is listed as failed."},
      {"plugins enable", "NAME",
       "Switches the plugin NAME (as plugins list shows it) on in the Plugins or Encryption section;\n"
       "a plugin takes it at the next program start (or at once with plugins reload), an encryption\n"
       "plugin when the server next goes online."},
      {"plugins disable", "NAME",
       "Switches the plugin NAME off, as plugins enable switches it on; a plugin that runs keeps\n"
       "running until then."},
      {"plugins about", "NAME",
       "Prints the about text the plugin NAME answers, or says that it has none to show here (an\n"
       "about box that is a window shows only on the server's desktop)."},
      {"plugins configure", "NAME",
       "Asks the encryption plugin NAME to show its configuration dialog, a window on the server's\n"
       "desktop; a general plugin's settings are a page of the desktop window."},
      {"plugins reload", "NAME",
       "Ends the plugin NAME and loads its installed file plugins/NAME.so again: Terminate, unload,\n"
       "load, initialise; it registers its events and menu entries anew. When the new file is\n"
       "refused, the plugin that ran keeps running. Refused for a disabled plugin."},
      {"log follow", "[--lines N]",
       "The live log, one line as it is written, coloured on a terminal; ends with Ctrl+C. With\n"
       "--lines N the last N lines written before come first (the server keeps the last 1000)."},
      {"sysinfo", "",
       "A system report as fields: the machine (processor, memory, load, uptime), the system (uname)\n"
       "and the program (version, C library, compiler, plugins)."},
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
