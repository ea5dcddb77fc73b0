#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <ctime>
#include <string>

#include "i18n/LanguageFile.hpp"
#include "logging/LogFile.hpp"
#include "support/TempProgramDir.hpp"

namespace velmorin {
namespace {

std::time_t LocalMoment(int year, int month, int day, int hour, int minute, int second) {
  std::tm local{};
  local.tm_year = year - 1900;
  local.tm_mon = month - 1;
  local.tm_mday = day;
  local.tm_hour = hour;
  local.tm_min = minute;
  local.tm_sec = second;
  local.tm_isdst = -1;
  return std::mktime(&local);
}

// The test process keeps the C locale, so dates read mm/dd/yy and times hh:mm:ss.
const std::time_t kEvening = LocalMoment(2026, 12, 4, 23, 59, 30);
const std::time_t kAfterMidnight = LocalMoment(2026, 12, 5, 0, 0, 10);
constexpr const char* kEveningStamp = "12/04/26/23:59:30";
constexpr const char* kMorningStamp = "12/05/26/00:00:10";

std::string Header(const std::string& stamp) { return "\r\nStarted: " + stamp + "\r\n"; }
std::string Trailer(const std::string& stamp) { return "Stopped: " + stamp + "\r\n"; }

class LogFiles : public ::testing::Test {
 protected:
  void SetUp() override {
    dir.write("language/Test.lng",
              "[VM3SLF]\r\nLanguageName=Test\r\nlanguageIDs=1033\r\nVelmorinVersion=3.0.0\r\n"
              "[frmServer.Data]\r\nlogStart=Started:<SP>\r\nlogStop=Stopped:<SP>\r\n");
    language.SetLanguage("frmServer", dir.path("language/Test.lng"));
    logging.SetClock([this] { return now; });
  }

