// Plugins driving the running server: real plugin libraries (tests/plugins/scripted.cpp,
// installed under several component names) subscribe to events and issue commands, and real
// clients see the effect over loopback.

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "config/BanRules.hpp"
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

class PluginCommandTest : public ::testing::Test {
 protected:
  void SetUp() override {
    server.dir().write("config/chatrooms.cfg", "[Lobby]\r\nDescription=Main hall\r\n[Garden]\r\nDescription=Green\r\n");
  }

  // Installs the scripted plugin as plugins/<component>.so with its answer rules; before Start.
  void Install(const std::string& component, const std::string& rules = "") {
    server.dir().installPlugin(std::string(VELMORIN_TEST_PLUGIN_DIR) + "/scripted.so", component);
    server.dir().write("plugins/" + component + ".rules", rules);
  }
  static std::string Ident(const std::string& component) { return "scripted-" + component; }

  // The plugin issues the command and hands back the server's result.
  std::string Run(const std::string& component, const std::string& word, const std::string& p1 = "",
                  const std::string& p2 = "") {
    return server.Call([&](ChatServer& s) {
      return s.RunningPlugins().Call(Ident(component), "Run", word, p1 + '\x1e' + p2).value_or("<not running>");
    });
  }
  // Every call the plugin received, one line each (see scripted.cpp for the notation).
  std::vector<std::string> Received(const std::string& component) {
    server.Sync();
    const std::vector<std::string> lines = Split(server.dir().read("plugins/" + component + ".received"), "\n");
    return {lines.begin(), lines.end() - 1};
  }
  // The registry entry of an event, or "<none>".
  std::string Entry(const std::string& event) {
    return server.Call([&](ChatServer& s) { return s.Commands().Registry().Entry(event).value_or("<none>"); });
  }

  ChatClient User(const std::string& nickname, const std::string& room = "") {
    ChatClient user = server.LoggedIn(nickname);
    if (!room.empty()) {
      EXPECT_EQ(Join(user, room), F({room, "ok"}));
    }
    return user;
  }
  std::string Join(ChatClient& user, const std::string& room) {
    return testing::Join(user, room);
  }
  Seen Arrived(ChatClient& user) { return testing::Arrived(server, user); }

  ServerHarness server;
};

using PluginEventsRaised = PluginCommandTest;
using PluginCommandRegistry = PluginCommandTest;
using PluginChatroomCommands = PluginCommandTest;
using PluginUserCommands = PluginCommandTest;
using PluginDataCommands = PluginCommandTest;
using PluginServerCommands = PluginCommandTest;

// ---- Events ---------------------------------------------------------------------------------

TEST_F(PluginEventsRaised, QueryChatnameIsChainedInSubscriptionOrder) {
  Install("alpha", "QueryChatname append1 a\n");
  Install("beta", "QueryChatname append1 b\n");
  ASSERT_TRUE(server.Start());
  Run("beta", "AddEventHandler", "QueryChatname");
  Run("alpha", "AddEventHandler", "QueryChatname");
  auto user = server.LoggedIn("Ann");
  EXPECT_EQ(Run("alpha", "GetUserList"), "Annba");
  EXPECT_EQ(Received("beta"), std::vector<std::string>{"QueryChatname|Ann|127.0.0.1"});
  EXPECT_EQ(Received("alpha"), std::vector<std::string>{"QueryChatname|Annb|127.0.0.1"});
}

TEST_F(PluginEventsRaised, AllowJoinChatroomAnswersAreOred) {
  Install("alpha", "AllowJoinChatroom answer 0\n");
  Install("beta", "AllowJoinChatroom answer 1\n");
  ASSERT_TRUE(server.Start());
  auto ann = User("Ann");
  EXPECT_EQ(Join(ann, "Lobby"), F({"Lobby", "ok"}));  // nobody subscribed

  Run("alpha", "AddEventHandler", "AllowJoinChatroom");
  EXPECT_EQ(Join(ann, "Garden"), F({"Garden", "failed"}));
  EXPECT_EQ(Received("alpha"), std::vector<std::string>{"AllowJoinChatroom|Ann|Garden"});

  Run("beta", "AddEventHandler", "AllowJoinChatroom");
  EXPECT_EQ(Join(ann, "Garden"), F({"Garden", "ok"}));
}

