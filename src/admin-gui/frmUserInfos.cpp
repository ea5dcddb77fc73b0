#include "admin-gui/frmUserInfos.hpp"

#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QVBoxLayout>

#include "admin-gui/GuiText.hpp"
#include "admin-gui/frmBanUser.hpp"
#include "admin-gui/frmSendServerMsg.hpp"
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

frmUserInfos::frmUserInfos(AdminService& admin, QWidget* parent) : AdminDialog("frmUserInfos", parent), admin_(admin) {
  lvwUsers_ = new QTreeWidget(this);
  lvwUsers_->setObjectName("lvwUsers");
  lvwUsers_->setRootIsDecorated(false);
  lvwUsers_->setColumnCount(5);
  lvwUsers_->setSelectionMode(QAbstractItemView::SingleSelection);
  lvwUsers_->setAllColumnsShowFocus(true);
  auto* buttons = new QVBoxLayout;
  const auto button = [&](const char* name, const char* text, void (frmUserInfos::*run)(), bool needsSelection) {
    auto* b = new QPushButton(text, this);
    b->setObjectName(name);
    connect(b, &QPushButton::clicked, this, run);
    buttons->addWidget(b);
    if (needsSelection) needSelection_.push_back(b);
  };
  button("cmdDisconnect", "&Disconnect", &frmUserInfos::DisconnectSelected, true);
  button("cmdBan", "&Ban...", &frmUserInfos::BanSelected, true);
  button("cmdSend", "&Send message...", &frmUserInfos::SendToSelected, true);
  button("cmdSendAll", "Send to &all...", &frmUserInfos::SendToAll, false);
  buttons->addStretch(1);
  button("cmdRefresh", "&Refresh", &frmUserInfos::Refresh, false);
  auto* cmdClose = new QPushButton("Close", this);
  cmdClose->setObjectName("cmdClose");
  connect(cmdClose, &QPushButton::clicked, this, &QDialog::close);
  buttons->addWidget(cmdClose);
  // The reason a disconnect gives the user, its room and the log.
  txtReason_ = new QLineEdit(this);
  txtReason_->setObjectName("txtReason");
  txtReason_->setMaxLength(static_cast<int>(kMaxKickReasonLength));
  auto* lblReason = new QLabel("Reas&on for a disconnect:", this);
  lblReason->setObjectName("lblReason");
  lblReason->setBuddy(txtReason_);
  auto* reasonRow = new QHBoxLayout;
  reasonRow->addWidget(lblReason);
  reasonRow->addWidget(txtReason_, 1);
  auto* listColumn = new QVBoxLayout;
  listColumn->addWidget(lvwUsers_, 1);
  listColumn->addLayout(reasonRow);
  auto* layout = new QHBoxLayout(this);
  layout->addLayout(listColumn, 1);
  layout->addLayout(buttons);
  connect(lvwUsers_, &QTreeWidget::itemSelectionChanged, this, &frmUserInfos::UpdateButtons);
  connect(&refresh_, &QTimer::timeout, this, &frmUserInfos::Refresh);
  refresh_.start(kRefreshMilliseconds);
  setWindowTitle("User information");
  resize(640, 320);
  ApplyDataTexts();
  Refresh();
}

void frmUserInfos::ApplyDataTexts() {
  QStringList heads;
  for (const char* key : {"listID", "listChatname", "listChatroom", "listIP", "listVersion"}) heads << QtText(Text(key));
  lvwUsers_->setHeaderLabels(heads);
  // Every column but the last as wide as its texts; the last takes the rest.
  for (int column = 0; column + 1 < lvwUsers_->columnCount(); ++column) lvwUsers_->resizeColumnToContents(column);
}

void frmUserInfos::Refresh() {
  std::vector<UserRow> rows = admin_.Users().Users();
  if (SameRows(rows, shown_) && lvwUsers_->topLevelItemCount() == static_cast<int>(rows.size())) return;
  const std::optional<UserRow> selected = Selected();
  lvwUsers_->clear();
  for (const UserRow& row : rows) {
    auto* item = new QTreeWidgetItem(lvwUsers_, QStringList{QString::number(row.id), QtText(row.nickname),
                                                            QtText(row.chatroom), QtText(row.address),
                                                            QtText(row.clientVersion)});
    item->setData(0, Qt::UserRole, static_cast<qlonglong>(row.id));
    if (selected && selected->id == row.id && selected->nickname == row.nickname) item->setSelected(true);
  }
  for (int column = 0; column + 1 < lvwUsers_->columnCount(); ++column) lvwUsers_->resizeColumnToContents(column);
  shown_ = std::move(rows);
  UpdateButtons();
}

bool frmUserInfos::Select(const std::string& nickname) {
  for (int i = 0; i < lvwUsers_->topLevelItemCount(); ++i) {
    QTreeWidgetItem* item = lvwUsers_->topLevelItem(i);
    if (ServerText(item->text(1)) == nickname) {
      lvwUsers_->setCurrentItem(item);
      item->setSelected(true);
      return true;
    }
  }
  return false;
}

std::optional<UserRow> frmUserInfos::Selected() const {
  const QList<QTreeWidgetItem*> items = lvwUsers_->selectedItems();
  if (items.isEmpty()) return std::nullopt;
  const long id = static_cast<long>(items.front()->data(0, Qt::UserRole).toLongLong());
  for (const UserRow& row : shown_) {
    if (row.id == id) return row;
  }
  return std::nullopt;
}

void frmUserInfos::UpdateButtons() {
  const bool selected = !lvwUsers_->selectedItems().isEmpty();
  for (QPushButton* button : needSelection_) button->setEnabled(selected);
}

void frmUserInfos::DisconnectSelected() {
  const std::optional<UserRow> user = Selected();
  if (!user || !Ask(Text("questionDisconnect"))) return;
  const AdminResult result = admin_.Audit().RecordWindow(
      "kick " + user->nickname, admin_.Users().Disconnect(user->nickname, ServerText(txtReason_->text())));
  if (!result) ShowRefusal(result);
  if (result) txtReason_->clear();
  lvwUsers_->clearSelection();
  Refresh();
}

void frmUserInfos::BanSelected() {
  const std::optional<UserRow> user = Selected();
  if (!user) return;
  frmBanUser ban(admin_, user->nickname, user->address, this);
  ban.SetLanguage(LanguageFile());
  if (ban.exec() == QDialog::Accepted) lvwUsers_->clearSelection();
  Refresh();
}

void frmUserInfos::SendToSelected() {
  const std::optional<UserRow> user = Selected();
  if (!user) return;
  frmSendServerMsg editor(admin_, frmSendServerMsg::Mode::User, user->nickname, this);
  editor.SetLanguage(LanguageFile());
  editor.exec();
  Refresh();
}

void frmUserInfos::SendToAll() {
  frmSendServerMsg editor(admin_, frmSendServerMsg::Mode::AllUsers, {}, this);
  editor.SetLanguage(LanguageFile());
  editor.exec();
}

}  // namespace velmorin
