// How the dialogs look, in both shipped languages: each settings page has an image of its own,
// every dialog's OK and Cancel sit in one kind of button row, and texts show whole (the
// encryption plugin's entry, the nickname-ban box).

#include <gtest/gtest.h>

#include <QDialogButtonBox>
#include <QInputDialog>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QTreeWidget>
#include <memory>
#include <vector>

#include "admin-gui/AccountDialog.hpp"
#include "admin-gui/BanRuleDialog.hpp"
#include "admin-gui/BanUserDialog.hpp"
#include "admin-gui/CreateRoomDialog.hpp"
#include "admin-gui/LanguageDialog.hpp"
#include "admin-gui/RoomDialog.hpp"
#include "admin-gui/ServerMessageDialog.hpp"
#include "admin-gui/SettingsDialog.hpp"
#include "admin-gui/ToolbarDialog.hpp"
#include "config/TextFilters.hpp"
#include "gui/DialogServer.hpp"

namespace velmorin {
namespace {

using testing::OnModal;

class DialogLook : public testing::DialogServer {
 protected:
  void SetUp() override {
    // The shipped encryption plugin, whose name is long.
    dir.installPlugin(std::string(VELMORIN_SHIPPED_PLUGIN_DIR) + "/sealed_channel.so", "sealed_channel");
    DialogServer::SetUp();
  }

  QWidget window;
};

QImage Image(const QIcon& icon) { return icon.pixmap(32, 32).toImage(); }

TEST_F(DialogLook, EverySettingsPageHasAnImageOfItsOwn) {
  SettingsDialog dialog(admin, language, &window);
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
  dialogs.push_back(std::make_unique<SettingsDialog>(admin, language, &window));
  dialogs.push_back(std::make_unique<LanguageDialog>(dir.path("language"), "English.lng", &window));
  dialogs.push_back(std::make_unique<ToolbarDialog>([] {}, &window));
  dialogs.push_back(std::make_unique<BanUserDialog>(admin, "Ann", "127.0.0.1"));
  dialogs.push_back(std::make_unique<ServerMessageDialog>(admin, ServerMessageDialog::Mode::AllUsers, ""));
  dialogs.push_back(std::make_unique<CreateRoomDialog>(admin));
  dialogs.push_back(std::make_unique<RoomDialog>(RoomDialog::Mode::AddSettings, nullptr));
  dialogs.push_back(std::make_unique<AccountDialog>(AccountDialog::Mode::Add, nullptr));
  dialogs.push_back(std::make_unique<BanRuleDialog>(nullptr));
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

TEST_F(DialogLook, TheEncryptionEntryAndTheNicknameBanBoxShowWholeInBothLanguages) {
  for (const char* file : {"English.lng", "Deutsch.lng"}) {
    SCOPED_TRACE(file);
    SettingsDialog dialog(admin, dir.path("language/") + file, &window);
    dialog.show();
    ASSERT_TRUE(dialog.ShowPage("Encryption"));
    auto* list = dialog.findChild<QListWidget*>("lstEncryptionPlugins");
    ASSERT_NE(list, nullptr);
    ASSERT_EQ(list->count(), 1);
    const QRect shown = list->visualItemRect(list->item(0));
    const QRect needed = list->fontMetrics().boundingRect(shown, Qt::TextWordWrap, list->item(0)->text());
    EXPECT_LE(needed.height(), shown.height()) << list->item(0)->text().toStdString();
    EXPECT_LE(needed.width(), shown.width()) << list->item(0)->text().toStdString();
    EXPECT_LE(shown.right(), list->viewport()->width()) << list->item(0)->text().toStdString();

    ASSERT_TRUE(dialog.ShowPage("Ban"));
    QSize size;
    QSize hint;
    int labelNeeds = 0;
    int titleNeeds = 0;
    int field = 0;
    int nicknameNeeds = 0;
    OnModal<QInputDialog> box([&](QInputDialog& input) {
      size = input.size();
      hint = input.layout()->totalSizeHint();
      const auto* label = input.findChild<QLabel*>();
      labelNeeds = label->fontMetrics().horizontalAdvance(label->text());
      titleNeeds = input.fontMetrics().horizontalAdvance(input.windowTitle());
      const auto* edit = input.findChild<QLineEdit*>();
      field = edit->width();
      nicknameNeeds = edit->fontMetrics().averageCharWidth() * static_cast<int>(kMaxNicknameLength);
      input.reject();
    });
    dialog.findChild<QPushButton*>("cmdAddBanNick")->click();
    ASSERT_TRUE(box.ran);
    EXPECT_GE(size.width(), hint.width());
    EXPECT_GE(size.height(), hint.height());
    EXPECT_GT(size.width(), labelNeeds);
    EXPECT_GT(size.width(), titleNeeds);
    EXPECT_GE(field, nicknameNeeds);  // room for the longest nickname
  }
}

}  // namespace
}  // namespace velmorin
