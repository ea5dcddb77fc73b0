// Going online and offline, the status display and the traffic counters of the running server.

#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstring>
#include <filesystem>

#include "client/PacketDecoder.hpp"
#include "codec/PacketWriter.hpp"
#include "config/BanRules.hpp"
#include "config/WelcomeMessage.hpp"
#include "platform/Text.hpp"
#include "support/PortHolder.hpp"
#include "support/ServerHarness.hpp"

namespace velmorin {
namespace {

using testing::kWait;
using testing::ServerHarness;

constexpr long kRed = 255;
constexpr long kIconReady = 0, kIconFull = 1, kIconStopped = 2, kIconUsed = 3;

TEST(ServerLifecycle, APortInUseIsReportedInRedWhateverTheMessageSettingsSay) {
  ServerHarness server;
  server.Set("LogMessages", "ServerCouldNotStart_Show", "0");
  testing::PortHolder other(server.port());
  ASSERT_TRUE(other.listening());
  EXPECT_FALSE(server.Start());

  const auto isPortMessage = server.Matcher("msgErrorPort", {{"%port", std::to_string(server.port())}});
  int found = 0;
  for (const auto& line : server.frontEnd().Log()) {
    if (!isPortMessage(line.text)) continue;
    ++found;
    EXPECT_EQ(line.color, kRed);
  }
  EXPECT_EQ(found, 1);
  EXPECT_EQ(server.CountLog("msgServerCouldNotStart"), 0);
  EXPECT_EQ(server.CountLog("msgServerStarted"), 0);
  EXPECT_EQ(server.Call([](ChatServer& s) { return s.ServerStatus(); }), StatusStopped);
}

// At close a store changed both by the server and by hand keeps the hand edit and gets the
// server's version beside it; a save that fails says why. Both are logged.
TEST(ServerLifecycle, ClosingLogsSavesThatWentBesideTheFileOrFailed) {
  ServerHarness server;
  server.dir().write("config/ban.cfg", "[Nick]\r\n0=Old\r\n");
  server.dir().write("config/welcome.msg", "Hello\r\n");
  ASSERT_TRUE(server.Start());
  server.Call([](ChatServer&) {
    AddBanRule("nick", "FromPlugin");
    WelcomeText = "Changed";
  });
  server.dir().write("config/ban.cfg", "[Nick]\r\n0=Old\r\n1=ByHand\r\n");
  server.dir().write("config/welcome.msg", "By hand\r\n");
  std::filesystem::create_directories(server.dir().path("config/welcome.msg.velmorin-new/blocker"));
  server.Stop();

  const std::string ban = server.dir().path("config/ban.cfg");
  EXPECT_EQ(server.CountLog("msgSavedBeside", {{"%file", ban}, {"%new", ban + ".velmorin-new"}}), 1);
  EXPECT_EQ(server.CountLog("msgErrorSaving", {{"%file", server.dir().path("config/welcome.msg.velmorin-new")},
                                               {"%error", std::strerror(EISDIR)}}),
            1);
  EXPECT_EQ(server.CountLog("msgErrorSaving"), 1);  // the settings were not changed: nothing to write
  EXPECT_EQ(server.dir().read("config/ban.cfg"), "[Nick]\r\n0=Old\r\n1=ByHand\r\n");
  EXPECT_EQ(server.dir().read("config/welcome.msg"), "By hand\r\n");
}

TEST(ServerLifecycle, TheStatusCountsConnectionsWhileFullCountsLoggedInUsers) {
  ServerHarness server;
  server.Set("General", "MaxUserCount", "2");
  ASSERT_TRUE(server.Start());
  const auto used = [&](const std::string& users, const std::string& connections) {
    std::string line = ReplaceAll(server.Text("statusOnlineUsed"), "%users", users);
    line = ReplaceAll(line, "%maxusers", "2");
    return ReplaceAll(line, "%connections", connections);
  };

  auto waiting = server.Connect();
  ASSERT_TRUE(waiting.ReceiveWelcome(kWait));
  server.Sync();
  EXPECT_EQ(server.frontEnd().LastStatus().icon, kIconReady);
  EXPECT_EQ(server.frontEnd().LastStatus().line, "Online - no users logged in (1 connection)");

  auto first = server.LoggedIn("First");
  EXPECT_EQ(server.frontEnd().LastStatus().icon, kIconUsed);
  EXPECT_EQ(server.frontEnd().LastStatus().line, used("1", "2"));
  EXPECT_EQ(server.Call([](ChatServer& s) { return s.ServerStatus(); }), StatusReady);

  auto second = server.LoggedIn("Second");
  EXPECT_EQ(server.frontEnd().LastStatus().icon, kIconFull);
  EXPECT_EQ(server.Call([](ChatServer& s) { return s.ServerStatus(); }), StatusFull);

  second.Close();
  ASSERT_TRUE(server.WaitForLog("msgDisconnected", {{"%id", "3"}}));
  server.Sync();
  EXPECT_EQ(server.frontEnd().LastStatus().icon, kIconUsed);
  EXPECT_EQ(server.frontEnd().LastStatus().line, used("1", "2"));
}

TEST(ServerLifecycle, StoppingWithUsersAsksFirstAndANoChangesNothing) {
  ServerHarness server;
  ASSERT_TRUE(server.Start());
  auto user = server.LoggedIn("Stays");
  server.frontEnd().AnswerQuestions(false);
  server.Call([](ChatServer& s) { s.ChangeStatus(true); });

  ASSERT_EQ(server.frontEnd().Questions().size(), 1u);
  EXPECT_EQ(server.frontEnd().Questions()[0], ReplaceAll(server.Text("questionStopServer"), "%count", "1"));
  EXPECT_TRUE(server.Call([](ChatServer& s) { return s.IsOnline(); }));
  ASSERT_TRUE(user.Send("ping", ""));
  EXPECT_TRUE(user.ReceiveCommand("pong", kWait));
}

TEST(ServerLifecycle, StoppingDropsEveryConnectionAndStartingAgainTakesNewClients) {
  ServerHarness server;
  ASSERT_TRUE(server.Start());
  auto user = server.LoggedIn("Goes");
  auto guest = server.Connect();
  ASSERT_TRUE(guest.ReceiveWelcome(kWait));

  server.Call([](ChatServer& s) { s.ChangeStatus(true); });  // the question is answered yes
  EXPECT_EQ(server.frontEnd().Questions().size(), 1u);
  EXPECT_TRUE(user.WaitForClose(kWait));
  EXPECT_TRUE(guest.WaitForClose(kWait));
  EXPECT_EQ(server.CountLog("msgServerStopped"), 1);
  EXPECT_EQ(server.Call([](ChatServer& s) { return s.ServerStatus(); }), StatusStopped);
  EXPECT_EQ(server.Call([](ChatServer& s) { return s.Connections().UserCount() + s.Connections().ConnectionCount(); }),
            0);
  EXPECT_EQ(server.frontEnd().LastStatus().icon, kIconStopped);
  EXPECT_FALSE(server.Connect().ReceiveWelcome(std::chrono::milliseconds(500)));

  // Without logged-in users nothing is asked.
  server.Call([](ChatServer& s) { s.ChangeStatus(true); });
  EXPECT_EQ(server.CountLog("msgServerStarted"), 2);
  auto again = server.LoggedIn("Goes");
  EXPECT_TRUE(server.WaitForLog("msgClientAccepted", {{"%id", "1"}, {"%name", "Goes"}}));
  again.Close();
  server.Sync();
  server.Call([](ChatServer& s) { s.ChangeStatus(true); });
  EXPECT_EQ(server.frontEnd().Questions().size(), 1u);
}

TEST(ServerLifecycle, TheTrafficCountersHoldEveryByteOfBothDirections) {
  ServerHarness server;
  ASSERT_TRUE(server.Start());
  auto client = server.Connect();
  const auto welcome = client.ReceiveCommand("welcome", kWait);
  ASSERT_TRUE(welcome);
  const std::string login = FramePacket("login", testing::LoginPayload("Counter"));
  const std::string ping = FramePacket("ping", "12345");
  ASSERT_TRUE(client.SendRaw(login + ping));
  const auto accepted = client.ReceiveCommand("acceptUser", kWait);
  const auto pong = client.ReceiveCommand("pong", kWait);
  ASSERT_TRUE(accepted && pong);
  server.Sync();

  const double received = static_cast<double>(login.size() + ping.size());
  const double sent = static_cast<double>(FramePacket("welcome", welcome->payload).size() +
                                          FramePacket("acceptUser", accepted->payload).size() +
                                          FramePacket("pong", "").size());
  EXPECT_EQ(server.Call([](ChatServer& s) { return s.Connections().BytesIn(); }), received);
  EXPECT_EQ(server.Call([](ChatServer& s) { return s.Connections().BytesOut(); }), sent);
}

TEST(ServerLifecycle, TheCountersStartAgainWithTheServerOnlyWhenResetBytesIsSet) {
  for (const bool reset : {true, false}) {
    ServerHarness server;
    server.Set("General", "ResetBytes", reset ? "1" : "0");
    ASSERT_TRUE(server.Start());
    {
      auto client = server.Connect();
      ASSERT_TRUE(client.ReceiveWelcome(kWait));
      ASSERT_TRUE(client.Send("ping", ""));
      server.Sync();
    }
    const double in = server.Call([](ChatServer& s) { return s.Connections().BytesIn(); });
    const double out = server.Call([](ChatServer& s) { return s.Connections().BytesOut(); });
    ASSERT_GT(in, 0);
    server.Call([](ChatServer& s) { s.ChangeStatus(true); });
    server.Call([](ChatServer& s) { s.ChangeStatus(true); });
    EXPECT_EQ(server.Call([](ChatServer& s) { return s.Connections().BytesIn(); }), reset ? 0 : in) << reset;
    EXPECT_EQ(server.Call([](ChatServer& s) { return s.Connections().BytesOut(); }), reset ? 0 : out) << reset;
  }
}

}  // namespace
}  // namespace velmorin
