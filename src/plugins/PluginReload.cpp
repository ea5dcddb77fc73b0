#include "plugins/PluginReload.hpp"

#include <optional>
#include <utility>

#include "platform/Text.hpp"
#include "plugins/PluginCallGuard.hpp"

namespace velmorin {
namespace {

bool IsGeneral(const std::string& type) { return type == "general" || type == "generalserver"; }

// Step 2: the old plugin's registrations dropped, then Terminate, then the object released.
void EndRunning(PluginReloadParts& parts, const std::string& ident) {
  LoadedPlugin* running = parts.objects.Find(ident);
  if (running == nullptr) return;
  parts.forget(ident);
  {
    const PluginCallGuard guard(ident, "Terminate");
    running->Terminate(parts.callback, "server");
  }
  parts.objects.Remove(running);
  parts.forget(ident);  // anything it registered again during Terminate
}

}  // namespace

PluginReloadOutcome ReloadGeneralPlugin(PluginReloadParts& parts, const std::string& component) {
  PluginRegistry& plugins = parts.plugins;
  const long oldIndex = plugins.GetIndex(component);
  const std::string oldIdent = plugins.PluginIdent(oldIndex);

  PluginReloadOutcome outcome;
  std::optional<PluginRecord> record;
  outcome.note = plugins.Examine(PluginRegistry::FileName(component), parts.registrationLimit, &record);
  if (record && !IsGeneral(record->PluginType)) {
    outcome.note.outcome = PluginOutcome::Skipped;
    outcome.note.reason = "the new file is of type \"" + record->PluginType + "\", not a general plugin";
    record.reset();
  }
  if (record && !EqualsNoCase(record->PluginIdent, oldIdent) && parts.objects.Find(record->PluginIdent) != nullptr) {
    outcome.note.outcome = PluginOutcome::Skipped;
    outcome.note.reason = "another running plugin has the PluginIdent " + record->PluginIdent;
    record.reset();
  }
  plugins.Remember(outcome.note);
  if (!record) return outcome;  // refused: the old plugin runs on untouched

  EndRunning(parts, oldIdent);
  const long index = plugins.Keep(std::move(*record));
  outcome.replaced = true;
  outcome.note = StartGeneralPlugin(plugins, index, parts.objects, parts.callback, parts.localeId, parts.alwaysOnTop);
  plugins.Remember(outcome.note);
  return outcome;
}

}  // namespace velmorin
