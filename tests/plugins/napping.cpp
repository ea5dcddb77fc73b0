// Test plugin "napping": a general plugin that subscribes to "ServerCommand" and handles the
// client command words
//   nap     sleeps 300 ms, then answers "done" (a slow handler)
//   crash   gets SIGSEGV (a crashing handler)
//   crash-later  starts a thread of its own that faults in the plugin's code (SIGILL) after the
//           call has returned
// Every other command is left unhandled.

#include <signal.h>

#include <chrono>
#include <string>
#include <thread>

#include <velmorin/plugin.hpp>

namespace {

class Napping : public velmorin::plugin::Plugin {
 public:
  std::string PluginAuthor() const override { return "Velmorin tests"; }
  std::string PluginIdent() const override { return "napping-test"; }
  std::string PluginName() const override { return "Napping"; }

  void Initialise(std::int32_t, const std::string&, const std::string&, bool) override {
    host().Command("AddEventHandler", "ServerCommand");
  }

  std::string Command(const std::string& word, std::string& first, std::string&) override {
    if (word != "ServerCommand") return {};
    const std::string command = first.substr(0, first.find('\0'));
    if (command == "nap") {
      std::this_thread::sleep_for(std::chrono::milliseconds(300));
      return "done";
    }
    // The fault a bad pointer causes, raised directly: a sanitizer would stop a real null
    // store before it faults.
    if (command == "crash") ::raise(SIGSEGV);
    if (command == "crash-later") {
      std::thread([] {
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        __builtin_trap();
      }).detach();
      return "done";
    }
    return {};
  }
};

}  // namespace

VELMORIN_PLUGIN(Napping)
