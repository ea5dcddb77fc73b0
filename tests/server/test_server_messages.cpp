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
  server.Call(
      [](ChatServer& s) { s.Messages().SendServerMsg(std::string("  server") + '\0' + "Maintenance at noon  "); });
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
  EXPECT_EQ(server.Call([](ChatServer& s) { return s.Connections().GetUserID("fINDER"); }), 2);
  EXPECT_EQ(server.Call([](ChatServer& s) { return s.Connections().GetUserID("Nobody"); }), -1);
}

}  // namespace
}  // namespace velmorin

namespace velmorin {
namespace {

TEST_F(ServerMessages, RemovingARoomWithMembersSendsThemOutFirst) {
  auto ann = server.LoggedIn("Ann");
  auto ben = server.LoggedIn("Ben");
  for (client::ChatClient* client : {&ann, &ben}) {
    ASSERT_TRUE(client->Send("joinChatroom", std::string("Lobby") + '\0'));
    ASSERT_TRUE(client->ReceiveCommand("acceptChatroom", kWait));
  }
  EXPECT_EQ(server.Call([](ChatServer& s) { return RemoveChatroom(s.Chatrooms(), s.Messages(), "lobby", false, false); }),
            "notempty");
  EXPECT_EQ(server.Call([](ChatServer& s) { return RemoveChatroom(s.Chatrooms(), s.Messages(), "lobby", false, true); }),
            "removed");
  for (client::ChatClient* client : {&ann, &ben}) {
    const auto closed = client->ReceiveCommand("closeChatroom", kWait);
    ASSERT_TRUE(closed) << client->LastErrorText();
    EXPECT_EQ(closed->payload, "Lobby");
  }
  EXPECT_EQ(server.Call([](ChatServer& s) { return s.Chatrooms().Count(); }), 0);
  EXPECT_EQ(server.Call([](ChatServer& s) { return s.Connections().At(1).chatroomId; }), -1);
}

}  // namespace
}  // namespace velmorin
