#pragma once
// The administration of the running server: every operation an administrator can do, for the
// control socket and the desktop window alike. It holds one part per subject (settings,
// accounts, bans, chatrooms, users, server state, plugins, the live log); each part works on
// the server through its accessors and answers an AdminResult. Runs on the event-loop thread.

#include "admin/AccountAdmin.hpp"
#include "admin/AdminAudit.hpp"
#include "admin/BanAdmin.hpp"
#include "admin/ControlRegistry.hpp"
#include "admin/PluginAdmin.hpp"
#include "admin/RoomAdmin.hpp"
#include "admin/ServerAdmin.hpp"
#include "admin/SettingsAdmin.hpp"
#include "admin/UserAdmin.hpp"

namespace velmorin {

class ChatServer;

class AdminService {
 public:
  explicit AdminService(ChatServer& server);
  ~AdminService();
  AdminService(const AdminService&) = delete;
  AdminService& operator=(const AdminService&) = delete;

  ChatServer& Server() { return server_; }
  UserAdmin& Users() { return users_; }
  ServerAdmin& State() { return state_; }
  PluginAdmin& Plugins() { return plugins_; }
  SettingsAdmin& Settings() { return settings_; }
  AccountAdmin& Accounts() { return accounts_; }
  BanAdmin& Bans() { return bans_; }
  RoomAdmin& Rooms() { return rooms_; }
  // The audit trail: each front end records its actions there, once, with their origin.
  AdminAudit& Audit() { return audit_; }

  // Adds the control command of every part.
  void RegisterControlCommands(ControlRegistry& registry);

 private:
  ChatServer& server_;
  UserAdmin users_{server_};
  ServerAdmin state_{server_};
  PluginAdmin plugins_{server_};
  SettingsAdmin settings_{server_};
  AccountAdmin accounts_{server_};
  BanAdmin bans_{server_};
  RoomAdmin rooms_{server_};
  AdminAudit audit_{server_};
};

}  // namespace velmorin
