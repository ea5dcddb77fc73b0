// SIGHUP to the shipped executable: the configuration files edited by hand are read again and
// applied while the clients, and the rooms they created, stay; a file that cannot be taken as
// the configuration (missing, empty, unreadable, without the expected sections) is refused and
// the running configuration stays.

#include <gtest/gtest.h>
#include <signal.h>

#include <chrono>
#include <filesystem>
#include <memory>
#include <thread>

#include "admin/CtlRun.hpp"
#include "faults/ServerUnderTest.hpp"
#include "support/ChildProcess.hpp"
#include "support/PacketText.hpp"
#include "support/ServerHarness.hpp"

namespace velmorin {
namespace {

using testing::ChildProcess;
using testing::F;
using testing::kWait;

TEST(SettingsReloadExecutable, SighupAppliesAHandEditedBanFileAndKeepsAClientCreatedRoom) {
  testing::TempProgramDir dir;
  const std::string program = dir.path("velmorin-server");
  std::filesystem::copy_file(std::string(VELMORIN_DIST_DIR) + "/velmorin-server", program);
  testing::CopyLanguageFiles(dir.path("language"));
  const std::uint16_t port = testing::FreeLoopbackPort();
  dir.write("config/server.cfg", "[Info]\r\nLanguage=English.lng\r\n[General]\r\nPort=" + std::to_string(port) +
                                     "\r\nPingDelay=600000\r\n[Log]\r\nPattern=%message\r\n");
  dir.write("config/chatrooms.cfg", "[Lobby]\r\nDescription=Main hall\r\n");
  ChildProcess server(program, {"--headless"}, dir.path("output.txt"));
  ASSERT_TRUE(server.Started());

  client::ChatClient creator;
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
  while (!creator.Connect("127.0.0.1", port, kWait)) {
    ASSERT_LT(std::chrono::steady_clock::now(), deadline) << server.Output();
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
  ASSERT_TRUE(creator.ReceiveWelcome(kWait));
  const auto reply = creator.Login("Maker", "", 0, "test", kWait);
  ASSERT_TRUE(reply && reply->Accepted());
  ASSERT_EQ(testing::Request(creator, "createChatroom", F({"Loft", "Up top", "", ""}), "acceptChatroom"),
            F({"Loft", "ok"}));

  dir.write("config/ban.cfg", "[IP]\r\n0=127.0.0.*\r\n");
  server.Signal(SIGHUP);
  ASSERT_TRUE(server.WaitFor("were read again and applied")) << server.Output();

  client::ChatClient banned;
  if (banned.Connect("127.0.0.1", port, kWait)) {
    EXPECT_FALSE(banned.ReceiveWelcome(kWait));
    EXPECT_TRUE(banned.WaitForClose(kWait));
  }
  // The creator is still there, and so is its room.
  const std::string list = testing::Request(creator, "getChatroomlist", "", "chatroomlist");
  EXPECT_NE(list.find("Loft"), std::string::npos) << list;

  creator.Close();
  server.Signal(SIGTERM);
  EXPECT_EQ(server.WaitForExit(std::chrono::seconds(10)), 0);
  // The rule read from the file is written back unchanged at shutdown.
  EXPECT_NE(dir.read("config/ban.cfg").find("127.0.0.*"), std::string::npos);
}

std::size_t Count(const std::string& text, const std::string& part) {
  std::size_t count = 0;
  for (std::size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) ++count;
  return count;
}

TEST(SettingsReloadExecutable, ABrokenFileIsRefusedAndTheRunningConfigurationStays) {
  testing::ServerUnderTest server;
  server.Set("General", "AllowGuests", "0");
  server.Set("General", "MaxUserCount", "5");
  const std::string settings = server.ConfigText();
  const std::string bans = "[IP]\r\n0=10.9.9.9\r\n";
  const std::string welcome = "Hi there\r\n";
  server.dir().write("config/ban.cfg", bans);
  server.dir().write("config/welcome.msg", welcome);
  ASSERT_TRUE(server.Start()) << server.Output();

  enum class Make { Text, Missing, Directory };
  const struct {
    const char* file;
    Make make;
    std::string text;
    const char* says;
  } cases[] = {
      {"config/server.cfg", Make::Text, "", "empty"},
      {"config/server.cfg", Make::Missing, "", "No such file"},
      {"config/server.cfg", Make::Text, std::string("\x01\x02 not settings\n\xff\xfe\0garbage", 26), "none of"},
      {"config/server.cfg", Make::Text, "[Other]\r\nPort=1\r\nAllowGuests=1\r\n", "none of"},
      {"config/server.cfg", Make::Directory, "", "Is a directory"},
      {"config/ban.cfg", Make::Missing, "", "ban.cfg"},
      {"config/ban.cfg", Make::Directory, "", "Is a directory"},
      {"config/welcome.msg", Make::Missing, "", "welcome.msg"},
      {"config/users.cfg", Make::Directory, "", "Is a directory"},
  };
  const std::string kept = "current configuration";
  std::size_t refusals = 0;
  for (const auto& broken : cases) {
    SCOPED_TRACE(std::string(broken.file) + ": " + broken.says);
    server.dir().write("config/server.cfg", settings);
    server.dir().write("config/ban.cfg", bans);
    server.dir().write("config/welcome.msg", welcome);
    std::filesystem::remove_all(server.dir().path(broken.file));
    if (broken.make == Make::Text) server.dir().write(broken.file, broken.text);
    if (broken.make == Make::Directory) std::filesystem::create_directory(server.dir().path(broken.file));

    const testing::CtlRun reload = testing::Ctl(server.dir(), {"reload"});
    EXPECT_EQ(reload.exit, 1) << reload.output;
    EXPECT_NE(reload.output.find(broken.says), std::string::npos) << reload.output;
    server.Signal(SIGHUP);
    refusals += 2;
    EXPECT_TRUE(testing::PollUntil([&] { return Count(server.Output(), kept) >= refusals; }, kWait))
        << server.Output();

    EXPECT_NE(testing::Ctl(server.dir(), {"settings", "get", "General.AllowGuests"}).output.find('0'), std::string::npos);
    EXPECT_NE(testing::Ctl(server.dir(), {"settings", "get", "General.MaxUserCount"}).output.find('5'),
              std::string::npos);
    EXPECT_NE(testing::Ctl(server.dir(), {"ban", "list"}).output.find("10.9.9.9"), std::string::npos);
    EXPECT_NE(testing::Ctl(server.dir(), {"welcome", "get"}).output.find("Hi there"), std::string::npos);
    std::filesystem::remove_all(server.dir().path(broken.file));
  }
  EXPECT_EQ(Count(server.Output(), "were read again and applied"), 0u) << server.Output();

  server.dir().write("config/server.cfg", settings);
  server.dir().write("config/ban.cfg", bans);
  server.dir().write("config/welcome.msg", welcome);
  EXPECT_EQ(testing::Ctl(server.dir(), {"reload"}).exit, 0);
  EXPECT_EQ(server.Stop(), 0);
}

}  // namespace
}  // namespace velmorin
