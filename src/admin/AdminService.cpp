#include "admin/AdminService.hpp"

#include "admin/SettingsControl.hpp"
#include "server/clsServer.hpp"

namespace velmorin {

AdminService::AdminService(clsServer& server) : server_(server), settings_(server) {}

AdminService::~AdminService() = default;

void AdminService::RegisterControlCommands(ControlRegistry& registry) {
  RegisterSettingsControl(registry, *this);
}

}  // namespace velmorin
