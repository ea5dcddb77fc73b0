#include "admin/AdminService.hpp"

#include "server/clsServer.hpp"

namespace velmorin {

AdminService::AdminService(clsServer& server) : server_(server) {}

AdminService::~AdminService() = default;

void AdminService::RegisterControlCommands(ControlRegistry& /*registry*/) {}

}  // namespace velmorin
