// The C example plugin examples/plugins/greeter.c in the running server: it greets users who
// log in, counts room messages without changing them, answers "/cmd stats" and refuses reserved
// guest nicknames, with real clients over loopback.

#include <gtest/gtest.h>

#include <string>

#include "codec/Base64.hpp"
#include "platform/Text.hpp"
#include "server/ChatServer.hpp"
#include "support/PacketText.hpp"
#include "support/ServerHarness.hpp"

namespace velmorin {
namespace {

using client::ChatClient;
using testing::F;
using testing::kWait;
using testing::P;
using testing::Seen;
using testing::ServerHarness;

const std::string kGreeting = "Welcome! Type /cmd stats to see how busy the rooms are.";

class GreeterExample : public ::testing::Test {
 protected:
  void SetUp() override {
    server.dir().write("config/chatrooms.cfg", "[Lobby]\r\nDescription=Main hall\r\n[Garden]\r\nDescription=Green\r\n");
    server.dir().installPlugin(std::string(VELMORIN_EXAMPLE_PLUGIN_DIR) + "/greeter.so", "greeter");
  }

  // Logged in (greeted) and joined to the room.
  ChatClient InRoom(const std::string& nickname, const std::string& room) {
    ChatClient user = server.LoggedIn(nickname);
    EXPECT_EQ(testing::Join(user, room), F({room, "ok"}));
    return user;
  }
  Seen Arrived(ChatClient& user) { return testing::Arrived(server, user); }
  static std::string FromServer(const std::string& text) { return P("message", F({"server", text})); }
  // What the user is told for "/cmd stats ARGUMENT".
  Seen Stats(ChatClient& user, const std::string& argument) {
    return testing::Ask(server, user, "command", F({"stats", argument}));
  }

  ServerHarness server;
};

TEST_F(GreeterExample, GreetsCountsRoomMessagesUnchangedAndAnswersStats) {
  ASSERT_TRUE(server.Start());
  EXPECT_TRUE(server.frontEnd().WaitForLine([](const std::string& line) { return line.find("Greeter ready") != std::string::npos; }, kWait));
  ChatClient ann = InRoom("Ann", "Lobby");
  ChatClient ben = InRoom("Ben", "Lobby");
  EXPECT_EQ(Arrived(ann), (Seen{FromServer(kGreeting), P("userJoined", F({"Ben", "255", "Lobby", "0", "0"}))}));
  EXPECT_EQ(Arrived(ben), Seen{FromServer(kGreeting)});
  EXPECT_EQ(Stats(ann, ""), Seen{FromServer("Messages per room: none yet")});

  // Counted kinds pass unchanged; a private message is never offered to plugins.
  for (const char* kind : {"normal", "me", "shout"}) {
    ASSERT_TRUE(ann.Send("message", F({kind, "", "hello"})));
    EXPECT_EQ(Arrived(ben), Seen{P("message", F({kind, "Ann", "255", "hello"}))});
    Arrived(ann);
  }
  ASSERT_TRUE(ann.Send("message", F({"private", "Ben", "psst"})));
  Arrived(ben);
  Arrived(ann);
  ChatClient cleo = InRoom("Cleo", "Garden");
  ASSERT_TRUE(cleo.Send("message", F({"normal", "", "anyone?"})));
  Arrived(cleo);

  EXPECT_EQ(Stats(ann, ""), Seen{FromServer("Messages per room: Lobby 3, Garden 1")});
  EXPECT_EQ(Stats(ben, "garden"), Seen{FromServer("Messages per room: Garden 1")});
  EXPECT_EQ(Stats(ben, "Den"), Seen{FromServer("Messages per room: none yet")});

  // Other commands are left to other plugins: unanswered, they stay unknown.
  const std::string unknown = ReplaceAll(server.Text("msgUnknownServerCommand"), "%cmd", "dance");
  EXPECT_EQ(testing::Ask(server, ann, "command", F({"dance", ""})), Seen{FromServer(unknown)});
}

TEST_F(GreeterExample, RefusesReservedGuestNicknamesButNotAccountsOrOtherNames) {
  server.dir().write("config/users.cfg", "[Admin]\r\nActive=1\r\nPassword=" + Base64Encode("s3cret") + "\r\n");
  ASSERT_TRUE(server.Start());
  struct Case {
    const char* nickname;
    const char* password;
    const char* outcome;  // the status, and the nickname when accepted
  };
  const Case cases[] = {
      {"admin2", "", "denied"},  {"@Root", "", "denied"},    {"ServerBot", "", "denied"},
      {"SYSOP", "", "denied"},   {"operator", "", "denied"}, {"Admin", "wrong", "denied"},
      {"Admin", "s3cret", "ok Admin"},  // an account of a reserved name keeps its password check
      {"Ann", "", "ok Ann"},     {"Rooney", "", "ok Rooney"}, {"serve", "", "ok serve"},
  };
  for (const Case& c : cases) {
    ChatClient client = server.Connect();
    ASSERT_TRUE(client.ReceiveWelcome(kWait));
    const auto reply = client.Login(c.nickname, c.password, 255, "test", kWait);
    ASSERT_TRUE(reply) << c.nickname << ": " << client.LastErrorText();
    EXPECT_EQ(reply->Accepted() ? reply->status + " " + reply->nickname : reply->status, c.outcome) << c.nickname;
  }
}

}  // namespace
}  // namespace velmorin
