#include "config/Accounts.hpp"

#include "codec/Base64.hpp"
#include "codec/IniValues.hpp"
#include "codec/ProfileFile.hpp"
#include "platform/ProgramPaths.hpp"
#include "platform/Text.hpp"

namespace velmorin {

std::string ActiveAccountList(1, '\0');

namespace {

const std::string kNul(1, '\0');

const std::string& UsersFile() { return Paths().usersFile; }

std::string ListEntry(const std::string& name) { return kNul + LowerCase(name) + kNul; }

void RemoveFromActiveList(const std::string& name) {
  const std::size_t at = ActiveAccountList.find(ListEntry(name));
  if (at != std::string::npos) ActiveAccountList.replace(at, name.size() + 2, kNul);
}

void AddToActiveList(const std::string& name) { ActiveAccountList += LowerCase(name) + kNul; }

}  // namespace

ReloadRefusal CheckUsersFileForReload() {
  if (const int error = profile::ReadError(UsersFile()); error != 0) return {ReloadRefusal::Why::Unreadable, error};
  return {};
}

void BuildActiveAccountList() {
  std::string list = kNul;
  for (const std::string& escaped : SplitLines(ReadIniValue(std::nullopt, std::nullopt, "", UsersFile()))) {
    if (escaped.empty()) continue;
    const std::string name = EscapeSectionName(escaped, 1);
    if (ToBool(ReadIniValue(name, "Active", "1", UsersFile())).value_or(false)) {
      list += LowerCase(name) + kNul;
    }
  }
  ActiveAccountList = std::move(list);
}

bool IsActiveAccount(const std::string& nickname) {
  return ActiveAccountList.find(ListEntry(nickname)) != std::string::npos;
}

bool AccountExists(const std::string& name) {
  return !ReadIniValue(name, "Active", "", UsersFile()).empty();
}

std::string GetPassword(const std::string& name) {
  return Base64Decode(ReadIniValue(name, "Password", "", UsersFile()));
}

AccountEntry ReadAccountEntry(const std::string& name) {
  const std::vector<std::string> values = ReadIniValues(name, {"Active", "Password"}, "", UsersFile());
  return {!values[0].empty(), Base64Decode(values[1])};
}

long SetPassword(const std::string& name, const std::string& password) {
  return WriteIniValue(name, "Password", Base64Encode(password), UsersFile());
}

std::string CreateUserAccount(const std::string& name) {
  if (AccountExists(name)) return "exists";
  // A name the file cannot hold (a NUL, a line break, nothing but blanks) is refused there.
  if (WriteIniValue(name, "Active", "0", UsersFile()) != 0) return "failed";
  return "created";
}

std::string ModifyUserAccount(const std::string& name, const std::string& field,
                              const std::string& value) {
  if (!AccountExists(name)) return "notfound";
  const std::string lowerField = LowerCase(field);
  long error = 0;
  if (lowerField == "active") {
    const bool active = ToBool(value).value_or(false);
    error = WriteIniValue(name, "Active", BoolText(active), UsersFile());
    if (error == 0) {
      RemoveFromActiveList(name);
      if (active) AddToActiveList(name);
    }
  } else if (lowerField == "password") {
    error = SetPassword(name, value);
  } else {
    // A field name that would read back as something else ("[root]", "a=b") is refused there.
    error = WriteIniValue(name, field, Base64Encode(value), UsersFile());
  }
  return error == 0 ? "modified" : "failed";
}

std::string RemoveUserAccount(const std::string& name) {
  if (!AccountExists(name)) return "notfound";
  if (WriteIniValue(name, std::nullopt, std::nullopt, UsersFile()) != 0) return "failed";
  RemoveFromActiveList(name);
  return "deleted";
}

std::string GetUserAccountInfo(const std::string& name, const std::string& field) {
  if (!AccountExists(name)) return {};
  const std::string lowerField = LowerCase(field);
  if (lowerField == "active") {
    return BoolText(ToBool(ReadIniValue(name, "Active", "0", UsersFile())).value_or(false));
  }
  if (lowerField == "password") return GetPassword(name);
  return Base64Decode(ReadIniValue(name, field, "", UsersFile()));
}

std::string GetUserAccountList() {
  std::string list;
  for (const std::string& escaped : SplitLines(ReadIniValue(std::nullopt, std::nullopt, "", UsersFile()))) {
    const std::string name = EscapeSectionName(escaped, 1);
    if (Trim(name, " ").empty()) continue;
    if (!list.empty()) list += kNul;
    list += name;
  }
  return list;
}

std::string GetActiveUserAccountList() {
  if (ActiveAccountList.size() < 3) return {};
  return ActiveAccountList.substr(1, ActiveAccountList.size() - 2);
}

}  // namespace velmorin