TEST_F(PluginEventsRaised, QueryChatroomRedirectsJoinsAndNamesCreatedRooms) {
  Install("alpha", "QueryChatroom answer Garden\n");
  ASSERT_TRUE(server.Start());
  Run("alpha", "AddEventHandler", "QueryChatroom");
  auto ann = User("Ann");
  EXPECT_EQ(Join(ann, "  lobby  "), F({"Garden", "ok"}));
  EXPECT_EQ(testing::Request(ann, "createChatroom", F({"Den", "", "", ""}), "acceptChatroom"), F({"Garden", "notcreated"}));
  EXPECT_EQ(Received("alpha"), (std::vector<std::string>{"QueryChatroom|Ann|lobby", "QueryChatroom|Ann|Den"}));
}

TEST_F(PluginEventsRaised, AnEmptyNewMessageAnswerDropsPublicMessagesButPrivateOnesPass) {
  Install("alpha", "NewMessage answer\n");
  ASSERT_TRUE(server.Start());
  Run("alpha", "AddEventHandler", "NewMessage");
  auto ann = User("Ann", "Lobby");
  auto ben = User("Ben", "Lobby");
  Arrived(ann);
  Arrived(ben);

  ASSERT_TRUE(ann.Send("message", F({"normal", "", "hello all"})));
  EXPECT_EQ(Arrived(ben), Seen{});
  EXPECT_EQ(Arrived(ann), Seen{});
  EXPECT_EQ(Received("alpha"), std::vector<std::string>{"NewMessage|Ann\\0Lobby|normal\\0\\0hello all"});

  ASSERT_TRUE(ann.Send("message", F({"private", "Ben", "psst"})));
  EXPECT_EQ(Arrived(ben), Seen{P("message", F({"private", "Ann", "Ben", "255", "psst"}))});
  EXPECT_EQ(Received("alpha").size(), 1u);  // private messages are not offered to plugins
}

TEST_F(PluginEventsRaised, ServerCommandIsHandledOnlyByTheExactWordDoneAndEverySubscriberIsCalled) {
  Install("alpha", "ServerCommand answer Done\n");
  Install("beta", "ServerCommand answer done\n");
  ASSERT_TRUE(server.Start());
  Run("alpha", "AddEventHandler", "ServerCommand");
  auto ann = User("Ann");
  Arrived(ann);

  ASSERT_TRUE(ann.Send("command", F({"dance", "wildly"})));
  const std::string unknown = ReplaceAll(server.Text("msgUnknownServerCommand"), "%cmd", "dance");
  EXPECT_EQ(Arrived(ann), Seen{P("message", F({"server", unknown}))});

  Run("beta", "AddEventHandler", "ServerCommand");
  ASSERT_TRUE(ann.Send("command", F({"dance", "wildly"})));
  EXPECT_EQ(Arrived(ann), Seen{});
  EXPECT_EQ(Received("alpha").size(), 2u);
  EXPECT_EQ(Received("beta"), std::vector<std::string>{"ServerCommand|dance\\0Ann|wildly"});
}

TEST_F(PluginEventsRaised, AFailingSubscriberIsSkippedAndTheNextOneStillAnswers) {
  Install("alpha", "QueryChatname fail\n");
  Install("beta", "QueryChatname append1 b\n");
  ASSERT_TRUE(server.Start());
  Run("alpha", "AddEventHandler", "QueryChatname");
  Run("beta", "AddEventHandler", "QueryChatname");
  auto user = server.LoggedIn("Ann");
  EXPECT_EQ(Run("alpha", "GetUserList"), "Annb");
  EXPECT_EQ(Received("alpha"), std::vector<std::string>{"QueryChatname|Ann|127.0.0.1"});
  EXPECT_EQ(Received("beta"), std::vector<std::string>{"QueryChatname|Ann|127.0.0.1"});
}

// "offline" is heard once at close: as the online server goes offline, or as the program closes
// when the server was offline already.
TEST_F(PluginEventsRaised, ClosingTellsSubscribersOfflineOnceThenTerminatesThePlugins) {
  Install("alpha");
  ASSERT_TRUE(server.Start());
  Run("alpha", "AddEventHandler", "OnlineStatus");
  server.Stop();
  EXPECT_EQ(Received("alpha"), (std::vector<std::string>{"OnlineStatus|offline|", "Terminate|server|"}));
}

