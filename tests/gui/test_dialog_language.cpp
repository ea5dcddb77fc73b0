// Both shipped language files fit every administrator dialog: each key names a control and a
// text property it has.

#include <gtest/gtest.h>

#include <memory>

#include "admin-gui/frmAddEditBanIP.hpp"
#include "admin-gui/frmAddEditChatroom.hpp"
#include "admin-gui/frmAddEditUser.hpp"
#include "admin-gui/frmBanUser.hpp"
#include "admin-gui/frmChatroomInfos.hpp"
#include "admin-gui/frmCreateChat.hpp"
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
  frmBanUser ban(admin, "Ann", "127.0.0.1");
  ban.SetLanguage(dir.path("language/Deutsch.lng"));
  EXPECT_EQ(ban.BanNickRange().text(), "Alle Nicknames sperren, die Ann enthalten");
}

}  // namespace
}  // namespace velmorin
