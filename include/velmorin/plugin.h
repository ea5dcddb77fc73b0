/* Velmorin Server plugin ABI, usable from C and C++.
 *
 * Contents
 *   1. Basic types: status codes, byte strings, sinks, in/out parameters
 *   2. The host: ICallback.command, handed to a plugin at initialise
 *   3. The plugin's function table vm_plugin_api
 *        information members, general members, encryption members
 *   4. The exports every plugin library has
 *   5. Helpers for C plugins: byte strings, fields, answers, calling the host
 *
 * A plugin is a shared library plugins/<component>.so. The host finds one exported function,
 * velmorin_plugin_entry, which returns the plugin's function table; each call of the table's
 * `create` makes one plugin object (the plugin's main object). Every call happens on the server's
 * single thread, except the registration exports, which run on a thread of their own.
 *
 * Memory never crosses the boundary in either direction: byte strings come in as pointer +
 * length and are valid only during the call; texts go out through a sink the caller supplies,
 * which copies them at once. Texts are bytes (one byte per character, NUL is an ordinary byte).
 *
 * An event's answer: a `command` that returns VM_OK without calling its answer sink gives no
 * answer, and a chained event's text then passes on unchanged. Calling the sink with the empty
 * text is an answer, the empty one, which drops a message or refuses a login. (Servers before
 * this rule read a missing answer as the empty one; the ABI number did not change, because the
 * layout and every call stay the same.)
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
 * more than once in one call, the last text wins. A sink never called leaves an in/out parameter
 * unchanged, gives no answer to `command` (see there), and leaves any other result empty. */
typedef void (*vm_sink)(void* sink_context, const char* bytes, size_t length);

/* An in/out parameter: its value as passed in, and the sink that gives the caller a new value.
 * `value` keeps pointing at the old text after `set` was called. */
typedef struct vm_param {
  vm_bytes value;
  vm_sink set;
  void* set_context;
} vm_param;

/* One plugin object; its layout is the plugin's own business. */
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
  /* The interface the plugin implements: write "1.0" (the exact rule is in docs/plugins.md,
   * "Interface version"). */
  vm_status (*PluginInternalVersion)(vm_plugin* self, vm_sink sink, void* sink_context);
  vm_status (*PluginName)(vm_plugin* self, vm_sink sink, void* sink_context);
  /* "general", "generalserver" or "encryption"; other words are listed but never loaded. */
  vm_status (*PluginType)(vm_plugin* self, vm_sink sink, void* sink_context);
  /* The plugin's own release, shown to the administrator. */
  vm_status (*pluginversion)(vm_plugin* self, vm_sink sink, void* sink_context);

  /* General members ("general" and "generalserver" plugins). */
  /* First call after create. host: ICallback, kept until Terminate. locale_id: the system's
   * locale identifier (1033 en-US, 1031 de-DE, ...). program_directory ends in "/". host_word:
   * "server" (the running server) or "settingsserver" (an instance made for the administrator,
   * such as for "ShowAbout", terminated right after). always_on_top: the administrator's
   * AlwaysOnTop setting, 1 or 0, for a plugin that opens windows of its own. */
  vm_status (*initialise)(vm_plugin* self, const vm_host* host, int32_t locale_id,
                          vm_bytes program_directory, vm_bytes host_word, int always_on_top);
  /* An event or notification: its word and two parameters, both in/out. The answer, if the
   * event takes one, goes to the sink. Not calling the sink is no answer: a chained event
   * ("NewMessage", "QueryChatname", "QueryChatroom", "WelcomeMessage") passes its text on
   * unchanged and a flag event counts the plugin as absent. Calling it with length 0 is the
   * empty answer: the message is dropped, the login refused, and so on. */
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
  /* Shows the plugin's about text (velmorin-ctl plugins about). */
  vm_status (*show_about)(vm_plugin* self);
  /* Shows the plugin's configuration dialog (velmorin-ctl plugins configure). */
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
/* Run for every library when the server is started with the switch "/unregister". */
VM_EXPORT vm_status DllUnregisterServer(void);

#define VM_PLUGIN_ENTRY_SYMBOL "velmorin_plugin_entry"
#define VM_REGISTER_SYMBOL "DllRegisterServer"
#define VM_UNREGISTER_SYMBOL "DllUnregisterServer"
typedef const vm_plugin_api* (*vm_entry_function)(void);
typedef vm_status (*vm_registration_function)(void);

/* ---- 5. Helpers for C plugins --------------------------------------------------------------- */

/* A byte string of `length` bytes at `data`. */
static inline vm_bytes vm_bytes_of(const char* data, size_t length) {
  vm_bytes bytes;
  bytes.data = data;
  bytes.length = length;
  return bytes;
}
/* A NUL-terminated C string as a byte string (NULL gives the empty one). It stops at the first
 * NUL: for a text that holds NUL bytes (the fields of "NewMessage", "CreateChatroom" and the
 * like) use vm_bytes_of with the length, or vm_write_bytes to answer with one. */
static inline vm_bytes vm_text(const char* text) { return vm_bytes_of(text, text ? strlen(text) : 0); }
/* Whether the byte string is exactly the C string `text` (letter case included). */
static inline int vm_is(vm_bytes bytes, const char* text) {
  size_t length = strlen(text);
  return bytes.length == length && (length == 0 || memcmp(bytes.data, text, length) == 0);
}

