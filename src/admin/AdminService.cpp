#include "admin/AdminService.hpp"

#include "admin/AccountControl.hpp"
#include "admin/BanControl.hpp"
#include "admin/PluginControl.hpp"
#include "admin/RoomControl.hpp"
#include "admin/ServerControl.hpp"
#include "admin/SettingsControl.hpp"
#include "admin/UserControl.hpp"
#include "server/ChatServer.hpp"

namespace velmorin {

AdminService::AdminService(ChatServer& server) : server_(server) {}

AdminService::~AdminService() = default;

void AdminService::RegisterControlCommands(ControlRegistry& registry) {
  RegisterUserControl(registry, *this);
  RegisterServerControl(registry, *this);
  RegisterPluginControl(registry, *this);
  RegisterSettingsControl(registry, *this);
  RegisterAccountControl(registry, *this);
  RegisterBanControl(registry, *this);
  RegisterRoomControl(registry, *this);
}

}  // namespace velmorin
