#include "term/Render.hpp"

#include <algorithm>
#include <cctype>
#include <functional>
#include <map>

#include "term/Colors.hpp"
#include "codec/WireFormat.hpp"
#include "platform/Text.hpp"

namespace velmorin::term {
namespace {

using client::Packet;

constexpr std::string_view kColumn{"\x01", 1};

// At least `count` fields, so that short payloads read as empty trailing fields.
std::vector<std::string> Fields(std::string_view payload, std::size_t count, std::string_view separator = kFieldSeparatorText) {
  std::vector<std::string> fields = Split(payload, separator);
  if (fields.size() < count) fields.resize(count);
  return fields;
}

long ColorOf(const std::string& text) { return ToLong(text).value_or(0); }

// Columns the screen will use for wire text: escapes are wider than the byte they stand for.
std::size_t Width(std::string_view text) {
  std::size_t width = 0;
  for (const char c : text) {
    const auto byte = static_cast<unsigned char>(c);
    if (byte == 0 || byte == '\t' || byte == '\r' || byte == '\n') width += 2;
    else if (byte < 0x20 || byte == 0x7F) width += 4;
    else ++width;
  }
  return width;
}

std::string UpperAscii(std::string text) {
  for (char& c : text) {
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  }
  return text;
}

class Renderer {
 public:
  explicit Renderer(std::string_view own) : own_(own) {}

  Line& Nick(Line& line, const std::string& nickname, long color) const {
    return line.Add(EqualsNoCase(nickname, own_) ? Style::kOwnNick : Style::kNick, nickname, color);
  }

  std::vector<Line> Message(const std::string& payload) const {
    const std::vector<std::string> f = Fields(payload, 5);
    const std::string& kind = f[0];
    Line line;
    if (kind == "server") {
      line.Add(Style::kServer, "*** " + f[1]);
    } else if (kind == "private") {
      // private, sender, recipient, colour, text
      if (EqualsNoCase(f[1], own_)) {
        line.Add(Style::kPrivate, "-> *").Add(Style::kNick, f[2]).Add(Style::kPrivate, "* " + f[4]);
      } else {
        line.Add(Style::kPrivate, "*");
        Nick(line, f[1], ColorOf(f[3])).Add(Style::kPrivate, "* " + f[4]);
        line.Alert();
      }
    } else if (kind == "normal") {
      Nick(line.Plain("<"), f[1], ColorOf(f[2])).Plain("> " + f[3]);
    } else if (kind == "me") {
      Nick(line.Plain("* "), f[1], ColorOf(f[2])).Plain(" " + f[3]);
    } else if (kind == "shout") {
      Nick(line.Add(Style::kShout, "!"), f[1], ColorOf(f[2])).Add(Style::kShout, "! " + UpperAscii(f[3]));
    } else {
      return {Raw("message", payload)};
    }
    const bool chat = kind == "normal" || kind == "me" || kind == "shout";
    if (chat && !EqualsNoCase(f[1], own_) && MentionsName(f[3], own_)) line.Alert();
    return {line};
  }

  std::vector<Line> UserJoined(const std::string& payload) const {
    // nickname, colour, room, away, chatroom admin
    const std::vector<std::string> f = Fields(payload, 5);
    Line line(Style::kNotice, "-> ");
    Nick(line, f[0], ColorOf(f[1])).Add(Style::kNotice, " joined " + f[2]);
    if (f[3] == "1") line.Add(Style::kNotice, " (away)");
    if (f[4] == "1") line.Add(Style::kNotice, " (chatroom admin)");
    return {line};
  }

  std::vector<Line> UserLeft(const std::string& payload) const {
    // nickname, old room, new room, reason; no new room means leaving the server
    const std::vector<std::string> f = Fields(payload, 4);
    Line line(Style::kNotice, "<- ");
    Nick(line, f[0], 0);
    if (!f[2].empty()) {
      line.Add(Style::kNotice, " went from " + f[1] + " to " + f[2]);
    } else {
      line.Add(Style::kNotice, " left the server");
      if (!f[3].empty()) line.Add(Style::kNotice, " (" + f[3] + ")");
    }
    return {line};
  }

  std::vector<Line> ClientState(const std::string& payload) const {
    const std::vector<std::string> f = Fields(payload, 3);
    Line line(Style::kNotice, "");
    Nick(line, f[0], 0);
    if (f[1] == "normal") {
      line.Add(Style::kNotice, " is back");
    } else {
      line.Add(Style::kNotice, f[1] == "away" ? " is away" : " is now " + f[1]);
      if (!f[2].empty()) line.Add(Style::kNotice, ": " + f[2]);
    }
    return {line};
  }

