#pragma once
// The event registry plugins fill with AddEventHandler / RemoveEventHandler: who is subscribed to
// which event, by PluginIdent, in subscription order. Subscriptions live in PluginEvents as one
// adapter per identity; the adapter finds its plugin in PluginObjects at raise time, so a plugin
// unloaded meanwhile is skipped (its call counts as failed).
//
// Identities are compared exactly (letter case included), as the registry text compares them;
// the plugin behind an identity is then looked up as PluginObjects keys it.

#include <map>
#include <memory>
#include <optional>
#include <string>

#include "plugins/PluginEvents.hpp"
#include "plugins/PluginRegistry.hpp"
#include "plugins/PluginSubscriber.hpp"

namespace velmorin {

class EventHandlerRegistry {
 public:
  EventHandlerRegistry(PluginEvents& events, const PluginObjects& objects) : events_(events), objects_(objects) {}
  EventHandlerRegistry(const EventHandlerRegistry&) = delete;
  EventHandlerRegistry& operator=(const EventHandlerRegistry&) = delete;
  ~EventHandlerRegistry();

  // A plugin subscribed twice stays subscribed once. Event names are not checked.
  void Add(const std::string& event, const std::string& ident);
  void Remove(const std::string& event, const std::string& ident);
  // Every subscription of one identity (a plugin being reloaded).
  void RemoveAll(const std::string& ident);
  // The registry entry of an event: the identities joined by CR LF; nothing without subscribers.
  std::optional<std::string> Entry(const std::string& event) const;
  // Drops every subscription of every plugin (the adapters stay valid).
  void Clear();

 private:
  PluginSubscriber* SubscriberFor(const std::string& ident);

  PluginEvents& events_;
  const PluginObjects& objects_;
  // Created on first use and kept for the registry's life: PluginEvents holds raw pointers.
  std::map<std::string, std::unique_ptr<PluginSubscriber>> subscribers_;
};

}  // namespace velmorin
