#include "admin/PluginAdmin.hpp"

#include <cstring>
#include <memory>
#include <utility>

#include "config/modSettings.hpp"
#include "i18n/modLangID.hpp"
#include "platform/Text.hpp"
#include "plugins/EncryptionPlugins.hpp"
#include "plugins/ICallback.hpp"
#include "server/clsServer.hpp"

namespace velmorin {
namespace {

// The callback of an instance made only to show its about box: like the settings dialog's own,
// it keeps the instance's requests (event subscriptions, menu entries) away from the server.
class AboutBoxCallback : public ICallback {
 public:
  std::string command(const std::string&, const std::string&, const std::string&, const std::string&) override {
    return {};
  }
};

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
  for (long index = 0; index < server_.InstalledPlugins().count(); ++index) rows.push_back(Row(index));
  return rows;
}

PluginRow PluginAdmin::Row(long index) const {
  const clsPlugins& plugins = server_.InstalledPlugins();
  PluginRow row;
  row.component = plugins.dll(index);
  row.name = plugins.PluginName(index);
  row.ident = plugins.PluginIdent(index);
  row.type = plugins.PluginType(index);
  row.version = plugins.pluginversion(index);
  row.author = plugins.PluginAuthor(index);
  if (IsEncryption(row.type)) {
    row.enabled = EncryptionPluginEnabled(row.component);
    row.loaded = Offers(server_.LoadedEncryptionPlugins(), row.ident);
  } else {
    row.enabled = GeneralPluginEnabled(row.component);
    row.loaded = server_.RunningPlugins().Find(row.ident) != nullptr;
  }
  return row;
}

AdminResult PluginAdmin::SetEnabled(const std::string& component, bool enabled) {
  const clsPlugins& plugins = server_.InstalledPlugins();
  const long index = plugins.GetIndex(component);
  if (index < 0) return Unknown(component);
  const PluginRow target = Row(index);
  const std::string word = enabled ? "enabled" : "disabled";
  if (target.enabled == enabled) return AdminResult::Done(target.component + " is " + word + " already.");

  // Each section is rewritten whole, one key per plugin it covers, as the settings dialog does.
  const bool encryption = IsEncryption(target.type);
  std::vector<std::pair<std::string, bool>> section;
  for (long other = 0; other < plugins.count(); ++other) {
    if (encryption && !IsEncryption(plugins.PluginType(other))) continue;
    const std::string component = plugins.dll(other);
    const bool current = encryption ? EncryptionPluginEnabled(component) : GeneralPluginEnabled(component);
    section.emplace_back(component, other == index ? enabled : current);
  }
  const long error = encryption ? WriteEncryptionSection(section) : WritePluginsSection(section);
  if (error != 0) {
    return AdminResult::Refused("errorSave", "The settings file could not be written: " +
                                                 std::string(std::strerror(static_cast<int>(error))) + ".");
  }
  const std::string when = encryption ? "the next time the server goes online" : "at the next start of the program";
  return AdminResult::Done(target.component + " is " + word + "; this takes effect " + when + ".");
}

AdminResult PluginAdmin::ShowAbout(const std::string& component) {
  const clsPlugins& plugins = server_.InstalledPlugins();
  const long index = plugins.GetIndex(component);
  if (index < 0) return Unknown(component);
  const std::string name = plugins.dll(index);
  const AdminResult done = AdminResult::Done("The about box of " + name + " was asked for.");
  const AdminResult failed = AdminResult::Refused("pluginFailed", name + " did not answer.");

  if (IsEncryption(plugins.PluginType(index))) {
    // As the settings dialog does: a fresh instance, initialised first.
    std::unique_ptr<LoadedPlugin> fresh = plugins.Create(index);
    const bool shown = fresh && fresh->InitialiseEncryption(plugins.ProgramDirectory(), SystemDefaultLocaleId(),
                                                           ServerSettings.General.AlwaysOnTop) &&
                       fresh->ShowAbout();
    return shown ? done : failed;
  }
  if (server_.RunningPlugins().Find(plugins.PluginIdent(index)) != nullptr) {
    return server_.RunningPlugins().Call(plugins.PluginIdent(index), "ShowAbout", "", "").has_value() ? done : failed;
  }
  // Not running: an instance of its own, started and ended as the settings dialog's are.
  AboutBoxCallback callback;  // declared first: it outlives the instance
  std::unique_ptr<LoadedPlugin> fresh = plugins.Create(index);
  if (!fresh || !fresh->HasGeneralInterface()) return failed;
  fresh->Initialise(callback, SystemDefaultLocaleId(), plugins.ProgramDirectory(), "settingsserver",
                    ServerSettings.General.AlwaysOnTop);
  std::string first, second;
  const bool shown = fresh->Command("ShowAbout", first, second).has_value();
  fresh->Terminate(callback, "settingsserver");
  return shown ? done : failed;
}

AdminResult PluginAdmin::ShowConfiguration(const std::string& component) {
  const clsPlugins& plugins = server_.InstalledPlugins();
  const long index = plugins.GetIndex(component);
  if (index < 0) return Unknown(component);
  const std::string name = plugins.dll(index);
  if (!IsEncryption(plugins.PluginType(index))) {
    return AdminResult::Refused("pluginHasNoDialog", name + " keeps its settings on a page of the desktop window's settings.");
  }
  std::unique_ptr<LoadedPlugin> fresh = plugins.Create(index);
  const bool shown = fresh && fresh->InitialiseEncryption(plugins.ProgramDirectory(), SystemDefaultLocaleId(),
                                                         ServerSettings.General.AlwaysOnTop) &&
                     fresh->ShowConfiguration();
  if (!shown) return AdminResult::Refused("pluginFailed", name + " did not answer.");
  return AdminResult::Done("The configuration dialog of " + name + " was asked for.");
}

AdminResult PluginAdmin::Unknown(const std::string& component) const {
  return AdminResult::Refused("pluginUnknown",
                              "No plugin named \"" + component.substr(0, kMaxEchoedName) + "\" is installed.");
}

}  // namespace velmorin
