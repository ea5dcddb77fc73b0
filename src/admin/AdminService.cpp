#include "admin/AdminService.hpp"

#include "admin/PluginControl.hpp"
#include "admin/ServerControl.hpp"
#include "admin/UserControl.hpp"
#include "admin/SettingsControl.hpp"
#include "server/clsServer.hpp"

namespace velmorin {

AdminService::AdminService(clsServer& server) : server_(server), settings_(server) {}

AdminService::~AdminService() = default;

void AdminService::RegisterControlCommands(ControlRegistry& registry) {
  RegisterUserControl(registry, *this);
  RegisterServerControl(registry, *this);
  RegisterPluginControl(registry, *this);
  RegisterSettingsControl(registry, *this);
}

}  // namespace velmorin
