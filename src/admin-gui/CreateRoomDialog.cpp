#include "admin-gui/CreateRoomDialog.hpp"

#include <QFormLayout>
#include <QHBoxLayout>
#include <QVBoxLayout>

#include "admin-gui/FormFields.hpp"
#include "admin-gui/RoomFields.hpp"
#include "admin/AdminService.hpp"
#include "config/TextFilters.hpp"

namespace velmorin {

CreateRoomDialog::CreateRoomDialog(AdminService& admin, QWidget* parent) : AdminDialog("frmCreateChat", parent), admin_(admin) {
  auto* form = new QFormLayout;
  const RoomFields fields = RoomFields::Create(*this, *form);
  nameEdit_ = fields.name;
  descriptionEdit_ = fields.description;
  passwordEdit_ = fields.password;
  permanentCheck_ = new QCheckBox("&Keep the chatroom in chatrooms.cfg", this);
  permanentCheck_->setObjectName("chkPermanent");
  form->addRow(permanentCheck_);
  auto* layout = new QVBoxLayout(this);
  layout->addLayout(form);
  createButton_ = AddConfirmRow(*layout, "cmdCreate", "C&reate", [this] { Create(); });
  setWindowTitle("Create chatroom");
  resize(380, 160);
}

AdminResult CreateRoomDialog::Create() {
  if (const auto refused = RefuseUncarried(*this)) return AcceptUnlessRefused(*refused);
  RoomFields fields{nameEdit_, descriptionEdit_, passwordEdit_};
  return ConfirmNamed(*createButton_, !TrimBlanks(fields.Name()).empty(), [this, &fields] {
    fields.Clean();
    std::vector<std::string> words{"room", "add", fields.Name()};
    if (!fields.Password().empty()) words.insert(words.end(), {"--password", fields.Password()});
    if (permanentCheck_->isChecked()) words.push_back("--store");
    return admin_.Audit().RecordWindow(
        AuditedWords(words),
        admin_.Rooms().Add(fields.Name(), fields.Description(), fields.Password(), permanentCheck_->isChecked()));
  });
}

}  // namespace velmorin
