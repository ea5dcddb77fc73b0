#pragma once
// The control commands of the server's state: "status", "online", "offline [--yes]", "ips",
// "sysinfo".

namespace velmorin {

class AdminService;
class ControlRegistry;

void RegisterServerControl(ControlRegistry& registry, AdminService& service);

}  // namespace velmorin