TEST_F(PluginEventsRaised, ClosingAnOfflineServerTellsSubscribersOfflineOnce) {
  Install("alpha");
  ASSERT_TRUE(server.Start());
  Run("alpha", "AddEventHandler", "OnlineStatus");
  server.Call([](ChatServer& s) { s.ChangeStatus(false); });
  ASSERT_EQ(Received("alpha"), (std::vector<std::string>{"OnlineStatus|offline|"}));
  server.Stop();
  EXPECT_EQ(Received("alpha"),
            (std::vector<std::string>{"OnlineStatus|offline|", "OnlineStatus|offline|", "Terminate|server|"}));
}

// ---- Event registry -------------------------------------------------------------------------

TEST_F(PluginCommandRegistry, SubscriptionsKeepOrderAreNeverDoubledAndRemoveLeavesTheRest) {
  Install("alpha");
  Install("beta");
  ASSERT_TRUE(server.Start());
  EXPECT_EQ(Run("alpha", "AddEventHandler", "NewMessage"), "");
  Run("alpha", "AddEventHandler", "NewMessage");
  EXPECT_EQ(Entry("NewMessage"), "scripted-alpha");
  Run("beta", "AddEventHandler", "NewMessage");
  EXPECT_EQ(Entry("NewMessage"), "scripted-alpha\r\nscripted-beta");

  EXPECT_EQ(Run("alpha", "RemoveEventHandler", "NewMessage"), "");
  EXPECT_EQ(Entry("NewMessage"), "scripted-beta");
  Run("alpha", "RemoveEventHandler", "NewMessage");  // not subscribed: nothing changes
  EXPECT_EQ(Entry("NewMessage"), "scripted-beta");
  Run("beta", "RemoveEventHandler", "NewMessage");
  EXPECT_EQ(Entry("NewMessage"), "<none>");

  // Any name can be subscribed, and names are case-sensitive.
  Run("beta", "AddEventHandler", "NoSuchEvent");
  EXPECT_EQ(Entry("NoSuchEvent"), "scripted-beta");
  EXPECT_EQ(Entry("nosuchevent"), "<none>");
}

TEST_F(PluginCommandRegistry, CommandWordsAreCaseSensitiveAndAddLogLineWritesInTheGivenColour) {
  Install("alpha");
  ASSERT_TRUE(server.Start());
  EXPECT_EQ(Run("alpha", "AddLogLine", "255", "plugin says hi"), "");
  EXPECT_EQ(Run("alpha", "addlogline", "255", "never shown"), "");
  EXPECT_EQ(Run("alpha", "AddLogLine", "red", "not a colour"), "");
  long color = -1;
  int lines = 0;
  for (const auto& line : server.frontEnd().Log()) {
    if (line.text.find("plugin says hi") != std::string::npos) color = line.color;
    if (line.text.find("never shown") != std::string::npos || line.text.find("not a colour") != std::string::npos) {
      ++lines;
    }
  }
  EXPECT_EQ(color, 255);
  EXPECT_EQ(lines, 0);
}

TEST_F(PluginCommandRegistry, MenuEntriesAreKeptPerPluginAndAClickReachesTheOwner) {
  Install("alpha");
  Install("beta");
  ASSERT_TRUE(server.Start());
  const auto entries = [&] {
    return server.Call([](ChatServer& s) {
      std::vector<std::string> shown;
      for (const PluginMenuEntry& entry : s.Commands().Menu().Entries()) {
        shown.push_back(entry.owner + "/" + entry.name + "/" + entry.caption + "/" + BoolText(entry.checked) +
                        BoolText(entry.enabled));
      }
      return shown;
    });
  };
  EXPECT_EQ(Run("alpha", "AddMenuEntry", "tools", "Tools"), "");
  Run("alpha", "AddMenuEntry", "TOOLS", F({"Again", "1", "0"}));  // the same entry: ignored
  Run("beta", "AddMenuEntry", "tools", F({"Beta tools", "1", "0"}));
  EXPECT_EQ(entries(), (std::vector<std::string>{"scripted-alpha/tools/Tools/01", "scripted-beta/tools/Beta tools/10"}));

  EXPECT_EQ(Run("alpha", "EditMenuEntry", "never", "Never"), "");
  Run("alpha", "EditMenuEntry", "tools", F({"Renamed", "true"}));
  EXPECT_EQ(entries(), (std::vector<std::string>{"scripted-alpha/tools/Renamed/11", "scripted-beta/tools/Beta tools/10"}));

  server.Call([](ChatServer& s) { s.Commands().MenuClick("scripted-beta", "tools"); });
  EXPECT_EQ(Received("beta"), std::vector<std::string>{"MenuClick|tools|"});

  EXPECT_EQ(Run("beta", "RemoveMenuEntry", "tools"), "");
  EXPECT_EQ(entries(), std::vector<std::string>{"scripted-alpha/tools/Renamed/11"});
}

