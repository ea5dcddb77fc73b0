#include "plugins/PluginRegistry.hpp"

#include <algorithm>
#include <condition_variable>
#include <filesystem>
#include <mutex>
#include <optional>
#include <system_error>
#include <thread>

#include "codec/IniValues.hpp"
#include "codec/ProfileFile.hpp"
#include "platform/ProgramPaths.hpp"
#include "platform/Text.hpp"
#include "plugins/PluginCallGuard.hpp"
#include "plugins/PluginLibrary.hpp"

namespace velmorin {
namespace {

constexpr std::string_view kLibrarySuffix = ".so";

std::string WithSlash(std::string directory) {
  if (directory.empty() || directory.back() != '/') directory += '/';
  return directory;
}

// The plugin libraries of a directory sorted by file name (byte order), hidden files included:
// the order plugins are loaded, and so the order they subscribe and their handlers are chained,
// does not depend on the file system. A name that is only the suffix has no component name and
// is passed over.
std::vector<std::string> LibraryFiles(const std::string& pluginDirectory) {
  std::vector<std::string> names;
  std::error_code error;
  for (std::filesystem::directory_iterator entry(pluginDirectory, error), end; !error && entry != end;
       entry.increment(error)) {
    const std::string name = entry->path().filename().string();
    std::error_code typeError;
    if (name.size() > kLibrarySuffix.size() && name.ends_with(kLibrarySuffix) &&
        entry->is_regular_file(typeError)) {
      names.push_back(name);
    }
  }
  std::sort(names.begin(), names.end());
  return names;
}

std::string ComponentName(const std::string& fileName) {
  return fileName.substr(0, fileName.size() - kLibrarySuffix.size());
}

// All six information members, or nothing when any of them fails.
std::optional<PluginRecord> ReadRecord(LoadedPlugin& plugin, const std::string& component) {
  auto author = plugin.PluginAuthor();
  auto ident = plugin.PluginIdent();
  auto name = plugin.PluginName();
  auto internalVersion = plugin.PluginInternalVersion();
  auto type = plugin.PluginType();
  auto version = plugin.PluginVersion();
  if (!author || !ident || !name || !internalVersion || !type || !version) return std::nullopt;
  return PluginRecord{*author, component, *ident, *name, *internalVersion, *type, *version};
}

}  // namespace

long RegisterLibrary(const std::string& path, bool doRegister, std::chrono::milliseconds limit,
                     std::string* whyNot) {
  std::shared_ptr<PluginLibrary> library = PluginLibrary::Open(path, whyNot);
  if (!library) return kRegisterNotLoaded;
  const char* exportName = doRegister ? VM_REGISTER_SYMBOL : VM_UNREGISTER_SYMBOL;
  const auto registration = reinterpret_cast<vm_registration_function>(library->Symbol(exportName));
  if (registration == nullptr) {
    if (whyNot != nullptr) *whyNot = "the export " + std::string(exportName) + " is missing";
    return kRegisterNoExport;
  }

  struct Completion {
    std::mutex mutex;
    std::condition_variable ended;
    bool done = false;
  };
  auto completion = std::make_shared<Completion>();
  std::thread worker;
  try {
    // The thread owns a share of the library: one that outlives the wait keeps it loaded.
    worker = std::thread([library, registration, completion] {
      registration();  // its status is informative only
      const std::lock_guard lock(completion->mutex);
      completion->done = true;
      completion->ended.notify_all();
    });
  } catch (const std::system_error&) {
    if (whyNot != nullptr) *whyNot = "no thread could be started for " + std::string(exportName);
    return kRegisterNoThread;
  }
  bool inTime = false;
  {
    std::unique_lock lock(completion->mutex);
    inTime = completion->ended.wait_for(lock, limit, [&] { return completion->done; });
  }
  if (inTime) {
    worker.join();
    return 0;
  }
  worker.detach();
  if (whyNot != nullptr) {
    *whyNot = std::string(exportName) + " did not end within " + std::to_string(limit.count()) + " ms";
  }
  return kRegisterTimedOut;
}

bool AcceptsInterfaceVersion(const std::string& version) {
  const std::vector<std::string> parts = Split(version, ".");
  const auto number = [&](std::size_t part) -> long {
    return part < parts.size() ? ToLong(parts[part]).value_or(0) : 0;
  };
  return number(0) == 1 && number(1) <= 0;
}

// ---- PluginRegistry -----------------------------------------------------------------------------

PluginRegistry::PluginRegistry(const std::string& programDirectory, std::chrono::milliseconds registrationLimit)
    : programDirectory_(WithSlash(programDirectory)) {
  RemoveStaleCopies(programDirectory_);
  for (const std::string& file : LibraryFiles(programDirectory_ + "plugins/")) {
    PluginLoadNote note = Examine(file, registrationLimit);
    notes_.push_back(std::move(note));
  }
}

PluginLoadNote PluginRegistry::Examine(const std::string& file, std::chrono::milliseconds registrationLimit,
                                   std::optional<PluginRecord>* accepted) {
  const std::string component = ComponentName(file);
  PluginLoadNote note{file, component, PluginOutcome::Skipped, ""};
  const std::string path = programDirectory_ + "plugins/" + file;
  if (RegisterLibrary(path, true, registrationLimit, &note.reason) != 0) return note;
  const std::unique_ptr<LoadedPlugin> plugin = LoadedPlugin::Create(path, &note.reason);
  if (!plugin) return note;
  std::optional<PluginRecord> record;
  {
    const PluginCallGuard guard(file, "the information members");
    const std::optional<std::string> version = plugin->PluginInternalVersion();
    if (!version) {
      note.reason = "PluginInternalVersion failed";
      return note;
    }
    if (!AcceptsInterfaceVersion(*version)) {
      note.reason = "interface version \"" + version->substr(0, kMaxShownVersion) + "\"; the server takes 1.0";
      return note;
    }
    record = ReadRecord(*plugin, component);
  }
  if (!record) {
    note.reason = "an information member failed";
    return note;
  }
  note.outcome = PluginOutcome::Listed;
  note.reason = record->PluginIdent + " " + record->pluginversion + ", type " + record->PluginType;
  if (accepted != nullptr) {
    *accepted = std::move(record);
  } else {
    Keep(std::move(*record));
  }
  return note;
}

long PluginRegistry::Keep(PluginRecord record) {
  // The same file exactly: "Echo.so" and "ECHO.so" are two plugins.
  long index = Count() - 1;
  while (index >= 0 && records_[static_cast<std::size_t>(index)].dll != record.dll) --index;
  if (index >= 0) {
    records_[static_cast<std::size_t>(index)] = std::move(record);
  } else {
    records_.push_back(std::move(record));
    index = Count() - 1;
  }
  return index;
}

void PluginRegistry::Remember(PluginLoadNote note) {
  if (notes_.size() >= kMaxLoadNotes) notes_.erase(notes_.begin());
  notes_.push_back(std::move(note));
}

const PluginLoadNote* PluginRegistry::LastNote(const std::string& component) const {
  for (auto note = notes_.rbegin(); note != notes_.rend(); ++note) {
    if (EqualsNoCase(note->component, component)) return &*note;
  }
  return nullptr;
}

std::vector<std::string> PluginRegistry::FailedFiles() const {
  std::vector<std::string> components;
  for (const PluginLoadNote& note : notes_) {
    if (note.outcome != PluginOutcome::Skipped || GetIndex(note.component) >= 0) continue;
    if (std::find(components.begin(), components.end(), note.component) == components.end()) {
      components.push_back(note.component);
    }
  }
  return components;
}

const PluginRecord* PluginRegistry::Record(long index) const {
  return index >= 0 && index < Count() ? &records_[static_cast<std::size_t>(index)] : nullptr;
}

std::string PluginRegistry::PluginAuthor(long index) const {
  const PluginRecord* record = Record(index);
  return record ? record->PluginAuthor : std::string();
}
std::string PluginRegistry::Component(long index) const {
  const PluginRecord* record = Record(index);
  return record ? record->dll : std::string();
}
std::string PluginRegistry::PluginIdent(long index) const {
  const PluginRecord* record = Record(index);
  return record ? record->PluginIdent : std::string();
}
std::string PluginRegistry::PluginName(long index) const {
  const PluginRecord* record = Record(index);
  return record ? record->PluginName : std::string();
}
std::string PluginRegistry::PluginInternalVersion(long index) const {
  const PluginRecord* record = Record(index);
  return record ? record->PluginInternalVersion : std::string();
}
std::string PluginRegistry::PluginType(long index) const {
  const PluginRecord* record = Record(index);
  return record ? record->PluginType : std::string();
}
std::string PluginRegistry::PluginVersion(long index) const {
  const PluginRecord* record = Record(index);
  return record ? record->pluginversion : std::string();
}

long PluginRegistry::GetIndex(const std::string& componentName) const {
  for (long index = Count() - 1; index >= 0; --index) {
    if (EqualsNoCase(records_[static_cast<std::size_t>(index)].dll, componentName)) return index;
  }
  return -1;
}

std::string PluginRegistry::FileName(const std::string& component) { return component + std::string(kLibrarySuffix); }

std::unique_ptr<LoadedPlugin> PluginRegistry::Create(long index, std::string* whyNot) const {
  const PluginRecord* record = Record(index);
  if (record == nullptr) return nullptr;
  return LoadedPlugin::Create(programDirectory_ + "plugins/" + FileName(record->dll), whyNot);
}

// ---- Start, end and unregistration ----------------------------------------------------------

std::vector<PluginLoadNote> LoadGeneralPlugins(const PluginRegistry& plugins, PluginObjects& objects, ICallback& callback,
                                               long localeId, bool alwaysOnTop) {
  std::vector<PluginLoadNote> notes;
  for (long index = 0; index < plugins.Count(); ++index) {
    const std::string type = plugins.PluginType(index);
    if (type != "general" && type != "generalserver") continue;
    if (!GeneralPluginEnabled(plugins.Component(index))) {
      notes.push_back({PluginRegistry::FileName(plugins.Component(index)), plugins.Component(index), PluginOutcome::Disabled, ""});
      continue;
    }
    notes.push_back(StartGeneralPlugin(plugins, index, objects, callback, localeId, alwaysOnTop));
  }
  return notes;
}

PluginLoadNote StartGeneralPlugin(const PluginRegistry& plugins, long index, PluginObjects& objects, ICallback& callback,
                                  long localeId, bool alwaysOnTop, const std::string& hostWord) {
  const std::string component = plugins.Component(index);
  PluginLoadNote note{PluginRegistry::FileName(component), component, PluginOutcome::NotStarted, ""};
  std::unique_ptr<LoadedPlugin> plugin = plugins.Create(index, &note.reason);
  if (!plugin) return note;
  if (!plugin->HasGeneralInterface()) {
    note.reason = "it has no initialise member";
    return note;
  }
  const std::string ident = plugins.PluginIdent(index);
  bool initialised = false;
  {
    const PluginCallGuard guard(ident, "initialise");
    // A failed initialise is ignored: the plugin still runs and receives its events.
    initialised = plugin->Initialise(callback, localeId, plugins.ProgramDirectory(), hostWord, alwaysOnTop);
  }
  if (!objects.Add(ident, std::move(plugin))) {
    note.reason = "another running plugin has the PluginIdent " + ident;
    return note;
  }
  note.outcome = initialised ? PluginOutcome::Started : PluginOutcome::InitialiseFailed;
  note.reason = initialised ? ident + " " + plugins.PluginVersion(index) : std::string();
  return note;
}

void TerminatePlugins(PluginObjects& objects, ICallback& callback, const std::string& hostWord) {
  while (LoadedPlugin* first = objects.First()) {
    {
      const std::string ident = objects.Snapshot().front().first;
      const PluginCallGuard guard(ident, "Terminate");
      first->Terminate(callback, hostWord);  // a failed Terminate is ignored: released all the same
    }
    objects.Remove(first);
  }
}

void UnregisterPlugins(const std::string& programDirectory, std::chrono::milliseconds limit) {
  const std::string pluginDirectory = WithSlash(programDirectory) + "plugins/";
  for (const std::string& file : LibraryFiles(pluginDirectory)) {
    RegisterLibrary(pluginDirectory + file, false, limit);
  }
}

bool GeneralPluginEnabled(const std::string& component) {
  // Only a value that converts to false disables: a value that does not convert loads.
  const std::optional<bool> enabled = ToBool(ReadIniValue("Plugins", component, "1", Paths().settingsFile));
  return enabled.value_or(true);
}

long WritePluginsSection(const std::vector<std::pair<std::string, bool>>& enabledByComponent) {
  const std::string& file = Paths().settingsFile;
  profile::ProfileBatch batch;  // one write: the section is never seen half rewritten
  WriteIniValue("Plugins", std::nullopt, std::nullopt, file);
  for (const auto& [component, enabled] : enabledByComponent) {
    WriteIniValue("Plugins", component, BoolText(enabled), file);
  }
  return batch.Commit();
}

}  // namespace velmorin
