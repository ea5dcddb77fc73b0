#pragma once
// The installed plugins: which are enabled and which run now, switching them on and off, and
// their about boxes and configuration dialogs. Switching writes the settings dialog's sections (Plugins for general
// plugins, Encryption for encryption plugins); like the dialog's choice it takes effect when
// those plugins are loaded next: general plugins at the next start of the program, encryption
// plugins the next time the server goes online.

#include <string>
#include <vector>

#include "admin/AdminResult.hpp"

namespace velmorin {

class clsServer;

struct PluginRow {
  std::string component;  // the file name without ".so": what enable, disable and about take
  std::string name;
  std::string ident;
  std::string type;       // "general", "generalserver", "encryption", ...
  std::string version;
  std::string author;
  bool enabled = false;   // by the settings file, for the next load
  bool loaded = false;    // runs now
};

class PluginAdmin {
 public:
  explicit PluginAdmin(clsServer& server) : server_(server) {}

  std::vector<PluginRow> Plugins() const;
  AdminResult SetEnabled(const std::string& component, bool enabled);
  // "ShowAbout" to the running plugin, or to a fresh instance when it does not run.
  AdminResult ShowAbout(const std::string& component);
  // An encryption plugin's configuration dialog, on a fresh instance as the settings dialog
  // opens it. A general plugin's settings are a page of the desktop window: refused here.
  AdminResult ShowConfiguration(const std::string& component);

 private:
  PluginRow Row(long index) const;
  AdminResult Unknown(const std::string& component) const;

  clsServer& server_;
};

}  // namespace velmorin
