#include "plugins/PluginSubscriber.hpp"

#include <utility>

#include "plugins/PluginCallGuard.hpp"

namespace velmorin {

EventAnswer PluginSubscriber::RaiseEvent(const std::string& event, std::string& first, std::string& second) {
  LoadedPlugin* plugin = objects_.Find(ident_);
  if (plugin == nullptr) return EventAnswer::Failed();
  const PluginCallGuard guard(ident_, event);
  bool answered = false;
  std::optional<std::string> answer = plugin->Command(event, first, second, &answered);
  if (!answer) return EventAnswer::Failed();
  return answered ? EventAnswer::Answered(std::move(*answer)) : EventAnswer::Unanswered();
}

}  // namespace velmorin
