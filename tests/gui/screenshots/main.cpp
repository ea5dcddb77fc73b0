// velmorin-screenshots: opens every window of the desktop mode in turn over a running server
// with two users logged in, and saves each as a PNG, for a look at layouts and translations.
//
//   velmorin-screenshots <output directory> <language>    language: English, Deutsch, ...
//
// Writes <output directory>/<window>.png; exits 1 when a window could not be shot, 2 on bad
// arguments or when the scene could not be set up, 3 when the whole run took too long.

#include <QApplication>
#include <QMenuBar>
#include <QPushButton>
#include <QStackedWidget>
#include <QTimer>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <iostream>
#include <memory>
#include <string>

#include "admin-gui/AccountDialog.hpp"
#include "admin-gui/AddressListWindow.hpp"
#include "admin-gui/BanRuleDialog.hpp"
#include "admin-gui/BanUserDialog.hpp"
#include "admin-gui/CreateRoomDialog.hpp"
#include "admin-gui/LanguageDialog.hpp"
#include "admin-gui/RoomDialog.hpp"
#include "admin-gui/RoomListWindow.hpp"
#include "admin-gui/ServerInfoWindow.hpp"
#include "admin-gui/ServerMessageDialog.hpp"
#include "admin-gui/SettingsDialog.hpp"
#include "admin-gui/SplashWindow.hpp"
#include "admin-gui/SystemInfoWindow.hpp"
#include "admin-gui/ToolbarDialog.hpp"
#include "admin-gui/TrayIcon.hpp"
#include "admin-gui/UserListWindow.hpp"
#include "config/Settings.hpp"
#include "platform/ProgramPaths.hpp"
#include "screenshots/Camera.hpp"
#include "screenshots/ShotServer.hpp"

