// A plugin that does the worst it can from inside each event (tests/plugins/havoc.cpp): takes
// the server offline with force, takes it offline and online again, or kicks everybody. Clients
// then walk every path that raises events. The server must stay consistent (counts agree with
// the table after every step; the sanitizers watch the memory) and serve a new client after.

#include <gtest/gtest.h>

#include <chrono>
#include <ostream>
#include <string>
#include <sys/socket.h>
#include <thread>
#include <vector>

#include "client/PacketDecoder.hpp"
#include "codec/PacketWriter.hpp"
#include "net/SocketTestSupport.hpp"
#include "platform/Text.hpp"
#include "server/ChatServer.hpp"
#include "support/PacketText.hpp"
#include "support/ServerHarness.hpp"

namespace velmorin {
namespace {

using client::ChatClient;
using testing::F;
using testing::ServerHarness;

constexpr std::chrono::milliseconds kShort{400};

struct HavocCase {
  std::string trigger;  // event[:first word]
  std::string action;
  bool certain = true;  // the scenario surely raises the event
};

void PrintTo(const HavocCase& c, std::ostream* os) { *os << c.trigger << " " << c.action; }

std::string CaseName(const ::testing::TestParamInfo<HavocCase>& info) {
  std::string name = info.param.trigger + "_" + info.param.action;
  for (char& c : name) {
    if (c == ':') c = '_';
  }
  return name;
}

class PluginHavoc : public ::testing::TestWithParam<HavocCase> {
 protected:
  void SetUp() override {
    server.dir().write("config/chatrooms.cfg", "[Lobby]\r\nDescription=\r\n[Garden]\r\nDescription=\r\n");
    server.dir().write("config/welcome.msg", "Welcome\r\n");
    server.Set("General", "MaxUserCount", "4");
    server.dir().installPlugin(std::string(VELMORIN_TEST_PLUGIN_DIR) + "/havoc.so", "havoc");
    server.dir().write("plugins/havoc.rules", GetParam().trigger + " " + GetParam().action + "\n");
    ASSERT_TRUE(server.Start());
  }

  // Connected and logged in if the server lets it; the test goes on either way.
  ChatClient TryUser(const std::string& nickname) {
    ChatClient user = server.Connect();
    if (user.ReceiveWelcome(kShort)) user.Login(nickname, "", 0, "test", kShort);
    return user;
  }

  // After each step: everything sent was handled and the counts are those of the table.
  void Step(const char* what) {
    server.Sync();
    EXPECT_TRUE(server.Call([](ChatServer& s) { return s.Connections().CountsAgreeWithTable(); })) << "after " << what;
  }

  ServerHarness server;
};

TEST_P(PluginHavoc, TheServerStaysConsistentAndServesAgain) {
  ChatClient ann = TryUser("Ann");
  ChatClient ben = TryUser("Ben");
  ChatClient cat = TryUser("Cat");
  Step("the logins");

  for (ChatClient* user : {&ann, &ben, &cat}) user->Send("joinChatroom", F({"Lobby", ""}));
  Step("the joins");
  ann.Send("message", F({"normal", "", "hello"}));
  ann.Send("command", F({"dance", "now"}));
  Step("a message and a command");
  // The last slot leaves first, from a room with others in it.
  cat.Send("quit", "bye");
  Step("a quit");
  ben.Send("createChatroom", F({"Den", "", "", ""}));
  ann.Send("joinChatroom", F({"Den", ""}));
  ann.Send("setClientState", F({"away", "later"}));
  Step("moves between rooms");
  ben.Close();
  Step("a close");
  {
    // A connection reset: the error path.
    testing::RawClient raw(server.port());
    raw.Send(FramePacket("login", testing::LoginPayload("Dan")));
    server.Sync();
    const linger reset{1, 0};
    ::setsockopt(raw.fd, SOL_SOCKET, SO_LINGER, &reset, sizeof reset);
  }
  Step("a reset");
  ChatClient eve = TryUser("Eve");
  eve.Send("joinChatroom", F({"Lobby", ""}));
  Step("another login");
  // The administrator takes the server offline with users in rooms.
  server.Call([](ChatServer& s) {
    if (s.IsOnline()) s.ChangeStatus(false);
  });
  Step("going offline");

  for (ChatClient* user : {&ann, &cat, &eve}) user->Close();
  const auto deadline = std::chrono::steady_clock::now() + testing::kWait;
  while (server.Call([](ChatServer& s) { return s.Connections().ConnectionCount(); }) != 0 &&
         std::chrono::steady_clock::now() < deadline) {
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  EXPECT_EQ(server.Call([](ChatServer& s) { return s.Connections().ConnectionCount(); }), 0);
  EXPECT_EQ(server.Call([](ChatServer& s) { return s.Connections().UserCount(); }), 0);
  if (GetParam().certain) {
    EXPECT_NE(server.dir().read("plugins/havoc.done"), "") << "the event never came";
  }

  server.Call([](ChatServer& s) {
    if (!s.IsOnline()) s.ChangeStatus(false);
  });
  ChatClient fresh = server.Connect();
  const auto welcome = fresh.ReceiveWelcome(testing::kWait);
  ASSERT_TRUE(welcome) << fresh.LastErrorText();
  EXPECT_EQ(welcome->status, "ok");
  const auto reply = fresh.Login("Zed", "", 0, "test", testing::kWait);
  ASSERT_TRUE(reply) << fresh.LastErrorText();
  EXPECT_EQ(reply->status, "ok");
  EXPECT_TRUE(server.Call([](ChatServer& s) { return s.Connections().CountsAgreeWithTable(); }));
}

std::vector<HavocCase> AllCases() {
  const std::vector<std::pair<std::string, bool>> triggers = {
      {"UserStatus:userloggedin", true}, {"UserStatus:userloggedout", true}, {"UserStatus:userjoined", true},
      {"UserStatus:userleft", true},     {"OnlineStatus:offline", true},     {"OnlineStatus:error", false},
      {"QueryChatname", true},           {"WelcomeMessage", true},           {"QueryChatroom", true},
      {"AllowJoinChatroom", true},       {"QueryAdminStatus", true},         {"NewMessage", true},
      {"ServerCommand", true},
  };
  std::vector<HavocCase> cases;
  for (const auto& [trigger, certain] : triggers) {
    for (const char* action : {"stop", "bounce", "kickall"}) cases.push_back({trigger, action, certain});
  }
  return cases;
}

INSTANTIATE_TEST_SUITE_P(EveryEvent, PluginHavoc, ::testing::ValuesIn(AllCases()), CaseName);

}  // namespace
}  // namespace velmorin
