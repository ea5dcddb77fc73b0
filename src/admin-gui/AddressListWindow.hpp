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

class AddressListWindow : public AdminDialog {
  Q_OBJECT

 public:
  explicit AddressListWindow(AdminService& admin, QWidget* parent = nullptr);

  void Refresh();
  void CopySelected();
  QListWidget& List() { return *addressList_; }
  QLabel& Copied() { return *copiedLabel_; }

 private:
  AdminService& admin_;
  QListWidget* addressList_;
  QLabel* copiedLabel_;
  QPushButton* copyButton_;
};

}  // namespace velmorin
