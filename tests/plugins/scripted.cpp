// Test plugin "scripted": one library installed under several component names gives several
// plugins, each with the PluginIdent "scripted-" + its component name.
//
// Answers come from plugins/<component>.rules, read at initialise, one rule a line:
//   <event> answer <text>     answers the rest of the line (possibly empty)
//   <event> append1 <text>    answers the first parameter followed by the text
//   <event> append2 <text>    answers the second parameter followed by the text
//   <event> fail              the call fails
//   <event> silent            no answer (NoAnswer)
//   <event> default           what the helper's own Command does
// An event without a rule is answered with the empty text.
//
// Every call the plugin receives, and its Terminate, is appended to plugins/<component>.received
// as one line: word "|" first "|" second, with NUL written as "\0", SOH as "\1", CR LF as "\n".
//
// The word "Run" is not recorded: first is a command word, second is p1, code 0x1E, p2; the plugin
// issues that command to the server and answers the server's result.

#include <fstream>
#include <map>
#include <sstream>
#include <stdexcept>
#include <string>

#include <velmorin/plugin.hpp>

#include "LibraryFile.hpp"

namespace {

std::string PathBeside(const std::string& extension) {
  std::string path = LibraryPath();
  return path.substr(0, path.size() - 3) + extension;
}

std::string Shown(const std::string& text) {
  std::string shown;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '\0') {
      shown += "\\0";
    } else if (text[i] == '\x01') {
      shown += "\\1";
    } else if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n') {
      shown += "\\n";
      ++i;
    } else {
      shown += text[i];
    }
  }
  return shown;
}

void Record(const std::string& word, const std::string& first, const std::string& second) {
  std::ofstream(PathBeside(".received"), std::ios::app) << word << '|' << Shown(first) << '|' << Shown(second) << '\n';
}

class Scripted : public velmorin::plugin::Plugin {
 public:
  std::string PluginAuthor() const override { return "Velmorin tests"; }
  std::string PluginIdent() const override { return "scripted-" + Component(); }
  std::string PluginName() const override { return "Scripted"; }

  void Initialise(std::int32_t, const std::string&, const std::string&, bool) override {
    std::ifstream rules(PathBeside(".rules"));
    std::string line;
    while (std::getline(rules, line)) {
      std::istringstream fields(line);
      std::string event, action;
      if (!(fields >> event >> action)) continue;
      std::string text;
      std::getline(fields, text);
      if (!text.empty() && text.front() == ' ') text.erase(0, 1);
      rules_[event] = {action, text};
    }
  }

  std::string Command(const std::string& word, std::string& first, std::string& second) override {
    if (word == "Run") {
      const std::size_t split = second.find('\x1e');
      return host().Command(first, second.substr(0, split),
                            split == std::string::npos ? std::string() : second.substr(split + 1));
    }
    Record(word, first, second);
    const auto rule = rules_.find(word);
    if (rule == rules_.end()) return {};
    const auto& [action, text] = rule->second;
    if (action == "fail") throw std::runtime_error("asked to fail");
    if (action == "silent") return NoAnswer();
    if (action == "default") return Plugin::Command(word, first, second);
    if (action == "append1") return first + text;
    if (action == "append2") return second + text;
    return text;
  }

  void Terminate(const std::string& hostWord) override { Record("Terminate", hostWord, ""); }

 private:
  std::map<std::string, std::pair<std::string, std::string>> rules_;
};

}  // namespace

VELMORIN_PLUGIN(Scripted)
