// Test plugin "havoc": does the worst thing it can from inside an event, to show that the server
// survives it. PluginIdent "havoc-" + its component name.
//
// plugins/<component>.rules, read at initialise, one rule a line:
//   <event>[:<word>] <action>
// The plugin subscribes to every event named there. When the event arrives (and, with ":word",
// its first parameter starts with that word, as "UserStatus:userleft"), the action runs, once
// per rule:
//   stop      the server goes offline with force ("StopServer" "1"), dropping every connection
//   bounce    offline with force, then online again
//   kickall   every logged-in user is kicked
// Chained events are answered with the text they carried, so only the action changes anything.
// Each action run is appended to plugins/<component>.done as "<event>:<first word> <action>".

#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include <velmorin/plugin.hpp>

#include "LibraryFile.hpp"

namespace {

struct Rule {
  std::string event;
  std::string word;  // empty: any
  std::string action;
  bool done = false;
};

std::string PathBeside(const std::string& extension) {
  std::string path = LibraryPath();
  return path.substr(0, path.size() - 3) + extension;
}

std::vector<std::string> SplitAt(const std::string& text, char separator) {
  std::vector<std::string> parts;
  std::size_t start = 0;
  for (;;) {
    const std::size_t end = text.find(separator, start);
    parts.push_back(text.substr(start, end - start));
    if (end == std::string::npos) return parts;
    start = end + 1;
  }
}

class Havoc : public velmorin::plugin::Plugin {
 public:
  std::string PluginAuthor() const override { return "Velmorin tests"; }
  std::string PluginIdent() const override { return "havoc-" + Component(); }
  std::string PluginName() const override { return "Havoc"; }

  void Initialise(std::int32_t, const std::string&, const std::string&, bool) override {
    std::ifstream rules(PathBeside(".rules"));
    std::string line;
    while (std::getline(rules, line)) {
      std::istringstream fields(line);
      std::string trigger, action;
      if (!(fields >> trigger >> action)) continue;
      const std::size_t colon = trigger.find(':');
      Rule rule;
      rule.event = trigger.substr(0, colon);
      rule.word = colon == std::string::npos ? std::string() : trigger.substr(colon + 1);
      rule.action = action;
      rules_.push_back(rule);
      host().Command("AddEventHandler", rule.event);
    }
  }

  std::string Command(const std::string& word, std::string& first, std::string& second) override {
    for (Rule& rule : rules_) {
      if (rule.done || rule.event != word || first.compare(0, rule.word.size(), rule.word) != 0) continue;
      rule.done = true;
      std::ofstream(PathBeside(".done"), std::ios::app) << word << ':' << first.substr(0, first.find('\0')) << ' '
                                                        << rule.action << '\n';
      Act(rule.action);
    }
    if (word == "WelcomeMessage" || word == "QueryChatname") return first;
    if (word == "QueryChatroom" || word == "NewMessage") return second;
    if (word == "AllowJoinChatroom") return "1";
    return {};
  }

 private:
  void Act(const std::string& action) const {
    if (action == "stop" || action == "bounce") host().Command("StopServer", "1");
    if (action == "bounce") host().Command("StartServer");
    if (action == "kickall") {
      for (const std::string& nickname : SplitAt(host().Command("GetUserList"), '\x01')) {
        if (!nickname.empty()) host().Command("KickUser", nickname, "havoc");
      }
    }
  }

  std::vector<Rule> rules_;
};

}  // namespace

VELMORIN_PLUGIN(Havoc)
