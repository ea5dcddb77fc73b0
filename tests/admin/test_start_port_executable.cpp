// The port given on the command line against the shipped server: it holds through reloads,
// unrelated settings and an offline/online cycle, until the administrator changes the port
// setting itself; every move of the listener is logged, and a busy port is refused.

#include <signal.h>

#include <functional>
#include <string>

#include <gtest/gtest.h>

#include "admin/CtlRun.hpp"
#include "faults/ServerUnderTest.hpp"
#include "platform/Text.hpp"
#include "support/PortHolder.hpp"

namespace velmorin {
namespace {

using testing::Ctl;
using testing::CtlRun;
using testing::ServerUnderTest;

std::size_t Count(const std::string& text, const std::string& part) {
  std::size_t count = 0;
  for (std::size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) ++count;
  return count;
}

// A client gets the welcome on that port.
bool Welcomed(std::uint16_t port) {
  client::ChatClient client;
  return client.Connect("127.0.0.1", port, testing::kWait) && client.ReceiveWelcome(testing::kWait).has_value();
}

// Discovery answers on that port (asked again while its replies per second are used up).
bool Discovered(const ServerUnderTest& server, std::uint16_t port) {
  return testing::PollUntil([&] { return server.UsersOn(port).has_value(); }, testing::kWait);
}

// A log line naming both ports.
bool LoggedMove(const std::string& output, std::uint16_t from, std::uint16_t to) {
  for (const std::string& line : Split(output, "\n")) {
    if (line.find(std::to_string(from)) != std::string::npos && line.find(std::to_string(to)) != std::string::npos) {
      return true;
    }
  }
  return false;
}

TEST(StartPort, HoldsUntilThePortSettingChangesAndEveryMoveIsLogged) {
  ServerUnderTest server;
  const std::uint16_t configured = server.port();
  const std::uint16_t given = testing::FreeLoopbackPort();
  server.CommandLinePort(given);
  ASSERT_TRUE(server.Start()) << server.Output();

  const auto ctl = [&](std::vector<std::string> words) {
    const CtlRun run = Ctl(server.dir(), words);
    EXPECT_EQ(run.exit, 0) << run.output;
  };
  const struct {
    const char* name;
    std::function<void()> act;
  } actions[] = {
      {"SIGHUP",
       [&] {
         const std::size_t before = Count(server.Output(), "were read again and applied");
         server.Signal(SIGHUP);
         EXPECT_TRUE(testing::PollUntil(
             [&] { return Count(server.Output(), "were read again and applied") > before; }, testing::kWait));
       }},
      {"reload", [&] { ctl({"reload"}); }},
      {"an unrelated setting", [&] { ctl({"settings", "set", "General.MaxUserCount", "2"}); }},
      {"offline and online",
       [&] {
         ctl({"offline"});
         ctl({"online"});
       }},
  };
  for (const auto& action : actions) {
    SCOPED_TRACE(action.name);
    action.act();
    EXPECT_TRUE(Discovered(server, given)) << server.Output();
    EXPECT_FALSE(server.UsersOn(configured).has_value());
    EXPECT_TRUE(Welcomed(given)) << server.Output();
  }

  // The administrator changes the port setting: the listener and discovery move, and say so.
  const std::uint16_t chosen = testing::FreeLoopbackPort();
  ctl({"settings", "set", "General.Port", std::to_string(chosen)});
  EXPECT_TRUE(Welcomed(chosen)) << server.Output();
  EXPECT_TRUE(Discovered(server, chosen));
  EXPECT_TRUE(LoggedMove(server.Output(), given, chosen)) << server.Output();

  // A busy port is refused, and nothing changes.
  testing::PortHolder busy;
  ASSERT_TRUE(busy.listening());
  const CtlRun refused = Ctl(server.dir(), {"settings", "set", "General.Port", std::to_string(busy.port())});
  EXPECT_EQ(refused.exit, 1) << refused.output;
  EXPECT_NE(refused.output.find(std::to_string(busy.port())), std::string::npos) << refused.output;
  EXPECT_NE(server.dir().read("config/server.cfg").find("Port=" + std::to_string(chosen)), std::string::npos);
  EXPECT_EQ(Ctl(server.dir(), {"settings", "get", "General.Port"}).output.find(std::to_string(busy.port())),
            std::string::npos);
  EXPECT_TRUE(Welcomed(chosen)) << server.Output();
  EXPECT_TRUE(Discovered(server, chosen));
  EXPECT_EQ(server.Stop(), 0);
}

}  // namespace
}  // namespace velmorin
