#pragma once
// The control commands by their first word ("account", "ban", "settings", ...). A command's
// handler gets the words after its own and the secret input the client sent (a password read
// from the terminal or standard input, never from the command line), and answers a
// ControlReply. Handlers run on the event-loop thread.

#include <functional>
#include <map>
#include <string>
#include <vector>

#include "admin/ControlReply.hpp"

namespace velmorin {

struct ControlRequest {
  std::vector<std::string> words;  // the words after the command's own word
  std::string input;               // secret input; empty when none was sent
};

using ControlHandler = std::function<ControlReply(const ControlRequest&)>;

class ControlRegistry {
 public:
  // Adds or replaces the handler of `command`.
  void Add(const std::string& command, ControlHandler handler);
  // Runs the command named by words[0] with the rest of the words; a Usage reply for no words
  // or an unknown command.
  ControlReply Run(const std::vector<std::string>& words, const std::string& input) const;
  std::vector<std::string> Commands() const;

 private:
  std::map<std::string, ControlHandler> handlers_;
};

}  // namespace velmorin
