#include "term/Options.hpp"

#include <string_view>

#include "term/Colors.hpp"

namespace velmorin::term {
namespace {

std::optional<long> PositiveNumber(std::string_view text, long max) {
  if (text.empty() || text.size() > 9 || text.find_first_not_of("0123456789") != std::string_view::npos)
    return std::nullopt;
  const long value = std::stol(std::string(text));
  if (value <= 0 || value > max) return std::nullopt;
  return value;
}

}  // namespace

std::optional<HostAndPort> SplitHostPort(const std::string& text) {
  const auto portOf = [](std::string_view digits) { return PositiveNumber(digits, 65535); };
  if (!text.empty() && text.front() == '[') {
    const std::size_t close = text.find(']');
    if (close == std::string::npos || close == 1) return std::nullopt;
    HostAndPort result{text.substr(1, close - 1), std::nullopt};
    const std::string_view rest = std::string_view(text).substr(close + 1);
    if (rest.empty()) return result;
    if (rest.front() != ':') return std::nullopt;
    const auto port = portOf(rest.substr(1));
    if (!port) return std::nullopt;
    result.port = static_cast<std::uint16_t>(*port);
    return result;
  }
  const std::size_t colon = text.find(':');
  // Two colons or more: an IPv6 address without brackets, which cannot carry a port.
  if (colon == std::string::npos || text.find(':', colon + 1) != std::string::npos) {
    if (text.empty()) return std::nullopt;
    return HostAndPort{text, std::nullopt};
  }
  const auto port = portOf(std::string_view(text).substr(colon + 1));
  if (colon == 0 || !port) return std::nullopt;
  return HostAndPort{text.substr(0, colon), static_cast<std::uint16_t>(*port)};
}

ParsedOptions ParseOptions(int argc, const char* const* argv) {
  Options options;
  std::optional<std::uint16_t> hostPort;
  std::optional<std::string> roomPassword;
  const auto fail = [](std::string error) { return ParsedOptions{std::nullopt, std::move(error)}; };
  for (int i = 1; i < argc; ++i) {
    std::string name = argv[i];
    std::optional<std::string> value;
    if (name.rfind("--", 0) == 0) {
      // "--port=2000" as well as "--port 2000".
      if (const std::size_t equals = name.find('='); equals != std::string::npos) {
        value = name.substr(equals + 1);
        name.resize(equals);
      }
    } else {
      if (!options.nickname.empty()) return fail("only one nickname, please: " + name);
      options.nickname = name;
      continue;
    }
    if (name == "--help") {
      options.help = true;
      continue;
    }
    if (name == "--discover") {
      options.discover = true;
      continue;
    }
    if (name == "--no-timestamps") {
      options.timestamps = false;
      continue;
    }
    if (name == "--encrypt") {
      options.encrypt = true;
      continue;
    }
    if (name == "--no-reconnect") {
      options.reconnect = false;
      continue;
    }
    if (name == "--keep-going") {
      options.keepGoing = true;
      continue;
    }
    if (!value) {
      if (i + 1 >= argc) return fail(name + " needs a value");
      value = argv[++i];
    }
    if (name == "--host") {
      const auto split = SplitHostPort(*value);
      if (!split) return fail("--host takes HOST, HOST:PORT, [IPV6]:PORT or an IPv6 address, not " + *value);
      options.host = split->host;
      options.hostGiven = true;
      if (split->port) hostPort = split->port;
    } else if (name == "--port") {
      const auto port = PositiveNumber(*value, 65535);
      if (!port) return fail("--port takes a number from 1 to 65535, not " + *value);
      options.port = static_cast<std::uint16_t>(*port);
    } else if (name == "--password") {
      options.password = *value;
    } else if (name == "--color") {
      const auto color = ParseColor(*value);
      if (!color) return fail("--color takes a colour as 0x00BBGGRR in decimal or as #RRGGBB, not " + *value);
      options.color = *color;
    } else if (name == "--room") {
      options.room = *value;
    } else if (name == "--room-password") {
      roomPassword = *value;
    } else if (name == "--timeout") {
      const auto ms = PositiveNumber(*value, 3600000);
      if (!ms) return fail("--timeout takes milliseconds from 1 to 3600000, not " + *value);
      options.timeout = std::chrono::milliseconds(*ms);
    } else {
      return fail("unknown option " + name);
    }
  }
  if (!options.help && !options.discover && options.nickname.empty()) return fail("a nickname is needed");
  // A port in --host wins over --port, wherever each stands.
  if (hostPort) options.port = *hostPort;
  // --room NAME:PASSWORD, unless the password is given on its own (the name then stays whole).
  if (roomPassword) {
    options.roomPassword = *roomPassword;
  } else if (const std::size_t colon = options.room.find(':'); colon != std::string::npos) {
    options.roomPassword = options.room.substr(colon + 1);
    options.room.resize(colon);
  }
  return ParsedOptions{options, {}};
}

std::string UsageText() {
  return "Usage: velmorin-chat [OPTIONS] NICKNAME\n"
         "       velmorin-chat --discover [--host H] [--port N] [--timeout MS]\n"
         "\n"
         "A terminal client for Velmorin Server: logs in as NICKNAME (a guest, or an account\n"
         "with --password), joins a chatroom and chats. Type /help once connected.\n"
         "\n"
         "  --host H        server host name or address (default localhost); also H:PORT,\n"
         "                  [IPV6]:PORT or a bare IPv6 address such as ::1\n"
         "  --port N        server port (default 1000)\n"
         "  --password P    account password; without it the login is a guest's\n"
         "  --color C       text colour, 0x00BBGGRR as a decimal number or #RRGGBB (default 0)\n"
         "  --room R[:PW]   chatroom to enter, with its password (default: the standard room,\n"
         "                  else the server's default room Lobby, else the first one listed)\n"
         "  --room-password PW  the chatroom's password (the --room name is then taken whole)\n"
         "  --timeout MS    how long to wait for the server (default 3000)\n"
         "  --encrypt       encrypt everything sent to and from the server after the login\n"
         "                  (X25519 key agreement, XChaCha20-Poly1305); leave when the\n"
         "                  server cannot\n"
         "  --no-timestamps leave out the [HH:MM] before what happens\n"
         "  --discover      list the servers that answer on the port (UDP broadcast, or the\n"
         "                  host given with --host) and exit; does not log in\n"
         "  --no-reconnect  end when the connection is lost instead of connecting again\n"
         "  --keep-going    in a script, go on after a command that failed\n"
         "  --help          show this text\n"
         "\n"
         "When standard input is not a terminal, its lines are run as typed commands, one\n"
         "after the other, each after the server has answered the one before; the client\n"
         "leaves when the input ends. A command that fails (refused, unanswered, a chatroom\n"
         "that cannot be entered, a private message to nobody) ends the script.\n"
         "Exit status: 0 ok, 1 connection failed or lost for good, 2 usage, 3 login or\n"
         "encryption refused (3 also when the nickname is in use, and after the administrator\n"
         "disconnected the session: it does not connect again on its own), 4 a script\n"
         "command failed.\n";
}

}  // namespace velmorin::term
