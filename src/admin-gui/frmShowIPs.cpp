#include "admin-gui/frmShowIPs.hpp"

#include <QApplication>
#include <QClipboard>
#include <QVBoxLayout>

#include "admin-gui/DialogButtons.hpp"
#include "admin-gui/GuiText.hpp"
#include "admin/AdminService.hpp"
#include "platform/Text.hpp"

namespace velmorin {

frmShowIPs::frmShowIPs(AdminService& admin, QWidget* parent) : AdminDialog("frmShowIPs", parent), admin_(admin) {
  lstIPs_ = new QListWidget(this);
  lstIPs_->setObjectName("lstIPs");
  lblCopied_ = new QLabel(this);
  lblCopied_->setObjectName("lblCopied");
  QDialogButtonBox* buttons = DialogButtons(*this);
  QPushButton* cmdRefresh = AddDialogButton(*buttons, "cmdRefresh", "&Refresh", QDialogButtonBox::ActionRole);
  cmdCopy_ = AddDialogButton(*buttons, "cmdCopy", "&Copy", QDialogButtonBox::ActionRole);
  QPushButton* cmdClose = AddDialogButton(*buttons, "cmdClose", "Close", QDialogButtonBox::RejectRole);
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(lstIPs_, 1);
  layout->addWidget(lblCopied_);
  layout->addWidget(buttons);
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
