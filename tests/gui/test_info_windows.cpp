// The tray menu, the information windows and the toolbar adjusting window take every text of
// both shipped language files; the system information shows the report under its headings, in
// the language's numbers and words.

#include <gtest/gtest.h>

#include <QAction>
#include <QLabel>
#include <QMenu>
#include <QTreeWidget>
#include <string>
#include <vector>

#include "admin-gui/HelpMenu.hpp"
#include "admin-gui/MainWindow.hpp"
#include "admin-gui/ServerInfoWindow.hpp"
#include "admin-gui/SystemInfoWindow.hpp"
#include "admin-gui/ToolbarDialog.hpp"
#include "admin-gui/TrayIcon.hpp"
#include "admin/AdminService.hpp"
#include "server/ChatServer.hpp"
#include "support/TempProgramDir.hpp"

namespace velmorin {
namespace {

const std::string kLanguages = std::string(VELMORIN_SOURCE_DIR) + "/language/";

class InfoWindows : public ::testing::Test {
 protected:
  testing::TempProgramDir dir;
  AdminFrontEnd frontEnd;
  ChatServer server{frontEnd};
  AdminService admin{server};
};

TEST_F(InfoWindows, TheShippedFilesFitEveryWindow) {
  for (const char* file : {"English.lng", "Deutsch.lng"}) {
    const std::string path = kLanguages + file;
    MainWindow main;
    EXPECT_TRUE(main.Tray().SetLanguage(path).empty()) << file;
    ServerInfoWindow infos(admin, nullptr);
    EXPECT_TRUE(infos.SetLanguage(path).empty()) << file << ::testing::PrintToString(infos.SetLanguage(path));
    SystemInfoWindow system(admin, nullptr);
    EXPECT_TRUE(system.SetLanguage(path).empty()) << file << ::testing::PrintToString(system.SetLanguage(path));
    ToolbarDialog adjust({}, nullptr);
    EXPECT_TRUE(adjust.SetLanguage(path).empty()) << file << ::testing::PrintToString(adjust.SetLanguage(path));
    EXPECT_FALSE(infos.findChild<QLabel*>("lblIPCaption")->text().isEmpty());
  }
  MainWindow main;
  main.Tray().SetLanguage(kLanguages + "Deutsch.lng");
  EXPECT_EQ(main.Tray().Menu().findChild<QAction*>("mnuTrayRestore")->text(), "&Wiederherstellen");
  ServerInfoWindow infos(admin, nullptr);
  infos.SetLanguage(kLanguages + "Deutsch.lng");
  EXPECT_EQ(infos.findChild<QLabel*>("lblChatroomsCaption")->text(), QString::fromUtf8("Chatr\xC3\xA4ume:"));
  // Offline: the figures that need the server running show dashes.
  EXPECT_EQ(infos.Field("lblPersons"), "-/-");
  EXPECT_EQ(infos.Field("lblBytesIn"), "0 Bytes");  // the window's own unit texts
}

TEST_F(InfoWindows, SystemInformationShowsTheReportUnderItsHeadings) {
  SystemInfoWindow system(admin, nullptr);
  system.SetLanguage(kLanguages + "English.lng");
  const std::string text = system.ReportText();
  for (const char* part : {"General\r\n", "Velmorin Server\r\n", "System\r\n", "  Processor cores: ", "  Version: ",
                           "  Kernel release: "}) {
    EXPECT_NE(text.find(part), std::string::npos) << part << "\n" << text;
  }
  EXPECT_EQ(text.find("memory_total_kb"), std::string::npos) << text;  // every entry has its label

  // In German the load averages have decimal commas and the uptime is in words.
  SystemInfoWindow german(admin, nullptr);
  german.SetLanguage(kLanguages + "Deutsch.lng");
  const std::string deutsch = german.ReportText();
  const std::size_t load = deutsch.find("  Durchschnittliche Last: ");
  ASSERT_NE(load, std::string::npos) << deutsch;
  const std::string loadLine = deutsch.substr(load, deutsch.find("\r\n", load) - load);
  EXPECT_EQ(loadLine.find('.'), std::string::npos) << loadLine;
  EXPECT_NE(loadLine.find(','), std::string::npos) << loadLine;
  EXPECT_TRUE(deutsch.find(" Tage, ") != std::string::npos || deutsch.find(" Tag, ") != std::string::npos) << deutsch;
}

TEST(HelpMenu, AboutNamesTheVersionAndTheLicencesOfWhatShips) {
  const QString about = AboutText();
  for (const char* part : {"Velmorin Server", "Qt ", "Lesser General Public License version 3", "libsodium", "ISC"}) {
    EXPECT_TRUE(about.contains(part)) << part;
  }
  EXPECT_FALSE(UserGuidePath().empty());  // found in the source tree
}

}  // namespace
}  // namespace velmorin
