// The settings dialog's plugin instances through the administration: which plugins it starts,
// the pages they add (and the handles and titles refused), "ShowAbout" and "SettingsChanged" to
// its own instances, and every instance ended when it closes.

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <string>
#include <vector>

#include "admin/PluginAdmin.hpp"
#include "admin/SettingsPluginSession.hpp"
#include "platform/Text.hpp"
#include "support/ServerHarness.hpp"

namespace velmorin {
namespace {

using testing::ServerHarness;

struct PageCase {
  std::string handle;
  std::string title;
  std::string answer;
};

// The byte layout the test plugin reads: pages separated by 0x1E, handle 0x1F title.
std::string PagesFile(const std::vector<PageCase>& cases) {
  std::string file;
  for (const PageCase& page : cases) file += (file.empty() ? "" : "\x1e") + page.handle + "\x1f" + page.title;
  return file;
}

void InstallPageAdding(ServerHarness& server, const std::string& component, const std::vector<PageCase>& pages = {}) {
  server.dir().installPlugin(std::string(VELMORIN_TEST_PLUGIN_DIR) + "/page_adding.so", component);
  server.dir().write("plugins/" + component + ".pages", PagesFile(pages));
}

// The lines the instances of a component initialised with that host word recorded.
std::vector<std::string> HostLines(ServerHarness& server, const std::string& component, const std::string& hostWord) {
  std::vector<std::string> lines;
  for (const std::string& line : Split(server.dir().read("plugins/" + component + ".received"), "\n")) {
    if (line.rfind(hostWord + " ", 0) == 0) lines.push_back(line.substr(hostWord.size() + 1));
  }
  return lines;
}

// The settings dialog's instance.
std::vector<std::string> SettingsLines(ServerHarness& server, const std::string& component) {
  return HostLines(server, component, "settingsserver");
}

std::vector<std::string> AddAnswers(const std::vector<std::string>& lines) {
  std::vector<std::string> answers;
  for (const std::string& line : lines) {
    if (line.rfind("AddSettingsPage|", 0) == 0) answers.push_back(line.substr(line.rfind('|') + 1));
  }
  return answers;
}

TEST(SettingsPluginSession, PagesReachTheListenerAndHostileHandlesAndTitlesAreRefused) {
  const std::string longest(kMaxSettingsPageTitle, 'T');
  const std::vector<PageCase> cases{
      {"4242", "Weather", "done"},
      {"4294967295", "Largest handle", "done"},
      {"4243", longest, "done"},
      {"4244", "Gr\xf6\xdf" "e", "done"},  // Windows-1252 letters
      {"0", "Zero", "invalid"},
      {"", "No handle", "invalid"},
      {"4294967296", "Beyond 32 bits", "invalid"},
      {"18446744073709551617", "Beyond 64 bits", "invalid"},
      {"-4245", "Negative", "invalid"},
      {" 4245", "Blank", "invalid"},
      {"0x1096", "Hexadecimal", "invalid"},
      {"4245x", "Trailing letter", "invalid"},
      {"4242", "Same window again", "invalid"},
      {"4246", "", "invalid"},
      {"4246", longest + "T", "invalid"},
      {"4246", "Two\r\nlines", "invalid"},
      {"4246", "Tab\there", "invalid"},
      {"4246", std::string("Nul\0inside", 10), "invalid"},
      {"4246", "Delete\x7f", "invalid"},
  };
  std::vector<PageCase> many;
  for (int page = 1; page <= static_cast<int>(kSettingsPagesPerPlugin) + 1; ++page) {
    many.push_back({std::to_string(5000 + page), "Page " + std::to_string(page),
                    page <= static_cast<int>(kSettingsPagesPerPlugin) ? "done" : "full"});
  }
  ServerHarness server;
  InstallPageAdding(server, "alpha", cases);
  InstallPageAdding(server, "beta", many);
  // Disabled: it has its page all the same, to be set up before it is switched on.
  InstallPageAdding(server, "gamma", {{"6001", "Disabled", "done"}});
  server.Set("Plugins", "gamma", "0");
  // The same identity as alpha: the first plugin with an identity wins.
  InstallPageAdding(server, "delta", {{"7001", "Second of an identity", "done"}});
  server.dir().write("plugins/delta.ident", "PAGES-ALPHA");
  ASSERT_TRUE(server.Start());

  const std::vector<SettingsPage> heard = server.Call([](ChatServer& s) {
    std::vector<SettingsPage> pages;
    PluginAdmin admin(s);
    const auto session = admin.OpenSettingsSession([&pages](const SettingsPage& page) { pages.push_back(page); });
    EXPECT_EQ(session->InstanceCount(), 3u);
    EXPECT_TRUE(session->Has("ALPHA"));
    EXPECT_TRUE(session->Has("gamma"));
    EXPECT_FALSE(session->Has("delta"));
    EXPECT_TRUE(s.IsOnline()) << "a settings instance stopped the server";
    return pages;
  });

  std::vector<std::string> expected;
  std::vector<SettingsPage> accepted;
  for (const PageCase& page : cases) {
    expected.push_back(page.answer);
    if (page.answer == "done") accepted.push_back({"pages-alpha", "alpha", std::stoul(page.handle), page.title});
  }
  EXPECT_EQ(AddAnswers(SettingsLines(server, "alpha")), expected);
  expected.clear();
  for (const PageCase& page : many) {
    expected.push_back(page.answer);
    if (page.answer == "done") accepted.push_back({"pages-beta", "beta", std::stoul(page.handle), page.title});
  }
  EXPECT_EQ(AddAnswers(SettingsLines(server, "beta")), expected);
  accepted.push_back({"pages-gamma", "gamma", 6001, "Disabled"});
  ASSERT_EQ(heard.size(), accepted.size());
  for (std::size_t i = 0; i < heard.size(); ++i) {
    EXPECT_EQ(heard[i].ident, accepted[i].ident) << i;
    EXPECT_EQ(heard[i].component, accepted[i].component) << i;
    EXPECT_EQ(heard[i].window, accepted[i].window) << i;
    EXPECT_EQ(heard[i].title, accepted[i].title) << i;
  }
  // Every other command does nothing and answers "".
  const std::vector<std::string> alpha = SettingsLines(server, "alpha");
  EXPECT_NE(std::find(alpha.begin(), alpha.end(), "StopServer|1|"), alpha.end());
  EXPECT_EQ(AddAnswers(SettingsLines(server, "gamma")), std::vector<std::string>{"done"});
  EXPECT_TRUE(SettingsLines(server, "delta").empty());
}

TEST(SettingsPluginSession, AboutAndSettingsChangedReachItsOwnInstancesAndClosingEndsThem) {
  ServerHarness server;
  InstallPageAdding(server, "alpha", {{"4242", "Alpha", "done"}});
  InstallPageAdding(server, "beta");
  ASSERT_TRUE(server.Start());
  server.Call([](ChatServer& s) {
    PluginAdmin admin(s);
    std::vector<SettingsPage> pages;
    auto session = admin.OpenSettingsSession([&pages](const SettingsPage& page) { pages.push_back(page); });
    EXPECT_TRUE(admin.ShowAbout("alpha", session.get()).ok());
    session->SettingsChanged();
    session->Close();
    EXPECT_EQ(session->InstanceCount(), 0u);
    EXPECT_FALSE(session->Has("alpha"));
    EXPECT_FALSE(session->ShowAbout("alpha"));
    EXPECT_EQ(pages.size(), 1u);
  });
  for (const char* component : {"alpha", "beta"}) {
    SCOPED_TRACE(component);
    const std::vector<std::string> lines = SettingsLines(server, component);
    ASSERT_GE(lines.size(), 3u);
    EXPECT_EQ(lines.front(), "initialise|settingsserver|");
    EXPECT_EQ(lines.back(), "Terminate|settingsserver|");
    EXPECT_NE(std::find(lines.begin(), lines.end(), "SettingsChanged||"), lines.end());
    // The running instance heard none of it and still runs.
    EXPECT_EQ(HostLines(server, component, "server"), std::vector<std::string>{"initialise|server|"});
  }
  const std::vector<std::string> alpha = SettingsLines(server, "alpha");
  EXPECT_EQ(std::count(alpha.begin(), alpha.end(), "ShowAbout||"), 1);
  const std::vector<std::string> beta = SettingsLines(server, "beta");
  EXPECT_EQ(std::count(beta.begin(), beta.end(), "ShowAbout||"), 0);
}

// A listener that closes the session while a plugin is inside a call: the plugin is ended once
// that call has returned, and pages it adds meanwhile are no longer taken.
TEST(SettingsPluginSession, ACloseDuringACallWaitsForTheCallToReturn) {
  ServerHarness server;
  InstallPageAdding(server, "alpha");
  server.dir().write("plugins/alpha.later", PagesFile({{"4242", "First", "done"}, {"4243", "Second", ""}}));
  ASSERT_TRUE(server.Start());
  server.Call([](ChatServer& s) {
    PluginAdmin admin(s);
    std::unique_ptr<SettingsPluginSession> session;
    session = admin.OpenSettingsSession([&session](const SettingsPage&) { session->Close(); });
    EXPECT_TRUE(session->ShowAbout("alpha"));
    EXPECT_EQ(session->InstanceCount(), 0u);
    EXPECT_EQ(session->Pages().size(), 1u);
  });
  const std::vector<std::string> lines = SettingsLines(server, "alpha");
  EXPECT_EQ(AddAnswers(lines), (std::vector<std::string>{"done", ""}));
  EXPECT_EQ(lines.back(), "Terminate|settingsserver|");
}

}  // namespace
}  // namespace velmorin
