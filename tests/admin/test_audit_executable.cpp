// The audit trail through the shipped executables: every administrator action from velmorin-ctl
// leaves one log line with its origin (the peer's user) and outcome and never a password; a
// SIGTERM leaves the stop with the signal; an address-banned client's refusal leaves a line.

#include <signal.h>
#include <unistd.h>

#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "admin/AdminAudit.hpp"
#include "admin/CtlRun.hpp"
#include "faults/ServerUnderTest.hpp"

namespace velmorin {
namespace {

using testing::Ctl;
using testing::CtlOptions;
using testing::CtlRun;
using testing::PollUntil;
using testing::ServerUnderTest;

constexpr const char* kAudit = "Administration (";

std::vector<std::string> LinesWith(const std::string& output, const std::string& text) {
  std::vector<std::string> lines;
  std::size_t start = 0;
  while (start < output.size()) {
    const std::size_t end = output.find('\n', start);
    const std::string line = output.substr(start, end == std::string::npos ? std::string::npos : end - start);
    if (line.find(text) != std::string::npos) lines.push_back(line);
    if (end == std::string::npos) break;
    start = end + 1;
  }
  return lines;
}

TEST(AuditExecutable, EveryCtlActionLeavesOneLineWithOriginAndOutcomeAndNoPassword) {
  ServerUnderTest server;
  ASSERT_TRUE(server.Start()) << server.Output();
  client::ChatClient bob = server.LoggedIn("Bob");
  const std::string me = "velmorin-ctl, user " + UserName(::getuid()) + " (uid " + std::to_string(::getuid()) + ")";

  const struct {
    std::vector<std::string> arguments;
    std::optional<std::string> input;
    const char* action;   // what the line says was asked
    const char* outcome;  // how it ended
  } cases[] = {
      {{"account", "add", "Ann", "--password-stdin"}, "Sesame-4711\n", "account add Ann", " - done"},
      {{"ban", "add", "ip", "10.9.8.7"}, std::nullopt, "ban add ip 10.9.8.7", " - done"},
      {{"say", "hello", "all"}, std::nullopt, "say hello all", " - done"},
      {{"kick", "Bob"}, std::nullopt, "kick Bob", " - done"},
      {{"settings", "set", "General.MaxTextLength", "300"}, std::nullopt, "settings set General.MaxTextLength 300", " - done"},
      {{"room", "add", "Temp", "--password", "Hush-0815"}, std::nullopt, "room add Temp --password ***", " - done"},
      {{"account", "remove", "nobody"}, std::nullopt, "account remove nobody", " - refused: "},
  };
  for (const auto& one : cases) {
    const CtlRun run = Ctl(server.dir(), one.arguments, CtlOptions{.input = one.input});
    const std::string expected = std::string(kAudit) + me + "): " + one.action + one.outcome;
    EXPECT_TRUE(PollUntil([&] { return server.Output().find(expected) != std::string::npos; }, std::chrono::seconds(10)))
        << expected << "\n" << run.output << "\n" << server.Output();
    EXPECT_EQ(LinesWith(server.Output(), std::string("): ") + one.action + " - ").size(), 1U) << server.Output();
  }
  // Reading leaves no line.
  for (const std::vector<std::string>& reading : {std::vector<std::string>{"status"}, {"account", "list"}, {"users"}}) {
    EXPECT_EQ(Ctl(server.dir(), reading).exit, 0);
  }
  EXPECT_EQ(LinesWith(server.Output(), kAudit).size(), std::size(cases)) << server.Output();
  EXPECT_EQ(server.Output().find("Sesame-4711"), std::string::npos);
  EXPECT_EQ(server.Output().find("Hush-0815"), std::string::npos);

  // A reload by signal is an action of its own.
  server.Signal(SIGHUP);
  EXPECT_TRUE(PollUntil([&] { return server.Output().find("Administration (SIGHUP): reload - done") != std::string::npos; },
                        std::chrono::seconds(10)))
      << server.Output();

  // The stop names the signal and who sent it.
  EXPECT_EQ(server.Stop(), 0);
  EXPECT_NE(server.Output().find("The server stops: SIGTERM from process " + std::to_string(::getpid())),
            std::string::npos)
      << server.Output();
}

TEST(AuditExecutable, AnAddressBannedClientIsRefusedWithARateLimitedLine) {
  ServerUnderTest server;
  ASSERT_TRUE(server.Start()) << server.Output();
  ASSERT_EQ(Ctl(server.dir(), {"ban", "add", "ip", "127.0.0.1"}).exit, 0);
  constexpr int kAttempts = 12;
  for (int attempt = 0; attempt < kAttempts; ++attempt) {
    client::ChatClient refused;
    (void)refused.Connect("127.0.0.1", server.ListeningPort(), testing::kWait);
  }
  const std::string refusal = "Connection from 127.0.0.1 refused: the address is banned.";
  ASSERT_TRUE(PollUntil([&] { return server.Output().find(refusal) != std::string::npos; }, std::chrono::seconds(10)))
      << server.Output();
  // Five lines a second from one address at most; the rest are counted.
  EXPECT_LT(LinesWith(server.Output(), refusal).size(), static_cast<std::size_t>(kAttempts)) << server.Output();
  EXPECT_TRUE(PollUntil([&] { return server.Output().find("127.0.0.1: ") != std::string::npos && server.Output().find("more ErrorDenied lines") != std::string::npos; }, std::chrono::seconds(5)))
      << server.Output();
}

}  // namespace
}  // namespace velmorin
