#pragma once
// The help of every velmorin-ctl command, shown by --help (all of them) and by
// "velmorin-ctl COMMAND... --help" (the commands that start with those words).

#include <string>
#include <vector>

namespace velmorin::ctl {

struct CommandHelp {
  const char* words;  // "account add"
  const char* usage;  // the arguments after the words
  const char* text;   // what it does, one or more lines
};

const std::vector<CommandHelp>& HelpTable();

// The entries whose words start with `words` (all for none); the longest matching prefix of
// `words` decides, so "account add bob --help" shows "account add".
std::vector<CommandHelp> HelpFor(const std::vector<std::string>& words);

}  // namespace velmorin::ctl
