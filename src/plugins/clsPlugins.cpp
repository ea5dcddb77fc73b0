#include "plugins/clsPlugins.hpp"

#include <condition_variable>
#include <filesystem>
#include <mutex>
#include <optional>
#include <system_error>
#include <thread>

#include "codec/ProfileFile.hpp"
#include "platform/Text.hpp"
#include "codec/modINI.hpp"
#include "platform/ProgramPaths.hpp"

namespace velmorin {
namespace {

constexpr std::string_view kLibrarySuffix = ".so";

std::string WithSlash(std::string directory) {
  if (directory.empty() || directory.back() != '/') directory += '/';
  return directory;
}

// The plugin libraries of a directory in the order the file system lists them, hidden files
// included. A name that is only the suffix has no component name and is passed over.
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
  auto version = plugin.pluginversion();
  if (!author || !ident || !name || !internalVersion || !type || !version) return std::nullopt;
  return PluginRecord{*author, component, *ident, *name, *internalVersion, *type, *version};
}

}  // namespace

long RegisterLibrary(const std::string& path, bool doRegister, std::chrono::milliseconds limit) {
  std::shared_ptr<PluginLibrary> library = PluginLibrary::Open(path);
  if (!library) return kRegisterNotLoaded;
  const auto registration = reinterpret_cast<vm_registration_function>(
      library->Symbol(doRegister ? VM_REGISTER_SYMBOL : VM_UNREGISTER_SYMBOL));
  if (registration == nullptr) return kRegisterNoExport;

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
  return kRegisterTimedOut;
}

bool AcceptsInterfaceVersion(const std::string& version) {
  const std::vector<std::string> parts = Split(version, ".");
  const auto number = [&](std::size_t part) -> long {
    return part < parts.size() ? ToLong(parts[part]).value_or(0) : 0;
  };
  return number(0) == 1 && number(1) <= 0;
}

// ---- clsPlugins -----------------------------------------------------------------------------

clsPlugins::clsPlugins(const std::string& programDirectory, std::chrono::milliseconds registrationLimit)
    : programDirectory_(WithSlash(programDirectory)) {
  const std::string pluginDirectory = programDirectory_ + "plugins/";
  for (const std::string& file : LibraryFiles(pluginDirectory)) {
    const std::string path = pluginDirectory + file;
    if (RegisterLibrary(path, true, registrationLimit) != 0) continue;
    const std::unique_ptr<LoadedPlugin> plugin = LoadedPlugin::Create(path);
    if (!plugin) continue;
    const std::optional<std::string> version = plugin->PluginInternalVersion();
    if (!version || !AcceptsInterfaceVersion(*version)) continue;
    if (std::optional<PluginRecord> record = ReadRecord(*plugin, ComponentName(file))) {
      records_.push_back(std::move(*record));
    }
  }
}

const PluginRecord* clsPlugins::Record(long index) const {
  return index >= 0 && index < count() ? &records_[static_cast<std::size_t>(index)] : nullptr;
}

std::string clsPlugins::PluginAuthor(long index) const {
  const PluginRecord* record = Record(index);
  return record ? record->PluginAuthor : std::string();
}
std::string clsPlugins::dll(long index) const {
  const PluginRecord* record = Record(index);
  return record ? record->dll : std::string();
}
std::string clsPlugins::PluginIdent(long index) const {
  const PluginRecord* record = Record(index);
  return record ? record->PluginIdent : std::string();
}
std::string clsPlugins::PluginName(long index) const {
  const PluginRecord* record = Record(index);
  return record ? record->PluginName : std::string();
}
std::string clsPlugins::PluginInternalVersion(long index) const {
  const PluginRecord* record = Record(index);
  return record ? record->PluginInternalVersion : std::string();
}
std::string clsPlugins::PluginType(long index) const {
  const PluginRecord* record = Record(index);
  return record ? record->PluginType : std::string();
}
std::string clsPlugins::pluginversion(long index) const {
  const PluginRecord* record = Record(index);
  return record ? record->pluginversion : std::string();
}

long clsPlugins::GetIndex(const std::string& componentName) const {
  for (long index = count() - 1; index >= 0; --index) {
    if (EqualsNoCase(records_[static_cast<std::size_t>(index)].dll, componentName)) return index;
  }
  return -1;
}

std::unique_ptr<LoadedPlugin> clsPlugins::Create(long index) const {
  const PluginRecord* record = Record(index);
  if (record == nullptr) return nullptr;
  return LoadedPlugin::Create(programDirectory_ + "plugins/" + record->dll + std::string(kLibrarySuffix));
}

// ---- Start, end and unregistration ----------------------------------------------------------

void LoadGeneralPlugins(const clsPlugins& plugins, PluginObjects& objects, ICallback& callback,
                        long localeId, bool alwaysOnTop) {
  for (long index = 0; index < plugins.count(); ++index) {
    const std::string type = plugins.PluginType(index);
    if (type != "general" && type != "generalserver") continue;
    if (!GeneralPluginEnabled(plugins.dll(index))) continue;
    std::unique_ptr<LoadedPlugin> plugin = plugins.Create(index);
    if (!plugin || !plugin->HasGeneralInterface()) continue;
    // A failed initialise is ignored: the plugin still runs and receives its events.
    plugin->Initialise(callback, localeId, plugins.ProgramDirectory(), "server", alwaysOnTop);
    objects.Add(plugins.PluginIdent(index), std::move(plugin));
  }
}

void TerminatePlugins(PluginObjects& objects, ICallback& callback) {
  while (LoadedPlugin* first = objects.First()) {
    first->Terminate(callback, "server");  // a failed Terminate is ignored: released all the same
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
