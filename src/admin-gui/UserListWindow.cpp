#include "admin-gui/UserListWindow.hpp"

#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QVBoxLayout>

#include "admin-gui/BanUserDialog.hpp"
#include "admin-gui/GuiText.hpp"
#include "admin-gui/ServerMessageDialog.hpp"
#include "admin/AdminService.hpp"

namespace velmorin {
namespace {

constexpr int kRefreshMilliseconds = 1000;

bool SameRows(const std::vector<UserRow>& a, const std::vector<UserRow>& b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    if (a[i].id != b[i].id || a[i].nickname != b[i].nickname || a[i].chatroom != b[i].chatroom ||
        a[i].address != b[i].address || a[i].clientVersion != b[i].clientVersion) {
      return false;
    }
  }
  return true;
}

}  // namespace

UserListWindow::UserListWindow(AdminService& admin, QWidget* parent) : AdminDialog("frmUserInfos", parent), admin_(admin) {
  userList_ = new QTreeWidget(this);
  userList_->setObjectName("lvwUsers");
  userList_->setRootIsDecorated(false);
  userList_->setColumnCount(5);
  userList_->setSelectionMode(QAbstractItemView::SingleSelection);
  userList_->setAllColumnsShowFocus(true);
  auto* buttons = new QVBoxLayout;
  const auto button = [&](const char* name, const char* text, void (UserListWindow::*run)(), bool needsSelection) {
    auto* b = new QPushButton(text, this);
    b->setObjectName(name);
    connect(b, &QPushButton::clicked, this, run);
    buttons->addWidget(b);
    if (needsSelection) needSelection_.push_back(b);
  };
  button("cmdDisconnect", "&Disconnect", &UserListWindow::DisconnectSelected, true);
  button("cmdBan", "&Ban...", &UserListWindow::BanSelected, true);
  button("cmdSend", "&Send message...", &UserListWindow::SendToSelected, true);
  button("cmdSendAll", "Send to &all...", &UserListWindow::SendToAll, false);
  buttons->addStretch(1);
  button("cmdRefresh", "&Refresh", &UserListWindow::Refresh, false);
  auto* closeButton = new QPushButton("Close", this);
  closeButton->setObjectName("cmdClose");
  connect(closeButton, &QPushButton::clicked, this, &QDialog::close);
  buttons->addWidget(closeButton);
  // The reason a disconnect gives the user, its room and the log.
  reasonEdit_ = new QLineEdit(this);
  reasonEdit_->setObjectName("txtReason");
  reasonEdit_->setMaxLength(static_cast<int>(kMaxKickReasonLength));
  auto* reasonLabel = new QLabel("Reas&on for a disconnect:", this);
  reasonLabel->setObjectName("lblReason");
  reasonLabel->setBuddy(reasonEdit_);
  auto* reasonRow = new QHBoxLayout;
  reasonRow->addWidget(reasonLabel);
  reasonRow->addWidget(reasonEdit_, 1);
  auto* listColumn = new QVBoxLayout;
  listColumn->addWidget(userList_, 1);
  listColumn->addLayout(reasonRow);
  auto* layout = new QHBoxLayout(this);
  layout->addLayout(listColumn, 1);
  layout->addLayout(buttons);
  connect(userList_, &QTreeWidget::itemSelectionChanged, this, &UserListWindow::UpdateButtons);
  connect(&refresh_, &QTimer::timeout, this, &UserListWindow::Refresh);
  refresh_.start(kRefreshMilliseconds);
  setWindowTitle("User information");
  resize(640, 320);
  ApplyDataTexts();
  Refresh();
}

void UserListWindow::ApplyDataTexts() {
  QStringList heads;
  for (const char* key : {"listID", "listChatname", "listChatroom", "listIP", "listVersion"}) heads << QtText(Text(key));
  userList_->setHeaderLabels(heads);
  // Every column but the last as wide as its texts; the last takes the rest.
  for (int column = 0; column + 1 < userList_->columnCount(); ++column) userList_->resizeColumnToContents(column);
}

void UserListWindow::Refresh() {
  std::vector<UserRow> rows = admin_.Users().Users();
  if (SameRows(rows, shown_) && userList_->topLevelItemCount() == static_cast<int>(rows.size())) return;
  const std::optional<UserRow> selected = Selected();
  userList_->clear();
  for (const UserRow& row : rows) {
    auto* item = new QTreeWidgetItem(userList_, QStringList{QString::number(row.id), QtText(row.nickname),
                                                            QtText(row.chatroom), QtText(row.address),
                                                            QtText(row.clientVersion)});
    item->setData(0, Qt::UserRole, static_cast<qlonglong>(row.id));
    if (selected && selected->id == row.id && selected->nickname == row.nickname) item->setSelected(true);
  }
  for (int column = 0; column + 1 < userList_->columnCount(); ++column) userList_->resizeColumnToContents(column);
  shown_ = std::move(rows);
  UpdateButtons();
}

bool UserListWindow::Select(const std::string& nickname) {
  for (int i = 0; i < userList_->topLevelItemCount(); ++i) {
    QTreeWidgetItem* item = userList_->topLevelItem(i);
    if (ServerText(item->text(1)) == nickname) {
      userList_->setCurrentItem(item);
      item->setSelected(true);
      return true;
    }
  }
  return false;
}

std::optional<UserRow> UserListWindow::Selected() const {
  const QList<QTreeWidgetItem*> items = userList_->selectedItems();
  if (items.isEmpty()) return std::nullopt;
  const long id = static_cast<long>(items.front()->data(0, Qt::UserRole).toLongLong());
  for (const UserRow& row : shown_) {
    if (row.id == id) return row;
  }
  return std::nullopt;
}

void UserListWindow::UpdateButtons() {
  const bool selected = !userList_->selectedItems().isEmpty();
  for (QPushButton* button : needSelection_) button->setEnabled(selected);
}

void UserListWindow::DisconnectSelected() {
  const std::optional<UserRow> user = Selected();
  if (!user || !Ask(Text("questionDisconnect"))) return;
  const AdminResult result = admin_.Audit().RecordWindow(
      "kick " + user->nickname, admin_.Users().Disconnect(user->nickname, ServerText(reasonEdit_->text())));
  if (!result.ok()) ShowRefusal(result);
  if (result.ok()) reasonEdit_->clear();
  userList_->clearSelection();
  Refresh();
}

void UserListWindow::BanSelected() {
  const std::optional<UserRow> user = Selected();
  if (!user) return;
  BanUserDialog ban(admin_, user->nickname, user->address, this);
  ban.SetLanguage(LanguageFilePath());
  if (ban.exec() == QDialog::Accepted) userList_->clearSelection();
  Refresh();
}

void UserListWindow::SendToSelected() {
  const std::optional<UserRow> user = Selected();
  if (!user) return;
  ServerMessageDialog editor(admin_, ServerMessageDialog::Mode::User, user->nickname, this);
  editor.SetLanguage(LanguageFilePath());
  editor.exec();
  Refresh();
}

void UserListWindow::SendToAll() {
  ServerMessageDialog editor(admin_, ServerMessageDialog::Mode::AllUsers, {}, this);
  editor.SetLanguage(LanguageFilePath());
  editor.exec();
}

}  // namespace velmorin
