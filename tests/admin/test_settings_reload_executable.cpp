// SIGHUP to the shipped executable: the configuration files edited by hand are read again and
// applied while the clients, and the rooms they created, stay.

#include <gtest/gtest.h>
#include <signal.h>

#include <chrono>
#include <filesystem>
#include <memory>
#include <thread>

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

}  // namespace
}  // namespace velmorin
