// How the dialogs look: each settings page has an image of its own, and every dialog's OK and
// Cancel sit in one kind of button row.

#include <gtest/gtest.h>

#include <QDialogButtonBox>
#include <QPushButton>
#include <QTreeWidget>
#include <memory>
#include <vector>

#include "admin-gui/frmAddEditBanIP.hpp"
#include "admin-gui/frmAddEditChatroom.hpp"
#include "admin-gui/frmAddEditUser.hpp"
#include "admin-gui/frmAdjustToolbar.hpp"
#include "admin-gui/frmBanUser.hpp"
#include "admin-gui/frmCreateChat.hpp"
#include "admin-gui/frmLanguage.hpp"
#include "admin-gui/frmSendServerMsg.hpp"
#include "admin-gui/frmSettings.hpp"
#include "gui/DialogServer.hpp"

namespace velmorin {
namespace {

class DialogLook : public testing::DialogServer {
 protected:
  QWidget window;
};

QImage Image(const QIcon& icon) { return icon.pixmap(32, 32).toImage(); }

TEST_F(DialogLook, EverySettingsPageHasAnImageOfItsOwn) {
  frmSettings dialog(admin, language, &window);
  auto* tree = dialog.findChild<QTreeWidget*>("tvwSettings");
  ASSERT_NE(tree, nullptr);
  std::vector<QTreeWidgetItem*> pages;
  for (QTreeWidgetItemIterator it(tree); *it != nullptr; ++it) pages.push_back(*it);
  ASSERT_GE(pages.size(), 13u);
  for (std::size_t i = 0; i < pages.size(); ++i) {
    EXPECT_FALSE(pages[i]->icon(0).isNull()) << pages[i]->text(0).toStdString();
    for (std::size_t j = i + 1; j < pages.size(); ++j) {
      EXPECT_NE(Image(pages[i]->icon(0)), Image(pages[j]->icon(0)))
          << pages[i]->text(0).toStdString() << " and " << pages[j]->text(0).toStdString();
    }
  }
}

TEST_F(DialogLook, EveryDialogsOkAndCancelSitInAButtonBox) {
  std::vector<std::unique_ptr<QDialog>> dialogs;
  dialogs.push_back(std::make_unique<frmSettings>(admin, language, &window));
  dialogs.push_back(std::make_unique<frmLanguage>(dir.path("language"), "English.lng", &window));
  dialogs.push_back(std::make_unique<frmAdjustToolbar>([] {}, &window));
  dialogs.push_back(std::make_unique<frmBanUser>(admin, "Ann", "127.0.0.1"));
  dialogs.push_back(std::make_unique<frmSendServerMsg>(admin, frmSendServerMsg::Mode::AllUsers, ""));
  dialogs.push_back(std::make_unique<frmCreateChat>(admin));
  dialogs.push_back(std::make_unique<frmAddEditChatroom>(frmAddEditChatroom::Mode::AddSettings, nullptr));
  dialogs.push_back(std::make_unique<frmAddEditUser>(frmAddEditUser::Mode::Add, nullptr));
  dialogs.push_back(std::make_unique<frmAddEditBanIP>(nullptr));
  for (const auto& dialog : dialogs) {
    const std::string name = dialog->objectName().toStdString();
    auto* cancel = dialog->findChild<QPushButton*>("cmdCancel");
    ASSERT_NE(cancel, nullptr) << name;
    auto* box = qobject_cast<QDialogButtonBox*>(cancel->parentWidget());
    ASSERT_NE(box, nullptr) << name;
    EXPECT_EQ(box->buttonRole(cancel), QDialogButtonBox::RejectRole) << name;
    // The confirming button: OK, or Send and Create where the dialog does that.
    int defaults = 0;
    for (QAbstractButton* button : box->buttons()) {
      auto* push = qobject_cast<QPushButton*>(button);
      if (push != nullptr && push->isDefault()) {
        ++defaults;
        EXPECT_EQ(box->buttonRole(push), QDialogButtonBox::AcceptRole) << name;
      }
    }
    EXPECT_EQ(defaults, 1) << name;
  }
}

}  // namespace
}  // namespace velmorin
