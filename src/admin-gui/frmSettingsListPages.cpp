// The settings dialog's pages of the stored lists: user accounts, bans and chatrooms. Removals
// (each after its question) and the nickname bans' additions and edits are kept until OK; the
// editors of accounts, address bans and chatrooms are dialogs of their own.

#include <QCheckBox>
#include <QComboBox>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QInputDialog>
#include <QLabel>
#include <QListWidget>
#include <QMessageBox>
#include <QPushButton>
#include <QVBoxLayout>

#include "admin-gui/GuiText.hpp"
#include "admin-gui/frmSettings.hpp"
#include "admin/AdminService.hpp"
#include "platform/Text.hpp"

namespace velmorin {
namespace {

constexpr int kRuleRole = Qt::UserRole;      // the rule or name as stored
constexpr int kPartRole = Qt::UserRole + 1;  // a nickname ban matching any part of the nickname

QLabel* Label(QWidget* page, const char* name, const char* text) {
  auto* label = new QLabel(QString::fromLatin1(text), page);
  label->setObjectName(name);
  return label;
}

QPushButton* Button(QWidget* page, const char* name, const char* text) {
  auto* button = new QPushButton(QString::fromLatin1(text), page);
  button->setObjectName(name);
  return button;
}

QListWidget* List(QWidget* page, const char* name, const std::vector<std::string>& rows) {
  auto* list = new QListWidget(page);
  list->setObjectName(name);
  for (const std::string& row : rows) {
    auto* item = new QListWidgetItem(QtText(row), list);
    item->setData(kRuleRole, QtText(row));
  }
  return list;
}

std::string Rule(const QListWidgetItem* item) { return ServerText(item->data(kRuleRole).toString()); }

void AddNicknameRow(QListWidget* list, const std::string& nickname, bool part) {
  auto* item = new QListWidgetItem(QtText(part ? "*" + nickname + "*" : nickname), list);
  item->setData(kRuleRole, QtText(nickname));
  item->setData(kPartRole, part);
}

}  // namespace

bool frmSettings::AskRemove(const std::string& questionKey, QListWidget* list) {
  QListWidgetItem* item = list->currentItem();
  if (item == nullptr) return false;
  return QMessageBox::question(this, windowTitle(), QtText(Text(questionKey)), QMessageBox::Yes | QMessageBox::No) ==
         QMessageBox::Yes;
}

AdminResult frmSettings::StoreListChanges() {
  while (!listChanges_.empty()) {
    const AdminResult result = listChanges_.front()();
    listChanges_.erase(listChanges_.begin());
    if (!result) return result;
  }
  return AdminResult::Done();
}

void frmSettings::BuildUsersPage() {
  QWidget* page = AddPage("Users", "lstUsers", "users");
  auto* layout = new QVBoxLayout(page);
  std::vector<std::string> names;
  for (const AccountInfo& account : admin_.Accounts().List()) names.push_back(account.name);
  QListWidget* list = List(page, "lstUserAccounts", names);
  layout->addWidget(Label(page, "lblUsers", "User accounts"));
  layout->addWidget(list, 1);
  QPushButton* remove = Button(page, "cmdRemoveUser", "&Remove");
  layout->addWidget(remove, 0, Qt::AlignRight);
  connect(remove, &QPushButton::clicked, this, [this, list] {
    if (!AskRemove("questionRemoveUser", list)) return;
    const std::string name = Rule(list->currentItem());
    delete list->currentItem();
    listChanges_.push_back([this, name] { return admin_.Accounts().Remove(name); });
  });
}

void frmSettings::BuildBanPage() {
  QWidget* page = AddPage("Ban", "lstBan", "ban");
  auto* layout = new QVBoxLayout(page);
  const BanRuleView rules = admin_.Bans().List();
  QListWidget* addresses = List(page, "lstBanIP", rules.addresses);
  layout->addWidget(Label(page, "lblBanIP", "Banned addresses"));
  layout->addWidget(addresses, 1);
  QPushButton* removeAddress = Button(page, "cmdRemoveBanIP", "&Remove");
  layout->addWidget(removeAddress, 0, Qt::AlignRight);
  connect(removeAddress, &QPushButton::clicked, this, [this, addresses] {
    if (!AskRemove("questionRemoveBanIP", addresses)) return;
    const std::string rule = Rule(addresses->currentItem());
    delete addresses->currentItem();
    listChanges_.push_back([this, rule] { return admin_.Bans().RemoveAddress(rule); });
  });

  auto* nicknames = new QListWidget(page);
  nicknames->setObjectName("lstBanNick");
  for (const NicknameBan& ban : rules.nicknames) AddNicknameRow(nicknames, ban.nickname, ban.part);
  layout->addWidget(Label(page, "lblBanNick", "Banned nicknames"));
  layout->addWidget(nicknames, 1);
  auto* buttons = new QHBoxLayout;
  QPushButton* add = Button(page, "cmdAddBanNick", "&Add...");
  QPushButton* edit = Button(page, "cmdEditBanNick", "&Edit...");
  QPushButton* remove = Button(page, "cmdRemoveBanNick", "Re&move");
  buttons->addStretch(1);
  buttons->addWidget(add);
  buttons->addWidget(edit);
  buttons->addWidget(remove);
  layout->addLayout(buttons);
  connect(add, &QPushButton::clicked, this, [this, nicknames] { EditNicknameBan(nicknames, true); });
  connect(edit, &QPushButton::clicked, this, [this, nicknames] { EditNicknameBan(nicknames, false); });
  connect(remove, &QPushButton::clicked, this, [this, nicknames] {
    if (!AskRemove("questionRemoveBanNick", nicknames)) return;
    QListWidgetItem* item = nicknames->currentItem();
    const std::string rule = Rule(item);
    const bool part = item->data(kPartRole).toBool();
    delete item;
    listChanges_.push_back([this, rule, part] { return admin_.Bans().RemoveNickname(rule, part); });
  });
}

void frmSettings::EditNicknameBan(QListWidget* list, bool add) {
  QListWidgetItem* item = add ? nullptr : list->currentItem();
  if (!add && item == nullptr) return;
  const std::string old = item != nullptr ? Rule(item) : std::string();
  const bool part = item != nullptr && item->data(kPartRole).toBool();
  bool ok = false;
  const QString entered = QInputDialog::getText(this, QtText(Text(add ? "titleBanNickAdd" : "titleBanNickEdit")),
                                                QtText(Text(add ? "textBanNickAdd" : "textBanNickEdit")),
                                                QLineEdit::Normal, QtText(old), &ok);
  const std::string nickname = Trim(ServerText(entered));
  if (!ok || nickname.empty() || nickname == old) return;
  for (int i = 0; i < list->count(); ++i) {
    const QListWidgetItem* row = list->item(i);
    if (row != item && row->data(kPartRole).toBool() == part && EqualsNoCase(Rule(row), nickname)) {
      ShowNotice(Text("noticeAlreadyBannedNick"));
      return;
    }
  }
  if (item != nullptr) {
    delete item;
    listChanges_.push_back([this, old, part] { return admin_.Bans().RemoveNickname(old, part); });
  }
  AddNicknameRow(list, nickname, part);
  listChanges_.push_back([this, nickname, part] { return admin_.Bans().AddNickname(nickname, part); });
}

void frmSettings::BuildChatroomsPage() {
  QWidget* page = AddPage("Chatrooms", "lstChatrooms", "chatrooms");
  auto* layout = new QVBoxLayout(page);
  std::vector<std::string> stored;
  for (const StoredRoom& room : admin_.Rooms().Stored()) stored.push_back(room.name);
  QListWidget* list = List(page, "lstStoredChatrooms", stored);
  layout->addWidget(Label(page, "lblChatrooms", "Stored chatrooms"));
  layout->addWidget(list, 1);
  QPushButton* remove = Button(page, "cmdRemoveChatroom", "&Remove");
  layout->addWidget(remove, 0, Qt::AlignRight);
  connect(remove, &QPushButton::clicked, this, [this, list] {
    if (!AskRemove("questionRemoveChatroom", list)) return;
    const std::string name = Rule(list->currentItem());
    delete list->currentItem();
    listChanges_.push_back([this, name] { return admin_.Rooms().Remove(name); });
  });
  // The standard chatroom: one of the rooms that exist now, or none.
  auto* standard = new QComboBox(page);
  standard->setObjectName("cboStandardChatroom");
  standard->addItem(QtText(Text("listNone")), QString());
  for (const LiveRoom& room : admin_.Rooms().Live()) standard->addItem(QtText(room.name), QtText(room.name));
  auto* row = new QFormLayout;
  row->addRow(Label(page, "lblStandardChatroom", "Standard chatroom"), standard);
  layout->addLayout(row);
  Bind("Chatrooms.StandardChatroom", standard);
  auto* create = new QCheckBox("Clients may create chatrooms", page);
  create->setObjectName("chkAllowCreateChatroom");
  layout->addWidget(create);
  Bind("Chatrooms.AllowCreateChatroom", create);
}

}  // namespace velmorin
