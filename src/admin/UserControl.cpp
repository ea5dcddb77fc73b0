#include "admin/UserControl.hpp"

#include "admin/AdminService.hpp"
#include "admin/ControlWords.hpp"
#include "admin/ControlRegistry.hpp"

namespace velmorin {
namespace {

constexpr const char* kKickUsage = "usage: kick NICK [--reason TEXT]";
constexpr const char* kSayUsage = "usage: say [--user NICK | --room ROOM] TEXT...";

ControlReply ListUsers(AdminService& service, const ControlRequest& request) {
  if (!request.words.empty()) return ControlReply::Usage("usage: users");
  ControlReply reply;
  reply.table.columns = {"id", "nickname", "chatroom", "ip", "version"};
  reply.table.numericColumns = {0};
  for (const UserRow& user : service.Users().Users()) {
    reply.table.rows.push_back(
        {std::to_string(user.id), user.nickname, user.chatroom, user.address, user.clientVersion});
  }
  return reply;
}

ControlReply Kick(AdminService& service, const ControlRequest& request) {
  const ControlWords words = SplitControlWords(request.words, 0, {}, {"--reason"});
  if (!words.valid || words.plain.size() != 1) return ControlReply::Usage(kKickUsage);
  return ControlReply::From(service.Users().Disconnect(words.plain[0], words.Value("--reason").value_or("")));
}

ControlReply Say(AdminService& service, const ControlRequest& request) {
  const std::vector<std::string>& words = request.words;
  if (words.empty()) return ControlReply::Usage(kSayUsage);
  const bool toUser = words[0] == "--user";
  const bool toRoom = words[0] == "--room";
  if (!toUser && !toRoom) {
    if (words[0].rfind("--", 0) == 0) return ControlReply::Usage(kSayUsage);
    return ControlReply::From(service.Users().SendToAll(JoinControlWords(words, 0)));
  }
  // The target, then at least one word of text; a second target option is not text.
  if (words.size() < 3 || words[2] == "--user" || words[2] == "--room") return ControlReply::Usage(kSayUsage);
  const std::string text = JoinControlWords(words, 2);
  return ControlReply::From(toUser ? service.Users().SendToUser(words[1], text)
                                   : service.Users().SendToRoom(words[1], text));
}

}  // namespace

void RegisterUserControl(ControlRegistry& registry, AdminService& service) {
  registry.Add("users", [&service](const ControlRequest& request) { return ListUsers(service, request); });
  registry.Add("kick", [&service](const ControlRequest& request) { return Kick(service, request); });
  registry.Add("say", [&service](const ControlRequest& request) { return Say(service, request); });
}

}  // namespace velmorin
