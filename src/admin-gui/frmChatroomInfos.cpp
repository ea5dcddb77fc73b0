#include "admin-gui/frmChatroomInfos.hpp"

#include <QHBoxLayout>
#include <QVBoxLayout>

#include "admin-gui/GuiText.hpp"
#include "admin-gui/frmAddEditChatroom.hpp"
#include "admin-gui/frmCreateChat.hpp"
#include "admin-gui/frmSendServerMsg.hpp"
#include "admin/AdminService.hpp"
#include "platform/Text.hpp"

namespace velmorin {
namespace {

constexpr int kRefreshMilliseconds = 1000;

bool SameRooms(const std::vector<LiveRoom>& a, const std::vector<LiveRoom>& b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    if (a[i].id != b[i].id || a[i].name != b[i].name || a[i].members != b[i].members ||
        a[i].hasPassword != b[i].hasPassword || a[i].description != b[i].description) {
      return false;
    }
  }
  return true;
}

}  // namespace

frmChatroomInfos::frmChatroomInfos(AdminService& admin, QWidget* parent)
    : AdminDialog("frmChatroomInfos", parent), admin_(admin) {
  lvwChatrooms_ = new QTreeWidget(this);
  lvwChatrooms_->setObjectName("lvwChatrooms");
  lvwChatrooms_->setRootIsDecorated(false);
  lvwChatrooms_->setColumnCount(5);
  lvwChatrooms_->setSelectionMode(QAbstractItemView::SingleSelection);
  lvwChatrooms_->setAllColumnsShowFocus(true);
  auto* buttons = new QVBoxLayout;
  const auto button = [&](const char* name, const char* text, void (frmChatroomInfos::*run)(), bool needsSelection) {
    auto* b = new QPushButton(text, this);
    b->setObjectName(name);
    connect(b, &QPushButton::clicked, this, run);
    buttons->addWidget(b);
    if (needsSelection) needSelection_.push_back(b);
  };
  button("cmdSend", "&Send message...", &frmChatroomInfos::SendToSelected, true);
  button("cmdAdd", "&Add...", &frmChatroomInfos::AddRoom, false);
  button("cmdEdit", "&Edit...", &frmChatroomInfos::EditSelected, true);
  button("cmdRemove", "Re&move", &frmChatroomInfos::RemoveSelected, true);
  buttons->addStretch(1);
  button("cmdRefresh", "&Refresh", &frmChatroomInfos::Refresh, false);
  auto* cmdClose = new QPushButton("Close", this);
  cmdClose->setObjectName("cmdClose");
  connect(cmdClose, &QPushButton::clicked, this, &QDialog::close);
  buttons->addWidget(cmdClose);
  auto* layout = new QHBoxLayout(this);
  layout->addWidget(lvwChatrooms_, 1);
  layout->addLayout(buttons);
  connect(lvwChatrooms_, &QTreeWidget::itemSelectionChanged, this, &frmChatroomInfos::UpdateButtons);
  connect(&refresh_, &QTimer::timeout, this, &frmChatroomInfos::Refresh);
  refresh_.start(kRefreshMilliseconds);
  setWindowTitle("Chatroom information");
  resize(640, 320);
  ApplyDataTexts();
  Refresh();
}

void frmChatroomInfos::ApplyDataTexts() {
  QStringList heads;
  for (const char* key : {"listID", "listName", "listPersons", "listPassword", "listDescription"}) {
    heads << QtText(Text(key));
  }
  lvwChatrooms_->setHeaderLabels(heads);
  // Every column but the last as wide as its texts; the last takes the rest.
  for (int column = 0; column + 1 < lvwChatrooms_->columnCount(); ++column) lvwChatrooms_->resizeColumnToContents(column);
}

