#pragma once
// The control commands "ban list|add|remove|user".

namespace velmorin {

class AdminService;
class ControlRegistry;

void RegisterBanControl(ControlRegistry& registry, AdminService& service);

}  // namespace velmorin
