#include "admin-gui/frmShowIPs.hpp"

#include <QApplication>
#include <QClipboard>
#include <QHBoxLayout>
#include <QVBoxLayout>

#include "admin-gui/GuiText.hpp"
#include "admin/AdminService.hpp"
#include "platform/Text.hpp"

namespace velmorin {

frmShowIPs::frmShowIPs(AdminService& admin, QWidget* parent) : AdminDialog("frmShowIPs", parent), admin_(admin) {
  lstIPs_ = new QListWidget(this);
  lstIPs_->setObjectName("lstIPs");
  lblCopied_ = new QLabel(this);
  lblCopied_->setObjectName("lblCopied");
  auto* cmdRefresh = new QPushButton("&Refresh", this);
  cmdRefresh->setObjectName("cmdRefresh");
  cmdCopy_ = new QPushButton("&Copy", this);
  cmdCopy_->setObjectName("cmdCopy");
  auto* cmdClose = new QPushButton("Close", this);
  cmdClose->setObjectName("cmdClose");
  auto* buttons = new QHBoxLayout;
  buttons->addWidget(cmdRefresh);
  buttons->addWidget(cmdCopy_);
  buttons->addStretch(1);
  buttons->addWidget(cmdClose);
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(lstIPs_, 1);
  layout->addWidget(lblCopied_);
  layout->addLayout(buttons);
  connect(cmdRefresh, &QPushButton::clicked, this, &frmShowIPs::Refresh);
  connect(cmdCopy_, &QPushButton::clicked, this, &frmShowIPs::CopySelected);
  connect(cmdClose, &QPushButton::clicked, this, &QDialog::close);
  connect(lstIPs_, &QListWidget::itemSelectionChanged, this,
          [this] { cmdCopy_->setEnabled(!lstIPs_->selectedItems().isEmpty()); });
  setWindowTitle("IP addresses");
  resize(300, 240);
  Refresh();
}

void frmShowIPs::Refresh() {
  lstIPs_->clear();
  lblCopied_->clear();
  for (const std::string& address : admin_.State().LocalAddresses()) lstIPs_->addItem(QtText(address));
  if (lstIPs_->count() > 0) lstIPs_->setCurrentRow(0);
  cmdCopy_->setEnabled(!lstIPs_->selectedItems().isEmpty());
}

void frmShowIPs::CopySelected() {
  const QList<QListWidgetItem*> items = lstIPs_->selectedItems();
  if (items.isEmpty()) return;
  const QString address = items.front()->text();
  QGuiApplication::clipboard()->setText(address);
  lblCopied_->setText(QtText(ReplaceAll(Text("copiedIP"), "%ip", ServerText(address))));
}

}  // namespace velmorin
