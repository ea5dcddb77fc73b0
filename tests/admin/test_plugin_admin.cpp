// The installed plugins through the administration: the list with enabled and loaded state,
// switching general and encryption plugins in the settings file, and the about box.

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "admin/AdminControl.hpp"
#include "platform/Text.hpp"

namespace velmorin {
namespace {

using testing::Column;
using testing::Control;
using testing::ServerHarness;

void InstallScripted(ServerHarness& server, const std::string& component) {
  server.dir().installPlugin(std::string(VELMORIN_TEST_PLUGIN_DIR) + "/scripted.so", component);
  server.dir().write("plugins/" + component + ".rules", "");
}

void InstallCipher(ServerHarness& server, const std::string& component) {
  server.dir().installPlugin(std::string(VELMORIN_TEST_PLUGIN_DIR) + "/tagging_cipher.so", component);
}

// The keys of one section of config/server.cfg, as "key=value" lines in file order.
std::vector<std::string> Section(ServerHarness& server, const std::string& name) {
  std::vector<std::string> keys;
  bool inside = false;
  for (std::string line : Split(server.dir().read("config/server.cfg"), "\n")) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (!line.empty() && line.front() == '[') {
      inside = line == "[" + name + "]";
    } else if (inside && !line.empty()) {
      keys.push_back(line);
    }
  }
  return keys;
}

// "enabled/loaded" of a plugin in the list.
std::string State(ServerHarness& server, const std::string& component) {
  const ControlReply list = Control(server, "plugins list");
  const std::vector<std::string> names = Column(list, "name");
  for (std::size_t row = 0; row < names.size(); ++row) {
    if (names[row] == component) return Column(list, "enabled")[row] + "/" + Column(list, "loaded")[row];
  }
  return "<not listed>";
}

TEST(PluginAdmin, DisablingAGeneralPluginWritesThePluginsSectionForTheNextStart) {
  std::vector<std::string> written;
  {
    ServerHarness first;
    InstallScripted(first, "alpha");
    InstallScripted(first, "beta");
    // An encryption plugin not used for encryption: its Plugins key stays as it was.
    InstallCipher(first, "cipher");
    first.Set("Encryption", "cipher", "0");
    ASSERT_TRUE(first.Start());
    EXPECT_EQ(State(first, "alpha"), "yes/yes");

    const ControlReply reply = Control(first, "plugins disable ALPHA");
    EXPECT_EQ(reply.status, ControlStatus::Done);
    EXPECT_NE(reply.message.find("next start"), std::string::npos) << reply.message;
    EXPECT_NE(reply.message.find("The running plugin keeps running until then."), std::string::npos) << reply.message;
    EXPECT_EQ(State(first, "alpha"), "no/yes");  // runs until the program starts again
    written = Section(first, "Plugins");
    first.Stop();
  }
  ASSERT_EQ(written.size(), 3u);
  EXPECT_NE(std::find(written.begin(), written.end(), "alpha=0"), written.end());
  EXPECT_NE(std::find(written.begin(), written.end(), "cipher=1"), written.end());
  EXPECT_NE(std::find(written.begin(), written.end(), "beta=1"), written.end());

  ServerHarness second;
  InstallScripted(second, "alpha");
  InstallScripted(second, "beta");
  for (const std::string& key : written) {
    const auto equals = key.find('=');
    second.Set("Plugins", key.substr(0, equals), key.substr(equals + 1));
  }
  ASSERT_TRUE(second.Start());
  EXPECT_EQ(State(second, "alpha"), "no/no");
  EXPECT_EQ(State(second, "beta"), "yes/yes");
  EXPECT_FALSE(second.Call([](ChatServer& s) { return s.RunningPlugins().Find("scripted-alpha") != nullptr; }));

  EXPECT_EQ(Control(second, "plugins enable alpha").status, ControlStatus::Done);
  EXPECT_EQ(State(second, "alpha"), "yes/no");
  EXPECT_EQ(Control(second, "plugins enable alpha").status, ControlStatus::Done);  // already: said so
}

TEST(PluginAdmin, SwitchingAnEncryptionPluginWritesTheEncryptionSectionForTheNextOnlinePeriod) {
  ServerHarness server;
  InstallCipher(server, "cipher");
  InstallCipher(server, "spare");
  ASSERT_TRUE(server.Start());
  EXPECT_EQ(State(server, "cipher"), "yes/yes");

  const ControlReply reply = Control(server, "plugins disable cipher");
  EXPECT_EQ(reply.status, ControlStatus::Done);
  EXPECT_NE(reply.message.find("online"), std::string::npos) << reply.message;
  const std::vector<std::string> section = Section(server, "Encryption");
  EXPECT_NE(std::find(section.begin(), section.end(), "cipher=0"), section.end());
  EXPECT_NE(std::find(section.begin(), section.end(), "spare=1"), section.end());
  EXPECT_EQ(State(server, "cipher"), "no/yes");

  ASSERT_EQ(Control(server, "offline --yes").status, ControlStatus::Done);
  ASSERT_EQ(Control(server, "online").status, ControlStatus::Done);
  EXPECT_EQ(State(server, "cipher"), "no/no");
  EXPECT_EQ(State(server, "spare"), "yes/yes");
}

// The answer is what the plugin says about itself; a plugin that answers nothing has nothing to
// show outside its own window, and the reply says so.
TEST(PluginAdmin, AboutReachesThePluginRunningOrNotAndShowsItsAnswer) {
  ServerHarness server;
  InstallScripted(server, "alpha");
  InstallScripted(server, "beta");
  server.dir().write("plugins/alpha.rules", "ShowAbout answer Alpha 1.0 \x1b[2J by Ann\n");
  server.Set("Plugins", "beta", "0");
  ASSERT_TRUE(server.Start());
  const ControlReply alpha = Control(server, "plugins about alpha");
  EXPECT_EQ(alpha.status, ControlStatus::Done);
  EXPECT_EQ(alpha.message, "Alpha 1.0 [2J by Ann");
  const ControlReply beta = Control(server, "plugins about beta");
  EXPECT_EQ(beta.status, ControlStatus::Done);
  EXPECT_NE(beta.message.find("beta has no about text to show here"), std::string::npos) << beta.message;
  server.Stop();
  for (const std::string component : {"alpha", "beta"}) {
    EXPECT_NE(server.dir().read("plugins/" + component + ".received").find("ShowAbout|"), std::string::npos)
        << component;
  }
}

TEST(PluginAdmin, OnlyEncryptionPluginsHaveAConfigurationDialogOutsideTheWindow) {
  ServerHarness server;
  InstallScripted(server, "alpha");
  InstallCipher(server, "cipher");
  ASSERT_TRUE(server.Start());
  const ControlReply configure = Control(server, "plugins configure cipher");
  EXPECT_EQ(configure.status, ControlStatus::Done);
  EXPECT_NE(configure.message.find("no text to show here"), std::string::npos) << configure.message;
  const ControlReply about = Control(server, "plugins about cipher");
  EXPECT_EQ(about.status, ControlStatus::Done);
  EXPECT_NE(about.message.find("no about text to show here"), std::string::npos) << about.message;
  const ControlReply general = Control(server, "plugins configure alpha");
  EXPECT_EQ(general.status, ControlStatus::Refused);
  EXPECT_EQ(general.notice, "pluginHasNoDialog");
  server.Stop();
  const std::string calls = server.dir().read("plugins/cipher.calls");
  EXPECT_NE(calls.find("configure\n"), std::string::npos) << calls;
  EXPECT_NE(calls.find("about\n"), std::string::npos) << calls;
}

TEST(PluginAdmin, UnknownPluginsAreRefusedByName) {
  ServerHarness server;
  InstallScripted(server, "alpha");
  ASSERT_TRUE(server.Start());
  const std::string before = server.dir().read("config/server.cfg");
  for (const std::string verb : {"enable", "disable", "about", "configure"}) {
    const ControlReply reply = Control(server, {"plugins", verb, "ghost"});
    EXPECT_EQ(reply.status, ControlStatus::Refused) << verb;
    EXPECT_EQ(reply.notice, "pluginUnknown") << verb;
    EXPECT_NE(reply.message.find("ghost"), std::string::npos) << verb;
  }
  const ControlReply longName = Control(server, {"plugins", "enable", std::string(10000, 'g')});
  EXPECT_EQ(longName.notice, "pluginUnknown");
  EXPECT_LT(longName.message.size(), 200u);
  EXPECT_EQ(server.dir().read("config/server.cfg"), before);
}

}  // namespace
}  // namespace velmorin
