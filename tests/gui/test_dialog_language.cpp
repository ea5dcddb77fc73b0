// Both shipped language files fit every administrator dialog and the splash: each key names a
// control and a text property it has, and every start-up step has its text.

#include <gtest/gtest.h>

#include <memory>

#include "admin-gui/AccountDialog.hpp"
#include "admin-gui/AddressListWindow.hpp"
#include "admin-gui/BanRuleDialog.hpp"
#include "admin-gui/BanUserDialog.hpp"
#include "admin-gui/CreateRoomDialog.hpp"
#include "admin-gui/RoomDialog.hpp"
#include "admin-gui/RoomListWindow.hpp"
#include "admin-gui/ServerMessageDialog.hpp"
#include "admin-gui/SplashWindow.hpp"
#include "admin-gui/UserListWindow.hpp"
#include "gui/DialogServer.hpp"

namespace velmorin {
namespace {

using DialogLanguage = testing::DialogServer;

TEST_F(DialogLanguage, TheShippedFilesFitEveryDialog) {
  for (const char* file : {"English.lng", "Deutsch.lng"}) {
    std::vector<std::unique_ptr<AdminDialog>> dialogs;
    dialogs.push_back(std::make_unique<UserListWindow>(admin));
    dialogs.push_back(std::make_unique<BanUserDialog>(admin, "Ann", "127.0.0.1"));
    dialogs.push_back(std::make_unique<ServerMessageDialog>(admin, ServerMessageDialog::Mode::AllUsers, ""));
    dialogs.push_back(std::make_unique<RoomListWindow>(admin));
    dialogs.push_back(std::make_unique<CreateRoomDialog>(admin));
    dialogs.push_back(std::make_unique<RoomDialog>(RoomDialog::Mode::AddSettings, nullptr));
    dialogs.push_back(std::make_unique<AccountDialog>(AccountDialog::Mode::Add, nullptr));
    dialogs.push_back(std::make_unique<BanRuleDialog>(nullptr));
    dialogs.push_back(std::make_unique<AddressListWindow>(admin));
    for (auto& dialog : dialogs) {
      const std::vector<std::string> refused = dialog->SetLanguage(dir.path("language/") + file);
      EXPECT_TRUE(refused.empty()) << file << " " << dialog->objectName().toStdString() << ": "
                                   << ::testing::PrintToString(refused);
      EXPECT_FALSE(dialog->windowTitle().isEmpty()) << file << " " << dialog->objectName().toStdString();
    }
  }
  for (const char* file : {"English.lng", "Deutsch.lng"}) {
    SplashWindow splash;
    const std::vector<std::string> refused = splash.SetLanguage(dir.path("language/") + file);
    EXPECT_TRUE(refused.empty()) << file << " frmLoading: " << ::testing::PrintToString(refused);
    LanguageFile texts;
    texts.SetLanguage("frmLoading", dir.path("language/") + file);
    for (const StartupStep step : {StartupStep::Window, StartupStep::Server, StartupStep::WindowState,
                                   StartupStep::Online, StartupStep::Ready}) {
      EXPECT_FALSE(texts.Data(StartupStepKey(step)).empty()) << file << " " << StartupStepKey(step);
    }
  }
  BanUserDialog ban(admin, "Ann", "127.0.0.1");
  ban.SetLanguage(dir.path("language/Deutsch.lng"));
  EXPECT_EQ(ban.BanNickRange().text(), "Alle Nicknames sperren, die Ann enthalten");
}

}  // namespace
}  // namespace velmorin
