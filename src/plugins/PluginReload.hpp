#pragma once
// Reloading one general plugin while the server runs, from its installed file.
//
// The order of calls (docs/plugins.md, "Reloading a plugin"):
//   1. the installed file is examined as at start-up (registration export, a new object, the
//      information members, interface version); the old plugin still runs meanwhile. When the
//      new file is refused, nothing else happens: the old plugin keeps running as it was;
//   2. the old plugin loses its event subscriptions and menu entries, its Terminate is called
//      (host word "server"), its object is destroyed and its library closed;
//   3. a new object of the new file is created and initialised (host word "server"); what it
//      registers there (events, menu entries) it has again.

#include <functional>
#include <string>

#include "plugins/PluginLoadNote.hpp"
#include "plugins/PluginObjects.hpp"
#include "plugins/PluginRegistry.hpp"

namespace velmorin {

struct PluginReloadParts {
  PluginRegistry& plugins;
  PluginObjects& objects;
  ICallback& callback;                                   // the server's command interface
  std::function<void(const std::string& ident)> forget;  // drops an identity's subscriptions and menu entries
  long localeId = 0;
  bool alwaysOnTop = false;
  std::chrono::milliseconds registrationLimit = kRegistrationTimeLimit;
};

struct PluginReloadOutcome {
  bool replaced = false;  // the old plugin (if one ran) was ended and the new file taken
  PluginLoadNote note;    // what became of the new file: refused (old kept), started, or not started
};

// The component's file is plugins/<component>.so. Every note is also remembered in PluginRegistry.
PluginReloadOutcome ReloadGeneralPlugin(PluginReloadParts& parts, const std::string& component);

}  // namespace velmorin
