// Test plugin "versioned": installed under names such as "ver-1.1.so", it reports the text
// after the first "-" of its component name as PluginInternalVersion and the component name
// as PluginIdent, so one library covers every interface version a test needs.

#include <dlfcn.h>

#include <string>

#include <velmorin/plugin.hpp>

namespace {

std::string ComponentName() {
  Dl_info info{};
  if (::dladdr(reinterpret_cast<void*>(&ComponentName), &info) == 0 || info.dli_fname == nullptr) return {};
  std::string name = info.dli_fname;
  name = name.substr(name.rfind('/') + 1);
  return name.substr(0, name.size() - 3);  // without ".so"
}

class Versioned : public velmorin::plugin::Plugin {
 public:
  std::string PluginAuthor() const override { return "Velmorin tests"; }
  std::string PluginIdent() const override { return ComponentName(); }
  std::string PluginName() const override { return "Versioned"; }
  std::string PluginInternalVersion() const override {
    const std::string name = ComponentName();
    const std::size_t dash = name.find('-');
    return dash == std::string::npos ? "1.0" : name.substr(dash + 1);
  }
};

}  // namespace

VELMORIN_PLUGIN(Versioned)
