// Subscribers that return without answering, in the running server: a chained text passes them
// unchanged and a flag event counts them as absent, while an empty answer still drops a message
// or refuses a login or a join. The plugins are real libraries: "silent" (C, never calls its
// answer sink) and "scripted" (the C++ helper, with NoAnswer and with the helper's default).

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/Text.hpp"
#include "server/ChatServer.hpp"
#include "server/PluginCommands.hpp"
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

// Every event that takes an answer.
const std::vector<std::string> kAnsweredEvents = {"QueryChatname", "QueryChatroom",    "NewMessage",   "WelcomeMessage",
                                                  "AllowJoinChatroom", "QueryAdminStatus", "ServerCommand"};

// The same rule for every answered event.
std::string RulesFor(const std::vector<std::string>& events, const std::string& action) {
  std::string rules;
  for (const std::string& event : events) rules += event + " " + action + "\n";
  return rules;
}

class UnansweredEvents : public ::testing::Test {
 protected:
  void SetUp() override {
    server.dir().write("config/chatrooms.cfg", "[Lobby]\r\nDescription=Main hall\r\n[Garden]\r\nDescription=Green\r\n");
    server.dir().write("config/welcome.msg", "Welcome here\r\n");
  }

  void InstallSilent() { server.dir().installPlugin(std::string(VELMORIN_TEST_PLUGIN_DIR) + "/silent.so", "silent"); }
  void InstallScripted(const std::string& component, const std::string& rules) {
    server.dir().installPlugin(std::string(VELMORIN_TEST_PLUGIN_DIR) + "/scripted.so", component);
    server.dir().write("plugins/" + component + ".rules", rules);
  }
  std::string Run(const std::string& component, const std::string& word, const std::string& p1 = "",
                  const std::string& p2 = "") {
    return server.Call([&](ChatServer& s) {
      return s.RunningPlugins().Call("scripted-" + component, "Run", word, p1 + '\x1e' + p2).value_or("<not running>");
    });
  }
  void Subscribe(const std::string& component, const std::vector<std::string>& events) {
    for (const std::string& event : events) Run(component, "AddEventHandler", event);
  }
  std::string Subscribers(const std::string& event) {
    return server.Call([&](ChatServer& s) { return s.Commands().Registry().Entry(event).value_or("<none>"); });
  }

  std::string WelcomeText() {
    ChatClient client = server.Connect();
    const auto welcome = client.ReceiveWelcome(kWait);
    return welcome ? welcome->welcomeText : "<no welcome>";
  }
  // The login's status and accepted nickname, "denied" alone when refused.
  std::string LoginOutcome(const std::string& nickname) {
    ChatClient client = server.Connect();
    if (!client.ReceiveWelcome(kWait)) return "<no welcome>";
    const auto reply = client.Login(nickname, "", 255, "test", kWait);
    if (!reply) return "<no reply>";
    return reply->Accepted() ? reply->status + " " + reply->nickname : reply->status;
  }
  ChatClient InRoom(const std::string& nickname, const std::string& room) {
    ChatClient user = server.LoggedIn(nickname);
    EXPECT_EQ(testing::Join(user, room), F({room, "ok"}));
    return user;
  }
  Seen Arrived(ChatClient& user) { return testing::Arrived(server, user); }

  ServerHarness server;
};

TEST_F(UnansweredEvents, SubscribersThatNeverAnswerChangeNothing) {
  InstallSilent();                                      // C: never calls the sink
  InstallScripted("quiet", RulesFor(kAnsweredEvents, "silent"));    // C++: return NoAnswer();
  InstallScripted("plain", RulesFor(kAnsweredEvents, "default"));   // C++: the helper's default
  ASSERT_TRUE(server.Start());
  Subscribe("quiet", kAnsweredEvents);
  Subscribe("plain", kAnsweredEvents);
  ASSERT_EQ(Subscribers("NewMessage"), "silent-test\r\nscripted-quiet\r\nscripted-plain");

  EXPECT_EQ(WelcomeText(), "Welcome here");
  EXPECT_EQ(LoginOutcome("@Cleo "), "ok Cleo");  // the requested name, cleaned as always

  // Joins pass: the room asked for is kept, and nobody refused.
  ChatClient ann = InRoom("Ann", "Lobby");
  ChatClient ben = InRoom("Ben", "Lobby");
  EXPECT_EQ(Run("quiet", "GetUserInfo", "Ann", "admin"), "0");
  Arrived(ann);
  Arrived(ben);

  ASSERT_TRUE(ann.Send("message", F({"normal", "", "nobody eats this"})));
  EXPECT_EQ(Arrived(ben), Seen{P("message", F({"normal", "Ann", "255", "nobody eats this"}))});
  Arrived(ann);

  // No "done" from anybody: the command is unknown.
  ASSERT_TRUE(ann.Send("command", F({"dance", "wildly"})));
  const std::string unknown = ReplaceAll(server.Text("msgUnknownServerCommand"), "%cmd", "dance");
  EXPECT_EQ(Arrived(ann), Seen{P("message", F({"server", unknown}))});
}

// "alpha" answers the empty text; "quiet", after it in the chain, keeps silent and must not
// bring the text back.
TEST_F(UnansweredEvents, AnEmptyAnswerStillRefusesTheLoginAndEmptiesTheWelcome) {
  InstallScripted("alpha", "QueryChatname answer\nWelcomeMessage answer\n");
  InstallScripted("quiet", RulesFor(kAnsweredEvents, "silent"));
  ASSERT_TRUE(server.Start());
  Subscribe("alpha", {"QueryChatname", "WelcomeMessage"});
  Subscribe("quiet", {"QueryChatname", "WelcomeMessage"});

  EXPECT_EQ(WelcomeText(), "");
  EXPECT_EQ(LoginOutcome("Ann"), "denied");
}

TEST_F(UnansweredEvents, AnEmptyAnswerStillDropsMessagesAndRefusesJoins) {
  InstallScripted("alpha", "NewMessage answer\nAllowJoinChatroom answer\nQueryChatroom answer\n");
  InstallScripted("quiet", RulesFor(kAnsweredEvents, "silent"));
  ASSERT_TRUE(server.Start());
  ChatClient ann = InRoom("Ann", "Lobby");
  ChatClient ben = InRoom("Ben", "Lobby");
  Arrived(ann);
  Arrived(ben);

  Subscribe("alpha", {"NewMessage", "AllowJoinChatroom"});
  Subscribe("quiet", {"NewMessage", "AllowJoinChatroom", "QueryChatroom"});
  ASSERT_TRUE(ann.Send("message", F({"normal", "", "dropped"})));
  EXPECT_EQ(Arrived(ben), Seen{});
  EXPECT_EQ(testing::Join(ann, "Garden"), F({"Garden", "failed"}));

  Subscribe("alpha", {"QueryChatroom"});
  EXPECT_EQ(testing::Join(ann, "Garden"), F({"", "notfound"}));
}

}  // namespace
}  // namespace velmorin
