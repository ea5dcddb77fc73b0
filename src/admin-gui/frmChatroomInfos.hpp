#pragma once
// The chatroom list: every live room with ID, name, members, password mark and description.
// Send (a server message to the members; an empty room shows "noticeEmpty"), add (a new live
// room, frmCreateChat), edit (description and password of the room, frmAddEditChatroom) and
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

class frmChatroomInfos : public AdminDialog {
  Q_OBJECT

 public:
  explicit frmChatroomInfos(AdminService& admin, QWidget* parent = nullptr);

  void Refresh();
  QTreeWidget& List() { return *lvwChatrooms_; }
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
  QTreeWidget* lvwChatrooms_;
  std::vector<QPushButton*> needSelection_;
  QTimer refresh_;
  std::vector<LiveRoom> shown_;
};

}  // namespace velmorin
