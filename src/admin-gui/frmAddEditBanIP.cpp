#include "admin-gui/frmAddEditBanIP.hpp"

#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QVBoxLayout>

#include "config/modParsingIP.hpp"

namespace velmorin {

frmAddEditBanIP::frmAddEditBanIP(Accept accept, QWidget* parent)
    : AdminDialog("frmAddEditBanIP", parent), accept_(std::move(accept)) {
  optSingle_ = new QRadioButton("&Single address", this);
  optSingle_->setObjectName("optSingle");
  optRange_ = new QRadioButton("Address &range", this);
  optRange_->setObjectName("optRange");
  ipFrom_ = new ctlIP(this);
  ipFrom_->setObjectName("ipFrom");
  ipTo_ = new ctlIP(this);
  ipTo_->setObjectName("ipTo");
  auto* lblFrom = new QLabel("Address:", this);
  lblFrom->setObjectName("lblFrom");
  auto* lblTo = new QLabel("To:", this);
  lblTo->setObjectName("lblTo");
  auto* form = new QFormLayout;
  form->addRow(optSingle_);
  form->addRow(optRange_);
  form->addRow(lblFrom, ipFrom_);
  form->addRow(lblTo, ipTo_);
  auto* layout = new QVBoxLayout(this);
  layout->addLayout(form);
  cmdOK_ = AddConfirmRow(*layout, "cmdOK", "OK", [this] { Confirm(); });
  connect(optRange_, &QRadioButton::toggled, this, &frmAddEditBanIP::SetRange);
  setWindowTitle("Address ban");
  SetRange(false);
  resize(360, 160);
}

void frmAddEditBanIP::SetRange(bool range) {
  optRange_->setChecked(range);
  optSingle_->setChecked(!range);
  // A pattern is one address; a range is made of plain addresses.
  ipFrom_->SetWildcards(!range);
  ipTo_->setEnabled(range);
}

void frmAddEditBanIP::SetEntry(const std::string& entry) {
  const std::size_t dash = entry.find('-');
  SetRange(dash != std::string::npos);
  ipFrom_->SetAddress(entry.substr(0, dash));
  ipTo_->SetAddress(dash == std::string::npos ? std::string() : entry.substr(dash + 1));
}

std::string frmAddEditBanIP::Entry() const {
  const std::string from = NormalizeIP(ipFrom_->Address());
  if (!optRange_->isChecked()) return from;
  const std::string to = NormalizeIP(ipTo_->Address());
  // A range whose ends are in the wrong order would match no address at all.
  if (from.empty() || to.empty() || CompareIP(from, to) == 1) return {};
  return from + "-" + to;
}

bool frmAddEditBanIP::Backward() const {
  const std::string from = NormalizeIP(ipFrom_->Address());
  const std::string to = NormalizeIP(ipTo_->Address());
  return !from.empty() && !to.empty() && CompareIP(from, to) == 1;
}

AdminResult frmAddEditBanIP::Confirm() {
  const std::string entry = Entry();
  AdminResult result = AdminResult::Done();
  if (entry.empty()) {
    const char* notice = !optRange_->isChecked() ? "noticeIP" : Backward() ? "noticeIP_Backward" : "noticeIP_Range";
    result = AdminResult::Refused(notice, Text(notice));
  } else if (accept_) {
    result = accept_(entry);
  }
  return AcceptUnlessRefused(result);
}

}  // namespace velmorin
