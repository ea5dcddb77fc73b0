// Language texts reach the window's controls by name and property; what does not fit is
// reported, never turned into a dynamic property.

#include <gtest/gtest.h>

#include <QAction>
#include <QMenu>
#include <string>
#include <vector>

#include "admin-gui/MainWindow.hpp"
#include "admin-gui/WindowLanguage.hpp"
#include "support/TempProgramDir.hpp"

namespace velmorin {
namespace {

const std::string kLanguages = std::string(VELMORIN_SOURCE_DIR) + "/language/";

TEST(WindowLanguage, TheShippedFilesFitTheMainWindow) {
  for (const char* file : {"English.lng", "Deutsch.lng"}) {
    MainWindow window;
    const std::vector<std::string> refused = window.SetLanguage(kLanguages + file);
    EXPECT_TRUE(refused.empty()) << file << ": " << ::testing::PrintToString(refused);
    EXPECT_FALSE(window.Action("online")->toolTip().isEmpty()) << file;
  }
  MainWindow window;
  window.SetLanguage(kLanguages + "Deutsch.lng");
  EXPECT_EQ(window.Action("mnuAbout")->text(), QString::fromUtf8("\xC3\x9C&ber..."));  // Windows-1252 read right
  EXPECT_EQ(window.findChild<QMenu*>("mnuLog")->title(), "&Protokoll");
}

TEST(WindowLanguage, ReportsTyposInsteadOfCreatingProperties) {
  testing::TempProgramDir dir;
  dir.write("language/Typo.lng",
            "[VM3SLF]\r\nlanguageIDs=1033\r\nVelmorinVersion=3.0.0\r\n"
            "[frmServer]\r\n"
            "mnuOnline.text=On<SP>line\r\n"
            "mnuOnlin.text=Control typo\r\n"
            "mnuExit.txt=Property typo\r\n"
            "mnuExit.checkable=not a boolean\r\n"
            "mnuLog.title.1.5000=Range\r\n");
  MainWindow window;
  const std::vector<std::string> refused = ApplyWindowLanguage(window, "frmServer", dir.path("language/Typo.lng"));
  ASSERT_EQ(refused.size(), 4u) << ::testing::PrintToString(refused);
  const std::string all = ::testing::PrintToString(refused);
  for (const char* key : {"mnuOnlin.text", "mnuExit.txt", "mnuExit.checkable", "mnuLog.title.1.5000"}) {
    EXPECT_NE(all.find(key), std::string::npos) << key;
  }
  EXPECT_EQ(window.Action("mnuOnline")->text(), "On line");
  EXPECT_FALSE(window.Action("mnuExit")->property("txt").isValid());
  EXPECT_TRUE(window.Action("mnuExit")->dynamicPropertyNames().isEmpty());
}

}  // namespace
}  // namespace velmorin
