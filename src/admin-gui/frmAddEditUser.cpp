#include "admin-gui/frmAddEditUser.hpp"

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

frmAddEditUser::frmAddEditUser(Mode mode, Accept accept, QWidget* parent)
    : AdminDialog("frmAddEditUser", parent), mode_(mode), accept_(std::move(accept)) {
  auto* form = new QFormLayout;
  txtName_ = AddFormField(*this, *form, "txtName", "lblName", "&Name:", kNameLength);
  txtPassword_ = AddPasswordField(*this, *form, "txtPassword", "lblPassword", "&Password:", kPasswordLength);
  txtComment_ = AddFormField(*this, *form, "txtComment", "lblComment", "&Comment:", kCommentLength);
  txtName_->setReadOnly(mode == Mode::Edit);
  connect(txtPassword_, &QLineEdit::textEdited, this, [this] { passwordTyped_ = true; });
  auto* layout = new QVBoxLayout(this);
  layout->addLayout(form);
  cmdOK_ = AddConfirmRow(*layout, "cmdOK", "OK", [this] { Confirm(); });
  setWindowTitle("User account");
  resize(380, 140);
}

void frmAddEditUser::SetEntry(const AccountFields& entry) {
  txtName_->setText(QtText(entry.name));
  txtPassword_->setText(QtText(entry.password));
  txtComment_->setText(QtText(entry.comment));
  passwordTyped_ = false;
}

AdminResult frmAddEditUser::Confirm() {
  if (const auto refused = RefuseUncarried(*this)) return AcceptUnlessRefused(*refused);
  const AccountFields entry{CleanFieldText(*txtName_, kNameLength), CleanFieldText(*txtPassword_, kPasswordLength),
                           CleanFieldText(*txtComment_, kCommentLength), passwordTyped_ || mode_ == Mode::Add};
  return ConfirmNamed(*cmdOK_, !entry.name.empty(),
                      [this, &entry] { return accept_ ? accept_(entry) : AdminResult::Done(); });
}

}  // namespace velmorin
