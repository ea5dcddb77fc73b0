// The shipped executable as a process: started headless on a port of the command line, used by
// a client, ended by SIGTERM.

#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <memory>
#include <optional>
#include <thread>

#include "store/modINI.hpp"
#include "support/ChildProcess.hpp"
#include "support/ServerHarness.hpp"

extern char** environ;

namespace velmorin {
namespace {

using testing::ChildProcess;
using testing::kWait;


// A copy of the program directory with its own configuration.
class ServerExecutable : public ::testing::Test {
 protected:
  void SetUp() override {
    std::filesystem::copy_file(std::string(VELMORIN_DIST_DIR) + "/velmorin-server", program);
    testing::CopyLanguageFiles(dir.path("language"));
  }
  void Configure(const std::string& port) {
    dir.write("config/server.cfg", "[Info]\r\nLanguage=English.lng\r\n[General]\r\nPort=" + port +
                                       "\r\nPingDelay=600000\r\n[Log]\r\nPattern=%message\r\n");
  }
  std::unique_ptr<ChildProcess> Launch(const std::vector<std::string>& arguments) {
    return std::make_unique<ChildProcess>(program, arguments, dir.path("output.txt"));
  }
  // Connects as soon as the program listens (it needs a moment to start).
  bool ConnectWhenListening(client::ChatClient& client, std::uint16_t port) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (!client.Connect("127.0.0.1", port, kWait)) {
      if (std::chrono::steady_clock::now() >= deadline) return false;
      std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    return true;
  }
  std::string Setting(const std::string& file, const std::string& section, const std::string& key) {
    profile::Flush(dir.path(file));  // written by the child
    return ReadIniValue(section, key, "", dir.path(file));
  }

  testing::TempProgramDir dir;
  const std::string program = dir.path("velmorin-server");
};

TEST_F(ServerExecutable, RunsHeadlessOnTheCommandLinePortAndSavesItsFilesOnSigterm) {
  Configure("4321");
  // Saving renumbers the keys and drops the duplicate, which shows that it happened.
  dir.write("config/ban.cfg", "[Nick]\r\n7=Spammer\r\n9=SPAMMER\r\n");
  const std::uint16_t port = testing::FreeLoopbackPort();
  auto server = Launch({"--headless", "/port:" + std::to_string(port)});
  ASSERT_TRUE(server->Started());

  client::ChatClient client;
  ASSERT_TRUE(ConnectWhenListening(client, port)) << dir.read("output.txt");
  ASSERT_TRUE(client.ReceiveWelcome(kWait));
  const auto reply = client.Login("Visitor", "", 0, "test", kWait);
  ASSERT_TRUE(reply);
  EXPECT_EQ(reply->status, "ok");

  server->Signal(SIGTERM);
  EXPECT_TRUE(client.WaitForClose(kWait));
  client.Close();  // lets the server's graceful close complete
  EXPECT_EQ(server->WaitForExit(std::chrono::seconds(10)), 0);

  EXPECT_NE(dir.read("output.txt").find("Visitor"), std::string::npos) << dir.read("output.txt");
  EXPECT_EQ(Setting("config/server.cfg", "General", "Port"), "4321");  // the command line's port is not stored
  EXPECT_EQ(Setting("config/server.cfg", "General", "MaxUserCount"), "256");
  EXPECT_EQ(Setting("config/ban.cfg", "Nick", "0"), "Spammer");
  EXPECT_EQ(Setting("config/ban.cfg", "Nick", "9"), "");
  EXPECT_TRUE(dir.exists("config/welcome.msg"));
}

TEST_F(ServerExecutable, APortWordWithoutDigitsFallsBackToTheConfiguredPortAndSigintEndsIt) {
  const std::uint16_t port = testing::FreeLoopbackPort();
  Configure(std::to_string(port));
  auto server = Launch({"--headless", "/port:none"});
  ASSERT_TRUE(server->Started());
  client::ChatClient client;
  ASSERT_TRUE(ConnectWhenListening(client, port)) << dir.read("output.txt");
  EXPECT_TRUE(client.ReceiveWelcome(kWait));
  client.Close();
  server->Signal(SIGINT);
  EXPECT_EQ(server->WaitForExit(std::chrono::seconds(10)), 0);
}

}  // namespace
}  // namespace velmorin
