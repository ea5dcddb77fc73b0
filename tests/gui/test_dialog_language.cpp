// Both shipped language files fit every administrator dialog and the splash: each key names a
// control and a text property it has, and every start-up step has its text.

#include <gtest/gtest.h>

#include <memory>

#include "admin-gui/frmAddEditBanIP.hpp"
#include "admin-gui/frmAddEditChatroom.hpp"
#include "admin-gui/frmAddEditUser.hpp"
#include "admin-gui/frmBanUser.hpp"
#include "admin-gui/frmChatroomInfos.hpp"
#include "admin-gui/frmCreateChat.hpp"
#include "admin-gui/frmLoading.hpp"
#include "admin-gui/frmSendServerMsg.hpp"
#include "admin-gui/frmShowIPs.hpp"
#include "admin-gui/frmUserInfos.hpp"
#include "gui/DialogServer.hpp"

namespace velmorin {
namespace {

using DialogLanguage = testing::DialogServer;

TEST_F(DialogLanguage, TheShippedFilesFitEveryDialog) {
  for (const char* file : {"English.lng", "Deutsch.lng"}) {
    std::vector<std::unique_ptr<AdminDialog>> dialogs;
    dialogs.push_back(std::make_unique<frmUserInfos>(admin));
    dialogs.push_back(std::make_unique<frmBanUser>(admin, "Ann", "127.0.0.1"));
    dialogs.push_back(std::make_unique<frmSendServerMsg>(admin, frmSendServerMsg::Mode::AllUsers, ""));
    dialogs.push_back(std::make_unique<frmChatroomInfos>(admin));
    dialogs.push_back(std::make_unique<frmCreateChat>(admin));
    dialogs.push_back(std::make_unique<frmAddEditChatroom>(frmAddEditChatroom::Mode::AddSettings, nullptr));
    dialogs.push_back(std::make_unique<frmAddEditUser>(frmAddEditUser::Mode::Add, nullptr));
    dialogs.push_back(std::make_unique<frmAddEditBanIP>(nullptr));
    dialogs.push_back(std::make_unique<frmShowIPs>(admin));
    for (auto& dialog : dialogs) {
      const std::vector<std::string> refused = dialog->SetLanguage(dir.path("language/") + file);
      EXPECT_TRUE(refused.empty()) << file << " " << dialog->objectName().toStdString() << ": "
                                   << ::testing::PrintToString(refused);
      EXPECT_FALSE(dialog->windowTitle().isEmpty()) << file << " " << dialog->objectName().toStdString();
    }
  }
  for (const char* file : {"English.lng", "Deutsch.lng"}) {
    frmLoading splash;
    const std::vector<std::string> refused = splash.SetLanguage(dir.path("language/") + file);
    EXPECT_TRUE(refused.empty()) << file << " frmLoading: " << ::testing::PrintToString(refused);
    clsLanguage texts;
    texts.SetLanguage("frmLoading", dir.path("language/") + file);
    for (const StartupStep step : {StartupStep::Window, StartupStep::Server, StartupStep::WindowState,
                                   StartupStep::Online, StartupStep::Ready}) {
      EXPECT_FALSE(texts.data(StartupStepKey(step)).empty()) << file << " " << StartupStepKey(step);
    }
  }
  frmBanUser ban(admin, "Ann", "127.0.0.1");
  ban.SetLanguage(dir.path("language/Deutsch.lng"));
  EXPECT_EQ(ban.BanNickRange().text(), "Alle Nicknames sperren, die Ann enthalten");
}

}  // namespace
}  // namespace velmorin
