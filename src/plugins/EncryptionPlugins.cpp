#include "plugins/EncryptionPlugins.hpp"

#include <optional>

#include "codec/IniValues.hpp"
#include "codec/ProfileFile.hpp"
#include "platform/ProgramPaths.hpp"
#include "platform/Text.hpp"
#include "plugins/PluginCallGuard.hpp"

namespace velmorin {
namespace {

constexpr const char* kSection = "Encryption";

bool IsEncryptionPlugin(const PluginRegistry& plugins, long record) {
  return record >= 0 && plugins.PluginType(record) == "encryption";
}

}  // namespace

std::vector<PluginLoadNote> EncryptionPlugins::Load(const PluginRegistry& plugins, long localeId, bool alwaysOnTop) {
  Release();
  std::vector<PluginLoadNote> notes;
  const std::string& file = Paths().settingsFile;
  profile::Flush(file);  // the administrator may have edited the file while the server was offline
  const std::vector<std::string> keys = SplitLines(ReadIniValue(kSection, std::nullopt, "", file));
  if (keys.empty()) {
    // First use: every installed encryption plugin is enabled, and the choice is written down.
    profile::ProfileBatch batch;
    for (long record = 0; record < plugins.Count(); ++record) {
      if (!IsEncryptionPlugin(plugins, record)) continue;
      notes.push_back(Append(plugins, record, localeId, alwaysOnTop));
      WriteIniValue(kSection, plugins.Component(record), "1", file);
    }
    batch.Commit();
  } else {
    for (const std::string& key : keys) {
      const long record = plugins.GetIndex(key);
      if (!IsEncryptionPlugin(plugins, record)) continue;
      const std::optional<bool> enabled = ToBool(ReadIniValue(kSection, key, "0", file));
      if (!enabled.value_or(false)) continue;
      notes.push_back(Append(plugins, record, localeId, alwaysOnTop));
    }
  }
  BuildOffered();
  return notes;
}

void EncryptionPlugins::BuildOffered() {
  offered_.clear();
  for (const std::string& ident : idents_) offered_ += ident + '\0';
  if (!offered_.empty()) offered_.pop_back();  // the NUL after the last identity
}

std::unique_ptr<LoadedPlugin> EncryptionPlugins::Start(const PluginRegistry& plugins, long record, long localeId,
                                                       bool alwaysOnTop, std::string* whyNot) {
  std::unique_ptr<LoadedPlugin> plugin = plugins.Create(record, whyNot);
  const std::string ident = plugins.PluginIdent(record);
  bool started = false;
  if (plugin) {
    const PluginCallGuard guard(ident, "encryption initialise");
    started = plugin->InitialiseEncryption(plugins.ProgramDirectory(), localeId, alwaysOnTop);
    if (!started && whyNot != nullptr) *whyNot = "initialise failed";
  }
  if (!started) plugin.reset();  // a plugin that cannot start is never asked to encrypt
  return plugin;
}

PluginLoadNote EncryptionPlugins::Append(const PluginRegistry& plugins, long record, long localeId, bool alwaysOnTop) {
  const std::string component = plugins.Component(record);
  PluginLoadNote note{PluginRegistry::FileName(component), component, PluginOutcome::Started, ""};
  plugins_.push_back(Start(plugins, record, localeId, alwaysOnTop, &note.reason));
  components_.push_back(component);
  idents_.push_back(plugins.PluginIdent(record));
  if (plugins_.back() == nullptr) {
    note.outcome = PluginOutcome::NotStarted;
    note.reason += "; clients that choose " + idents_.back() + " cannot use it";
  } else {
    note.reason = "encryption " + idents_.back();
  }
  return note;
}

std::string EncryptionPlugins::Ident(long index) const {
  return index >= 0 && index < count() ? idents_[static_cast<std::size_t>(index)] : std::string();
}

std::vector<long> EncryptionPlugins::EntriesOf(const std::string& component) const {
  std::vector<long> entries;
  for (long index = 0; index < count(); ++index) {
    if (EqualsNoCase(components_[static_cast<std::size_t>(index)], component)) entries.push_back(index);
  }
  return entries;
}

bool EncryptionPlugins::Replace(const PluginRegistry& plugins, long record, long localeId, bool alwaysOnTop) {
  bool all = true;
  for (const long index : EntriesOf(plugins.Component(record))) {
    const auto entry = static_cast<std::size_t>(index);
    plugins_[entry].reset();  // the old object goes first: one instance of a plugin at a time
    plugins_[entry] = Start(plugins, record, localeId, alwaysOnTop, nullptr);
    idents_[entry] = plugins.PluginIdent(record);
    all = all && plugins_[entry] != nullptr;
  }
  BuildOffered();
  return all;
}

void EncryptionPlugins::Release() {
  plugins_.clear();
  components_.clear();
  idents_.clear();
  offered_.clear();
}

long EncryptionPlugins::Find(const std::string& identity) const {
  if (offered_.empty()) return -1;
  for (long index = count() - 1; index >= 0; --index) {
    LoadedPlugin* plugin = At(index);
    if (plugin == nullptr) continue;
    const std::optional<std::string> own = plugin->Identity();
    if (own.has_value() && *own == identity) return index;
  }
  return -1;
}

LoadedPlugin* EncryptionPlugins::At(long index) const {
  if (index < 0 || index >= count()) return nullptr;
  return plugins_[static_cast<std::size_t>(index)].get();
}

bool EncryptionPluginEnabled(const std::string& component) {
  const std::string& file = Paths().settingsFile;
  if (SplitLines(ReadIniValue(kSection, std::nullopt, "", file)).empty()) return true;
  return ToBool(ReadIniValue(kSection, component, "0", file)).value_or(false);
}

long WriteEncryptionSection(const std::vector<std::pair<std::string, bool>>& enabledByComponent) {
  const std::string& file = Paths().settingsFile;
  profile::ProfileBatch batch;  // one write: the section is never seen half rewritten
  WriteIniValue(kSection, std::nullopt, std::nullopt, file);
  for (const auto& [component, enabled] : enabledByComponent) {
    WriteIniValue(kSection, component, BoolText(enabled), file);
  }
  return batch.Commit();
}

}  // namespace velmorin
