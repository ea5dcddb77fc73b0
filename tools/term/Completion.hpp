#pragma once
// Tab completion for the input line: a command after a "/" at the start of the line, a
// nickname anywhere else. The first Tab puts in the first candidate; each further Tab puts
// the next one in its place, round; any other key keeps what is there.

#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace velmorin::term {

// What a word may complete to, sorted without regard to case, each once.
// `word` is the text from the start of the word to the cursor; `atLineStart` says whether the
// word opens the line.
std::vector<std::string> CompletionCandidates(std::string_view word, bool atLineStart,
                                              const std::vector<std::string>& nicknames,
                                              const std::vector<std::string>& commands);

class Completer {
 public:
  // Nicknames as terminal text, asked for at each first Tab.
  using Source = std::function<std::vector<std::string>()>;

  void SetNicknames(Source source) { nicknames_ = std::move(source); }

  // One Tab on `line` with the cursor at byte `cursor`; false when nothing completes.
  bool Complete(std::string& line, std::size_t& cursor);

  // Any key but Tab ends a round of candidates.
  void Reset() { candidates_.clear(); }

 private:
  Source nicknames_;
  std::vector<std::string> candidates_;
  std::size_t next_ = 0;
  std::size_t wordStart_ = 0;
  std::size_t insertedEnd_ = 0;  // end of what the last Tab put in
};

}  // namespace velmorin::term
