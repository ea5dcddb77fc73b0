#include "admin/AccountAdmin.hpp"

#include "admin/FieldCheck.hpp"

#include "codec/Base64.hpp"
#include "codec/IniValues.hpp"
#include "codec/ProfileFile.hpp"
#include "config/Accounts.hpp"
#include "config/TextFilters.hpp"
#include "platform/ProgramPaths.hpp"
#include "platform/Text.hpp"
#include "server/ChatServer.hpp"

namespace velmorin {

namespace {

constexpr long kMaxPassword = 40;
constexpr long kMaxComment = 256;

const std::string& UsersFile() { return Paths().usersFile; }

// Writes the given fields of one account in a single write of the file: either all of them
// land or none does. Returns 0 or the errno of the failed step.
long WriteAccountFields(const std::string& name, const std::optional<std::string>& active,
                        const std::optional<std::string>& comment, const std::optional<std::string>& password) {
  profile::ProfileBatch batch;
  long error = 0;
  if (active) error = WriteIniValue(name, "Active", *active, UsersFile());
  if (error == 0 && comment) error = WriteIniValue(name, "Comment", Base64Encode(*comment), UsersFile());
  if (error == 0 && password) error = SetPassword(name, *password);
  if (error != 0) profile::Flush(UsersFile());  // drops what this batch changed, so nothing is written
  const int committed = batch.Commit();
  return error != 0 ? error : committed;
}

std::vector<std::string> AccountNames() {
  std::vector<std::string> names;
  for (const std::string& escaped : SplitLines(ReadIniValue(std::nullopt, std::nullopt, "", UsersFile()))) {
    if (!escaped.empty()) names.push_back(EscapeSectionName(escaped, 1));
  }
  return names;
}

}  // namespace

std::vector<AccountInfo> AccountAdmin::List() const {
  std::vector<AccountInfo> accounts;
  for (const std::string& name : AccountNames()) {
    const std::vector<std::string> values = ReadIniValues(name, {"Active", "Comment", "Password"}, "", UsersFile());
    AccountInfo info;
    info.name = name;
    info.active = ToBool(values[0].empty() ? "1" : values[0]).value_or(false);
    info.comment = CleanText(Base64Decode(values[1]), kMaxComment);
    info.hasPassword = !Base64Decode(values[2]).empty();
    accounts.push_back(std::move(info));
  }
  return accounts;
}

std::optional<std::string> AccountAdmin::StoredName(const std::string& name) const {
  const std::string lowered = LowerCase(name);
  for (const std::string& stored : AccountNames()) {
    if (LowerCase(stored) == lowered) return stored;
  }
  return std::nullopt;
}

AdminResult AccountAdmin::Refuse(const std::string& notice, const std::string& section) const {
  return AdminResult::Refused(notice, server_.Language().Data(notice, section));
}

AdminResult AccountAdmin::Add(const std::string& name, const std::string& password, const std::string& comment,
                              bool active) {
  if (TrimBlanks(name).empty()) return Refuse("noticeMissingName", "frmAddEditUser");
  if (auto refused = CheckTextField("name", name, kMaxNicknameLength)) return *refused;
  if (CleanNickname(name) != name) {
    // A login cleans the nickname it is given ("@" at the ends, ...): such an account could never log in.
    return AdminResult::Refused("invalidValue", "The name " + name + " is not a nickname a login can give.");
  }
  if (auto refused = CheckTextField("password", password, kMaxPassword)) return *refused;
  if (auto refused = CheckTextField("comment", comment, kMaxComment)) return *refused;
  if (StoredName(name)) return Refuse("noticeExist", "frmAddEditUser");

  const long error = WriteAccountFields(name, BoolText(active), comment, password);
  if (error != 0) return AdminResult::Refused("failed", "config/users.cfg could not be written.");
  BuildActiveAccountList();
  return AdminResult::Done("Account " + name + " added.");
}

AdminResult AccountAdmin::Edit(const std::string& name, const AccountChange& change) {
  const std::optional<std::string> stored = StoredName(name);
  if (!stored) return Refuse("noticeAccountDoesNotExist", "frmAddEditUser");
  if (change.comment) {
    if (auto refused = CheckTextField("comment", *change.comment, kMaxComment)) return *refused;
  }
  if (change.password) {
    if (auto refused = CheckTextField("password", *change.password, kMaxPassword)) return *refused;
  }
  const long error = WriteAccountFields(*stored, change.active ? std::optional(BoolText(*change.active)) : std::nullopt,
                                        change.comment, change.password);
  if (error != 0) return AdminResult::Refused("failed", "config/users.cfg could not be written.");
  BuildActiveAccountList();
  return AdminResult::Done("Account " + *stored + " changed.");
}

AdminResult AccountAdmin::Remove(const std::string& name) {
  const std::optional<std::string> stored = StoredName(name);
  if (!stored) return Refuse("noticeAccountDoesNotExist", "frmAddEditUser");
  if (WriteIniValue(*stored, std::nullopt, std::nullopt, UsersFile()) != 0) {
    return AdminResult::Refused("failed", "config/users.cfg could not be written.");
  }
  BuildActiveAccountList();
  return AdminResult::Done("Account " + *stored + " removed.");
}

}  // namespace velmorin
