#pragma once
// The control commands "account list|add|edit|remove".

namespace velmorin {

class AdminService;
class ControlRegistry;

void RegisterAccountControl(ControlRegistry& registry, AdminService& service);

}  // namespace velmorin
