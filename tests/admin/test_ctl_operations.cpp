// The control commands end to end: velmorin-ctl talks to a headless server over its real control
// socket, and chat clients on loopback see what the commands do to them.

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "admin/CtlRun.hpp"
#include "client/Discovery.hpp"
#include "faults/ServerUnderTest.hpp"
#include "support/PacketText.hpp"

namespace velmorin {
namespace {

using testing::Ctl;
using testing::CtlJson;
using testing::CtlRun;
using testing::F;
using testing::kWait;
using testing::ServerUnderTest;

constexpr std::chrono::milliseconds kDiscoveryWait{500};

// The text of the next server message the client gets ("message" from "server").
std::string NextServerMessage(client::ChatClient& user) {
  const auto packet = user.ReceiveCommand("message", kWait);
  if (!packet) return "<no message: " + user.LastErrorText() + ">";
  const std::string prefix = std::string("server") + '\0';
  if (packet->payload.rfind(prefix, 0) != 0) return "<not from the server: " + packet->payload + ">";
  return packet->payload.substr(prefix.size());
}

bool Answers(std::uint16_t port) {
  return !client::Discover("127.0.0.1", port, kDiscoveryWait).servers.empty();
}

std::string Described(const CtlRun& run) {
  return "exit " + (run.exit ? std::to_string(*run.exit) : std::string("none")) + ": " + run.output;
}

TEST(CtlOperations, ServerMessagesRoomRemovalAndKickReachTheClients) {
  ServerUnderTest server;
  ASSERT_TRUE(server.Start()) << server.Output();
  client::ChatClient ann = server.LoggedIn("Ann");
  client::ChatClient bob = server.LoggedIn("Bob");
  ASSERT_EQ(testing::Request(ann, "createChatroom", F({"Loft", "Up top", "", ""}), "acceptChatroom"), F({"Loft", "ok"}));

  const CtlRun all = Ctl(server.dir(), {"say", "hello", "everyone"});
  ASSERT_EQ(all.exit, 0) << Described(all);
  EXPECT_EQ(NextServerMessage(ann), "hello everyone");
  EXPECT_EQ(NextServerMessage(bob), "hello everyone");

  // Each client's next message tells whether the targeted one reached it.
  ASSERT_EQ(Ctl(server.dir(), {"say", "--user", "bob", "only", "for", "Bob"}).exit, 0);
  ASSERT_EQ(Ctl(server.dir(), {"say", "--room", "Loft", "only", "the", "Loft"}).exit, 0);
  ASSERT_EQ(Ctl(server.dir(), {"say", "last"}).exit, 0);
  EXPECT_EQ(NextServerMessage(bob), "only for Bob");
  EXPECT_EQ(NextServerMessage(bob), "last");
  EXPECT_EQ(NextServerMessage(ann), "only the Loft");
  EXPECT_EQ(NextServerMessage(ann), "last");

  const CtlRun removed = Ctl(server.dir(), {"room", "remove", "Loft"});
  ASSERT_EQ(removed.exit, 0) << Described(removed);
  const auto closed = ann.ReceiveCommand("closeChatroom", kWait);
  ASSERT_TRUE(closed) << ann.LastErrorText();
  EXPECT_EQ(closed->payload, "Loft");
  const CtlRun rooms = CtlJson(server.dir(), {"rooms"});
  EXPECT_EQ(rooms.output.find("\"Loft\""), std::string::npos) << rooms.output;

  const CtlRun kicked = Ctl(server.dir(), {"kick", "Bob"});
  ASSERT_EQ(kicked.exit, 0) << Described(kicked);
  EXPECT_TRUE(bob.WaitForClose(kWait));
  // Ann stays, and the user list says so.
  const CtlRun users = CtlJson(server.dir(), {"users"});
  EXPECT_NE(users.output.find("\"Ann\""), std::string::npos) << users.output;
  EXPECT_EQ(users.output.find("\"Bob\""), std::string::npos) << users.output;
}

TEST(CtlOperations, AnAccountAddedWithAPasswordOnInputLogsInAtOnceAndABannedAddressIsRefused) {
  ServerUnderTest server;
  ASSERT_TRUE(server.Start()) << server.Output();

  const CtlRun added = Ctl(server.dir(), {"account", "add", "Carol", "--comment", "new here", "--password-stdin"},
                           {.input = "s3cret words\n"});
  ASSERT_EQ(added.exit, 0) << Described(added);
  // The password is not echoed anywhere.
  EXPECT_EQ(added.output.find("s3cret"), std::string::npos) << added.output;

  const CtlRun list = CtlJson(server.dir(), {"account", "list"});
  ASSERT_EQ(list.exit, 0) << Described(list);
  const JsonValue* table = list.reply ? list.reply->Find("table") : nullptr;
  ASSERT_NE(table, nullptr) << list.output;
  const JsonValue* rows = table->Find("rows");
  ASSERT_NE(rows, nullptr);
  bool listed = false;
  for (const JsonValue& row : rows->Items()) {
    if (row.Items().size() == 4 && row.Items()[0].AsString() == "Carol") {
      listed = true;
      EXPECT_EQ(row.Items()[3].AsString(), "new here");
    }
  }
  EXPECT_TRUE(listed) << list.output;

  // The account holds its name at once: without the password it is refused, with it accepted.
  client::ChatClient guest = server.Welcomed();
  const auto refused = guest.Login("Carol", "", 0, "test", kWait);
  ASSERT_TRUE(refused) << guest.LastErrorText();
  EXPECT_FALSE(refused->Accepted()) << refused->status;
  client::ChatClient carol = server.Welcomed();
  const auto accepted = carol.Login("Carol", "s3cret words", 0, "test", kWait);
  ASSERT_TRUE(accepted) << carol.LastErrorText();
  EXPECT_EQ(accepted->status, "ok");

  const CtlRun banned = Ctl(server.dir(), {"ban", "add", "ip", "127.0.0.*"});
  ASSERT_EQ(banned.exit, 0) << Described(banned);
  client::ChatClient next;
  if (next.Connect("127.0.0.1", server.port(), kWait)) {
    EXPECT_FALSE(next.ReceiveWelcome(kWait)) << "a banned address was welcomed";
    EXPECT_TRUE(next.WaitForClose(kWait));
  }
  EXPECT_NE(server.dir().read("config/ban.cfg").find("127.0.0.*"), std::string::npos);
  ASSERT_EQ(Ctl(server.dir(), {"ban", "remove", "ip", "127.0.0.*"}).exit, 0);
  client::ChatClient again = server.Welcomed();
  EXPECT_TRUE(again.IsConnected());
}

// "ban user" without options bans address and nickname, as the window's dialog does, and says
// how many other users the address rule shuts out.
TEST(CtlOperations, BanUserSaysHowManyOthersShareTheBannedAddress) {
  ServerUnderTest server;
  ASSERT_TRUE(server.Start()) << server.Output();
  client::ChatClient ann = server.LoggedIn("Ann");
  client::ChatClient bob = server.LoggedIn("Bob");
  client::ChatClient cid = server.LoggedIn("Cid");

  const CtlRun byNickname = Ctl(server.dir(), {"ban", "user", "Cid", "--nick"});
  ASSERT_EQ(byNickname.exit, 0) << Described(byNickname);
  EXPECT_EQ(byNickname.output.find("other user"), std::string::npos) << byNickname.output;
  EXPECT_TRUE(cid.WaitForClose(kWait));

  const CtlRun byDefault = Ctl(server.dir(), {"ban", "user", "Ann"});
  ASSERT_EQ(byDefault.exit, 0) << Described(byDefault);
  EXPECT_NE(byDefault.output.find("1 other user is connected from this address and will be banned too"),
            std::string::npos)
      << byDefault.output;
  EXPECT_TRUE(ann.WaitForClose(kWait));
  const std::string rules = server.dir().read("config/ban.cfg");
  for (const char* rule : {"127.0.0.1", "Ann", "Cid"}) EXPECT_NE(rules.find(rule), std::string::npos) << rules;
}

TEST(CtlOperations, PortMoveStatusOfflineAndOnline) {
  ServerUnderTest server;
  ASSERT_TRUE(server.Start()) << server.Output();
  const std::uint16_t oldPort = server.port();
  const std::uint16_t newPort = client::FreeLoopbackPort();
  ASSERT_NE(newPort, 0);
  ASSERT_NE(newPort, oldPort);

  client::ChatClient ann = server.LoggedIn("Ann");
  const CtlRun moved = Ctl(server.dir(), {"settings", "set", "General.Port", std::to_string(newPort)});
  ASSERT_EQ(moved.exit, 0) << Described(moved);
  client::ChatClient old;
  EXPECT_FALSE(old.Connect("127.0.0.1", oldPort, kWait)) << "the old port still accepts";
  client::ChatClient bob;
  ASSERT_TRUE(bob.Connect("127.0.0.1", newPort, kWait)) << bob.LastErrorText();
  ASSERT_TRUE(bob.ReceiveWelcome(kWait));
  const auto bobIn = bob.Login("Bob", "", 0, "test", kWait);
  ASSERT_TRUE(bobIn && bobIn->Accepted());
  EXPECT_TRUE(Answers(newPort));
  EXPECT_FALSE(Answers(oldPort));
  // Clients connected before the move keep their connection.
  ASSERT_EQ(Ctl(server.dir(), {"say", "still", "here"}).exit, 0);
  EXPECT_EQ(NextServerMessage(ann), "still here");

  const CtlRun status = CtlJson(server.dir(), {"status"});
  ASSERT_EQ(status.exit, 0) << Described(status);
  EXPECT_EQ(status.Text("status"), "done");
  EXPECT_EQ(status.Field("status"), "online");
  // --json: numbers as numbers, durations in seconds.
  EXPECT_EQ(status.Number("port"), newPort) << status.output;
  EXPECT_EQ(status.Number("users"), 2);
  EXPECT_EQ(status.Number("max_users"), 256);
  EXPECT_GE(status.Number("connections").value_or(0), 2);
  EXPECT_GT(status.Number("bytes_in").value_or(0), 0);
  EXPECT_GT(status.Number("bytes_out").value_or(0), 0);
  EXPECT_GE(status.Number("program_uptime").value_or(-1), 0);
  EXPECT_LE(status.Number("online_uptime").value_or(-1), status.Number("program_uptime").value_or(-1));
  // The human output keeps the texts.
  const CtlRun shown = Ctl(server.dir(), {"status"});
  EXPECT_NE(shown.output.find("max_users:      256\n"), std::string::npos) << shown.output;
  EXPECT_EQ(status.Field("server_start").size(), std::string("2026-01-01T00:00:00Z").size()) << status.output;
  EXPECT_LE(status.Field("program_start"), status.Field("server_start"));

  // Logged-in users make "offline" a question that --yes answers.
  const CtlRun asked = CtlJson(server.dir(), {"offline"});
  EXPECT_EQ(asked.exit, 1) << Described(asked);
  EXPECT_EQ(asked.Text("status"), "refused");
  EXPECT_EQ(asked.Text("notice"), "questionStopServer");
  EXPECT_EQ(asked.Text("message"), "Users logged in: 2. Add --yes to disconnect them and take the server offline.")
      << asked.output;
  EXPECT_EQ(CtlJson(server.dir(), {"status"}).Field("status"), "online");

  const CtlRun stopped = Ctl(server.dir(), {"offline", "--yes"});
  ASSERT_EQ(stopped.exit, 0) << Described(stopped);
  EXPECT_TRUE(ann.WaitForClose(kWait));
  EXPECT_TRUE(bob.WaitForClose(kWait));
  const CtlRun offline = CtlJson(server.dir(), {"status"});
  EXPECT_EQ(offline.Field("status"), "offline");
  EXPECT_TRUE(offline.IsNull("port")) << offline.output;
  EXPECT_TRUE(offline.IsNull("online_uptime")) << offline.output;
  EXPECT_EQ(offline.Number("users"), 0);
  client::ChatClient refused;
  EXPECT_FALSE(refused.Connect("127.0.0.1", newPort, kWait)) << "an offline server accepts";
  EXPECT_EQ(Ctl(server.dir(), {"offline", "--yes"}).exit, 1);

  const CtlRun started = Ctl(server.dir(), {"online"});
  ASSERT_EQ(started.exit, 0) << Described(started);
  EXPECT_EQ(CtlJson(server.dir(), {"status"}).Number("port"), newPort);
  client::ChatClient carol;
  ASSERT_TRUE(carol.Connect("127.0.0.1", newPort, kWait)) << carol.LastErrorText();
  ASSERT_TRUE(carol.ReceiveWelcome(kWait));
  const auto carolIn = carol.Login("Carol", "", 0, "test", kWait);
  EXPECT_TRUE(carolIn && carolIn->Accepted());
  EXPECT_EQ(CtlJson(server.dir(), {"status"}).Number("users"), 1);
}

TEST(CtlOperations, WelcomeExportedAndImportedByRelativePathGreetsTheNextClient) {
  ServerUnderTest server;
  ASSERT_TRUE(server.Start()) << server.Output();
  // velmorin-ctl runs elsewhere than the server: the relative path is its own directory's.
  const std::string work = server.dir().path("work");
  std::filesystem::create_directories(work);

  const CtlRun exported = Ctl(server.dir(), {"welcome", "export", "welcome.txt"}, {.workingDirectory = work});
  ASSERT_EQ(exported.exit, 0) << Described(exported);
  ASSERT_TRUE(server.dir().exists("work/welcome.txt"));
  EXPECT_FALSE(server.dir().exists("welcome.txt"));
  // The text as stored, placeholders and all; clients get them filled in.
  EXPECT_EQ(server.dir().read("work/welcome.txt").rfind("Welcome to Velmorin Server %version!\r\n", 0), 0u)
      << server.dir().read("work/welcome.txt");

  server.dir().write("work/welcome.txt", "Fresh paint in the hall, %users inside.\r\nMind the stairs.\r\n");
  const CtlRun imported = Ctl(server.dir(), {"welcome", "import", "welcome.txt"}, {.workingDirectory = work});
  ASSERT_EQ(imported.exit, 0) << Described(imported);

  client::ChatClient next;
  ASSERT_TRUE(next.Connect("127.0.0.1", server.port(), kWait)) << next.LastErrorText();
  const auto welcome = next.ReceiveWelcome(kWait);
  ASSERT_TRUE(welcome) << next.LastErrorText();
  EXPECT_NE(welcome->welcomeText.find("Fresh paint in the hall, 0 inside."), std::string::npos) << welcome->welcomeText;
  EXPECT_NE(welcome->welcomeText.find("Mind the stairs."), std::string::npos) << welcome->welcomeText;
}

// Each refusal names its real cause, in the server's language.
TEST(CtlOperations, RefusalsExitWithOneAndNameTheirCause) {
  ServerUnderTest server;
  ASSERT_TRUE(server.Start()) << server.Output();
  ASSERT_EQ(Ctl(server.dir(), {"room", "add", "Passing"}).exit, 0);  // live, not stored
  const struct {
    std::vector<std::string> words;
    const char* notice;
    const char* says;
  } cases[] = {
      {{"account", "remove", "Nobody"}, "noticeAccountDoesNotExist", "There is no account with this name."},
      {{"account", "edit", "Nobody", "--comment", "x"}, "noticeAccountDoesNotExist", "There is no account with this name."},
      {{"kick", "Nobody"}, "noticePersonDoesNotExist", "not logged in"},
      {{"say", "--user", "Nobody", "hi"}, "noticePersonDoesNotExist", "not logged in"},
      {{"room", "remove", "Nowhere"}, "noticeChatroomDoesNotExist", "does not exist"},
      {{"say", "--room", "Nowhere", "hi"}, "noticeChatroomDoesNotExist", "does not exist"},
      {{"room", "standard", "Nowhere"}, "noticeChatroomDoesNotExist", "does not exist"},
      {{"room", "standard", "Passing"}, "noticeChatroomNotStored", "not stored in chatrooms.cfg"},
      {{"ban", "add", "ip", "300.1.2.3"}, "noticeIP", "complete IP address"},
      {{"ban", "add", "ip", "10.0.0.1-10.0.*.9"}, "noticeIP_Range", "both addresses"},
      {{"ban", "add", "ip", "10.0.0.9-10.0.0.1"}, "noticeIP_Backward", "ends before it begins"},
      {{"ban", "remove", "ip", "10.9.9.9"}, "notFound", "no address rule 10.9.9.9"},
      {{"settings", "set", "General.MaxUserCount", "many"}, "noticeInvalidSetting", "many"},
      {{"settings", "set", "General.Port", "-5"}, "noticeInvalidSetting", "-5"},
      {{"settings", "set", "No.SuchKey", "1"}, "noticeUnknownSetting", "No.SuchKey"},
      {{"welcome", "import", "missing.txt"}, "errorImport", "No such file"},
  };
  const std::string settingsBefore = server.dir().read("config/server.cfg");
  for (const auto& one : cases) {
    const CtlRun run = CtlJson(server.dir(), one.words);
    SCOPED_TRACE(one.words[0] + " " + one.words[1] + " " + one.words.back());
    EXPECT_EQ(run.exit, 1) << Described(run);
    EXPECT_EQ(run.Text("status"), "refused") << run.output;
    EXPECT_EQ(run.Text("notice"), one.notice) << run.output;
    EXPECT_NE(run.Text("message").find(one.says), std::string::npos) << run.output;
  }
  // Refused changes nothing: the server still runs as configured, on its port.
  EXPECT_EQ(server.dir().read("config/server.cfg"), settingsBefore);
  EXPECT_FALSE(server.dir().exists("config/ban.cfg") &&
               server.dir().read("config/ban.cfg").find("300.1.2.3") != std::string::npos);
  EXPECT_TRUE(Answers(server.port()));
}

// The server stores Windows-1252: a password the code page cannot carry would be stored as
// "??????", and six question marks would log in. It is refused, naming the characters.
TEST(CtlOperations, APasswordWindows1252CannotCarryIsRefusedAndQuestionMarksNeverLogIn) {
  ServerUnderTest server;
  server.Set("General", "AllowGuests", "0");
  ASSERT_TRUE(server.Start()) << server.Output();

  const CtlRun refused = CtlJson(server.dir(), {"account", "add", "ivan", "--password-stdin"},
                                 {.input = "\xD1\x81\xD0\xB5\xD0\xBA\xD1\x80\xD0\xB5\xD1\x82\n"});  // "секрет"
  EXPECT_EQ(refused.exit, 1) << Described(refused);
  EXPECT_EQ(refused.Text("notice"), "invalidValue") << refused.output;
  EXPECT_NE(refused.Text("message").find("U+0441"), std::string::npos) << refused.output;
  EXPECT_NE(refused.Text("message").find("U+0442"), std::string::npos) << refused.output;
  EXPECT_FALSE(server.dir().exists("config/users.cfg") &&
               server.dir().read("config/users.cfg").find("ivan") != std::string::npos);
  client::ChatClient impostor = server.Welcomed();
  const auto login = impostor.Login("ivan", "??????", 0, "test", kWait);
  EXPECT_FALSE(login && login->Accepted()) << "six question marks logged in as ivan";

  // What the code page carries is stored as typed: "café" logs in with its own é.
  const CtlRun added = Ctl(server.dir(), {"account", "add", "ivan", "--password-stdin"}, {.input = "caf\xC3\xA9\n"});
  ASSERT_EQ(added.exit, 0) << Described(added);
  client::ChatClient ivan = server.Welcomed();
  const auto accepted = ivan.Login("ivan", "caf\xE9", 0, "test", kWait);
  ASSERT_TRUE(accepted) << ivan.LastErrorText();
  EXPECT_EQ(accepted->status, "ok");
}

// Names, rules, descriptions, settings and the welcome text: none is stored with '?' in place
// of what was typed, and a refusal changes no file.
TEST(CtlOperations, EveryValueWindows1252CannotCarryIsRefusedNamingTheCharacters) {
  ServerUnderTest server;
  ASSERT_TRUE(server.Start()) << server.Output();
  ASSERT_EQ(Ctl(server.dir(), {"account", "add", "Ann", "--password-stdin"}, {.input = "pw\n"}).exit, 0);
  ASSERT_EQ(Ctl(server.dir(), {"room", "add", "Loft", "--store"}).exit, 0);
  const std::string omega = "\xCE\xA9mega";  // "Ωmega"
  const struct {
    std::vector<std::string> words;
    const char* named;
  } cases[] = {
      {{"account", "add", omega, "--password-stdin"}, "U+03A9"},
      {{"account", "edit", "Ann", "--comment", "\xE2\x98\x83"}, "U+2603"},
      {{"room", "add", omega, "--store"}, "U+03A9"},
      {{"room", "edit", "Loft", "--description", "\xF0\x9F\x99\x82"}, "U+1F642"},
      {{"ban", "add", "nickpart", "\xCE\xA9"}, "U+03A9"},
      {{"ban", "add", "nick", omega}, "U+03A9"},
      {{"settings", "set", "General.AdministratorName", omega}, "U+03A9"},
      {{"welcome", "set", "Hello", omega}, "U+03A9"},
      {{"say", "\xD0\x94"}, "U+0414"},
  };
  const std::vector<std::string> files = {"config/server.cfg", "config/users.cfg", "config/chatrooms.cfg",
                                          "config/welcome.msg", "config/ban.cfg"};
  std::vector<std::string> before;
  for (const std::string& file : files) before.push_back(server.dir().exists(file) ? server.dir().read(file) : "");
  for (const auto& one : cases) {
    SCOPED_TRACE(one.words[0] + " " + one.words[1]);
    const CtlRun run = CtlJson(server.dir(), one.words, {.input = "pw\n"});
    EXPECT_EQ(run.exit, 1) << Described(run);
    EXPECT_EQ(run.Text("notice"), "invalidValue") << run.output;
    EXPECT_NE(run.Text("message").find(one.named), std::string::npos) << run.output;
  }
  for (std::size_t i = 0; i < files.size(); ++i) {
    EXPECT_EQ(server.dir().exists(files[i]) ? server.dir().read(files[i]) : "", before[i]) << files[i];
  }
  const CtlRun bans = CtlJson(server.dir(), {"ban", "list"});
  EXPECT_EQ(bans.output.find('?'), std::string::npos) << bans.output;
}

// A hostile guest's version text: a window title, the clipboard (OSC 52), and a forged row.
TEST(CtlOperations, AClientsVersionTextReachesTheUserListWithoutAnythingATerminalObeys) {
  ServerUnderTest server;
  ASSERT_TRUE(server.Start()) << server.Output();
  const std::string version = "1.0\x1b]0;owned\x07\x1b]52;c;cm0gLXJmIH4=\x07\r\n7   Admin     Lobby     10.0.0.1  trusted";
  client::ChatClient mallory = server.Welcomed();
  const auto accepted = mallory.Login("Mallory", "", 0, version, kWait);
  ASSERT_TRUE(accepted && accepted->Accepted()) << mallory.LastErrorText();

  const CtlRun users = Ctl(server.dir(), {"users"});
  ASSERT_EQ(users.exit, 0) << Described(users);
  for (const char control : {'\x1b', '\x07', '\r'}) {
    EXPECT_EQ(users.output.find(control), std::string::npos) << "control " << int(control) << " in " << users.output;
  }
  // The heading and Mallory's row, and no third line.
  EXPECT_EQ(std::count(users.output.begin(), users.output.end(), '\n'), 2) << users.output;
  // The server keeps the version cleaned, so scripts reading JSON get no control characters either.
  const CtlRun json = CtlJson(server.dir(), {"users"});
  const std::vector<std::string> versions = [&] {
    std::vector<std::string> cells;
    const JsonValue* table = json.reply ? json.reply->Find("table") : nullptr;
    const JsonValue* rows = table != nullptr ? table->Find("rows") : nullptr;
    if (rows != nullptr) {
      for (const JsonValue& row : rows->Items()) cells.push_back(row.Items().back().AsString());
    }
    return cells;
  }();
  ASSERT_EQ(versions.size(), 1u) << json.output;
  EXPECT_EQ(versions[0].find_first_of("\x1b\x07\r\n"), std::string::npos) << versions[0];
  EXPECT_EQ(versions[0].rfind("1.0]0;owned]52;c;", 0), 0u) << versions[0];
}

}  // namespace
}  // namespace velmorin
