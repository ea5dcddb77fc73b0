// Writing a Velmorin Server plugin as a C++ class, on top of the C ABI in plugin.h.
//
// Contents
//   Host             ICallback as the plugin sees it: Command(word, first, second)
//   Plugin           the base class; override what the plugin offers
//   VELMORIN_PLUGIN  exports a class as the plugin of its library (entry and registration)
//   detail::Glue     the C functions behind the table; not for plugin code
//
// An exception escaping an override makes that call fail (VM_FAILED): the server skips the
// plugin for that call and goes on. Nothing else is needed to report a failure.
//
// Command's default is no answer (NoAnswer): a chained event passes its text on unchanged.
// Plugins built with an older copy of this header always answered, "" by default, which drops
// a message; rebuild them to get the new default.
//
//   class Hello : public velmorin::plugin::Plugin { ... };
//   VELMORIN_PLUGIN(Hello)

#pragma once

#include <velmorin/plugin.h>

#include <cstdint>
#include <stdexcept>
#include <string>
#include <utility>

namespace velmorin::plugin {

inline std::string Text(vm_bytes bytes) {
  return bytes.data != nullptr ? std::string(bytes.data, bytes.length) : std::string();
}
inline vm_bytes Bytes(const std::string& text) { return vm_bytes{text.data(), text.size()}; }

// A sink that stores into the std::string given as its context.
inline void StoreInto(void* context, const char* bytes, size_t length) {
  std::string& target = *static_cast<std::string*>(context);
  if (bytes != nullptr) target.assign(bytes, length);
  else target.clear();
}

// ICallback: the server's command interface, calling as this plugin.
class Host {
 public:
  Host() = default;
  Host(const vm_host* host, std::string sender) : host_(host), sender_(std::move(sender)) {}

  bool connected() const { return host_ != nullptr && host_->command != nullptr; }

  // Runs one server command; its answer, or "" when there is no host or the call failed.
  // Only call it on the thread the server called the plugin on.
  std::string Command(const std::string& word, const std::string& first = {},
                      const std::string& second = {}) const {
    std::string answer;
    if (!connected()) return answer;
    if (host_->command(host_->context, Bytes(sender_), Bytes(word), Bytes(first), Bytes(second),
                       &StoreInto, &answer) != VM_OK) {
      answer.clear();
    }
    return answer;
  }

 private:
  const vm_host* host_ = nullptr;
  std::string sender_;  // this plugin's PluginIdent: the server knows callers by it
};

struct Glue;

class Plugin {
 public:
  virtual ~Plugin() = default;

  // Information, read once when the server starts.
  virtual std::string PluginAuthor() const = 0;
  virtual std::string PluginIdent() const = 0;
  virtual std::string PluginInternalVersion() const { return "1.0"; }
  virtual std::string PluginName() const = 0;
  virtual std::string PluginType() const { return "general"; }
  virtual std::string PluginVersion() const { return "1.0.0"; }

  // General plugins. host() is connected before Initialise and stays so until Terminate ends.
  // hostWord is "server" or "settingsserver".
  virtual void Initialise(std::int32_t /*localeId*/, const std::string& /*programDirectory*/,
                          const std::string& /*hostWord*/, bool /*alwaysOnTop*/) {}
  // An event or notification; first and second may be changed, the result is the answer.
  // `return NoAnswer();` gives no answer: a chained event's text then passes on unchanged.
  // Returning "" is an answer, the empty one: it drops a message, refuses a login and so on.
  // Unless overridden, every call goes unanswered; an override can end with
  // `return Plugin::Command(word, first, second);` for the words it leaves alone.
  virtual std::string Command(const std::string& /*word*/, std::string& /*first*/,
                              std::string& /*second*/) {
    return NoAnswer();
  }
  virtual void Terminate(const std::string& /*hostWord*/) {}

