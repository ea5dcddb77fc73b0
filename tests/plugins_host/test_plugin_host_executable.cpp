// The plugin host of the shipped server, with real plugin libraries: an installed plugin
// overwritten while the server runs, `plugins reload` through velmorin-ctl, the load log of
// refused files, files cut short, a slow handler and crashing ones.

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include "admin/CtlRun.hpp"
#include "faults/ServerUnderTest.hpp"
#include "support/PacketText.hpp"

namespace velmorin {
namespace {

using namespace std::chrono_literals;
using testing::Ctl;
using testing::CtlRun;
using testing::PollUntil;
using testing::ServerUnderTest;

constexpr auto kBound = 20s;

std::string Library(const std::string& plugin) { return std::string(VELMORIN_TEST_PLUGIN_DIR) + "/" + plugin + ".so"; }

// What `cp new plugins/x.so` does to a running server: the same inode truncated and rewritten.
void OverwriteInPlace(const std::string& target, const std::string& source) {
  std::ifstream in(source, std::ios::binary);
  const std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  std::ofstream(target, std::ios::binary | std::ios::trunc) << bytes;
}

// The first `size` bytes of a test plugin, as a copy that was cut short leaves them.
std::string CutShort(const std::string& plugin, std::size_t size) {
  std::ifstream in(Library(plugin), std::ios::binary);
  const std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  return bytes.substr(0, size);
}

bool OutputHas(const ServerUnderTest& server, const std::string& text) {
  return PollUntil([&] { return server.Output().find(text) != std::string::npos; }, kBound);
}

// The row of a component in `plugins list`.
std::string ListedRow(ServerUnderTest& server, const std::string& component) {
  const CtlRun list = Ctl(server.dir(), {"plugins", "list"});
  std::size_t start = 0;
  while (start < list.output.size()) {
    const std::size_t end = list.output.find('\n', start);
    const std::string line = list.output.substr(start, end - start);
    if (line.rfind(component + " ", 0) == 0) return line;
    if (end == std::string::npos) break;
    start = end + 1;
  }
  return "<not listed>\n" + list.output;
}

// A server command from a logged-in client; true when the server answered "unknown command".
bool UnknownCommand(client::ChatClient& client, const std::string& word) {
  if (!client.Send("command", testing::F({word, ""}))) return false;
  const auto reply = client.ReceiveCommand("message", testing::kWait);
  return reply.has_value();
}

TEST(PluginHostExecutable, AnInstalledPluginOverwrittenWhileTheServerRunsIsTakenByReload) {
  ServerUnderTest server;
  server.dir().installPlugin(Library("napping"), "nap");
  ASSERT_TRUE(server.Start()) << server.Output();
  EXPECT_TRUE(OutputHas(server, "Plugin nap.so: loaded: napping-test")) << server.Output();
  EXPECT_EQ(std::filesystem::exists(server.dir().path("run/plugins")) &&
                !std::filesystem::is_empty(server.dir().path("run/plugins")),
            false)
      << "no private copy stays on disk";

  client::ChatClient ann = server.LoggedIn("Ann");
  ASSERT_TRUE(ann.IsConnected());
  // Written over while mapped by a server that loaded the installed file, this would kill it.
  OverwriteInPlace(server.dir().path("plugins/nap.so"), Library("echo"));
  ASSERT_TRUE(ann.Send("command", testing::F({"nap", ""})));  // still the old code: handled, slowly
  EXPECT_TRUE(OutputHas(server, "Plugin napping-test took ")) << server.Output();
  EXPECT_NE(server.Output().find(" ms for ServerCommand"), std::string::npos) << server.Output();
  ASSERT_TRUE(server.LoggedIn("Ben").IsConnected()) << "the server serves on";

  const CtlRun reload = Ctl(server.dir(), {"plugins", "reload", "nap"});
  EXPECT_EQ(reload.exit, 0) << reload.output;
  EXPECT_NE(ListedRow(server, "nap").find("echo-test"), std::string::npos) << ListedRow(server, "nap");
  // The new plugin does not handle "nap": the old one's subscription went with it.
  EXPECT_TRUE(UnknownCommand(ann, "nap"));

  // A broken new file is refused and the plugin that runs keeps running.
  server.dir().write("plugins/nap.so", "not a library");
  const CtlRun refused = Ctl(server.dir(), {"plugins", "reload", "nap"});
  EXPECT_EQ(refused.exit, 1) << refused.output;
  EXPECT_NE(refused.output.find("keeps running"), std::string::npos) << refused.output;
  const std::string row = ListedRow(server, "nap");
  EXPECT_NE(row.find("echo-test"), std::string::npos) << row;
  EXPECT_NE(row.find("loaded"), std::string::npos) << row;

  const struct {
    std::vector<std::string> words;
    const char* says;
  } refusals[] = {
      {{"plugins", "reload", "absent"}, "No plugin named"},
      {{"plugins", "reload", "../config/server"}, "No plugin named"},
  };
  for (const auto& one : refusals) {
    const CtlRun run = Ctl(server.dir(), one.words);
    EXPECT_EQ(run.exit, 1) << run.output;
    EXPECT_NE(run.output.find(one.says), std::string::npos) << run.output;
  }
  EXPECT_EQ(server.Stop(), 0);
}

TEST(PluginHostExecutable, RefusedFilesAreLoggedWithTheirReasonAndListedAsFailed) {
  ServerUnderTest server;
  server.dir().installPlugin(Library("versioned"), "ver-2.0");
  server.dir().installPlugin(Library("unregistrable"), "unreg");
  server.dir().installPlugin(Library("napping"), "off");
  server.Set("Plugins", "off", "0");
  ASSERT_TRUE(server.Start()) << server.Output();
  EXPECT_TRUE(OutputHas(server, "Plugin ver-2.0.so: not loaded: interface version \"2.0\"")) << server.Output();
  EXPECT_TRUE(OutputHas(server, "Plugin unreg.so: not loaded: the export DllRegisterServer is missing"))
      << server.Output();
  EXPECT_TRUE(OutputHas(server, "Plugin off.so: disabled")) << server.Output();

  EXPECT_NE(ListedRow(server, "ver-2.0").find("failed"), std::string::npos);
  EXPECT_NE(ListedRow(server, "unreg").find("DllRegisterServer is missing"), std::string::npos);
  EXPECT_NE(ListedRow(server, "off").find("disabled"), std::string::npos);
  const CtlRun disabled = Ctl(server.dir(), {"plugins", "reload", "off"});
  EXPECT_EQ(disabled.exit, 1);
  EXPECT_NE(disabled.output.find("disabled"), std::string::npos) << disabled.output;
  EXPECT_EQ(server.Stop(), 0);
}

TEST(PluginHostExecutable, APluginThatCrashesIsNamedWithItsEventBeforeTheServerDies) {
  ServerUnderTest server;
  server.Set("Logging", "Enabled", "1");
  server.dir().installPlugin(Library("napping"), "nap");
  ASSERT_TRUE(server.Start()) << server.Output();
  client::ChatClient ann = server.LoggedIn("Ann");
  ASSERT_TRUE(ann.IsConnected());
  ASSERT_TRUE(ann.Send("command", testing::F({"crash", ""})));
  const std::string line = "Plugin napping-test crashed during ServerCommand (SIGSEGV)";
  EXPECT_TRUE(OutputHas(server, line)) << server.Output();
  EXPECT_NE(server.Stop(5s), std::optional<int>(0)) << "the server must not go on";
  // The same line is in the log file.
  bool logged = false;
  for (const auto& entry : std::filesystem::recursive_directory_iterator(server.dir().root())) {
    if (entry.path().extension() != ".log") continue;
    std::ifstream in(entry.path(), std::ios::binary);
    const std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    logged = logged || text.find(line) != std::string::npos;
  }
  EXPECT_TRUE(logged);
}

TEST(PluginHostExecutable, PluginFilesCutShortAreRefusedAtStartAndOnReloadAndTheOldPluginRunsOn) {
  ServerUnderTest server;
  const std::size_t sizes[] = {1, 64, 1000, 4096, 9000, 16384};
  for (const std::size_t size : sizes) server.dir().write("plugins/cut" + std::to_string(size) + ".so", CutShort("napping", size));
  server.dir().installPlugin(Library("napping"), "nap");
  ASSERT_TRUE(server.Start()) << server.Output();
  for (const std::size_t size : sizes) {
    EXPECT_TRUE(OutputHas(server, "Plugin cut" + std::to_string(size) + ".so: not loaded: the file ends at byte " +
                                      std::to_string(size)))
        << server.Output();
  }
  EXPECT_NE(server.Output().find("not copied in full; loading it would end the server"), std::string::npos);
  EXPECT_TRUE(OutputHas(server, "Plugin nap.so: loaded: napping-test")) << server.Output();

  for (const std::size_t size : sizes) {
    server.dir().write("plugins/nap.so", CutShort("echo", size));
    const CtlRun reload = Ctl(server.dir(), {"plugins", "reload", "nap"});
    EXPECT_EQ(reload.exit, 1) << reload.output;
    EXPECT_NE(reload.output.find("not copied in full"), std::string::npos) << reload.output;
    EXPECT_NE(reload.output.find("keeps running"), std::string::npos) << reload.output;
  }
  const std::string row = ListedRow(server, "nap");
  EXPECT_NE(row.find("napping-test"), std::string::npos) << row;
  EXPECT_NE(row.find("loaded"), std::string::npos) << row;
  client::ChatClient ann = server.LoggedIn("Ann");
  ASSERT_TRUE(ann.IsConnected()) << "the server serves on";
  EXPECT_FALSE(UnknownCommand(ann, "nap")) << "the old plugin still handles its command";
  EXPECT_EQ(server.Stop(), 0);
}

TEST(PluginHostExecutable, ACrashOnAPluginsOwnThreadNamesThePluginAndTheLoadedRanges) {
  ServerUnderTest server;
  server.dir().installPlugin(Library("napping"), "nap");
  server.dir().installPlugin(Library("echo"), "echo");
  ASSERT_TRUE(server.Start()) << server.Output();
  client::ChatClient ann = server.LoggedIn("Ann");
  ASSERT_TRUE(ann.IsConnected());
  ASSERT_TRUE(ann.Send("command", testing::F({"crash-later", ""})));
  EXPECT_TRUE(OutputHas(server, "The server got SIGILL at 0x")) << server.Output();
  EXPECT_TRUE(OutputHas(server, "in the code of plugin nap.so. Remove or replace that plugin. Loaded plugins: "))
      << server.Output();
  EXPECT_NE(server.Output().find("echo.so 0x"), std::string::npos) << server.Output();
  EXPECT_NE(server.Stop(5s), std::optional<int>(0)) << "the server must not go on";
}

}  // namespace
}  // namespace velmorin
