#pragma once
// The installed plugins: which are enabled and which run now (and why not), switching them on
// and off, reloading one from its file, and their about boxes and configuration dialogs. Switching writes the settings dialog's sections (Plugins for general
// plugins, Encryption for encryption plugins); like the dialog's choice it takes effect when
// those plugins are loaded next: general plugins at the next start of the program, encryption
// plugins the next time the server goes online.

#include <memory>
#include <string>
#include <vector>

#include "admin/AdminResult.hpp"
#include "admin/SettingsPluginSession.hpp"
#include "plugins/PluginMenu.hpp"

namespace velmorin {

class ChatServer;

struct PluginRow {
  std::string component;  // the file name without ".so": what enable, disable and about take
  std::string name;
  std::string ident;
  std::string type;       // "general", "generalserver", "encryption", ...
  std::string version;
  std::string author;
  bool enabled = false;   // by the settings file, for the next load
  bool loaded = false;    // runs now
  std::string state;      // "loaded", "disabled", "failed", or "not loaded" (an encryption plugin while offline)
  std::string reason;     // why it failed or is not loaded, from the load notes; may be empty
};

class PluginAdmin {
 public:
  explicit PluginAdmin(ChatServer& server) : server_(server) {}

  std::vector<PluginRow> Plugins() const;
  AdminResult SetEnabled(const std::string& component, bool enabled);
  // "ShowAbout" to the settings dialog's instance when a session is given and holds one, else
  // to the running plugin, or to a fresh instance when it does not run.
  AdminResult ShowAbout(const std::string& component, SettingsPluginSession* session = nullptr);
  // The settings dialog's instances of the general plugins, disabled ones too (see
  // SettingsPluginSession); the listener hears of each page they add.
  std::unique_ptr<SettingsPluginSession> OpenSettingsSession(SettingsPluginSession::PageListener listener);
  // An encryption plugin's configuration dialog, on a fresh instance as the settings dialog
  // opens it. A general plugin's settings are a page of the desktop window: refused here.
  AdminResult ShowConfiguration(const std::string& component);
  // Ends the plugin and loads its installed file again (see plugins/PluginReload.hpp). Refused
  // for an unknown or disabled plugin, and when the new file is refused: the old one then
  // keeps running. An encryption plugin is replaced in the list of the online period, and
  // refused while a connection uses it.
  AdminResult Reload(const std::string& component);

  // The desktop window's plugin menu: its entries, a click on one ("MenuClick" to its owner;
  // nothing when the owner no longer runs), and a key offered as "ShortcutPressed".
  const PluginMenu& Menu() const;
  void MenuClick(const std::string& owner, const std::string& entry);
  void ShortcutPressed(long shiftState, long keyCode);

 private:
  PluginRow Row(long index) const;
  PluginRow FailedRow(const std::string& component) const;
  AdminResult ReloadEncryption(long index);
  AdminResult Unknown(const std::string& component) const;

  ChatServer& server_;
};

}  // namespace velmorin
