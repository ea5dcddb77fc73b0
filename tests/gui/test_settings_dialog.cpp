// The settings dialog over a real server in this process, its loop driven by Qt's: OK stores and
// applies through the administration service, Standard and Cancel store nothing, a refused field
// is shown and stores nothing, the autostart entry follows its box, and the shipped language
// files fit the dialog's controls. What applying does inside the server is the administration
// tests' subject; here it is that the dialog's values reach it, converted.

#include <gtest/gtest.h>

#include <filesystem>

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QInputDialog>
#include <QLineEdit>
#include <QListWidget>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <chrono>
#include <cstdlib>
#include <future>
#include <optional>

#include "admin-gui/AutostartEntry.hpp"
#include "admin-gui/CoreLoopDriver.hpp"
#include "admin-gui/LanguageAtStart.hpp"
#include "admin-gui/LanguageDialog.hpp"
#include "admin-gui/MainWindow.hpp"
#include "admin-gui/SettingsDialog.hpp"
#include "admin/AdminService.hpp"
#include "config/Settings.hpp"
#include "config/WelcomeMessage.hpp"
#include "gui/BoxAnswerers.hpp"
#include "gui/WindowServer.hpp"
#include "i18n/LanguageFile.hpp"
#include "net/LingeringSockets.hpp"
#include "platform/EventLoop.hpp"
#include "server/ChatServer.hpp"
#include "support/ServerHarness.hpp"

namespace velmorin {
namespace {

using testing::kWait;

// XDG_CONFIG_HOME pointed into the test's directory while it lives.
class ConfigHome {
 public:
  explicit ConfigHome(const std::string& path) {
    if (const char* old = std::getenv("XDG_CONFIG_HOME")) old_ = old;
    ::setenv("XDG_CONFIG_HOME", path.c_str(), 1);
  }
  ~ConfigHome() {
    if (old_) {
      ::setenv("XDG_CONFIG_HOME", old_->c_str(), 1);
    } else {
      ::unsetenv("XDG_CONFIG_HOME");
    }
  }

 private:
  std::optional<std::string> old_;
};

class SettingsDialogTest : public testing::WindowServer {
 protected:
  void Prepare() override { settings.Set("General", "Port", std::to_string(port)); }

  template <typename Control>
  static Control* Find(QWidget& dialog, const char* name) {
    auto* control = dialog.findChild<Control*>(name);
    EXPECT_NE(control, nullptr) << name;
    return control;
  }

  static void Click(QWidget& dialog, const char* button) { Find<QPushButton>(dialog, button)->click(); }

