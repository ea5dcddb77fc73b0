#pragma once
// The control commands of the settings and the welcome text:
//   settings get [KEY]                      every key and value as a table, or one as a field
//   settings set KEY VALUE [KEY VALUE...]   all checked, then confirmed and applied at once
//   settings reset                          the standard values, confirmed and applied
//   welcome get | set TEXT | import PATH | export PATH     (PATH absolute)
//   reload                                  the configuration files read again (as SIGHUP)

#include "admin/ControlRegistry.hpp"

namespace velmorin {

class AdminService;

void RegisterSettingsControl(ControlRegistry& registry, AdminService& admin);

}  // namespace velmorin
