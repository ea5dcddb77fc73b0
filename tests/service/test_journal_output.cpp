// Under a service manager whose journal is the server's standard output (JOURNAL_STREAM names
// that stream), the journal stamps each line itself: the server writes its lines without the
// date and time of the line pattern, each led by its priority. Anywhere else, lines stay as the
// pattern makes them.

#include <sys/stat.h>

#include <regex>
#include <sstream>
#include <string>

#include <gtest/gtest.h>

#include "faults/ServerUnderTest.hpp"
#include "support/PortHolder.hpp"

namespace velmorin {
namespace {

using testing::ScopedEnvironment;
using testing::ServerUnderTest;

std::string DeviceAndInode(const std::string& path) {
  struct stat status{};
  if (::stat(path.c_str(), &status) != 0) return "0:0";
  return std::to_string(status.st_dev) + ":" + std::to_string(status.st_ino);
}

// Starts a server with the default line pattern, lets a second client log in under a nickname
// in use (a warning) and reloads; the output once it stopped.
std::string OutputOfARun(ServerUnderTest& server, bool journalIsStdout) {
  server.Set("Log", "Pattern", "%date/%longtime: %message");
  // The output file exists before the start, so that its inode is known (the start truncates it).
  server.dir().write("output-1.txt", "");
  const ScopedEnvironment journal("JOURNAL_STREAM",
                                  journalIsStdout ? DeviceAndInode(server.dir().path("output-1.txt")) : "1:2");
  if (!server.Start()) return "not started: " + server.Output();
  client::ChatClient first = server.LoggedIn("Ann");
  client::ChatClient second = server.Welcomed();
  EXPECT_TRUE(second.SendLogin("Ann", "", 0, "journal test"));
  testing::PollUntil([&] {
    const std::string output = server.Output();
    return output.find("ping") != std::string::npos || output.find("already in use") != std::string::npos;
  }, std::chrono::seconds(10));
  server.Signal(SIGHUP);
  testing::PollUntil([&] { return server.Output().find("SIGHUP") != std::string::npos; }, std::chrono::seconds(10));
  EXPECT_EQ(server.Stop(), 0);
  return server.Output();
}

TEST(JournalOutput, LinesCarryTheirPriorityAndNoDateWhenStandardOutputIsTheJournal) {
  ServerUnderTest server;
  const std::string output = OutputOfARun(server, true);
  const std::regex time(R"(\d\d:\d\d:\d\d)");
  std::istringstream lines(output);
  std::string line;
  int seen = 0;
  while (std::getline(lines, line)) {
    ++seen;
    EXPECT_TRUE(std::regex_search(line, std::regex("^<[3-6]>"))) << line << "\n" << output;
    EXPECT_FALSE(std::regex_search(line, time)) << line;
  }
  EXPECT_GT(seen, 3) << output;
  // A warning: the nickname's holder, asked whether it is still there, did not answer in time (or
  // the nickname is refused as in use).
  EXPECT_TRUE(std::regex_search(output, std::regex("\n<4>[^\n]*(ping|already in use)"))) << output;
  EXPECT_TRUE(std::regex_search(output, std::regex("(^|\n)<5>\\[status\\]"))) << output;
  EXPECT_TRUE(std::regex_search(output, std::regex("\n<6>[^\n]*SIGHUP"))) << output;
}

TEST(JournalOutput, LinesKeepThePatternWhenTheJournalIsAnotherStream) {
  ServerUnderTest server;
  const std::string output = OutputOfARun(server, false);
  EXPECT_TRUE(std::regex_search(output, std::regex(R"(\d\d:\d\d:\d\d: )"))) << output;
  EXPECT_FALSE(std::regex_search(output, std::regex("(^|\n)<[0-7]>"))) << output;
}

// Why the server does not start goes to standard error, which is the journal too: as an error.
TEST(JournalOutput, AStartThatCannotListenIsAnErrorInTheJournal) {
  ServerUnderTest server;
  testing::PortHolder busy;
  ASSERT_TRUE(busy.listening());
  server.CommandLinePort(busy.port());
  server.dir().write("config/server.cfg", server.ConfigText());
  server.dir().write("output-1.txt", "");
  const ScopedEnvironment journal("JOURNAL_STREAM", DeviceAndInode(server.dir().path("output-1.txt")));
  server.Launch();
  EXPECT_TRUE(testing::PollUntil([&] { return server.Output().find("/port:N") != std::string::npos; },
                                 std::chrono::seconds(20)));
  const std::string output = server.Output();
  EXPECT_TRUE(std::regex_search(output, std::regex("(^|\n)<3>velmorin-server: cannot listen on port " +
                                                   std::to_string(busy.port())))) << output;
  EXPECT_TRUE(std::regex_search(output, std::regex("\n<3>Start it with /port:N"))) << output;
}

}  // namespace
}  // namespace velmorin
