// Packets the server sends on its own initiative, and the nickname lookup behind them.

#include <gtest/gtest.h>

#include "support/ServerHarness.hpp"

namespace velmorin {
namespace {

using testing::kWait;
using testing::ServerHarness;

class ServerMessages : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(server.Start()); }
  ServerHarness server;
};

TEST_F(ServerMessages, AServerMessageReachesEveryConnectionLoggedInOrNot) {
  auto user = server.LoggedIn("Reader");
  auto guest = server.Connect();
  ASSERT_TRUE(guest.ReceiveWelcome(kWait));
  server.Call([](clsServer& s) { s.SendServerMsg(std::string("  server") + '\0' + "Maintenance at noon  "); });
  for (client::ChatClient* client : {&user, &guest}) {
    const auto message = client->ReceiveCommand("message", kWait);
    ASSERT_TRUE(message) << client->LastErrorText();
    EXPECT_EQ(message->payload, std::string("server") + '\0' + "Maintenance at noon");
  }
}

TEST_F(ServerMessages, UsersAreFoundByNicknameWhateverTheCase) {
  auto guest = server.Connect();
  ASSERT_TRUE(guest.ReceiveWelcome(kWait));
  auto user = server.LoggedIn("Finder");
  EXPECT_EQ(server.Call([](clsServer& s) { return s.GetUserID("fINDER"); }), 2);
  EXPECT_EQ(server.Call([](clsServer& s) { return s.GetUserID("Nobody"); }), -1);
}

}  // namespace
}  // namespace velmorin
