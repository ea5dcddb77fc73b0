#pragma once
// The plugin menu's entries (PluginMenuEntry), in insertion order, keyed by the pair (owner
// PluginIdent, entry name), each compared without regard to case: a name needs to be unique
// only per plugin, and no plugin reaches another's entries. The front end builds its items from
// Entries() when told to rebuild, and updates one item in place after Edit.

#include <string>
#include <vector>

#include "plugins/PluginMenuEntry.hpp"

namespace velmorin {

class PluginMenu {
 public:
  // False when the owner already has an entry of that name (nothing changes).
  bool Add(const PluginMenuEntry& entry);
  // False when there is no such entry (none is created).
  bool Edit(const std::string& owner, const std::string& name, bool enabled, bool checked, const std::string& caption);
  bool Remove(const std::string& owner, const std::string& name);
  // Every entry of one owner (a plugin being reloaded); whether there was any.
  bool RemoveOwner(const std::string& owner);
  const PluginMenuEntry* Find(const std::string& owner, const std::string& name) const;
  const std::vector<PluginMenuEntry>& Entries() const { return entries_; }

 private:
  std::vector<PluginMenuEntry>::iterator Locate(const std::string& owner, const std::string& name);
  std::vector<PluginMenuEntry> entries_;
};

}  // namespace velmorin
