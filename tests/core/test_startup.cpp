#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdio>
#include <filesystem>

#include "codec/IniValues.hpp"
#include "config/Settings.hpp"
#include "platform/ProgramPaths.hpp"
#include "app/StartupSteps.hpp"
#include "support/TempProgramDir.hpp"

namespace velmorin {
namespace {

TEST(CommandLine, FirstCharacterIsDroppedAndTheWordSplitsAtTheFirstColon) {
  struct Case {
    const char* line;
    const char* word;
    const char* value;
  };
  const Case cases[] = {
      {"/port:2000", "port", "2000"},   {"-UNREGISTER", "unregister", ""},
      {"/Port: 12 :x", "port", "12 :x"}, {"port:2000", "ort", "2000"},
      {"", "", ""},                     {"/", "", ""},
  };
  for (const Case& c : cases) {
    const CommandLine parsed = ParseCommandLine(c.line);
    EXPECT_EQ(parsed.word, c.word) << c.line;
    EXPECT_EQ(parsed.value, c.value) << c.line;
  }
  const std::pair<const char*, long> ports[] = {
      {"2000", 2000}, {"  2000abc", 2000}, {"12.6", 13}, {"", 0}, {"abc", 0}, {"70000", 70000}};
  for (const auto& [value, port] : ports) EXPECT_EQ(PortOfCommandLine(value), port) << value;
}

class LanguageChoice : public ::testing::Test {
 protected:
  void SetUp() override {
    ServerSettings = ServerSettingsRecord{};
    dir.write("language/Deutsch.lng", "[VM3SLF]\r\nlanguageIDs=1031,2055\r\n");
    dir.write("language/English.lng", "[VM3SLF]\r\nlanguageIDs=1033\r\n");
    dir.write("language/Xtra.lng", "[VM3SLF]\r\nlanguageIDs=10310\r\n");
  }
  std::string Stored() { return ReadIniValue("Info", "Language", "", Paths().settingsFile); }
  testing::TempProgramDir dir;
};

TEST_F(LanguageChoice, PreselectsTheFileListingTheSystemLocaleBetweenCommas) {
  ASSERT_TRUE(ChooseLanguageWithoutAsking(2055));
  EXPECT_EQ(ServerSettings.Info.Language, "Deutsch.lng");
  EXPECT_EQ(Stored(), "Deutsch.lng");
}

TEST_F(LanguageChoice, FallsBackToEnglishAndKeepsAUsableConfiguredOne) {
  ASSERT_TRUE(ChooseLanguageWithoutAsking(1031 * 10 + 1));  // 10311: only a prefix of nothing
  EXPECT_EQ(ServerSettings.Info.Language, "English.lng");
  ServerSettings.Info.Language = "Xtra.lng";
  ASSERT_TRUE(ChooseLanguageWithoutAsking(1033));
  EXPECT_EQ(ServerSettings.Info.Language, "Xtra.lng");
  ServerSettings.Info.Language = "Gone.lng";  // configured file no longer exists
  ASSERT_TRUE(ChooseLanguageWithoutAsking(1033));
  EXPECT_EQ(ServerSettings.Info.Language, "English.lng");
}

TEST_F(LanguageChoice, ASingleFileIsAlwaysTakenAndNoFileIsAnError) {
  std::filesystem::remove(dir.path("language/Deutsch.lng"));
  std::filesystem::remove(dir.path("language/Xtra.lng"));
  ServerSettings.Info.Language = "Other.lng";
  ASSERT_TRUE(ChooseLanguageWithoutAsking(1031));
  EXPECT_EQ(Stored(), "English.lng");
  std::filesystem::remove(dir.path("language/English.lng"));
  EXPECT_FALSE(ChooseLanguageWithoutAsking(1031));
}

// The shipped executable, copied into a temporary program directory.
class Executable : public ::testing::Test {
 protected:
  void SetUp() override {
    std::filesystem::copy_file(std::string(VELMORIN_DIST_DIR) + "/velmorin-server",
                               dir.path("velmorin-server"));
  }
  int Run(const std::string& arguments, std::string& output) {
    const std::string command = "cd / && LANG=de_DE.UTF-8 " + dir.path("velmorin-server") + " " +
                                arguments + " 2>&1";
    FILE* pipe = ::popen(command.c_str(), "r");
    char buffer[512];
    output.clear();
    while (std::fgets(buffer, sizeof buffer, pipe) != nullptr) output += buffer;
    const int status = ::pclose(pipe);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  }
  testing::TempProgramDir dir;
};

TEST_F(Executable, WithoutLanguageFilesItSaysSoAndExitsWithOne) {
  std::string output;
  EXPECT_EQ(Run("--headless", output), 1);
  EXPECT_NE(output.find("No Language files were found."), std::string::npos) << output;
  EXPECT_TRUE(dir.exists("config/server.cfg"));
  EXPECT_TRUE(dir.exists("logs"));
}

TEST_F(Executable, RefusesUnknownOptionsAndOnlyUnregistersPluginsForUnregister) {
  std::string output;
  EXPECT_EQ(Run("--bogus", output), 2);
  EXPECT_NE(output.find("--bogus"), std::string::npos);
  std::filesystem::create_directories(dir.path("plugins"));
  std::filesystem::copy_file(std::string(VELMORIN_TEST_PLUGIN_DIR) + "/echo.so", dir.path("plugins/echo.so"));
  EXPECT_EQ(Run("-unregister", output), 0);
  EXPECT_EQ(dir.read("plugins/echo.so.log"), "unregister\n");  // every plugin library unregistered
  EXPECT_FALSE(dir.exists("config/server.cfg"));  // and nothing else happened
}

}  // namespace
}  // namespace velmorin
