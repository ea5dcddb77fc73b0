// velmorin-ctl against the shipped server: a headless server in a temporary program directory,
// reached through its control socket with the real velmorin-ctl, and what that costs the
// server's chat clients when a control client misbehaves.

#include <filesystem>
#include <iostream>
#include <map>
#include <memory>
#include <regex>
#include <set>
#include <sstream>
#include <string>

#include <gtest/gtest.h>

#include "admin/ControlTestClient.hpp"
#include "admin/CtlRun.hpp"
#include "faults/ServerUnderTest.hpp"
#include "ctl/HelpTable.hpp"
#include "platform/ProgramPaths.hpp"
#include "support/ChildProcess.hpp"
#include "support/TempProgramDir.hpp"

namespace velmorin {
namespace {

using testing::ChildProcess;
using testing::Ctl;
using testing::CtlIn;
using testing::CtlRun;
using testing::ControlTestClient;
using testing::ServerUnderTest;

constexpr char kNul = '\0';

TEST(ControlExecutable, ExitStatusTellsNotRunningUsageAndDone) {
  ServerUnderTest server;
  // No server yet, and later the socket a killed server left behind: both are "not running".
  EXPECT_EQ(Ctl(server.dir(), {"status"}).exit, 3);
  ASSERT_TRUE(server.Start()) << server.Output();

  const struct {
    std::vector<std::string> arguments;
    int exit;
    const char* says;
  } cases[] = {
      {{"nosuch"}, 2, "unknown command: nosuch"},
      {{"--json", "nosuch"}, 2, "\"status\":\"usage\""},
      {{}, 2, "no command given"},
      {{"--bogus", "status"}, 2, "unknown option"},
      {{"log", "follow", "now"}, 2, "usage: log follow"},
      {{"--help"}, 0, "Exit status"},
      {{"account", "add", "--help"}, 0, "--password-stdin"},
      {{"--password-stdin", "nosuch"}, 2, "--password-stdin is for account"},
      // Standard input is empty here.
      {{"account", "add", "bob", "--password-stdin"}, 2, "no password on standard input"},
      {{"--program-dir", server.dir().path("elsewhere"), "status"}, 3, "no server runs"},
  };
  for (const auto& one : cases) {
    const CtlRun run = Ctl(server.dir(), one.arguments);
    EXPECT_EQ(run.exit, one.exit) << run.output;
    EXPECT_NE(run.output.find(one.says), std::string::npos) << run.output;
  }
  const CtlRun version = Ctl(server.dir(), {"--version"});
  EXPECT_EQ(version.exit, 0);
  EXPECT_EQ(version.output, "velmorin-ctl " + RunningVersion() + "\n");

  server.Kill();
  EXPECT_TRUE(std::filesystem::exists(server.dir().path("run/control.sock")));
  EXPECT_EQ(Ctl(server.dir(), {"status"}).exit, 3);
  // The next server replaces the stale socket.
  server.Launch();
  ASSERT_TRUE(server.WaitUntilOnline()) << server.Output();
  EXPECT_EQ(Ctl(server.dir(), {"nosuch"}).exit, 2);
  EXPECT_EQ(server.Stop(), 0);
  EXPECT_FALSE(std::filesystem::exists(server.dir().path("run/control.sock")));
}

// The completion shipped beside velmorin-ctl offers every command of the help, its second word,
// and each option its usage names.
TEST(ControlExecutable, BashCompletionOffersEveryCommandAndOptionOfTheHelp) {
  testing::TempProgramDir dir;
  const std::string script = std::string(VELMORIN_DIST_DIR) + "/velmorin-ctl.bash";
  ASSERT_TRUE(std::filesystem::exists(script));
  // "offer WORDS... ''" completes the empty word after WORDS and prints "WORDS |offers".
  std::string run = "source '" + script + "'\n";
  run += "offer() { COMP_WORDS=(velmorin-ctl \"$@\"); COMP_CWORD=$#; _velmorin_ctl; echo \"$*|${COMPREPLY[*]}\"; }\n";
  run += "offer ''\n";
  for (const ctl::CommandHelp& entry : ctl::HelpTable()) {
    std::istringstream words(entry.words);
    std::string first;
    words >> first;
    run += "offer " + first + " ''\n";
    run += std::string("offer ") + entry.words + " ''\n";
  }
  ChildProcess bash("/bin/bash", {"--norc", "-c", run}, dir.path("completion.out"));
  ASSERT_EQ(bash.WaitForExit(), 0) << bash.Output();
  std::map<std::string, std::set<std::string>> offers;  // typed words and a blank -> offered words
  std::istringstream lines(bash.Output());
  for (std::string line; std::getline(lines, line);) {
    const std::size_t bar = line.find('|');
    if (bar == std::string::npos) continue;
    std::istringstream offered(line.substr(bar + 1));
    for (std::string word; offered >> word;) offers[line.substr(0, bar)].insert(word);
  }
  const auto offered = [&](const std::string& typed, const std::string& word) { return offers[typed].count(word) == 1; };
  const std::regex option("--[a-z-]+");
  for (const ctl::CommandHelp& entry : ctl::HelpTable()) {
    std::istringstream split(entry.words);
    std::vector<std::string> words;
    for (std::string word; split >> word;) words.push_back(word);
    EXPECT_TRUE(offered("", words[0])) << entry.words << "\n" << bash.Output();
    if (words.size() == 2) {
      EXPECT_TRUE(offered(words[0] + " ", words[1])) << entry.words << "\n" << bash.Output();
    }
    const std::string usage = entry.usage;
    for (auto name = std::sregex_iterator(usage.begin(), usage.end(), option); name != std::sregex_iterator(); ++name) {
      EXPECT_TRUE(offered(std::string(entry.words) + " ", name->str())) << entry.words << " " << name->str();
    }
  }
  EXPECT_TRUE(offered("", "--version"));
}

TEST(ControlExecutable, ASecondServerOnTheSameDirectoryIsRefused) {
  ServerUnderTest server;
  ASSERT_TRUE(server.Start()) << server.Output();
  ChildProcess second(server.dir().path("velmorin-server"), {"--headless"}, server.dir().path("second.out"));
  EXPECT_EQ(second.WaitForExit(), 1);
  EXPECT_NE(second.Output().find("already runs in"), std::string::npos) << second.Output();
  // The first one is untouched and still answers.
  EXPECT_EQ(Ctl(server.dir(), {"nosuch"}).exit, 2);
  EXPECT_TRUE(server.Users().has_value());
}

TEST(ControlExecutable, LogFollowGetsTheLinesWrittenAfterItSubscribed) {
  ServerUnderTest server;
  ASSERT_TRUE(server.Start()) << server.Output();
  for (const bool json : {true, false}) {
    std::vector<std::string> arguments = {"log", "follow"};
    if (json) arguments.insert(arguments.begin(), "--json");
    ChildProcess follow(CtlIn(server.dir()), arguments, server.dir().path("follow.out"));
    ASSERT_TRUE(follow.WaitFor(json ? "\"status\":\"done\"" : "following the log")) << follow.Output();
    const std::string nick = json ? "Ann" : "Bob";
    client::ChatClient user = server.LoggedIn(nick);
    ASSERT_TRUE(follow.WaitFor(nick)) << follow.Output();
    if (json) {
      EXPECT_TRUE(follow.WaitFor("{\"type\":\"Connected\",\"color\":\"#")) << follow.Output();
    } else {
      // Not a terminal: no colour codes.
      EXPECT_EQ(follow.Output().find('\x1b'), std::string::npos);
    }
  }
  // With a backlog, the lines written before come first: both logins.
  ChildProcess backlog(CtlIn(server.dir()), {"log", "follow", "--lines", "50"}, server.dir().path("backlog.out"));
  EXPECT_TRUE(backlog.WaitFor("Bob")) << backlog.Output();
  EXPECT_NE(backlog.Output().find("Ann"), std::string::npos) << backlog.Output();
}

TEST(ControlExecutable, AControlClientThatNeverReadsDoesNotDisturbChatTraffic) {
  ServerUnderTest server;
  ASSERT_TRUE(server.Start()) << server.Output();
  client::ChatClient ann = server.LoggedIn("Ann");
  client::ChatClient bob = server.LoggedIn("Bob");
  ASSERT_TRUE(ann.Send("createChatroom", std::string("r") + kNul + kNul + kNul));
  ASSERT_TRUE(ann.ReceiveCommand("acceptChatroom", testing::kWait));
  ASSERT_TRUE(bob.Send("joinChatroom", std::string("r") + kNul));
  ASSERT_TRUE(bob.ReceiveCommand("acceptChatroom", testing::kWait));

  ControlTestClient hog(server.dir().path("run/control.sock"));
  ASSERT_TRUE(hog.connected());
  std::string requests;
  for (int i = 0; i < 100; ++i) requests += "{\"v\":1,\"words\":[\"nosuch\"]}\n";
  int messages = 0;
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
  while (!hog.sendFailed() && std::chrono::steady_clock::now() < deadline) {
    for (int i = 0; i < 20; ++i) hog.SendSome(requests);
    const std::string text = "still here " + std::to_string(messages);
    ASSERT_TRUE(ann.Send("message", std::string("normal") + kNul + kNul + text));
    const auto received = bob.ReceiveCommand("message", testing::kWait);
    ASSERT_TRUE(received) << "chat stalled after " << messages << " messages";
    EXPECT_NE(received->payload.find(text), std::string::npos);
    ++messages;
  }
  EXPECT_TRUE(hog.sendFailed()) << "the server kept a client that never reads";
  EXPECT_EQ(Ctl(server.dir(), {"nosuch"}).exit, 2);
}

TEST(ControlExecutable, SilentConnectionsLockTheAdministratorOutOnlyUntilTheirRequestTimeOut) {
  ServerUnderTest server;
  ASSERT_TRUE(server.Start()) << server.Output();
  // Every slot held by a connection that never sends a request.
  std::vector<std::unique_ptr<ControlTestClient>> silent;
  for (int i = 0; i < 16; ++i) {
    silent.push_back(std::make_unique<ControlTestClient>(server.dir().path("run/control.sock")));
    ASSERT_TRUE(silent.back()->ReadLine().has_value()) << "greeting " << i;
  }
  const auto filled = std::chrono::steady_clock::now();
  const CtlRun locked = Ctl(server.dir(), {"status"});
  EXPECT_EQ(locked.exit, 4);
  EXPECT_NE(locked.output.find("the server refused the connection: too many control connections"), std::string::npos)
      << locked.output;

  // Each silent connection hears why it goes, and the administrator gets in again.
  for (auto& connection : silent) {
    const auto line = connection->ReadLine(std::chrono::seconds(30));
    ASSERT_TRUE(line.has_value());
    EXPECT_NE(line->find("no request within 10 seconds"), std::string::npos) << *line;
  }
  const auto freed = std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - filled);
  EXPECT_GE(freed.count(), 9000);
  const CtlRun status = Ctl(server.dir(), {"status"});
  EXPECT_EQ(status.exit, 0) << status.output;
  std::cout << "[ figures  ] 16 silent control connections closed after " << freed.count() << " ms\n";
}

}  // namespace
}  // namespace velmorin
