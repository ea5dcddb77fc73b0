/* Test plugin "silent", in C: it subscribes to every event that takes an answer and never
 * answers one (its command returns VM_OK without calling the answer sink). Chained texts must
 * pass it unchanged, and flag events must count it as absent.
 *
 * _GNU_SOURCE comes first on purpose: plugin.h must compile after it, in strict C99. */
#define _GNU_SOURCE

#include <stdlib.h>

#include <velmorin/plugin.h>

struct vm_plugin {
  int unused;
};

static vm_plugin* create(void) { return calloc(1, sizeof(vm_plugin)); }
static void destroy(vm_plugin* self) { free(self); }

static vm_status write_text(vm_sink sink, void* context, const char* text) {
  vm_write(sink, context, text);
  return VM_OK;
}
static vm_status author(vm_plugin* self, vm_sink sink, void* context) {
  (void)self;
  return write_text(sink, context, "Velmorin tests");
}
static vm_status ident(vm_plugin* self, vm_sink sink, void* context) {
  (void)self;
  return write_text(sink, context, "silent-test");
}
static vm_status internal_version(vm_plugin* self, vm_sink sink, void* context) {
  (void)self;
  return write_text(sink, context, "1.0");
}
static vm_status name(vm_plugin* self, vm_sink sink, void* context) {
  (void)self;
  return write_text(sink, context, "Silent");
}
static vm_status type(vm_plugin* self, vm_sink sink, void* context) {
  (void)self;
  return write_text(sink, context, "general");
}
static vm_status version(vm_plugin* self, vm_sink sink, void* context) {
  (void)self;
  return write_text(sink, context, "1.0.0");
}

static vm_status initialise(vm_plugin* self, const vm_host* host, int32_t locale_id, vm_bytes program_directory,
                            vm_bytes host_word, int always_on_top) {
  static const char* const events[] = {"QueryChatname",     "QueryChatroom",    "NewMessage",   "WelcomeMessage",
                                       "AllowJoinChatroom", "QueryAdminStatus", "ServerCommand"};
  size_t i;
  (void)self, (void)locale_id, (void)program_directory, (void)host_word, (void)always_on_top;
  for (i = 0; i < sizeof events / sizeof events[0]; ++i) {
    vm_call(host, "silent-test", "AddEventHandler", vm_text(events[i]), vm_text(""), NULL);
  }
  return VM_OK;
}

static vm_status command(vm_plugin* self, vm_bytes word, const vm_param* first, const vm_param* second,
                         vm_sink sink, void* sink_context) {
  (void)self, (void)word, (void)first, (void)second, (void)sink, (void)sink_context;
  return VM_OK;
}

static const vm_plugin_api table = {
    .abi_version = VM_PLUGIN_ABI_VERSION,
    .size = sizeof(vm_plugin_api),
    .create = create,
    .destroy = destroy,
    .PluginAuthor = author,
    .PluginIdent = ident,
    .PluginInternalVersion = internal_version,
    .PluginName = name,
    .PluginType = type,
    .pluginversion = version,
    .initialise = initialise,
    .command = command,
};

const vm_plugin_api* velmorin_plugin_entry(void) { return &table; }
vm_status DllRegisterServer(void) { return VM_OK; }
vm_status DllUnregisterServer(void) { return VM_OK; }
