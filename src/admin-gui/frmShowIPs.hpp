#pragma once
// The machine's IPv4 addresses, one per line (loopback left out). Refresh reads them again;
// Copy puts the selected address on the clipboard and says so below the list.

#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <string>

#include "admin-gui/AdminDialog.hpp"

namespace velmorin {

class AdminService;

class frmShowIPs : public AdminDialog {
  Q_OBJECT

 public:
  explicit frmShowIPs(AdminService& admin, QWidget* parent = nullptr);

  void Refresh();
  void CopySelected();
  QListWidget& List() { return *lstIPs_; }
  QLabel& Copied() { return *lblCopied_; }

 private:
  AdminService& admin_;
  QListWidget* lstIPs_;
  QLabel* lblCopied_;
  QPushButton* cmdCopy_;
};

}  // namespace velmorin
