#include "admin-gui/RoomDialog.hpp"

#include <QFormLayout>
#include <QHBoxLayout>
#include <QVBoxLayout>

#include "admin-gui/FormFields.hpp"
#include "admin-gui/GuiText.hpp"
#include "config/TextFilters.hpp"

namespace velmorin {

RoomDialog::RoomDialog(Mode mode, Accept accept, QWidget* parent)
    : AdminDialog("frmAddEditChatroom", parent), mode_(mode), accept_(std::move(accept)) {
  auto* form = new QFormLayout;
  fields_ = RoomFields::Create(*this, *form);
  fields_.name->setReadOnly(mode_ != Mode::AddSettings);
  connect(fields_.password, &QLineEdit::textEdited, this, [this] { passwordTyped_ = true; });
  auto* layout = new QVBoxLayout(this);
  layout->addLayout(form);
  okButton_ = AddConfirmRow(*layout, "cmdOK", "OK", [this] { Confirm(); });
  setWindowTitle("Chatroom");
  resize(380, 140);
}

void RoomDialog::SetEntry(const RoomEntry& entry) {
  fields_.name->setText(QtText(entry.name));
  fields_.description->setText(QtText(entry.description));
  fields_.password->setText(QtText(entry.password));
  passwordTyped_ = false;
}

AdminResult RoomDialog::Confirm() {
  if (const auto refused = RefuseUncarried(*this)) return AcceptUnlessRefused(*refused);
  fields_.Clean();
  const RoomEntry entry{fields_.Name(), fields_.Description(), fields_.Password(),
                        passwordTyped_ || mode_ == Mode::AddSettings};
  return ConfirmNamed(*okButton_, !TrimBlanks(entry.name).empty(),
                      [this, &entry] { return accept_ ? accept_(entry) : AdminResult::Done(); });
}

}  // namespace velmorin
