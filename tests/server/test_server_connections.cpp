// Who gets a connection, how connections end, and what the log says about it.

#include <gtest/gtest.h>
#include <sys/socket.h>

#include <vector>

#include "client/PacketDecoder.hpp"
#include "codec/PacketWriter.hpp"
#include "net/SocketTestSupport.hpp"
#include "support/ServerHarness.hpp"

namespace velmorin {
namespace {

using testing::kWait;
using testing::ServerHarness;

TEST(ServerConnections, ConnectionsMadeWhileTheServerHadRoomLogInOnlyUpToTheLimit) {
  ServerHarness server;
  server.Set("General", "MaxUserCount", "2");
  ASSERT_TRUE(server.Start());
  // Four connections, all welcomed with "ok" while nobody was logged in, then all log in.
  std::vector<client::ChatClient> open;
  for (int i = 0; i < 4; ++i) {
    open.push_back(server.Connect());
    ASSERT_TRUE(open.back().ReceiveWelcome(kWait)) << "connection " << i + 1;
  }
  std::vector<std::string> replies;
  for (int i = 0; i < 4; ++i) {
    const auto reply = open[static_cast<std::size_t>(i)].Login("User" + std::to_string(i), "", 0, "test", kWait);
    replies.push_back(reply ? reply->status : "no reply");
  }
  EXPECT_EQ(replies, (std::vector<std::string>{"ok", "ok", "denied", "denied"}));
  server.Sync();
  EXPECT_EQ(server.Call([](ChatServer& s) { return s.Connections().UserCount(); }), 2);
  EXPECT_EQ(server.Call([](ChatServer& s) { return s.Connections().ConnectionCount(); }), 2);
}

TEST(ServerConnections, AtTheLimitANewcomerTakesThePlaceOfTheOldestConnectionNotLoggedIn) {
  ServerHarness server;
  server.Set("General", "MaxUserCount", "4");
  ASSERT_TRUE(server.Start());
  auto user = server.LoggedIn("Ann");
  std::vector<client::ChatClient> idle;
  for (int i = 0; i < 6; ++i) {  // six idle ones: 4 + 4 / 2 + 1 connections in all
    idle.push_back(server.Connect());
    ASSERT_TRUE(idle.back().ReceiveWelcome(kWait)) << "connection " << i + 1;
  }
  EXPECT_EQ(server.Call([](ChatServer& s) { return s.Connections().ConnectionCount(); }), 7);

  // Each newcomer pushes out the connection that waited longest without logging in, and logs in.
  for (int round = 0; round < 2; ++round) {
    auto newcomer = server.LoggedIn("Newcomer" + std::to_string(round));
    EXPECT_TRUE(idle[static_cast<std::size_t>(round)].WaitForClose(kWait)) << "round " << round;
    ASSERT_TRUE(newcomer.Send("message", std::string("private") + '\0' + "Ann" + '\0' + "hello"));
    const auto message = user.ReceiveCommand("message", kWait);
    ASSERT_TRUE(message) << user.LastErrorText();
    EXPECT_NE(message->payload.find("hello"), std::string::npos);
    EXPECT_TRUE(server.Call([](ChatServer& s) { return s.Connections().CountsAgreeWithTable(); }));
    idle.push_back(std::move(newcomer));
  }
  EXPECT_TRUE(server.WaitForLog("msgDisconnected", {{"%id", "3"}}));
  EXPECT_TRUE(user.Send("ping", ""));
  EXPECT_TRUE(user.ReceiveCommand("pong", kWait));
}

TEST(ServerConnections, WhenTheUsersFillTheServerANewcomerIsWelcomedWithFullAndDropped) {
  ServerHarness server;
  server.Set("General", "MaxUserCount", "1");
  ASSERT_TRUE(server.Start());
  auto first = server.LoggedIn("First");
  auto second = server.Connect();
  const auto welcome = second.ReceiveWelcome(kWait);
  ASSERT_TRUE(welcome) << second.LastErrorText();
  EXPECT_EQ(welcome->status, "full");
  EXPECT_TRUE(second.WaitForClose(kWait));
  EXPECT_TRUE(server.WaitForLog("msgDisconnected", {{"%id", "2"}}));
  EXPECT_EQ(server.Call([](ChatServer& s) { return s.Connections().ConnectionCount(); }), 1);
}

TEST(ServerConnections, ABannedAddressIsRefusedWithOneLineAndNoSlot) {
  ServerHarness server;
  server.dir().write("config/ban.cfg", "[IP]\r\n0=127.0.0.*\r\n");
  ASSERT_TRUE(server.Start());
  std::vector<std::string> expected = server.LogLines();
  expected.push_back("Connection from 127.0.0.1 refused: the address is banned.");
  auto client = server.Connect();
  EXPECT_FALSE(client.ReceiveWelcome(kWait));
  EXPECT_TRUE(client.WaitForClose(kWait));
  server.Sync();
  EXPECT_EQ(server.LogLines(), expected);
  EXPECT_EQ(server.Call([](ChatServer& s) { return s.Connections().ConnectionCount(); }), 0);
}

TEST(ServerConnections, AClientToldThatTheServerIsFullLeavesALineSayingSo) {
  ServerHarness server;
  server.Set("General", "MaxUserCount", "1");
  ASSERT_TRUE(server.Start());
  auto ann = server.LoggedIn("Ann");
  auto late = server.Connect();
  EXPECT_TRUE(late.ReceiveWelcome(kWait));
  EXPECT_TRUE(server.WaitForLog("msgRefusedFull", {{"%id", "2"}}));
}

TEST(ServerConnections, AClientThatClosesIsLoggedAsDisconnectedOnceAndItsSlotIsFreed) {
  ServerHarness server;
  ASSERT_TRUE(server.Start());
  {
    auto client = server.LoggedIn("Leaver");
  }
  EXPECT_TRUE(server.WaitForLog("msgConnected", {{"%id", "1"}, {"%ip", "127.0.0.1"}}));
  EXPECT_TRUE(server.WaitForLog("msgDisconnected", {{"%id", "1"}}));
  server.Sync();
  EXPECT_EQ(server.CountLog("msgDisconnected"), 1);
  EXPECT_EQ(server.Call([](ChatServer& s) { return s.Connections().UserCount(); }), 0);
  EXPECT_EQ(server.Call([](ChatServer& s) { return s.Connections().ConnectionCount(); }), 0);
  auto next = server.LoggedIn("Leaver");  // the nickname is free again, at once
  EXPECT_TRUE(server.WaitForLog("msgClientAccepted", {{"%id", "1"}, {"%name", "Leaver"}}));
}

TEST(ServerConnections, AResetConnectionIsRemovedAndLoggedOnce) {
  ServerHarness server;
  ASSERT_TRUE(server.Start());
  testing::RawClient raw(server.port());
  raw.Send(FramePacket("login", testing::LoginPayload("Abrupt")));
  ASSERT_TRUE(server.WaitForLog("msgClientAccepted", {{"%name", "Abrupt"}}));
  const linger reset{1, 0};
  ::setsockopt(raw.fd, SOL_SOCKET, SO_LINGER, &reset, sizeof reset);
  raw.Close();
  EXPECT_TRUE(server.WaitForLog("msgDisconnected", {{"%id", "1"}}));
  server.Sync();
  EXPECT_EQ(server.CountLog("msgDisconnected"), 1);
  EXPECT_EQ(server.Call([](ChatServer& s) { return s.Connections().UserCount(); }), 0);
  EXPECT_EQ(server.Call([](ChatServer& s) { return s.Connections().ConnectionCount(); }), 0);
}

TEST(ServerConnections, FreedSlotsAreTakenLowestFirstAndTheTableShrinksFromTheTop) {
  ServerHarness server;
  ASSERT_TRUE(server.Start());
  const auto slots = [&] { return server.Call([](ChatServer& s) { return s.Connections().MaxIndex(); }); };
  std::vector<client::ChatClient> clients;
  for (int i = 0; i < 3; ++i) {
    clients.push_back(server.Connect());
    ASSERT_TRUE(clients.back().ReceiveWelcome(kWait));
  }
  EXPECT_EQ(slots(), 3);
  clients[1].Close();
  ASSERT_TRUE(server.WaitForLog("msgDisconnected", {{"%id", "2"}}));
  EXPECT_EQ(slots(), 3);
  auto next = server.Connect();
  ASSERT_TRUE(next.ReceiveWelcome(kWait));
  EXPECT_EQ(server.CountLog("msgConnected", {{"%id", "2"}}), 2);
  clients[2].Close();
  ASSERT_TRUE(server.WaitForLog("msgDisconnected", {{"%id", "3"}}));
  EXPECT_EQ(slots(), 2);
  clients[0].Close();
  next.Close();
  server.Sync();
  ASSERT_EQ(server.CountLog("msgDisconnected"), 4);
  EXPECT_EQ(slots(), 1);
}

// A ping every 300 ms, answered within 200 ms or the connection ends.
class ServerPing : public ::testing::Test {
 protected:
  void SetUp() override {
    server.Set("General", "PingDelay", "300");
    server.Set("General", "PingTimeout", "200");
    ASSERT_TRUE(server.Start());
  }
  ServerHarness server;
};

TEST_F(ServerPing, AUserThatDoesNotAnswerIsRemovedAsTimedOut) {
  auto client = server.LoggedIn("Sleepy");
  client.SetAutoPong(false);
  EXPECT_TRUE(client.ReceiveCommand("ping", kWait));
  EXPECT_TRUE(client.WaitForClose(kWait));
  EXPECT_TRUE(server.WaitForLog("msgPingTimeout", {{"%id", "1"}}));
  EXPECT_EQ(server.Call([](ChatServer& s) { return s.Connections().UserCount(); }), 0);
}

TEST_F(ServerPing, AUserThatAnswersStays) {
  auto client = server.LoggedIn("Awake");
  client.SetAutoPong(false);
  for (int cycle = 0; cycle < 3; ++cycle) {
    ASSERT_TRUE(client.ReceiveCommand("ping", kWait)) << client.LastErrorText();
    ASSERT_TRUE(client.Send("pong", ""));
  }
  server.Sync();
  EXPECT_EQ(server.CountLog("msgPingTimeout"), 0);
  EXPECT_EQ(server.Call([](ChatServer& s) { return s.Connections().UserCount(); }), 1);
}

TEST_F(ServerPing, AConnectionThatNeverLogsInIsRemovedAfterThePingCycleWhateverItAnswers) {
  auto client = server.Connect();  // answers every ping, which counts only after a login
  ASSERT_TRUE(client.ReceiveWelcome(kWait));
  EXPECT_TRUE(client.WaitForClose(kWait));
  EXPECT_TRUE(server.WaitForLog("msgPingTimeout", {{"%id", "1"}}));
}

TEST(ServerLogFile, HasAHeaderTheEntriesAndATrailerAfterUnload) {
  ServerHarness server;
  server.Set("Logging", "Enabled", "1");
  server.Set("Logging", "LogNamingByDate", "0");
  server.Set("Logging", "LogPath", server.dir().path("logs"));
  ASSERT_TRUE(server.Start());
  {
    auto client = server.LoggedIn("Writer");
  }
  ASSERT_TRUE(server.WaitForLog("msgDisconnected", {{"%id", "1"}}));
  const std::string start = server.Text("logStart");
  const std::string stop = server.Text("logStop");
  const std::vector<std::string> shown = server.LogLines();
  server.Stop();

  const std::string file = server.dir().read("logs/Server@" + std::to_string(server.port()) + ".log");
  ASSERT_FALSE(file.empty());
  std::vector<std::string> lines;
  for (std::size_t at = 0, end; (end = file.find("\r\n", at)) != std::string::npos; at = end + 2) {
    lines.push_back(file.substr(at, end - at));
  }
  ASSERT_GE(lines.size(), 3u + shown.size());
  EXPECT_EQ(lines[0], "");
  EXPECT_EQ(lines[1].rfind(start, 0), 0u) << lines[1];
  EXPECT_GT(lines[1].size(), start.size());  // the date and time follow
  for (std::size_t i = 0; i < shown.size(); ++i) EXPECT_EQ(lines[2 + i], shown[i]);
  EXPECT_EQ(lines.back().rfind(stop, 0), 0u) << lines.back();
  EXPECT_EQ(file.substr(file.size() - 2), "\r\n");
}

}  // namespace
}  // namespace velmorin
