// The administrators' group: when root gives the program directory to a group the service user
// also belongs to, members of that group may use velmorin-ctl (run/ 0750 and the socket 0660 for
// the group); otherwise the socket stays the service user's alone. Needs root, to run the server
// and velmorin-ctl as other users (setpriv); the layout is the shipped one: the program directory
// root's, config/, logs/ and run/ the service user's.

#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "admin/CtlRun.hpp"
#include "faults/ServerUnderTest.hpp"
#include "support/ChildProcess.hpp"
#include "support/ServerHarness.hpp"
#include "support/TempProgramDir.hpp"

namespace velmorin {
namespace {

using testing::ChildProcess;

constexpr uid_t kServiceUser = 65534;
constexpr uid_t kAdministrator = 65533;
constexpr gid_t kAdminGroup = 65530;
const char* const kSetpriv = "/usr/bin/setpriv";

// setpriv's arguments that run the program with the argument as this user (its own number as its
// group) and these supplementary groups.
std::vector<std::string> As(uid_t user, const std::string& groups, const std::string& program,
                            const std::string& argument) {
  return {"--reuid=" + std::to_string(user), "--regid=" + std::to_string(user),
          groups.empty() ? "--clear-groups" : "--groups=" + groups, program, argument};
}

struct Mode {
  mode_t mode = 0;
  gid_t group = 0;
};
Mode ModeOf(const std::string& path) {
  struct stat status{};
  if (::lstat(path.c_str(), &status) != 0) return {};
  return {status.st_mode & 07777, status.st_gid};
}

struct GroupCase {
  const char* name;
  bool serviceUserInGroup;
};

class AdminGroup : public ::testing::TestWithParam<GroupCase> {};

TEST_P(AdminGroup, MembersUseTheControlSocketOnlyWhenTheServiceUserSharesTheDirectorysGroup) {
  if (::geteuid() != 0 || !std::filesystem::exists(kSetpriv)) GTEST_SKIP() << "needs root and setpriv";
  const bool shared = GetParam().serviceUserInGroup;
  testing::TempProgramDir dir;
  std::filesystem::copy_file(std::string(VELMORIN_DIST_DIR) + "/velmorin-server", dir.path("velmorin-server"));
  const std::string ctl = testing::CtlIn(dir);
  testing::CopyLanguageFiles(dir.path("language"));
  const std::uint16_t port = testing::FreeLoopbackPort();
  dir.write("config/server.cfg", "[Info]\r\nLanguage=English.lng\r\n[General]\r\nPort=" + std::to_string(port) +
                                     "\r\nPingDelay=600000\r\n[Logging]\r\nEnabled=0\r\n");
  // The program directory is root's and the group's; a service user outside the group enters it
  // as one of the others.
  ASSERT_EQ(::chown(dir.root().c_str(), 0, kAdminGroup), 0);
  ASSERT_EQ(::chmod(dir.root().c_str(), shared ? 0750 : 0755), 0);
  for (const char* own : {"config", "config/server.cfg", "logs", "run"}) {
    if (!std::filesystem::exists(dir.path(own))) std::filesystem::create_directories(dir.path(own));
    ASSERT_EQ(::chown(dir.path(own).c_str(), kServiceUser, kServiceUser), 0);
  }

  const std::string groups = shared ? std::to_string(kAdminGroup) : "";
  ChildProcess server(kSetpriv, As(kServiceUser, groups, dir.path("velmorin-server"), "--headless"),
                      dir.path("output.txt"));
  ASSERT_TRUE(testing::PollUntil([&] { return std::filesystem::exists(dir.path("run/control.sock")); },
                                 std::chrono::seconds(20)))
      << server.Output();

  const Mode run = ModeOf(dir.path("run"));
  const Mode socket = ModeOf(dir.path("run/control.sock"));
  EXPECT_EQ(run.mode, shared ? 0750u : 0700u) << server.Output();
  EXPECT_EQ(socket.mode, shared ? 0660u : 0600u);
  if (shared) {
    EXPECT_EQ(run.group, kAdminGroup);
    EXPECT_EQ(socket.group, kAdminGroup);
  }

  // A member of the group, and a user outside it.
  ChildProcess member(kSetpriv, As(kAdministrator, std::to_string(kAdminGroup), ctl, "status"),
                      dir.path("member.txt"));
  const std::optional<int> memberExit = member.WaitForExit();
  if (shared) {
    EXPECT_EQ(memberExit, 0) << member.Output();
  } else {
    EXPECT_NE(memberExit, 0) << member.Output();
  }
  ChildProcess stranger(kSetpriv, As(kAdministrator, "", ctl, "status"), dir.path("stranger.txt"));
  EXPECT_NE(stranger.WaitForExit(), 0) << stranger.Output();

  server.Signal(SIGTERM);
  EXPECT_EQ(server.WaitForExit(std::chrono::seconds(20)), 0) << server.Output();
}

INSTANTIATE_TEST_SUITE_P(ServiceUser, AdminGroup,
                         ::testing::Values(GroupCase{"InTheDirectorysGroup", true},
                                           GroupCase{"OutsideTheDirectorysGroup", false}),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace velmorin
