#include "chat/Options.hpp"

#include <string_view>

#include "chat/Colors.hpp"

namespace velmorin::chat {
namespace {

std::optional<long> PositiveNumber(std::string_view text, long max) {
  if (text.empty() || text.size() > 9 || text.find_first_not_of("0123456789") != std::string_view::npos)
    return std::nullopt;
  const long value = std::stol(std::string(text));
  if (value <= 0 || value > max) return std::nullopt;
  return value;
}

}  // namespace

ParsedOptions ParseOptions(int argc, const char* const* argv) {
  Options options;
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
    if (!value) {
      if (i + 1 >= argc) return fail(name + " needs a value");
      value = argv[++i];
    }
    if (name == "--host") {
      if (value->empty()) return fail("--host needs a host name or address");
      options.host = *value;
      options.hostGiven = true;
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
    } else if (name == "--timeout") {
      const auto ms = PositiveNumber(*value, 3600000);
      if (!ms) return fail("--timeout takes milliseconds from 1 to 3600000, not " + *value);
      options.timeout = std::chrono::milliseconds(*ms);
    } else {
      return fail("unknown option " + name);
    }
  }
  if (!options.help && !options.discover && options.nickname.empty()) return fail("a nickname is needed");
  return ParsedOptions{options, {}};
}

std::string UsageText() {
  return "Usage: velmorin-chat [OPTIONS] NICKNAME\n"
         "       velmorin-chat --discover [--host H] [--port N] [--timeout MS]\n"
         "\n"
         "A terminal client for Velmorin Server: logs in as NICKNAME (a guest, or an account\n"
         "with --password), joins a chatroom and chats. Type /help once connected.\n"
         "\n"
         "  --host H        server host name or address (default localhost)\n"
         "  --port N        server port (default 1000)\n"
         "  --password P    account password; without it the login is a guest's\n"
         "  --color C       text colour, 0x00BBGGRR as a decimal number or #RRGGBB (default 0)\n"
         "  --room R        chatroom to join (default: the server's standard or only room)\n"
         "  --timeout MS    how long to wait for the server (default 3000)\n"
         "  --encrypt       encrypt everything sent to and from the server after the login\n"
         "                  (X25519 key agreement, XChaCha20-Poly1305); leave when the\n"
         "                  server cannot\n"
         "  --no-timestamps leave out the [HH:MM] before what happens\n"
         "  --discover      list the servers that answer on the port (UDP broadcast, or the\n"
         "                  host given with --host) and exit; does not log in\n"
         "  --help          show this text\n"
         "\n"
         "When standard input is not a terminal, its lines are run as typed commands, one\n"
         "after the other, each after the server has answered the one before; the client\n"
         "leaves when the input ends.\n"
         "Exit status: 0 ok, 1 connection failed or closed by the server, 2 usage, 3 login or\n"
         "encryption refused.\n";
}

}  // namespace velmorin::chat