  std::vector<Line> NewColor(const std::string& payload) const {
    const std::vector<std::string> f = Fields(payload, 2);
    const long color = ColorOf(f[1]);
    Line line(Style::kNotice, "");
    Nick(line, f[0], color).Add(Style::kNotice, " now writes in " + ColorHex(color));
    return {line};
  }

  std::vector<Line> AwayMessage(const std::string& payload) const {
    const std::vector<std::string> f = Fields(payload, 2);
    Line line(Style::kNotice, "Away message from ");
    Nick(line, f[0], 0).Add(Style::kNotice, ": ").Plain(f[1]);
    return {line};
  }

  std::vector<Line> AwayRequest(const std::string& payload) const {
    Line line;
    Nick(line, payload, 0).Add(Style::kNotice, " asks for your away message");
    return {line};
  }

  static std::vector<Line> AcceptChatroom(const std::string& payload) {
    const std::vector<std::string> f = Fields(payload, 2);
    const std::string& room = f[0];
    static const std::map<std::string, std::function<std::string(const std::string&)>> words = {
        {"ok", [](const std::string& r) { return "You are now in " + r + "."; }},
        {"notfound", [](const std::string& r) { return "There is no chatroom " + r + "."; }},
        {"alreadyjoined", [](const std::string& r) { return "You are already in " + r + "."; }},
        {"failed", [](const std::string& r) { return "You may not join " + r + ": wrong password, or refused."; }},
        {"notcreated", [](const std::string& r) { return "Cannot create " + r + ": a chatroom of that name exists."; }},
        {"notallowed",
         [](const std::string& r) {
           return "Cannot create " + (r.empty() ? std::string("a chatroom without a name") : r) +
                  ": the server does not allow it.";
         }},
        {"badCRC",
         [](const std::string& r) {
           return "You are now in " + r + ", created WITHOUT a password: the server could not check it.";
         }},
    };
    const auto found = words.find(f[1]);
    if (found == words.end()) return {Line(Style::kNotice, room + ": " + f[1])};
    const bool bad = f[1] != "ok";
    return {Line(bad ? Style::kError : Style::kNotice, found->second(room))};
  }

  static std::vector<Line> Chatrooms(const std::string& payload) {
    const std::size_t nul = payload.find(kFieldSeparator);
    std::vector<std::vector<std::string>> rows;
    for (const std::string& entry : SplitLines(std::string_view(payload).substr(0, nul))) {
      rows.push_back(Fields(entry, 4, kColumn));
      rows.back().resize(4);
    }
    std::vector<Line> lines;
    if (rows.empty()) lines.emplace_back(Style::kNotice, "There are no chatrooms.");
    else lines = Table({"Chatroom", "Users", "Password", "Description"}, rows);
    const bool allowed = nul != std::string::npos && payload.substr(nul + 1) == "1";
    lines.emplace_back(Style::kNotice, allowed ? "Creating chatrooms is allowed (/create)."
                                               : "Creating chatrooms is not allowed here.");
    return lines;
  }

  std::vector<Line> Users(const std::string& payload) const {
    const std::size_t nul = payload.find(kFieldSeparator);
    const std::string room = payload.substr(0, nul);
    const std::string list = nul == std::string::npos ? std::string() : payload.substr(nul + 1);
    if (list.empty()) return {Line(Style::kNotice, "Nobody is in " + room + ".")};
    const std::vector<std::string> entries = Split(list, "\r\n");
    Line line(Style::kNotice, "In " + room + " (" + std::to_string(entries.size()) + "): ");
    bool first = true;
    for (const std::string& entry : entries) {
      // nickname, colour, away, chatroom admin
      const std::vector<std::string> c = Fields(entry, 4, kColumn);
      if (!first) line.Plain(", ");
      first = false;
      Nick(line, c[0], ColorOf(c[1]));
      if (c[2] == "1") line.Add(Style::kNotice, " (away)");
      if (c[3] == "1") line.Add(Style::kNotice, " (chatroom admin)");
    }
    return {line};
  }

  static std::vector<Line> SearchResult(const std::string& payload) {
    if (payload.empty()) return {Line(Style::kNotice, "Nobody found.")};
    std::vector<std::vector<std::string>> rows;
    for (const std::string& entry : Split(payload, "\r\n")) {
      // nickname, room, away
      std::vector<std::string> c = Fields(entry, 3, kColumn);
      rows.push_back({c[0], c[1].empty() ? "-" : c[1], c[2] == "1" ? "away" : ""});
    }
    return Table({"Nickname", "Chatroom", "Away"}, rows);
  }

