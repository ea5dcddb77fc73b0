// The "account" control command: list, add, edit and remove user accounts. Passwords arrive as
// the request's secret input, never as words.

#include "admin/AccountControl.hpp"

#include "admin/AccountAdmin.hpp"
#include "admin/AdminService.hpp"
#include "admin/ControlWords.hpp"

namespace velmorin {

namespace {

constexpr const char* kUsage =
    "usage: account list | account add NAME [--comment TEXT] [--inactive] (password from input) | "
    "account edit NAME [--comment TEXT] [--active|--inactive] [--password] | account remove NAME";

ControlReply List(AccountAdmin& accounts) {
  ControlReply reply;
  reply.table.columns = {"name", "active", "password", "comment"};
  for (const AccountInfo& account : accounts.List()) {
    reply.table.rows.push_back({account.name, account.active ? "yes" : "no", account.hasPassword ? "*" : "",
                                account.comment});
  }
  return reply;
}

ControlReply Add(AccountAdmin& accounts, const ControlRequest& request) {
  const ControlWords words = SplitControlWords(request.words, 1, {"--inactive"}, {"--comment"});
  if (!words.valid || words.plain.size() != 1) return ControlReply::Usage("usage: account add NAME [--comment TEXT] [--inactive]");
  if (request.input.empty()) {
    return ControlReply::From(AdminResult::Refused("missingPassword", "A new account needs a password (secret input)."));
  }
  return ControlReply::From(accounts.Add(words.plain[0], request.input, words.Value("--comment").value_or(""),
                                         !words.Has("--inactive")));
}

ControlReply Edit(AccountAdmin& accounts, const ControlRequest& request) {
  const ControlWords words =
      SplitControlWords(request.words, 1, {"--active", "--inactive", "--password"}, {"--comment"});
  if (!words.valid || words.plain.size() != 1 || (words.Has("--active") && words.Has("--inactive"))) {
    return ControlReply::Usage("usage: account edit NAME [--comment TEXT] [--active|--inactive] [--password]");
  }
  AccountChange change;
  change.comment = words.Value("--comment");
  if (words.Has("--active")) change.active = true;
  if (words.Has("--inactive")) change.active = false;
  if (words.Has("--password")) {
    if (request.input.empty()) {
      return ControlReply::From(AdminResult::Refused("missingPassword", "--password needs the new password (secret input)."));
    }
    change.password = request.input;
  }
  return ControlReply::From(accounts.Edit(words.plain[0], change));
}

}  // namespace

void RegisterAccountControl(ControlRegistry& registry, AdminService& admin) {
  registry.Add("account", [&admin](const ControlRequest& request) {
    AccountAdmin& accounts = admin.Accounts();
    const std::string sub = request.words.empty() ? "" : request.words[0];
    if (sub == "list" && request.words.size() == 1) return List(accounts);
    if (sub == "add") return Add(accounts, request);
    if (sub == "edit") return Edit(accounts, request);
    if (sub == "remove") {
      if (request.words.size() != 2) return ControlReply::Usage("usage: account remove NAME");
      return ControlReply::From(accounts.Remove(request.words[1]));
    }
    return ControlReply::Usage(kUsage);
  });
}

}  // namespace velmorin
