#include "admin/AdminService.hpp"

#include "server/clsServer.hpp"

namespace velmorin {

void RegisterAccountControl(ControlRegistry& registry, AdminService& admin);
void RegisterBanControl(ControlRegistry& registry, AdminService& admin);
void RegisterRoomControl(ControlRegistry& registry, AdminService& admin);

AdminService::AdminService(clsServer& server) : server_(server) {}

AdminService::~AdminService() = default;

void AdminService::RegisterControlCommands(ControlRegistry& registry) {
  RegisterAccountControl(registry, *this);
  RegisterBanControl(registry, *this);
  RegisterRoomControl(registry, *this);
}

}  // namespace velmorin
