// The settings administration on the running server: a confirmed form is stored and applied
// (the listener and the discovery socket move, plugins hear it), a refused one changes nothing,
// the welcome text goes in and out of files, and the control commands drive all of it.

#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <filesystem>
#include <string>
#include <vector>

#include "admin/AdminService.hpp"
#include "admin/ControlRegistry.hpp"
#include "client/Discovery.hpp"
#include "config/BanRules.hpp"
#include "config/Settings.hpp"
#include "config/WelcomeMessage.hpp"
#include "platform/Text.hpp"
#include "support/PortHolder.hpp"
#include "support/ServerHarness.hpp"

namespace velmorin {
namespace {

using testing::kWait;
using testing::ServerHarness;

class SettingsAdminTest : public ::testing::Test {
 protected:
  void SetUp() override {
    // The configured port is the one in use: applying settings makes it the active port.
    server.Set("General", "Port", std::to_string(server.port()));
    server.dir().write("config/chatrooms.cfg", "[Lobby]\r\nDescription=Main hall\r\n");
    server.dir().write("config/welcome.msg", "Hello\r\nthere\r\n");
  }

  // Runs fn(settings administration) on the server thread.
  template <typename Fn>
  auto WithSettings(Fn fn) {
    return server.Call([&](ChatServer& s) {
      AdminService admin(s);
      return fn(admin.Settings());
    });
  }
  // A control command, as the control socket runs it.
  ControlReply Control(const std::vector<std::string>& words) {
    return server.Call([&](ChatServer& s) {
      AdminService admin(s);
      ControlRegistry registry;
      admin.RegisterControlCommands(registry);
      return registry.Run(words, "");
    });
  }
  // Everything a refused confirmation must leave alone: the files and the running values.
  std::vector<std::string> State() {
    std::vector<std::string> state;
    for (const char* file : {"config/server.cfg", "config/welcome.msg"}) {
      state.push_back(std::filesystem::is_regular_file(server.dir().path(file)) ? server.dir().read(file) : "<not a file>");
    }
    WithSettings([&](SettingsAdmin& settings) {
      const SettingsForm form = settings.Read();
      for (const std::string& key : SettingsForm::Keys()) state.push_back(key + "=" + *form.Get(key));
      state.push_back(WelcomeText);
      state.push_back(std::to_string(ServerSettings.General.ActivePort));
      return 0;
    });
    return state;
  }

