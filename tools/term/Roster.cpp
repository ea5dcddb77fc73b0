#include "term/Roster.hpp"

#include <algorithm>

#include "codec/WireFormat.hpp"
#include "platform/Text.hpp"

namespace velmorin::term {
namespace {

constexpr std::string_view kColumn{"\x01", 1};

std::string Field(const std::vector<std::string>& fields, std::size_t i) {
  return i < fields.size() ? fields[i] : std::string();
}

}  // namespace

void Roster::Observe(const client::Packet& packet) {
  const std::string& c = packet.command;
  const std::vector<std::string> f = Split(packet.payload, kFieldSeparatorText);
  if (c == "message") {
    if (Field(f, 0) == "private") {
      Seen(Field(f, 1));
      Seen(Field(f, 2));
    } else if (Field(f, 0) != "server") {
      Seen(Field(f, 1));
    }
  } else if (c == "userJoined" || c == "newClientState" || c == "newColor" || c == "awaymessage" ||
             c == "getAwayMessage") {
    Seen(Field(f, 0));
  } else if (c == "userLeft") {
    // No new room: the user left the server.
    if (Field(f, 2).empty()) Gone(Field(f, 0));
    else Seen(Field(f, 0));
  } else if (c == "userlist") {
    const std::size_t nul = packet.payload.find(kFieldSeparator);
    if (nul == std::string::npos) return;
    for (const std::string& entry : Split(std::string_view(packet.payload).substr(nul + 1), "\r\n"))
      Seen(Field(Split(entry, kColumn), 0));
  } else if (c == "searchResult") {
    for (const std::string& entry : Split(packet.payload, "\r\n")) Seen(Field(Split(entry, kColumn), 0));
  }
}

void Roster::Seen(const std::string& nickname) {
  if (nickname.empty()) return;
  Gone(nickname);
  if (names_.size() >= kMaxNames) names_.erase(names_.begin());
  names_.push_back(nickname);
}

void Roster::Gone(const std::string& nickname) {
  names_.erase(std::remove_if(names_.begin(), names_.end(),
                              [&](const std::string& name) { return EqualsNoCase(name, nickname); }),
               names_.end());
}

std::vector<std::string> Roster::Names(std::string_view ownNickname) const {
  std::vector<std::string> names;
  for (const std::string& name : names_) {
    if (!EqualsNoCase(name, ownNickname)) names.push_back(name);
  }
  return names;
}

}  // namespace velmorin::term
