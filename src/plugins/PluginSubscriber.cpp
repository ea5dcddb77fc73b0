#include "plugins/PluginSubscriber.hpp"

#include "plugins/PluginCallGuard.hpp"

namespace velmorin {

std::optional<std::string> PluginSubscriber::RaiseEvent(const std::string& event, std::string& first,
                                                        std::string& second) {
  LoadedPlugin* plugin = objects_.Find(ident_);
  if (plugin == nullptr) return std::nullopt;
  const PluginCallGuard guard(ident_, event);
  return plugin->Command(event, first, second);
}

}  // namespace velmorin
