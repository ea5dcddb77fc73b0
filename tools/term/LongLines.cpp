#include "term/LongLines.hpp"

#include "codec/WireFormat.hpp"

namespace velmorin::term {

std::vector<std::string> SplitAtWords(std::string_view text, long limit) {
  if (limit < 1 || text.size() <= static_cast<std::size_t>(limit)) return {std::string(text)};
  const auto size = static_cast<std::size_t>(limit);
  std::vector<std::string> pieces;
  while (text.size() > size) {
    // The last blank that leaves a piece within the limit (the blank itself may be one past).
    std::size_t cut = text.find_last_of(' ', size);
    std::size_t next = cut + 1;
    if (cut == std::string_view::npos || cut == 0) {
      cut = size;
      next = size;
    }
    std::string_view piece = text.substr(0, cut);
    while (!piece.empty() && piece.back() == ' ') piece.remove_suffix(1);
    if (!piece.empty()) pieces.emplace_back(piece);
    text.remove_prefix(next);
    while (!text.empty() && text.front() == ' ') text.remove_prefix(1);
  }
  if (!text.empty()) pieces.emplace_back(text);
  return pieces;
}

std::optional<ParsedLine> SplitLongMessages(const ParsedLine& line, long limit) {
  ParsedLine result = line;
  result.requests.clear();
  for (const Request& request : line.requests) {
    // kind NUL recipients NUL text: only the text is cut, the rest heads every piece.
    const std::size_t first = request.payload.find(kFieldSeparator);
    const std::size_t second = first == std::string::npos ? first : request.payload.find(kFieldSeparator, first + 1);
    if (request.command != "message" || second == std::string::npos) {
      result.requests.push_back(request);
      continue;
    }
    const std::string head = request.payload.substr(0, second + 1);
    for (std::string& piece : SplitAtWords(std::string_view(request.payload).substr(second + 1), limit)) {
      if (result.requests.size() >= kMaxMessagesPerLine) return std::nullopt;
      result.requests.push_back({request.command, head + piece});
    }
  }
  return result;
}

}  // namespace velmorin::term
