#include "admin-gui/frmBanUser.hpp"

#include <QHBoxLayout>
#include <QVBoxLayout>

#include "admin-gui/GuiText.hpp"
#include "admin/AdminService.hpp"
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
  chkBanIP_->setChecked(true);
  chkBanIP_->setEnabled(!address_.empty());
  auto* cmdOK = new QPushButton("OK", this);
  cmdOK->setObjectName("cmdOK");
  cmdOK->setDefault(true);
  auto* cmdCancel = new QPushButton("Cancel", this);
  cmdCancel->setObjectName("cmdCancel");
  auto* buttons = new QHBoxLayout;
  buttons->addStretch(1);
  buttons->addWidget(cmdOK);
  buttons->addWidget(cmdCancel);
  auto* layout = new QVBoxLayout(this);
  for (QCheckBox* box : {chkBanIP_, chkBanNick_, chkBanNickRange_}) layout->addWidget(box);
  layout->addLayout(buttons);
  connect(cmdOK, &QPushButton::clicked, this, [this] { Ban(); });
  connect(cmdCancel, &QPushButton::clicked, this, &QDialog::reject);
  ApplyDataTexts();
}

void frmBanUser::ApplyDataTexts() {
  setWindowTitle(QtText(Text("titleBanUser")));
  chkBanIP_->setText(QtText(ReplaceAll(Text("chkBanIP"), "%ip", address_)));
  chkBanNick_->setText(QtText(ReplaceAll(Text("chkBanNick"), "%nick", nickname_)));
  chkBanNickRange_->setText(QtText(ReplaceAll(Text("chkBanNickRange"), "%nick", nickname_)));
}

AdminResult frmBanUser::Ban() {
  BanUserChoice choice;
  choice.address = chkBanIP_->isChecked() && chkBanIP_->isEnabled();
  choice.nickname = chkBanNick_->isChecked();
  choice.nicknamePart = chkBanNickRange_->isChecked();
  const AdminResult result = admin_.Bans().BanUser(nickname_, choice);
  if (!result) {
    ShowRefusal(result);
    return result;
  }
  accept();
  return result;
}

}  // namespace velmorin