  testing::TempProgramDir dir;
  LanguageFile language;
  std::time_t now = kEvening;
  LogFile logging{language};
};

TEST_F(LogFiles, EntriesFollowOneHeaderAndTheFileEndsWithATrailer) {
  logging.StartLogging(dir.path("logs"), "Server@1000");
  ASSERT_TRUE(logging.IsLogging());
  EXPECT_EQ(logging.FileName(), dir.path("logs/Server@1000.log"));
  logging.AddEntry("one");
  logging.AddEntry("two");
  logging.StopLogging();
  EXPECT_FALSE(logging.IsLogging());
  EXPECT_EQ(dir.read("logs/Server@1000.log"),
            Header(kEveningStamp) + "one\r\ntwo\r\n" + Trailer(kEveningStamp));
}

TEST_F(LogFiles, StartingTwiceKeepsTheFirstFile) {
  logging.StartLogging(dir.path("logs"), "first");
  logging.StartLogging(dir.path("logs"), "second");
  logging.AddEntry("entry");
  logging.StopLogging();
  EXPECT_EQ(dir.read("logs/first.log"), Header(kEveningStamp) + "entry\r\n" + Trailer(kEveningStamp));
  EXPECT_FALSE(dir.exists("logs/second.log"));
}

TEST_F(LogFiles, StartAndStopWithoutEntriesLeaveTheFileUnchanged) {
  dir.write("logs/Server@1000.log", "earlier\r\n");
  logging.StartLogging(dir.path("logs/"), "Server@1000");
  logging.StopLogging();
  {
    LogFile destroyedWhileOpen(language);
    destroyedWhileOpen.StartLogging(dir.path("logs/"), "Server@1000");
  }
  EXPECT_EQ(dir.read("logs/Server@1000.log"), "earlier\r\n");
}

TEST_F(LogFiles, RestartingAppendsToTheSameDaysFile) {
  logging.SetLogNamingByDate(true);
  logging.StartLogging(dir.path("logs"), "Server@1000");
  logging.AddEntry("first run");
  logging.StopLogging();
  {
    LogFile restarted(language);
    restarted.SetClock([this] { return now; });
    restarted.SetLogNamingByDate(true);
    restarted.StartLogging(dir.path("logs"), "Server@1000");
    restarted.AddEntry("second run");
  }
  EXPECT_EQ(dir.read("logs/2026_12_04 - Server@1000.log"),
            Header(kEveningStamp) + "first run\r\n" + Trailer(kEveningStamp) + Header(kEveningStamp) +
                "second run\r\n" + Trailer(kEveningStamp));
}

TEST_F(LogFiles, TheFirstEntryAfterMidnightMovesToTheNewDaysFile) {
  logging.SetLogNamingByDate(true);
  logging.StartLogging(dir.path("logs"), "Server@1000");
  logging.AddEntry("before");
  now = kAfterMidnight;
  logging.AddEntry("after");
  logging.StopLogging();
  EXPECT_EQ(dir.read("logs/2026_12_04 - Server@1000.log"),
            Header(kEveningStamp) + "before\r\n" + Trailer(kMorningStamp));
  EXPECT_EQ(dir.read("logs/2026_12_05 - Server@1000.log"),
            Header(kMorningStamp) + "after\r\n" + Trailer(kMorningStamp));
}

TEST_F(LogFiles, AFileOpenedYesterdayWithoutEntriesGetsNoTrailer) {
  logging.SetLogNamingByDate(true);
  logging.StartLogging(dir.path("logs"), "Server@1000");
  now = kAfterMidnight;
  logging.AddEntry("after");
  EXPECT_EQ(dir.read("logs/2026_12_04 - Server@1000.log"), "");
  EXPECT_EQ(dir.read("logs/2026_12_05 - Server@1000.log"), Header(kMorningStamp) + "after\r\n");
}

TEST_F(LogFiles, WithoutNamingByDateTheFileStaysAcrossMidnight) {
  logging.StartLogging(dir.path("logs"), "Server@1000");
  logging.AddEntry("before");
  now = kAfterMidnight;
  logging.AddEntry("after");
  EXPECT_EQ(dir.read("logs/Server@1000.log"), Header(kEveningStamp) + "before\r\nafter\r\n");
}

TEST_F(LogFiles, NamesAreTrimmedAndCleanedAndMissingParentsCreated) {
  logging.StartLogging("  " + dir.path("a/b/c") + "  ", "  Server:1000?*  ");
  logging.AddEntry("x");
  EXPECT_EQ(logging.FileName(), dir.path("a/b/c/Server_1000__.log"));
  EXPECT_TRUE(dir.exists("a/b/c/Server_1000__.log"));
}

// Runs the body with the temporary directory as working directory, so relative paths land there.
class WorkingDirectory {
 public:
  explicit WorkingDirectory(const std::string& path) : previous_(::getcwd(nullptr, 0)) {
    EXPECT_EQ(::chdir(path.c_str()), 0);
  }
  ~WorkingDirectory() {
    if (previous_ != nullptr && ::chdir(previous_) != 0) ADD_FAILURE() << "cannot restore " << previous_;
    std::free(previous_);
  }

 private:
  char* previous_;
};

TEST_F(LogFiles, ShortDirectoriesEmptyNamesAndUnusablePathsLeaveLoggingStopped) {
  dir.write("blocker", "a file where a directory should be");
  const WorkingDirectory inside(dir.root());
  const std::pair<std::string, std::string> cases[] = {
      {"ab", "Server@1000"},  {"  ab  ", "Server@1000"}, {"a/", "Server@1000"}, {"", "Server@1000"},
      {dir.path("logs"), ""}, {dir.path("logs"), "   "},  {dir.path("blocker/logs"), "S"},
  };
  for (const auto& [directory, base] : cases) {
    logging.StartLogging(directory, base);
    EXPECT_FALSE(logging.IsLogging()) << "'" << directory << "' '" << base << "'";
    logging.AddEntry("dropped");
    logging.StopLogging();
  }
  EXPECT_FALSE(dir.exists("ab"));
  EXPECT_FALSE(dir.exists("a"));
  EXPECT_FALSE(dir.exists("logs"));
}

}  // namespace
}  // namespace velmorin
