// The server's state through the administration: going offline with and without the
// administrator's confirmation, the information figures, the addresses and the system report.

#include <gnu/libc-version.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/utsname.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "admin/AdminControl.hpp"
#include "support/PacketText.hpp"
#include "support/PortHolder.hpp"

namespace velmorin {
namespace {

using testing::Control;
using testing::Field;
using testing::kWait;
using testing::ServerHarness;

TEST(ServerAdmin, OfflineWithUsersNeedsTheConfirmation) {
  ServerHarness server;
  ASSERT_TRUE(server.Start());
  auto ann = server.LoggedIn("Ann");

  const ControlReply refused = Control(server, "offline");
  EXPECT_EQ(refused.status, ControlStatus::Refused);
  EXPECT_EQ(refused.notice, "questionStopServer");
  EXPECT_NE(refused.message.find('1'), std::string::npos) << refused.message;  // the user count
  EXPECT_EQ(refused.message.find("<BR>"), std::string::npos);
  EXPECT_TRUE(server.Call([](ChatServer& s) { return s.IsOnline(); }));
  EXPECT_TRUE(server.frontEnd().Questions().empty());  // nobody at a window was asked
  EXPECT_TRUE(ann.Send("ping", ""));
  EXPECT_TRUE(ann.ReceiveCommand("pong", kWait).has_value());

  EXPECT_EQ(Control(server, "offline --yes").status, ControlStatus::Done);
  EXPECT_TRUE(ann.WaitForClose(kWait));
  const ControlReply status = Control(server, "status");
  EXPECT_EQ(Field(status, "status"), "offline");
  EXPECT_EQ(Field(status, "port"), "-");
  EXPECT_EQ(Field(status, "server_start"), "-");
  EXPECT_EQ(Control(server, "offline").notice, "alreadyOffline");

  EXPECT_EQ(Control(server, "online").status, ControlStatus::Done);
  EXPECT_EQ(Field(Control(server, "status"), "status"), "online");
  EXPECT_EQ(Field(Control(server, "status"), "port"), std::to_string(server.port()));
  EXPECT_EQ(Control(server, "online").notice, "alreadyOnline");
}

TEST(ServerAdmin, AFailedStartIsRefusedNotReportedDone) {
  ServerHarness server;
  ASSERT_TRUE(server.Start());
  ASSERT_EQ(Control(server, "offline").status, ControlStatus::Done);

  // Another program takes the port meanwhile.
  testing::PortHolder other(server.port());
  ASSERT_TRUE(other.listening());

  const ControlReply reply = Control(server, "online");
  other.Release();
  EXPECT_EQ(reply.status, ControlStatus::Refused);
  EXPECT_EQ(reply.notice, "msgServerCouldNotStart");
  EXPECT_EQ(Field(Control(server, "status"), "status"), "offline");
}

TEST(ServerAdmin, OfflineWithoutUsersAsksNothing) {
  ServerHarness server;
  ASSERT_TRUE(server.Start());
  auto stranger = server.Connect();  // connected, not logged in
  server.Sync();
  EXPECT_EQ(Control(server, "offline").status, ControlStatus::Done);
  EXPECT_TRUE(stranger.WaitForClose(kWait));
}

TEST(ServerAdmin, TheFiguresFollowTrafficAndUsers) {
  ServerHarness server;
  ASSERT_TRUE(server.Start());
  const ControlReply before = Control(server, "status");
  EXPECT_EQ(Field(before, "status"), "online");
  EXPECT_EQ(Field(before, "server_status"), "0");
  EXPECT_EQ(Field(before, "users"), "0");
  EXPECT_NE(Field(before, "server_start"), "-");

  auto ann = server.LoggedIn("Ann");
  EXPECT_TRUE(ann.Send("ping", ""));
  EXPECT_TRUE(ann.ReceiveCommand("pong", kWait).has_value());
  server.Sync();
  const ControlReply after = Control(server, "status");
  EXPECT_EQ(Field(after, "users"), "1");
  EXPECT_EQ(Field(after, "connections"), "1");
  EXPECT_GT(std::stod(Field(after, "bytes_in")), std::stod(Field(before, "bytes_in")));
  EXPECT_GT(std::stod(Field(after, "bytes_out")), std::stod(Field(before, "bytes_out")));
  // The same counters in the information window's form.
  EXPECT_NE(Field(after, "data_in").find(Field(after, "bytes_in")), std::string::npos);
}

TEST(ServerAdmin, TheSystemReportNamesTheKernelAndTheCLibrary) {
  ServerHarness server;
  ASSERT_TRUE(server.Start());
  utsname names{};
  ASSERT_EQ(uname(&names), 0);
  const ControlReply report = Control(server, "sysinfo");
  ASSERT_EQ(report.status, ControlStatus::Done);
  EXPECT_EQ(Field(report, "System.kernel_release"), names.release);
  EXPECT_NE(Field(report, "Velmorin.libc").find(gnu_get_libc_version()), std::string::npos);
  EXPECT_FALSE(Field(report, "Velmorin.compiler").empty());
  EXPECT_GT(std::stol(Field(report, "General.cores")), 0);
  EXPECT_GT(std::stoll(Field(report, "General.memory_total_kb")), 0);
}

TEST(ServerAdmin, TheAddressesLeaveOutLoopback) {
  ServerHarness server;
  ASSERT_TRUE(server.Start());
  const ControlReply reply = Control(server, "ips");
  ASSERT_EQ(reply.status, ControlStatus::Done);
  for (const std::string& address : testing::Column(reply, "address")) {
    EXPECT_NE(address, "127.0.0.1");
    EXPECT_NE(address, "");
  }
}

// Words that do not form one of these commands get the usage line and change nothing.
TEST(ServerAdmin, MalformedCommandsGetTheirUsage) {
  ServerHarness server;
  ASSERT_TRUE(server.Start());
  auto ann = server.LoggedIn("Ann");
  const std::vector<std::vector<std::string>> cases = {
      {"status", "now"},
      {"users", "all"},
      {"kick"},
      {"kick", "Ann", "Ben"},
      {"say"},
      {"say", "--user"},
      {"say", "--user", "Ann"},
      {"say", "--room", "Lobby"},
      {"say", "--user", "Ann", "--room", "Lobby", "hi"},
      {"say", "--loud", "hi"},
      {"online", "now"},
      {"offline", "--force"},
      {"offline", "--yes", "--yes"},
      {"ips", "all"},
      {"sysinfo", "full"},
      {"plugins"},
      {"plugins", "list", "all"},
      {"plugins", "enable"},
      {"plugins", "remove", "alpha"},
      {"plugins", "about", "a", "b"},
  };
  for (const auto& words : cases) {
    const ControlReply reply = Control(server, words);
    EXPECT_EQ(reply.status, ControlStatus::Usage) << testing::Words(words.front()).front() << " " << words.size();
    EXPECT_EQ(reply.message.rfind("usage: ", 0), 0u) << reply.message;
  }
  EXPECT_TRUE(server.Call([](ChatServer& s) { return s.IsOnline(); }));
  EXPECT_EQ(testing::Column(Control(server, "users"), "nickname"), std::vector<std::string>{"Ann"});
}

}  // namespace
}  // namespace velmorin
