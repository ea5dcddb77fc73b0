// The log file of the real executable: a log file that cannot be written is said once on the
// other sinks, and the default log directory moves with a copied program directory.

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "admin/CtlRun.hpp"
#include "faults/ServerUnderTest.hpp"

namespace velmorin {
namespace {

using testing::Ctl;
using testing::PollUntil;
using testing::ServerUnderTest;
using namespace std::chrono_literals;

std::size_t Occurrences(const std::string& text, const std::string& part) {
  std::size_t count = 0;
  for (std::size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) ++count;
  return count;
}

TEST(LogDirectory, ALogFileThatCannotBeWrittenIsReportedOnceWithTheSystemsReason) {
  const struct {
    const char* name;
    const char* reason;
    void (*prepare)(ServerUnderTest&);
  } cases[] = {
      {"the directory is a file", "Not a directory",
       [](ServerUnderTest& server) { server.dir().write("logs", "a file where the directory should be"); }},
      {"the disk is full", "No space left on device",
       [](ServerUnderTest& server) {
         std::filesystem::create_directories(server.dir().path("logs"));
         std::filesystem::create_symlink("/dev/full",
                                         server.dir().path("logs/Server@" + std::to_string(server.port()) + ".log"));
       }},
  };
  for (const auto& one : cases) {
    SCOPED_TRACE(one.name);
    ServerUnderTest server;
    server.Set("Logging", "Enabled", "1");
    server.Set("Logging", "LogNamingByDate", "0");
    one.prepare(server);
    ASSERT_TRUE(server.Start()) << server.Output();
    for (int i = 0; i < 5; ++i) server.LoggedIn("Writer" + std::to_string(i)).Close();
    ASSERT_TRUE(PollUntil([&] { return Occurrences(server.Output(), "Writer4") > 0; }, 10s)) << server.Output();
    const std::string output = server.Output();
    EXPECT_EQ(Occurrences(output, "cannot be written"), 1u) << output;
    EXPECT_NE(output.find(one.reason), std::string::npos) << output;
    EXPECT_NE(output.find(server.dir().path("logs/Server@")), std::string::npos) << output;
    EXPECT_EQ(server.Stop(), 0);
  }
}

TEST(LogDirectory, ACopiedProgramDirectoryLogsIntoItsOwnLogs) {
  ServerUnderTest original;
  original.Set("Logging", "Enabled", "1");
  original.Set("Logging", "LogNamingByDate", "0");
  ASSERT_TRUE(original.Start()) << original.Output();
  // A settings change writes every key of server.cfg, the log directory among them.
  ASSERT_EQ(Ctl(original.dir(), {"settings", "set", "General.MaxTextLength", "300"}).exit, 0);
  ASSERT_EQ(original.Stop(), 0);
  const std::string stored = original.dir().read("config/server.cfg");
  EXPECT_NE(stored.find("LogPath=logs/\r\n"), std::string::npos) << stored;

  // The copy runs on a port of its own: only that line of the file differs.
  ServerUnderTest copy;
  const std::string port = "Port=" + std::to_string(original.port()) + "\r\n";
  std::string text = stored;
  ASSERT_NE(text.find(port), std::string::npos);
  text.replace(text.find(port), port.size(), "Port=" + std::to_string(copy.port()) + "\r\n");
  copy.dir().write("config/server.cfg", text);
  copy.Launch();
  ASSERT_TRUE(copy.WaitUntilOnline()) << copy.Output();
  copy.LoggedIn("InTheCopy").Close();
  ASSERT_EQ(copy.Stop(), 0);

  const std::string name = "logs/Server@" + std::to_string(copy.port()) + ".log";
  EXPECT_NE(copy.dir().read(name).find("InTheCopy"), std::string::npos);
  EXPECT_FALSE(std::filesystem::exists(original.dir().path(name)));
}

}  // namespace
}  // namespace velmorin
