#include "term/Commands.hpp"

#include <algorithm>

#include "term/Colors.hpp"
#include "codec/FieldCipher.hpp"
#include "codec/Sha256.hpp"
#include "codec/WireFormat.hpp"
#include "platform/Text.hpp"

namespace velmorin::term {
namespace {

using Action = ParsedLine::Action;

std::string Fields(std::initializer_list<std::string_view> fields) {
  std::string payload;
  bool first = true;
  for (const std::string_view field : fields) {
    if (!first) payload.push_back(kFieldSeparator);
    payload.append(field);
    first = false;
  }
  return payload;
}

std::string_view TrimLeft(std::string_view text) {
  while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
  return text;
}

// The next blank-separated word, or a "quoted text"; `rest` moves past it.
std::string NextWord(std::string_view& rest) {
  rest = TrimLeft(rest);
  std::string word;
  if (!rest.empty() && rest.front() == '"') {
    const std::size_t close = rest.find('"', 1);
    word = rest.substr(1, close == std::string_view::npos ? std::string_view::npos : close - 1);
    rest = close == std::string_view::npos ? std::string_view() : rest.substr(close + 1);
  } else {
    const std::size_t end = rest.find_first_of(" \t");
    word = rest.substr(0, end);
    rest = end == std::string_view::npos ? std::string_view() : rest.substr(end);
  }
  rest = TrimLeft(rest);
  return word;
}

ParsedLine Refuse(std::string message) {
  ParsedLine parsed;
  parsed.action = Action::kRefuse;
  parsed.message = std::move(message);
  return parsed;
}

ParsedLine Send(std::string command, std::string payload, Expectation expect = {}) {
  ParsedLine parsed;
  parsed.action = Action::kSend;
  parsed.requests.push_back({std::move(command), std::move(payload)});
  parsed.expect = std::move(expect);
  return parsed;
}

ParsedLine RoomMessage(std::string_view kind, std::string_view text, const CommandContext& context) {
  if (context.room.empty()) return Refuse("You are in no chatroom: /join one first (/rooms lists them).");
  // The empty second field addresses everybody in the room.
  return Send("message", Fields({kind, "", text}));
}

struct Usage {
  const char* syntax;
  const char* meaning;
  std::vector<std::string> aliases;  // other words for the same command
};

// In the order /help shows them.
const std::vector<std::pair<std::string, Usage>>& CommandTable() {
  static const std::vector<std::pair<std::string, Usage>> table = {
      {"me", {"/me TEXT", "an action: * Nick TEXT", {}}},
      {"shout", {"/shout TEXT", "shout to the chatroom", {}}},
      {"msg", {"/msg NICK TEXT", "a private message", {}}},
      {"query", {"/query [NICK [TEXT]]", "plain text goes to NICK privately; alone: to the room", {}}},
      {"join", {"/join ROOM [PASSWORD]", "go to another chatroom", {"j"}}},
      {"create", {"/create ROOM [PASSWORD|-] [DESCRIPTION]", "open a new chatroom (- for no password)", {}}},
      {"rooms", {"/rooms", "list the chatrooms", {"list"}}},
      {"users", {"/users [ROOM]", "who is in a chatroom (default: this one)", {"who", "names"}}},
      {"find", {"/find TEXT", "find people by a part of their nickname", {"whois", "w"}}},
      {"away", {"/away [TEXT]", "be away; TEXT answers those who ask or write to you", {}}},
      {"back", {"/back", "be back", {}}},
      {"getaway", {"/getaway NICK", "ask for somebody's away message", {}}},
      {"awaymsg", {"/awaymsg NICK TEXT", "send somebody an away message", {}}},
      {"color", {"/color NAME|#RRGGBB|N", "change your text colour (/color alone names them)", {"colour"}}},
      {"cmd", {"/cmd WORD [ARGUMENT]", "a server command, handled by the server's plugins", {}}},
      {"clear", {"/clear", "clear the screen", {}}},
      {"wait", {"/wait MS", "show what arrives for MS milliseconds (for scripts)", {}}},
      {"part", {"/part", "leave this chatroom for the one everybody starts in", {"leave"}}},
      {"quit", {"/quit [REASON]", "leave the server", {"exit"}}},
      {"help", {"/help", "this list", {"?"}}},
  };
  return table;
}

// The command a word names, aliases resolved; the word itself when it names none.
std::string Canonical(const std::string& word) {
  for (const auto& [command, usage] : CommandTable()) {
    if (command == word) return command;
    for (const std::string& alias : usage.aliases) {
      if (alias == word) return command;
    }
  }
  return word;
}

ParsedLine UsageOf(const std::string& name) {
  for (const auto& [command, usage] : CommandTable()) {
    if (command == name) return Refuse(std::string("Usage: ") + usage.syntax);
  }
  return Refuse("Usage: /help");
}

ParsedLine Note(std::string message) {
  ParsedLine parsed;
  parsed.action = Action::kNote;
  parsed.message = std::move(message);
  return parsed;
}

ParsedLine PrivateMessage(const std::string& nick, std::string_view text) {
  return Send("message", Fields({"private", nick, text}), {Expectation::Kind::kPrivateEcho, nick});
}

// Away and back change the state only when it changes; a repeated /away or a /back while not
// away is answered here instead of telling the whole room again.
ParsedLine Away(std::string_view text, const CommandContext& context) {
  if (context.away) {
    if (text == context.awayText) return Note("You are already away.");
    ParsedLine parsed = Note("You are still away; those who ask or write to you now get: " + std::string(text));
    if (text.empty()) parsed.message = "You are still away, now without an away message.";
    parsed.away = true;
    parsed.awayText = std::string(text);
    return parsed;
  }
  ParsedLine parsed = Send("setClientState", Fields({"away", text}));
  parsed.away = true;
  parsed.awayText = std::string(text);
  return parsed;
}

ParsedLine Back(const CommandContext& context) {
  if (!context.away) return Note("You are not away.");
  ParsedLine parsed = Send("setClientState", "normal");
  parsed.away = false;
  return parsed;
}

ParsedLine Query(std::string_view& rest, const CommandContext& context) {
  const std::string nick = NextWord(rest);
  ParsedLine parsed;
  if (nick.empty()) {
    parsed = Note(context.query.empty() ? "Your text goes to the chatroom."
                                        : "Your text goes to the chatroom again, not to " + context.query + ".");
  } else if (rest.empty()) {
    parsed = Note("Your text now goes privately to " + nick + "; /query alone goes back to the chatroom.");
  } else {
    parsed = PrivateMessage(nick, rest);
  }
  parsed.query = nick;
  return parsed;
}

ParsedLine Color(std::string_view& rest) {
  const std::string word = NextWord(rest);
  if (word.empty()) return Refuse("Usage: /color NAME|#RRGGBB|N; the names: " + ColorNames() + ".");
  const auto color = ParseColor(word);
  if (!color) return Refuse("No colour " + word + "; try #RRGGBB or one of " + ColorNames() + ".");
  if (IsTooLight(*color))
    return Refuse("That colour is too light to read on a white window; the server would ignore it.");
  return Send("setColor", std::to_string(*color));
}

}  // namespace

std::string JoinPayload(std::string_view room, std::string_view password, const CommandContext& context) {
  const std::string proof =
      password.empty() ? std::string() : SHA256Hex(std::string(password) + context.nickname + context.loginKey);
  return Fields({room, proof});
}

std::string CreatePayload(std::string_view room, std::string_view password, std::string_view description,
                          const CommandContext& context) {
  std::string cipher;
  std::string check;
  if (!password.empty()) {
    cipher = EncryptField(password, context.sessionKey);
    check = SHA256Hex(std::string(password) + context.loginKey);
  }
  return Fields({room, description, cipher, check});
}

ParsedLine ParseLine(std::string_view line, const CommandContext& context) {
  // Trailing blanks too: Tab completion leaves one after a nickname.
  while (!line.empty() && std::string_view("\r\n \t").find(line.back()) != std::string_view::npos)
    line.remove_suffix(1);
  if (Trim(line, " \t").empty()) return {};
  if (line.front() != '/' || line.substr(0, 2) == "//") {
    const std::string_view text = line.front() == '/' ? line.substr(1) : line;
    if (!context.query.empty()) return PrivateMessage(context.query, text);
    return RoomMessage("normal", text, context);
  }

  std::string_view rest = line.substr(1);
  const std::string name = Canonical(LowerCase(NextWord(rest)));
  const std::string_view text = rest;  // everything after the command word, as typed

  if (name == "me" || name == "shout") {
    if (text.empty()) return UsageOf(name);
    return RoomMessage(name, text, context);
  }
  if (name == "msg") {
    const std::string nick = NextWord(rest);
    if (nick.empty() || rest.empty()) return UsageOf(name);
    return PrivateMessage(nick, rest);
  }
  if (name == "query") return Query(rest, context);
  if (name == "join") {
    const std::string room = NextWord(rest);
    const std::string password = NextWord(rest);
    if (room.empty() || !rest.empty()) return UsageOf(name);
    return Send("joinChatroom", JoinPayload(room, password, context));
  }
  if (name == "create") {
    const std::string room = NextWord(rest);
    std::string password = NextWord(rest);
    if (room.empty()) return UsageOf(name);
    if (password == "-") password.clear();
    return Send("createChatroom", CreatePayload(room, password, rest, context));
  }
  if (name == "rooms") return Send("getChatroomlist", "");
  if (name == "users") {
    std::string room = NextWord(rest);
    if (room.empty()) room = context.room;
    if (room.empty()) return Refuse("You are in no chatroom: name one, /users ROOM.");
    return Send("getUserlist", room, {Expectation::Kind::kUserlist, room});
  }
  if (name == "find") {
    if (text.empty()) return UsageOf(name);
    return Send("findPerson", std::string(text));
  }
  if (name == "away") return Away(text, context);
  if (name == "back") return Back(context);
  if (name == "getaway") {
    const std::string nick = NextWord(rest);
    if (nick.empty()) return UsageOf(name);
    return Send("getAwayMessage", nick);
  }
  if (name == "awaymsg") {
    const std::string nick = NextWord(rest);
    if (nick.empty()) return UsageOf(name);
    return Send("awaymessage", Fields({nick, rest}));
  }
  if (name == "color") return Color(rest);
  if (name == "cmd") {
    const std::string word = NextWord(rest);
    if (word.empty()) return UsageOf(name);
    return Send("command", Fields({word, rest}));
  }
  if (name == "wait") {
    const std::string ms = NextWord(rest);
    const auto value = ToLong(ms);
    if (ms.empty() || ms.find_first_not_of("0123456789") != std::string::npos || !value) return UsageOf(name);
    ParsedLine parsed;
    parsed.action = Action::kWait;
    parsed.wait = std::chrono::milliseconds(*value);
    return parsed;
  }
  if (name == "clear") {
    ParsedLine parsed;
    parsed.action = Action::kClear;
    return parsed;
  }
  if (name == "part") {
    // Everybody is always in some chatroom: leaving one means going back to the standard room.
    ParsedLine parsed;
    if (context.homeRoom.empty()) {
      parsed = Refuse("This server has no chatroom everybody starts in: /join another one, or /quit to leave.");
    } else if (EqualsNoCase(context.room, context.homeRoom)) {
      parsed = Note("You are in " + context.homeRoom + ", where everybody starts; /quit leaves the server.");
    } else {
      parsed = Send("joinChatroom", JoinPayload(context.homeRoom, "", context));
    }
    parsed.usesHomeRoom = true;
    return parsed;
  }
  if (name == "quit") {
    ParsedLine parsed = Send("quit", std::string(text));
    parsed.action = Action::kQuit;
    return parsed;
  }
  if (name == "help") {
    ParsedLine parsed;
    parsed.action = Action::kHelp;
    return parsed;
  }
  return Refuse("Unknown command /" + name + "; /help lists the commands.");
}

std::vector<std::string> HelpLines() {
  std::vector<std::string> lines{"Type a text to say it in the current chatroom (// sends one that starts with /)."};
  std::size_t width = 0;
  for (const auto& entry : CommandTable()) width = std::max(width, std::string(entry.second.syntax).size());
  for (const auto& [name, usage] : CommandTable()) {
    std::string syntax = usage.syntax;
    syntax.resize(width + 2, ' ');
    lines.push_back("  " + syntax + usage.meaning);
  }
  std::string shortForms;
  for (const auto& [name, usage] : CommandTable()) {
    if (usage.aliases.empty()) continue;
    std::string forms;
    for (const std::string& alias : usage.aliases) forms += (forms.empty() ? "/" : " /") + alias;
    shortForms += (shortForms.empty() ? "" : ", ") + forms + " = /" + name;
  }
  lines.push_back("Short forms: " + shortForms + ".");
  lines.push_back("Put a word in double quotes to let it hold blanks: /join \"Tea room\".");
  lines.push_back("Tab completes nicknames and commands.");
  return lines;
}

std::vector<std::string> CommandNames() {
  std::vector<std::string> names;
  for (const auto& [name, usage] : CommandTable()) {
    names.push_back(name);
    for (const std::string& alias : usage.aliases) names.push_back(alias);
  }
  return names;
}

}  // namespace velmorin::term
