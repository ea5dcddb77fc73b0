#pragma once
// User accounts: config/users.cfg holds one section per account (Active, Password, Comment;
// passwords, comments and plugin-written fields Base64-encoded). Names are unique without
// regard to case.

#include <string>

#include "config/ReloadRefusal.hpp"

namespace velmorin {

// The lowercase names of all active accounts, each preceded and followed by a NUL:
// "\0a\0b\0" for a and b, "\0" for none.
extern std::string ActiveAccountList;

void BuildActiveAccountList();
// Whether a reload may read the file: refused when it exists and cannot be read (the accounts
// are read from the file at each use; a missing file holds none).
ReloadRefusal CheckUsersFileForReload();
bool IsActiveAccount(const std::string& nickname);
// True when the account's section has a non-empty Active value.
bool AccountExists(const std::string& name);
std::string GetPassword(const std::string& name);
// What a login needs to know of a name, from one look at the file: whether the account exists
// (AccountExists) and its password (GetPassword).
struct AccountEntry {
  bool exists = false;
  std::string password;
};
AccountEntry ReadAccountEntry(const std::string& name);
long SetPassword(const std::string& name, const std::string& password);

// Store operations offered to plugins; names and values are taken as given. A write the file
// refuses (a name it cannot hold, see ProfileFile.hpp) or that fails answers "failed".
std::string CreateUserAccount(const std::string& name);  // "created" or "exists"
// Field "active" (any case) switches the account in the file and in ActiveAccountList at once;
// "password" sets the password; any other field is stored Base64-encoded. "modified"/"notfound".
std::string ModifyUserAccount(const std::string& name, const std::string& field,
                              const std::string& value);
std::string RemoveUserAccount(const std::string& name);  // "deleted" or "notfound"
// The field's value; empty when the account does not exist.
std::string GetUserAccountInfo(const std::string& name, const std::string& field);
// Every account name in file order, joined by NUL.
std::string GetUserAccountList();
// The active names, lowercase, joined by NUL.
std::string GetActiveUserAccountList();

}  // namespace velmorin
