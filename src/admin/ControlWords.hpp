#pragma once
// Splits a control command's words into plain words and "--name" options, and joins words
// into a text. Options listed in `valued` take the next word as their value; those in `flags`
// take none. Anything else that starts with "--" makes the words invalid, so a mistyped option
// never passes as a name.

#include <map>
#include <optional>
#include <set>
#include <string>
#include <vector>

namespace velmorin {

struct ControlWords {
  bool valid = true;
  std::vector<std::string> plain;
  std::map<std::string, std::string> options;  // flags map to ""

  bool Has(const std::string& option) const { return options.count(option) != 0; }
  std::optional<std::string> Value(const std::string& option) const {
    const auto found = options.find(option);
    if (found == options.end()) return std::nullopt;
    return found->second;
  }
};

inline ControlWords SplitControlWords(const std::vector<std::string>& words, std::size_t first,
                                      const std::set<std::string>& flags,
                                      const std::set<std::string>& valued) {
  ControlWords result;
  for (std::size_t i = first; i < words.size(); ++i) {
    const std::string& word = words[i];
    if (word.rfind("--", 0) != 0) {
      result.plain.push_back(word);
    } else if (flags.count(word) != 0 && result.options.count(word) == 0) {
      result.options[word] = "";
    } else if (valued.count(word) != 0 && result.options.count(word) == 0 && i + 1 < words.size()) {
      result.options[word] = words[++i];
    } else {
      result.valid = false;
    }
  }
  return result;
}

// The words from `first` on joined by single spaces: a text typed as several words.
inline std::string JoinControlWords(const std::vector<std::string>& words, std::size_t first) {
  std::string text;
  for (std::size_t index = first; index < words.size(); ++index) {
    if (index > first) text += ' ';
    text += words[index];
  }
  return text;
}

}  // namespace velmorin