namespace velmorin::screenshots {
namespace {

// The bound of the whole run; a stuck window ends the process instead of hanging the script.
constexpr int kRunLimitMs = 180000;

void ShootMainWindow(Camera& camera, MainWindow& window) {
  camera.Shoot(window, "frmServer");
  for (const char* name : {"mnuServer", "mnuLog", "mnuView", "mnuExtras", "mnuPlugins", "mnuHelp"}) {
    auto* menu = window.menuBar()->findChild<QMenu*>(name);
    const QRect title = window.menuBar()->actionGeometry(menu->menuAction());
    camera.ShootMenu(*menu, window.menuBar()->mapToGlobal(title.bottomLeft()), std::string("frmServer-") + name);
  }
  camera.ShootMenu(window.Tray().Menu(), window.mapToGlobal(QPoint(40, 40)), "ctlTray-menu");
}

// The windows the main window's own actions open, without blocking it.
void ShootMenuWindows(Camera& camera, MainWindow& window) {
  const std::pair<const char*, const char*> windows[] = {
      {"mnuUserInfos", "frmUserInfos"}, {"mnuChatroomInfos", "frmChatroomInfos"},
      {"mnuShowIPs", "frmShowIPs"},     {"mnuServerInfos", "frmServerInfos"},
      {"mnuSystemInfos", "frmSystemInfos"}, {"mnuAdjustToolbar", "frmAdjustToolbar"},
  };
  for (const auto& [action, name] : windows) {
    window.Action(action)->trigger();
    auto* opened = window.findChild<QDialog*>(name, Qt::FindDirectChildrenOnly);
    if (opened == nullptr) {
      std::cerr << action << " opened no " << name << "\n";
      continue;
    }
    if (std::string(name) == "frmUserInfos") static_cast<UserListWindow*>(opened)->Select("Ann");
    if (std::string(name) == "frmChatroomInfos") static_cast<RoomListWindow*>(opened)->Select("Garden");
    camera.Shoot(*opened, name);
    opened->close();
  }
}

void ShootSettings(Camera& camera, ShotServer& scene) {
  SettingsDialog settings(scene.admin, scene.LanguageFilePath(), &scene.window);
  auto* pages = settings.findChild<QStackedWidget*>();
  for (int i = 0; i < pages->count(); ++i) {
    const std::string key = pages->widget(i)->objectName().mid(3).toStdString();  // "fra<key>"
    settings.ShowPage(key);
    camera.Shoot(settings, "frmSettings-" + key);
  }
  // The nickname-ban editor is a question box the Ban page opens.
  settings.ShowPage("Ban");
  if (auto* add = settings.findChild<QPushButton*>("cmdAddBanNick")) {
    camera.ShootModal("frmSettings-BanNickAdd", [add] { add->click(); });
  }
  settings.close();
}

// Shows a dialog of the window's language over the main window and grabs it.
template <typename Dialog, typename... Args>
void ShootDialog(Camera& camera, ShotServer& scene, const std::string& name, Args&&... args) {
  Dialog dialog(std::forward<Args>(args)..., &scene.window);
  dialog.SetLanguage(scene.LanguageFilePath());
  camera.Shoot(dialog, name);
  dialog.close();
}

void ShootDialogs(Camera& camera, ShotServer& scene) {
  AdminService& admin = scene.admin;
  ShootDialog<BanUserDialog>(camera, scene, "frmBanUser", admin, "Ann", "127.0.0.1");
  ShootDialog<ServerMessageDialog>(camera, scene, "frmSendServerMsg-User", admin, ServerMessageDialog::Mode::User, "Ann");
  ShootDialog<ServerMessageDialog>(camera, scene, "frmSendServerMsg-Chatroom", admin, ServerMessageDialog::Mode::Chatroom,
                                "Garden");
  ShootDialog<ServerMessageDialog>(camera, scene, "frmSendServerMsg-AllUsers", admin, ServerMessageDialog::Mode::AllUsers,
                                "");
  ShootDialog<CreateRoomDialog>(camera, scene, "frmCreateChat", admin);

  const auto done = [](const auto&) { return AdminResult::Done(); };
  const std::pair<RoomDialog::Mode, const char*> roomModes[] = {
      {RoomDialog::Mode::AddSettings, "frmAddEditChatroom-Add"},
      {RoomDialog::Mode::EditSettings, "frmAddEditChatroom-Edit"},
      {RoomDialog::Mode::EditLive, "frmAddEditChatroom-EditLive"},
  };
  for (const auto& [mode, name] : roomModes) {
    RoomDialog room(mode, done, &scene.window);
    room.SetLanguage(scene.LanguageFilePath());
    if (mode != RoomDialog::Mode::AddSettings) room.SetEntry({"Garden", "Green and quiet", "", false});
    camera.Shoot(room, name);
  }
  for (const auto mode : {AccountDialog::Mode::Add, AccountDialog::Mode::Edit}) {
    AccountDialog user(mode, done, &scene.window);
    user.SetLanguage(scene.LanguageFilePath());
    if (mode == AccountDialog::Mode::Edit) user.SetEntry({"Ann", "", "Moderator of the garden"});
    camera.Shoot(user, mode == AccountDialog::Mode::Add ? "frmAddEditUser-Add" : "frmAddEditUser-Edit");
  }
  for (const bool range : {false, true}) {
    BanRuleDialog ban(done, &scene.window);
    ban.SetLanguage(scene.LanguageFilePath());
    ban.SetEntry(range ? "10.0.0.1-10.0.0.20" : "192.168.1.*");
    camera.Shoot(ban, range ? "frmAddEditBanIP-Range" : "frmAddEditBanIP-Single");
  }

  LanguageDialog language(Paths().languageDirectory, ServerSettings.Info.Language, &scene.window);
  language.SetLanguage(scene.LanguageFilePath());
  camera.Shoot(language, "frmLanguage");
  language.close();

  SplashWindow splash;
  splash.SetLanguage(scene.LanguageFilePath());
  splash.ShowStep(StartupStep::Online);
  camera.Shoot(splash, "frmLoading");
  splash.close();

  camera.ShootModal("About", [&] { scene.window.Action("mnuAbout")->trigger(); });
}

int Run(const std::string& directory, const std::string& languageName) {
  ShotServer scene(languageName + ".lng");
  if (!scene.Online()) {
    std::cerr << "the server did not go online\n";
    return 2;
  }
  for (const auto& [nickname, room] : {std::pair{"Ann", "Garden"}, std::pair{"Bert", "Lobby"}}) {
    if (!scene.LogIn(nickname, room)) {
      std::cerr << nickname << " could not log in\n";
      return 2;
    }
  }
  Camera camera(directory);
  ShootMainWindow(camera, scene.window);
  ShootMenuWindows(camera, scene.window);
  ShootSettings(camera, scene);
  ShootDialogs(camera, scene);
  for (const std::string& name : camera.Failures()) std::cerr << "not shot: " << name << "\n";
  std::cout << camera.Written() << " screenshots in " << directory << "\n";
  return camera.Failures().empty() ? 0 : 1;
}

}  // namespace
}  // namespace velmorin::screenshots

int main(int argc, char** argv) {
  if (argc != 3) {
    std::cerr << "usage: " << argv[0] << " <output directory> <language, e.g. English or Deutsch>\n";
    return 2;
  }
  const std::string directory = argv[1];
  const std::string language = argv[2];
  if (!std::filesystem::exists(std::string(VELMORIN_SOURCE_DIR) + "/language/" + language + ".lng")) {
    std::cerr << "no language file " << language << ".lng\n";
    return 2;
  }
  std::error_code error;
  std::filesystem::create_directories(directory, error);
  if (error) {
    std::cerr << "cannot create " << directory << ": " << error.message() << "\n";
    return 2;
  }
  QApplication application(argc, argv);
  QApplication::setApplicationName("Velmorin Server");
  QTimer::singleShot(velmorin::screenshots::kRunLimitMs, [] {
    std::cerr << "screenshots: no end after " << velmorin::screenshots::kRunLimitMs / 1000 << " s, giving up\n";
    std::fflush(stderr);
    std::_Exit(3);
  });
  return velmorin::screenshots::Run(std::filesystem::absolute(directory).string(), language);
}
