#pragma once
// The chatroom list: every live room with ID, name, members, password mark and description.
// Send (a server message to the members; an empty room shows "noticeEmpty"), add (a new live
// room, CreateRoomDialog), edit (description and password of the room, RoomDialog) and
// remove (asks "questionDel" when the room has members; the administration closes the room for
// each member with "closeChatroom"). The list is read again every second, rebuilt when it
// changed, and after every action.

#include <QPushButton>
#include <QTimer>
#include <QTreeWidget>
#include <optional>
#include <string>
#include <vector>

#include "admin-gui/AdminDialog.hpp"
#include "admin/RoomAdmin.hpp"

namespace velmorin {

class AdminService;

class RoomListWindow : public AdminDialog {
  Q_OBJECT

 public:
  explicit RoomListWindow(AdminService& admin, QWidget* parent = nullptr);

  void Refresh();
  QTreeWidget& List() { return *roomList_; }
  bool Select(const std::string& name);
  std::optional<LiveRoom> Selected() const;

  void SendToSelected();
  void AddRoom();
  void EditSelected();
  void RemoveSelected();

 protected:
  void ApplyDataTexts() override;

 private:
  void UpdateButtons();

  AdminService& admin_;
  QTreeWidget* roomList_;
  std::vector<QPushButton*> needSelection_;
  QTimer refresh_;
  std::vector<LiveRoom> shown_;
};

}  // namespace velmorin