void frmChatroomInfos::Refresh() {
  std::vector<LiveRoom> rooms = admin_.Rooms().Live();
  if (SameRooms(rooms, shown_) && lvwChatrooms_->topLevelItemCount() == static_cast<int>(rooms.size())) return;
  const std::optional<LiveRoom> selected = Selected();
  lvwChatrooms_->clear();
  for (const LiveRoom& room : rooms) {
    auto* item = new QTreeWidgetItem(
        lvwChatrooms_, QStringList{QString::number(room.id), QtText(room.name), QString::number(room.members),
                                   room.hasPassword ? QStringLiteral("*") : QString(), QtText(room.description)});
    item->setData(0, Qt::UserRole, static_cast<qlonglong>(room.id));
    if (selected && selected->id == room.id && selected->name == room.name) item->setSelected(true);
  }
  for (int column = 0; column + 1 < lvwChatrooms_->columnCount(); ++column) lvwChatrooms_->resizeColumnToContents(column);
  shown_ = std::move(rooms);
  UpdateButtons();
}

bool frmChatroomInfos::Select(const std::string& name) {
  for (int i = 0; i < lvwChatrooms_->topLevelItemCount(); ++i) {
    QTreeWidgetItem* item = lvwChatrooms_->topLevelItem(i);
    if (EqualsNoCase(ServerText(item->text(1)), name)) {
      lvwChatrooms_->setCurrentItem(item);
      item->setSelected(true);
      return true;
    }
  }
  return false;
}

std::optional<LiveRoom> frmChatroomInfos::Selected() const {
  const QList<QTreeWidgetItem*> items = lvwChatrooms_->selectedItems();
  if (items.isEmpty()) return std::nullopt;
  const long id = static_cast<long>(items.front()->data(0, Qt::UserRole).toLongLong());
  for (const LiveRoom& room : shown_) {
    if (room.id == id) return room;
  }
  return std::nullopt;
}

void frmChatroomInfos::UpdateButtons() {
  const bool selected = !lvwChatrooms_->selectedItems().isEmpty();
  for (QPushButton* button : needSelection_) button->setEnabled(selected);
}

void frmChatroomInfos::SendToSelected() {
  Refresh();  // the member count of now, not of the last refresh
  const std::optional<LiveRoom> room = Selected();
  if (!room) return;
  if (room->members < 1) {
    Notice("noticeEmpty");
    return;
  }
  frmSendServerMsg editor(admin_, frmSendServerMsg::Mode::Chatroom, room->name, this);
  editor.SetLanguage(LanguageFile());
  editor.exec();
}

void frmChatroomInfos::AddRoom() {
  frmCreateChat creator(admin_, this);
  creator.SetLanguage(LanguageFile());
  creator.exec();
  Refresh();
}

void frmChatroomInfos::EditSelected() {
  const std::optional<LiveRoom> room = Selected();
  if (!room) return;
  RoomAdmin& rooms = admin_.Rooms();
  frmAddEditChatroom editor(frmAddEditChatroom::Mode::EditLive, [&rooms](const RoomEntry& entry) {
    RoomChange change;
    change.description = entry.description;
    if (entry.passwordTyped) change.password = entry.password;
    return rooms.Edit(entry.name, change);
  }, this);
  editor.SetLanguage(LanguageFile());
  editor.SetEntry({room->name, room->description, {}, false});
  editor.exec();
  Refresh();
}

void frmChatroomInfos::RemoveSelected() {
  Refresh();
  const std::optional<LiveRoom> room = Selected();
  if (!room) return;
  // Asked every time: a stored room goes from chatrooms.cfg for good.
  const std::string question = room->members > 0 ? ReplaceAll(Text("questionDel"), "%count", std::to_string(room->members))
                                                 : ReplaceAll(Text("questionDelEmpty"), "%name", room->name);
  if (!Ask(question)) return;
  const AdminResult result = admin_.Audit().RecordWindow("room remove " + room->name, admin_.Rooms().Remove(room->name, true));
  if (!result) ShowRefusal(result);
  lvwChatrooms_->clearSelection();
  Refresh();
}

}  // namespace velmorin
