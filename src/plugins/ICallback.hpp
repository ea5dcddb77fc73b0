#pragma once
// The server's command interface as plugins reach it. Plugins are untrusted code in the same
// process: a call may come in while the server is itself inside a call to the plugin.

#include <string>

namespace velmorin {

// ICallback.command: the sender is the calling plugin's PluginIdent.
class ICallback {
 public:
  virtual ~ICallback() = default;
  virtual std::string command(const std::string& sender, const std::string& word,
                              const std::string& first, const std::string& second) = 0;
};

}  // namespace velmorin