  // Whether a client gets the welcome on that port while Qt's loop runs the server.
  bool Welcomed(std::uint16_t onPort) {
    auto welcome = std::async(std::launch::async, [onPort] {
      client::ChatClient client;
      return client.Connect("127.0.0.1", onPort, kWait) && client.ReceiveWelcome(kWait).has_value();
    });
    EXPECT_TRUE(QTest::qWaitFor([&] { return welcome.wait_for(std::chrono::seconds(0)) == std::future_status::ready; },
                                static_cast<int>(kWait.count()) * 2));
    return welcome.get();
  }
};

TEST_F(SettingsDialogTest, OkStoresConvertedValuesAndAppliesThemToTheRunningServer) {
  const std::uint16_t newPort = testing::FreeLoopbackPort();
  SettingsDialog dialog(admin, language, &window);
  dialog.show();
  Find<QLineEdit>(dialog, "txtPort")->setText(QString::number(newPort));
  Find<QLineEdit>(dialog, "txtPingTimeout")->setText("20");
  Find<QLineEdit>(dialog, "txtPingDelay")->setText("2");
  Find<QLineEdit>(dialog, "txtMaxUserCount")->setText("99999");
  Find<QLineEdit>(dialog, "txtMaxTextLength")->setText("0");
  Find<QPlainTextEdit>(dialog, "txtDescription")->setPlainText("first line\nsecond line");
  Find<QPlainTextEdit>(dialog, "txtWelcomeMessage")->setPlainText("Hello\nthere");
  Click(dialog, "cmdOK");

  EXPECT_EQ(dialog.result(), QDialog::Accepted);
  const GeneralSettings& general = ServerSettings.General;
  EXPECT_EQ(general.Port, newPort);
  EXPECT_EQ(general.PingTimeout, 20000);
  EXPECT_EQ(general.PingDelay, 120000);
  EXPECT_EQ(general.MaxUserCount, 32768);
  EXPECT_EQ(general.MaxTextLength, 256);
  EXPECT_EQ(general.Description, "first line<br>second line");
  EXPECT_EQ(WelcomeText, "Hello\r\nthere");
  EXPECT_NE(dir.read("config/server.cfg").find("Port=" + std::to_string(newPort)), std::string::npos);
  EXPECT_NE(dir.read("config/welcome.msg").find("Hello"), std::string::npos);
  // Applied: the listener moved to the new port, and the server still serves there.
  EXPECT_EQ(general.ActivePort, newPort);
  EXPECT_TRUE(server.IsOnline());
  EXPECT_TRUE(Welcomed(newPort));
}

TEST_F(SettingsDialogTest, OkKeepsAChangeMadeElsewhereWhileTheDialogWasOpen) {
  SettingsDialog dialog(admin, language, &window);
  dialog.show();
  // While the dialog is open, another administrator stores a setting as velmorin-ctl does.
  SettingsForm elsewhere = admin.Settings().Read();
  ASSERT_TRUE(admin.Settings().Set(elsewhere, "General.MaxUserCount", "2").ok());
  ASSERT_TRUE(admin.Settings().Confirm(elsewhere).ok());
  Find<QLineEdit>(dialog, "txtAdministratorName")->setText("Dialog");
  Click(dialog, "cmdOK");

  EXPECT_EQ(dialog.result(), QDialog::Accepted);
  EXPECT_EQ(ServerSettings.General.MaxUserCount, 2);
  EXPECT_EQ(ServerSettings.General.AdministratorName, "Dialog");
  const std::string stored = dir.read("config/server.cfg");
  EXPECT_NE(stored.find("MaxUserCount=2"), std::string::npos) << stored;
  EXPECT_NE(stored.find("AdministratorName=Dialog"), std::string::npos) << stored;
}

TEST_F(SettingsDialogTest, OkAfterAHandEditOfTheSettingsFileIsRefusedWithANotice) {
  SettingsDialog dialog(admin, language, &window);
  dialog.show();
  std::string handEdited = dir.read("config/server.cfg");
  const std::size_t general = handEdited.find("[General]");
  ASSERT_NE(general, std::string::npos) << handEdited;
  handEdited.insert(handEdited.find('\n', general) + 1, "AdministratorName=Hand\r\n");
  dir.write("config/server.cfg", handEdited);
  Find<QLineEdit>(dialog, "txtMaxUserCount")->setText("7");
  testing::BoxAnswerer ok(QMessageBox::Ok);
  Click(dialog, "cmdOK");
  ASSERT_TRUE(ok.text.has_value());
  EXPECT_NE(ok.text->find("server.cfg"), std::string::npos) << *ok.text;
  EXPECT_NE(ok.text->find("Read it again first"), std::string::npos) << *ok.text;
  EXPECT_TRUE(dialog.isVisible());
  EXPECT_EQ(dir.read("config/server.cfg"), handEdited);
  EXPECT_NE(ServerSettings.General.MaxUserCount, 7);
  Click(dialog, "cmdCancel");
}

TEST_F(SettingsDialogTest, TheMenuEntryOpensTheDialogAndTheWindowFollowsItsToolbarChoice) {
  ASSERT_FALSE(window.Toolbar().isHidden());
  QTimer poll;
  bool seen = false;
  QObject::connect(&poll, &QTimer::timeout, [&] {
    auto* dialog = qobject_cast<SettingsDialog*>(QApplication::activeModalWidget());
    if (dialog == nullptr) return;
    poll.stop();
    seen = true;
    Find<QCheckBox>(*dialog, "chkShowToolbar")->setChecked(false);
    Click(*dialog, "cmdOK");
  });
  poll.start(10);
  window.Action("mnuSettings")->trigger();
  EXPECT_TRUE(seen);
  EXPECT_EQ(ServerSettings.General.ToolbarHeight, 0);
  EXPECT_TRUE(window.Toolbar().isHidden());
}

TEST_F(SettingsDialogTest, StandardFillsTheStandardValuesAndCancelStoresNothing) {
  const std::string storedSettings = dir.read("config/server.cfg");
  const std::string storedWelcome = WelcomeText;
  const ServerSettingsRecord before = ServerSettings;
  SettingsDialog dialog(admin, language, &window);
  dialog.show();
  QLineEdit* portField = Find<QLineEdit>(dialog, "txtPort");
  portField->setText("4321");
  {
    testing::BoxAnswerer no(QMessageBox::No);
    Click(dialog, "cmdStandard");
    EXPECT_TRUE(no.text.has_value());
  }
  EXPECT_EQ(portField->text(), "4321");
  {
    testing::BoxAnswerer yes(QMessageBox::Yes);
    Click(dialog, "cmdStandard");
    ASSERT_TRUE(yes.text.has_value());
    EXPECT_NE(yes.text->find("standard values"), std::string::npos) << *yes.text;
  }
  EXPECT_EQ(portField->text(), "1000");
  EXPECT_EQ(Find<QLineEdit>(dialog, "txtPingTimeout")->text(), "15");
  EXPECT_EQ(Find<QLineEdit>(dialog, "txtPingDelay")->text(), "5");
  EXPECT_TRUE(Find<QPlainTextEdit>(dialog, "txtWelcomeMessage")->toPlainText().startsWith("Welcome to"));
  // Standard changed only the pages.
  EXPECT_EQ(ServerSettings.General.Port, before.General.Port);
  EXPECT_EQ(dir.read("config/server.cfg"), storedSettings);

  Click(dialog, "cmdCancel");
  EXPECT_EQ(dialog.result(), QDialog::Rejected);
  EXPECT_EQ(ServerSettings.General.Port, before.General.Port);
  EXPECT_EQ(ServerSettings.General.PingDelay, before.General.PingDelay);
  EXPECT_EQ(ServerSettings.General.ActivePort, port);
  EXPECT_EQ(WelcomeText, storedWelcome);
  EXPECT_EQ(dir.read("config/server.cfg"), storedSettings);
  EXPECT_TRUE(Welcomed(port));
}

TEST_F(SettingsDialogTest, ARefusedFieldIsShownAndNothingIsStored) {
  const struct {
    const char* field;
    const char* text;
    const char* key;  // named in the notice (a key, or a character the server cannot store)
  } cases[] = {
      {"txtLogPath", "relative/logs", "Logging.LogPath"},
      {"txtAdministratorName", "tab\there", "General.AdministratorName"},
      {"txtAdministratorName", "\xCE\xA9mega", "U+03A9"},  // Windows-1252 has no Omega: it would be stored as '?'
  };
  const std::string storedSettings = dir.read("config/server.cfg");
  for (const auto& refused : cases) {
    SCOPED_TRACE(refused.field);
    SettingsDialog dialog(admin, language, &window);
    dialog.show();
    Find<QLineEdit>(dialog, "txtPort")->setText(QString::number(testing::FreeLoopbackPort()));
    Find<QLineEdit>(dialog, refused.field)->setText(refused.text);
    testing::BoxAnswerer ok(QMessageBox::Ok);
    Click(dialog, "cmdOK");
    ASSERT_TRUE(ok.text.has_value());
    EXPECT_NE(ok.text->find(refused.key), std::string::npos) << *ok.text;
    EXPECT_TRUE(dialog.isVisible());
    EXPECT_EQ(ServerSettings.General.Port, port);
    EXPECT_EQ(ServerSettings.General.ActivePort, port);
    EXPECT_EQ(dir.read("config/server.cfg"), storedSettings);
    Click(dialog, "cmdCancel");
  }
}

// Enters `text` in the next input box.
class InputAnswerer {
 public:
  explicit InputAnswerer(QString text) {
    QObject::connect(&poll_, &QTimer::timeout, [this, text] {
      auto* box = qobject_cast<QInputDialog*>(QApplication::activeModalWidget());
      if (box == nullptr) return;
      poll_.stop();
      asked = true;
      box->setTextValue(text);
      box->accept();
    });
    poll_.start(10);
  }
  bool asked = false;

