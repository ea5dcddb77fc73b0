// The settings dialog's account, address-ban and chatroom lists with their editors, over a real
// server in this process: an entry added or edited in an editor shows in the list at once and
// reaches the administration only on OK; Cancel stores nothing; a name or rule the list holds
// already is refused with the editor's notice while the editor stays open; keys released in the
// account and chatroom lists reach a real plugin as "ShortcutPressed".

#include <gtest/gtest.h>

#include <QComboBox>
#include <QKeyEvent>
#include <QListWidget>
#include <QPushButton>
#include <QTest>
#include <functional>

#include "admin-gui/AccountDialog.hpp"
#include "admin-gui/BanRuleDialog.hpp"
#include "admin-gui/GuiText.hpp"
#include "admin-gui/RoomDialog.hpp"
#include "admin-gui/SettingsDialog.hpp"
#include "gui/DialogServer.hpp"
#include "platform/Text.hpp"

namespace velmorin {
namespace {

using testing::ModalAnswerer;
using testing::OnModal;

class SettingsLists : public testing::DialogServer {
 protected:
  template <typename Control>
  static Control& Find(QWidget& parent, const char* name) {
    auto* control = parent.findChild<Control*>(name);
    if (control == nullptr) ADD_FAILURE() << name;
    return *control;
  }
  static void Click(QWidget& parent, const char* name) { Find<QPushButton>(parent, name).click(); }

  // Clicks `button` of the dialog and runs `fill` on the editor of type Editor it opens.
  template <typename Editor>
  static void InEditor(SettingsDialog& dialog, const char* button, std::function<void(Editor&)> fill) {
    OnModal<Editor> editor(std::move(fill));
    Click(dialog, button);
    EXPECT_TRUE(editor.ran) << button;
  }

  static std::vector<std::string> Rows(QWidget& dialog, const char* list) {
    std::vector<std::string> rows;
    auto& widget = Find<QListWidget>(dialog, list);
    for (int i = 0; i < widget.count(); ++i) rows.push_back(ServerText(widget.item(i)->text()));
    return rows;
  }
  static void Select(QWidget& dialog, const char* list, const std::string& text) {
    auto& widget = Find<QListWidget>(dialog, list);
    const auto found = widget.findItems(QtText(text), Qt::MatchExactly);
    ASSERT_EQ(found.size(), 1) << text;
    widget.setCurrentItem(found.front());
  }