  static std::vector<Line> AcceptUser(const std::string& payload) {
    const std::vector<std::string> f = Fields(payload, 2);
    if (f[0] == "ok" || f[0] == "ok_nopwd") return {Line(Style::kNotice, "Logged in as " + f[1] + ".")};
    return {Line(Style::kError, LoginRefusal(f[0]))};
  }

  static Line Raw(const std::string& command, const std::string& payload) {
    return Line(Style::kNotice, "[" + command + "] ").Plain(payload);
  }

 private:
  std::string_view own_;
};

std::vector<Line> RenderEvent(const Packet& packet, std::string_view ownNickname) {
  const Renderer r(ownNickname);
  const std::string& c = packet.command;
  const std::string& p = packet.payload;
  if (c == "message") return r.Message(p);
  if (c == "userJoined") return r.UserJoined(p);
  if (c == "userLeft") return r.UserLeft(p);
  if (c == "newClientState") return r.ClientState(p);
  if (c == "newColor") return r.NewColor(p);
  if (c == "awaymessage") return r.AwayMessage(p);
  if (c == "getAwayMessage") return r.AwayRequest(p);
  if (c == "acceptChatroom") return Renderer::AcceptChatroom(p);
  if (c == "chatroomlist") return Renderer::Chatrooms(p);
  if (c == "userlist") return r.Users(p);
  if (c == "searchResult") return Renderer::SearchResult(p);
  if (c == "acceptUser") return Renderer::AcceptUser(p);
  if (c == "pong") return {};  // the answer to our own ping, which only marks a point in the stream
  return {Renderer::Raw(c, p)};
}

bool IsNameCharacter(char c) {
  const auto byte = static_cast<unsigned char>(c);
  return std::isalnum(byte) != 0 || byte >= 0x80;
}

}  // namespace

std::vector<Line> RenderPacket(const Packet& packet, std::string_view ownNickname) {
  std::vector<Line> lines = RenderEvent(packet, ownNickname);
  // Lists keep their columns; everything else is an event of its moment.
  if (packet.command != "chatroomlist" && packet.command != "searchResult") {
    for (Line& line : lines) line.Stamped();
  }
  return lines;
}

bool MentionsName(std::string_view text, std::string_view nickname) {
  if (nickname.empty() || nickname.size() > text.size()) return false;
  for (std::size_t at = 0; at + nickname.size() <= text.size(); ++at) {
    if (!EqualsNoCase(text.substr(at, nickname.size()), nickname)) continue;
    const bool startsWord = at == 0 || !IsNameCharacter(text[at - 1]) || !IsNameCharacter(nickname.front());
    const std::size_t end = at + nickname.size();
    const bool endsWord = end == text.size() || !IsNameCharacter(text[end]) || !IsNameCharacter(nickname.back());
    if (startsWord && endsWord) return true;
  }
  return false;
}

std::string LoginRefusal(std::string_view status) {
  if (status == "denied") return "Login refused: wrong password, inactive account, or a banned or empty nickname.";
  if (status == "used") return "Login refused: somebody else is using that nickname.";
  if (status == "noguests") return "Login refused: this server admits no guests; log in with --password.";
  if (status == "unsupported") return "Login refused: the server does not speak this client's protocol (" + std::string(kProtocolVersion) + ").";
  return "Login refused: " + std::string(status);
}

std::vector<Line> Table(const std::vector<std::string>& headings, const std::vector<std::vector<std::string>>& rows) {
  std::vector<std::size_t> widths;
  for (const std::string& heading : headings) widths.push_back(Width(heading));
  for (const auto& row : rows) {
    for (std::size_t i = 0; i < row.size() && i < widths.size(); ++i) widths[i] = std::max(widths[i], Width(row[i]));
  }
  const auto cells = [&](const std::vector<std::string>& row, Style style) {
    Line line;
    for (std::size_t i = 0; i < widths.size(); ++i) {
      const std::string cell = i < row.size() ? row[i] : std::string();
      line.Add(style, cell);
      // No padding runs to the end of the line.
      bool more = false;
      for (std::size_t k = i + 1; k < row.size() && k < widths.size(); ++k) more = more || !row[k].empty();
      if (more) line.Plain(std::string(widths[i] - Width(cell) + 2, ' '));
    }
    return line;
  };
  std::vector<Line> lines{cells(headings, Style::kHeading)};
  for (const auto& row : rows) lines.push_back(cells(row, Style::kPlain));
  return lines;
}

}  // namespace velmorin::term
