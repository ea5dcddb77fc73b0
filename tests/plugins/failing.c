/* Test plugin "failing", written in C against plugin.h alone: it passes the start-up scan and
 * then fails every call. Before failing, `command` hands over an answer and new parameters,
 * which the server must ignore. Its registration exports report failure too; the server does
 * not look at that status. */

#include <stdlib.h>

#include <velmorin/plugin.h>

struct vm_plugin {
  int unused;
};

static vm_plugin* create(void) { return calloc(1, sizeof(vm_plugin)); }
static void destroy(vm_plugin* self) { free(self); }

static vm_status author(vm_plugin* self, vm_sink sink, void* context) {
  (void)self;
  vm_write(sink, context, "Velmorin tests");
  return VM_OK;
}
static vm_status ident(vm_plugin* self, vm_sink sink, void* context) {
  (void)self;
  vm_write(sink, context, "failing-test");
  return VM_OK;
}
static vm_status internal_version(vm_plugin* self, vm_sink sink, void* context) {
  (void)self;
  vm_write(sink, context, "1.0");
  return VM_OK;
}
static vm_status name(vm_plugin* self, vm_sink sink, void* context) {
  (void)self;
  vm_write(sink, context, "Failing");
  return VM_OK;
}
static vm_status type(vm_plugin* self, vm_sink sink, void* context) {
  (void)self;
  vm_write(sink, context, "general");
  return VM_OK;
}
static vm_status version(vm_plugin* self, vm_sink sink, void* context) {
  (void)self;
  vm_write(sink, context, "0.0.1");
  return VM_OK;
}

static vm_status initialise(vm_plugin* self, const vm_host* host, int32_t locale_id,
                            vm_bytes program_directory, vm_bytes host_word, int always_on_top) {
  (void)self, (void)host, (void)locale_id, (void)program_directory, (void)host_word, (void)always_on_top;
  return VM_FAILED;
}
static vm_status command(vm_plugin* self, vm_bytes word, const vm_param* first, const vm_param* second,
                         vm_sink sink, void* sink_context) {
  (void)self, (void)word;
  vm_write(first->set, first->set_context, "changed");
  vm_write(second->set, second->set_context, "changed");
  vm_write(sink, sink_context, "answer");
  return VM_FAILED;
}
static vm_status terminate(vm_plugin* self, const vm_host* host, vm_bytes host_word) {
  (void)self, (void)host, (void)host_word;
  return VM_FAILED;
}

/* A general plugin: the encryption members stay absent. */
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
    .Terminate = terminate,
};

const vm_plugin_api* velmorin_plugin_entry(void) { return &table; }
vm_status DllRegisterServer(void) { return VM_FAILED; }
vm_status DllUnregisterServer(void) { return VM_FAILED; }
