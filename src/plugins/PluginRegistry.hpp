#pragma once
// The installed plugins: the start-up scan of plugins/*.so, the plugin list PluginRegistry, and the
// start and end of the running general plugins (kept in PluginObjects).
//
// Contents
//   RegisterLibrary         runs a library's registration export, at most `limit` long
//   AcceptsInterfaceVersion the host takes PluginInternalVersion 1.0 only
//   PluginRegistry              one record per accepted plugin, read at start-up (and again for
//                           one plugin by a reload), and the load notes of every file
//   LoadGeneralPlugins / StartGeneralPlugin / TerminatePlugins / UnregisterPlugins /
//   WritePluginsSection
//
// Files are taken in file-name order (sorted bytewise), so the load order, and with it the
// order of subscriptions and chained handlers, is the same on every file system.

#include <chrono>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "plugins/LoadedPlugin.hpp"
#include "plugins/PluginLoadNote.hpp"
#include "plugins/PluginObjects.hpp"

namespace velmorin {

// How long a registration export may run before its library counts as not registered.
inline constexpr std::chrono::milliseconds kRegistrationTimeLimit{10000};

// Results of RegisterLibrary besides 0 (registered).
inline constexpr long kRegisterNotLoaded = 126;    // not a loadable library
inline constexpr long kRegisterNoExport = 127;     // the registration export is missing
inline constexpr long kRegisterTimedOut = 258;     // the export did not end within the limit
inline constexpr long kRegisterNoThread = 1450;    // no thread could be started for it

// Runs DllRegisterServer (doRegister) or DllUnregisterServer of the library in a thread of its
// own and waits at most `limit`. 0 when the export ended in time, whatever it returned. An
// export still running is left to itself: its thread is detached and keeps the library loaded.
// `whyNot`, when given, says in words why it did not register.
long RegisterLibrary(const std::string& path, bool doRegister,
                     std::chrono::milliseconds limit = kRegistrationTimeLimit, std::string* whyNot = nullptr);

// Major "." minor, each a number by the usual text-to-number rule (anything else, or a missing
// part, is 0): only major 1 with minor at most 0 is accepted.
bool AcceptsInterfaceVersion(const std::string& version);

struct PluginRecord {
  std::string PluginAuthor;
  std::string dll;  // component name: the file name without ".so"
  std::string PluginIdent;
  std::string PluginName;
  std::string PluginInternalVersion;
  std::string PluginType;
  std::string pluginversion;
};

class PluginRegistry {
 public:
  PluginRegistry() = default;  // no plugins
  // The scan: registers every plugins/*.so of the program directory in file-name order, creates
  // each plugin once and keeps the information of those with the accepted interface version.
  // Every file gets a load note (LoadNotes), accepted or not.
  explicit PluginRegistry(const std::string& programDirectory,
                      std::chrono::milliseconds registrationLimit = kRegistrationTimeLimit);

  long Count() const { return static_cast<long>(records_.size()); }
  // Fields by index; "" for an index outside 0 .. count - 1.
  std::string PluginAuthor(long index) const;
  std::string Component(long index) const;
  std::string PluginIdent(long index) const;
  std::string PluginName(long index) const;
  std::string PluginInternalVersion(long index) const;
  std::string PluginType(long index) const;
  std::string PluginVersion(long index) const;

  // The last record whose component name equals the name without regard to case, or -1.
  long GetIndex(const std::string& componentName) const;

  const std::string& ProgramDirectory() const { return programDirectory_; }
  // "x.so" for the component "x".
  static std::string FileName(const std::string& component);
  // A new object of the plugin (nothing for a bad index or when creation fails; `whyNot` then
  // says why).
  std::unique_ptr<LoadedPlugin> Create(long index, std::string* whyNot = nullptr) const;

  // The scan of one file, as at start-up: registered, created, version checked. An accepted
  // plugin's record is kept (Keep), or only handed back in `accepted` when that is given.
  PluginLoadNote Examine(const std::string& file,
                         std::chrono::milliseconds registrationLimit = kRegistrationTimeLimit,
                         std::optional<PluginRecord>* accepted = nullptr);
  // Adds the record, or replaces the record of the same file name (letter case included) in its
  // place; its index.
  long Keep(PluginRecord record);

  // The decisions about plugin files in the order they were made (the scan's first), the
  // oldest dropped beyond kMaxLoadNotes.
  const std::vector<PluginLoadNote>& LoadNotes() const { return notes_; }
  void Remember(PluginLoadNote note);
  // The latest note about a component (without regard to case), or nullptr.
  const PluginLoadNote* LastNote(const std::string& component) const;
  // Components whose files the scan (or a reload) refused and that have no record.
  std::vector<std::string> FailedFiles() const;

 private:
  const PluginRecord* Record(long index) const;

  std::string programDirectory_;
  std::vector<PluginRecord> records_;
  std::vector<PluginLoadNote> notes_;
};

// How many load notes a run keeps (reloads add to them).
inline constexpr std::size_t kMaxLoadNotes = 1000;
// How much of a refused interface version a note repeats.
inline constexpr std::size_t kMaxShownVersion = 32;

// Creates and initialises (host word "server") every "general" and "generalserver" plugin
// whose Plugins key in the settings file is not false (a missing key is "1"). A plugin whose
// initialise fails is kept; a second plugin with a taken identity is initialised and released.
// One note per general plugin: started, disabled, or why not.
std::vector<PluginLoadNote> LoadGeneralPlugins(const PluginRegistry& plugins, PluginObjects& objects, ICallback& callback,
                                               long localeId, bool alwaysOnTop);

// LoadGeneralPlugins for the one plugin at `index`, whatever its Plugins key says. The settings
// dialog's instances are started the same way with the host word "settingsserver".
PluginLoadNote StartGeneralPlugin(const PluginRegistry& plugins, long index, PluginObjects& objects, ICallback& callback,
                                  long localeId, bool alwaysOnTop, const std::string& hostWord = "server");

// Terminates (host word "server", or the one the objects were started with) and releases the
// objects one by one, first to last. A plugin stays reachable in the collection during its own
// Terminate.
void TerminatePlugins(PluginObjects& objects, ICallback& callback, const std::string& hostWord = "server");

// Runs the unregistration export of every plugins/*.so of the program directory.
void UnregisterPlugins(const std::string& programDirectory,
                       std::chrono::milliseconds limit = kRegistrationTimeLimit);

// Whether the general plugin of that component is started, as LoadGeneralPlugins decides it:
// only a Plugins key that converts to false disables (a missing key is "1").
bool GeneralPluginEnabled(const std::string& component);

// The settings dialog's choice: the Plugins section replaced by one key per component name,
// "1" enabled or "0". 0 or the errno of the failed write.
long WritePluginsSection(const std::vector<std::pair<std::string, bool>>& enabledByComponent);

}  // namespace velmorin
