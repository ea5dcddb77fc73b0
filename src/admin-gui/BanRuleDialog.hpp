#pragma once
// The address ban editor: one address (its parts may be "*") or a range of two plain addresses,
// entered with AddressEdit. An incomplete address is refused with "noticeIP", a range with an
// incomplete end with "noticeIP_Range", one with its ends in the wrong order with
// "noticeIP_Backward". The entry (the
// address, or from "-" to) then goes to `accept`, the owner's part (a duplicate:
// "noticeAlreadyBannedIP"). A refusal is shown and the dialog stays open; on done it closes.

#include <QPushButton>
#include <QRadioButton>
#include <functional>
#include <string>

#include "admin-gui/AddressEdit.hpp"
#include "admin-gui/AdminDialog.hpp"

namespace velmorin {

class BanRuleDialog : public AdminDialog {
  Q_OBJECT

 public:
  using Accept = std::function<AdminResult(const std::string& entry)>;

  // `accept` adds the entry (add) or replaces the selected one (edit): the owner's part.
  explicit BanRuleDialog(Accept accept, QWidget* parent = nullptr);

  // An address, or a range written from-to (edit mode's start).
  void SetEntry(const std::string& entry);
  void SetRange(bool range);
  AddressEdit& From() { return *ipFrom_; }
  AddressEdit& To() { return *ipTo_; }
  // The entry as the fields give it, its parts as plain numbers; empty while incomplete.
  std::string Entry() const;
  AdminResult Confirm();

 private:
  // Both ends complete, the first above the second.
  bool Backward() const;

  Accept accept_;
  QRadioButton* singleOption_;
  QRadioButton* rangeOption_;
  AddressEdit* ipFrom_;
  AddressEdit* ipTo_;
  QPushButton* okButton_;
};

}  // namespace velmorin
