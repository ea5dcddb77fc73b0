#include "plugins/EventHandlerRegistry.hpp"

namespace velmorin {

EventHandlerRegistry::~EventHandlerRegistry() { Clear(); }

PluginSubscriber* EventHandlerRegistry::SubscriberFor(const std::string& ident) {
  std::unique_ptr<PluginSubscriber>& subscriber = subscribers_[ident];
  if (!subscriber) subscriber = std::make_unique<PluginSubscriber>(objects_, ident);
  return subscriber.get();
}

void EventHandlerRegistry::Add(const std::string& event, const std::string& ident) {
  events_.Subscribe(event, SubscriberFor(ident));
}

void EventHandlerRegistry::Remove(const std::string& event, const std::string& ident) {
  auto found = subscribers_.find(ident);
  if (found != subscribers_.end()) events_.Unsubscribe(event, found->second.get());
}

void EventHandlerRegistry::RemoveAll(const std::string& ident) {
  auto found = subscribers_.find(ident);
  if (found != subscribers_.end()) events_.UnsubscribeAll(found->second.get());
}

std::optional<std::string> EventHandlerRegistry::Entry(const std::string& event) const {
  if (!events_.HasSubscribers(event)) return std::nullopt;
  std::string entry;
  bool first = true;
  for (EventSubscriber* subscriber : events_.SubscribersOf(event)) {
    if (!first) entry += "\r\n";
    first = false;
    // Plugin events hold only this registry's adapters.
    if (const auto* plugin = dynamic_cast<const PluginSubscriber*>(subscriber)) entry += plugin->Ident();
  }
  return entry;
}

void EventHandlerRegistry::Clear() {
  for (auto& [ident, subscriber] : subscribers_) events_.UnsubscribeAll(subscriber.get());
}

}  // namespace velmorin
