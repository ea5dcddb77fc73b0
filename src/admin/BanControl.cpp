// The "ban" control command. Address rules are "ip" rules (a pattern such as 192.168.*.* or a
// range such as 10.0.0.1-10.0.0.50); nickname rules are "nick" (the whole nickname) or
// "nickpart" (any part of it). "ban user" bans a logged-in user and disconnects them.

#include "admin/BanControl.hpp"

#include "admin/AdminService.hpp"
#include "admin/BanAdmin.hpp"
#include "admin/ControlWords.hpp"

namespace velmorin {

namespace {

constexpr const char* kUsage =
    "usage: ban list | ban add ip PATTERN|FROM-TO | ban add nick|nickpart TEXT | "
    "ban remove ip PATTERN|FROM-TO | ban remove nick|nickpart TEXT | ban user NICK [--ip] [--nick] [--nickpart]";

ControlReply List(BanAdmin& bans) {
  ControlReply reply;
  reply.table.columns = {"kind", "rule"};
  const BanRuleView view = bans.List();
  for (const std::string& address : view.addresses) reply.table.rows.push_back({"ip", address});
  for (const NicknameBan& nickname : view.nicknames) {
    reply.table.rows.push_back({nickname.part ? "nickpart" : "nick", nickname.nickname});
  }
  return reply;
}

ControlReply Add(BanAdmin& bans, const std::vector<std::string>& words) {
  if (words.size() != 3) return ControlReply::Usage("usage: ban add ip PATTERN|FROM-TO | ban add nick|nickpart TEXT");
  if (words[1] == "ip") return ControlReply::From(bans.AddAddress(words[2]));
  if (words[1] == "nick") return ControlReply::From(bans.AddNickname(words[2], false));
  if (words[1] == "nickpart") return ControlReply::From(bans.AddNickname(words[2], true));
  return ControlReply::Usage("usage: ban add ip PATTERN|FROM-TO | ban add nick|nickpart TEXT");
}

ControlReply Remove(BanAdmin& bans, const std::vector<std::string>& words) {
  constexpr const char* usage = "usage: ban remove ip PATTERN|FROM-TO | ban remove nick|nickpart TEXT";
  if (words.size() != 3) return ControlReply::Usage(usage);
  if (words[1] == "ip") return ControlReply::From(bans.RemoveAddress(words[2]));
  if (words[1] == "nick") return ControlReply::From(bans.RemoveNickname(words[2], false));
  if (words[1] == "nickpart") return ControlReply::From(bans.RemoveNickname(words[2], true));
  return ControlReply::Usage(usage);
}

ControlReply User(BanAdmin& bans, const std::vector<std::string>& words) {
  const ControlWords split = SplitControlWords(words, 1, {"--ip", "--nick", "--nickpart"}, {});
  if (!split.valid || split.plain.size() != 1) {
    return ControlReply::Usage("usage: ban user NICK [--ip] [--nick] [--nickpart] (default --ip --nick)");
  }
  BanUserChoice choice{split.Has("--ip"), split.Has("--nick"), split.Has("--nickpart")};
  if (!choice.address && !choice.nickname && !choice.nicknamePart) choice = kDefaultBanUserChoice;
  return ControlReply::From(bans.BanUser(split.plain[0], choice));
}

}  // namespace

void RegisterBanControl(ControlRegistry& registry, AdminService& admin) {
  registry.Add("ban", [&admin](const ControlRequest& request) {
    BanAdmin& bans = admin.Bans();
    const std::string sub = request.words.empty() ? "" : request.words[0];
    if (sub == "list" && request.words.size() == 1) return List(bans);
    if (sub == "add") return Add(bans, request.words);
    if (sub == "remove") return Remove(bans, request.words);
    if (sub == "user") return User(bans, request.words);
    return ControlReply::Usage(kUsage);
  });
}

}  // namespace velmorin