  ServerHarness server;
};

TEST_F(SettingsAdminTest, ARefusedConfirmationChangesNeitherMemoryNorFiles) {
  ASSERT_TRUE(server.Start());
  struct Case {
    const char* what;
    std::function<void(SettingsForm&)> change;
    const char* notice;
  };
  const Case cases[] = {
      {"port set around the form", [](SettingsForm& f) { f.settings.General.Port = 70000; }, "noticeInvalidSetting"},
      {"no ping delay", [](SettingsForm& f) { f.settings.General.PingDelay = 0; }, "noticeInvalidSetting"},
      {"odd toolbar", [](SettingsForm& f) { f.settings.General.ToolbarHeight = 12; }, "noticeInvalidSetting"},
      {"user limit", [](SettingsForm& f) { f.settings.General.MaxUserCount = 40000; }, "noticeInvalidSetting"},
      {"huge welcome text",
       [](SettingsForm& f) { f.welcomeText = std::string(kMaxWelcomeTextBytes + 1, 'w'); }, "noticeInvalidSetting"},
      {"missing standard room",
       [](SettingsForm& f) {
         f.settings.Chatrooms.StandardChatroom = "Nowhere";
         f.welcomeText = "changed";
       },
       "noticeChatroomDoesNotExist"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    const std::vector<std::string> before = State();
    const AdminResult result = WithSettings([&](SettingsAdmin& settings) {
      SettingsForm form = settings.Read();
      form.settings.General.MaxTextLength = 99;  // a good change beside the bad one
      c.change(form);
      return settings.Confirm(form);
    });
    EXPECT_FALSE(result.done);
    EXPECT_EQ(result.notice, c.notice);
    EXPECT_FALSE(result.message.empty());
    EXPECT_EQ(State(), before);
  }
}

TEST_F(SettingsAdminTest, AFailedSaveKeepsTheRunningSettingsAndNamesTheError) {
  server.dir().write("config/welcome.msg", "Hello\r\nthere\r\n");
  ASSERT_TRUE(server.Start());
  for (const std::string file : {"config/server.cfg", "config/welcome.msg"}) {
    SCOPED_TRACE(file);
    // A directory where the file should be: the save cannot replace it, even for root.
    const std::string content = server.dir().read(file);
    std::filesystem::remove(server.dir().path(file));
    std::filesystem::create_directory(server.dir().path(file));
    const std::vector<std::string> before = State();
    const AdminResult result = WithSettings([&](SettingsAdmin& settings) {
      SettingsForm form = settings.Read();
      form.settings.General.MaxTextLength = 99;
      form.welcomeText = "new text";
      return settings.Confirm(form);
    });
    EXPECT_FALSE(result.done);
    EXPECT_EQ(result.notice, "msgErrorSaving");
    EXPECT_NE(result.message.find(file.substr(7)), std::string::npos) << result.message;
    EXPECT_EQ(State(), before);
    std::filesystem::remove(server.dir().path(file));
    server.dir().write(file, content);
  }
}

TEST_F(SettingsAdminTest, APortChangeMovesTheListenerAndTheDiscoverySocketAndKeepsTheClients) {
  ASSERT_TRUE(server.Start());
  auto staying = server.LoggedIn("Stays");
  const std::uint16_t newPort = testing::FreeLoopbackPort();
  ASSERT_NE(newPort, server.port());
  const AdminResult result = WithSettings([&](SettingsAdmin& settings) {
    SettingsForm form = settings.Read();
    EXPECT_TRUE(settings.Set(form, "General.Port", std::to_string(newPort)).done);
    return settings.Confirm(form);
  });
  ASSERT_TRUE(result.done) << result.message;
  EXPECT_EQ(server.Call([](ChatServer& s) { return s.ListeningPort(); }), newPort);
  EXPECT_EQ(server.Call([](ChatServer&) { return ServerSettings.General.ActivePort; }), newPort);

  client::ChatClient late;
  EXPECT_TRUE(late.Connect("127.0.0.1", newPort, kWait)) << late.LastErrorText();
  EXPECT_TRUE(late.ReceiveWelcome(kWait));
  client::ChatClient old;
  EXPECT_FALSE(old.Connect("127.0.0.1", server.port(), kWait));

  const client::DiscoveryResult answer = client::Discover("127.0.0.1", newPort, kWait);
  ASSERT_EQ(answer.servers.size(), 1u) << answer.error;
  EXPECT_EQ(answer.servers[0].status, "ready");
  EXPECT_EQ(server.Call([](ChatServer& s) { return s.Connections().UserCount(); }), 1);
  EXPECT_EQ(server.dir().read("config/server.cfg").find("Port=" + std::to_string(newPort) + "\r\n") == std::string::npos,
            false);
}

TEST_F(SettingsAdminTest, APortThatIsTakenIsRefusedAndLeavesTheListenerWhereItWas) {
  ASSERT_TRUE(server.Start());
  // Another program holds the wanted port on every address.
  testing::PortHolder holder;
  ASSERT_TRUE(holder.listening());
  const std::string taken = std::to_string(holder.port());

  const AdminResult result = WithSettings([&](SettingsAdmin& settings) {
    SettingsForm form = settings.Read();
    settings.Set(form, "General.Port", taken);
    return settings.Confirm(form);
  });
  EXPECT_FALSE(result.done);  // not stored: nothing changes
  EXPECT_EQ(result.notice, "msgPortNotMoved");
  EXPECT_EQ(server.dir().read("config/server.cfg").find("Port=" + taken), std::string::npos);
  EXPECT_EQ(server.Call([](ChatServer&) { return ServerSettings.General.Port; }), server.port());
  EXPECT_EQ(server.Call([](ChatServer& s) { return s.ListeningPort(); }), server.port());
  EXPECT_EQ(server.Call([](ChatServer&) { return ServerSettings.General.ActivePort; }), server.port());
  EXPECT_TRUE(server.WaitForLog("msgPortNotMoved", {{"%port", taken}}));
  client::ChatClient late;
  EXPECT_TRUE(late.Connect("127.0.0.1", server.port(), kWait));
  EXPECT_TRUE(late.ReceiveWelcome(kWait));
}

TEST_F(SettingsAdminTest, EveryRunningPluginHearsSettingsChanged) {
  for (const std::string component : {"alpha", "beta"}) {
    server.dir().installPlugin(std::string(VELMORIN_TEST_PLUGIN_DIR) + "/scripted.so", component);
    server.dir().write("plugins/" + component + ".rules", "");
  }
  ASSERT_TRUE(server.Start());
  ASSERT_TRUE(WithSettings([](SettingsAdmin& settings) { return settings.Confirm(settings.Read()); }).done);
  server.Sync();
  for (const std::string component : {"alpha", "beta"}) {
    const std::string received = server.dir().read("plugins/" + component + ".received");
    EXPECT_NE(received.find("SettingsChanged||\n"), std::string::npos) << component << ": " << received;
  }
}

TEST_F(SettingsAdminTest, TheWelcomeTextGoesThroughFilesAndIsBounded) {
  ASSERT_TRUE(server.Start());
  const std::string exported = server.dir().path("out/welcome.txt");
  std::filesystem::create_directories(server.dir().path("out"));
  ASSERT_TRUE(WithSettings([&](SettingsAdmin& s) { return s.ExportWelcomeText(exported); }).done);
  EXPECT_EQ(server.dir().read("out/welcome.txt"), "Hello\r\nthere\r\n");

  server.dir().write("in.txt", "First\nSecond\n");
  ASSERT_TRUE(WithSettings([&](SettingsAdmin& s) { return s.ImportWelcomeText(server.dir().path("in.txt")); }).done);
  EXPECT_EQ(WithSettings([](SettingsAdmin& s) { return s.WelcomeText(); }), "First\r\nSecond");
  EXPECT_EQ(server.dir().read("config/welcome.msg"), "First\r\nSecond\r\n");

  server.dir().write("big.txt", std::string(kMaxWelcomeTextBytes + 1, 'x'));
  for (const std::string& path : {std::string("in.txt"), server.dir().path("big.txt"), server.dir().path("out"),
                                  server.dir().path("missing.txt"), std::string("/dev/zero")}) {
    SCOPED_TRACE(path);
    const AdminResult result = WithSettings([&](SettingsAdmin& s) { return s.ImportWelcomeText(path); });
    EXPECT_FALSE(result.done);
    EXPECT_EQ(result.notice, "errorImport");
  }
  EXPECT_EQ(server.dir().read("config/welcome.msg"), "First\r\nSecond\r\n");
  const AdminResult intoDirectory = WithSettings([&](SettingsAdmin& s) { return s.ExportWelcomeText(server.dir().path("out")); });
  EXPECT_EQ(intoDirectory.notice, "errorExport");
}

TEST_F(SettingsAdminTest, ReloadReadsTheFilesAgainAndKeepsTheRooms) {
  ASSERT_TRUE(server.Start());
  auto guest = server.LoggedIn("Guest");
  server.dir().write("config/ban.cfg", "[Nick]\r\n0=Troll\r\n");
  server.dir().write("config/welcome.msg", "Edited by hand\r\n");
  std::string settings = server.dir().read("config/server.cfg");
  settings = ReplaceAll(settings, "MaxTextLength=300", "MaxTextLength=77");
  server.dir().write("config/server.cfg", settings);

  const AdminResult result = WithSettings([](SettingsAdmin& s) { return s.ReloadFromDisk(); });
  ASSERT_TRUE(result.done) << result.message;
  EXPECT_EQ(server.CountLog("msgReloaded"), 1);
  EXPECT_EQ(server.Call([](ChatServer&) { return ServerSettings.General.MaxTextLength; }), 77);
  EXPECT_EQ(server.Call([](ChatServer&) { return WelcomeText; }), "Edited by hand");
  EXPECT_EQ(server.Call([](ChatServer&) { return IsNicknameBanned("troll"); }), true);
  EXPECT_EQ(server.Call([](ChatServer& s) { return s.Connections().UserCount(); }), 1);
  EXPECT_GE(server.Call([](ChatServer& s) { return s.Chatrooms().GetChatroomID("Lobby"); }), 0);
}

TEST_F(SettingsAdminTest, ControlCommandsCheckEveryPairThenApplyThemTogether) {
  ASSERT_TRUE(server.Start());
  ControlReply reply = Control({"settings", "set", "General.PingTimeout", "20", "general.maxusercount", "100000"});
  EXPECT_EQ(reply.status, ControlStatus::Done) << reply.message;
  EXPECT_EQ(server.Call([](ChatServer&) { return ServerSettings.General.PingTimeout; }), 20000);
  EXPECT_EQ(server.Call([](ChatServer&) { return ServerSettings.General.MaxUserCount; }), 32768);
  // The answer says what each key holds now, and which values were converted.
  const std::vector<std::pair<std::string, std::string>> storedFields = {{"General.PingTimeout", "20"},
                                                                          {"General.MaxUserCount", "32768"}};
  EXPECT_EQ(reply.fields, storedFields);
  EXPECT_NE(reply.message.find("General.MaxUserCount 100000 becomes 32768"), std::string::npos) << reply.message;
  EXPECT_EQ(reply.message.find("PingTimeout 20 becomes"), std::string::npos) << reply.message;

  reply = Control({"settings", "get", "general.pingtimeout"});
  ASSERT_EQ(reply.fields.size(), 1u);
  EXPECT_EQ(reply.fields[0], std::make_pair(std::string("General.PingTimeout"), std::string("20")));
  reply = Control({"settings", "get"});
  EXPECT_EQ(reply.table.rows.size(), SettingsForm::Keys().size());

  const std::string stored = server.dir().read("config/server.cfg");
  reply = Control({"settings", "set", "General.MaxTextLength", "50", "General.Port", "x"});
  EXPECT_EQ(reply.status, ControlStatus::Refused);
  EXPECT_EQ(reply.notice, "noticeInvalidSetting");
  EXPECT_NE(reply.message.find("General.Port"), std::string::npos) << reply.message;
  EXPECT_EQ(server.dir().read("config/server.cfg"), stored);
  EXPECT_EQ(server.Call([](ChatServer&) { return ServerSettings.General.MaxTextLength; }), 300);
  EXPECT_EQ(Control({"settings", "get", "Nope"}).notice, "noticeUnknownSetting");

  for (const std::vector<std::string>& words :
       {std::vector<std::string>{"settings"}, {"settings", "set", "General.Port"}, {"settings", "frob"},
        {"welcome", "import", "relative.txt"}, {"welcome", "export"}, {"reload", "now"}}) {
    EXPECT_EQ(Control(words).status, ControlStatus::Usage) << words.back();
  }

  // The language is chosen among the shipped files, by file name in any case.
  EXPECT_EQ(Control({"settings", "set", "Info.Language", "deutsch.LNG"}).status, ControlStatus::Done);
  EXPECT_NE(server.dir().read("config/server.cfg").find("Language=Deutsch.lng"), std::string::npos);
  EXPECT_EQ(Control({"settings", "set", "Info.Language", "Klingon.lng"}).notice, "noticeInvalidSetting");

  EXPECT_EQ(Control({"welcome", "set", "Hi", "all"}).status, ControlStatus::Done);
  reply = Control({"welcome", "get"});
  ASSERT_EQ(reply.fields.size(), 1u);
  EXPECT_EQ(reply.fields[0].second, "Hi all");

  // Offline, so that the standard port 1000 is not taken by the test.
  server.Call([](ChatServer& s) { s.ChangeStatus(false); });
  reply = Control({"settings", "reset", "--yes"});
  EXPECT_EQ(reply.status, ControlStatus::Done) << reply.message;
  EXPECT_EQ(server.Call([](ChatServer&) { return ServerSettings.General.PingTimeout; }), 15000);
  EXPECT_EQ(server.Call([](ChatServer&) { return ServerSettings.Info.Language; }), "Deutsch.lng");  // kept by a reset
  EXPECT_EQ(server.Call([](ChatServer&) { return WelcomeText; }), server.Text("stdWelcomeMsg"));
  EXPECT_EQ(Control({"reload"}).status, ControlStatus::Done);
}

}  // namespace
}  // namespace velmorin
