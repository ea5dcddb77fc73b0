// The main window with a real server and a real plugin in this process: the plugin's menu
// entries appear in the Plugins menu with their ticks and enabled state, a click reaches the
// plugin as "MenuClick", a released key as "ShortcutPressed", and its balloon reaches the tray.
// The server information window shows the figures of the running server.

#include <gtest/gtest.h>

#include <QKeyEvent>
#include <QLabel>
#include <QMenuBar>
#include <QTest>

#include "admin-gui/MainWindow.hpp"
#include "admin-gui/PluginMenuView.hpp"
#include "admin-gui/ServerInfoWindow.hpp"
#include "admin-gui/TrayIcon.hpp"
#include "config/Settings.hpp"
#include "gui/WindowServer.hpp"
#include "platform/Text.hpp"
#include "support/PacketText.hpp"
#include "support/ServerHarness.hpp"

namespace velmorin {
namespace {

using testing::F;
using testing::kWait;

class PluginWindow : public testing::WindowServer {
 protected:
  void Prepare() override {
    dir.installPlugin(std::string(VELMORIN_TEST_PLUGIN_DIR) + "/scripted.so", "alpha");
    dir.write("plugins/alpha.rules", "");
  }

  // The plugin issues a command to the server.
  std::string Run(const std::string& word, const std::string& p1, const std::string& p2 = "") {
    return server.RunningPlugins().Call("scripted-alpha", "Run", word, p1 + '\x1e' + p2).value_or("<not running>");
  }
  // Waits until the plugin has received the line.
  bool Received(const std::string& line) {
    return QTest::qWaitFor(
        [&] {
          for (const std::string& got : Split(dir.read("plugins/alpha.received"), "\n")) {
            if (got == line) return true;
          }
          return false;
        },
        static_cast<int>(kWait.count()));
  }
  QMenu& PluginsMenu() { return *window.menuBar()->findChild<QMenu*>("mnuPlugins"); }
};

TEST_F(PluginWindow, MenuEntriesShowTheirStateAndAClickReachesTheOwner) {
  EXPECT_FALSE(PluginsMenu().isEnabled());  // empty
  Run("AddMenuEntry", "tools", F({"&Tools", "1", "0"}));
  Run("AddMenuEntry", "log", "Log all");
  ASSERT_EQ(PluginsMenu().actions().size(), 2);
  EXPECT_TRUE(PluginsMenu().isEnabled());
  QAction* tools = PluginsMenu().actions()[0];
  QAction* log = PluginsMenu().actions()[1];
  EXPECT_EQ(tools->text(), "&Tools");
  EXPECT_TRUE(tools->isChecked());
  EXPECT_FALSE(tools->isEnabled());
  EXPECT_EQ(log->text(), "Log all");
  EXPECT_FALSE(log->isChecked());
  EXPECT_TRUE(log->isEnabled());

  // Edited in place, by a name in other letter case.
  Run("EditMenuEntry", "TOOLS", F({"Tools", "0", "1"}));
  ASSERT_EQ(PluginsMenu().actions().size(), 2);
  EXPECT_EQ(PluginsMenu().actions()[0], tools);
  EXPECT_EQ(tools->text(), "Tools");
  EXPECT_FALSE(tools->isChecked());
  EXPECT_TRUE(tools->isEnabled());

  tools->trigger();
  EXPECT_TRUE(Received("MenuClick|tools|"));

  Run("RemoveMenuEntry", "tools");
  Run("RemoveMenuEntry", "log");
  EXPECT_TRUE(PluginsMenu().actions().isEmpty());
  EXPECT_FALSE(PluginsMenu().isEnabled());
}

TEST_F(PluginWindow, ReleasedShortcutsAreOfferedAndBalloonsReachTheTray) {
  Run("AddEventHandler", "ShortcutPressed");
  QKeyEvent plain(QEvent::KeyRelease, Qt::Key_A, Qt::NoModifier, "a");
  QApplication::sendEvent(&window.LogView(), &plain);  // not offered: no Ctrl or Alt
  QKeyEvent f5(QEvent::KeyRelease, Qt::Key_F5, Qt::ShiftModifier);
  QApplication::sendEvent(&window.LogView(), &f5);
  EXPECT_TRUE(Received("ShortcutPressed|1|116"));
  // Once, though the log view passes the key on to the window; the plain key not at all.
  const std::string received = dir.read("plugins/alpha.received");
  EXPECT_EQ(received.find("ShortcutPressed|1|116"), received.rfind("ShortcutPressed|1|116")) << received;
  EXPECT_EQ(received.find("ShortcutPressed|0|65"), std::string::npos) << received;

  Run("ShowBalloonTooltip", F({"warning", "Backup"}), "Backup finished");
  EXPECT_EQ(window.Tray().LastBalloonTitle(), "Backup");
  EXPECT_EQ(window.Tray().LastBalloonText(), "Backup finished");
}

TEST_F(PluginWindow, ServerInformationShowsTheFiguresOnlineAndOffline) {
  // The window as the menu opens it, with this test's language file (the process-wide language
  // stays bound to the first test's).
  auto* infos = new ServerInfoWindow(admin, &window);
  infos->SetLanguage(dir.path("language/English.lng"));
  ShowServerInfos(admin, window);
  ASSERT_EQ(window.findChildren<ServerInfoWindow*>().size(), 1);  // the open one raised, no second
  EXPECT_EQ(infos->Field("lblPort").toStdString(), std::to_string(port));
  EXPECT_EQ(infos->Field("lblPersons").toStdString(), "0/" + std::to_string(admin.State().Figures().maxUsers));
  EXPECT_EQ(infos->Field("lblStatus"), "Online");
  EXPECT_TRUE(infos->Field("lblOnlineUptime").startsWith("0 days, 00:00:")) << infos->Field("lblOnlineUptime").toStdString();
  EXPECT_TRUE(infos->Field("lblBytesIn").endsWith(" bytes") || infos->Field("lblBytesIn").endsWith(" KB"));

  // The server tells the window when its figures change.
  ASSERT_TRUE(admin.State().GoOffline(true).ok());
  EXPECT_EQ(infos->Field("lblStatus"), "Offline");
  for (const char* field : {"lblPort", "lblChatrooms", "lblMaxText", "lblOnlineUptime"}) {
    EXPECT_EQ(infos->Field(field), "-") << field;
  }
  EXPECT_EQ(infos->Field("lblPersons"), "-/-");
  // The reverse lookup of the address ends and is shown in capitals.
  EXPECT_TRUE(QTest::qWaitFor([&] { return infos->Field("lblName") != "..."; }, static_cast<int>(kWait.count()) * 3));
  EXPECT_EQ(infos->Field("lblName"), infos->Field("lblName").toUpper());
  EXPECT_NE(infos->Field("lblName"), infos->Field("lblIP"));  // a name, not the address again
}

TEST(PluginShortcut, OffersFunctionAndEditingKeysAloneAndEveryKeyWithCtrlOrAlt) {
  const struct {
    int key;
    Qt::KeyboardModifiers modifiers;
    long code;  // 0: not offered
    long shift;
  } cases[] = {
      {Qt::Key_F1, Qt::NoModifier, 112, 0},        {Qt::Key_F12, Qt::NoModifier, 123, 0},
      {Qt::Key_Insert, Qt::NoModifier, 45, 0},     {Qt::Key_Delete, Qt::ShiftModifier, 46, 1},
      {Qt::Key_PageUp, Qt::NoModifier, 33, 0},     {Qt::Key_PageDown, Qt::NoModifier, 34, 0},
      {Qt::Key_A, Qt::NoModifier, 0, 0},           {Qt::Key_A, Qt::ShiftModifier, 0, 0},
      {Qt::Key_A, Qt::ControlModifier, 65, 2},     {Qt::Key_7, Qt::AltModifier, 55, 4},
      {Qt::Key_F3, Qt::ControlModifier | Qt::AltModifier | Qt::ShiftModifier, 114, 7},
      {Qt::Key_Control, Qt::ControlModifier, 0, 0}, {Qt::Key_Left, Qt::AltModifier, 37, 4},
  };
  for (const auto& c : cases) {
    const auto offered = OfferedShortcut(c.key, c.modifiers);
    if (c.code == 0) {
      EXPECT_FALSE(offered.has_value()) << c.key;
      continue;
    }
    ASSERT_TRUE(offered.has_value()) << c.key;
    EXPECT_EQ(offered->keyCode, c.code) << c.key;
    EXPECT_EQ(offered->shiftState, c.shift) << c.key;
  }
}

}  // namespace
}  // namespace velmorin
