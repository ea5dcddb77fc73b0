// The settings dialog's pages of the stored lists: user accounts, bans and chatrooms. Every
// change (an addition or an edit through its editor, a removal after its question, an account's
// active tick) shows at once in the list and is kept until OK, which makes the changes in their
// order through the administration; Cancel drops them. The editors check the entry itself; the
// checks against the list (a name or rule that is there already) are made here, on the rows.

#include <algorithm>

#include <QCheckBox>
#include <QComboBox>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QInputDialog>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMessageBox>
#include <QPushButton>
#include <QVBoxLayout>

#include "admin-gui/AccountDialog.hpp"
#include "admin-gui/BanRuleDialog.hpp"
#include "admin-gui/GuiText.hpp"
#include "admin-gui/PluginMenuView.hpp"
#include "admin-gui/RoomDialog.hpp"
#include "admin-gui/SettingsDialog.hpp"
#include "admin/AdminService.hpp"
#include "admin/FieldCheck.hpp"
#include "config/TextFilters.hpp"
#include "platform/Text.hpp"

namespace velmorin {
namespace {

constexpr int kRuleRole = Qt::UserRole;          // the rule or name as stored
constexpr int kPartRole = Qt::UserRole + 1;      // a nickname ban matching any part of the nickname
constexpr int kCommentRole = Qt::UserRole + 2;   // an account's comment, a room's description
constexpr int kPasswordRole = Qt::UserRole + 3;  // a password typed in this dialog (stored ones are never read)
constexpr int kActiveRole = Qt::UserRole + 4;    // an account's active tick as last queued
constexpr int kLockedRole = Qt::UserRole + 5;    // a room has a password

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

// The buttons of a list, right-aligned in one row.
void ButtonRow(QVBoxLayout& layout, std::initializer_list<QPushButton*> buttons) {
  auto* row = new QHBoxLayout;
  row->addStretch(1);
  for (QPushButton* button : buttons) row->addWidget(button);
  layout.addLayout(row);
}

std::string Rule(const QListWidgetItem* item) { return ServerText(item->data(kRuleRole).toString()); }

// The row whose name equals `name` without regard to case, other than `except`.
QListWidgetItem* FindRow(const QListWidget& list, const std::string& name, const QListWidgetItem* except = nullptr) {
  for (int i = 0; i < list.count(); ++i) {
    QListWidgetItem* row = list.item(i);
    if (row != except && EqualsNoCase(Rule(row), name)) return row;
  }
  return nullptr;
}

void AddNicknameRow(QListWidget* list, const std::string& nickname, bool part) {
  auto* item = new QListWidgetItem(QtText(part ? "*" + nickname + "*" : nickname), list);
  item->setData(kRuleRole, QtText(nickname));
  item->setData(kPartRole, part);
}

// The row is filled before it joins the list, so that filling it is no change of the tick.
QListWidgetItem* AddAccountRow(QListWidget* list, const std::string& name, const std::string& comment, bool active) {
  auto* item = new QListWidgetItem(QtText(name));
  item->setFlags(item->flags() | Qt::ItemIsUserCheckable);
  item->setCheckState(active ? Qt::Checked : Qt::Unchecked);
  item->setData(kRuleRole, QtText(name));
  item->setData(kCommentRole, QtText(comment));
  item->setData(kActiveRole, active);
  list->addItem(item);
  return item;
}

// A room with a password shows "*" after its name.
void ShowRoomRow(QListWidgetItem* item, const std::string& description, bool locked) {
  item->setText(QtText(locked ? Rule(item) + "  *" : Rule(item)));
  item->setData(kCommentRole, QtText(description));
  item->setData(kLockedRole, locked);
}

// Qt keeps an input box at the size of its layout, whose field is only a few characters wide:
// the field gets room for the longest nickname and the box for its title (the title bar's buttons
// beside it), so that the box follows its texts in every language.
void FitNicknameBox(QInputDialog& box) {
  auto* field = box.findChild<QLineEdit*>();
  if (field == nullptr) return;
  const QFontMetrics metrics = box.fontMetrics();
  constexpr int kTitleBarButtons = 120;
  field->setMinimumWidth(std::max({metrics.averageCharWidth() * static_cast<int>(kMaxNicknameLength),
                                   metrics.horizontalAdvance(box.windowTitle()) + kTitleBarButtons,
                                   metrics.horizontalAdvance(box.labelText())}));
}

}  // namespace

bool SettingsDialog::AskRemove(const std::string& questionKey, QListWidget* list) {
  QListWidgetItem* item = list->currentItem();
  if (item == nullptr) return false;
  return QMessageBox::question(this, windowTitle(), QtText(Text(questionKey)), QMessageBox::Yes | QMessageBox::No) ==
         QMessageBox::Yes;
}

AdminResult SettingsDialog::StoreListChanges() {
  while (!listChanges_.empty()) {
    const AdminResult result = listChanges_.front()();
    // A refused change stays first in line: the list shows it, so it is not dropped unseen.
    if (!result.ok()) return result;
    listChanges_.erase(listChanges_.begin());
  }
  return AdminResult::Done();
}

void SettingsDialog::OfferKeysToPlugins(QListWidget* list) {
  list->installEventFilter(new PluginShortcuts(
      *list, [this](long shiftState, long keyCode) { admin_.Plugins().ShortcutPressed(shiftState, keyCode); },
      true));
}

// --- accounts ----------------------------------------------------------------------------------

void SettingsDialog::BuildUsersPage() {
  QWidget* page = AddPage("Users", "lstUsers", "users");
  auto* layout = new QVBoxLayout(page);
  auto* list = new QListWidget(page);
  list->setObjectName("lstUserAccounts");
  for (const AccountInfo& account : admin_.Accounts().List()) {
    AddAccountRow(list, account.name, account.comment, account.active);
  }
  layout->addWidget(Label(page, "lblUsers", "User accounts"));
  layout->addWidget(list, 1);
  QPushButton* add = Button(page, "cmdAddUser", "&Add...");
  QPushButton* edit = Button(page, "cmdEditUser", "&Edit...");
  QPushButton* remove = Button(page, "cmdRemoveUser", "&Remove");
  ButtonRow(*layout, {add, edit, remove});
  OfferKeysToPlugins(list);
  connect(add, &QPushButton::clicked, this, [this, list] { EditAccount(list, true); });
  connect(edit, &QPushButton::clicked, this, [this, list] { EditAccount(list, false); });
  connect(remove, &QPushButton::clicked, this, [this, list] {
    if (!AskRemove("questionRemoveUser", list)) return;
    const std::string name = Rule(list->currentItem());
    delete list->currentItem();
    listChanges_.push_back([this, name] { return admin_.Audit().RecordWindow("account remove " + name, admin_.Accounts().Remove(name)); });
  });
  // The active tick: only a change of it counts, not a row being filled.
  connect(list, &QListWidget::itemChanged, this, [this](QListWidgetItem* item) {
    const bool active = item->checkState() == Qt::Checked;
    if (item->data(kActiveRole).toBool() == active) return;
    item->setData(kActiveRole, active);
    AccountChange change;
    change.active = active;
    listChanges_.push_back([this, name = Rule(item), change] {
      return admin_.Audit().RecordWindow("account edit " + name, admin_.Accounts().Edit(name, change));
    });
  });
}

void SettingsDialog::EditAccount(QListWidget* list, bool add) {
  QListWidgetItem* item = add ? nullptr : list->currentItem();
  if (!add && item == nullptr) return;
  AccountDialog* editor = nullptr;
  const auto accept = [this, list, item, &editor](const AccountFields& fields) -> AdminResult {
    if (item != nullptr) {
      AccountChange change;
      change.comment = fields.comment;
      if (fields.passwordTyped) {
        change.password = fields.password;
        item->setData(kPasswordRole, QtText(fields.password));
      }
      item->setData(kCommentRole, QtText(fields.comment));
      listChanges_.push_back([this, name = Rule(item), change] {
      return admin_.Audit().RecordWindow("account edit " + name, admin_.Accounts().Edit(name, change));
    });
      return AdminResult::Done();
    }
    // A login cleans the nickname it is given the same way, so the account is one a login can name.
    const std::string name = CleanNickname(fields.name);
    if (name.empty()) return AdminResult::Refused("noticeMissingName", editor->Text("noticeMissingName"));
    if (FindRow(*list, name) != nullptr) return AdminResult::Refused("noticeExist", editor->Text("noticeExist"));
    QListWidgetItem* row = AddAccountRow(list, name, fields.comment, true);
    row->setData(kPasswordRole, QtText(fields.password));
    list->setCurrentItem(row);
    listChanges_.push_back([this, name, fields] {
      return admin_.Audit().RecordWindow("account add " + name, admin_.Accounts().Add(name, fields.password, fields.comment, true));
    });
    return AdminResult::Done();
  };
  AccountDialog dialog(add ? AccountDialog::Mode::Add : AccountDialog::Mode::Edit, accept, this);
  editor = &dialog;
  dialog.SetLanguage(languageFile_);
  if (item != nullptr) {
    dialog.SetEntry({Rule(item), ServerText(item->data(kPasswordRole).toString()),
                     ServerText(item->data(kCommentRole).toString()), false});
  }
  dialog.exec();
}

// --- bans --------------------------------------------------------------------------------------

void SettingsDialog::BuildBanPage() {
  QWidget* page = AddPage("Ban", "lstBan", "ban");
  auto* layout = new QVBoxLayout(page);
  const BanRuleView rules = admin_.Bans().List();
  QListWidget* addresses = List(page, "lstBanIP", rules.addresses);
  layout->addWidget(Label(page, "lblBanIP", "Banned addresses"));
  layout->addWidget(addresses, 1);
  QPushButton* addAddress = Button(page, "cmdAddBanIP", "A&dd...");
  QPushButton* editAddress = Button(page, "cmdEditBanIP", "Ed&it...");
  QPushButton* removeAddress = Button(page, "cmdRemoveBanIP", "&Remove");
  ButtonRow(*layout, {addAddress, editAddress, removeAddress});
  connect(addAddress, &QPushButton::clicked, this, [this, addresses] { EditAddressBan(addresses, true); });
  connect(editAddress, &QPushButton::clicked, this, [this, addresses] { EditAddressBan(addresses, false); });
  connect(removeAddress, &QPushButton::clicked, this, [this, addresses] {
    if (!AskRemove("questionRemoveBanIP", addresses)) return;
    const std::string rule = Rule(addresses->currentItem());
    delete addresses->currentItem();
    listChanges_.push_back([this, rule] { return admin_.Audit().RecordWindow("ban remove ip " + rule, admin_.Bans().RemoveAddress(rule)); });
  });

  auto* nicknames = new QListWidget(page);
  nicknames->setObjectName("lstBanNick");
  for (const NicknameBan& ban : rules.nicknames) AddNicknameRow(nicknames, ban.nickname, ban.part);
  layout->addWidget(Label(page, "lblBanNick", "Banned nicknames"));
  layout->addWidget(nicknames, 1);
  QPushButton* add = Button(page, "cmdAddBanNick", "&Add...");
  QPushButton* edit = Button(page, "cmdEditBanNick", "&Edit...");
  QPushButton* remove = Button(page, "cmdRemoveBanNick", "Re&move");
  ButtonRow(*layout, {add, edit, remove});
  connect(add, &QPushButton::clicked, this, [this, nicknames] { EditNicknameBan(nicknames, true); });
  connect(edit, &QPushButton::clicked, this, [this, nicknames] { EditNicknameBan(nicknames, false); });
  connect(remove, &QPushButton::clicked, this, [this, nicknames] {
    if (!AskRemove("questionRemoveBanNick", nicknames)) return;
    QListWidgetItem* item = nicknames->currentItem();
    const std::string rule = Rule(item);
    const bool part = item->data(kPartRole).toBool();
    delete item;
    listChanges_.push_back([this, rule, part] {
      return admin_.Audit().RecordWindow((part ? "ban remove nickpart " : "ban remove nick ") + rule,
                                         admin_.Bans().RemoveNickname(rule, part));
    });
  });
}

void SettingsDialog::EditAddressBan(QListWidget* list, bool add) {
  QListWidgetItem* item = add ? nullptr : list->currentItem();
  if (!add && item == nullptr) return;
  BanRuleDialog* editor = nullptr;
  const auto accept = [this, list, item, &editor](const std::string& entry) -> AdminResult {
    if (FindRow(*list, entry, item) != nullptr) {
      return AdminResult::Refused("noticeAlreadyBannedIP", editor->Text("noticeAlreadyBannedIP"));
    }
    QListWidgetItem* row = item;
    if (row != nullptr) {
      const std::string old = Rule(row);
      if (old == entry) return AdminResult::Done();
      listChanges_.push_back([this, old] { return admin_.Audit().RecordWindow("ban remove ip " + old, admin_.Bans().RemoveAddress(old)); });
    } else {
      row = new QListWidgetItem(list);
    }
    row->setText(QtText(entry));
    row->setData(kRuleRole, QtText(entry));
    list->setCurrentItem(row);
    listChanges_.push_back([this, entry] { return admin_.Audit().RecordWindow("ban add ip " + entry, admin_.Bans().AddAddress(entry)); });
    return AdminResult::Done();
  };
  BanRuleDialog dialog(accept, this);
  editor = &dialog;
  dialog.SetLanguage(languageFile_);
  if (item != nullptr) dialog.SetEntry(Rule(item));
  dialog.exec();
}

void SettingsDialog::EditNicknameBan(QListWidget* list, bool add) {
  QListWidgetItem* item = add ? nullptr : list->currentItem();
  if (!add && item == nullptr) return;
  const std::string old = item != nullptr ? Rule(item) : std::string();
  const bool part = item != nullptr && item->data(kPartRole).toBool();
  // The box's buttons take the dialog's own OK and Cancel texts: Qt's stock ones stay English.
  QInputDialog box(this);
  box.setWindowTitle(QtText(Text(add ? "titleBanNickAdd" : "titleBanNickEdit")));
  box.setLabelText(QtText(Text(add ? "textBanNickAdd" : "textBanNickEdit")));
  box.setTextValue(QtText(old));
  if (const auto* own = findChild<QPushButton*>("cmdOK")) box.setOkButtonText(own->text());
  if (const auto* own = findChild<QPushButton*>("cmdCancel")) box.setCancelButtonText(own->text());
  FitNicknameBox(box);
  const bool ok = box.exec() == QDialog::Accepted;
  const std::string nickname = Trim(ServerText(box.textValue()));
  if (!ok || nickname.empty() || nickname == old) return;
  if (const auto refused = CheckCarried("nickname", Uncarried(box.textValue()))) {
    ShowNotice(refused->message);
    return;
  }
  for (int i = 0; i < list->count(); ++i) {
    const QListWidgetItem* row = list->item(i);
    if (row != item && row->data(kPartRole).toBool() == part && EqualsNoCase(Rule(row), nickname)) {
      ShowNotice(Text("noticeAlreadyBannedNick"));
      return;
    }
  }
  if (item != nullptr) {
    delete item;
    listChanges_.push_back([this, old, part] {
      return admin_.Audit().RecordWindow((part ? "ban remove nickpart " : "ban remove nick ") + old,
                                         admin_.Bans().RemoveNickname(old, part));
    });
  }
  AddNicknameRow(list, nickname, part);
  listChanges_.push_back([this, nickname, part] {
    return admin_.Audit().RecordWindow((part ? "ban add nickpart " : "ban add nick ") + nickname,
                                       admin_.Bans().AddNickname(nickname, part));
  });
}

// --- chatrooms ---------------------------------------------------------------------------------

void SettingsDialog::BuildChatroomsPage() {
  QWidget* page = AddPage("Chatrooms", "lstChatrooms", "chatrooms");
  auto* layout = new QVBoxLayout(page);
  auto* list = new QListWidget(page);
  list->setObjectName("lstStoredChatrooms");
  for (const StoredRoom& room : admin_.Rooms().Stored()) {
    auto* item = new QListWidgetItem(list);
    item->setData(kRuleRole, QtText(room.name));
    ShowRoomRow(item, room.description, room.hasPassword);
  }
  layout->addWidget(Label(page, "lblChatrooms", "Stored chatrooms"));
  layout->addWidget(list, 1);
  QPushButton* add = Button(page, "cmdAddChatroom", "&Add...");
  QPushButton* edit = Button(page, "cmdEditChatroom", "&Edit...");
  QPushButton* remove = Button(page, "cmdRemoveChatroom", "&Remove");
  ButtonRow(*layout, {add, edit, remove});
  OfferKeysToPlugins(list);
  // The standard chatroom: one of the rooms that exist now or are added here, or none.
  standardRoom_ = new QComboBox(page);
  standardRoom_->setObjectName("cboStandardChatroom");
  standardRoom_->addItem(QtText(Text("listNone")), QString());
  for (const LiveRoom& room : admin_.Rooms().Live()) standardRoom_->addItem(QtText(room.name), QtText(room.name));
  connect(add, &QPushButton::clicked, this, [this, list] { EditChatroom(list, true); });
  connect(edit, &QPushButton::clicked, this, [this, list] { EditChatroom(list, false); });
  connect(remove, &QPushButton::clicked, this, [this, list] {
    if (!AskRemove("questionRemoveChatroom", list)) return;
    const std::string name = Rule(list->currentItem());
    delete list->currentItem();
    // A removed room is no choice for the standard room any more.
    const int choice = standardRoom_->findData(QtText(name));
    if (choice >= 0) {
      if (standardRoom_->currentIndex() == choice) standardRoom_->setCurrentIndex(0);
      standardRoom_->removeItem(choice);
    }
    listChanges_.push_back(
        [this, name] { return admin_.Audit().RecordWindow("room remove " + name, admin_.Rooms().Remove(name, true)); });
  });
  auto* row = new QFormLayout;
  row->addRow(Label(page, "lblStandardChatroom", "Standard chatroom"), standardRoom_);
  layout->addLayout(row);
  Bind("Chatrooms.StandardChatroom", standardRoom_);
  auto* create = new QCheckBox("Clients may create chatrooms", page);
  create->setObjectName("chkAllowCreateChatroom");
  layout->addWidget(create);
  Bind("Chatrooms.AllowCreateChatroom", create);
}

void SettingsDialog::EditChatroom(QListWidget* list, bool add) {
  QListWidgetItem* item = add ? nullptr : list->currentItem();
  if (!add && item == nullptr) return;
  RoomDialog* editor = nullptr;
  const auto accept = [this, list, item, &editor](const RoomEntry& entry) -> AdminResult {
    if (item != nullptr) {
      RoomChange change;
      change.description = entry.description;
      if (entry.passwordTyped) change.password = entry.password;
      ShowRoomRow(item, entry.description,
                  entry.passwordTyped ? !entry.password.empty() : item->data(kLockedRole).toBool());
      listChanges_.push_back([this, name = Rule(item), change] {
        return admin_.Audit().RecordWindow("room edit " + name, admin_.Rooms().Edit(name, change));
      });
      return AdminResult::Done();
    }
    // A room of a client's that is not stored has the name too; stored rooms are the rows.
    bool exists = FindRow(*list, entry.name) != nullptr;
    for (const LiveRoom& room : admin_.Rooms().Live()) exists = exists || (!room.stored && EqualsNoCase(room.name, entry.name));
    if (exists) return AdminResult::Refused("noticeExist", editor->Text("noticeExist"));
    auto* row = new QListWidgetItem(list);
    row->setData(kRuleRole, QtText(entry.name));
    ShowRoomRow(row, entry.description, !entry.password.empty());
    list->setCurrentItem(row);
    if (standardRoom_->findData(QtText(entry.name)) < 0) standardRoom_->addItem(QtText(entry.name), QtText(entry.name));
    addedRooms_.push_back(entry.name);
    listChanges_.push_back([this, entry] {
      return admin_.Audit().RecordWindow(AuditedWords({"room", "add", entry.name, "--store"}),
                                         admin_.Rooms().Add(entry.name, entry.description, entry.password, true));
    });
    return AdminResult::Done();
  };
  RoomDialog dialog(add ? RoomDialog::Mode::AddSettings : RoomDialog::Mode::EditSettings,
                            accept, this);
  editor = &dialog;
  dialog.SetLanguage(languageFile_);
  if (item != nullptr) dialog.SetEntry({Rule(item), ServerText(item->data(kCommentRole).toString()), {}, false});
  dialog.exec();
}

std::string SettingsDialog::DeferAddedStandardRoom(SettingsForm& form) {
  std::string& standard = form.settings.Chatrooms.StandardChatroom;
  for (const std::string& added : addedRooms_) {
    if (!standard.empty() && EqualsNoCase(added, standard)) {
      for (const LiveRoom& room : admin_.Rooms().Live()) {
        if (EqualsNoCase(room.name, standard)) return {};  // added already by an earlier OK
      }
      std::string later;
      later.swap(standard);
      return later;
    }
  }
  return {};
}

}  // namespace velmorin