// ---- Chatrooms ------------------------------------------------------------------------------

TEST_F(PluginChatroomCommands, CreateChatroomKeepsMemoryOnlyRoomsOutOfTheFile) {
  Install("alpha");
  ASSERT_TRUE(server.Start());
  EXPECT_EQ(Run("alpha", "CreateChatroom", F({"Den", "", "", "0"})), "");
  EXPECT_EQ(Run("alpha", "CreateChatroom", F({"Attic", "Dusty", "pw", "1"})), "created");
  EXPECT_EQ(Run("alpha", "CreateChatroom", F({"attic", "", "", "1"})), "exists");
  EXPECT_EQ(Run("alpha", "CreateChatroom", F({"   ", "", "", "1"})), "failed");
  EXPECT_EQ(Run("alpha", "CreateChatroom", ""), "failed");
  EXPECT_EQ(Run("alpha", "GetChatroomList"), F({"Lobby", "Garden", "Den", "Attic"}));
  EXPECT_EQ(Run("alpha", "GetChatroomInfos", "ATTIC"), F({"pw", "1", "0", "Dusty"}));
  EXPECT_EQ(Run("alpha", "GetChatroomInfos", "Nowhere"), "");
  const std::string file = server.dir().read("config/chatrooms.cfg");
  EXPECT_NE(file.find("[Attic]"), std::string::npos);
  EXPECT_EQ(file.find("[Den]"), std::string::npos);
  EXPECT_EQ(Run("alpha", "ModifyChatroom", F({"Den", "description", "0"}), "Cosy"), "modified");
  EXPECT_EQ(Run("alpha", "ModifyChatroom", F({"Den", "Description", "0"}), "Cosy"), "invalid");
  EXPECT_EQ(Run("alpha", "ModifyChatroom", F({"Nowhere", "description", "0"}), "x"), "notfound");
}

TEST_F(PluginChatroomCommands, RemovingAnOccupiedRoomNeedsForceAndSendsEveryMemberOut) {
  Install("alpha");
  ASSERT_TRUE(server.Start());
  auto ann = User("Ann", "Lobby");
  auto ben = User("Ben", "Lobby");
  Arrived(ann);
  Arrived(ben);
  EXPECT_EQ(Run("alpha", "RemoveChatroom", F({"lobby", "0"}), "0"), "notempty");
  EXPECT_EQ(Run("alpha", "RemoveChatroom", F({"lobby", "0"})), "notempty");
  EXPECT_EQ(Run("alpha", "GetUserList", "Lobby"), "Ann\x01" "Ben");
  EXPECT_EQ(Run("alpha", "RemoveChatroom", F({"lobby", "0"}), "1"), "removed");
  EXPECT_EQ(Arrived(ann), Seen{P("closeChatroom", "Lobby")});
  EXPECT_EQ(Arrived(ben), Seen{P("closeChatroom", "Lobby")});
  EXPECT_EQ(Run("alpha", "GetChatroomList"), "Garden");
  EXPECT_EQ(Run("alpha", "GetUserInfo", "Ann", "chatroom"), "");
  EXPECT_EQ(Run("alpha", "GetUserList", "Lobby"), "");
  EXPECT_EQ(Run("alpha", "RemoveChatroom", F({"Lobby", "0"}), "1"), "notfound");
}

// ---- Users and messages ---------------------------------------------------------------------

