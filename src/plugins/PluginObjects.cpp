#include "plugins/PluginObjects.hpp"

#include "platform/Text.hpp"
#include "plugins/PluginCallGuard.hpp"

namespace velmorin {

bool PluginObjects::Add(const std::string& ident, std::unique_ptr<LoadedPlugin> plugin) {
  if (Find(ident) != nullptr || !plugin) return false;
  entries_.push_back(Entry{ident, std::move(plugin)});
  return true;
}

LoadedPlugin* PluginObjects::Find(const std::string& ident) const {
  for (const Entry& entry : entries_) {
    if (EqualsNoCase(entry.ident, ident)) return entry.plugin.get();
  }
  return nullptr;
}

std::optional<std::string> PluginObjects::Call(const std::string& ident, const std::string& event, std::string first,
                                               std::string second) const {
  LoadedPlugin* plugin = Find(ident);
  if (plugin == nullptr) return std::nullopt;
  const PluginCallGuard guard(ident, event);
  return plugin->Command(event, first, second);
}

LoadedPlugin* PluginObjects::First() const { return entries_.empty() ? nullptr : entries_.front().plugin.get(); }

std::unique_ptr<LoadedPlugin> PluginObjects::Remove(const LoadedPlugin* plugin) {
  for (auto entry = entries_.begin(); entry != entries_.end(); ++entry) {
    if (entry->plugin.get() != plugin) continue;
    std::unique_ptr<LoadedPlugin> removed = std::move(entry->plugin);
    entries_.erase(entry);
    return removed;
  }
  return nullptr;
}

std::vector<std::pair<std::string, LoadedPlugin*>> PluginObjects::Snapshot() const {
  std::vector<std::pair<std::string, LoadedPlugin*>> snapshot;
  snapshot.reserve(entries_.size());
  for (const Entry& entry : entries_) snapshot.emplace_back(entry.ident, entry.plugin.get());
  return snapshot;
}

}  // namespace velmorin
