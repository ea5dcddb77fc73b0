#include "plugins/PluginMenu.hpp"

#include <algorithm>

#include "platform/Text.hpp"

namespace velmorin {

std::vector<PluginMenuEntry>::iterator PluginMenu::Locate(const std::string& owner, const std::string& name) {
  // Owner and name are compared each on its own: joined, "ab" + "c" would equal "a" + "bc".
  return std::find_if(entries_.begin(), entries_.end(), [&](const PluginMenuEntry& entry) {
    return EqualsNoCase(entry.owner, owner) && EqualsNoCase(entry.name, name);
  });
}

const PluginMenuEntry* PluginMenu::Find(const std::string& owner, const std::string& name) const {
  auto found = const_cast<PluginMenu*>(this)->Locate(owner, name);
  return found == entries_.end() ? nullptr : &*found;
}

bool PluginMenu::Add(const PluginMenuEntry& entry) {
  if (Locate(entry.owner, entry.name) != entries_.end()) return false;
  entries_.push_back(entry);
  return true;
}

bool PluginMenu::Edit(const std::string& owner, const std::string& name, bool enabled, bool checked,
                      const std::string& caption) {
  auto found = Locate(owner, name);
  if (found == entries_.end()) return false;
  found->enabled = enabled;
  found->checked = checked;
  found->caption = caption;
  return true;
}

bool PluginMenu::Remove(const std::string& owner, const std::string& name) {
  auto found = Locate(owner, name);
  if (found == entries_.end()) return false;
  entries_.erase(found);
  return true;
}

bool PluginMenu::RemoveOwner(const std::string& owner) {
  return std::erase_if(entries_, [&](const PluginMenuEntry& entry) { return EqualsNoCase(entry.owner, owner); }) != 0;
}

}  // namespace velmorin
