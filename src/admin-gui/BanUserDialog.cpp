#include "admin-gui/BanUserDialog.hpp"

#include <QHBoxLayout>
#include <QVBoxLayout>

#include "admin-gui/GuiText.hpp"
#include "admin/AdminService.hpp"
#include "admin/BanAdmin.hpp"
#include "platform/Text.hpp"

namespace velmorin {

BanUserDialog::BanUserDialog(AdminService& admin, std::string nickname, std::string address, QWidget* parent)
    : AdminDialog("frmBanUser", parent), admin_(admin), nickname_(std::move(nickname)), address_(std::move(address)) {
  banAddressCheck_ = new QCheckBox(this);
  banAddressCheck_->setObjectName("chkBanIP");
  banNicknameCheck_ = new QCheckBox(this);
  banNicknameCheck_->setObjectName("chkBanNick");
  banNicknameRangeCheck_ = new QCheckBox(this);
  banNicknameRangeCheck_->setObjectName("chkBanNickRange");
  banAddressCheck_->setChecked(kDefaultBanUserChoice.address);
  banAddressCheck_->setEnabled(!address_.empty());
  banNicknameCheck_->setChecked(kDefaultBanUserChoice.nickname);
  banNicknameRangeCheck_->setChecked(kDefaultBanUserChoice.nicknamePart);
  lblSharedAddress_ = new QLabel(this);
  lblSharedAddress_->setObjectName("lblSharedAddress");
  lblSharedAddress_->setWordWrap(true);
  othersOnAddress_ = address_.empty() ? 0 : admin_.Bans().OthersOnAddress(nickname_);
  const auto showShared = [this] {
    lblSharedAddress_->setHidden(othersOnAddress_ == 0 || !banAddressCheck_->isChecked() || !banAddressCheck_->isEnabled());
  };
  connect(banAddressCheck_, &QCheckBox::toggled, this, showShared);
  showShared();
  auto* layout = new QVBoxLayout(this);
  for (QCheckBox* box : {banAddressCheck_, banNicknameCheck_, banNicknameRangeCheck_}) layout->addWidget(box);
  layout->addWidget(lblSharedAddress_);
  AddConfirmRow(*layout, "cmdOK", "OK", [this] { Ban(); });
  ApplyDataTexts();
}

void BanUserDialog::ApplyDataTexts() {
  setWindowTitle(QtText(Text("titleBanUser")));
  banAddressCheck_->setText(QtText(ReplaceAll(Text("chkBanIP"), "%ip", address_)));
  banNicknameCheck_->setText(QtText(ReplaceAll(Text("chkBanNick"), "%nick", nickname_)));
  banNicknameRangeCheck_->setText(QtText(ReplaceAll(Text("chkBanNickRange"), "%nick", nickname_)));
  lblSharedAddress_->setText(
      QtText(ReplaceAll(Text(SharedAddressKey(othersOnAddress_)), "%count", std::to_string(othersOnAddress_))));
}

AdminResult BanUserDialog::Ban() {
  BanUserChoice choice;
  choice.address = banAddressCheck_->isChecked() && banAddressCheck_->isEnabled();
  choice.nickname = banNicknameCheck_->isChecked();
  choice.nicknamePart = banNicknameRangeCheck_->isChecked();
  const std::string action = std::string("ban user ") + nickname_ + (choice.address ? " --ip" : "") +
                             (choice.nickname ? " --nick" : "") + (choice.nicknamePart ? " --nickpart" : "");
  const AdminResult result = admin_.Audit().RecordWindow(action, admin_.Bans().BanUser(nickname_, choice));
  return AcceptUnlessRefused(result);
}

}  // namespace velmorin
