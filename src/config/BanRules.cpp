#include "config/BanRules.hpp"


#include <algorithm>
#include <cerrno>
#include <functional>
#include <optional>
#include <unordered_set>

#include "codec/IniValues.hpp"
#include "codec/ProfileFile.hpp"
#include "config/AddressPatterns.hpp"
#include "config/TextFilters.hpp"
#include "platform/ProgramPaths.hpp"
#include "platform/Text.hpp"

namespace velmorin {
namespace {

constexpr const char* kIPSection = "IP";
constexpr const char* kIPRangeSection = "IP-Range";
constexpr const char* kNickSection = "Nick";
constexpr const char* kNickRangeSection = "Nick-Range";

std::string RangeText(const IPRange& range) { return range.from + "-" + range.to; }

// A rule in the form the next load reads it back from ban.cfg: one line, outer blanks removed,
// cut as reads are cut. Rules are cleaned to it once, when added, so a rule matches the same
// nicknames and addresses before and after a restart.
std::string RuleAsStored(std::string_view rule) {
  std::string stored = profile::ValueAsStored(rule);
  if (stored.size() > kMaxIniValueLength) stored.resize(kMaxIniValueLength);
  return stored;
}

bool IsRangeText(std::string_view text, const IPRange& range) {
  return text.size() == range.from.size() + 1 + range.to.size() && text.starts_with(range.from) &&
         text[range.from.size()] == '-' && text.ends_with(range.to);
}

bool ContainsNoCase(std::string_view text, std::string_view part) {
  const auto hit = std::search(text.begin(), text.end(), part.begin(), part.end(),
                               [](char a, char b) { return LowerChar(a) == LowerChar(b); });
  return hit != text.end() || part.empty();
}

// Freed places are filled with the list's last rule, so removal is cheap and order is not kept.
template <typename Rule>
void RemoveAt(std::vector<Rule>& list, std::size_t index) {
  if (index + 1 != list.size()) list[index] = std::move(list.back());
  list.pop_back();
}

template <typename Rule, typename Equal>
bool RemoveFirst(std::vector<Rule>& list, Equal equal) {
  const auto hit = std::find_if(list.begin(), list.end(), equal);
  if (hit == list.end()) return false;
  RemoveAt(list, static_cast<std::size_t>(hit - list.begin()));
  return true;
}

// Fills fresh lists the way the load takes rules: empty values, ranges without both halves and
// texts already present are skipped. The sets make each test constant-time, so a long file does
// not load in quadratic time; they answer exactly what IPRuleExists and NickRuleExists would.
class RuleCollector {
 public:
  explicit RuleCollector(BanLists& lists) : lists_(lists) {}

  void AddPattern(std::string_view text) {
    const std::string value = RuleAsStored(text);
    if (value.empty() || !addresses_.emplace(value).second) return;
    lists_.addressRules.emplace_back(value);
  }

  // The value as written in the file: from "-" to, split at the first "-".
  void AddRange(std::string_view text) {
    const std::string value = RuleAsStored(text);
    const std::size_t dash = value.find('-');
    if (dash == std::string_view::npos || dash == 0 || dash + 1 == value.size()) return;
    if (!addresses_.emplace(value).second) return;
    lists_.addressRangeRules.push_back({value.substr(0, dash), value.substr(dash + 1)});
  }

  void AddNickname(std::string_view text, bool part) {
    const std::string value = RuleAsStored(text);
    if (value.empty() || !nicknames_.insert(LowerCase(value)).second) return;
    (part ? lists_.nicknameRangeRules : lists_.nicknameRules).emplace_back(value);
  }

