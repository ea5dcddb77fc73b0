// The shipped executable as a process: started headless on a port of the command line, used by
// a client, ended by SIGTERM.

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <memory>
#include <optional>
#include <thread>

#include "codec/IniValues.hpp"
#include "support/ChildProcess.hpp"
#include "support/PortHolder.hpp"
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

TEST_F(ServerExecutable, RunsHeadlessOnTheCommandLinePortAndClosesOnSigterm) {
  Configure("4321");
  // The rules are not changed while the server runs: the file stays as written (a save would
  // renumber the keys and drop the duplicate).
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
  // The settings did not change while it ran: the file stays as written, without the defaults.
  EXPECT_EQ(Setting("config/server.cfg", "General", "MaxUserCount"), "");
  EXPECT_EQ(dir.read("config/ban.cfg"), "[Nick]\r\n7=Spammer\r\n9=SPAMMER\r\n");
  EXPECT_TRUE(dir.exists("config/welcome.msg"));  // created for the administrator to edit
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

// A closed terminal sends SIGHUP: the server notes it and goes on serving.
TEST_F(ServerExecutable, SurvivesSighupAndKeepsServing) {
  const std::uint16_t port = testing::FreeLoopbackPort();
  Configure(std::to_string(port));
  auto server = Launch({"--headless"});
  client::ChatClient first;
  ASSERT_TRUE(ConnectWhenListening(first, port)) << dir.read("output.txt");
  ASSERT_TRUE(first.ReceiveWelcome(kWait));

  server->Signal(SIGHUP);
  EXPECT_TRUE(server->WaitFor("SIGHUP")) << server->Output();
  server->Signal(SIGHUP);
  client::ChatClient second;
  ASSERT_TRUE(second.Connect("127.0.0.1", port, kWait)) << server->Output();
  ASSERT_TRUE(second.ReceiveWelcome(kWait));
  const auto reply = second.Login("Late", "", 0, "test", kWait);
  ASSERT_TRUE(reply);
  EXPECT_EQ(reply->status, "ok");

  first.Close();
  second.Close();
  server->Signal(SIGTERM);
  EXPECT_EQ(server->WaitForExit(std::chrono::seconds(10)), 0);
}

// A service manager must see a server that cannot listen as failed, with the status of its own
// (69) that the unit's RestartPreventExitStatus= names, and the administrator must learn what to do.
TEST_F(ServerExecutable, APortThatCannotBeBoundEndsTheProgramWithAnError) {
  testing::PortHolder holder;
  ASSERT_TRUE(holder.listening());
  const std::string port = std::to_string(holder.port());
  Configure("2000");

  auto server = Launch({"--headless", "/port:" + port});
  const std::optional<int> status = server->WaitForExit(std::chrono::seconds(10));
  holder.Release();
  ASSERT_TRUE(status.has_value()) << "still running: " << server->Output();
  EXPECT_EQ(*status, 69);
  const std::string output = server->Output();
  EXPECT_NE(output.find("port " + port), std::string::npos) << output;
  EXPECT_NE(output.find("/port:N"), std::string::npos) << output;
  EXPECT_EQ(Setting("config/server.cfg", "General", "Port"), "2000");
}

// Port 1000, the default, is the system's on Linux: an ordinary user's server cannot listen there
// and must end, saying how to choose another port. Root runs the program as "nobody".
TEST_F(ServerExecutable, APrivilegedPortWithoutPrivilegesEndsTheProgramWithTheHint) {
  std::ifstream limit("/proc/sys/net/ipv4/ip_unprivileged_port_start");
  int firstUnprivileged = 1024;
  limit >> firstUnprivileged;
  if (firstUnprivileged <= 1000) GTEST_SKIP() << "port 1000 needs no privileges on this machine";
  Configure("1000");
  std::string launcher = program;
  std::vector<std::string> arguments{"--headless"};
  if (::geteuid() == 0) {
    if (!std::filesystem::exists("/usr/bin/setpriv")) GTEST_SKIP() << "no setpriv to drop root's privileges";
    for (const std::string& writable : {dir.root(), dir.path("config"), dir.path("config/server.cfg")}) {
      std::filesystem::permissions(writable, std::filesystem::perms::all);
    }
    launcher = "/usr/bin/setpriv";
    arguments = {"--reuid=65534", "--regid=65534", "--clear-groups", program, "--headless"};
  }
  ChildProcess server(launcher, arguments, dir.path("output.txt"));
  const std::optional<int> status = server.WaitForExit(std::chrono::seconds(10));
  ASSERT_TRUE(status.has_value()) << "still running: " << server.Output();
  EXPECT_EQ(*status, 69);
  const std::string output = server.Output();
  EXPECT_NE(output.find("Port 1000 is reserved for the system"), std::string::npos) << output;  // the log says why
  EXPECT_NE(output.find("cannot listen on port 1000"), std::string::npos) << output;
  EXPECT_NE(output.find("/port:N"), std::string::npos) << output;
}

TEST_F(ServerExecutable, AnUnreadableSettingsFileIsNotReplacedAndTheStartIsRefused) {
  // A directory where the file belongs cannot be read, whoever runs the test.
  std::filesystem::create_directories(dir.path("config/server.cfg/kept"));
  auto server = Launch({"--headless", "/port:" + std::to_string(testing::FreeLoopbackPort())});
  const std::optional<int> status = server->WaitForExit(std::chrono::seconds(10));
  ASSERT_TRUE(status.has_value()) << "still running: " << server->Output();
  EXPECT_EQ(*status, 1);
  EXPECT_NE(server->Output().find("cannot read " + dir.path("config/server.cfg")), std::string::npos)
      << server->Output();
  EXPECT_TRUE(std::filesystem::is_directory(dir.path("config/server.cfg/kept")));
}

// Files edited by hand while the server runs are what the administrator has: a close that
// changed nothing in memory writes none of them. Temporary files of a killed save are gone.
TEST_F(ServerExecutable, HandEditsSurviveTheCloseAndStaleTemporaryFilesAreRemoved) {
  const std::uint16_t port = testing::FreeLoopbackPort();
  Configure(std::to_string(port));
  dir.write("config/ban.cfg", "[Nick]\r\n0=Old\r\n");
  dir.write("config/welcome.msg", "Hello\r\n");
  dir.write("config/.velmorin-Ab12Cd", "half a save");
  dir.write("config/.velmorin-new", "not ours: another name");
  auto server = Launch({"--headless"});
  client::ChatClient client;
  ASSERT_TRUE(ConnectWhenListening(client, port)) << dir.read("output.txt");
  client.Close();
  EXPECT_FALSE(dir.exists("config/.velmorin-Ab12Cd"));
  EXPECT_TRUE(dir.exists("config/.velmorin-new"));

  const std::string settings = "[Info]\r\nLanguage=English.lng\r\n[General]\r\nPort=" + std::to_string(port) +
                               "\r\nPingDelay=600000\r\nMaxUserCount=5\r\n[Log]\r\nPattern=%message\r\n";
  dir.write("config/server.cfg", settings);
  dir.write("config/ban.cfg", "[Nick]\r\n0=Old\r\n1=AddedByHand\r\n");
  dir.write("config/welcome.msg", "Edited by hand\r\n");
  server->Signal(SIGTERM);
  EXPECT_EQ(server->WaitForExit(std::chrono::seconds(10)), 0);
  EXPECT_EQ(dir.read("config/server.cfg"), settings);
  EXPECT_EQ(dir.read("config/ban.cfg"), "[Nick]\r\n0=Old\r\n1=AddedByHand\r\n");
  EXPECT_EQ(dir.read("config/welcome.msg"), "Edited by hand\r\n");
  EXPECT_FALSE(dir.exists("config/ban.cfg.velmorin-new"));
}

}  // namespace
}  // namespace velmorin
