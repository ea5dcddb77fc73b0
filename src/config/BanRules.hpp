#pragma once
// Address and nickname ban rules: four process-wide lists, kept in config/ban.cfg.
//
// Changes made here stay in memory until SaveBanList; a LoadBanList before that drops them.
// Address rules are texts of AddressPatterns (patterns and from/to ranges); nickname rules compare
// without regard to case. Everything runs on the server thread; nothing is locked.

#include <string>
#include <string_view>
#include <vector>

#include "config/ReloadRefusal.hpp"
#include "config/StoreSnapshot.hpp"

namespace velmorin {

struct IPRange {
  std::string from;
  std::string to;
};

// The size of each vector is its rule count. Sections of ban.cfg: "IP", "IP-Range", "Nick",
// "Nick-Range", keys "0" upwards in list order, ranges written as from "-" to.
struct BanLists {
  std::vector<std::string> addressRules;        // patterns, "*" allowed in any part
  std::vector<IPRange> addressRangeRules;       // both ends included
  std::vector<std::string> nicknameRules;      // the whole nickname
  std::vector<std::string> nicknameRangeRules; // any part of the nickname
};

BanLists& Bans();

// Replaces the lists by the file's rules; empty values, ranges without both halves and
// duplicates (IPRuleExists / NickRuleExists) are skipped. A missing file gives empty lists.
void LoadBanList();
// Rewrites the four sections in one atomic write; other lines of the file stay. 0, the errno,
// or kFileChangedOnDisk (nothing written) when the file changed on disk since it was last loaded
// or saved.
int SaveBanList();
// Whether a reload may read the file over the running rules: refused when it is unreadable, and
// while rules are held when it is missing, empty or holds none of the four sections (reading it
// would drop every rule).
ReloadRefusal CheckBanFileForReload();
// The four sections, for the refusal's text: "[IP], [IP-Range], [Nick], [Nick-Range]".
std::string BanSectionList();
// The save at program close: writes only when the rules changed in memory since they were
// loaded or saved; when the file changed on disk too, the file stays and the server's rules go
// beside it (see StoreSnapshot.hpp).
ShutdownSave SaveBanListAtShutdown();

// Exact text of a pattern or of from "-" to.
bool IPRuleExists(std::string_view rule);
// Either nickname list, without regard to case.
bool NickRuleExists(std::string_view rule);

// For every new connection: patterns in list order, then ranges.
bool IsAddressBanned(std::string_view address);
// For every guest login: the whole nickname, then any part rule, without regard to case.
bool IsNicknameBanned(std::string_view nickname);

// Plugin commands. kind "ip" (a pattern, or a range from "-" to), "nick" or "nickrange" for add,
// "ip" or "nick" for remove. Results: "done", "exists", "invalid" / "done", "notfound"; the empty
// string for any other kind. Addresses are normalized first, nicknames pass CleanNickname.
std::string AddBanRule(std::string_view kind, std::string_view rule);
std::string RemoveBanRule(std::string_view kind, std::string_view rule);
// kind "ip" (patterns, then ranges), "nick" or "nickrange": the rules joined by NUL.
std::string ListBanRules(std::string_view kind);

// The ban-user dialog: adds each chosen rule unless it exists. Disconnecting is the caller's job.
struct BanUserChoice {
  bool address = false;
  bool nickname = false;
  bool nicknamePart = false;
};
void BanUser(std::string_view address, std::string_view nickname, BanUserChoice choice);

// The settings dialog's lists replace all rules, then SaveBanList runs (its result is returned).
// Addresses containing "-" become ranges split at the first "-". Entries are taken as the load
// takes them, so the running rules equal those the next start reads.
struct NicknameBan {
  std::string nickname;
  bool part = false;  // contained anywhere, rather than the whole nickname
};
int ReplaceBanLists(const std::vector<std::string>& addresses, const std::vector<NicknameBan>& nicknames);

}  // namespace velmorin
