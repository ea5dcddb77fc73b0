// `plugins reload` inside the server: what the old plugin registered goes with it, the old
// object is terminated before the new one starts, and a refused new file changes nothing.

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "admin/AdminControl.hpp"
#include "platform/Text.hpp"
#include "server/PluginCommands.hpp"

namespace velmorin {
namespace {

using testing::Control;
using testing::ServerHarness;

class PluginReloadTest : public ::testing::Test {
 protected:
  void Install(const std::string& component) {
    server.dir().installPlugin(std::string(VELMORIN_TEST_PLUGIN_DIR) + "/scripted.so", component);
    server.dir().write("plugins/" + component + ".rules", "");
  }
  // The scripted plugin of that component issues a command to the server.
  std::string Run(const std::string& component, const std::string& word, const std::string& p1 = "") {
    return server.Call([&](ChatServer& s) {
      return s.RunningPlugins().Call("scripted-" + component, "Run", word, p1 + '\x1e').value_or("<not running>");
    });
  }
  std::string Subscribers(const std::string& event) {
    return server.Call([&](ChatServer& s) { return s.Commands().Registry().Entry(event).value_or(""); });
  }
  std::vector<std::string> MenuOwners() {
    return server.Call([](ChatServer& s) {
      std::vector<std::string> owners;
      for (const PluginMenuEntry& entry : s.Commands().Menu().Entries()) owners.push_back(entry.owner);
      return owners;
    });
  }
  std::vector<std::string> Received(const std::string& component) {
    return Split(server.dir().read("plugins/" + component + ".received"), "\n");
  }

  ServerHarness server;
};

TEST_F(PluginReloadTest, TheOldPluginsRegistrationsGoAndItIsTerminatedBeforeTheNewOneStarts) {
  Install("alpha");
  Install("beta");
  ASSERT_TRUE(server.Start());
  Run("alpha", "AddEventHandler", "NewMessage");
  Run("beta", "AddEventHandler", "NewMessage");
  Run("alpha", "AddMenuEntry", "tools");
  ASSERT_EQ(Subscribers("NewMessage"), "scripted-alpha\r\nscripted-beta");
  ASSERT_EQ(MenuOwners(), std::vector<std::string>{"scripted-alpha"});

  const ControlReply reply = Control(server, "plugins reload ALPHA");
  EXPECT_EQ(reply.status, ControlStatus::Done) << reply.message;
  // The new object registers only what its initialise registers (here nothing).
  EXPECT_EQ(Subscribers("NewMessage"), "scripted-beta");
  EXPECT_TRUE(MenuOwners().empty());
  EXPECT_NE(Run("alpha", "GetUserList"), "<not running>");
  // It can subscribe again, and joins the end of the chain.
  Run("alpha", "AddEventHandler", "NewMessage");
  EXPECT_EQ(Subscribers("NewMessage"), "scripted-beta\r\nscripted-alpha");
  const std::vector<std::string> received = Received("alpha");
  EXPECT_NE(std::find(received.begin(), received.end(), "Terminate|server|"), received.end())
      << server.dir().read("plugins/alpha.received");
  EXPECT_TRUE(server.frontEnd().WaitForLine(
      [](const std::string& line) { return line.find("Plugin alpha.so: loaded: scripted-alpha") != std::string::npos; },
      testing::kWait));
}

TEST_F(PluginReloadTest, ARefusedNewFileLeavesTheRunningPluginAsItWas) {
  Install("alpha");
  ASSERT_TRUE(server.Start());
  Run("alpha", "AddEventHandler", "NewMessage");
  server.dir().write("plugins/alpha.so", "not a library");

  const ControlReply reply = Control(server, "plugins reload alpha");
  EXPECT_EQ(reply.status, ControlStatus::Refused);
  EXPECT_EQ(reply.notice, "pluginFailed");
  EXPECT_NE(reply.message.find("keeps running"), std::string::npos) << reply.message;
  EXPECT_EQ(Subscribers("NewMessage"), "scripted-alpha");
  EXPECT_EQ(server.dir().read("plugins/alpha.received").find("Terminate"), std::string::npos);
}

TEST_F(PluginReloadTest, AnEncryptionPluginIsReplacedInItsPlaceOnlyWhileNoConnectionUsesIt) {
  server.dir().installPlugin(std::string(VELMORIN_TEST_PLUGIN_DIR) + "/tagging_cipher.so", "alpha");
  ASSERT_TRUE(server.Start());
  const auto offered = [&] {
    return server.Call([](ChatServer& s) { return s.LoadedEncryptionPlugins().OfferedList(); });
  };
  const ControlReply unused = Control(server, "plugins reload alpha");
  EXPECT_EQ(unused.status, ControlStatus::Done) << unused.message;
  EXPECT_EQ(offered(), "tagging-alpha");
  EXPECT_NE(server.Call([](ChatServer& s) { return s.LoadedEncryptionPlugins().At(0); }), nullptr);

  client::ChatClient ann = server.LoggedIn("Ann");
  ASSERT_TRUE(ann.Send("setEncryption", "tagging-alpha"));
  ASSERT_TRUE(ann.ReceiveCommand("acceptEncryption", testing::kWait).has_value());
  const ControlReply inUse = Control(server, "plugins reload alpha");
  EXPECT_EQ(inUse.status, ControlStatus::Refused);
  EXPECT_EQ(inUse.notice, "pluginInUse");
}

}  // namespace
}  // namespace velmorin
