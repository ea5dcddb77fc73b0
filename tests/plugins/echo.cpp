// Test plugin "echo": a general plugin that answers test words, records what the server gave
// it and calls the server back. Its registration exports note themselves in <library>.log.
//   Echo        answer first "|" second, parameters untouched
//   Swap        swaps the parameters, marks them ("<" and ">"), answers "swapped"
//   Clear       empties the first parameter, answers nothing
//   Initialised the initialise arguments: locale NUL directory NUL host word NUL AlwaysOnTop
//   CallHost    answers the server's answer to command(first, second, "p2" NUL "tail")
//   Fail        changes the first parameter, then fails
// Initialise subscribes to "NewMessage"; Terminate tells the server "Terminating" + host word.

#include <fstream>
#include <stdexcept>
#include <string>
#include <utility>

#include <velmorin/plugin.hpp>

#include "LibraryFile.hpp"

namespace {


void Note(const std::string& line) { std::ofstream(LibraryPath() + ".log", std::ios::app) << line << '\n'; }

class Echo : public velmorin::plugin::Plugin {
 public:
  std::string PluginAuthor() const override { return "Velmorin tests"; }
  std::string PluginIdent() const override { return "echo-test"; }
  std::string PluginName() const override { return "Echo"; }
  std::string PluginVersion() const override { return "2.5.1"; }

  static vm_status Register() {
    Note("register");
    return VM_OK;
  }
  static vm_status Unregister() {
    Note("unregister");
    return VM_OK;
  }

  void Initialise(std::int32_t localeId, const std::string& programDirectory, const std::string& hostWord,
                  bool alwaysOnTop) override {
    initialised_ = std::to_string(localeId) + '\0' + programDirectory + '\0' + hostWord + '\0' + (alwaysOnTop ? "1" : "0");
    host().Command("AddEventHandler", "NewMessage");
  }

  std::string Command(const std::string& word, std::string& first, std::string& second) override {
    if (word == "Echo") return first + '|' + second;
    if (word == "Swap") {
      std::swap(first, second);
      first += '<';
      second += '>';
      return "swapped";
    }
    if (word == "Clear") {
      first.clear();
      return {};
    }
    if (word == "Initialised") return initialised_;
    if (word == "CallHost") return host().Command(first, second, std::string("p2\0tail", 7));
    if (word == "Fail") {
      first = "changed";
      throw std::runtime_error("asked to fail");
    }
    return {};
  }

  void Terminate(const std::string& hostWord) override { host().Command("Terminating", hostWord); }

 private:
  std::string initialised_;
};

}  // namespace

VELMORIN_PLUGIN(Echo)