  std::optional<AccountInfo> Account(const std::string& name) {
    for (const AccountInfo& account : admin.Accounts().List()) {
      if (account.name == name) return account;
    }
    return std::nullopt;
  }
  std::optional<StoredRoom> Stored(const std::string& name) {
    for (const StoredRoom& room : admin.Rooms().Stored()) {
      if (room.name == name) return room;
    }
    return std::nullopt;
  }
};

TEST_F(SettingsLists, AccountsAddedAndEditedReachTheAdministrationOnlyOnOk) {
  const auto addAlice = [](AccountDialog& editor) {
    editor.Name().setText("Alice");
    editor.Password().setText("secret");
    editor.Comment().setText("first");
    Click(editor, "cmdOK");
  };
  {
    SettingsDialog dialog(admin, language);
    dialog.show();
    InEditor<AccountDialog>(dialog, "cmdAddUser", addAlice);
    EXPECT_EQ(Rows(dialog, "lstUserAccounts"), std::vector<std::string>{"Alice"});
    EXPECT_FALSE(Account("Alice"));
    Click(dialog, "cmdCancel");
  }
  EXPECT_TRUE(admin.Accounts().List().empty());
  {
    SettingsDialog dialog(admin, language);
    dialog.show();
    InEditor<AccountDialog>(dialog, "cmdAddUser", addAlice);
    EXPECT_FALSE(Account("Alice"));
    ModalAnswerer refusal(QMessageBox::Ok);
    Click(dialog, "cmdOK");
    EXPECT_EQ(refusal.texts, std::vector<std::string>{});
    EXPECT_EQ(dialog.result(), QDialog::Accepted);
  }
  std::optional<AccountInfo> alice = Account("Alice");
  ASSERT_TRUE(alice);
  EXPECT_TRUE(alice->active);
  EXPECT_EQ(alice->comment, "first");
  EXPECT_TRUE(alice->hasPassword);
  {
    // Edit: the name is fixed, the stored password is not shown and stays unless typed.
    SettingsDialog dialog(admin, language);
    dialog.show();
    Select(dialog, "lstUserAccounts", "Alice");
    InEditor<AccountDialog>(dialog, "cmdEditUser", [](AccountDialog& editor) {
      EXPECT_TRUE(editor.Name().isReadOnly());
      EXPECT_EQ(editor.Name().text(), "Alice");
      EXPECT_EQ(editor.Comment().text(), "first");
      EXPECT_EQ(editor.Password().text(), "");
      editor.Comment().setText("second");
      Click(editor, "cmdOK");
    });
    Find<QListWidget>(dialog, "lstUserAccounts").item(0)->setCheckState(Qt::Unchecked);
    EXPECT_EQ(Account("Alice")->comment, "first");
    ModalAnswerer refusal(QMessageBox::Ok);
    Click(dialog, "cmdOK");
    EXPECT_EQ(refusal.texts, std::vector<std::string>{});
    EXPECT_EQ(dialog.result(), QDialog::Accepted);
  }
  alice = Account("Alice");
  ASSERT_TRUE(alice);
  EXPECT_EQ(alice->comment, "second");
  EXPECT_TRUE(alice->hasPassword);
  EXPECT_FALSE(alice->active);
  {
    // A password typed in the editor, even an empty one, replaces the stored one.
    SettingsDialog dialog(admin, language);
    dialog.show();
    EXPECT_EQ(Find<QListWidget>(dialog, "lstUserAccounts").item(0)->checkState(), Qt::Unchecked);
    Select(dialog, "lstUserAccounts", "Alice");
    InEditor<AccountDialog>(dialog, "cmdEditUser", [](AccountDialog& editor) {
      QTest::keyClicks(&editor.Password(), "x");
      QTest::keyClick(&editor.Password(), Qt::Key_Backspace);
      Click(editor, "cmdOK");
    });
    Click(dialog, "cmdOK");
  }
  EXPECT_FALSE(Account("Alice")->hasPassword);
}

// The list's own check: a name or rule it holds already, in any letter case, is refused with the
// editor's notice, and the editor stays open for another entry.
TEST_F(SettingsLists, AnEntryTheListHoldsIsRefusedAndTheEditorStaysOpen) {
  ASSERT_TRUE(admin.Accounts().Add("Alice", "", "", true).ok());
  ASSERT_TRUE(admin.Bans().AddAddress("10.0.0.1").ok());
  struct Case {
    const char* button;
    const char* list;
    std::function<void(SettingsDialog&, std::function<void()> refused)> open;
    std::string notice;
    std::vector<std::string> rows;
  };
  // Each case enters the taken entry, confirms (the refusal), then a free one and confirms.
  const std::vector<Case> cases{
      {"cmdAddUser", "lstUserAccounts",
       [](SettingsDialog& dialog, std::function<void()> refused) {
         InEditor<AccountDialog>(dialog, "cmdAddUser", [refused](AccountDialog& editor) {
           editor.Name().setText(" @ALICE@ ");
           Click(editor, "cmdOK");
           refused();
           EXPECT_TRUE(editor.isVisible());
           editor.Name().setText("Bob");
           Click(editor, "cmdOK");
         });
       },
       "An account with this name already exists.", {"Alice", "Bob"}},
      {"cmdAddBanIP", "lstBanIP",
       [](SettingsDialog& dialog, std::function<void()> refused) {
         InEditor<BanRuleDialog>(dialog, "cmdAddBanIP", [refused](BanRuleDialog& editor) {
           editor.From().SetAddress("010.0.0.001");
           Click(editor, "cmdOK");
           refused();
           EXPECT_TRUE(editor.isVisible());
           editor.From().SetAddress("10.0.0.2");
           Click(editor, "cmdOK");
         });
       },
       "This address is already banned.", {"10.0.0.1", "10.0.0.2"}},
      {"cmdAddChatroom", "lstStoredChatrooms",
       [](SettingsDialog& dialog, std::function<void()> refused) {
         InEditor<RoomDialog>(dialog, "cmdAddChatroom", [refused](RoomDialog& editor) {
           editor.Fields().name->setText("garden");
           Click(editor, "cmdOK");
           refused();
           EXPECT_TRUE(editor.isVisible());
           editor.Fields().name->setText("Attic");
           Click(editor, "cmdOK");
         });
       },
       "A chatroom with this name already exists.", {"Lobby", "Garden", "Attic"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.button);
    SettingsDialog dialog(admin, language);
    dialog.show();
    ModalAnswerer ok(QMessageBox::Ok);
    c.open(dialog, [&ok, &c] {
      ASSERT_EQ(ok.texts.size(), 1u);
      EXPECT_EQ(ok.texts[0], c.notice);
    });
    EXPECT_EQ(Rows(dialog, c.list), c.rows);
    Click(dialog, "cmdCancel");
  }
}

TEST_F(SettingsLists, AddressBansAreAddedAndEditedWithTheAddressEditor) {
  ASSERT_TRUE(admin.Bans().AddAddress("192.168.*.*").ok());
  {
    SettingsDialog dialog(admin, language);
    dialog.show();
    ModalAnswerer ok(QMessageBox::Ok);
    InEditor<BanRuleDialog>(dialog, "cmdAddBanIP", [&ok](BanRuleDialog& editor) {
      // A range whose ends are in the wrong order would ban nobody.
      editor.SetRange(true);
      editor.From().SetAddress("10.0.0.50");
      editor.To().SetAddress("10.0.0.1");
      Click(editor, "cmdOK");
      ASSERT_EQ(ok.texts.size(), 1u);
      EXPECT_EQ(ok.texts[0], "The range ends before it begins: enter the lower address first.");
      EXPECT_TRUE(editor.isVisible());
      editor.From().SetAddress("10.0.0.1");
      editor.To().SetAddress("10.0.0.50");
      Click(editor, "cmdOK");
    });
    Select(dialog, "lstBanIP", "192.168.*.*");
    InEditor<BanRuleDialog>(dialog, "cmdEditBanIP", [](BanRuleDialog& editor) {
      EXPECT_EQ(editor.Entry(), "192.168.*.*");
      editor.From().SetAddress("172.16.*.*");
      Click(editor, "cmdOK");
    });
    EXPECT_EQ(Rows(dialog, "lstBanIP"), (std::vector<std::string>{"172.16.*.*", "10.0.0.1-10.0.0.50"}));
    EXPECT_EQ(admin.Bans().List().addresses, std::vector<std::string>{"192.168.*.*"});
    Click(dialog, "cmdOK");
    EXPECT_EQ(ok.texts.size(), 1u);  // no refusal
    EXPECT_EQ(dialog.result(), QDialog::Accepted);
  }
  EXPECT_EQ(admin.Bans().List().addresses, (std::vector<std::string>{"172.16.*.*", "10.0.0.1-10.0.0.50"}));
  EXPECT_NE(dir.read("config/ban.cfg").find("10.0.0.1-10.0.0.50"), std::string::npos);
}

TEST_F(SettingsLists, ChatroomsAddedInTheSettingsAreStoredAndOfferedAsTheStandardRoom) {
  {
    SettingsDialog dialog(admin, language);
    dialog.show();
    InEditor<RoomDialog>(dialog, "cmdAddChatroom", [](RoomDialog& editor) {
      EXPECT_FALSE(editor.Fields().name->isReadOnly());
      editor.Fields().name->setText("Kitchen");
      editor.Fields().description->setText("Cosy");
      editor.Fields().password->setText("tea");
      Click(editor, "cmdOK");
    });
    Select(dialog, "lstStoredChatrooms", "Garden");
    InEditor<RoomDialog>(dialog, "cmdEditChatroom", [](RoomDialog& editor) {
      EXPECT_TRUE(editor.Fields().name->isReadOnly());
      EXPECT_EQ(editor.Fields().description->text(), "Green");
      editor.Fields().description->setText("Roses");
      Click(editor, "cmdOK");
    });
    EXPECT_EQ(Rows(dialog, "lstStoredChatrooms"), (std::vector<std::string>{"Lobby", "Garden", "Kitchen  *"}));
    auto& standard = Find<QComboBox>(dialog, "cboStandardChatroom");
    const int kitchen = standard.findData(QString("Kitchen"));
    ASSERT_GE(kitchen, 0);
    standard.setCurrentIndex(kitchen);
    EXPECT_FALSE(Stored("Kitchen"));
    ModalAnswerer refusal(QMessageBox::Ok);
    Click(dialog, "cmdOK");
    EXPECT_EQ(refusal.texts, std::vector<std::string>{});
    EXPECT_EQ(dialog.result(), QDialog::Accepted);
  }
  const std::optional<StoredRoom> kitchen = Stored("Kitchen");
  ASSERT_TRUE(kitchen);
  EXPECT_EQ(kitchen->description, "Cosy");
  EXPECT_TRUE(kitchen->hasPassword);
  EXPECT_EQ(Stored("Garden")->description, "Roses");
  EXPECT_EQ(ServerSettings.Chatrooms.StandardChatroom, "Kitchen");
  EXPECT_NE(dir.read("config/server.cfg").find("StandardChatroom=Kitchen"), std::string::npos);
  bool live = false;
  for (const LiveRoom& room : admin.Rooms().Live()) live = live || (room.name == "Kitchen" && room.hasPassword);
  EXPECT_TRUE(live);
}

class SettingsListKeys : public SettingsLists {
 protected:
  void SetUp() override {
    dir.installPlugin(std::string(VELMORIN_TEST_PLUGIN_DIR) + "/scripted.so", "alpha");
    dir.write("plugins/alpha.rules", "");
    SettingsLists::SetUp();
  }
};

TEST_F(SettingsListKeys, KeysReleasedInTheAccountAndChatroomListsAreOfferedToPlugins) {
  server.RunningPlugins().Call("scripted-alpha", "Run", "AddEventHandler", std::string("ShortcutPressed") + '\x1e');
  SettingsDialog dialog(admin, language);
  dialog.show();
  // Every key, not only the main window's function keys.
  QKeyEvent a(QEvent::KeyRelease, Qt::Key_A, Qt::NoModifier, "a");
  QApplication::sendEvent(&Find<QListWidget>(dialog, "lstUserAccounts"), &a);
  QKeyEvent deleteKey(QEvent::KeyRelease, Qt::Key_Delete, Qt::ControlModifier);
  QApplication::sendEvent(&Find<QListWidget>(dialog, "lstStoredChatrooms"), &deleteKey);
  const auto received = [this](const std::string& line) {
    return QTest::qWaitFor(
        [&] {
          for (const std::string& got : Split(dir.read("plugins/alpha.received"), "\n")) {
            if (got == line) return true;
          }
          return false;
        },
        static_cast<int>(testing::kWait.count()));
  };
  EXPECT_TRUE(received("ShortcutPressed|0|65"));
  EXPECT_TRUE(received("ShortcutPressed|2|46"));
  Click(dialog, "cmdCancel");
}

}  // namespace
}  // namespace velmorin
