#include "admin-gui/AccountDialog.hpp"

#include <QFormLayout>
#include <QHBoxLayout>
#include <QVBoxLayout>

#include "admin-gui/FormFields.hpp"
#include "admin-gui/GuiText.hpp"

namespace velmorin {
namespace {

constexpr long kNameLength = 40;
constexpr long kPasswordLength = 40;
constexpr long kCommentLength = 256;

}  // namespace

AccountDialog::AccountDialog(Mode mode, Accept accept, QWidget* parent)
    : AdminDialog("frmAddEditUser", parent), mode_(mode), accept_(std::move(accept)) {
  auto* form = new QFormLayout;
  nameEdit_ = AddFormField(*this, *form, "txtName", "lblName", "&Name:", kNameLength);
  passwordEdit_ = AddPasswordField(*this, *form, "txtPassword", "lblPassword", "&Password:", kPasswordLength);
  commentEdit_ = AddFormField(*this, *form, "txtComment", "lblComment", "&Comment:", kCommentLength);
  nameEdit_->setReadOnly(mode == Mode::Edit);
  connect(passwordEdit_, &QLineEdit::textEdited, this, [this] { passwordTyped_ = true; });
  auto* layout = new QVBoxLayout(this);
  layout->addLayout(form);
  okButton_ = AddConfirmRow(*layout, "cmdOK", "OK", [this] { Confirm(); });
  setWindowTitle("User account");
  resize(380, 140);
}

void AccountDialog::SetEntry(const AccountFields& entry) {
  nameEdit_->setText(QtText(entry.name));
  passwordEdit_->setText(QtText(entry.password));
  commentEdit_->setText(QtText(entry.comment));
  passwordTyped_ = false;
}

AdminResult AccountDialog::Confirm() {
  if (const auto refused = RefuseUncarried(*this)) return AcceptUnlessRefused(*refused);
  const AccountFields entry{CleanFieldText(*nameEdit_, kNameLength), CleanFieldText(*passwordEdit_, kPasswordLength),
                           CleanFieldText(*commentEdit_, kCommentLength), passwordTyped_ || mode_ == Mode::Add};
  return ConfirmNamed(*okButton_, !entry.name.empty(),
                      [this, &entry] { return accept_ ? accept_(entry) : AdminResult::Done(); });
}

}  // namespace velmorin
