// The administrator's dialogs against a real server: what each button does to the clients, the
// questions and notices shown on the way, and the lists after a change.

#include <gtest/gtest.h>

#include <QLabel>
#include <QPushButton>

#include "admin-gui/AccountDialog.hpp"
#include "admin-gui/AddressListWindow.hpp"
#include "admin-gui/BanUserDialog.hpp"
#include "admin-gui/CreateRoomDialog.hpp"
#include "admin-gui/GuiText.hpp"
#include "admin-gui/MainWindow.hpp"
#include "admin-gui/RoomListWindow.hpp"
#include "admin-gui/ServerMessageDialog.hpp"
#include "admin-gui/UserListWindow.hpp"
#include "gui/DialogServer.hpp"

namespace velmorin {
namespace {

using testing::kWait;
using testing::ModalAnswerer;
using testing::OnModal;

class AdminDialogs : public testing::DialogServer {
 protected:
  std::vector<std::string> Nicknames(UserListWindow& list) {
    std::vector<std::string> names;
    for (int i = 0; i < list.List().topLevelItemCount(); ++i) names.push_back(ServerText(list.List().topLevelItem(i)->text(1)));
    return names;
  }
  static bool Enabled(QDialog& dialog, const char* button) {
    return dialog.findChild<QPushButton*>(button)->isEnabled();
  }
  // The server messages `user` got before a marker sent to everybody.
  std::vector<std::string> MessagesUntilMarker(client::ChatClient& user) {
    return Await([&user] {
      std::vector<std::string> texts;
      while (const auto packet = user.ReceiveCommand("message", kWait)) {
        const std::string text = packet->payload.substr(packet->payload.find('\0') + 1);
        if (text == "marker") break;
        texts.push_back(packet->payload);
      }
      return texts;
    });
  }
};

TEST_F(AdminDialogs, UserListDisconnectsAfterTheQuestionAndOnlyOnYes) {
  client::ChatClient ada = LoggedIn("Ada");
  client::ChatClient bob = LoggedIn("Bob");
  UserListWindow users(admin);
  users.SetLanguage(language);
  EXPECT_EQ(Nicknames(users), (std::vector<std::string>{"Ada", "Bob"}));
  const QTreeWidgetItem* row = users.List().topLevelItem(0);
  EXPECT_EQ(row->text(3), "127.0.0.1");
  EXPECT_EQ(row->text(4), "test 1.0");
  EXPECT_EQ(users.List().headerItem()->text(1), "Nickname");
  EXPECT_FALSE(Enabled(users, "cmdDisconnect"));

  ASSERT_TRUE(users.Select("Ada"));
  EXPECT_TRUE(Enabled(users, "cmdDisconnect"));
  {
    ModalAnswerer no(QMessageBox::No);
    users.DisconnectSelected();
    EXPECT_EQ(no.texts, (std::vector<std::string>{"Do you really want to disconnect the selected user?"}));
  }
  EXPECT_EQ(admin.State().Figures().users, 2);
  users.findChild<QLineEdit*>("txtReason")->setText("  time for a break ");
  {
    ModalAnswerer yes(QMessageBox::Yes);
    users.DisconnectSelected();
  }
  // Ada is told why before her connection closes.
  const auto told = Await([&] { return ada.ReceiveCommand("message", kWait); });
  ASSERT_TRUE(told);
  EXPECT_NE(told->payload.find("Reason: time for a break"), std::string::npos) << told->payload;
  EXPECT_TRUE(users.findChild<QLineEdit*>("txtReason")->text().isEmpty());
  EXPECT_TRUE(Await([&] { return ada.WaitForClose(kWait); }));
  EXPECT_EQ(Nicknames(users), (std::vector<std::string>{"Bob"}));
  EXPECT_FALSE(Enabled(users, "cmdDisconnect"));  // the selection went with the user
  // The audit trail has the kick once, from the window; the "No" changed nothing and left no line.
  std::vector<std::string> audit;
  for (const std::string& line : frontEnd.Lines()) {
    if (line.find("Administration (") != std::string::npos) audit.push_back(line);
  }
  ASSERT_EQ(audit.size(), 1U);
  EXPECT_NE(audit[0].find("Administration (window): kick Ada - done"), std::string::npos) << audit[0];
}

TEST_F(AdminDialogs, BanFromTheUserListKeepsTheChosenRulesAndDisconnects) {
  client::ChatClient bob = LoggedIn("Bob");
  UserListWindow users(admin);
  users.SetLanguage(language);
  ASSERT_TRUE(users.Select("Bob"));

  std::vector<std::string> captions;
  std::vector<std::string> refusals;
  bool stayedOpen = false;
  OnModal<BanUserDialog> ban([&](BanUserDialog& dialog) {
    for (QCheckBox* box : {&dialog.BanIP(), &dialog.BanNick(), &dialog.BanNickRange()}) {
      captions.push_back(box->text().toStdString());
      box->setChecked(false);
    }
    {
      ModalAnswerer ok(QMessageBox::Ok);
      EXPECT_FALSE(dialog.Ban().ok());  // nothing chosen: refused, shown, nothing changed
      refusals = ok.texts;
    }
    stayedOpen = dialog.isVisible();
    dialog.BanNick().setChecked(true);
    EXPECT_TRUE(dialog.Ban().ok());
  });
  users.BanSelected();
  ASSERT_TRUE(ban.ran);
  EXPECT_EQ(captions, (std::vector<std::string>{"Ban the IP address 127.0.0.1", "Ban the nickname Bob",
                                                "Ban every nickname containing Bob"}));
  EXPECT_EQ(refusals.size(), 1u);
  EXPECT_TRUE(stayedOpen);
  EXPECT_TRUE(Await([&] { return bob.WaitForClose(kWait); }));
  const BanRuleView rules = admin.Bans().List();
  EXPECT_TRUE(rules.addresses.empty());
  ASSERT_EQ(rules.nicknames.size(), 1u);
  EXPECT_EQ(rules.nicknames[0].nickname, "Bob");
  EXPECT_FALSE(rules.nicknames[0].part);
  EXPECT_TRUE(Nicknames(users).empty());
  EXPECT_NE(dir.read("config/ban.cfg").find("Bob"), std::string::npos);
}

// The dialog's default is velmorin-ctl's (address and nickname), and before OK it says who else
// the address rule shuts out.
TEST_F(AdminDialogs, TheBanDialogChoosesAddressAndNicknameAndSaysWhoSharesTheAddress) {
  client::ChatClient ann = LoggedIn("Ann");
  client::ChatClient ben = LoggedIn("Ben");
  client::ChatClient cid = LoggedIn("Cid");
  BanUserDialog dialog(admin, "Ann", "127.0.0.1");
  dialog.SetLanguage(language);
  EXPECT_TRUE(dialog.BanIP().isChecked());
  EXPECT_TRUE(dialog.BanNick().isChecked());
  EXPECT_FALSE(dialog.BanNickRange().isChecked());
  auto* shared = dialog.findChild<QLabel*>("lblSharedAddress");
  ASSERT_NE(shared, nullptr);
  EXPECT_FALSE(shared->isHidden());
  EXPECT_EQ(shared->text().toStdString(),
            "2 other users are connected from this address and will be banned too: once they leave, they cannot "
            "connect again.");
  dialog.BanIP().setChecked(false);
  EXPECT_TRUE(shared->isHidden());
  dialog.BanIP().setChecked(true);

  ASSERT_TRUE(dialog.Ban().ok());
  EXPECT_TRUE(Await([&] { return ann.WaitForClose(kWait); }));
  const BanRuleView rules = admin.Bans().List();
  EXPECT_EQ(rules.addresses, std::vector<std::string>{"127.0.0.1"});
  ASSERT_EQ(rules.nicknames.size(), 1u);
  EXPECT_EQ(rules.nicknames[0].nickname, "Ann");
  EXPECT_FALSE(rules.nicknames[0].part);
}

TEST_F(AdminDialogs, RemovingARoomAsksThenClosesItForEveryMember) {
  client::ChatClient ann = LoggedIn("Ann");
  client::ChatClient ben = LoggedIn("Ben");
  Joined(ann, "Garden");
  Joined(ben, "Garden");
  RoomListWindow rooms(admin);
  rooms.SetLanguage(language);
  ASSERT_TRUE(rooms.Select("garden"));
  EXPECT_EQ(rooms.Selected()->members, 2);
  {
    ModalAnswerer no(QMessageBox::No);
    rooms.RemoveSelected();
    ASSERT_EQ(no.texts.size(), 1u);
    EXPECT_EQ(no.texts[0], "Users in this chatroom: 2.\nDo you really want to remove the chatroom?");
  }
  EXPECT_GE(server.Chatrooms().GetChatroomID("Garden"), 0);
  {
    ModalAnswerer yes(QMessageBox::Yes);
    rooms.RemoveSelected();
  }
  for (client::ChatClient* user : {&ann, &ben}) {
    const auto closed = Await([user] { return user->ReceiveCommand("closeChatroom", kWait); });
    ASSERT_TRUE(closed) << user->LastErrorText();
    EXPECT_EQ(closed->payload, "Garden");
  }
  EXPECT_EQ(server.Chatrooms().GetChatroomID("Garden"), -1);
  EXPECT_FALSE(rooms.Select("Garden"));
  EXPECT_FALSE(Enabled(rooms, "cmdRemove"));
  // Sending to an empty room shows its notice instead of an editor; removing it asks too.
  ASSERT_TRUE(rooms.Select("Lobby"));
  {
    ModalAnswerer ok(QMessageBox::Ok);
    rooms.SendToSelected();
    EXPECT_EQ(ok.texts, (std::vector<std::string>{"Nobody is in this chatroom."}));
  }
  {
    ModalAnswerer no(QMessageBox::No);
    rooms.RemoveSelected();
    EXPECT_EQ(no.texts, (std::vector<std::string>{"Do you really want to remove the chatroom Lobby?"}));
  }
  EXPECT_EQ(server.Chatrooms().Count(), 1);
  {
    ModalAnswerer yes(QMessageBox::Yes);
    ASSERT_TRUE(rooms.Select("Lobby"));
    rooms.RemoveSelected();
  }
  EXPECT_EQ(server.Chatrooms().Count(), 0);
}

TEST_F(AdminDialogs, TheMessageEditorReachesWhomItsModeNames) {
  client::ChatClient ann = LoggedIn("Ann");
  client::ChatClient ben = LoggedIn("Ben");
  Joined(ann, "Garden");
  Joined(ben, "Lobby");
  using Mode = ServerMessageDialog::Mode;
  struct Case {
    Mode mode;
    const char* target;
    const char* title;
    bool toAnn;
    bool toBen;
  };
  for (const Case& c : {Case{Mode::User, "ANN", "Server message to ANN", true, false},
                        Case{Mode::Chatroom, "garden", "Server message to a chatroom - garden", true, false},
                        Case{Mode::AllUsers, "", "Server message to all users", true, true}}) {
    ServerMessageDialog editor(admin, c.mode, c.target);
    editor.SetLanguage(language);
    editor.show();
    EXPECT_EQ(editor.windowTitle().toStdString(), c.title);
    editor.Editor().setPlainText("  hello\nthere  ");
    EXPECT_TRUE(editor.Send().ok());
    EXPECT_FALSE(editor.isVisible()) << c.title;
    ASSERT_TRUE(admin.Users().SendToAll("marker").ok());
    const std::vector<std::string> expected{std::string("server") + '\0' + "hello\r\nthere"};
    EXPECT_EQ(MessagesUntilMarker(ann), c.toAnn ? expected : std::vector<std::string>{}) << c.title;
    EXPECT_EQ(MessagesUntilMarker(ben), c.toBen ? expected : std::vector<std::string>{}) << c.title;
  }
}

TEST_F(AdminDialogs, TheMessageEditorShowsWhyNothingWasSentAndCloses) {
  client::ChatClient ann = LoggedIn("Ann");
  admin.Rooms().Add("Quiet", "", "", false);
  using Mode = ServerMessageDialog::Mode;
  struct Case {
    Mode mode;
    const char* target;
    const char* notice;
  };
  for (const Case& c : {Case{Mode::User, "Nobody", "This user is not logged in (any more)."},
                        Case{Mode::Chatroom, "Nowhere", "This chatroom does not exist (any more)."},
                        Case{Mode::Chatroom, "Quiet", "Nobody is in this chatroom."}}) {
    ServerMessageDialog editor(admin, c.mode, c.target);
    editor.SetLanguage(language);
    editor.show();
    editor.Editor().setPlainText("hello");
    ModalAnswerer ok(QMessageBox::Ok);
    EXPECT_FALSE(editor.Send().ok());
    EXPECT_EQ(ok.texts, (std::vector<std::string>{c.notice}));
    EXPECT_FALSE(editor.isVisible()) << c.notice;
  }
  // An empty text sends nothing and keeps the editor open, without a notice.
  ServerMessageDialog editor(admin, Mode::AllUsers, "");
  editor.SetLanguage(language);
  editor.show();
  editor.Editor().setPlainText("   ");
  ModalAnswerer ok(QMessageBox::Ok);
  EXPECT_TRUE(editor.Send().ok());
  EXPECT_TRUE(editor.isVisible());
  EXPECT_TRUE(ok.texts.empty());
  ASSERT_TRUE(admin.Users().SendToAll("marker").ok());
  EXPECT_TRUE(MessagesUntilMarker(ann).empty());
}

TEST_F(AdminDialogs, TheRoomCreatorCleansItsFieldsAndShowsWhyItRefuses) {
  CreateRoomDialog creator(admin);
  creator.SetLanguage(language);
  creator.show();
  {
    ModalAnswerer ok(QMessageBox::Ok);
    creator.Name().setText("   ");
    EXPECT_FALSE(creator.Create().ok());
    creator.Name().setText("GARDEN");
    EXPECT_FALSE(creator.Create().ok());
    EXPECT_EQ(ok.texts, (std::vector<std::string>{"Please enter a name.", "A chatroom with this name already exists."}));
  }
  EXPECT_TRUE(creator.isVisible());
  EXPECT_TRUE(creator.findChild<QPushButton*>("cmdCreate")->isEnabled());
  creator.Name().setText(" Tea\tRoom ");
  creator.Description().setText("Hot");
  creator.Permanent().setChecked(true);
  EXPECT_TRUE(creator.Create().ok());
  EXPECT_EQ(creator.Name().text(), "TeaRoom");  // shown as cleaned
  EXPECT_FALSE(creator.isVisible());
  const long id = server.Chatrooms().GetChatroomID("TeaRoom");
  ASSERT_GE(id, 0);
  EXPECT_TRUE(server.Chatrooms().IsProtected(id));
  EXPECT_NE(dir.read("config/chatrooms.cfg").find("[TeaRoom]"), std::string::npos);
}

// What Windows-1252 cannot carry would be stored as '?': a room "?mega", a password "??????".
// The editors refuse it, name the field and the characters, and stay open.
TEST_F(AdminDialogs, TheEditorsRefuseWhatTheServerCannotStoreAsTyped) {
  CreateRoomDialog creator(admin);
  creator.SetLanguage(language);
  creator.show();
  bool accepted = false;
  AccountDialog account(AccountDialog::Mode::Add, [&accepted](const AccountFields&) {
    accepted = true;
    return AdminResult::Done();
  });
  account.SetLanguage(language);
  account.show();
  {
    ModalAnswerer ok(QMessageBox::Ok);
    creator.Name().setText(QString::fromUtf8("\u03A9mega"));
    const AdminResult room = creator.Create();
    EXPECT_EQ(room.notice, "invalidValue");
    account.Name().setText("ivan");
    account.Password().setText(QString::fromUtf8("\u0441\u0435\u043A\u0440\u0435\u0442"));
    EXPECT_EQ(account.Confirm().notice, "invalidValue");
    ASSERT_EQ(ok.texts.size(), 2u);
    EXPECT_NE(ok.texts[0].find("U+03A9"), std::string::npos) << ok.texts[0];
    EXPECT_NE(ok.texts[1].find("U+0441"), std::string::npos) << ok.texts[1];
    EXPECT_NE(ok.texts[1].find("Password"), std::string::npos) << ok.texts[1];
  }
  EXPECT_FALSE(accepted);
  EXPECT_TRUE(creator.isVisible());
  EXPECT_TRUE(account.isVisible());
  EXPECT_EQ(creator.Name().text(), QString::fromUtf8("\u03A9mega"));  // left as typed, to be corrected
  EXPECT_LT(server.Chatrooms().GetChatroomID("?mega"), 0);
}

TEST_F(AdminDialogs, TheExtrasMenuOpensEachListOnceInTheWindowsLanguage) {
  MainWindow window;
  window.Attach(admin, {});
  for (int i = 0; i < 2; ++i) {
    for (const char* entry : {"mnuUserInfos", "mnuChatroomInfos", "mnuShowIPs"}) {
      ASSERT_TRUE(window.Action(entry)->isEnabled()) << entry;
      window.Action(entry)->trigger();
    }
  }
  const auto users = window.findChildren<UserListWindow*>();
  const auto rooms = window.findChildren<RoomListWindow*>();
  const auto addresses = window.findChildren<AddressListWindow*>();
  ASSERT_EQ(users.size(), 1);
  ASSERT_EQ(rooms.size(), 1);
  ASSERT_EQ(addresses.size(), 1);
  EXPECT_TRUE(users[0]->isVisible());
  EXPECT_EQ(users[0]->windowTitle(), "User information");
  EXPECT_EQ(rooms[0]->List().headerItem()->text(2), "Users");
  EXPECT_TRUE(rooms[0]->Select("Garden"));
  EXPECT_EQ(addresses[0]->windowTitle(), "IP addresses");
}

}  // namespace
}  // namespace velmorin