TEST_F(PluginUserCommands, SendMessageReachesConnectedRecipientsOnly) {
  Install("alpha");
  ASSERT_TRUE(server.Start());
  auto ann = User("Ann");
  auto ben = User("Ben");
  Arrived(ann);
  Arrived(ben);
  EXPECT_EQ(Run("alpha", "SendMessage", "Ghost\x01Nobody", "hi"), "notsent");
  EXPECT_EQ(Run("alpha", "SendMessage", "Ann", " \t "), "invalidmsg");
  EXPECT_EQ(Run("alpha", "SendMessage", "Ghost\x01" "ann", "  hi  "), "sent");
  EXPECT_EQ(Arrived(ann), Seen{P("message", F({"server", "hi"}))});
  EXPECT_EQ(Arrived(ben), Seen{});
  EXPECT_EQ(Run("alpha", "SendMessage", "", "all"), "sent");
  EXPECT_EQ(Arrived(ann), Seen{P("message", F({"server", "all"}))});
  EXPECT_EQ(Arrived(ben), Seen{P("message", F({"server", "all"}))});
}

TEST_F(PluginUserCommands, KickThrowAndAdminStatusActOnTheNamedUser) {
  Install("alpha");
  ASSERT_TRUE(server.Start());
  auto ann = User("Ann", "Lobby");
  auto ben = User("Ben", "Lobby");
  Arrived(ann);
  Arrived(ben);

  EXPECT_EQ(Run("alpha", "SetAdminStatus", "ghost", "1"), "notfound");
  EXPECT_EQ(Run("alpha", "SetAdminStatus", "ann", "true"), "done");
  EXPECT_EQ(Arrived(ann), Seen{P("newClientState", F({"Ann", "admin"}))});
  EXPECT_EQ(Arrived(ben), Seen{P("newClientState", F({"Ann", "admin"}))});
  EXPECT_EQ(Run("alpha", "GetUserInfo", "Ann", "admin"), "1");
  EXPECT_EQ(Run("alpha", "SetAdminStatus", "Ann", "1"), "done");  // unchanged: nothing sent
  EXPECT_EQ(Arrived(ben), Seen{});

  EXPECT_EQ(Run("alpha", "ThrowUser", "Ghost", "go"), "usernotfound");
  EXPECT_EQ(Run("alpha", "ThrowUser", "Ann", "go"), "done");
  EXPECT_EQ(Arrived(ann), Seen{P("closeChatroom", "Lobby")});
  EXPECT_EQ(Arrived(ben), Seen{P("userLeft", F({"Ann", "Lobby", "", "go"}))});
  EXPECT_EQ(Run("alpha", "ThrowUser", "Ann", "again"), "roomnotfound");
  EXPECT_EQ(Run("alpha", "GetUserList", "Lobby"), "Ben");

  EXPECT_EQ(Run("alpha", "KickUser", "Ghost", "bye"), "notfound");
  EXPECT_EQ(Run("alpha", "KickUser", "ann", " bye "), "kicked");
  EXPECT_TRUE(ann.WaitForClose(kWait));
  EXPECT_EQ(Run("alpha", "GetUserList"), "Ben");
  EXPECT_EQ(Run("alpha", "GetUserInfo", "Ben", "version"), "test 1.0");
  EXPECT_EQ(Run("alpha", "GetUserInfo", "Ben", "ip"), "127.0.0.1");
  EXPECT_EQ(Run("alpha", "GetUserInfo", "Ben", "Version"), "");
}

TEST_F(PluginUserCommands, BanRulesAddedByPluginsReportDuplicatesAndRemoveFallsBackToPatterns) {
  Install("alpha");
  ASSERT_TRUE(server.Start());
  EXPECT_EQ(Run("alpha", "AddBanRule", "ip", "10.0.0.1-10.0.0.9"), "done");
  EXPECT_EQ(Run("alpha", "AddBanRule", "ip", "10.0.0.1-10.0.0.9"), "exists");
  EXPECT_EQ(Run("alpha", "AddBanRule", "ip", "10.0.0.1-10.0.*.9"), "invalid");
  EXPECT_EQ(Run("alpha", "AddBanRule", "mask", "x"), "");
  EXPECT_EQ(Run("alpha", "ListBanRules", "ip"), "10.0.0.1-10.0.0.9");
  EXPECT_EQ(Run("alpha", "AddBanRule", "nickrange", "Spam"), "done");
  EXPECT_EQ(Run("alpha", "RemoveBanRule", "nickrange", "Spam"), "");
  EXPECT_EQ(Run("alpha", "ListBanRules", "nickrange"), "Spam");
  EXPECT_EQ(Run("alpha", "RemoveBanRule", "nick", "spam"), "done");
  EXPECT_EQ(Run("alpha", "ListBanRules", "nickrange"), "");
  EXPECT_EQ(Run("alpha", "RemoveBanRule", "nick", "spam"), "notfound");
}

