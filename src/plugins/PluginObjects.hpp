#pragma once
// The collection of running general plugins, keyed by PluginIdent.

#include <cstddef>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "plugins/LoadedPlugin.hpp"

namespace velmorin {

// The running general plugins in load order, keyed by PluginIdent without regard to case.
class PluginObjects {
 public:
  // False (and the plugin is released) when the identity is taken.
  bool Add(const std::string& ident, std::unique_ptr<LoadedPlugin> plugin);
  LoadedPlugin* Find(const std::string& ident) const;
  LoadedPlugin* First() const;  // nullptr when empty
  // Calls `command`(event, first, second) of the running plugin with that identity; nothing
  // when it is not running or the call failed.
  std::optional<std::string> Call(const std::string& ident, const std::string& event, std::string first,
                                  std::string second) const;
  // Removes and returns the object; nothing when it is not in the collection.
  std::unique_ptr<LoadedPlugin> Remove(const LoadedPlugin* plugin);

  bool empty() const { return entries_.empty(); }
  std::size_t size() const { return entries_.size(); }
  // A snapshot in order: calls into plugins may change the collection meanwhile.
  std::vector<std::pair<std::string, LoadedPlugin*>> Snapshot() const;

 private:
  struct Entry {
    std::string ident;
    std::unique_ptr<LoadedPlugin> plugin;
  };
  std::vector<Entry> entries_;
};

}  // namespace velmorin
