#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "codec/IniValues.hpp"
#include "config/BanRules.hpp"
#include "platform/ProgramPaths.hpp"
#include "support/TempProgramDir.hpp"

namespace velmorin {

bool operator==(const IPRange& a, const IPRange& b) { return a.from == b.from && a.to == b.to; }
void PrintTo(const IPRange& range, std::ostream* out) { *out << range.from << "-" << range.to; }

namespace {

using namespace std::string_literals;
using Strings = std::vector<std::string>;

class BanRules : public ::testing::Test {
 protected:
  BanRules() { Bans() = {}; }
  ~BanRules() override { Bans() = {}; }

  void WriteBanFile(const std::string& content) { dir.write("config/ban.cfg", content); }
  std::string BanFile() const { return dir.read("config/ban.cfg"); }
  std::string Stored(const char* section, const char* key) {
    return ReadIniValue(section, std::string(key), "<none>", Paths().banFile);
  }

  testing::TempProgramDir dir;
};

TEST_F(BanRules, LoadTakesAddressesAndRangesSeparately) {
  WriteBanFile(
      "[IP]\r\n0=192.168.1.1\r\n1=10.0.0.1\r\n"
      "[IP-Range]\r\n0=10.0.0.1-10.0.0.50\r\n");
  LoadBanList();
  EXPECT_EQ(Bans().addressRules, (Strings{"192.168.1.1", "10.0.0.1"}));
  EXPECT_EQ(Bans().addressRangeRules, (std::vector<IPRange>{{"10.0.0.1", "10.0.0.50"}}));
}

TEST_F(BanRules, LoadSkipsEmptyDuplicateAndHalfRules) {
  WriteBanFile(
      "[IP]\r\n0=1.2.3.4\r\n1=\r\n2=1.2.3.4\r\n3=not checked\r\n"
      "[IP-Range]\r\n0=10.0.0.1\r\n1=10.0.0.1-\r\n2=-10.0.0.9\r\n3=1.1.1.1-2.2.2.2\r\n4=1.1.1.1-2.2.2.2\r\n"
      "[Nick]\r\n0=Bob\r\n1=BOB\r\n2=\r\n"
      "[Nick-Range]\r\n0=bOb\r\n1=bot\r\n");
  LoadBanList();
  EXPECT_EQ(Bans().addressRules, (Strings{"1.2.3.4", "not checked"}));
  EXPECT_EQ(Bans().addressRangeRules, (std::vector<IPRange>{{"1.1.1.1", "2.2.2.2"}}));
  EXPECT_EQ(Bans().nicknameRules, (Strings{"Bob"}));
  EXPECT_EQ(Bans().nicknameRangeRules, (Strings{"bot"}));
}

TEST_F(BanRules, MissingFileGivesEmptyLists) {
  Bans().nicknameRules = {"left over"};
  LoadBanList();
  EXPECT_TRUE(Bans().addressRules.empty());
  EXPECT_TRUE(Bans().addressRangeRules.empty());
  EXPECT_TRUE(Bans().nicknameRules.empty());
  EXPECT_TRUE(Bans().nicknameRangeRules.empty());
}

TEST_F(BanRules, AddressesAreRefusedByPatternAndByRangeAsLoaded) {
  // The second range was written by hand with blanks around its dash.
  WriteBanFile(
      "[IP]\r\n0=192.168.*.*\r\n"
      "[IP-Range]\r\n0=10.0.0.1-10.0.0.50\r\n1=172.16.0.10 - 172.16.0.20\r\n");
  LoadBanList();
  const std::pair<const char*, bool> cases[] = {
      {"192.168.0.0", true},   {"192.168.255.255", true}, {"192.168.17.4", true},
      {"192.169.0.0", false},  {"192.167.255.255", false},
      {"10.0.0.1", true},      {"10.0.0.50", true},       {"10.0.0.0", false},
      {"10.0.0.51", false},    {"172.16.0.15", true},     {"172.16.0.21", false},
      {"", false},             {"garbage", false},
  };
  for (const auto& [address, banned] : cases) EXPECT_EQ(IsAddressBanned(address), banned) << address;
}

TEST_F(BanRules, NicknamesAreRefusedWholeOrByPartWithoutRegardToCase) {
  Bans().nicknameRules = {"Alice", "J\xF6rg"};
  Bans().nicknameRangeRules = {"bot"};
  const std::pair<std::string, bool> cases[] = {
      {"RoBoTic", true}, {"Bob", false},      {"xBOT", true}, {"alice", true},
      {"Alice2", false}, {"J\xD6RG", true},   {"", false},    {"bo", false},
  };
  for (const auto& [nickname, banned] : cases) EXPECT_EQ(IsNicknameBanned(nickname), banned) << nickname;
}

TEST_F(BanRules, ExistenceTests) {
  Bans().addressRules = {"10.0.0.1"};
  Bans().addressRangeRules = {{"10.0.0.1", "10.0.0.50"}};
  Bans().nicknameRules = {"Bob"};
  Bans().nicknameRangeRules = {"bot"};
  EXPECT_TRUE(IPRuleExists("10.0.0.1"));
  EXPECT_TRUE(IPRuleExists("10.0.0.1-10.0.0.50"));
  EXPECT_FALSE(IPRuleExists("010.0.0.1"));  // exact text
  EXPECT_FALSE(IPRuleExists("10.0.0.1-10.0.0.5"));
  EXPECT_FALSE(IPRuleExists("10.0.0.1-"));
  EXPECT_TRUE(NickRuleExists("BOB"));
  EXPECT_TRUE(NickRuleExists("BOT"));
  EXPECT_FALSE(NickRuleExists("bo"));
}

struct CommandCase {
  const char* kind;
  std::string rule;
  const char* result;
};

TEST_F(BanRules, PluginAddNormalizesValidatesAndRefusesDuplicates) {
  const CommandCase steps[] = {
      {"ip", "010.000.000.001", "done"},
      {"ip", "10.0.0.1", "exists"},
      {"ip", " 10.0.0.1 ", "exists"},
      {"ip", "192.168.*.*", "done"},
      {"ip", "1.2.3", "invalid"},
      {"ip", "1.2.3.256", "invalid"},
      {"ip", "", "invalid"},
      {"ip", "10.0.0.1-10.0.0.50", "done"},
      {"ip", "010.0.0.1 - 10.0.0.050", "exists"},
      {"ip", "10.0.0.*-10.0.0.50", "invalid"},  // no wildcards in ranges
      {"ip", "10.0.0.50-10.0.0.1", "invalid"},  // reversed: would ban nobody
      {"ip", "1.1.1.1-2.2.2.2-3.3.3.3", "invalid"},
      {"ip", "-", "invalid"},
      {"nick", " @@Bob@ ", "done"},
      {"nick", "BOB", "exists"},
      {"nickrange", "bob", "exists"},  // one text, one rule, whichever list holds it
      {"nickrange", "bot", "done"},
      {"nick", "@@", "invalid"},       // nothing left after cleaning
      {"nickrange", " \t ", "invalid"},
      {"Nick", "carol", ""},
      {"ban", "carol", ""},
      {"", "carol", ""},
  };
  for (const auto& step : steps) EXPECT_EQ(AddBanRule(step.kind, step.rule), step.result) << step.kind << " " << step.rule;
  EXPECT_EQ(Bans().addressRules, (Strings{"10.0.0.1", "192.168.*.*"}));
  EXPECT_EQ(Bans().addressRangeRules, (std::vector<IPRange>{{"10.0.0.1", "10.0.0.50"}}));
  EXPECT_EQ(Bans().nicknameRules, (Strings{"Bob"}));
  EXPECT_EQ(Bans().nicknameRangeRules, (Strings{"bot"}));
}

TEST_F(BanRules, PluginRemoveFillsTheGapWithTheLastRule) {
  Bans().addressRules = {"1.1.1.1", "2.2.2.2", "3.3.3.3"};
  Bans().addressRangeRules = {{"10.0.0.1", "10.0.0.50"}, {"10.0.1.1", "10.0.1.9"}};
  Bans().nicknameRules = {"Alice"};
  Bans().nicknameRangeRules = {"bob", "bot"};
  const CommandCase steps[] = {
      {"ip", "001.1.1.1", "done"},
      {"ip", "1.1.1.1", "notfound"},
      {"ip", "3.3.3.3", "done"},  // now the first rule
      {"ip", "10.0.0.1 - 10.0.0.050", "done"},
      {"ip", "10.0.0.1-10.0.0.50", "notfound"},
      {"nick", "@BOB", "done"},  // no whole-nickname rule, so the part rule goes
      {"nick", "alice", "done"},
      {"nick", "alice", "notfound"},
      {"nickrange", "bot", ""},
      {"IP", "2.2.2.2", ""},
  };
  for (const auto& step : steps) EXPECT_EQ(RemoveBanRule(step.kind, step.rule), step.result) << step.kind << " " << step.rule;
  EXPECT_EQ(Bans().addressRules, (Strings{"2.2.2.2"}));
  EXPECT_EQ(Bans().addressRangeRules, (std::vector<IPRange>{{"10.0.1.1", "10.0.1.9"}}));
  EXPECT_TRUE(Bans().nicknameRules.empty());
  EXPECT_EQ(Bans().nicknameRangeRules, (Strings{"bot"}));
}

TEST_F(BanRules, ListsRulesJoinedByNul) {
  Bans().addressRules = {"1.1.1.1", "2.2.*.*"};
  Bans().addressRangeRules = {{"10.0.0.1", "10.0.0.50"}};
  Bans().nicknameRules = {"Alice", "Bob"};
  EXPECT_EQ(ListBanRules("ip"), "1.1.1.1\0"s "2.2.*.*\0"s "10.0.0.1-10.0.0.50");
  EXPECT_EQ(ListBanRules("nick"), "Alice\0Bob"s);
  EXPECT_EQ(ListBanRules("nickrange"), "");
  EXPECT_EQ(ListBanRules("other"), "");
}

TEST_F(BanRules, BanUserAddsTheChosenRulesOnce) {
  Bans().addressRules = {"10.0.0.7"};
  BanUser("10.0.0.7", "Mallory", {.address = true, .nickname = true, .nicknamePart = false});
  BanUser("10.0.0.8", "Eve", {.address = true, .nickname = true, .nicknamePart = true});
  BanUser("10.0.0.9", "Trent", {.address = false, .nickname = false, .nicknamePart = true});
  EXPECT_EQ(Bans().addressRules, (Strings{"10.0.0.7", "10.0.0.8"}));
  EXPECT_EQ(Bans().nicknameRules, (Strings{"Mallory"}));
  // With both nickname boxes ticked the part rule is kept: it refuses the whole nickname too.
  EXPECT_EQ(Bans().nicknameRangeRules, (Strings{"Eve", "Trent"}));
}

TEST_F(BanRules, SavingAfterRemovingTheFirstOfThreeNicknamesRenumbers) {
  WriteBanFile("[Nick]\r\n0=first\r\n1=second\r\n2=third\r\n");
  LoadBanList();
  ASSERT_EQ(RemoveBanRule("nick", "first"), "done");
  ASSERT_EQ(SaveBanList(), 0);
  EXPECT_EQ(Stored("Nick", "0"), "third");
  EXPECT_EQ(Stored("Nick", "1"), "second");
  EXPECT_EQ(Stored("Nick", "2"), "<none>");
}

TEST_F(BanRules, SaveRewritesOnlyTheRuleSectionsAndReloadsTheSameRules) {
  WriteBanFile(
      "; kept comment\r\n"
      "stray text before any section\r\n"
      "[Nick]\r\n0=Alice\r\nnoise inside a rule section\r\n"
      "[Other]\r\nKey=Value\r\nnot an entry\r\n"
      "[IP]\r\n0=1.2.3.4\r\n");
  LoadBanList();
  ASSERT_EQ(AddBanRule("ip", "10.0.0.1-10.0.0.50"), "done");
  ASSERT_EQ(AddBanRule("nickrange", "bot"), "done");
  const BanLists before = Bans();
  ASSERT_EQ(SaveBanList(), 0);

  const std::string saved = BanFile();
  EXPECT_EQ(saved.rfind("; kept comment\r\nstray text before any section\r\n"
                        "[Other]\r\nKey=Value\r\nnot an entry\r\n", 0), 0u) << saved;
  const std::size_t ip = saved.find("[IP]\r\n0=1.2.3.4\r\n");
  const std::size_t range = saved.find("[IP-Range]\r\n0=10.0.0.1-10.0.0.50\r\n");
  const std::size_t nick = saved.find("[Nick]\r\n0=Alice\r\n");
  const std::size_t part = saved.find("[Nick-Range]\r\n0=bot\r\n");
  ASSERT_NE(part, std::string::npos) << saved;
  EXPECT_LT(ip, range);
  EXPECT_LT(range, nick);
  EXPECT_LT(nick, part);

  Bans() = {};
  LoadBanList();
  EXPECT_EQ(Bans().addressRules, before.addressRules);
  EXPECT_EQ(Bans().addressRangeRules, before.addressRangeRules);
  EXPECT_EQ(Bans().nicknameRules, before.nicknameRules);
  EXPECT_EQ(Bans().nicknameRangeRules, before.nicknameRangeRules);
}

// Whatever door a rule comes in by, the rules after a restart are the rules before it.
TEST_F(BanRules, RulesAreTheSameBeforeAndAfterASaveAndLoad) {
  const std::string cutBeforeABlank = std::string(39, 'x') + " tail";  // the 40-character cut ends in " "
  ASSERT_EQ(AddBanRule("nick", "Bad\rGuy\n"), "done");
  ASSERT_EQ(AddBanRule("nickrange", "spam\0mer"s), "done");
  ASSERT_EQ(AddBanRule("nick", cutBeforeABlank), "done");
  BanUser("5.6.7.8\n", "Troll\t", {true, true, false});
  BanUser("", "bot\rnet", {false, false, true});
  const BanLists before = Bans();
  ASSERT_EQ(SaveBanList(), 0);
  Bans() = {};
  LoadBanList();
  EXPECT_EQ(Bans().addressRules, before.addressRules);
  EXPECT_EQ(Bans().nicknameRules, before.nicknameRules);
  EXPECT_EQ(Bans().nicknameRangeRules, before.nicknameRangeRules);
  EXPECT_EQ(Bans().nicknameRules.size(), 3u);
  EXPECT_EQ(Bans().nicknameRules.back(), "Troll");
  EXPECT_EQ(Bans().nicknameRangeRules.back(), "bot net");
  EXPECT_EQ(Bans().addressRules, (Strings{"5.6.7.8"}));
  EXPECT_TRUE(IsNicknameBanned(std::string(39, 'x')));
  EXPECT_TRUE(IsAddressBanned("5.6.7.8"));

  ASSERT_EQ(ReplaceBanLists({" 1.2.3.4\r\n"}, {{"Eve\n", false}}), 0);
  const BanLists replaced = Bans();
  Bans() = {};
  LoadBanList();
  EXPECT_EQ(Bans().addressRules, replaced.addressRules);
  EXPECT_EQ(Bans().nicknameRules, replaced.nicknameRules);
}

TEST_F(BanRules, SaveReportsAFailedWriteAndKeepsTheRules) {
  // A directory where the file belongs makes the final rename fail, even for root.
  std::filesystem::create_directories(dir.path("config/ban.cfg/blocker"));
  Bans().nicknameRules = {"Alice"};
  EXPECT_NE(SaveBanList(), 0);
  EXPECT_EQ(Bans().nicknameRules, (Strings{"Alice"}));
}

TEST_F(BanRules, SettingsListsReplaceEveryRuleAsTheLoadWouldTakeThem) {
  Bans().addressRules = {"9.9.9.9"};
  Bans().nicknameRules = {"Old"};
  const int saved = ReplaceBanLists({"1.2.3.4", "10.0.0.1-10.0.0.50", "10.0.0.1-", "1.2.3.4", ""},
                                    {{"Bob", false}, {"bot", true}, {"BOB", true}, {"", true}});
  ASSERT_EQ(saved, 0);
  EXPECT_EQ(Bans().addressRules, (Strings{"1.2.3.4"}));
  EXPECT_EQ(Bans().addressRangeRules, (std::vector<IPRange>{{"10.0.0.1", "10.0.0.50"}}));
  EXPECT_EQ(Bans().nicknameRules, (Strings{"Bob"}));
  EXPECT_EQ(Bans().nicknameRangeRules, (Strings{"bot"}));
  EXPECT_EQ(Stored("IP-Range", "0"), "10.0.0.1-10.0.0.50");
  EXPECT_EQ(Stored("Nick-Range", "0"), "bot");
  EXPECT_EQ(Stored("IP", "1"), "<none>");
}

}  // namespace
}  // namespace velmorin