// ---- Data between plugins and clients -------------------------------------------------------

TEST_F(PluginDataCommands, SendDataToClientReportsAbsentNicknamesToTheSender) {
  Install("alpha");
  ASSERT_TRUE(server.Start());
  auto ann = User("Ann");
  Arrived(ann);
  EXPECT_EQ(Run("alpha", "SendDataToClient", F({"", "Ann"}), "x"), "invalid");
  EXPECT_EQ(Run("alpha", "SendDataToClient", F({"tag", "Ann\x01Ghost"}), std::string("da\0ta", 5)), "sent");
  EXPECT_EQ(Arrived(ann), Seen{P("serverPluginData", "scripted-alpha\r\n" + F({"tag", "da", "ta"}))});
  EXPECT_EQ(Received("alpha"), std::vector<std::string>{"ClientPluginResponse|Ghost|usernotfound"});
  EXPECT_EQ(Run("alpha", "SendDataToClient", F({"tag", "Ghost"}), "x"), "sent");
  // A recipient named several times gets one copy, as does one named in a message.
  EXPECT_EQ(Run("alpha", "SendDataToClient", F({"tag", "Ann\x01" "ann\x01" "ANN"}), "once"), "sent");
  EXPECT_EQ(Arrived(ann), Seen{P("serverPluginData", "scripted-alpha\r\n" + F({"tag", "once"}))});
  EXPECT_EQ(Run("alpha", "SendMessage", "Ann\x01" "ann", "once"), "sent");
  EXPECT_EQ(Arrived(ann), Seen{P("message", F({"server", "once"}))});
}

TEST_F(PluginDataCommands, PluginsReachEachOtherByIdentity) {
  Install("alpha");
  Install("beta", "DataFromPluginSynch append2 !\n");
  ASSERT_TRUE(server.Start());
  EXPECT_EQ(Run("alpha", "SendDataToPlugin", F({"t", "scripted-beta"}), "one"), "sent");
  EXPECT_EQ(Run("alpha", "SendDataToPlugin", F({"t", "scripted-gamma"}), "one"), "notfound");
  EXPECT_EQ(Run("alpha", "SendDataToPlugin", F({"", "scripted-beta"}), "one"), "invalid");
  EXPECT_EQ(Run("alpha", "SendDataToPluginSynch", F({"t", "SCRIPTED-BETA"}), "two"), "two!");
  EXPECT_EQ(Run("alpha", "SendDataToPluginSynch", F({"t", ""}), "two"), "");
  EXPECT_EQ(Received("beta"), (std::vector<std::string>{"DataFromPlugin|t\\0scripted-alpha|one",
                                                        "DataFromPluginSynch|t\\0scripted-alpha|two"}));
}

TEST_F(PluginDataCommands, ClientDataReachesTheNamedPlugin) {
  Install("alpha");
  ASSERT_TRUE(server.Start());
  auto ann = User("Ann");
  ASSERT_TRUE(ann.Send("serverPluginData", "scripted-alpha\r\ntag" + std::string(1, '\0') + "payload"));
  ASSERT_TRUE(ann.Send("pluginResponse", F({"answer", "scripted-alpha", ""})));
  EXPECT_EQ(Received("alpha"), (std::vector<std::string>{"DataFromClient|tag\\0Ann|payload",
                                                         "ClientPluginResponse|Ann|answer"}));
}

// ---- Server state and settings --------------------------------------------------------------

