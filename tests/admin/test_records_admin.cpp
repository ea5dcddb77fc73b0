// Accounts, ban rules and chatrooms administered through the control commands of a running
// server, checked from the outside: with real clients logging in and connecting, and with the
// files read back by another start of the server.

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "admin/AdminService.hpp"
#include "admin/ControlRegistry.hpp"
#include "chat/RoomTable.hpp"
#include "codec/Base64.hpp"
#include "config/Accounts.hpp"
#include "config/BanRules.hpp"
#include "config/Settings.hpp"
#include "support/PacketText.hpp"
#include "support/ServerHarness.hpp"

namespace velmorin {
namespace {

using client::ChatClient;
using testing::kWait;
using testing::ServerHarness;

// Runs one control command on the server thread, as the control socket does.
ControlReply Control(ServerHarness& server, std::vector<std::string> words, std::string input = "") {
  return server.Call([words = std::move(words), input = std::move(input)](ChatServer& s) {
    AdminService admin(s);
    ControlRegistry registry;
    admin.RegisterControlCommands(registry);
    return registry.Run(words, input);
  });
}

void ExpectDone(const ControlReply& reply) {
  EXPECT_EQ(reply.status, ControlStatus::Done) << reply.notice << ": " << reply.message;
}

// The login status a fresh client gets for nickname and password; "no welcome" when the server
// does not take the connection.
std::string LoginStatus(ServerHarness& server, const std::string& nickname, const std::string& password = "") {
  ChatClient client = server.Connect();
  if (!client.ReceiveWelcome(kWait)) return "no welcome";
  const auto reply = client.Login(nickname, password, 255, "test 1.0", kWait);
  return reply ? reply->status : "no reply";
}

const char* const kRoomsFile = "[Lobby]\r\nDescription=Main hall\r\n[Garden]\r\nDescription=Green\r\nPassword=\r\n";

TEST(AdminAccounts, ANewAccountLogsInAtOnceAndARemovedOrInactiveOneIsRefused) {
  ServerHarness server;
  server.Set("General", "AllowGuests", "0");
  ASSERT_TRUE(server.Start());

  ExpectDone(Control(server, {"account", "add", "Alice", "--comment", "first user"}, "s3cret"));
  EXPECT_EQ(LoginStatus(server, "alice", "s3cret"), "ok");
  EXPECT_NE(LoginStatus(server, "Alice", "wrong"), "ok");

  ExpectDone(Control(server, {"account", "edit", "ALICE", "--password"}, "n3w"));
  EXPECT_EQ(LoginStatus(server, "Alice", "n3w"), "ok");

  ExpectDone(Control(server, {"account", "edit", "alice", "--inactive"}));
  EXPECT_NE(LoginStatus(server, "Alice", "n3w"), "ok");
  ExpectDone(Control(server, {"account", "edit", "alice", "--active"}));
  EXPECT_EQ(LoginStatus(server, "Alice", "n3w"), "ok");

  const ControlReply list = Control(server, {"account", "list"});
  ASSERT_EQ(list.table.rows.size(), 1u);
  EXPECT_EQ(list.table.rows[0], (std::vector<std::string>{"Alice", "yes", "*", "first user"}));

  ExpectDone(Control(server, {"account", "remove", "alice"}));
  EXPECT_NE(LoginStatus(server, "Alice", "n3w"), "ok");
  EXPECT_EQ(server.dir().read("config/users.cfg").find("Alice"), std::string::npos);
}

TEST(AdminBans, ANewRuleRefusesTheNextConnectionOrLoginAndARemovedOneNoLonger) {
  ServerHarness server;
  ASSERT_TRUE(server.Start());

  ExpectDone(Control(server, {"ban", "add", "ip", "127.0.0.*"}));
  EXPECT_EQ(LoginStatus(server, "Guest"), "no welcome");
  ExpectDone(Control(server, {"ban", "remove", "ip", "127.0.0.*"}));
  EXPECT_EQ(LoginStatus(server, "Guest"), "ok");

  ExpectDone(Control(server, {"ban", "add", "ip", "127.0.0.1-127.0.0.2"}));
  EXPECT_EQ(LoginStatus(server, "Guest"), "no welcome");
  ExpectDone(Control(server, {"ban", "remove", "ip", "127.0.0.1-127.0.0.2"}));

  ExpectDone(Control(server, {"ban", "add", "nickpart", "bot"}));
  EXPECT_NE(LoginStatus(server, "RoBoTic"), "ok");
  EXPECT_EQ(LoginStatus(server, "Bob"), "ok");
}

TEST(AdminBans, BanningAConnectedUserDisconnectsThemAndKeepsTheChosenRules) {
  ServerHarness server;
  ASSERT_TRUE(server.Start());
  ChatClient bob = server.LoggedIn("Bob");

  ExpectDone(Control(server, {"ban", "user", "bob", "--nick"}));
  EXPECT_TRUE(bob.WaitForClose(kWait));
  EXPECT_NE(LoginStatus(server, "BOB"), "ok");
  EXPECT_EQ(LoginStatus(server, "Bobby"), "ok");
  const ControlReply list = Control(server, {"ban", "list"});
  EXPECT_EQ(list.table.rows, (std::vector<std::vector<std::string>>{{"nick", "Bob"}}));
}

TEST(AdminRooms, TheMembersOfARemovedRoomAreToldAndTheRoomLeavesTableAndFile) {
  ServerHarness server;
  server.dir().write("config/chatrooms.cfg", kRoomsFile);
  ASSERT_TRUE(server.Start());
  ChatClient ann = server.LoggedIn("Ann");
  ChatClient ben = server.LoggedIn("Ben");
  for (ChatClient* user : {&ann, &ben}) EXPECT_EQ(testing::Join(*user, "Garden"), testing::F({"Garden", "ok"}));
  server.Sync();

  ExpectDone(Control(server, {"room", "remove", "garden", "--yes"}));
  for (ChatClient* user : {&ann, &ben}) {
    const auto closed = user->ReceiveCommand("closeChatroom", kWait);
    ASSERT_TRUE(closed);
    EXPECT_EQ(closed->payload, "Garden");
  }
  EXPECT_EQ(server.Call([](ChatServer& s) { return s.Chatrooms().GetChatroomID("Garden"); }), -1);
  EXPECT_EQ(server.dir().read("config/chatrooms.cfg").find("Garden"), std::string::npos);
  EXPECT_NE(server.dir().read("config/chatrooms.cfg").find("Lobby"), std::string::npos);
  // The last stored room goes only when confirmed: without it the next start has no room.
  const ControlReply last = Control(server, {"room", "remove", "Lobby"});
  EXPECT_EQ(last.notice, "notConfirmed");
  EXPECT_NE(last.message.find("last chatroom"), std::string::npos) << last.message;
  EXPECT_NE(server.dir().read("config/chatrooms.cfg").find("Lobby"), std::string::npos);
}

TEST(AdminRooms, AStartWithAChatroomFileWithoutRoomsWarnsInTheLog) {
  ServerHarness server;
  server.dir().write("config/chatrooms.cfg", "");  // what removing the last stored room leaves
  ASSERT_TRUE(server.Start());
  EXPECT_EQ(server.Call([](ChatServer& s) { return s.Chatrooms().Count(); }), 0);
  EXPECT_EQ(server.CountLog("msgNoChatroom"), 1);
}

TEST(AdminRooms, RemovingTheStandardRoomIsRefusedWholeWhenTheSettingsCannotBeSaved) {
  ServerHarness server;
  server.dir().write("config/chatrooms.cfg", kRoomsFile);
  server.Set("Chatrooms", "StandardChatroom", "Garden");
  ASSERT_TRUE(server.Start());
  // A directory where the settings file should be: the save cannot replace it, even for root.
  std::filesystem::remove(server.dir().path("config/server.cfg"));
  std::filesystem::create_directory(server.dir().path("config/server.cfg"));

  const ControlReply reply = Control(server, {"room", "remove", "Garden", "--yes"});
  EXPECT_EQ(reply.status, ControlStatus::Refused);
  EXPECT_EQ(reply.notice, "failed");
  EXPECT_GE(server.Call([](ChatServer& s) { return s.Chatrooms().GetChatroomID("Garden"); }), 0);
  EXPECT_EQ(server.Call([](ChatServer&) { return ServerSettings.Chatrooms.StandardChatroom; }), "Garden");
  EXPECT_NE(server.dir().read("config/chatrooms.cfg").find("Garden"), std::string::npos);
  std::filesystem::remove(server.dir().path("config/server.cfg"));
}

// Everything a refusal could touch: the files and what the server holds in memory.
struct State {
  std::string users, bans, rooms, settings;
  std::string activeAccounts, banRules, liveRooms, standard;
  bool operator==(const State&) const = default;
};

State Snapshot(ServerHarness& server) {
  State state;
  state.users = server.dir().read("config/users.cfg");
  state.bans = server.dir().read("config/ban.cfg");
  state.rooms = server.dir().read("config/chatrooms.cfg");
  state.settings = server.dir().read("config/server.cfg");
  server.Call([&state](ChatServer& s) {
    state.activeAccounts = ActiveAccountList;
    for (const char* kind : {"ip", "nick", "nickrange"}) state.banRules += ListBanRules(kind) + '\n';
    for (long id = 0; id <= s.Chatrooms().MaxID(); ++id) {
      state.liveRooms += s.Chatrooms().Name(id) + '/' + s.Chatrooms().Password(id) + '/' + s.Chatrooms().Comment(id) + '\n';
    }
    state.standard = ServerSettings.Chatrooms.StandardChatroom;
  });
  return state;
}

TEST(AdminRefusals, BadFieldsAreRefusedWithTheirNoticeAndChangeNothing) {
  ServerHarness server;
  server.dir().write("config/chatrooms.cfg", kRoomsFile);
  server.dir().write("config/users.cfg", "[Alice]\r\nActive=1\r\nPassword=" + Base64Encode("pw") + "\r\n");
  server.dir().write("config/ban.cfg", "[IP]\r\n0=10.0.0.1\r\n[IP-Range]\r\n[Nick]\r\n0=Mallory\r\n[Nick-Range]\r\n");
  ASSERT_TRUE(server.Start());

  struct Case {
    std::vector<std::string> words;
    std::string input;
    std::string notice;
  };
  const std::string tooLong(41, 'x');
  const std::vector<Case> cases = {
      {{"account", "add", ""}, "pw", "noticeMissingName"},
      {{"account", "add", "alice"}, "pw", "noticeExist"},
      {{"account", "add", "Bob"}, "", "missingPassword"},
      {{"account", "add", tooLong}, "pw", "invalidValue"},
      {{"account", "add", "@bob"}, "pw", "invalidValue"},
      {{"account", "add", "Bob", "--comment", "a\nb"}, "pw", "invalidValue"},
      {{"account", "edit", "Nobody", "--inactive"}, "", "noticeAccountDoesNotExist"},
      {{"account", "edit", "Alice", "--password"}, "", "missingPassword"},
      {{"account", "remove", "Nobody"}, "", "noticeAccountDoesNotExist"},
      {{"ban", "add", "ip", "1.2.3"}, "", "noticeIP"},
      {{"ban", "add", "ip", "1.2.3.256"}, "", "noticeIP"},
      {{"ban", "add", "ip", "10.0.0.9-10.0.0.1"}, "", "noticeIP_Backward"},
      {{"ban", "add", "ip", "10.0.0.1-10.0.*.9"}, "", "noticeIP_Range"},
      {{"ban", "add", "ip", "010.0.0.1"}, "", "noticeAlreadyBannedIP"},
      {{"ban", "add", "nick", "mallory"}, "", "noticeAlreadyBannedNick"},
      {{"ban", "add", "nickpart", "  "}, "", "noticeMissingName"},
      {{"ban", "remove", "ip", "9.9.9.9"}, "", "notFound"},
      {{"ban", "remove", "nick", "Eve"}, "", "notFound"},
      {{"ban", "remove", "nickpart", "Mallory"}, "", "notFound"},  // a whole-nickname rule stays
      {{"ban", "user", "Nobody"}, "", "noticePersonDoesNotExist"},
      {{"room", "add", "lobby"}, "", "noticeAlreadyExist"},
      {{"room", "add", " "}, "", "noticeMissingName"},
      {{"room", "add", tooLong}, "", "invalidValue"},
      {{"room", "edit", "Nowhere", "--password", "p"}, "", "noticeChatroomDoesNotExist"},
      {{"room", "remove", "Nowhere"}, "", "noticeChatroomDoesNotExist"},
      {{"room", "standard", "Nowhere"}, "", "noticeChatroomDoesNotExist"},
      // What goes for good waits for --yes.
      {{"room", "remove", "Garden"}, "", "notConfirmed"},
      {{"settings", "reset"}, "", "notConfirmed"},
      {{"kick", "Nobody", "--reason", std::string(401, 'x')}, "", "textTooLong"},
      {{"kick", "Nobody", "--reason", "line\nbreak"}, "", "invalidValue"},
  };
  const State before = Snapshot(server);
  for (const Case& c : cases) {
    SCOPED_TRACE(c.words[0] + " " + c.words[1] + " " + c.words.back());
    const ControlReply reply = Control(server, c.words, c.input);
    EXPECT_EQ(reply.status, ControlStatus::Refused);
    EXPECT_EQ(reply.notice, c.notice);
    EXPECT_FALSE(reply.message.empty());
    EXPECT_TRUE(Snapshot(server) == before);
  }
  for (const std::vector<std::string>& words : std::vector<std::vector<std::string>>{
           {"account"}, {"account", "add", "Bob", "--bogus"}, {"ban", "add", "host", "x"}, {"room", "rename", "a"}}) {
    EXPECT_EQ(Control(server, words, "pw").status, ControlStatus::Usage) << words.back();
  }
}

TEST(AdminFiles, AnotherStartReadsBackWhatTheAdministrationWrote) {
  testing::TempProgramDir saved;
  {
    ServerHarness server;
    server.dir().write("config/chatrooms.cfg", kRoomsFile);
    ASSERT_TRUE(server.Start());
    ExpectDone(Control(server, {"account", "add", "Carol", "--comment", "tea", "--inactive"}, "pw1"));
    ExpectDone(Control(server, {"account", "add", "Dave"}, "pw2"));
    ExpectDone(Control(server, {"ban", "add", "ip", "192.168.*.*"}));
    ExpectDone(Control(server, {"ban", "add", "ip", "010.0.0.1-10.0.0.50"}));
    ExpectDone(Control(server, {"ban", "add", "nickpart", "bot"}));
    ExpectDone(Control(server, {"room", "add", "Attic", "--password", "k3y", "--description", "Up", "--store"}));
    ExpectDone(Control(server, {"room", "add", "Cellar"}));
    ExpectDone(Control(server, {"room", "edit", "lobby", "--description", "Hall"}));
    ExpectDone(Control(server, {"room", "standard", "attic"}));
    server.Stop();
    EXPECT_NE(server.dir().read("config/server.cfg").find("StandardChatroom=Attic"), std::string::npos);
    for (const char* file : {"config/users.cfg", "config/ban.cfg", "config/chatrooms.cfg"}) {
      saved.write(file, server.dir().read(file));
    }
  }
  ServerHarness again;
  for (const char* file : {"config/users.cfg", "config/ban.cfg", "config/chatrooms.cfg"}) {
    again.dir().write(file, saved.read(file));
  }
  again.Set("Chatrooms", "StandardChatroom", "Attic");
  ASSERT_TRUE(again.Start());
  again.Call([](ChatServer& s) {
    EXPECT_EQ(ActiveAccountList, std::string("\0dave\0", 6));
    EXPECT_TRUE(AccountExists("Carol"));
    EXPECT_EQ(GetPassword("carol"), "pw1");
    EXPECT_EQ(GetUserAccountInfo("Carol", "Comment"), "tea");
    EXPECT_EQ(ListBanRules("ip"), std::string("192.168.*.*\0" "10.0.0.1-10.0.0.50", 30));
    EXPECT_EQ(ListBanRules("nickrange"), "bot");
    const long attic = s.Chatrooms().GetChatroomID("Attic");
    ASSERT_GE(attic, 0);
    EXPECT_EQ(s.Chatrooms().Password(attic), "k3y");
    EXPECT_EQ(s.Chatrooms().Comment(attic), "Up");
    EXPECT_EQ(s.Chatrooms().Comment(s.Chatrooms().GetChatroomID("Lobby")), "Hall");
    EXPECT_EQ(s.Chatrooms().GetChatroomID("Cellar"), -1);
    EXPECT_EQ(ServerSettings.Chatrooms.StandardChatroom, "Attic");
  });
  EXPECT_EQ(LoginStatus(again, "Dave", "pw2"), "ok");
}

}  // namespace
}  // namespace velmorin
