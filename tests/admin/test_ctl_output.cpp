// velmorin-ctl's human output: fields and tables aligned by characters (not bytes), log lines
// in their colour on a terminal only, and nothing from the server that a terminal would obey.

#include <set>
#include <sstream>
#include <string>

#include <gtest/gtest.h>

#include "admin/AdminControl.hpp"
#include "ctl/HelpTable.hpp"
#include "ctl/Render.hpp"
#include "platform/Json.hpp"

namespace velmorin::ctl {
namespace {

TEST(CtlOutput, FieldsAndTableAreAlignedByCharacters) {
  const auto reply = ParseJson(
      R"({"status":"done","fields":{"users":"3","b\u00e9bytes in":"12"},)"
      R"("table":{"columns":["id","nick"],"rows":[["1","Ann\u00e9"],["12345","Bo"]]}})");
  ASSERT_TRUE(reply);
  std::ostringstream out;
  RenderBody(*reply, out);
  EXPECT_EQ(out.str(),
            "users:      3\n"
            "b\xC3\xA9" "bytes in: 12\n"
            "id     nick\n"
            "1      Ann\xC3\xA9\n"
            "12345  Bo\n");
}

TEST(CtlOutput, LogLinesAreColouredOnATerminalAndNeverCarryEscapes) {
  const auto line = ParseJson(R"({"type":"Connected","color":"#FF8001","text":"a\u001b[2Jb"})");
  ASSERT_TRUE(line);
  std::ostringstream plain, coloured;
  RenderLogLine(*line, false, plain);
  RenderLogLine(*line, true, coloured);
  EXPECT_EQ(plain.str(), "a[2Jb\n");
  EXPECT_EQ(coloured.str(), "\x1b[38;2;255;128;1ma[2Jb\x1b[0m\n");
  // A colour that is not #RRGGBB is left out rather than sent to the terminal.
  std::ostringstream odd;
  RenderLogLine(*ParseJson(R"({"color":"#12;31m","text":"x"})"), true, odd);
  EXPECT_EQ(odd.str(), "x\n");
}

// What a client or plugin chose (a version, a nickname, a log line) never reaches the terminal
// as a control: no escape, no bell, no C1 control, no line break inside a row.
TEST(CtlOutput, FieldsCellsAndLogLinesCarryNoControlCharacters) {
  const auto reply = ParseJson(
      R"({"status":"done","fields":{"away\u001b[2J":"back\r\nforged: 1"},)"
      R"("table":{"columns":["id","version"],"rows":[["1","a\u001b]52;c;eA==\u0007\u009b2J\r\n2  fake"]]}})");
  ASSERT_TRUE(reply);
  std::ostringstream body;
  RenderBody(*reply, body);
  EXPECT_EQ(body.str(),
            "away[2J: backforged: 1\n"
            "id  version\n"
            "1   a]52;c;eA==2J2  fake\n");
  std::ostringstream log;
  RenderLogLine(*ParseJson(R"({"text":"one\r\ntwo\u0007\u009d0;t\u009c"})"), false, log);
  EXPECT_EQ(log.str(), "one\ntwo0;t\n");
}

TEST(CtlOutput, HelpOfACommandIsFoundFromItsWords) {
  const struct {
    std::vector<std::string> words;
    std::size_t entries;
    const char* first;
  } cases[] = {
      {{"account", "add", "bob"}, 1, "account add"},
      {{"account"}, 4, "account add"},
      {{"log", "follow"}, 1, "log follow"},
      {{"nosuch"}, HelpTable().size(), "status"},
  };
  for (const auto& one : cases) {
    const auto found = HelpFor(one.words);
    EXPECT_EQ(found.size(), one.entries) << one.first;
    EXPECT_STREQ(found.front().words, one.first);
  }
}

// The help is written apart from the handlers; each entry must be what the server's usage line
// for that command says, apart from velmorin-ctl's own --password-stdin, and every command the
// server registers must have help.
TEST(CtlOutput, HelpSaysWhatTheServersUsageLinesSay) {
  testing::ServerHarness server;
  ASSERT_TRUE(server.Start());
  const std::vector<std::string> registered = server.Call([](ChatServer& s) {
    AdminService service(s);
    ControlRegistry registry;
    service.RegisterControlCommands(registry);
    return registry.Commands();
  });
  std::set<std::string> helped;
  for (const CommandHelp& entry : HelpTable()) {
    const std::vector<std::string> words = testing::Words(entry.words);
    helped.insert(words.front());
    if (words.front() == "log") continue;  // answered by the control server, not a handler
    // Two unknown options are wrong words for every command, so each answers its usage line.
    const ControlReply reply = testing::Control(server, {words.front(), "--bogus", "--bogus"});
    ASSERT_EQ(reply.status, ControlStatus::Usage) << entry.words;
    std::string usage = entry.usage;
    if (const std::size_t own = usage.find(" [--password-stdin]"); own != std::string::npos) usage.erase(own);
    const std::string line = std::string(entry.words) + (usage.empty() ? "" : " " + usage);
    EXPECT_NE(reply.message.find(line), std::string::npos) << line << "\n" << reply.message;
  }
  for (const std::string& command : registered) EXPECT_TRUE(helped.count(command) != 0) << command;
}

}  // namespace
}  // namespace velmorin::ctl
