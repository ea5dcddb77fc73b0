#include "admin/PluginAdmin.hpp"

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <optional>
#include <string_view>
#include <system_error>
#include <memory>
#include <utility>

#include "config/Settings.hpp"
#include "i18n/LocaleIds.hpp"
#include "platform/Text.hpp"
#include "plugins/EncryptionPlugins.hpp"
#include "plugins/PluginReload.hpp"
#include "server/ChatServer.hpp"
#include "server/PluginCommands.hpp"

namespace velmorin {
namespace {

constexpr std::size_t kMaxAboutText = 4096;

// A plugin's about text as an answer may carry it: line breaks as "\n", no other control
// characters, bounded; or, when it gave none, why there is nothing to show.
AdminResult AboutAnswered(const std::string& name, const std::string& answer) {
  std::string text;
  for (std::size_t i = 0; i < answer.size() && text.size() < kMaxAboutText; ++i) {
    const auto c = static_cast<unsigned char>(answer[i]);
    if (c == '\r' && i + 1 < answer.size() && answer[i + 1] == '\n') continue;
    if (c == '\n' || c == '\t' || (c >= 0x20 && c != 0x7F)) text += answer[i];
  }
  if (text.find_first_not_of(" \t\n") == std::string::npos) {
    return AdminResult::Done(name + " has no about text to show here (a plugin's about box is a window of its own, on "
                             "the server's desktop only).");
  }
  return AdminResult::Done(text);
}

// How much of a name the caller gave is repeated in a refusal.
constexpr std::size_t kMaxEchoedName = 64;

bool IsEncryption(const std::string& type) { return type == "encryption"; }

bool Offers(const EncryptionPlugins& loaded, const std::string& ident) {
  for (const std::string& offered : Split(loaded.OfferedList(), std::string_view("\0", 1))) {
    if (offered == ident) return true;
  }
  return false;
}

}  // namespace

std::vector<PluginRow> PluginAdmin::Plugins() const {
  std::vector<PluginRow> rows;
  for (long index = 0; index < server_.InstalledPlugins().Count(); ++index) rows.push_back(Row(index));
  for (const std::string& component : server_.InstalledPlugins().FailedFiles()) rows.push_back(FailedRow(component));
  return rows;
}

PluginRow PluginAdmin::FailedRow(const std::string& component) const {
  PluginRow row;
  row.component = component;
  row.state = "failed";
  if (const PluginLoadNote* note = server_.InstalledPlugins().LastNote(component)) row.reason = note->reason;
  return row;
}

PluginRow PluginAdmin::Row(long index) const {
  const PluginRegistry& plugins = server_.InstalledPlugins();
  PluginRow row;
  row.component = plugins.Component(index);
  row.name = plugins.PluginName(index);
  row.ident = plugins.PluginIdent(index);
  row.type = plugins.PluginType(index);
  row.version = plugins.PluginVersion(index);
  row.author = plugins.PluginAuthor(index);
  const PluginLoadNote* note = plugins.LastNote(row.component);
  if (IsEncryption(row.type)) {
    row.enabled = EncryptionPluginEnabled(row.component);
    row.loaded = Offers(server_.LoadedEncryptionPlugins(), row.ident);
    row.state = row.loaded ? "loaded" : row.enabled ? "not loaded" : "disabled";
    if (!row.loaded && row.enabled) row.reason = "used from the next time the server goes online";
    if (row.loaded && note != nullptr && note->Failed()) {
      row.state = "failed";  // offered, but its object did not start
      row.reason = note->reason;
    }
  } else {
    row.enabled = GeneralPluginEnabled(row.component);
    row.loaded = server_.RunningPlugins().Find(row.ident) != nullptr;
    row.state = row.loaded ? "loaded" : row.enabled ? "failed" : "disabled";
    if (note != nullptr && (note->Failed() || note->outcome == PluginOutcome::InitialiseFailed)) {
      row.reason = note->outcome == PluginOutcome::InitialiseFailed ? "initialise failed" : note->reason;
    }
    if (row.state == "disabled" && row.loaded) row.state = "loaded";
  }
  return row;
}

AdminResult PluginAdmin::SetEnabled(const std::string& component, bool enabled) {
  const PluginRegistry& plugins = server_.InstalledPlugins();
  const long index = plugins.GetIndex(component);
  if (index < 0) return Unknown(component);
  const PluginRow target = Row(index);
  const std::string word = enabled ? "enabled" : "disabled";
  if (target.enabled == enabled) return AdminResult::Done(target.component + " is " + word + " already.");

  // Each section is rewritten whole, one key per plugin it covers, as the settings dialog does.
  const bool encryption = IsEncryption(target.type);
  std::vector<std::pair<std::string, bool>> section;
  for (long other = 0; other < plugins.Count(); ++other) {
    if (encryption && !IsEncryption(plugins.PluginType(other))) continue;
    const std::string component = plugins.Component(other);
    const bool current = encryption ? EncryptionPluginEnabled(component) : GeneralPluginEnabled(component);
    section.emplace_back(component, other == index ? enabled : current);
  }
  const long error = encryption ? WriteEncryptionSection(section) : WritePluginsSection(section);
  if (error != 0) {
    return AdminResult::Refused("errorSave", "The settings file could not be written: " +
                                                 std::string(std::strerror(static_cast<int>(error))) + ".");
  }
  // A general plugin switched on can be started at once by a reload.
  const std::string when = encryption ? "the next time the server goes online"
                           : enabled  ? "at the next start of the program, or now with plugins reload " + target.component
                                      : "at the next start of the program";
  // Switching off ends nothing by itself: say what keeps running, and until when.
  const std::string running = enabled || !target.loaded ? ""
                              : encryption ? " The loaded plugin serves until the server goes offline."
                                           : " The running plugin keeps running until then.";
  return AdminResult::Done(target.component + " is " + word + "; this takes effect " + when + "." + running);
}

AdminResult PluginAdmin::ShowAbout(const std::string& component, SettingsPluginSession* session) {
  const PluginRegistry& plugins = server_.InstalledPlugins();
  const long index = plugins.GetIndex(component);
  if (index < 0) return Unknown(component);
  const std::string name = plugins.Component(index);
  const AdminResult failed = AdminResult::Refused("pluginFailed", name + " did not answer.");

  if (IsEncryption(plugins.PluginType(index))) {
    // As the settings dialog does: a fresh instance, initialised first.
    std::unique_ptr<LoadedPlugin> fresh = plugins.Create(index);
    const bool shown = fresh && fresh->InitialiseEncryption(plugins.ProgramDirectory(), SystemDefaultLocaleId(),
                                                           ServerSettings.General.AlwaysOnTop) &&
                       fresh->ShowAbout();
    return shown ? AboutAnswered(name, "") : failed;
  }
  std::optional<std::string> answer;
  if (session != nullptr && session->Has(name)) {
    answer = session->ShowAbout(name);
  } else if (server_.RunningPlugins().Find(plugins.PluginIdent(index)) != nullptr) {
    answer = server_.RunningPlugins().Call(plugins.PluginIdent(index), "ShowAbout", "", "");
  } else {
    // Not running: an instance of its own, started and ended as the settings dialog's are.
    SettingsPluginSession own(plugins);
    if (own.Start(index)) answer = own.ShowAbout(name);
  }
  return answer ? AboutAnswered(name, *answer) : failed;
}

std::unique_ptr<SettingsPluginSession> PluginAdmin::OpenSettingsSession(SettingsPluginSession::PageListener listener) {
  auto session = std::make_unique<SettingsPluginSession>(server_.InstalledPlugins(), std::move(listener));
  session->StartGeneral();
  return session;
}

AdminResult PluginAdmin::ShowConfiguration(const std::string& component) {
  const PluginRegistry& plugins = server_.InstalledPlugins();
  const long index = plugins.GetIndex(component);
  if (index < 0) return Unknown(component);
  const std::string name = plugins.Component(index);
  if (!IsEncryption(plugins.PluginType(index))) {
    return AdminResult::Refused("pluginHasNoDialog", name + " keeps its settings on a page of the desktop window's settings.");
  }
  std::unique_ptr<LoadedPlugin> fresh = plugins.Create(index);
  const bool shown = fresh && fresh->InitialiseEncryption(plugins.ProgramDirectory(), SystemDefaultLocaleId(),
                                                         ServerSettings.General.AlwaysOnTop) &&
                     fresh->ShowConfiguration();
  if (!shown) return AdminResult::Refused("pluginFailed", name + " did not answer.");
  return AdminResult::Done(name + " was asked for its configuration dialog; it has no text to show here (a plugin's "
                           "dialog is a window of its own, on the server's desktop only).");
}

AdminResult PluginAdmin::Reload(const std::string& component) {
  PluginRegistry& plugins = server_.InstalledPlugins();
  const long index = plugins.GetIndex(component);
  const std::string name = index >= 0 ? plugins.Component(index) : component;
  // Only a plain file name: the name becomes a path below plugins/.
  const bool plainName = !name.empty() && name != "." && name != ".." &&
                         name.find_first_of(std::string_view("/\0", 2)) == std::string::npos;
  std::error_code error;
  if (!plainName || !std::filesystem::is_regular_file(plugins.ProgramDirectory() + "plugins/" + PluginRegistry::FileName(name), error)) {
    return Unknown(component);
  }
  if (index >= 0 && IsEncryption(plugins.PluginType(index))) return ReloadEncryption(index);
  if (!GeneralPluginEnabled(name)) {
    return AdminResult::Refused("pluginDisabled", name + " is disabled; switch it on with plugins enable " + name +
                                                      " first, then reload it.");
  }
  PluginReloadParts parts{plugins,
                          server_.RunningPlugins(),
                          server_.Commands(),
                          [this](const std::string& ident) { server_.Commands().ForgetPlugin(ident); },
                          SystemDefaultLocaleId(),
                          ServerSettings.General.AlwaysOnTop};
  const bool wasRunning = index >= 0 && server_.RunningPlugins().Find(plugins.PluginIdent(index)) != nullptr;
  const PluginReloadOutcome outcome = ReloadGeneralPlugin(parts, name);
  WriteLoadNotes(server_.Log(), {outcome.note});
  if (!outcome.replaced) {
    return AdminResult::Refused("pluginFailed", PluginRegistry::FileName(name) + " was not loaded: " + outcome.note.reason +
                                                    (wasRunning ? ". The plugin that ran keeps running." : "."));
  }
  switch (outcome.note.outcome) {
    case PluginOutcome::Started: return AdminResult::Done(name + " was reloaded (" + outcome.note.reason + ").");
    case PluginOutcome::InitialiseFailed:
      return AdminResult::Done(name + " was reloaded; its initialise failed, it runs and receives its events all the same.");
    default:
      return AdminResult::Refused("pluginFailed", name + (wasRunning ? " was ended, but" : "") +
                                                      " the new file did not start: " + outcome.note.reason + ".");
  }
}

AdminResult PluginAdmin::ReloadEncryption(long index) {
  PluginRegistry& plugins = server_.InstalledPlugins();
  const std::string name = plugins.Component(index);
  if (!EncryptionPluginEnabled(name)) {
    return AdminResult::Refused("pluginDisabled", name + " is disabled; switch it on with plugins enable " + name +
                                                      " first, then reload it.");
  }
  // A connection's keys live in the plugin object: a new object would not know them.
  EncryptionPlugins& loaded = server_.LoadedEncryptionPlugins();
  const std::vector<long> entries = loaded.EntriesOf(name);
  const ConnectionTable& table = server_.Connections();
  for (long slot = 1; slot <= table.MaxIndex(); ++slot) {
    if (!table.InUse(slot)) continue;
    const long used = table.At(slot).encryptionIndex;
    if (std::find(entries.begin(), entries.end(), used) != entries.end()) {
      return AdminResult::Refused("pluginInUse", name + " encrypts connections now; reload it when none uses it, or take "
                                                        "the server offline and online again.");
    }
  }
  std::optional<PluginRecord> record;
  const PluginLoadNote note = plugins.Examine(PluginRegistry::FileName(name), kRegistrationTimeLimit, &record);
  plugins.Remember(note);
  WriteLoadNotes(server_.Log(), {note});
  if (!record || !IsEncryption(record->PluginType)) {
    const std::string why = record ? "the new file is not an encryption plugin" : note.reason;
    return AdminResult::Refused("pluginFailed", PluginRegistry::FileName(name) + " was not loaded: " + why +
                                                    ". The plugin that ran keeps running.");
  }
  const long kept = plugins.Keep(std::move(*record));
  if (entries.empty()) return AdminResult::Done(name + " was read again; it is used from the next time the server goes online.");
  if (!loaded.Replace(plugins, kept, SystemDefaultLocaleId(), ServerSettings.General.AlwaysOnTop)) {
    return AdminResult::Refused("pluginFailed", name + " was replaced, but the new object did not start; clients "
                                                      "choosing it fail until it is reloaded.");
  }
  return AdminResult::Done(name + " was reloaded.");
}

AdminResult PluginAdmin::Unknown(const std::string& component) const {
  return AdminResult::Refused("pluginUnknown",
                              "No plugin named \"" + component.substr(0, kMaxEchoedName) + "\" is installed.");
}

const PluginMenu& PluginAdmin::Menu() const { return server_.Commands().Menu(); }

void PluginAdmin::MenuClick(const std::string& owner, const std::string& entry) {
  server_.Commands().MenuClick(owner, entry);
}

void PluginAdmin::ShortcutPressed(long shiftState, long keyCode) { server_.Events().ShortcutPressed(shiftState, keyCode); }

}  // namespace velmorin
