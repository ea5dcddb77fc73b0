/* Test plugin "foreign_abi": a library built for another plugin ABI (its table carries ABI
 * number 99). It registers fine; the server must refuse to create anything from it. */

#include <stdlib.h>

#include <velmorin/plugin.h>

struct vm_plugin {
  int unused;
};

static vm_plugin* create(void) { return calloc(1, sizeof(vm_plugin)); }
static void destroy(vm_plugin* self) { free(self); }
static vm_status text(vm_plugin* self, vm_sink sink, void* context) {
  (void)self;
  vm_write(sink, context, "1.0");
  return VM_OK;
}

static const vm_plugin_api table = {
    .abi_version = 99,
    .size = sizeof(vm_plugin_api),
    .create = create,
    .destroy = destroy,
    .PluginAuthor = text,
    .PluginIdent = text,
    .PluginInternalVersion = text,
    .PluginName = text,
    .PluginType = text,
    .pluginversion = text,
};

const vm_plugin_api* velmorin_plugin_entry(void) { return &table; }
vm_status DllRegisterServer(void) { return VM_OK; }
vm_status DllUnregisterServer(void) { return VM_OK; }
