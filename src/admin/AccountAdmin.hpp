#pragma once
// User accounts in config/users.cfg, as the account dialog and the settings dialog's save treat
// them: names are unique without regard to case and keep the case they were added with; every
// change is written at once and the active account list is rebuilt, so logins see it at once.
//
// Fields are checked, not silently cut: a name, password or comment that the cleaning of the
// dialog (CleanText, 40/40/256 characters) would change is refused.

#include <optional>
#include <string>
#include <vector>

#include "admin/AdminResult.hpp"

namespace velmorin {

class ChatServer;

struct AccountInfo {
  std::string name;
  bool active = true;
  std::string comment;
  bool hasPassword = false;
};

struct AccountChange {
  std::optional<std::string> comment;
  std::optional<bool> active;
  std::optional<std::string> password;
};

class AccountAdmin {
 public:
  explicit AccountAdmin(ChatServer& server) : server_(server) {}

  // In file order.
  std::vector<AccountInfo> List() const;
  AdminResult Add(const std::string& name, const std::string& password, const std::string& comment, bool active);
  AdminResult Edit(const std::string& name, const AccountChange& change);
  AdminResult Remove(const std::string& name);

 private:
  // The stored spelling of the account named without regard to case, if there is one.
  std::optional<std::string> StoredName(const std::string& name) const;
  AdminResult Refuse(const std::string& notice, const std::string& section) const;

  ChatServer& server_;
};

}  // namespace velmorin
