#pragma once
// Bans a logged-in user: any of their address, their nickname, and every nickname containing
// it; then the administration disconnects them. Address and nickname are ticked at first, as
// velmorin-ctl's "ban user" chooses them; while the address is ticked, a line says how many other
// users are connected from it (counted as the dialog opens). A refusal (nothing chosen, the user
// gone, the rules not saved) is shown and changes nothing.

#include <QCheckBox>
#include <QLabel>
#include <QPushButton>
#include <string>

#include "admin-gui/AdminDialog.hpp"

namespace velmorin {

class AdminService;

class BanUserDialog : public AdminDialog {
  Q_OBJECT

 public:
  BanUserDialog(AdminService& admin, std::string nickname, std::string address, QWidget* parent = nullptr);

  QCheckBox& BanIP() { return *banAddressCheck_; }
  QCheckBox& BanNick() { return *banNicknameCheck_; }
  QCheckBox& BanNickRange() { return *banNicknameRangeCheck_; }
  // What OK does: bans with the chosen options and closes when done.
  AdminResult Ban();

 protected:
  void ApplyDataTexts() override;

 private:
  AdminService& admin_;
  std::string nickname_;
  std::string address_;
  QCheckBox* banAddressCheck_;
  QCheckBox* banNicknameCheck_;
  QCheckBox* banNicknameRangeCheck_;
  QLabel* lblSharedAddress_;
  long othersOnAddress_;
};

}  // namespace velmorin
