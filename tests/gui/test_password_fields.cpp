// The account and room editors never show a password in clear: their password fields echo dots,
// while names and descriptions stay readable.

#include <gtest/gtest.h>

#include <QLineEdit>
#include <memory>

#include "admin-gui/AccountDialog.hpp"
#include "admin-gui/CreateRoomDialog.hpp"
#include "admin-gui/RoomDialog.hpp"
#include "gui/DialogServer.hpp"

namespace velmorin {
namespace {

using PasswordFields = testing::DialogServer;

TEST_F(PasswordFields, EveryEditorWithAPasswordEchoesItAsDots) {
  std::vector<std::unique_ptr<AdminDialog>> dialogs;
  dialogs.push_back(std::make_unique<AccountDialog>(AccountDialog::Mode::Add, nullptr));
  dialogs.push_back(std::make_unique<AccountDialog>(AccountDialog::Mode::Edit, nullptr));
  dialogs.push_back(std::make_unique<RoomDialog>(RoomDialog::Mode::AddSettings, nullptr));
  dialogs.push_back(std::make_unique<CreateRoomDialog>(admin));
  for (auto& dialog : dialogs) {
    SCOPED_TRACE(dialog->objectName().toStdString());
    dialog->SetLanguage(language);
    const auto* password = dialog->findChild<QLineEdit*>("txtPassword");
    ASSERT_NE(password, nullptr);
    EXPECT_EQ(password->echoMode(), QLineEdit::Password);
    const auto* name = dialog->findChild<QLineEdit*>("txtName");
    ASSERT_NE(name, nullptr);
    EXPECT_EQ(name->echoMode(), QLineEdit::Normal);
  }
}

}  // namespace
}  // namespace velmorin
