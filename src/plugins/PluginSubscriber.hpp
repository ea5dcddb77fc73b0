#pragma once
// The adapter by which a plugin's identity subscribes to PluginEvents: it looks its plugin up
// in PluginObjects at raise time, so a plugin unloaded meanwhile is skipped.

#include <optional>
#include <string>
#include <utility>

#include "plugins/PluginEvents.hpp"
#include "plugins/PluginObjects.hpp"

namespace velmorin {

// One subscribed plugin, reached through PluginObjects by its identity.
class PluginSubscriber : public EventSubscriber {
 public:
  PluginSubscriber(const PluginObjects& objects, std::string ident) : objects_(objects), ident_(std::move(ident)) {}
  EventAnswer RaiseEvent(const std::string& event, std::string& first, std::string& second) override;
  const std::string& Ident() const { return ident_; }

 private:
  const PluginObjects& objects_;
  std::string ident_;
};

}  // namespace velmorin