/* Answers through a sink: a C string (stops at its first NUL), or bytes with their length. */
static inline void vm_write(vm_sink sink, void* sink_context, const char* text) {
  if (sink) sink(sink_context, text, text ? strlen(text) : 0);
}
static inline void vm_write_bytes(vm_sink sink, void* sink_context, vm_bytes bytes) {
  if (sink) sink(sink_context, bytes.data, bytes.length);
}

/* Reading a text whose fields are joined by a separator ('\0' for NUL, '\1' for SOH):
 *   vm_fields fields = vm_fields_of(first->value, '\0');
 *   vm_bytes field;
 *   while (vm_next_field(&fields, &field)) { ... }
 * The empty text has no fields; "a" NUL "" has two, "a" and "". */
typedef struct vm_fields {
  vm_bytes rest;
  char separator;
  int done;
} vm_fields;

static inline vm_fields vm_fields_of(vm_bytes text, char separator) {
  vm_fields fields;
  fields.rest = text;
  fields.separator = separator;
  fields.done = text.length == 0;
  return fields;
}
/* Takes the next field into *field; 0 when there is none left. */
static inline int vm_next_field(vm_fields* fields, vm_bytes* field) {
  const char* end;
  if (fields->done) return 0;
  end = fields->rest.length ? (const char*)memchr(fields->rest.data, fields->separator, fields->rest.length) : NULL;
  if (end == NULL) {
    *field = fields->rest;
    fields->done = 1;
    return 1;
  }
  *field = vm_bytes_of(fields->rest.data, (size_t)(end - fields->rest.data));
  fields->rest = vm_bytes_of(end + 1, fields->rest.length - field->length - 1);
  return 1;
}
/* Field `index` (from 0) of such a text; the empty byte string when it has fewer fields. */
static inline vm_bytes vm_field(vm_bytes text, char separator, size_t index) {
  vm_fields fields = vm_fields_of(text, separator);
  vm_bytes field;
  while (vm_next_field(&fields, &field)) {
    if (index-- == 0) return field;
  }
  return vm_bytes_of(NULL, 0);
}

/* A text collected into memory the plugin owns, with a fixed bound: for the host's answers and
 * for building an answer piece by piece. `data` holds `capacity` bytes; the text is at most
 * capacity - 1 bytes long and always followed by a NUL (it may hold NUL bytes itself, so use
 * `length`). What does not fit is cut off and `truncated` becomes 1. */
typedef struct vm_buffer {
  char* data;
  size_t capacity;
  size_t length;
  int truncated;
  int answered; /* 1 once vm_buffer_sink was called */
} vm_buffer;

static inline void vm_buffer_init(vm_buffer* buffer, char* data, size_t capacity) {
  buffer->data = data;
  buffer->capacity = capacity;
  buffer->length = 0;
  buffer->truncated = 0;
  buffer->answered = 0;
  if (capacity > 0) data[0] = '\0';
}
/* Appends bytes (as much as fits). */
static inline void vm_buffer_append(vm_buffer* buffer, vm_bytes bytes) {
  size_t room = buffer->capacity > buffer->length ? buffer->capacity - buffer->length - 1 : 0;
  size_t taken = bytes.length < room ? bytes.length : room;
  if (buffer->capacity == 0) {
    buffer->truncated = buffer->truncated || bytes.length > 0;
    return;
  }
  if (taken > 0) memcpy(buffer->data + buffer->length, bytes.data, taken);
  buffer->length += taken;
  buffer->data[buffer->length] = '\0';
  if (taken < bytes.length) buffer->truncated = 1;
}
static inline void vm_buffer_append_text(vm_buffer* buffer, const char* text) {
  vm_buffer_append(buffer, vm_text(text));
}
/* A vm_sink whose context is a vm_buffer: replaces its text (the last call wins). */
static inline void vm_buffer_sink(void* sink_context, const char* bytes, size_t length) {
  vm_buffer* buffer = (vm_buffer*)sink_context;
  buffer->length = 0;
  buffer->truncated = 0;
  if (buffer->capacity > 0) buffer->data[0] = '\0';
  vm_buffer_append(buffer, vm_bytes_of(bytes, length));
  buffer->answered = 1;
}
/* The collected text as a byte string. */
static inline vm_bytes vm_buffer_bytes(const vm_buffer* buffer) {
  return vm_bytes_of(buffer->data, buffer->length);
}

/* Runs a server command through the host kept from initialise, as the plugin whose PluginIdent
 * is `sender`. The result goes into `answer` (may be NULL when the result does not matter);
 * VM_FAILED when there is no host or the call failed. Call it only on the thread the server
 * called the plugin on. */
static inline vm_status vm_call(const vm_host* host, const char* sender, const char* word, vm_bytes first,
                                vm_bytes second, vm_buffer* answer) {
  if (answer) vm_buffer_init(answer, answer->data, answer->capacity);
  if (host == NULL || host->size < offsetof(vm_host, command) + sizeof host->command || host->command == NULL) {
    return VM_FAILED;
  }
  return host->command(host->context, vm_text(sender), vm_text(word), first, second,
                       answer ? vm_buffer_sink : NULL, answer);
}

#ifdef __cplusplus
}
#endif

#endif /* VELMORIN_PLUGIN_H */