  // Encryption plugins. The text members fail unless overridden.
  virtual void InitialiseEncryption(const std::string& /*programDirectory*/, std::int32_t /*localeId*/,
                                    bool /*alwaysOnTop*/) {}
  virtual std::string Encrypt(std::int32_t /*connection*/, const std::string& /*text*/) { return NotOffered(); }
  virtual std::string Decrypt(std::int32_t /*connection*/, const std::string& /*text*/) { return NotOffered(); }
  virtual void ShowAbout() {}
  virtual void ShowConfiguration() {}
  virtual std::string Identity() { return NotOffered(); }
  virtual std::string GetKey(std::int32_t /*connection*/) { return NotOffered(); }
  virtual void SetKey(std::int32_t /*connection*/, const std::string& /*key*/) {}
  virtual void ResetKey(std::int32_t /*connection*/) {}

  // Registration: static, run without an object on a thread of its own. Hide them in the
  // derived class to do work there; the status is informative only.
  static vm_status Register() { return VM_OK; }
  static vm_status Unregister() { return VM_OK; }

 protected:
  const Host& host() const { return host_; }
  // Only as `return NoAnswer();` from Command: marks this call as unanswered.
  std::string NoAnswer() {
    unanswered_ = true;
    return {};
  }

 private:
  friend struct Glue;
  static std::string NotOffered() { throw std::logic_error("member not offered by this plugin"); }

  Host host_;
  bool unanswered_ = false;  // set by NoAnswer during the current Command call
};

// The C side of the table: every function turns exceptions into VM_FAILED.
struct Glue {
  static Plugin* Self(vm_plugin* self) { return reinterpret_cast<Plugin*>(self); }

  template <class Action>
  static vm_status Guard(Action&& action) noexcept {
    try {
      action();
      return VM_OK;
    } catch (...) {
      return VM_FAILED;
    }
  }
  static void Send(vm_sink sink, void* context, const std::string& text) {
    if (sink != nullptr) sink(context, text.data(), text.size());
  }

  template <class Class>
  static vm_plugin* Create() noexcept {
    try {
      Plugin* plugin = new Class();
      return reinterpret_cast<vm_plugin*>(plugin);
    } catch (...) {
      return nullptr;
    }
  }
  static void Destroy(vm_plugin* self) { delete Self(self); }

  template <std::string (Plugin::*Member)() const>
  static vm_status Information(vm_plugin* self, vm_sink sink, void* context) {
    return Guard([&] { Send(sink, context, (Self(self)->*Member)()); });
  }

  static vm_status Initialise(vm_plugin* self, const vm_host* host, std::int32_t localeId,
                              vm_bytes programDirectory, vm_bytes hostWord, int alwaysOnTop) {
    return Guard([&] {
      Plugin* plugin = Self(self);
      plugin->host_ = Host(host, plugin->PluginIdent());
      plugin->Initialise(localeId, Text(programDirectory), Text(hostWord), alwaysOnTop != 0);
    });
  }
  static vm_status Command(vm_plugin* self, vm_bytes word, const vm_param* first,
                           const vm_param* second, vm_sink sink, void* context) {
    return Guard([&] {
      const std::string firstIn = first != nullptr ? Text(first->value) : std::string();
      const std::string secondIn = second != nullptr ? Text(second->value) : std::string();
      std::string firstOut = firstIn;
      std::string secondOut = secondIn;
      // The plugin may be called again (through the host) before Command returns: each call
      // keeps its own mark, and the outer call's is restored afterwards.
      Plugin* plugin = Self(self);
      const bool outer = std::exchange(plugin->unanswered_, false);
      std::string answer;
      try {
        answer = plugin->Command(Text(word), firstOut, secondOut);
      } catch (...) {
        plugin->unanswered_ = outer;
        throw;
      }
      const bool unanswered = std::exchange(plugin->unanswered_, outer);
      if (first != nullptr && firstOut != firstIn) Send(first->set, first->set_context, firstOut);
      if (second != nullptr && secondOut != secondIn) Send(second->set, second->set_context, secondOut);
      if (!unanswered) Send(sink, context, answer);
    });
  }
  static vm_status Terminate(vm_plugin* self, const vm_host* host, vm_bytes hostWord) {
    return Guard([&] {
      Plugin* plugin = Self(self);
      if (host != nullptr) plugin->host_ = Host(host, plugin->PluginIdent());
      plugin->Terminate(Text(hostWord));
    });
  }

