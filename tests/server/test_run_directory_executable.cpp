// The shipped executable over a run/ directory another local user prepared: a lock file or run
// directory that is a symbolic link, a hard link or someone else's is refused, the server does
// not start, and what the link points at is left exactly as it was.

#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <functional>
#include <iostream>
#include <optional>
#include <string>

#include "faults/ServerUnderTest.hpp"
#include "support/ChildProcess.hpp"
#include "support/PortHolder.hpp"
#include "support/ServerHarness.hpp"

namespace velmorin {
namespace {

using testing::ChildProcess;

constexpr uid_t kNobody = 65534;

mode_t ModeOf(const std::string& path) {
  struct stat status {};
  return ::lstat(path.c_str(), &status) == 0 ? status.st_mode & 07777 : 0;
}

class RunDirectory : public ::testing::Test {
 protected:
  void SetUp() override {
    std::filesystem::copy_file(std::string(VELMORIN_DIST_DIR) + "/velmorin-server", program);
    testing::CopyLanguageFiles(dir.path("language"));
    dir.write("config/server.cfg", "[Info]\r\nLanguage=English.lng\r\n[General]\r\nPort=" +
                                       std::to_string(testing::FreeLoopbackPort()) + "\r\nPingDelay=600000\r\n");
    // What a root-started server must never touch: a file and a directory outside run/.
    dir.write("victim/file", "precious\n");
    ::chmod(dir.path("victim/file").c_str(), 0644);
    ::chmod(dir.path("victim").c_str(), 0755);
  }
  std::optional<int> RunToExit(std::string& output) {
    ChildProcess server(program, {"--headless"}, dir.path("output.txt"));
    const std::optional<int> status = server.WaitForExit(std::chrono::seconds(10));
    output = server.Output();
    if (!status) server.Signal(SIGTERM);
    return status;
  }
  void ExpectVictimUntouched() {
    EXPECT_EQ(dir.read("victim/file"), "precious\n");
    EXPECT_EQ(ModeOf(dir.path("victim/file")), 0644u);
    EXPECT_EQ(ModeOf(dir.path("victim")), 0755u);
    std::size_t entries = 0;
    for ([[maybe_unused]] const auto& entry : std::filesystem::directory_iterator(dir.path("victim"))) ++entries;
    EXPECT_EQ(entries, 1u) << "nothing was made in the directory a link pointed at";
  }

  testing::TempProgramDir dir;
  const std::string program = dir.path("velmorin-server");
};

TEST_F(RunDirectory, ALinkedOrForeignLockFileOrRunDirectoryIsRefusedAndItsTargetUntouched) {
  const bool root = ::geteuid() == 0;
  const struct {
    const char* what;
    std::function<bool(testing::TempProgramDir&)> plant;  // false: cannot be planted here
  } cases[] = {
      {"lock file linked to a file",
       [](auto& d) {
         std::filesystem::create_directories(d.path("run"));
         std::filesystem::create_symlink(d.path("victim/file"), d.path("run/server.lock"));
         return true;
       }},
      {"lock file linked to nothing yet",
       [](auto& d) {
         std::filesystem::create_directories(d.path("run"));
         std::filesystem::create_symlink(d.path("victim/new"), d.path("run/server.lock"));
         return true;
       }},
      {"lock file hard-linked to a file",
       [](auto& d) {
         std::filesystem::create_directories(d.path("run"));
         std::error_code error;
         std::filesystem::create_hard_link(d.path("victim/file"), d.path("run/server.lock"), error);
         return !error;
       }},
      {"run linked to a directory",
       [](auto& d) {
         std::filesystem::create_directory_symlink(d.path("victim"), d.path("run"));
         return true;
       }},
      {"run made by another user",
       [root](auto& d) {
         std::filesystem::create_directories(d.path("run"));
         return root && ::chown(d.path("run").c_str(), kNobody, kNobody) == 0;
       }},
  };
  for (const auto& one : cases) {
    SCOPED_TRACE(one.what);
    std::filesystem::remove_all(dir.path("run"));
    if (!one.plant(dir)) {
      std::cout << "not planted here: " << one.what << "\n";
      continue;
    }
    std::string output;
    EXPECT_EQ(RunToExit(output), std::optional<int>(1)) << output;
    EXPECT_NE(output.find("does not follow or use it and does not start"), std::string::npos) << output;
    ExpectVictimUntouched();
    EXPECT_FALSE(std::filesystem::exists(dir.path("victim/new")));
  }
}

TEST(RunDirectoryOwner, RootIsWarnedInAProgramDirectoryAnotherUserOwnsAndRunsOn) {
  if (::geteuid() != 0) GTEST_SKIP() << "only root is warned";
  testing::ServerUnderTest server;
  ASSERT_EQ(::chown(server.dir().root().c_str(), kNobody, kNobody), 0);
  ASSERT_TRUE(server.Start()) << server.Output();
  EXPECT_NE(server.Output().find("warning: running as root in " + server.dir().root() + ", which belongs to user 65534"),
            std::string::npos)
      << server.Output();
  EXPECT_EQ(server.Stop(), std::optional<int>(0)) << server.Output();
}

}  // namespace
}  // namespace velmorin
