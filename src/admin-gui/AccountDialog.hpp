#pragma once
// The account editor: name, password and comment of a user account, for the settings dialog's
// account list (add, edit). OK refuses a field holding characters Windows-1252 cannot carry
// ("invalidValue"), then cleans the fields (name and password 40 characters, comment 256)
// and shows them cleaned; an empty name is refused with "noticeMissingName". The entry then
// goes to `accept`, the owner's part (an existing name: "noticeExist"). A refusal is shown and
// the dialog stays open; on done it closes. In edit mode the name cannot be changed, and the
// password changes only when it was typed (the stored one is never shown); it shows as dots.

#include <QLineEdit>
#include <QPushButton>
#include <functional>
#include <string>

#include "admin-gui/AdminDialog.hpp"

namespace velmorin {

struct AccountFields {
  std::string name;
  std::string password;
  std::string comment;
  bool passwordTyped = true;
};

class AccountDialog : public AdminDialog {
  Q_OBJECT

 public:
  enum class Mode { Add, Edit };
  using Accept = std::function<AdminResult(const AccountFields&)>;

  AccountDialog(Mode mode, Accept accept, QWidget* parent = nullptr);

  void SetEntry(const AccountFields& entry);
  QLineEdit& Name() { return *nameEdit_; }
  QLineEdit& Password() { return *passwordEdit_; }
  QLineEdit& Comment() { return *commentEdit_; }
  AdminResult Confirm();

 private:
  Mode mode_;
  Accept accept_;
  QLineEdit* nameEdit_;
  QLineEdit* passwordEdit_;
  QLineEdit* commentEdit_;
  QPushButton* okButton_;
  bool passwordTyped_ = false;
};

}  // namespace velmorin
