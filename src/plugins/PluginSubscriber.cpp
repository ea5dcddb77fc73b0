#include "plugins/PluginSubscriber.hpp"

namespace velmorin {

std::optional<std::string> PluginSubscriber::RaiseEvent(const std::string& event, std::string& first,
                                                        std::string& second) {
  LoadedPlugin* plugin = objects_.Find(ident_);
  if (plugin == nullptr) return std::nullopt;
  return plugin->Command(event, first, second);
}

}  // namespace velmorin
