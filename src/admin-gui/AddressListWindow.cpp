#include "admin-gui/AddressListWindow.hpp"

#include <QApplication>
#include <QClipboard>
#include <QVBoxLayout>

#include "admin-gui/DialogButtons.hpp"
#include "admin-gui/GuiText.hpp"
#include "admin/AdminService.hpp"
#include "platform/Text.hpp"

namespace velmorin {

AddressListWindow::AddressListWindow(AdminService& admin, QWidget* parent) : AdminDialog("frmShowIPs", parent), admin_(admin) {
  addressList_ = new QListWidget(this);
  addressList_->setObjectName("lstIPs");
  copiedLabel_ = new QLabel(this);
  copiedLabel_->setObjectName("lblCopied");
  QDialogButtonBox* buttons = DialogButtons(*this);
  QPushButton* refreshButton = AddDialogButton(*buttons, "cmdRefresh", "&Refresh", QDialogButtonBox::ActionRole);
  copyButton_ = AddDialogButton(*buttons, "cmdCopy", "&Copy", QDialogButtonBox::ActionRole);
  QPushButton* closeButton = AddDialogButton(*buttons, "cmdClose", "Close", QDialogButtonBox::RejectRole);
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(addressList_, 1);
  layout->addWidget(copiedLabel_);
  layout->addWidget(buttons);
  connect(refreshButton, &QPushButton::clicked, this, &AddressListWindow::Refresh);
  connect(copyButton_, &QPushButton::clicked, this, &AddressListWindow::CopySelected);
  connect(closeButton, &QPushButton::clicked, this, &QDialog::close);
  connect(addressList_, &QListWidget::itemSelectionChanged, this,
          [this] { copyButton_->setEnabled(!addressList_->selectedItems().isEmpty()); });
  setWindowTitle("IP addresses");
  resize(300, 240);
  Refresh();
}

void AddressListWindow::Refresh() {
  addressList_->clear();
  copiedLabel_->clear();
  for (const std::string& address : admin_.State().LocalAddresses()) addressList_->addItem(QtText(address));
  if (addressList_->count() > 0) addressList_->setCurrentRow(0);
  copyButton_->setEnabled(!addressList_->selectedItems().isEmpty());
}

void AddressListWindow::CopySelected() {
  const QList<QListWidgetItem*> items = addressList_->selectedItems();
  if (items.isEmpty()) return;
  const QString address = items.front()->text();
  QGuiApplication::clipboard()->setText(address);
  copiedLabel_->setText(QtText(ReplaceAll(Text("copiedIP"), "%ip", ServerText(address))));
}

}  // namespace velmorin
