#include "admin/PluginControl.hpp"

#include "admin/AdminService.hpp"
#include "admin/ControlRegistry.hpp"

namespace velmorin {
namespace {

constexpr const char* kUsage = "usage: plugins list | plugins enable NAME | plugins disable NAME | plugins about NAME | plugins configure NAME | plugins reload NAME";

const char* YesNo(bool value) { return value ? "yes" : "no"; }

ControlReply List(AdminService& service) {
  ControlReply reply;
  reply.table.columns = {"name", "title", "ident", "type", "version", "author", "enabled", "loaded", "state", "reason"};
  for (const PluginRow& plugin : service.Plugins().Plugins()) {
    reply.table.rows.push_back({plugin.component, plugin.name, plugin.ident, plugin.type, plugin.version,
                                plugin.author, YesNo(plugin.enabled), YesNo(plugin.loaded), plugin.state, plugin.reason});
  }
  return reply;
}

ControlReply Plugins(AdminService& service, const ControlRequest& request) {
  const std::vector<std::string>& words = request.words;
  if (words.size() == 1 && words[0] == "list") return List(service);
  if (words.size() != 2) return ControlReply::Usage(kUsage);
  if (words[0] == "enable") return ControlReply::From(service.Plugins().SetEnabled(words[1], true));
  if (words[0] == "disable") return ControlReply::From(service.Plugins().SetEnabled(words[1], false));
  if (words[0] == "about") return ControlReply::From(service.Plugins().ShowAbout(words[1]));
  if (words[0] == "configure") return ControlReply::From(service.Plugins().ShowConfiguration(words[1]));
  if (words[0] == "reload") return ControlReply::From(service.Plugins().Reload(words[1]));
  return ControlReply::Usage(kUsage);
}

}  // namespace

void RegisterPluginControl(ControlRegistry& registry, AdminService& service) {
  registry.Add("plugins", [&service](const ControlRequest& request) { return Plugins(service, request); });
}

}  // namespace velmorin
