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

class frmCreateChat : public AdminDialog {
  Q_OBJECT

 public:
  explicit frmCreateChat(AdminService& admin, QWidget* parent = nullptr);

  QLineEdit& Name() { return *txtName_; }
  QLineEdit& Description() { return *txtDescription_; }
  QLineEdit& Password() { return *txtPassword_; }
  QCheckBox& Permanent() { return *chkPermanent_; }
  AdminResult Create();

 private:
  AdminService& admin_;
  QLineEdit* txtName_;
  QLineEdit* txtDescription_;
  QLineEdit* txtPassword_;
  QCheckBox* chkPermanent_;
  QPushButton* cmdCreate_;
};

}  // namespace velmorin
