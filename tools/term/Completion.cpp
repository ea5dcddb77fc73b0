#include "term/Completion.hpp"

#include <algorithm>

#include "term/Commands.hpp"
#include "platform/Text.hpp"

namespace velmorin::term {
namespace {

bool StartsWithNoCase(std::string_view text, std::string_view prefix) {
  return text.size() >= prefix.size() && EqualsNoCase(text.substr(0, prefix.size()), prefix);
}

}  // namespace

std::vector<std::string> CompletionCandidates(std::string_view word, bool atLineStart,
                                              const std::vector<std::string>& nicknames,
                                              const std::vector<std::string>& commands) {
  std::vector<std::string> found;
  if (atLineStart && !word.empty() && word.front() == '/') {
    for (const std::string& command : commands) {
      if (StartsWithNoCase(command, word.substr(1))) found.push_back("/" + command + " ");
    }
  } else {
    // A nickname that opens the line addresses its owner: "Bob: ".
    const std::string after = atLineStart ? ": " : " ";
    for (const std::string& nickname : nicknames) {
      if (!nickname.empty() && StartsWithNoCase(nickname, word)) found.push_back(nickname + after);
    }
  }
  std::sort(found.begin(), found.end(),
            [](const std::string& a, const std::string& b) { return LowerCase(a) < LowerCase(b); });
  found.erase(std::unique(found.begin(), found.end(),
                          [](const std::string& a, const std::string& b) { return EqualsNoCase(a, b); }),
              found.end());
  return found;
}

bool Completer::Complete(std::string& line, std::size_t& cursor) {
  if (candidates_.empty()) {
    std::size_t start = cursor;
    while (start > 0 && line[start - 1] != ' ' && line[start - 1] != '\t') --start;
    const std::string_view word = std::string_view(line).substr(start, cursor - start);
    const std::vector<std::string> nicknames = nicknames_ ? nicknames_() : std::vector<std::string>();
    candidates_ = CompletionCandidates(word, start == 0, nicknames, CommandNames());
    if (candidates_.empty()) return false;
    next_ = 0;
    wordStart_ = start;
    insertedEnd_ = cursor;
  }
  const std::string& candidate = candidates_[next_];
  next_ = (next_ + 1) % candidates_.size();
  line.replace(wordStart_, insertedEnd_ - wordStart_, candidate);
  insertedEnd_ = wordStart_ + candidate.size();
  cursor = insertedEnd_;
  return true;
}

}  // namespace velmorin::term
