#include "admin-gui/RoomListWindow.hpp"

#include <QHBoxLayout>
#include <QVBoxLayout>

#include "admin-gui/CreateRoomDialog.hpp"
#include "admin-gui/GuiText.hpp"
#include "admin-gui/RoomDialog.hpp"
#include "admin-gui/ServerMessageDialog.hpp"
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

RoomListWindow::RoomListWindow(AdminService& admin, QWidget* parent)
    : AdminDialog("frmChatroomInfos", parent), admin_(admin) {
  roomList_ = new QTreeWidget(this);
  roomList_->setObjectName("lvwChatrooms");
  roomList_->setRootIsDecorated(false);
  roomList_->setColumnCount(5);
  roomList_->setSelectionMode(QAbstractItemView::SingleSelection);
  roomList_->setAllColumnsShowFocus(true);
  auto* buttons = new QVBoxLayout;
  const auto button = [&](const char* name, const char* text, void (RoomListWindow::*run)(), bool needsSelection) {
    auto* b = new QPushButton(text, this);
    b->setObjectName(name);
    connect(b, &QPushButton::clicked, this, run);
    buttons->addWidget(b);
    if (needsSelection) needSelection_.push_back(b);
  };
  button("cmdSend", "&Send message...", &RoomListWindow::SendToSelected, true);
  button("cmdAdd", "&Add...", &RoomListWindow::AddRoom, false);
  button("cmdEdit", "&Edit...", &RoomListWindow::EditSelected, true);
  button("cmdRemove", "Re&move", &RoomListWindow::RemoveSelected, true);
  buttons->addStretch(1);
  button("cmdRefresh", "&Refresh", &RoomListWindow::Refresh, false);
  auto* closeButton = new QPushButton("Close", this);
  closeButton->setObjectName("cmdClose");
  connect(closeButton, &QPushButton::clicked, this, &QDialog::close);
  buttons->addWidget(closeButton);
  auto* layout = new QHBoxLayout(this);
  layout->addWidget(roomList_, 1);
  layout->addLayout(buttons);
  connect(roomList_, &QTreeWidget::itemSelectionChanged, this, &RoomListWindow::UpdateButtons);
  connect(&refresh_, &QTimer::timeout, this, &RoomListWindow::Refresh);
  refresh_.start(kRefreshMilliseconds);
  setWindowTitle("Chatroom information");
  resize(640, 320);
  ApplyDataTexts();
  Refresh();
}

void RoomListWindow::ApplyDataTexts() {
  QStringList heads;
  for (const char* key : {"listID", "listName", "listPersons", "listPassword", "listDescription"}) {
    heads << QtText(Text(key));
  }
  roomList_->setHeaderLabels(heads);
  // Every column but the last as wide as its texts; the last takes the rest.
  for (int column = 0; column + 1 < roomList_->columnCount(); ++column) roomList_->resizeColumnToContents(column);
}

void RoomListWindow::Refresh() {
  std::vector<LiveRoom> rooms = admin_.Rooms().Live();
  if (SameRooms(rooms, shown_) && roomList_->topLevelItemCount() == static_cast<int>(rooms.size())) return;
  const std::optional<LiveRoom> selected = Selected();
  roomList_->clear();
  for (const LiveRoom& room : rooms) {
    auto* item = new QTreeWidgetItem(
        roomList_, QStringList{QString::number(room.id), QtText(room.name), QString::number(room.members),
                                   room.hasPassword ? QStringLiteral("*") : QString(), QtText(room.description)});
    item->setData(0, Qt::UserRole, static_cast<qlonglong>(room.id));
    if (selected && selected->id == room.id && selected->name == room.name) item->setSelected(true);
  }
  for (int column = 0; column + 1 < roomList_->columnCount(); ++column) roomList_->resizeColumnToContents(column);
  shown_ = std::move(rooms);
  UpdateButtons();
}

bool RoomListWindow::Select(const std::string& name) {
  for (int i = 0; i < roomList_->topLevelItemCount(); ++i) {
    QTreeWidgetItem* item = roomList_->topLevelItem(i);
    if (EqualsNoCase(ServerText(item->text(1)), name)) {
      roomList_->setCurrentItem(item);
      item->setSelected(true);
      return true;
    }
  }
  return false;
}

std::optional<LiveRoom> RoomListWindow::Selected() const {
  const QList<QTreeWidgetItem*> items = roomList_->selectedItems();
  if (items.isEmpty()) return std::nullopt;
  const long id = static_cast<long>(items.front()->data(0, Qt::UserRole).toLongLong());
  for (const LiveRoom& room : shown_) {
    if (room.id == id) return room;
  }
  return std::nullopt;
}

void RoomListWindow::UpdateButtons() {
  const bool selected = !roomList_->selectedItems().isEmpty();
  for (QPushButton* button : needSelection_) button->setEnabled(selected);
}

void RoomListWindow::SendToSelected() {
  Refresh();  // the member count of now, not of the last refresh
  const std::optional<LiveRoom> room = Selected();
  if (!room) return;
  if (room->members < 1) {
    Notice("noticeEmpty");
    return;
  }
  ServerMessageDialog editor(admin_, ServerMessageDialog::Mode::Chatroom, room->name, this);
  editor.SetLanguage(LanguageFilePath());
  editor.exec();
}

void RoomListWindow::AddRoom() {
  CreateRoomDialog creator(admin_, this);
  creator.SetLanguage(LanguageFilePath());
  creator.exec();
  Refresh();
}

void RoomListWindow::EditSelected() {
  const std::optional<LiveRoom> room = Selected();
  if (!room) return;
  RoomAdmin& rooms = admin_.Rooms();
  RoomDialog editor(RoomDialog::Mode::EditLive, [&rooms](const RoomEntry& entry) {
    RoomChange change;
    change.description = entry.description;
    if (entry.passwordTyped) change.password = entry.password;
    return rooms.Edit(entry.name, change);
  }, this);
  editor.SetLanguage(LanguageFilePath());
  editor.SetEntry({room->name, room->description, {}, false});
  editor.exec();
  Refresh();
}

void RoomListWindow::RemoveSelected() {
  Refresh();
  const std::optional<LiveRoom> room = Selected();
  if (!room) return;
  // Asked every time: a stored room goes from chatrooms.cfg for good.
  const std::string question = room->members > 0 ? ReplaceAll(Text("questionDel"), "%count", std::to_string(room->members))
                                                 : ReplaceAll(Text("questionDelEmpty"), "%name", room->name);
  if (!Ask(question)) return;
  const AdminResult result = admin_.Audit().RecordWindow("room remove " + room->name, admin_.Rooms().Remove(room->name, true));
  if (!result.ok()) ShowRefusal(result);
  roomList_->clearSelection();
  Refresh();
}

}  // namespace velmorin
