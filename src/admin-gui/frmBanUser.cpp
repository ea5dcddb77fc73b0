#include "admin-gui/frmBanUser.hpp"

#include <QHBoxLayout>
#include <QVBoxLayout>

#include "admin-gui/GuiText.hpp"
#include "admin/AdminService.hpp"
#include "admin/BanAdmin.hpp"
#include "platform/Text.hpp"

namespace velmorin {

frmBanUser::frmBanUser(AdminService& admin, std::string nickname, std::string address, QWidget* parent)
    : AdminDialog("frmBanUser", parent), admin_(admin), nickname_(std::move(nickname)), address_(std::move(address)) {
  chkBanIP_ = new QCheckBox(this);
  chkBanIP_->setObjectName("chkBanIP");
  chkBanNick_ = new QCheckBox(this);
  chkBanNick_->setObjectName("chkBanNick");
  chkBanNickRange_ = new QCheckBox(this);
  chkBanNickRange_->setObjectName("chkBanNickRange");
  chkBanIP_->setChecked(kDefaultBanUserChoice.address);
  chkBanIP_->setEnabled(!address_.empty());
  chkBanNick_->setChecked(kDefaultBanUserChoice.nickname);
  chkBanNickRange_->setChecked(kDefaultBanUserChoice.nicknamePart);
  lblSharedAddress_ = new QLabel(this);
  lblSharedAddress_->setObjectName("lblSharedAddress");
  lblSharedAddress_->setWordWrap(true);
  othersOnAddress_ = address_.empty() ? 0 : admin_.Bans().OthersOnAddress(nickname_);
  const auto showShared = [this] {
    lblSharedAddress_->setHidden(othersOnAddress_ == 0 || !chkBanIP_->isChecked() || !chkBanIP_->isEnabled());
  };
  connect(chkBanIP_, &QCheckBox::toggled, this, showShared);
  showShared();
  auto* layout = new QVBoxLayout(this);
  for (QCheckBox* box : {chkBanIP_, chkBanNick_, chkBanNickRange_}) layout->addWidget(box);
  layout->addWidget(lblSharedAddress_);
  AddConfirmRow(*layout, "cmdOK", "OK", [this] { Ban(); });
  ApplyDataTexts();
}

void frmBanUser::ApplyDataTexts() {
  setWindowTitle(QtText(Text("titleBanUser")));
  chkBanIP_->setText(QtText(ReplaceAll(Text("chkBanIP"), "%ip", address_)));
  chkBanNick_->setText(QtText(ReplaceAll(Text("chkBanNick"), "%nick", nickname_)));
  chkBanNickRange_->setText(QtText(ReplaceAll(Text("chkBanNickRange"), "%nick", nickname_)));
  lblSharedAddress_->setText(
      QtText(ReplaceAll(Text(SharedAddressKey(othersOnAddress_)), "%count", std::to_string(othersOnAddress_))));
}

AdminResult frmBanUser::Ban() {
  BanUserChoice choice;
  choice.address = chkBanIP_->isChecked() && chkBanIP_->isEnabled();
  choice.nickname = chkBanNick_->isChecked();
  choice.nicknamePart = chkBanNickRange_->isChecked();
  const std::string action = std::string("ban user ") + nickname_ + (choice.address ? " --ip" : "") +
                             (choice.nickname ? " --nick" : "") + (choice.nicknamePart ? " --nickpart" : "");
  const AdminResult result = admin_.Audit().RecordWindow(action, admin_.Bans().BanUser(nickname_, choice));
  return AcceptUnlessRefused(result);
}

}  // namespace velmorin
