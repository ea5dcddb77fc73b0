#pragma once
// The user list: every logged-in user with ID, nickname, chatroom, address and client version.
// Disconnect (after a question, with the reason typed below the list), ban (BanUserDialog), and server messages to the selected user or
// to everybody (ServerMessageDialog). The list follows the server by itself (it is read again
// every second and rebuilt when it changed) and after every action; a selection whose user
// left is dropped, and the buttons that need one are disabled.

#include <QLineEdit>
#include <QPushButton>
#include <QTimer>
#include <QTreeWidget>
#include <optional>
#include <string>
#include <vector>

#include "admin-gui/AdminDialog.hpp"
#include "admin/UserAdmin.hpp"

namespace velmorin {

class AdminService;

class UserListWindow : public AdminDialog {
  Q_OBJECT

 public:
  explicit UserListWindow(AdminService& admin, QWidget* parent = nullptr);

  void Refresh();
  QTreeWidget& List() { return *userList_; }
  // Selects the row of the user with that nickname; false when there is none.
  bool Select(const std::string& nickname);
  std::optional<UserRow> Selected() const;

  // The buttons' actions.
  void DisconnectSelected();
  void BanSelected();
  void SendToSelected();
  void SendToAll();

 protected:
  void ApplyDataTexts() override;

 private:
  void UpdateButtons();

  AdminService& admin_;
  QTreeWidget* userList_;
  QLineEdit* reasonEdit_;
  std::vector<QPushButton*> needSelection_;
  QTimer refresh_;
  std::vector<UserRow> shown_;
};

}  // namespace velmorin
