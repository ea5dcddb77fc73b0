#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <filesystem>
#include "codec/IniValues.hpp"
#include "config/Settings.hpp"
#include "platform/ProgramPaths.hpp"
#include "platform/Text.hpp"
#include "support/TempProgramDir.hpp"

namespace velmorin {
namespace {

class Settings : public ::testing::Test {
 protected:
  void SetUp() override { ServerSettings = ServerSettingsRecord{}; }
  std::string Read(const char* section, const char* key) {
    return ReadIniValue(section, key, "<missing>", Paths().settingsFile);
  }
  testing::TempProgramDir dir;
};

TEST_F(Settings, AMissingFileIsCreatedWithEveryDefault) {
  LoadSettings();
  const std::string file = dir.read("config/server.cfg");
  const std::vector<std::string> sections = SplitLines(ReadIniValue(std::nullopt, std::nullopt, "", Paths().settingsFile));
  EXPECT_EQ(sections, (std::vector<std::string>{"Info", "Start", "General", "Chatrooms", "Log",
                                                "LogMessages", "Logging", "WelcomeMessage"}));
  EXPECT_EQ(Read("Info", "Version"), "3.0.0");
  EXPECT_EQ(Read("Info", "Language"), "");
  EXPECT_EQ(Read("General", "Port"), "1000");
  EXPECT_EQ(Read("General", "AdministratorName"), "Unknown");
  EXPECT_EQ(Read("Log", "Pattern"), "%date/%longtime: %message");
  EXPECT_EQ(Read("Logging", "LogPath"), "logs/");
  EXPECT_EQ(ServerSettings.Logging.LogPath, dir.root() + "logs/");
  EXPECT_EQ(SplitLines(ReadIniValue("LogMessages", std::nullopt, "", Paths().settingsFile)).size(), 42u);
  EXPECT_EQ(Read("LogMessages", "ClientJoinedChatroom"), "1");
  EXPECT_EQ(Read("LogMessages", "SendingUserlist"), "0");
  EXPECT_EQ(Read("LogMessages", "ErrorRaised_Color"), "255");
  EXPECT_EQ(Read("LogMessages", "UnknownCommand_Show"), "0");
  EXPECT_EQ(Read("Plugins", "Anything"), "<missing>");
  EXPECT_EQ(ServerSettings.General.MaxUserCount, 256);
  EXPECT_EQ(ServerSettings.Log.Pattern, "\x03/\x05: \x02");
  EXPECT_TRUE(ServerSettings.LogMessages[static_cast<int>(LogMessageType::Connected)].Show);
}

TEST_F(Settings, TheLogPathIsStoredRelativeWhenItIsTheProgramDirectorysOwn) {
  const struct {
    const char* stored;
    std::string used;
    std::string storedAgain;
  } cases[] = {
      {"", dir.root() + "logs/", "logs/"},
      {"logs/", dir.root() + "logs/", "logs/"},
      {"/srv/velmorin/logs/", "/srv/velmorin/logs/", "/srv/velmorin/logs/"},
  };
  for (const auto& one : cases) {
    dir.write("config/server.cfg", std::string("[Logging]\r\nLogPath=") + one.stored + "\r\n");
    ASSERT_EQ(LoadSettings(), 0);
    EXPECT_EQ(ServerSettings.Logging.LogPath, one.used) << one.stored;
    ASSERT_EQ(SaveSettings(), 0);
    EXPECT_EQ(Read("Logging", "LogPath"), one.storedAgain) << one.stored;
  }
}

TEST_F(Settings, LoadingAppliesCutsClampsAndConversions) {
  dir.write("config/server.cfg",
            "[Info]\r\nVersion=3.0.0\r\n"
            "[General]\r\nMaxUserCount=100000\r\nPort=abc\r\nAllowGuests=true\r\nScrollLog=\r\n"
            "AdministratorName=" + std::string(70, 'n') + "\r\n"
            "ToolbarOrder=online, ,exit\r\n"
            "[Chatrooms]\r\nStandardChatroom=   " + std::string(45, 'r') + "\r\n");
  LoadSettings();
  EXPECT_EQ(ServerSettings.General.MaxUserCount, 32768);
  EXPECT_EQ(ServerSettings.General.Port, 0);  // not a number: zero, no range test
  EXPECT_TRUE(ServerSettings.General.AllowGuests);
  EXPECT_FALSE(ServerSettings.General.ScrollLog);  // empty value: false, not the default
  EXPECT_EQ(ServerSettings.General.AdministratorName, std::string(64, 'n'));
  EXPECT_EQ(ServerSettings.General.ToolbarOrder, "online,,exit");
  EXPECT_EQ(ServerSettings.Chatrooms.StandardChatroom, std::string(40, 'r'));
  EXPECT_EQ(ServerSettings.General.PingDelay, 300000);  // missing key: default

  dir.write("config/server.cfg", "[General]\r\nMaxUserCount=0\r\n");
  LoadSettings();
  EXPECT_EQ(ServerSettings.General.MaxUserCount, 0);
}

TEST_F(Settings, AnOlderVersionIsWrittenBackAndNothingElseChanges) {
  const std::string original = "[Info]\r\nVersion=2.9.1\r\n[General]\r\nPort=2000\r\n; note\r\n";
  dir.write("config/server.cfg", original);
  LoadSettings();
  EXPECT_EQ(ServerSettings.Info.Version, "3.0.0");
  EXPECT_EQ(dir.read("config/server.cfg"), "[Info]\r\nVersion=3.0.0\r\n[General]\r\nPort=2000\r\n; note\r\n");
}

TEST_F(Settings, SaveAndLoadRoundTripKeepsPatternAndForeignContent) {
  dir.write("config/server.cfg",
            "garbage line\r\n[Log]\r\nPattern=%time %message\r\n[Plugins]\r\nchat=0\r\n"
            "[My<(>Own<)>]\r\nkeep=me\r\n[Log\r\nbroken\r\n");
  LoadSettings();
  EXPECT_EQ(ServerSettings.Log.Pattern, "\x04 \x02");
  ServerSettings.General.Description = "two<br>lines";
  ServerSettings.General.ActivePort = 4000;
  ASSERT_EQ(SaveSettings(), 0);
  EXPECT_EQ(Read("Log", "Pattern"), "%time %message");
  EXPECT_EQ(Read("Plugins", "chat"), "0");
  EXPECT_EQ(ReadIniValue("My[Own]", "keep", "", Paths().settingsFile), "me");
  EXPECT_EQ(Read("General", "ActivePort"), "<missing>");
  const std::string file = dir.read("config/server.cfg");
  EXPECT_EQ(file.rfind("garbage line\r\n", 0), 0u);

  const ServerSettingsRecord saved = ServerSettings;
  ServerSettings = ServerSettingsRecord{};
  LoadSettings();
  EXPECT_EQ(ServerSettings.General.Description, saved.General.Description);
  EXPECT_EQ(ServerSettings.Log.Pattern, saved.Log.Pattern);
  EXPECT_EQ(ServerSettings.LogMessages[13].Color, 255);
}

TEST_F(Settings, BareVisibilityKeysOfTwoEntries) {
  LoadSettings();
  WriteIniValue("LogMessages", "ClientJoinedChatroom", "0", Paths().settingsFile);
  WriteIniValue("LogMessages", "SendingUserlist_Show", "1", Paths().settingsFile);
  LoadSettings();
  EXPECT_FALSE(ServerSettings.LogMessages[5].Show);
  EXPECT_FALSE(ServerSettings.LogMessages[7].Show);  // the suffixed spelling is ignored
  WriteIniValue("LogMessages", "ClientJoinedChatroom", std::nullopt, Paths().settingsFile);
  LoadSettings();
  EXPECT_TRUE(ServerSettings.LogMessages[5].Show);
}

TEST_F(Settings, ResetKeepsLanguageAndActivePort) {
  ServerSettings.Info.Language = "Deutsch.lng";
  ServerSettings.General.ActivePort = 2000;
  ServerSettings.General.Port = 5;
  ResetSettings();
  EXPECT_EQ(ServerSettings.Info.Language, "Deutsch.lng");
  EXPECT_EQ(ServerSettings.General.ActivePort, 2000);
  EXPECT_EQ(ServerSettings.General.Port, 1000);
  EXPECT_EQ(ServerSettings.Info.Version, "3.0.0");
  EXPECT_FALSE(dir.exists("config/server.cfg"));
}

// A settings file that is there but cannot be read is not a missing one: taking the defaults
// would write them over the administrator's settings.
TEST_F(Settings, AnUnreadableFileIsReportedAndLeftAlone) {
  std::filesystem::create_directories(dir.path("config/server.cfg/kept"));  // unreadable even for root
  EXPECT_EQ(LoadSettings(), EISDIR);
  EXPECT_TRUE(std::filesystem::is_directory(dir.path("config/server.cfg/kept")));
  std::filesystem::remove_all(dir.path("config/server.cfg"));

  if (::geteuid() == 0) return;  // root reads files without read permission
  dir.write("config/server.cfg", "[General]\r\nPort=2000\r\n");
  ::chmod(dir.path("config/server.cfg").c_str(), 0200);
  EXPECT_EQ(LoadSettings(), EACCES);
  ::chmod(dir.path("config/server.cfg").c_str(), 0644);
  EXPECT_EQ(dir.read("config/server.cfg"), "[General]\r\nPort=2000\r\n");
  EXPECT_EQ(LoadSettings(), 0);
  EXPECT_EQ(ServerSettings.General.Port, 2000);
}

TEST_F(Settings, AnUnwritableConfigDirectoryLoadsDefaultsAndSaveReportsTheFailure) {
  std::filesystem::remove_all(dir.path("config"));
  dir.write("config", "a file where the directory should be");
  LoadSettings();
  EXPECT_EQ(ServerSettings.General.Port, 1000);
  EXPECT_EQ(ServerSettings.Info.Version, "3.0.0");
  EXPECT_EQ(SaveSettings(), ENOTDIR);
  EXPECT_EQ(dir.read("config"), "a file where the directory should be");
}

}  // namespace
}  // namespace velmorin
