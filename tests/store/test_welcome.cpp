#include <gtest/gtest.h>

#include "config/Settings.hpp"
#include "config/WelcomeMessage.hpp"
#include "i18n/LanguageFile.hpp"
#include "support/TempProgramDir.hpp"

namespace velmorin {
namespace {

class Welcome : public ::testing::Test {
 protected:
  testing::TempProgramDir dir;
};

TEST_F(Welcome, SavedTextLoadsBackUnchanged) {
  WelcomeText = "Hello\r\nsecond line";
  ASSERT_EQ(SaveWelcomeMessage(), 0);
  EXPECT_EQ(dir.read("config/welcome.msg"), "Hello\r\nsecond line\r\n");
  WelcomeText.clear();
  LoadWelcomeMessage();
  EXPECT_EQ(WelcomeText, "Hello\r\nsecond line");

  dir.write("config/welcome.msg", "");
  LoadWelcomeMessage();
  EXPECT_EQ(WelcomeText, "");
  dir.write("config/welcome.msg", "unix\nlines\n");
  LoadWelcomeMessage();
  EXPECT_EQ(WelcomeText, "unix\r\nlines");
}

TEST_F(Welcome, AMissingFileGivesTheLanguageDefaultAndCreatesNothing) {
  LoadWelcomeMessage();
  EXPECT_EQ(WelcomeText, CurrentLanguage().Data("stdWelcomeMsg"));
  EXPECT_FALSE(dir.exists("config/welcome.msg"));
}

TEST_F(Welcome, PlaceholdersAreFilledInAfterThePluginEvent) {
  ServerSettings.Info.Version = "3.0.0";
  ServerSettings.General.MaxUserCount = 256;
  ServerSettings.General.MaxTextLength = 300;
  ServerSettings.General.AdministratorName = "Ada";
  ServerSettings.General.AdministratorEMail = "ada@example.org";
  WelcomeText = "%version %users/%maxusers %maxtextlen %port [%ip] %adminname %adminmail "
                "%ondays:%onhours:%onminutes";
  WelcomeFigures figures;
  figures.users = 3;
  figures.port = 2000;
  figures.addresses = {"10.0.0.2", "192.168.1.5"};
  figures.onlineSeconds = 86400 + 2 * 3600 + 5 * 60 + 59;
  EXPECT_EQ(BuildWelcomeText(figures),
            "3.0.0 3/256 300 2000 [10.0.0.2, 192.168.1.5] Ada ada@example.org 1:02:05");

  figures.onlineSeconds = 0;  // offline
  WelcomeText = "%ondays %onhours %onminutes";
  EXPECT_EQ(BuildWelcomeText(figures), "0 00 00");

  WelcomeText = "plain text";
  EXPECT_EQ(BuildWelcomeText(figures, [](const std::string& text) { return text + " %users"; }),
            "plain text 3");
}

}  // namespace
}  // namespace velmorin