  static vm_status InitialiseEncryption(vm_plugin* self, vm_bytes programDirectory,
                                        std::int32_t localeId, int alwaysOnTop) {
    return Guard([&] { Self(self)->InitialiseEncryption(Text(programDirectory), localeId, alwaysOnTop != 0); });
  }
  static vm_status Encrypt(vm_plugin* self, std::int32_t connection, vm_bytes text, vm_sink sink,
                           void* context) {
    return Guard([&] { Send(sink, context, Self(self)->Encrypt(connection, Text(text))); });
  }
  static vm_status Decrypt(vm_plugin* self, std::int32_t connection, vm_bytes text, vm_sink sink,
                           void* context) {
    return Guard([&] { Send(sink, context, Self(self)->Decrypt(connection, Text(text))); });
  }
  static vm_status ShowAbout(vm_plugin* self) { return Guard([&] { Self(self)->ShowAbout(); }); }
  static vm_status ShowConfiguration(vm_plugin* self) {
    return Guard([&] { Self(self)->ShowConfiguration(); });
  }
  static vm_status Identity(vm_plugin* self, vm_sink sink, void* context) {
    return Guard([&] { Send(sink, context, Self(self)->Identity()); });
  }
  static vm_status GetKey(vm_plugin* self, std::int32_t connection, vm_sink sink, void* context) {
    return Guard([&] { Send(sink, context, Self(self)->GetKey(connection)); });
  }
  static vm_status SetKey(vm_plugin* self, std::int32_t connection, vm_bytes key) {
    return Guard([&] { Self(self)->SetKey(connection, Text(key)); });
  }
  static vm_status ResetKey(vm_plugin* self, std::int32_t connection) {
    return Guard([&] { Self(self)->ResetKey(connection); });
  }

  template <class Class>
  static const vm_plugin_api* Table() {
    static const vm_plugin_api table = {
        VM_PLUGIN_ABI_VERSION,
        sizeof(vm_plugin_api),
        &Create<Class>,
        &Destroy,
        &Information<&Plugin::PluginAuthor>,
        &Information<&Plugin::PluginIdent>,
        &Information<&Plugin::PluginInternalVersion>,
        &Information<&Plugin::PluginName>,
        &Information<&Plugin::PluginType>,
        &Information<&Plugin::PluginVersion>,
        &Initialise,
        &Command,
        &Terminate,
        &InitialiseEncryption,
        &Encrypt,
        &Decrypt,
        &ShowAbout,
        &ShowConfiguration,
        &Identity,
        &GetKey,
        &SetKey,
        &ResetKey,
    };
    return &table;
  }

  template <vm_status (*Registration)()>
  static vm_status Register() noexcept {
    try {
      return Registration();
    } catch (...) {
      return VM_FAILED;
    }
  }
};

}  // namespace velmorin::plugin

// Exports Class (derived from velmorin::plugin::Plugin) as this library's plugin. Use once.
#define VELMORIN_PLUGIN(Class)                                                                  \
  extern "C" VM_EXPORT const vm_plugin_api* velmorin_plugin_entry(void) {                        \
    return ::velmorin::plugin::Glue::Table<Class>();                                             \
  }                                                                                              \
  extern "C" VM_EXPORT vm_status DllRegisterServer(void) {                                       \
    return ::velmorin::plugin::Glue::Register<&Class::Register>();                               \
  }                                                                                              \
  extern "C" VM_EXPORT vm_status DllUnregisterServer(void) {                                     \
    return ::velmorin::plugin::Glue::Register<&Class::Unregister>();                             \
  }
