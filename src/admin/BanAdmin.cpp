#include "admin/BanAdmin.hpp"

#include <algorithm>

#include "admin/StoreRefusal.hpp"
#include "chat/ChatService.hpp"
#include "chat/ConnectionTable.hpp"
#include "config/AddressPatterns.hpp"
#include "config/TextFilters.hpp"
#include "net/StreamSocket.hpp"
#include "platform/ProgramPaths.hpp"
#include "platform/Text.hpp"
#include "server/ChatServer.hpp"

namespace velmorin {

namespace {

// A range whose ends are valid but in the wrong order would match no address at all.
bool IsBackwardRange(const std::string& rule) {
  const std::size_t dash = rule.find('-');
  if (dash == std::string::npos) return false;
  const std::string from = NormalizeIP(rule.substr(0, dash));
  const std::string to = NormalizeIP(rule.substr(dash + 1));
  return IsValidIP(from, false) && IsValidIP(to, false) && CompareIP(from, to) == 1;
}

// The rule as the address list holds it after AddBanRule.
std::string StoredAddress(const std::string& rule) {
  const std::size_t dash = rule.find('-');
  if (dash == std::string::npos) return NormalizeIP(rule);
  return NormalizeIP(rule.substr(0, dash)) + "-" + NormalizeIP(rule.substr(dash + 1));
}

}  // namespace

BanRuleView BanAdmin::List() const {
  BanRuleView view;
  const BanLists& lists = Bans();
  view.addresses = lists.addressRules;
  for (const IPRange& range : lists.addressRangeRules) view.addresses.push_back(range.from + "-" + range.to);
  for (const std::string& nickname : lists.nicknameRules) view.nicknames.push_back({nickname, false});
  for (const std::string& nickname : lists.nicknameRangeRules) view.nicknames.push_back({nickname, true});
  return view;
}

AdminResult BanAdmin::Refuse(const std::string& notice, const std::string& section) const {
  return AdminResult::Refused(notice, server_.Language().Data(notice, section));
}

template <typename Undo>
AdminResult BanAdmin::Save(const std::string& done, Undo undo) {
  const int error = SaveBanList();
  if (error == 0) return AdminResult::Done(done);
  undo();
  return RefuseStore(server_, Paths().banFile, error, "failed");
}

AdminResult BanAdmin::AddAddress(const std::string& rule) {
  const bool range = rule.find('-') != std::string::npos;
  const char* invalid = range ? "noticeIP_Range" : "noticeIP";
  if (IsBackwardRange(rule)) return Refuse("noticeIP_Backward", "frmAddEditBanIP");
  const std::string result = AddBanRule("ip", rule);
  if (result == "exists") return Refuse("noticeAlreadyBannedIP", "frmAddEditBanIP");
  if (result != "done") return Refuse(invalid, "frmAddEditBanIP");
  const std::string stored = StoredAddress(rule);
  return Save("Address rule " + stored + " added.", [&] { RemoveBanRule("ip", stored); });
}

AdminResult BanAdmin::AddNickname(const std::string& rule, bool part) {
  const std::string result = AddBanRule(part ? "nickrange" : "nick", rule);
  if (result == "exists") return Refuse("noticeAlreadyBannedNick", "frmSettings");
  if (result != "done") return Refuse("noticeMissingName", "frmAddEditUser");
  std::vector<std::string>& list = part ? Bans().nicknameRangeRules : Bans().nicknameRules;
  const std::string stored = list.back();
  return Save("Nickname rule " + stored + " added.", [&list] { list.pop_back(); });
}

AdminResult BanAdmin::RemoveAddress(const std::string& rule) {
  const BanLists before = Bans();
  if (RemoveBanRule("ip", rule) != "done") {
    return AdminResult::Refused("notFound", "There is no address rule " + rule + ".");
  }
  return Save("Address rule " + rule + " removed.", [&before] { Bans() = before; });
}

AdminResult BanAdmin::RemoveNickname(const std::string& rule, bool part) {
  const BanLists before = Bans();
  std::vector<std::string>& rules = part ? Bans().nicknameRangeRules : Bans().nicknameRules;
  // Matched as a login compares: the cleaned nickname, without regard to case.
  const std::string nickname = CleanNickname(rule);
  const auto found = std::find_if(rules.begin(), rules.end(),
                                  [&](const std::string& entry) { return EqualsNoCase(entry, nickname); });
  const std::string kind = part ? "nickname part rule " : "nickname rule ";
  if (found == rules.end()) return AdminResult::Refused("notFound", "There is no " + kind + rule + ".");
  rules.erase(found);
  return Save("The " + kind + rule + " was removed.", [&before] { Bans() = before; });
}

AdminResult BanAdmin::BanUser(const std::string& nickname, BanUserChoice choice) {
  if (!choice.address && !choice.nickname && !choice.nicknamePart) {
    return AdminResult::Refused("invalidValue", "Choose the address, the nickname or the nickname part.");
  }
  ConnectionTable& table = server_.Connections();
  const long id = table.GetUserID(nickname);
  if (id < 0) return Refuse("noticePersonDoesNotExist", "frmSendServerMsg");
  const std::string address = table.Socket(id) != nullptr ? table.Socket(id)->RemoteHostIP() : std::string();
  const std::string name = table.At(id).nickname;

  std::string done = name + " banned and disconnected.";
  if (const long others = choice.address && !address.empty() ? OthersOnAddress(name) : 0; others > 0) {
    done += " " + ReplaceAll(server_.Language().Data(SharedAddressKey(others), "frmBanUser"), "%count",
                             std::to_string(others));
  }
  const BanLists before = Bans();
  velmorin::BanUser(address, name, choice);
  AdminResult saved = Save(done, [&before] { Bans() = before; });
  if (!saved.ok()) return saved;
  server_.Chat().RemoveUser(id, {.tellRoom = true});
  return saved;
}

long BanAdmin::OthersOnAddress(const std::string& nickname) {
  ConnectionTable& table = server_.Connections();
  const long id = table.GetUserID(nickname);
  const StreamSocket* socket = id >= 0 ? table.Socket(id) : nullptr;
  if (socket == nullptr) return 0;
  const std::string address = socket->RemoteHostIP();
  long others = 0;
  for (long index = 1; index <= table.MaxIndex(); ++index) {
    if (index == id || !table.InUse(index) || !table.At(index).LoggedIn()) continue;
    const StreamSocket* other = table.Socket(index);
    if (other != nullptr && other->RemoteHostIP() == address) ++others;
  }
  return others;
}

}  // namespace velmorin
