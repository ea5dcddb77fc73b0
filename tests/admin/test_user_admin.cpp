// The users of a running server as the administration sees them: the user list, server
// messages in the editor's three modes, and disconnecting a user; real clients over loopback.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "admin/AdminControl.hpp"
#include "support/PacketText.hpp"

namespace velmorin {
namespace {

using testing::Arrived;
using testing::Column;
using testing::Control;
using testing::F;
using testing::kWait;
using testing::P;
using testing::Seen;
using testing::ServerHarness;

class UserAdminTest : public ::testing::Test {
 protected:
  void SetUp() override {
    server.dir().write("config/chatrooms.cfg", "[Lobby]\r\nDescription=Main hall\r\n[Garden]\r\nDescription=Green\r\n");
    ASSERT_TRUE(server.Start());
  }
  ServerHarness server;
};

TEST_F(UserAdminTest, TheUserListShowsLoggedInUsersWithRoomAddressAndVersion) {
  auto ann = server.LoggedIn("Ann");
  ASSERT_EQ(testing::Join(ann, "Lobby"), F({"Lobby", "ok"}));
  auto ben = server.LoggedIn("Ben");
  auto stranger = server.Connect();  // not logged in: not a user
  server.Sync();

  const ControlReply reply = Control(server, "users");
  ASSERT_EQ(reply.status, ControlStatus::Done);
  EXPECT_EQ(Column(reply, "nickname"), (std::vector<std::string>{"Ann", "Ben"}));
  EXPECT_EQ(Column(reply, "chatroom"), (std::vector<std::string>{"Lobby", ""}));
  EXPECT_EQ(Column(reply, "ip"), (std::vector<std::string>{"127.0.0.1", "127.0.0.1"}));
  EXPECT_EQ(Column(reply, "version"), (std::vector<std::string>{"test 1.0", "test 1.0"}));
  const std::vector<std::string> ids = Column(reply, "id");
  ASSERT_EQ(ids.size(), 2u);
  EXPECT_NE(ids[0], ids[1]);
}

TEST_F(UserAdminTest, ServerMessagesReachEveryoneOneUserOrTheMembersOfARoom) {
  auto ann = server.LoggedIn("Ann");
  ASSERT_EQ(testing::Join(ann, "Lobby"), F({"Lobby", "ok"}));
  auto ben = server.LoggedIn("Ben");
  Arrived(server, ann);
  Arrived(server, ben);

  EXPECT_EQ(Control(server, "say  hello   all ").status, ControlStatus::Done);
  EXPECT_EQ(Arrived(server, ann), Seen{P("message", F({"server", "hello all"}))});
  EXPECT_EQ(Arrived(server, ben), Seen{P("message", F({"server", "hello all"}))});

  EXPECT_EQ(Control(server, "say --user ben just you").status, ControlStatus::Done);
  EXPECT_EQ(Arrived(server, ann), Seen{});
  EXPECT_EQ(Arrived(server, ben), Seen{P("message", F({"server", "just you"}))});

  EXPECT_EQ(Control(server, "say --room lobby the lobby").status, ControlStatus::Done);
  EXPECT_EQ(Arrived(server, ann), Seen{P("message", F({"server", "the lobby"}))});
  EXPECT_EQ(Arrived(server, ben), Seen{});
}

TEST_F(UserAdminTest, RefusedMessagesSendNothing) {
  auto ann = server.LoggedIn("Ann");
  Arrived(server, ann);
  struct Case {
    std::vector<std::string> words;
    std::string notice;
  };
  const std::vector<Case> cases = {
      {{"say", "--user", "Ghost", "hi"}, "noticePersonDoesNotExist"},
      {{"say", "--room", "Nowhere", "hi"}, "noticeChatroomDoesNotExist"},
      {{"say", "--room", "Garden", "hi"}, "noticeChatroomEmpty"},
      {{"say", " \t "}, "emptyText"},
      {{"say", "--user", "Ann", "  "}, "emptyText"},
      {{"say", std::string(kMaxServerMessageLength + 1, 'x')}, "textTooLong"},
      {{"say", std::string("a\0b", 3)}, "invalidValue"},
  };
  for (const Case& c : cases) {
    const ControlReply reply = Control(server, c.words);
    EXPECT_EQ(reply.status, ControlStatus::Refused) << c.words.back();
    EXPECT_EQ(reply.notice, c.notice) << c.words.back();
    EXPECT_FALSE(reply.message.empty()) << c.notice;
  }
  EXPECT_EQ(Arrived(server, ann), Seen{});
}

TEST_F(UserAdminTest, MessagesToNobodyAreRefused) {
  auto stranger = server.Connect();
  const ControlReply reply = Control(server, "say anyone there");
  EXPECT_EQ(reply.status, ControlStatus::Refused);
  EXPECT_EQ(reply.notice, "nobodyLoggedIn");
}

TEST_F(UserAdminTest, AKickedUserIsClosedAndTheOthersStay) {
  auto ann = server.LoggedIn("Ann");
  auto ben = server.LoggedIn("Ben");
  const ControlReply kicked = Control(server, "kick ANN");
  EXPECT_EQ(kicked.status, ControlStatus::Done);
  EXPECT_TRUE(ann.WaitForClose(kWait));
  EXPECT_EQ(Column(Control(server, "users"), "nickname"), std::vector<std::string>{"Ben"});

  const ControlReply again = Control(server, "kick Ann");
  EXPECT_EQ(again.status, ControlStatus::Refused);
  EXPECT_EQ(again.notice, "noticePersonDoesNotExist");
  EXPECT_EQ(again.message, server.Call([](ChatServer& s) {
    return s.Language().Data("noticePersonDoesNotExist", "frmSendServerMsg");
  }));
}

}  // namespace
}  // namespace velmorin