 private:
  BanLists& lists_;
  std::unordered_set<std::string> addresses_;
  std::unordered_set<std::string> nicknames_;  // lowercase
};

void LoadSection(const std::string& file, const char* section, const std::function<void(const std::string&)>& take) {
  for (const std::string& key : SplitLines(ReadIniValue(section, std::nullopt, "", file))) {
    take(ReadIniValue(section, key, "", file));
  }
}

long WriteSection(const std::string& file, const char* section, const std::vector<std::string>& values) {
  long error = 0;
  for (std::size_t i = 0; i < values.size(); ++i) {
    const long result = WriteIniValue(section, std::to_string(i), values[i], file);
    if (error == 0) error = result;
  }
  return error;
}

BanLists ReadBanFile(const std::string& file) {
  BanLists loaded;
  RuleCollector collector(loaded);
  LoadSection(file, kIPSection, [&](const std::string& value) { collector.AddPattern(value); });
  LoadSection(file, kIPRangeSection, [&](const std::string& value) { collector.AddRange(value); });
  LoadSection(file, kNickSection, [&](const std::string& value) { collector.AddNickname(value, false); });
  LoadSection(file, kNickRangeSection, [&](const std::string& value) { collector.AddNickname(value, true); });
  return loaded;
}

// The four lists as one text, each rule with its length, for comparing memory and file.
std::string BanText(const BanLists& lists) {
  std::string text;
  const auto add = [&](char kind, const std::string& rule) {
    text.append(1, kind).append(std::to_string(rule.size())).append(":").append(rule);
  };
  for (const std::string& rule : lists.addressRules) add('i', rule);
  for (const IPRange& range : lists.addressRangeRules) add('r', RangeText(range));
  for (const std::string& rule : lists.nicknameRules) add('n', rule);
  for (const std::string& rule : lists.nicknameRangeRules) add('p', rule);
  return text;
}

FileContent BanFileOnDisk(const std::string& file) {
  return ProfileStoreOnDisk(file, [&] { return BanText(ReadBanFile(file)); });
}

StoreSnapshot snapshot;

void TakeSnapshot() { snapshot = {BanText(Bans()), BanFileOnDisk(Paths().banFile), Paths().banFile}; }

const std::vector<std::string>& BanSections() {
  static const std::vector<std::string> sections = {kIPSection, kIPRangeSection, kNickSection, kNickRangeSection};
  return sections;
}

int SaveBanListTo(const std::string& file) {
  const BanLists& lists = Bans();
  std::vector<std::string> ranges;
  ranges.reserve(lists.addressRangeRules.size());
  for (const IPRange& range : lists.addressRangeRules) ranges.push_back(RangeText(range));

  profile::ProfileBatch batch;
  long error = 0;
  for (const char* section : {kIPSection, kIPRangeSection, kNickSection, kNickRangeSection}) {
    const long result = WriteIniValue(section, std::nullopt, std::nullopt, file);
    if (error == 0) error = result;
  }
  for (const long result : {WriteSection(file, kIPSection, lists.addressRules), WriteSection(file, kIPRangeSection, ranges),
                            WriteSection(file, kNickSection, lists.nicknameRules),
                            WriteSection(file, kNickRangeSection, lists.nicknameRangeRules)}) {
    if (error == 0) error = result;
  }
  const int committed = batch.Commit();
  return committed != 0 ? committed : static_cast<int>(error);
}

}  // namespace

BanLists& Bans() {
  static BanLists lists;
  return lists;
}

void LoadBanList() {
  Bans() = ReadBanFile(Paths().banFile);
  TakeSnapshot();
}

int SaveBanList() {
  const std::string& file = Paths().banFile;
  if (const int error = profile::ReadError(file); error != 0) return error;
  if (!MayOverwrite(snapshot, file, BanFileOnDisk(file))) return kFileChangedOnDisk;
  const int error = SaveBanListTo(file);
  if (error == 0) TakeSnapshot();
  return error;
}

ReloadRefusal CheckBanFileForReload() {
  const ReloadRefusal refusal = CheckProfileFileForReload(Paths().banFile, BanSections());
  const BanLists& lists = Bans();
  const bool holdsRules = !lists.addressRules.empty() || !lists.addressRangeRules.empty() || !lists.nicknameRules.empty() ||
                          !lists.nicknameRangeRules.empty();
  if (refusal.why == ReloadRefusal::Why::Unreadable || holdsRules) return refusal;
  return {};
}

std::string BanSectionList() { return SectionList(BanSections()); }

ShutdownSave SaveBanListAtShutdown() {
  const std::string& file = Paths().banFile;
  return SaveStoreAtShutdown(snapshot, BanText(Bans()), file, BanFileOnDisk(file), {SaveBanList, SaveBanListTo});
}

bool IPRuleExists(std::string_view rule) {
  const BanLists& lists = Bans();
  return std::find(lists.addressRules.begin(), lists.addressRules.end(), rule) != lists.addressRules.end() ||
         std::any_of(lists.addressRangeRules.begin(), lists.addressRangeRules.end(),
                     [&](const IPRange& range) { return IsRangeText(rule, range); });
}

bool NickRuleExists(std::string_view rule) {
  const BanLists& lists = Bans();
  const auto equal = [&](const std::string& entry) { return EqualsNoCase(entry, rule); };
  return std::any_of(lists.nicknameRules.begin(), lists.nicknameRules.end(), equal) ||
         std::any_of(lists.nicknameRangeRules.begin(), lists.nicknameRangeRules.end(), equal);
}

bool IsAddressBanned(std::string_view address) {
  const BanLists& lists = Bans();
  for (const std::string& pattern : lists.addressRules) {
    if (MatchIPPattern(pattern, address)) return true;
  }
  for (const IPRange& range : lists.addressRangeRules) {
    if (IsIPInRange(range.from, range.to, address)) return true;
  }
  return false;
}

bool IsNicknameBanned(std::string_view nickname) {
  const BanLists& lists = Bans();
  for (const std::string& rule : lists.nicknameRules) {
    if (EqualsNoCase(rule, nickname)) return true;
  }
  // An empty part rule would be contained in every nickname; the loaders never take one.
  for (const std::string& rule : lists.nicknameRangeRules) {
    if (!rule.empty() && ContainsNoCase(nickname, rule)) return true;
  }
  return false;
}

std::string AddBanRule(std::string_view kind, std::string_view rule) {
  BanLists& lists = Bans();
  if (kind == "ip") {
    const std::size_t dash = rule.find('-');
    if (dash == std::string_view::npos) {
      std::string address = RuleAsStored(NormalizeIP(rule));
      if (IPRuleExists(address)) return "exists";
      if (!IsValidIP(address, true)) return "invalid";
      lists.addressRules.push_back(std::move(address));
      return "done";
    }
    IPRange range{RuleAsStored(NormalizeIP(rule.substr(0, dash))), RuleAsStored(NormalizeIP(rule.substr(dash + 1)))};
    if (IPRuleExists(RangeText(range))) return "exists";
    // A reversed range would hold no address at all while the plugin is told it was banned.
    if (!IsValidIP(range.from, false) || !IsValidIP(range.to, false) || CompareIP(range.from, range.to) > 0) {
      return "invalid";
    }
    lists.addressRangeRules.push_back(std::move(range));
    return "done";
  }
  if (kind == "nick" || kind == "nickrange") {
    // CleanNickname cuts to 40 characters, which may leave a blank at the end that the file drops.
    std::string nickname = RuleAsStored(CleanNickname(rule));
    // An empty part rule would ban every guest; an empty nickname rule bans nobody.
    if (nickname.empty()) return "invalid";
    if (NickRuleExists(nickname)) return "exists";
    (kind == "nick" ? lists.nicknameRules : lists.nicknameRangeRules).push_back(std::move(nickname));
    return "done";
  }
  return {};
}

std::string RemoveBanRule(std::string_view kind, std::string_view rule) {
  BanLists& lists = Bans();
  if (kind == "ip") {
    const std::size_t dash = rule.find('-');
    bool removed = false;
    if (dash == std::string_view::npos) {
      const std::string address = NormalizeIP(rule);
      removed = RemoveFirst(lists.addressRules, [&](const std::string& entry) { return entry == address; });
    } else {
      const std::string from = NormalizeIP(rule.substr(0, dash));
      const std::string to = NormalizeIP(rule.substr(dash + 1));
      removed = RemoveFirst(lists.addressRangeRules,
                            [&](const IPRange& entry) { return entry.from == from && entry.to == to; });
    }
    return removed ? "done" : "notfound";
  }
  if (kind == "nick") {
    const std::string nickname = CleanNickname(rule);
    const auto equal = [&](const std::string& entry) { return EqualsNoCase(entry, nickname); };
    const bool removed = RemoveFirst(lists.nicknameRules, equal) || RemoveFirst(lists.nicknameRangeRules, equal);
    return removed ? "done" : "notfound";
  }
  return {};
}

std::string ListBanRules(std::string_view kind) {
  const BanLists& lists = Bans();
  std::string joined;
  const auto add = [&](const std::string& rule) {
    if (rule.empty()) return;
    if (!joined.empty()) joined += '\0';
    joined += rule;
  };
  if (kind == "ip") {
    for (const std::string& rule : lists.addressRules) add(rule);
    for (const IPRange& range : lists.addressRangeRules) add(RangeText(range));
  } else if (kind == "nick") {
    for (const std::string& rule : lists.nicknameRules) add(rule);
  } else if (kind == "nickrange") {
    for (const std::string& rule : lists.nicknameRangeRules) add(rule);
  }
  return joined;
}

void BanUser(std::string_view addressText, std::string_view nicknameText, BanUserChoice choice) {
  BanLists& lists = Bans();
  const std::string address = RuleAsStored(addressText);
  const std::string nickname = RuleAsStored(nicknameText);
  if (choice.address && !address.empty() && !IPRuleExists(address)) lists.addressRules.emplace_back(address);
  if (nickname.empty()) return;
  // The part rule first: it covers the whole nickname too, and one text holds only one rule, so
  // with both boxes ticked the wider ban is the one kept.
  if (choice.nicknamePart && !NickRuleExists(nickname)) lists.nicknameRangeRules.emplace_back(nickname);
  if (choice.nickname && !NickRuleExists(nickname)) lists.nicknameRules.emplace_back(nickname);
}

int ReplaceBanLists(const std::vector<std::string>& addresses, const std::vector<NicknameBan>& nicknames) {
  BanLists replaced;
  RuleCollector collector(replaced);
  for (const std::string& address : addresses) {
    if (address.find('-') != std::string::npos) {
      collector.AddRange(address);
    } else {
      collector.AddPattern(address);
    }
  }
  for (const NicknameBan& ban : nicknames) collector.AddNickname(ban.nickname, ban.part);
  Bans() = std::move(replaced);
  return SaveBanList();
}

}  // namespace velmorin
