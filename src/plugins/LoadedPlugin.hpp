#pragma once
// One plugin object behind C++ calls: texts in and out as std::string, a failed call
// (error status, missing member) as nothing/false.
//
// Plugins are untrusted code in the same process: every call may fail, and may call back into
// the server (ICallback) before it returns.

#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include <velmorin/plugin.h>

#include "plugins/ICallback.hpp"
#include "plugins/PluginLibrary.hpp"

namespace velmorin {

class LoadedPlugin {
 public:
  // Loads the library at path, checks its ABI and creates one object; nothing when any of
  // that fails (`whyNot`, when given, then says why, for the log). The library is loaded from
  // a private copy (PluginLibrary) and stays loaded while the object lives.
  static std::unique_ptr<LoadedPlugin> Create(const std::string& path, std::string* whyNot = nullptr);
  ~LoadedPlugin();
  LoadedPlugin(const LoadedPlugin&) = delete;
  LoadedPlugin& operator=(const LoadedPlugin&) = delete;

  // Information members.
  std::optional<std::string> PluginAuthor();
  std::optional<std::string> PluginIdent();
  std::optional<std::string> PluginInternalVersion();
  std::optional<std::string> PluginName();
  std::optional<std::string> PluginType();
  std::optional<std::string> PluginVersion();

  // General members. The callback must outlive the object (or the next Terminate).
  bool HasGeneralInterface() const;
  bool Initialise(ICallback& callback, long localeId, const std::string& programDirectory,
                  const std::string& hostWord, bool alwaysOnTop);
  // The plugin may change first and second; on failure both stay as they were. Nothing when the
  // call failed. A plugin may also return without answering (it never called the answer sink):
  // then the result is the empty text and *answered (when given) is false.
  std::optional<std::string> Command(const std::string& word, std::string& first, std::string& second,
                                     bool* answered = nullptr);
  bool Terminate(ICallback& callback, const std::string& hostWord);

  // Encryption members.
  bool InitialiseEncryption(const std::string& programDirectory, long localeId, bool alwaysOnTop);
  std::optional<std::string> Encrypt(long connection, const std::string& text);
  std::optional<std::string> Decrypt(long connection, const std::string& text);
  bool ShowAbout();
  bool ShowConfiguration();
  std::optional<std::string> Identity();
  std::optional<std::string> GetKey(long connection);
  bool SetKey(long connection, const std::string& key);
  bool Reset(long connection);

 private:
  LoadedPlugin(std::shared_ptr<PluginLibrary> library, const vm_plugin_api& api, vm_plugin* object);
  using TextMember = vm_status (*)(vm_plugin*, vm_sink, void*);
  using TransformMember = vm_status (*)(vm_plugin*, std::int32_t, vm_bytes, vm_sink, void*);
  std::optional<std::string> ReadText(TextMember member);
  std::optional<std::string> Transform(TransformMember member, long connection, const std::string& text);
  void BindHost(ICallback& callback);

  std::shared_ptr<PluginLibrary> library_;
  vm_plugin_api api_;  // a copy, with members the plugin's table lacks set to null
  vm_plugin* object_;
  vm_host host_{};     // handed to the plugin; its context is the current ICallback
};

}  // namespace velmorin
