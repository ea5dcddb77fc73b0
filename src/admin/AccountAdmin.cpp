#include "admin/AccountAdmin.hpp"

#include "codec/modBase64.hpp"
#include "codec/modINI.hpp"
#include "config/modUsers.hpp"
#include "platform/ProgramPaths.hpp"
#include "platform/Text.hpp"
#include "platform/modFilter.hpp"
#include "server/clsServer.hpp"

namespace velmorin {

namespace {

constexpr long kMaxName = 40;
constexpr long kMaxPassword = 40;
constexpr long kMaxComment = 256;

const std::string& UsersFile() { return Paths().usersFile; }

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
  return AdminResult::Refused(notice, server_.Language().data(notice, section));
}

std::optional<AdminResult> AccountAdmin::CheckField(const std::string& what, const std::string& value,
                                                    long maxLength) const {
  if (CleanText(value, maxLength) == value) return std::nullopt;
  return AdminResult::Refused("invalidValue", "The " + what + " holds control characters, blanks at its ends or more than " +
                                                  std::to_string(maxLength) + " characters.");
}

AdminResult AccountAdmin::Add(const std::string& name, const std::string& password, const std::string& comment,
                              bool active) {
  if (TrimBlanks(name).empty()) return Refuse("noticeMissingName", "frmAddEditUser");
  if (auto refused = CheckField("name", name, kMaxName)) return *refused;
  if (auto refused = CheckField("password", password, kMaxPassword)) return *refused;
  if (auto refused = CheckField("comment", comment, kMaxComment)) return *refused;
  if (StoredName(name)) return Refuse("noticeExist", "frmAddEditUser");

  long error = WriteIniValue(name, "Active", BoolText(active), UsersFile());
  if (error == 0) error = WriteIniValue(name, "Comment", Base64Encode(comment), UsersFile());
  if (error == 0) error = SetPassword(name, password);
  if (error != 0) {
    // Nothing of a half-written account stays behind.
    WriteIniValue(name, std::nullopt, std::nullopt, UsersFile());
    return AdminResult::Refused("failed", "config/users.cfg could not be written.");
  }
  BuildActiveAccountList();
  return AdminResult::Done("Account " + name + " added.");
}

AdminResult AccountAdmin::Edit(const std::string& name, const AccountChange& change) {
  const std::optional<std::string> stored = StoredName(name);
  if (!stored) return Refuse("noticePersonDoesNotExist", "frmSendServerMsg");
  if (change.comment) {
    if (auto refused = CheckField("comment", *change.comment, kMaxComment)) return *refused;
  }
  if (change.password) {
    if (auto refused = CheckField("password", *change.password, kMaxPassword)) return *refused;
  }
  long error = 0;
  if (change.active) error = WriteIniValue(*stored, "Active", BoolText(*change.active), UsersFile());
  if (error == 0 && change.comment) error = WriteIniValue(*stored, "Comment", Base64Encode(*change.comment), UsersFile());
  if (error == 0 && change.password) error = SetPassword(*stored, *change.password);
  BuildActiveAccountList();
  if (error != 0) return AdminResult::Refused("failed", "config/users.cfg could not be written.");
  return AdminResult::Done("Account " + *stored + " changed.");
}

AdminResult AccountAdmin::Remove(const std::string& name) {
  const std::optional<std::string> stored = StoredName(name);
  if (!stored) return Refuse("noticePersonDoesNotExist", "frmSendServerMsg");
  if (WriteIniValue(*stored, std::nullopt, std::nullopt, UsersFile()) != 0) {
    return AdminResult::Refused("failed", "config/users.cfg could not be written.");
  }
  BuildActiveAccountList();
  return AdminResult::Done("Account " + *stored + " removed.");
}

}  // namespace velmorin
