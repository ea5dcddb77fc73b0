// Test plugin "hanging": its registration exports do not return for a minute, far beyond any
// time limit a test gives them. Everything else is a well-behaved general plugin.

#include <chrono>
#include <string>
#include <thread>

#include <velmorin/plugin.hpp>

namespace {

class Hanging : public velmorin::plugin::Plugin {
 public:
  std::string PluginAuthor() const override { return "Velmorin tests"; }
  std::string PluginIdent() const override { return "hanging-test"; }
  std::string PluginName() const override { return "Hanging"; }

  static vm_status Register() {
    std::this_thread::sleep_for(std::chrono::seconds(60));
    return VM_OK;
  }
  static vm_status Unregister() { return Register(); }
};

}  // namespace

VELMORIN_PLUGIN(Hanging)
