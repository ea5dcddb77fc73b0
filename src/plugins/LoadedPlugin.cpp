#include "plugins/LoadedPlugin.hpp"

#include <algorithm>
#include <cstddef>
#include <cstring>

namespace velmorin {
namespace {

vm_bytes Bytes(const std::string& text) { return vm_bytes{text.data(), text.size()}; }

// A plugin may hand over a null pointer with a length; that is read as the empty text.
std::string Text(vm_bytes bytes) {
  return bytes.data != nullptr ? std::string(bytes.data, bytes.length) : std::string();
}

// Sink into a std::string: the last call wins.
void StoreText(void* context, const char* bytes, size_t length) {
  *static_cast<std::string*>(context) = Text(vm_bytes{bytes, length});
}

// Sink into a std::optional<std::string>, so that "set to empty" differs from "not set"
// (a parameter left alone, an event left unanswered).
void StoreChange(void* context, const char* bytes, size_t length) {
  static_cast<std::optional<std::string>*>(context)->emplace(Text(vm_bytes{bytes, length}));
}

// ICallback.command as the plugins call it. An exception from the server side must not unwind
// through the plugin's frames: it becomes a failed call.
vm_status HostCommand(void* context, vm_bytes sender, vm_bytes word, vm_bytes first, vm_bytes second,
                      vm_sink sink, void* sinkContext) {
  if (context == nullptr) return VM_FAILED;
  try {
    const std::string answer =
        static_cast<ICallback*>(context)->command(Text(sender), Text(word), Text(first), Text(second));
    if (sink != nullptr) sink(sinkContext, answer.data(), answer.size());
    return VM_OK;
  } catch (...) {
    return VM_FAILED;
  }
}

template <class Function>
Function SymbolAs(const PluginLibrary& library, const char* name) {
  return reinterpret_cast<Function>(library.Symbol(name));
}

}  // namespace

std::unique_ptr<LoadedPlugin> LoadedPlugin::Create(const std::string& path, std::string* whyNot) {
  const auto fail = [whyNot](std::string why) -> std::unique_ptr<LoadedPlugin> {
    if (whyNot != nullptr) *whyNot = std::move(why);
    return nullptr;
  };
  std::shared_ptr<PluginLibrary> library = PluginLibrary::Open(path, whyNot);
  if (!library) return nullptr;
  const auto entry = SymbolAs<vm_entry_function>(*library, VM_PLUGIN_ENTRY_SYMBOL);
  if (entry == nullptr) return fail("the export " + std::string(VM_PLUGIN_ENTRY_SYMBOL) + " is missing");
  const vm_plugin_api* table = entry();
  if (table == nullptr) return fail(std::string(VM_PLUGIN_ENTRY_SYMBOL) + " gave no function table");
  if (table->abi_version != VM_PLUGIN_ABI_VERSION) {
    return fail("built for ABI version " + std::to_string(table->abi_version) + ", the server takes " +
                std::to_string(VM_PLUGIN_ABI_VERSION));
  }
  if (table->size < offsetof(vm_plugin_api, PluginAuthor)) return fail("its function table is too short");

  // A table built against an older header is shorter: the members it lacks stay null.
  vm_plugin_api api{};
  std::memcpy(&api, table, std::min<std::size_t>(table->size, sizeof api));
  if (api.create == nullptr || api.destroy == nullptr) return fail("its table lacks create or destroy");
  vm_plugin* object = api.create();
  if (object == nullptr) return fail("create gave no object");
  return std::unique_ptr<LoadedPlugin>(new LoadedPlugin(std::move(library), api, object));
}

LoadedPlugin::LoadedPlugin(std::shared_ptr<PluginLibrary> library, const vm_plugin_api& api, vm_plugin* object)
    : library_(std::move(library)), api_(api), object_(object) {}

LoadedPlugin::~LoadedPlugin() { api_.destroy(object_); }

std::optional<std::string> LoadedPlugin::ReadText(TextMember member) {
  if (member == nullptr) return std::nullopt;
  std::string text;
  if (member(object_, &StoreText, &text) != VM_OK) return std::nullopt;
  return text;
}

std::optional<std::string> LoadedPlugin::PluginAuthor() { return ReadText(api_.PluginAuthor); }
std::optional<std::string> LoadedPlugin::PluginIdent() { return ReadText(api_.PluginIdent); }
std::optional<std::string> LoadedPlugin::PluginInternalVersion() { return ReadText(api_.PluginInternalVersion); }
std::optional<std::string> LoadedPlugin::PluginName() { return ReadText(api_.PluginName); }
std::optional<std::string> LoadedPlugin::PluginType() { return ReadText(api_.PluginType); }
std::optional<std::string> LoadedPlugin::PluginVersion() { return ReadText(api_.pluginversion); }

void LoadedPlugin::BindHost(ICallback& callback) {
  host_.size = sizeof host_;
  host_.context = &callback;
  host_.command = &HostCommand;
}

bool LoadedPlugin::HasGeneralInterface() const { return api_.initialise != nullptr; }

bool LoadedPlugin::Initialise(ICallback& callback, long localeId, const std::string& programDirectory,
                              const std::string& hostWord, bool alwaysOnTop) {
  if (api_.initialise == nullptr) return false;
  BindHost(callback);
  return api_.initialise(object_, &host_, static_cast<std::int32_t>(localeId), Bytes(programDirectory),
                         Bytes(hostWord), alwaysOnTop ? 1 : 0) == VM_OK;
}

std::optional<std::string> LoadedPlugin::Command(const std::string& word, std::string& first,
                                                 std::string& second, bool* answered) {
  if (answered != nullptr) *answered = false;
  if (api_.command == nullptr) return std::nullopt;
  // The plugin's changes are collected apart from the caller's texts, which it still reads.
  std::optional<std::string> newFirst;
  std::optional<std::string> newSecond;
  const vm_param firstParam{Bytes(first), &StoreChange, &newFirst};
  const vm_param secondParam{Bytes(second), &StoreChange, &newSecond};
  std::optional<std::string> answer;  // stays empty when the plugin gives no answer
  if (api_.command(object_, Bytes(word), &firstParam, &secondParam, &StoreChange, &answer) != VM_OK) {
    return std::nullopt;
  }
  if (newFirst) first = std::move(*newFirst);
  if (newSecond) second = std::move(*newSecond);
  if (answered != nullptr) *answered = answer.has_value();
  return std::move(answer).value_or(std::string());
}

bool LoadedPlugin::Terminate(ICallback& callback, const std::string& hostWord) {
  if (api_.Terminate == nullptr) return false;
  BindHost(callback);
  return api_.Terminate(object_, &host_, Bytes(hostWord)) == VM_OK;
}

bool LoadedPlugin::InitialiseEncryption(const std::string& programDirectory, long localeId, bool alwaysOnTop) {
  return api_.encryption_initialise != nullptr &&
         api_.encryption_initialise(object_, Bytes(programDirectory), static_cast<std::int32_t>(localeId),
                                    alwaysOnTop ? 1 : 0) == VM_OK;
}

std::optional<std::string> LoadedPlugin::Transform(TransformMember member, long connection, const std::string& text) {
  if (member == nullptr) return std::nullopt;
  std::string result;
  if (member(object_, static_cast<std::int32_t>(connection), Bytes(text), &StoreText, &result) != VM_OK) {
    return std::nullopt;
  }
  return result;
}

std::optional<std::string> LoadedPlugin::Encrypt(long connection, const std::string& text) {
  return Transform(api_.encrypt, connection, text);
}

std::optional<std::string> LoadedPlugin::Decrypt(long connection, const std::string& text) {
  return Transform(api_.decrypt, connection, text);
}

bool LoadedPlugin::ShowAbout() { return api_.show_about != nullptr && api_.show_about(object_) == VM_OK; }

bool LoadedPlugin::ShowConfiguration() {
  return api_.show_configuration != nullptr && api_.show_configuration(object_) == VM_OK;
}

std::optional<std::string> LoadedPlugin::Identity() { return ReadText(api_.identity); }

std::optional<std::string> LoadedPlugin::GetKey(long connection) {
  if (api_.get_key == nullptr) return std::nullopt;
  std::string key;
  if (api_.get_key(object_, static_cast<std::int32_t>(connection), &StoreText, &key) != VM_OK) return std::nullopt;
  return key;
}

bool LoadedPlugin::SetKey(long connection, const std::string& key) {
  return api_.set_key != nullptr &&
         api_.set_key(object_, static_cast<std::int32_t>(connection), Bytes(key)) == VM_OK;
}

bool LoadedPlugin::Reset(long connection) {
  return api_.reset != nullptr && api_.reset(object_, static_cast<std::int32_t>(connection)) == VM_OK;
}

}  // namespace velmorin
