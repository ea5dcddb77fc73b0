#pragma once
// The control command of the installed plugins: "plugins list|enable NAME|disable NAME|about NAME|configure NAME|reload NAME".

namespace velmorin {

class AdminService;
class ControlRegistry;

void RegisterPluginControl(ControlRegistry& registry, AdminService& service);

}  // namespace velmorin
