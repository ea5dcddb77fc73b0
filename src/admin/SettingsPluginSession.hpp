#pragma once
// The plugin instances of the settings dialog, for as long as it is open. Opening creates every
// "general" and "generalserver" plugin anew, apart from the running ones, and
// initialises it with the session's own callback and the host word "settingsserver"; they are
// kept by PluginIdent (the first plugin with an identity wins, a later one is not created).
//
// The session's callback carries out one command, "AddSettingsPage" (p1: the page window's
// handle in decimal, p2: the page's title), and hands each accepted page to the listener; it
// answers "done", "invalid" (a handle or title refused, or a window that is a page already) or
// "full" (the plugin has kSettingsPagesPerPlugin pages). Every other word does nothing and
// answers "", as does "AddSettingsPage" without a listener or once the session closes.
//
// "ShowAbout" and "SettingsChanged" reach the session's instances; closing terminates every
// instance (host word "settingsserver") and destroys it. A close asked for while a call into a
// plugin is under way waits until that call has returned.

#include <cstddef>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "plugins/ICallback.hpp"
#include "plugins/PluginObjects.hpp"

namespace velmorin {

class PluginRegistry;

inline constexpr std::size_t kSettingsPagesPerPlugin = 8;
inline constexpr std::size_t kMaxSettingsPageTitle = 80;
// Window handles are X11 window ids: 32 bits.
inline constexpr unsigned long kMaxSettingsPageWindow = 0xFFFFFFFFul;

struct SettingsPage {
  std::string ident;      // the PluginIdent of the plugin that added it
  std::string component;  // its component name
  unsigned long window;   // the handle of the plugin's page window, never 0
  std::string title;      // at most kMaxSettingsPageTitle bytes, no control characters
};

class SettingsPluginSession {
 public:
  using PageListener = std::function<void(const SettingsPage&)>;

  // Starts no plugin yet. The listener may be empty: pages are then not accepted.
  explicit SettingsPluginSession(const PluginRegistry& plugins, PageListener listener = {});
  ~SettingsPluginSession();
  SettingsPluginSession(const SettingsPluginSession&) = delete;
  SettingsPluginSession& operator=(const SettingsPluginSession&) = delete;

  // Every general plugin in the plugin list's order, the disabled ones too: the administrator
  // may set a plugin up on its page before switching it on.
  void StartGeneral();
  // The plugin at that index of the plugin list, enabled or not, whatever its type says. False
  // when it cannot be created, has no general members, its identity is taken, or the session
  // is closing.
  bool Start(long index);

  // Whether the session holds an instance of that component (any letter case).
  bool Has(const std::string& component) const;
  // "ShowAbout" to the instance of that component: its answer (empty when it gave none);
  // nothing when there is no instance or the call failed.
  std::optional<std::string> ShowAbout(const std::string& component);
  // "SettingsChanged" to every instance, in start order.
  void SettingsChanged();
  // Terminates and destroys every instance; later calls do nothing.
  void Close();

  // The pages accepted so far, in order.
  const std::vector<SettingsPage>& Pages() const { return pages_; }
  std::size_t InstanceCount() const { return objects_.size(); }

 private:
  class Callback : public ICallback {
   public:
    explicit Callback(SettingsPluginSession& session) : session_(session) {}
    std::string command(const std::string& sender, const std::string& word, const std::string& first,
                        const std::string& second) override;

   private:
    SettingsPluginSession& session_;
  };
  // Counts a call into the plugins; a close asked for meanwhile runs when the outermost ends.
  class Busy {
   public:
    explicit Busy(SettingsPluginSession& session) : session_(session) { ++session_.busy_; }
    ~Busy();
    Busy(const Busy&) = delete;
    Busy& operator=(const Busy&) = delete;

   private:
    SettingsPluginSession& session_;
  };
  struct Started {
    std::string ident;
    std::string component;
  };

  std::string AddSettingsPage(const std::string& sender, const std::string& handle, const std::string& title);
  // The started (or starting) plugin of that identity, or nullptr.
  const Started* Owner(const std::string& sender) const;

  const PluginRegistry& plugins_;
  PageListener listener_;
  Callback callback_{*this};  // declared before the objects: it outlives them
  PluginObjects objects_;
  std::vector<Started> started_;
  std::optional<Started> starting_;   // the plugin in its initialise
  std::vector<SettingsPage> waiting_;  // its pages, shown once it is kept
  std::vector<SettingsPage> pages_;
  int busy_ = 0;
  bool closing_ = false;
  bool closeWhenIdle_ = false;
};

}  // namespace velmorin
