#pragma once
// The ban rules of config/ban.cfg: address rules (patterns with "*" parts, and from-to ranges)
// and nickname rules (the whole nickname, or a part of it). Every change is saved at once and
// holds for the next connection or login. Also the ban of a logged-in user: any of their
// address, their nickname and their nickname as a part rule, after which they are disconnected.

#include <string>
#include <vector>

#include "admin/AdminResult.hpp"
#include "config/BanRules.hpp"

namespace velmorin {

class ChatServer;

struct BanRuleView {
  std::vector<std::string> addresses;   // patterns, then ranges written from-to
  std::vector<NicknameBan> nicknames;   // whole-nickname rules, then part rules
};

// Address and nickname: what "ban user" and the ban dialog choose unless told otherwise.
inline constexpr BanUserChoice kDefaultBanUserChoice{true, true, false};

// The language key ([frmBanUser.Data], with %count) of the note that `others` other users are
// connected from the banned address.
inline const char* SharedAddressKey(long others) {
  return others == 1 ? "msgOthersOnAddressOne" : "msgOthersOnAddress";
}

class BanAdmin {
 public:
  explicit BanAdmin(ChatServer& server) : server_(server) {}

  BanRuleView List() const;
  // A pattern ("192.168.*.*") or a range ("10.0.0.1-10.0.0.50", from not above to).
  AdminResult AddAddress(const std::string& rule);
  AdminResult AddNickname(const std::string& rule, bool part);
  // The address rule as written when added; the nickname rule of the given kind.
  AdminResult RemoveAddress(const std::string& rule);
  AdminResult RemoveNickname(const std::string& rule, bool part);
  // Without a choice, velmorin-ctl and the window's dialog ban address and nickname. With the
  // address, the message says how many other users share it (SharedAddressKey).
  AdminResult BanUser(const std::string& nickname, BanUserChoice choice);
  // The other logged-in users connected from the address of the logged-in user `nickname`: an
  // address rule shuts them out too. 0 when that user is not logged in.
  long OthersOnAddress(const std::string& nickname);

 private:
  AdminResult Refuse(const std::string& notice, const std::string& section) const;
  // Saves the rules; on failure the change is taken back by `undo` and refused.
  template <typename Undo>
  AdminResult Save(const std::string& done, Undo undo);

  ChatServer& server_;
};

}  // namespace velmorin
