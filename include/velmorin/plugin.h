/* Velmorin Server plugin ABI, usable from C and C++.
 *
 * Contents
 *   1. Basic types: status codes, byte strings, sinks, in/out parameters
 *   2. The host: ICallback.command, handed to a plugin at initialise
 *   3. The plugin's function table vm_plugin_api
 *        information members, general members, encryption members
 *   4. The exports every plugin library has
 *
 * A plugin is a shared library plugins/<component>.so. The host finds one exported function,
 * velmorin_plugin_entry, which returns the plugin's function table; each call of the table's
 * `create` makes one plugin object (the plugin's clsMain). Every call happens on the server's
 * single thread, except the registration exports, which run on a thread of their own.
 *
 * Memory never crosses the boundary in either direction: byte strings come in as pointer +
 * length and are valid only during the call; texts go out through a sink the caller supplies,
 * which copies them at once. Texts are bytes (one byte per character, NUL is an ordinary byte).
 */
#ifndef VELMORIN_PLUGIN_H
#define VELMORIN_PLUGIN_H

#include <stddef.h>
#include <stdint.h>
#include <string.h>

#define VM_EXPORT __attribute__((visibility("default")))

#ifdef __cplusplus
extern "C" {
#endif

/* ---- 1. Basic types ------------------------------------------------------------------------ */

/* The ABI this header describes. A host loads only tables carrying its own number; members may
 * be appended to vm_plugin_api within one ABI version (see `size`), nothing else changes. */
#define VM_PLUGIN_ABI_VERSION 1u

/* 0 is success; anything else is a failed call and the host skips the plugin for that call. */
typedef int32_t vm_status;
#define VM_OK 0
#define VM_FAILED 1

/* A byte string: `length` bytes at `data` (data may be NULL when length is 0). */
typedef struct vm_bytes {
  const char* data;
  size_t length;
} vm_bytes;

/* Receives an output text. The receiver copies the bytes before returning. When a sink is called
 * more than once in one call, the last text wins; a sink never called leaves the text empty (for
 * a result) or unchanged (for an in/out parameter). */
typedef void (*vm_sink)(void* sink_context, const char* bytes, size_t length);

/* An in/out parameter: its value as passed in, and the sink that gives the caller a new value.
 * `value` keeps pointing at the old text after `set` was called. */
typedef struct vm_param {
  vm_bytes value;
  vm_sink set;
  void* set_context;
} vm_param;

/* One plugin object (clsMain); its layout is the plugin's own business. */
typedef struct vm_plugin vm_plugin;

/* ---- 2. The host ------------------------------------------------------------------------------ */

/* The host side of the ABI (ICallback). Valid from initialise until Terminate has returned. */
typedef struct vm_host {
  uint32_t size; /* sizeof(vm_host) as the host was built; members beyond it are absent */
  void* context; /* pass back unchanged as host_context */
  /* ICallback.command: runs one server command (see docs/plugins.md) for the plugin whose
   * PluginIdent is `sender`; the answer goes to the sink. Re-entrant: the server may call into
   * plugins again before it returns. */
  vm_status (*command)(void* host_context, vm_bytes sender, vm_bytes word, vm_bytes first,
                       vm_bytes second, vm_sink sink, void* sink_context);
} vm_host;

/* ---- 3. The plugin's function table ------------------------------------------------------- */

/* A NULL member is a member the plugin lacks: calling it counts as a failed call. */
typedef struct vm_plugin_api {
  uint32_t abi_version; /* VM_PLUGIN_ABI_VERSION the plugin was built with */
  uint32_t size;        /* sizeof(vm_plugin_api) as the plugin was built */

  /* A new plugin object, or NULL when it cannot be created. */
  vm_plugin* (*create)(void);
  /* Releases an object made by create. Called exactly once per object, Terminate or not. */
  void (*destroy)(vm_plugin* self);

  /* Information members, read once at the start-up scan. Each writes its text to the sink. */
  vm_status (*PluginAuthor)(vm_plugin* self, vm_sink sink, void* sink_context);
  /* The plugin's identity in every registry of the server; unique among installed plugins. */
  vm_status (*PluginIdent)(vm_plugin* self, vm_sink sink, void* sink_context);
  /* The interface the plugin implements: major "." minor; the server takes major 1, minor 0. */
  vm_status (*PluginInternalVersion)(vm_plugin* self, vm_sink sink, void* sink_context);
  vm_status (*PluginName)(vm_plugin* self, vm_sink sink, void* sink_context);
  /* "general", "generalserver" or "encryption"; other words are listed but never loaded. */
  vm_status (*PluginType)(vm_plugin* self, vm_sink sink, void* sink_context);
  /* The plugin's own release, shown to the administrator. */
  vm_status (*pluginversion)(vm_plugin* self, vm_sink sink, void* sink_context);

  /* General members ("general" and "generalserver" plugins). */
  /* First call after create. host: ICallback, kept until Terminate. locale_id: the system's
   * locale identifier (1033 en-US, 1031 de-DE, ...). program_directory ends in "/". host_word:
   * "server" (the running server) or "settingsserver" (the settings dialog's own instance).
   * always_on_top: the administrator's AlwaysOnTop setting, 1 or 0, for the plugin's windows. */
  vm_status (*initialise)(vm_plugin* self, const vm_host* host, int32_t locale_id,
                          vm_bytes program_directory, vm_bytes host_word, int always_on_top);
  /* An event or notification: its word and two parameters, both in/out. The answer, if the
   * event takes one, goes to the sink. */
  vm_status (*command)(vm_plugin* self, vm_bytes word, const vm_param* first,
                       const vm_param* second, vm_sink sink, void* sink_context);
  /* Last call before destroy, from the host that initialised the object. */
  vm_status (*Terminate)(vm_plugin* self, const vm_host* host, vm_bytes host_word);

  /* Encryption members ("encryption" plugins), in the order the server knows them.
   * `connection` is the server's connection index; keys and texts are opaque to the server. */
  /* First call after create. */
  vm_status (*encryption_initialise)(vm_plugin* self, vm_bytes program_directory,
                                     int32_t locale_id, int always_on_top);
  /* The text to send for an outgoing packet text. */
  vm_status (*encrypt)(vm_plugin* self, int32_t connection, vm_bytes text, vm_sink sink,
                       void* sink_context);
  /* The clear text of an incoming packet text. */
  vm_status (*decrypt)(vm_plugin* self, int32_t connection, vm_bytes text, vm_sink sink,
                       void* sink_context);
  /* Shows the plugin's about box (settings dialog). */
  vm_status (*show_about)(vm_plugin* self);
  /* Shows the plugin's configuration dialog (settings dialog). */
  vm_status (*show_configuration)(vm_plugin* self);
  /* The name clients choose the plugin by; compared exactly, letter case included. */
  vm_status (*identity)(vm_plugin* self, vm_sink sink, void* sink_context);
  /* The server's key text for the connection, sent to the client. */
  vm_status (*get_key)(vm_plugin* self, int32_t connection, vm_sink sink, void* sink_context);
  /* Stores the key text the client sent for the connection. */
  vm_status (*set_key)(vm_plugin* self, int32_t connection, vm_bytes key);
  /* Forgets the connection's keys; called when the connection is removed. */
  vm_status (*reset)(vm_plugin* self, int32_t connection);
} vm_plugin_api;

/* ---- 4. Exports --------------------------------------------------------------------------- */

/* The plugin's function table; the same table on every call, valid while the library is loaded. */
VM_EXPORT const vm_plugin_api* velmorin_plugin_entry(void);
/* Registration, run once per start of the server before anything else of the library, on a
 * thread of its own and for at most 10 seconds; a library without it is not loaded. The status
 * is informative only. */
VM_EXPORT vm_status DllRegisterServer(void);
/* Run for every library when the server is started with the word "unregister". */
VM_EXPORT vm_status DllUnregisterServer(void);

#define VM_PLUGIN_ENTRY_SYMBOL "velmorin_plugin_entry"
#define VM_REGISTER_SYMBOL "DllRegisterServer"
#define VM_UNREGISTER_SYMBOL "DllUnregisterServer"
typedef const vm_plugin_api* (*vm_entry_function)(void);
typedef vm_status (*vm_registration_function)(void);

/* Small conveniences for C plugins. */
static inline vm_bytes vm_bytes_of(const char* data, size_t length) {
  vm_bytes bytes;
  bytes.data = data;
  bytes.length = length;
  return bytes;
}
static inline vm_bytes vm_text(const char* text) { return vm_bytes_of(text, text ? strlen(text) : 0); }
static inline void vm_write(vm_sink sink, void* sink_context, const char* text) {
  if (sink) sink(sink_context, text, text ? strlen(text) : 0);
}

#ifdef __cplusplus
}
#endif

#endif /* VELMORIN_PLUGIN_H */