 private:
  QTimer poll_;
};

TEST_F(SettingsDialogTest, ListChangesWaitForOkAndADuplicateNicknameBanIsRefused) {
  const auto bannedNicknames = [this] {
    std::vector<std::string> names;
    for (const NicknameBan& ban : admin.Bans().List().nicknames) names.push_back(ban.nickname);
    return names;
  };
  ASSERT_TRUE(admin.Bans().AddNickname("mallory", false).ok());
  {
    SettingsDialog dialog(admin, language, &window);
    dialog.show();
    InputAnswerer eve("eve");
    Click(dialog, "cmdAddBanNick");
    EXPECT_TRUE(eve.asked);
    EXPECT_EQ(Find<QListWidget>(dialog, "lstBanNick")->count(), 2);
    Click(dialog, "cmdCancel");
  }
  EXPECT_EQ(bannedNicknames(), std::vector<std::string>{"mallory"});
  {
    SettingsDialog dialog(admin, language, &window);
    dialog.show();
    {
      InputAnswerer again("MALLORY");
      testing::BoxAnswerer notice(QMessageBox::Ok);
      Click(dialog, "cmdAddBanNick");
      ASSERT_TRUE(notice.text.has_value());
      EXPECT_EQ(*notice.text, "This nickname is already banned.");
    }
    InputAnswerer eve("eve");
    Click(dialog, "cmdAddBanNick");
    QListWidget* list = Find<QListWidget>(dialog, "lstBanNick");
    list->setCurrentRow(0);  // mallory
    {
      testing::BoxAnswerer yes(QMessageBox::Yes);
      Click(dialog, "cmdRemoveBanNick");
      EXPECT_TRUE(yes.text.has_value());
    }
    EXPECT_EQ(bannedNicknames(), std::vector<std::string>{"mallory"});
    Click(dialog, "cmdOK");
    EXPECT_EQ(dialog.result(), QDialog::Accepted);
  }
  EXPECT_EQ(bannedNicknames(), std::vector<std::string>{"eve"});
}

TEST_F(SettingsDialogTest, AutostartEntryIsWrittenAndRemovedByOk) {
  ConfigHome home(dir.path("xdg"));
  ASSERT_EQ(AutostartEntryPath(), dir.path("xdg/autostart/velmorin-server.desktop"));
  ASSERT_FALSE(AutostartEnabled());
  {
    SettingsDialog dialog(admin, language, &window);
    QCheckBox* box = Find<QCheckBox>(dialog, "chkAutostart");
    EXPECT_FALSE(box->isChecked());
    box->setChecked(true);
    Click(dialog, "cmdOK");
    EXPECT_EQ(dialog.result(), QDialog::Accepted);
  }
  ASSERT_TRUE(AutostartEnabled());
  const std::string entry = dir.read("xdg/autostart/velmorin-server.desktop");
  EXPECT_NE(entry.find("[Desktop Entry]\n"), std::string::npos);
  EXPECT_NE(entry.find("Exec=\"" + QCoreApplication::applicationFilePath().toStdString() + "\"\n"), std::string::npos)
      << entry;
  {
    SettingsDialog dialog(admin, language, &window);
    QCheckBox* box = Find<QCheckBox>(dialog, "chkAutostart");
    EXPECT_TRUE(box->isChecked());
    box->setChecked(false);
    Click(dialog, "cmdCancel");
  }
  EXPECT_TRUE(AutostartEnabled());  // Cancel leaves it
  {
    SettingsDialog dialog(admin, language, &window);
    Find<QCheckBox>(dialog, "chkAutostart")->setChecked(false);
    Click(dialog, "cmdOK");
  }
  EXPECT_FALSE(AutostartEnabled());
}

TEST(AutostartEntry, RefusesPathsTheEntryCannotHoldAndQuotesTheRest) {
  testing::TempProgramDir dir;
  ConfigHome home(dir.path("xdg"));
  EXPECT_EQ(WriteAutostartEntry("relative/velmorin-server"), EINVAL);
  EXPECT_EQ(WriteAutostartEntry("/opt/velmorin\n[Desktop Entry]\nExec=/bin/evil"), EINVAL);
  EXPECT_FALSE(AutostartEnabled());
  ASSERT_EQ(WriteAutostartEntry("/opt/my \"server\"/$HOME/velmorin 100%"), 0);
  EXPECT_NE(dir.read("xdg/autostart/velmorin-server.desktop")
                .find("Exec=\"/opt/my \\\\\"server\\\\\"/\\\\$HOME/velmorin 100%%\"\n"),
            std::string::npos)
      << dir.read("xdg/autostart/velmorin-server.desktop");
  EXPECT_EQ(RemoveAutostartEntry(), 0);
  EXPECT_EQ(RemoveAutostartEntry(), 0);
  EXPECT_FALSE(AutostartEnabled());
}

TEST_F(SettingsDialogTest, ShippedLanguagesFitEveryControlAndPagesAreThere) {
  for (const char* file : {"English.lng", "Deutsch.lng"}) {
    SCOPED_TRACE(file);
    const std::string path = dir.path("language/") + file;
    SettingsDialog dialog(admin, path, &window);
    std::string refused;
    for (const std::string& key : dialog.LanguageRefusals()) refused += key + "\n";
    EXPECT_TRUE(dialog.LanguageRefusals().empty()) << refused;
    for (const char* page : {"Start", "General", "Users", "Ban", "Chatrooms", "Log", "LogPattern", "Logging",
                             "Encryption", "WelcomeMessage", "Icons", "Plugins", "Language"}) {
      EXPECT_TRUE(dialog.ShowPage(page)) << page;
    }
    dialog.AddPluginPage("Weather");
    EXPECT_TRUE(dialog.ShowPage("Plugin:Weather"));

    LanguageDialog chooser(dir.path("language"), "Deutsch.lng");
    EXPECT_TRUE(chooser.SetLanguage(path).empty());
    EXPECT_EQ(chooser.Chosen(), "Deutsch.lng");
    EXPECT_EQ(chooser.Files(), (std::vector<std::string>{"Deutsch.lng", "English.lng"}));
  }
}

// The first start in desktop mode asks; a usable configured language is kept without a question,
// and a single language file leaves nothing to choose.
TEST(LanguageAtStart, AsksOnlyWithoutAUsableConfiguredLanguage) {
  testing::TempProgramDir dir;
  testing::CopyLanguageFiles(dir.path("language"));
  for (const char* configured : {"", "Missing.lng", "Deutsch.lng"}) {
    SCOPED_TRACE(configured);
    dir.write("config/server.cfg", testing::SettingsText{{{"Info", {{"Language", configured}}}}}.Text());
    ASSERT_EQ(LoadSettings(), 0);
    EXPECT_EQ(LanguageQuestionDue(), std::string(configured) != "Deutsch.lng");
  }
  dir.write("config/server.cfg", testing::SettingsText{{{"Info", {{"Language", ""}}}}}.Text());
  ASSERT_EQ(LoadSettings(), 0);
  std::filesystem::remove(dir.path("language/Deutsch.lng"));
  EXPECT_FALSE(LanguageQuestionDue());
}

}  // namespace
}  // namespace velmorin
