#pragma once
// Creates a live chatroom (protected: it stays when empty), kept in config/chatrooms.cfg as
// well when "permanent" is ticked. The fields are cleaned as the room dialogs clean them
// (name and password 40 characters, description 256) and shown cleaned before the room is
// added; an empty name, an existing room or a field holding characters Windows-1252 cannot
// carry is refused with its notice and the dialog stays. The password shows as dots.

#include <QCheckBox>
#include <QLineEdit>
#include <QPushButton>

#include "admin-gui/AdminDialog.hpp"

namespace velmorin {

class AdminService;

class CreateRoomDialog : public AdminDialog {
  Q_OBJECT

 public:
  explicit CreateRoomDialog(AdminService& admin, QWidget* parent = nullptr);

  QLineEdit& Name() { return *nameEdit_; }
  QLineEdit& Description() { return *descriptionEdit_; }
  QLineEdit& Password() { return *passwordEdit_; }
  QCheckBox& Permanent() { return *permanentCheck_; }
  AdminResult Create();

 private:
  AdminService& admin_;
  QLineEdit* nameEdit_;
  QLineEdit* descriptionEdit_;
  QLineEdit* passwordEdit_;
  QCheckBox* permanentCheck_;
  QPushButton* createButton_;
};

}  // namespace velmorin
