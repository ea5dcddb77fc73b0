#pragma once
// The control commands of the logged-in users: "users", "kick NICK",
// "say [--user NICK | --room ROOM] TEXT...".

namespace velmorin {

class AdminService;
class ControlRegistry;

void RegisterUserControl(ControlRegistry& registry, AdminService& service);

}  // namespace velmorin
