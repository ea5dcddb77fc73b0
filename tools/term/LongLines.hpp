#pragma once
// Texts longer than the server takes in one message (its MaxTextLength, from the welcome): the
// server would cut them, so they go out as several messages, cut between words.

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "term/Commands.hpp"

namespace velmorin::term {

// More messages than this from one line is no longer a long line but a paste gone wrong.
inline constexpr std::size_t kMaxMessagesPerLine = 20;

// `text` (wire text) in pieces of at most `limit` characters, cut at blanks where it can (the
// blanks at a cut are dropped); a word longer than the limit is cut inside. A limit below 1
// leaves the text whole.
std::vector<std::string> SplitAtWords(std::string_view text, long limit);

// The line with every "message" request whose text is over `limit` replaced by one request per
// piece; nothing when that would take more than kMaxMessagesPerLine messages.
std::optional<ParsedLine> SplitLongMessages(const ParsedLine& line, long limit);

}  // namespace velmorin::term
