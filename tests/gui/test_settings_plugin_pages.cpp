// The settings dialog's own plugin instances, with a real plugin library: the page it adds
// appears under the plugins node with its title (offscreen cannot show a foreign window, so the
// page shows the note), "About" and "Configure" reach it, OK tells it "SettingsChanged", and
// closing the dialog ends it while the running plugin goes on.

#include <gtest/gtest.h>

#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QStackedWidget>
#include <QTreeWidget>
#include <algorithm>
#include <string>
#include <vector>

#include "admin-gui/SettingsDialog.hpp"
#include "gui/DialogServer.hpp"
#include "platform/Text.hpp"

namespace velmorin {
namespace {

class SettingsPluginPages : public testing::DialogServer {
 protected:
  void SetUp() override {
    dir.installPlugin(std::string(VELMORIN_TEST_PLUGIN_DIR) + "/page_adding.so", "weather");
    dir.write("plugins/weather.pages", "4242\x1fWeather <b>station</b>");
    DialogServer::SetUp();
  }

  // What the dialog's instance (host word "settingsserver") and the running one recorded.
  std::vector<std::string> Lines(const std::string& hostWord) {
    std::vector<std::string> lines;
    for (const std::string& line : Split(dir.read("plugins/weather.received"), "\n")) {
      if (line.rfind(hostWord + " ", 0) == 0) lines.push_back(line.substr(hostWord.size() + 1));
    }
    return lines;
  }

  static bool Holds(const std::vector<std::string>& lines, const std::string& line) {
    return std::find(lines.begin(), lines.end(), line) != lines.end();
  }
};

TEST_F(SettingsPluginPages, ThePageAppearsUnderPluginsAndTheDialogsInstanceEndsWithIt) {
  QWidget window;
  SettingsDialog dialog(admin, language, &window);
  auto* tree = dialog.findChild<QTreeWidget*>("tvwSettings");
  auto* pages = dialog.findChild<QStackedWidget*>();
  ASSERT_NE(tree, nullptr);
  ASSERT_NE(pages, nullptr);
  ASSERT_TRUE(dialog.ShowPage("Plugins"));
  QTreeWidgetItem* plugins = tree->currentItem();

  ASSERT_TRUE(dialog.ShowPage("Plugin:Weather <b>station</b>"));
  QTreeWidgetItem* item = tree->currentItem();
  EXPECT_EQ(item->parent(), plugins);
  EXPECT_EQ(item->text(0), QString("Weather <b>station</b>"));
  auto* title = pages->currentWidget()->findChild<QLabel*>("lblPluginPageTitle");
  auto* note = pages->currentWidget()->findChild<QLabel*>("lblPluginPage");
  ASSERT_NE(title, nullptr);
  ASSERT_NE(note, nullptr);
  EXPECT_EQ(title->text(), QString("Weather <b>station</b>"));
  EXPECT_EQ(title->textFormat(), Qt::PlainText);
  EXPECT_FALSE(note->text().isEmpty());
  EXPECT_EQ(pages->currentWidget()->findChild<QWidget*>("ctlPluginWindow"), nullptr);

  // "Configure" for the plugin shows its page; "About" reaches the dialog's instance.
  auto* list = dialog.findChild<QListWidget*>("lstPluginList");
  ASSERT_NE(list, nullptr);
  ASSERT_EQ(list->count(), 1);
  list->setCurrentRow(0);
  ASSERT_TRUE(dialog.ShowPage("Start"));
  dialog.findChild<QPushButton*>("cmdPluginConfigure")->click();
  EXPECT_EQ(tree->currentItem(), item);
  dialog.findChild<QPushButton*>("cmdPluginAbout")->click();

  const AdminResult stored = dialog.Store();
  EXPECT_TRUE(stored.ok()) << stored.message;
  EXPECT_FALSE(Holds(Lines("settingsserver"), "Terminate|settingsserver|"));
  dialog.reject();

  const std::vector<std::string> own = Lines("settingsserver");
  ASSERT_FALSE(own.empty());
  EXPECT_EQ(own.front(), "initialise|settingsserver|");
  EXPECT_TRUE(Holds(own, "AddSettingsPage|Weather <b>station</b>|done"));
  EXPECT_TRUE(Holds(own, "ShowAbout||"));
  EXPECT_TRUE(Holds(own, "SettingsChanged||"));
  EXPECT_EQ(own.back(), "Terminate|settingsserver|");
  // The running plugin heard the settings applied, but not the about box, and still runs.
  const std::vector<std::string> running = Lines("server");
  EXPECT_TRUE(Holds(running, "SettingsChanged||"));
  EXPECT_FALSE(Holds(running, "ShowAbout||"));
  EXPECT_FALSE(Holds(running, "Terminate|server|"));
}

}  // namespace
}  // namespace velmorin
