#pragma once
// The control commands "rooms", "room add|edit|remove|standard".

namespace velmorin {

class AdminService;
class ControlRegistry;

void RegisterRoomControl(ControlRegistry& registry, AdminService& service);

}  // namespace velmorin
