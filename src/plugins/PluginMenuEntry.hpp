#pragma once
// One entry of the plugin menu, its properties in the order plugins give them.

#include <string>

namespace velmorin {

struct PluginMenuEntry {
  bool enabled = true;
  bool checked = false;
  std::string name;
  std::string owner;  // PluginIdent
  std::string caption;
};

}  // namespace velmorin
