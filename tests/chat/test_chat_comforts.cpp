// The everyday comforts of velmorin-chat as functions: command aliases and the away state as
// typed lines parse, colour names, Tab completion, mentions and alerts, timestamps, the away
// answer, the single copy of a message to oneself, the nicknames known for completion, and
// where the input line starts after a resize.

#include <gtest/gtest.h>

#include <algorithm>
#include <ctime>
#include <optional>
#include <string>
#include <vector>

#include "term/Away.hpp"
#include "term/Colors.hpp"
#include "term/Commands.hpp"
#include "term/Completion.hpp"
#include "term/LineEditor.hpp"
#include "term/Render.hpp"
#include "term/Roster.hpp"
#include "term/Screen.hpp"

namespace velmorin::term {
namespace {

using namespace std::string_literals;
using Action = ParsedLine::Action;

CommandContext InLobby() {
  CommandContext context;
  context.nickname = "Alice";
  context.loginKey = "KEY";
  context.sessionKey = "SESSION";
  context.room = "Lobby";
  return context;
}

client::Packet P(std::string command, std::string payload) { return client::Packet{std::move(command), std::move(payload)}; }

// /part and /leave go back to the standard room; they never leave the server.
TEST(ChatCommands, PartGoesBackToTheRoomEverybodyStartsIn) {
  CommandContext context = InLobby();
  EXPECT_EQ(ParseLine("/part", context).action, Action::kRefuse) << "no standard room";
  context.homeRoom = "lobby";
  EXPECT_EQ(ParseLine("/leave", context).action, Action::kNote) << "already there";
  context.room = "Den";
  const ParsedLine parsed = ParseLine("/part", context);
  ASSERT_EQ(parsed.action, Action::kSend);
  EXPECT_EQ(parsed.requests.front().command, "joinChatroom");
  EXPECT_EQ(parsed.requests.front().payload, "lobby\0"s);
}

TEST(ChatCommands, AliasesDoWhatTheirCommandDoes) {
  struct Case {
    const char* line;
    Action action;
    const char* command;  // of the first request; "" for none
    std::string payload;
  };
  const std::vector<Case> cases = {
      {"/j Den", Action::kSend, "joinChatroom", "Den\0"s},
      {"/J Den", Action::kSend, "joinChatroom", "Den\0"s},
      {"/exit gone", Action::kQuit, "quit", "gone"},
      {"/w bo", Action::kSend, "findPerson", "bo"},
      {"/whois bob", Action::kSend, "findPerson", "bob"},
      {"/who", Action::kSend, "getUserlist", "Lobby"},
      {"/query Bob psst", Action::kSend, "message", "private\0Bob\0psst"s},
      {"/colour purple", Action::kSend, "setColor", "8388736"},
      {"/clear", Action::kClear, "", ""},
      {"hi Bob ", Action::kSend, "message", "normal\0\0hi Bob"s},
  };
  for (const Case& c : cases) {
    const ParsedLine parsed = ParseLine(c.line, InLobby());
    EXPECT_EQ(parsed.action, c.action) << c.line;
    if (std::string(c.command).empty()) {
      EXPECT_TRUE(parsed.requests.empty()) << c.line;
      continue;
    }
    ASSERT_FALSE(parsed.requests.empty()) << c.line;
    EXPECT_EQ(parsed.requests.front().command, c.command) << c.line;
    EXPECT_EQ(parsed.requests.front().payload, c.payload) << c.line;
  }
}

TEST(ChatCommands, AWrongCommandGetsOneLineNamingItsUsage) {
  for (const char* line : {"/msg", "/msg Bob", "/j", "/query", "/color", "/color nosuch", "/nosuch"}) {
    const ParsedLine parsed = ParseLine(line, InLobby());
    if (std::string(line) == "/query") {
      EXPECT_EQ(parsed.action, Action::kNote) << line;
      continue;
    }
    EXPECT_EQ(parsed.action, Action::kRefuse) << line;
    EXPECT_EQ(parsed.message.find('\n'), std::string::npos) << parsed.message;
    EXPECT_LT(parsed.message.size(), 200u) << parsed.message;
  }
  EXPECT_EQ(ParseLine("/msg Bob", InLobby()).message, "Usage: /msg NICK TEXT");
  EXPECT_EQ(ParseLine("/j", InLobby()).message, "Usage: /join ROOM [PASSWORD]");
  EXPECT_NE(ParseLine("/color", InLobby()).message.find("purple"), std::string::npos);
}

TEST(ChatCommands, AwayAndBackChangeTheStateOnlyWhenItChanges) {
  struct Case {
    bool away;
    const char* awayText;
    const char* line;
    Action action;        // kSend tells the room
    const char* message;  // the start of what is said locally
    bool awayAfter;
  };
  const std::vector<Case> cases = {
      {false, "", "/away lunch", Action::kSend, "", true},
      {true, "lunch", "/away lunch", Action::kNote, "You are already away.", true},
      {true, "lunch", "/away meeting", Action::kNote, "You are still away", true},
      {true, "lunch", "/back", Action::kSend, "", false},
      {false, "", "/back", Action::kNote, "You are not away.", false},
  };
  for (const Case& c : cases) {
    CommandContext context = InLobby();
    context.away = c.away;
    context.awayText = c.awayText;
    const ParsedLine parsed = ParseLine(c.line, context);
    EXPECT_EQ(parsed.action, c.action) << c.line << " away " << c.away;
    EXPECT_EQ(parsed.message.rfind(c.message, 0), 0u) << parsed.message;
    EXPECT_EQ(parsed.away.value_or(c.away), c.awayAfter) << c.line;
  }
}

TEST(ChatCommands, AQuerySendsPlainTextPrivatelyUntilItEnds) {
  const ParsedLine opened = ParseLine("/query Bob", InLobby());
  EXPECT_EQ(opened.action, Action::kNote);
  EXPECT_EQ(opened.query, "Bob");

  CommandContext context = InLobby();
  context.query = "Bob";
  for (const auto& [line, text] : std::vector<std::pair<std::string, std::string>>{{"hi there", "hi there"},
                                                                                  {"//slash", "/slash"}}) {
    const ParsedLine parsed = ParseLine(line, context);
    ASSERT_EQ(parsed.requests.size(), 1u) << line;
    EXPECT_EQ(parsed.requests[0].payload, "private\0Bob\0"s + text) << line;
    EXPECT_EQ(parsed.expect.kind, Expectation::Kind::kPrivateEcho);
  }
  const ParsedLine ended = ParseLine("/query", context);
  EXPECT_EQ(ended.query, "");
  EXPECT_EQ(ParseLine("hi", InLobby()).requests[0].payload, "normal\0\0hi"s);
}

TEST(ChatColors, NamesNumbersAndHexAllGiveTheProtocolsBgrValue) {
  struct Case {
    const char* text;
    std::optional<long> value;  // 0x00BBGGRR
  };
  const std::vector<Case> cases = {
      {"purple", 0x800080}, {"Purple", 0x800080}, {"red", 0x0000FF},  {"blue", 0xFF0000},
      {"orange", 0x0080FF}, {"#FF8000", 0x0080FF}, {"255", 0x0000FF}, {"nosuch", std::nullopt},
      {"", std::nullopt},   {"#12345", std::nullopt},
  };
  for (const Case& c : cases) EXPECT_EQ(ParseColor(c.text), c.value) << c.text;
  // Names the server would ignore are known, and refused for being too light.
  EXPECT_TRUE(IsTooLight(*ParseColor("white")));
  EXPECT_FALSE(IsTooLight(*ParseColor("yellow")));  // exactly the lightest accepted
  EXPECT_EQ(ParseLine("/color white", InLobby()).action, Action::kRefuse);
}

TEST(ChatCompletion, CommandsAtTheStartAndNicknamesAnywhere) {
  const std::vector<std::string> nicks = {"bob", "Bea", "Carl", "BOB"};
  const std::vector<std::string> commands = {"join", "j", "msg", "me"};
  using V = std::vector<std::string>;
  EXPECT_EQ(CompletionCandidates("/m", true, nicks, commands), (V{"/me ", "/msg "}));
  EXPECT_EQ(CompletionCandidates("/m", false, nicks, commands), V{});  // a path in the text
  EXPECT_EQ(CompletionCandidates("b", true, nicks, commands), (V{"Bea: ", "bob: "}));
  EXPECT_EQ(CompletionCandidates("ca", false, nicks, commands), V{"Carl "});
  EXPECT_EQ(CompletionCandidates("x", false, nicks, commands), V{});
}

TEST(ChatCompletion, RepeatedTabsCycleInPlaceAndAnotherKeyStartsAfresh) {
  Completer completer;
  completer.SetNicknames([] { return std::vector<std::string>{"Bob", "Bea"}; });
  std::string line = "hi b and more";
  std::size_t cursor = 4;  // after "hi b"
  ASSERT_TRUE(completer.Complete(line, cursor));
  EXPECT_EQ(line, "hi Bea  and more");
  EXPECT_EQ(cursor, 7u);
  ASSERT_TRUE(completer.Complete(line, cursor));
  EXPECT_EQ(line, "hi Bob  and more");
  ASSERT_TRUE(completer.Complete(line, cursor));
  EXPECT_EQ(line, "hi Bea  and more");
  completer.Reset();
  std::string other = "zz";
  std::size_t end = 2;
  EXPECT_FALSE(completer.Complete(other, end));
  EXPECT_EQ(other, "zz");
}

TEST(ChatAlerts, AMentionIsTheNicknameAsAWordOfItsOwn) {
  const std::vector<std::pair<const char*, bool>> cases = {
      {"alice: hi", true},  {"hi ALICE!", true},     {"see alice", true}, {"alicesmith", false},
      {"malice", false},    {"alice_x", true},       {"", false},         {"ali", false},
  };
  for (const auto& [text, mentioned] : cases) EXPECT_EQ(MentionsName(text, "Alice"), mentioned) << text;
  EXPECT_TRUE(MentionsName("hey [Bob]!", "[Bob]"));
}

TEST(ChatAlerts, PrivateMessagesFromOthersAndMentionsAlertAndEventsAreStamped) {
  struct Case {
    client::Packet packet;
    bool alert;
    bool stamped;
  };
  const std::vector<Case> cases = {
      {P("message", "private\0Bob\0Alice\0" "0\0psst"s), true, true},
      {P("message", "private\0Alice\0Bob\0" "0\0psst"s), false, true},
      {P("message", "normal\0Bob\0" "0\0hey alice"s), true, true},
      {P("message", "me\0Bob\0" "0\0waves at Alice"s), true, true},
      {P("message", "normal\0Alice\0" "0\0I am alice"s), false, true},
      {P("message", "normal\0Bob\0" "0\0hey all"s), false, true},
      {P("userJoined", "Bob\0" "0\0Lobby\0" "0\0" "0"s), false, true},
      {P("searchResult", "Bob\x01Lobby\x01" "0"s), false, false},
  };
  for (const Case& c : cases) {
    const std::vector<Line> lines = RenderPacket(c.packet, "Alice");
    ASSERT_FALSE(lines.empty());
    EXPECT_EQ(lines.back().IsAlert(), c.alert) << c.packet.payload;
    EXPECT_EQ(lines.back().IsStamped(), c.stamped) << c.packet.command;
  }
}

TEST(ChatScreen, TimestampsAreHoursAndMinutesWithLeadingZeros) {
  std::tm at{};
  at.tm_hour = 9;
  at.tm_min = 5;
  EXPECT_EQ(Timestamp(at), "[09:05] ");
  at.tm_hour = 23;
  at.tm_min = 59;
  EXPECT_EQ(Timestamp(at), "[23:59] ");
}

TEST(ChatAway, APrivateMessageWhileAwayIsAnsweredOncePerSenderAndAbsence) {
  AwayState away;
  const client::Packet fromBob = P("message", "private\0Bob\0Alice\0" "0\0hi"s);
  EXPECT_FALSE(away.AnswerTo(fromBob, "Alice"));  // not away
  away.Set(true, "at lunch");
  EXPECT_EQ(away.AnswerTo(fromBob, "Alice"), "Bob\0at lunch"s);
  EXPECT_FALSE(away.AnswerTo(fromBob, "Alice"));
  EXPECT_FALSE(away.AnswerTo(P("message", "private\0BOB\0Alice\0" "0\0again"s), "Alice"));
  EXPECT_FALSE(away.AnswerTo(P("message", "private\0Alice\0Bob\0" "0\0mine"s), "Alice"));
  EXPECT_FALSE(away.AnswerTo(P("message", "normal\0Carl\0" "0\0room"s), "Alice"));
  away.Set(true, "still at lunch");  // the same absence
  EXPECT_FALSE(away.AnswerTo(fromBob, "Alice"));
  away.Set(false, "");
  away.Set(true, "again");
  EXPECT_EQ(away.AnswerTo(fromBob, "Alice"), "Bob\0again"s);
  // The list of those answered has a bound: beyond it nobody new is answered.
  for (std::size_t i = 0; i < AwayState::kMaxAnswered + 5; ++i)
    away.AnswerTo(P("message", "private\0U"s + std::to_string(i) + "\0Alice\0" "0\0x"s), "Alice");
  EXPECT_FALSE(away.AnswerTo(P("message", "private\0Late\0Alice\0" "0\0x"s), "Alice"));
}

TEST(ChatAway, AMessageToOneselfIsShownOnceEvenWhenSentTwice) {
  SelfMessageFilter filter;
  const client::Packet self = P("message", "private\0Alice\0alice\0" "0\0note"s);
  const client::Packet other = P("message", "private\0Bob\0Alice\0" "0\0note"s);
  std::vector<bool> shown;
  for (const client::Packet* packet : {&self, &self, &self, &self, &other, &other, &self})
    shown.push_back(filter.Show(*packet, "Alice"));
  EXPECT_EQ(shown, (std::vector<bool>{true, false, true, false, true, true, true}));
}

TEST(ChatRoster, KnowsWhoIsOnlineFromWhatArrives) {
  Roster roster;
  roster.Observe(P("userlist", "Lobby\0Alice\x01" "0\x01" "0\x01" "0\r\nBob\x01" "0\x01" "1\x01" "0"s));
  roster.Observe(P("userJoined", "Carl\0" "0\0Lobby\0" "0\0" "0"s));
  roster.Observe(P("message", "private\0Dora\0Alice\0" "0\0hi"s));
  roster.Observe(P("userLeft", "Bob\0Lobby\0Den\0"s));  // moved: still online
  roster.Observe(P("userLeft", "carl\0Lobby\0\0bye"s));  // left the server
  roster.Observe(P("message", "server\0Maintenance"s));
  std::vector<std::string> names = roster.Names("alice");
  std::sort(names.begin(), names.end());
  EXPECT_EQ(names, (std::vector<std::string>{"Bob", "Dora"}));

  Roster full;
  for (std::size_t i = 0; i < Roster::kMaxNames + 10; ++i) full.Observe(P("userJoined", "U" + std::to_string(i)));
  EXPECT_EQ(full.Names("").size(), Roster::kMaxNames);
}

TEST(ChatResize, TheInputLineStartsWhereTheTerminalPutTheCursor) {
  struct Case {
    std::size_t cursorColumn, columns, reported;
    std::size_t rowsUp;
  };
  const std::vector<Case> cases = {
      {30, 80, 31, 0},  // wider or still wide enough: nothing wrapped before the cursor
      {58, 20, 19, 2},  // wrapped: 58 = 2 rows of 20 and column 18
      {58, 20, 20, 0},  // cut: the cursor stays on its row, at the last column
      {59, 20, 20, 0},  // ambiguous (column 19 either way): taken as cut
      {25, 20, 6, 1},
      {58, 20, 0, 0},   // no usable report
  };
  for (const Case& c : cases)
    EXPECT_EQ(RowsAboveAfterResize(c.cursorColumn, c.columns, c.reported), c.rowsUp)
        << c.cursorColumn << " " << c.columns << " " << c.reported;
}

}  // namespace
}  // namespace velmorin::term
