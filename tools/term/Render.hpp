#pragma once
// Packets from the server as screen lines: one line per event, tables for the lists, and the
// raw fields (escaped by the screen) for anything this client has no words for.

#include <string>
#include <string_view>
#include <vector>

#include "term/Screen.hpp"
#include "client/PacketDecoder.hpp"
#include "codec/PacketWriter.hpp"

namespace velmorin::term {

// `ownNickname` tells our own messages from others'. Lines of events are stamped; a private
// message from somebody else and a message that names us are alerts.
std::vector<Line> RenderPacket(const client::Packet& packet, std::string_view ownNickname);

// Whether `text` names `nickname` as a word of its own, in any case ("bob:", "hi Bob!", not
// "bobby").
bool MentionsName(std::string_view text, std::string_view nickname);

// The words for an "acceptUser" status that refuses the login.
std::string LoginRefusal(std::string_view status);

// Columns padded to their widest cell, under an underlined heading.
std::vector<Line> Table(const std::vector<std::string>& headings, const std::vector<std::vector<std::string>>& rows);

}  // namespace velmorin::term
