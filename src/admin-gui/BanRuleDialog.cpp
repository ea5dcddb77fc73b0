#include "admin-gui/BanRuleDialog.hpp"

#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QVBoxLayout>

#include "config/AddressPatterns.hpp"

namespace velmorin {

BanRuleDialog::BanRuleDialog(Accept accept, QWidget* parent)
    : AdminDialog("frmAddEditBanIP", parent), accept_(std::move(accept)) {
  singleOption_ = new QRadioButton("&Single address", this);
  singleOption_->setObjectName("optSingle");
  rangeOption_ = new QRadioButton("Address &range", this);
  rangeOption_->setObjectName("optRange");
  ipFrom_ = new AddressEdit(this);
  ipFrom_->setObjectName("ipFrom");
  ipTo_ = new AddressEdit(this);
  ipTo_->setObjectName("ipTo");
  auto* fromLabel = new QLabel("Address:", this);
  fromLabel->setObjectName("lblFrom");
  auto* toLabel = new QLabel("To:", this);
  toLabel->setObjectName("lblTo");
  auto* form = new QFormLayout;
  form->addRow(singleOption_);
  form->addRow(rangeOption_);
  form->addRow(fromLabel, ipFrom_);
  form->addRow(toLabel, ipTo_);
  auto* layout = new QVBoxLayout(this);
  layout->addLayout(form);
  okButton_ = AddConfirmRow(*layout, "cmdOK", "OK", [this] { Confirm(); });
  connect(rangeOption_, &QRadioButton::toggled, this, &BanRuleDialog::SetRange);
  setWindowTitle("Address ban");
  SetRange(false);
  resize(360, 160);
}

void BanRuleDialog::SetRange(bool range) {
  rangeOption_->setChecked(range);
  singleOption_->setChecked(!range);
  // A pattern is one address; a range is made of plain addresses.
  ipFrom_->SetWildcards(!range);
  ipTo_->setEnabled(range);
}

void BanRuleDialog::SetEntry(const std::string& entry) {
  const std::size_t dash = entry.find('-');
  SetRange(dash != std::string::npos);
  ipFrom_->SetAddress(entry.substr(0, dash));
  ipTo_->SetAddress(dash == std::string::npos ? std::string() : entry.substr(dash + 1));
}

std::string BanRuleDialog::Entry() const {
  const std::string from = NormalizeIP(ipFrom_->Address());
  if (!rangeOption_->isChecked()) return from;
  const std::string to = NormalizeIP(ipTo_->Address());
  // A range whose ends are in the wrong order would match no address at all.
  if (from.empty() || to.empty() || CompareIP(from, to) == 1) return {};
  return from + "-" + to;
}

bool BanRuleDialog::Backward() const {
  const std::string from = NormalizeIP(ipFrom_->Address());
  const std::string to = NormalizeIP(ipTo_->Address());
  return !from.empty() && !to.empty() && CompareIP(from, to) == 1;
}

AdminResult BanRuleDialog::Confirm() {
  const std::string entry = Entry();
  AdminResult result = AdminResult::Done();
  if (entry.empty()) {
    const char* notice = !rangeOption_->isChecked() ? "noticeIP" : Backward() ? "noticeIP_Backward" : "noticeIP_Range";
    result = AdminResult::Refused(notice, Text(notice));
  } else if (accept_) {
    result = accept_(entry);
  }
  return AcceptUnlessRefused(result);
}

}  // namespace velmorin