TEST_F(PluginServerCommands, AdministrationCommandsLeaveOneAuditLineEachWithoutTheirSecrets) {
  Install("alpha");
  ASSERT_TRUE(server.Start());
  ChatClient bob = User("Bob");
  EXPECT_EQ(Run("alpha", "CreateUserAccount", "Eve"), "created");
  Run("alpha", "ModifyUserAccount", F({"Eve", "password"}), "Sesame-4711");
  EXPECT_EQ(Run("alpha", "CreateChatroom", F({"Attic", "Dusty", "Hush-0815", "1"})), "created");
  EXPECT_EQ(Run("alpha", "KickUser", "Bob", "spam"), "kicked");
  // Reading and talking to users are no administration.
  Run("alpha", "GetChatroomList");
  Run("alpha", "ListBanRules", "ip");
  server.Sync();
  const std::string origin = "Administration (plugin " + Ident("alpha") + "): ";
  std::vector<std::string> audit;
  for (const std::string& line : server.LogLines()) {
    if (line.starts_with(origin)) audit.push_back(line.substr(origin.size()));
    EXPECT_EQ(line.find("Sesame-4711"), std::string::npos) << line;
    EXPECT_EQ(line.find("Hush-0815"), std::string::npos) << line;
  }
  ASSERT_EQ(audit.size(), 4U) << ::testing::PrintToString(server.LogLines());
  EXPECT_EQ(audit[0], "CreateUserAccount Eve - answered \"created\".");
  EXPECT_TRUE(audit[1].starts_with("ModifyUserAccount Eve - ")) << audit[1];
  EXPECT_EQ(audit[2], "CreateChatroom Attic - answered \"created\".");
  EXPECT_EQ(audit[3], "KickUser Bob spam - answered \"kicked\".");
}

TEST_F(PluginServerCommands, StartAndStopReportTheStateTheyFound) {
  Install("alpha");
  ASSERT_TRUE(server.Start());
  EXPECT_EQ(Run("alpha", "StartServer", "2000"), "started");
  auto ann = User("Ann");
  EXPECT_EQ(Run("alpha", "StopServer"), "notempty");
  EXPECT_EQ(Run("alpha", "StopServer", "1"), "done");
  EXPECT_TRUE(ann.WaitForClose(kWait));
  EXPECT_FALSE(server.Call([](ChatServer& s) { return s.IsOnline(); }));
  EXPECT_EQ(Run("alpha", "StopServer", "1"), "stopped");
  EXPECT_EQ(Run("alpha", "StartServer", "70000"), "done");
  EXPECT_TRUE(server.Call([](ChatServer& s) { return s.IsOnline(); }));
  EXPECT_EQ(Run("alpha", "GetServerInfo", "port"), std::to_string(server.port()));
  EXPECT_EQ(Run("alpha", "StopServer"), "done");  // nobody logged in
}

TEST_F(PluginServerCommands, SettingsSwitchesReturnTheOldValue) {
  Install("alpha");
  server.Set("General", "AllowGuests", "1");
  ASSERT_TRUE(server.Start());
  EXPECT_EQ(Run("alpha", "AllowAnonymousLogin", "maybe"), "1");
  EXPECT_EQ(Run("alpha", "AllowAnonymousLogin", "deny"), "1");
  EXPECT_EQ(Run("alpha", "AllowAnonymousLogin", "allow"), "0");
  EXPECT_EQ(Run("alpha", "AllowAnonymousLogin", ""), "1");
  EXPECT_EQ(Run("alpha", "SetStandardChatroom", "  Garden  "), "");
  EXPECT_EQ(Run("alpha", "GetStandardChatroom"), "Garden");
  EXPECT_EQ(Run("alpha", "GetServerInfo", "usercount"), "0");
  EXPECT_EQ(Run("alpha", "GetServerInfo", "chatroomcount"), "2");
  EXPECT_EQ(Run("alpha", "GetServerInfo", "Port"), "");
}

TEST_F(PluginServerCommands, AWelcomeTextOverAHandEditedFileIsNotTakenAndTheLogSaysWhy) {
  Install("alpha");
  server.dir().write("config/welcome.msg", "Hello\r\n");
  ASSERT_TRUE(server.Start());
  server.dir().write("config/welcome.msg", "Hand text\r\n");
  EXPECT_EQ(Run("alpha", "SetWelcomeMessage", "Plugin text"), "");
  EXPECT_EQ(server.dir().read("config/welcome.msg"), "Hand text\r\n");
  EXPECT_EQ(Run("alpha", "GetWelcomeMessage"), "Hello");
  EXPECT_TRUE(server.WaitForLog("msgChangedOnDisk", {{"%file", server.dir().path("config/welcome.msg")}}));
}

}  // namespace
}  // namespace velmorin
