#include "admin-gui/frmCreateChat.hpp"

#include <QFormLayout>
#include <QHBoxLayout>
#include <QVBoxLayout>

#include "admin-gui/FormFields.hpp"
#include "admin-gui/RoomFields.hpp"
#include "admin/AdminService.hpp"
#include "platform/modFilter.hpp"

namespace velmorin {

frmCreateChat::frmCreateChat(AdminService& admin, QWidget* parent) : AdminDialog("frmCreateChat", parent), admin_(admin) {
  auto* form = new QFormLayout;
  const RoomFields fields = RoomFields::Create(*this, *form);
  txtName_ = fields.name;
  txtDescription_ = fields.description;
  txtPassword_ = fields.password;
  chkPermanent_ = new QCheckBox("&Keep the chatroom in chatrooms.cfg", this);
  chkPermanent_->setObjectName("chkPermanent");
  form->addRow(chkPermanent_);
  auto* layout = new QVBoxLayout(this);
  layout->addLayout(form);
  cmdCreate_ = AddConfirmRow(*layout, "cmdCreate", "C&reate", [this] { Create(); });
  setWindowTitle("Create chatroom");
  resize(380, 160);
}

AdminResult frmCreateChat::Create() {
  if (const auto refused = RefuseUncarried(*this)) return AcceptUnlessRefused(*refused);
  RoomFields fields{txtName_, txtDescription_, txtPassword_};
  return ConfirmNamed(*cmdCreate_, !TrimBlanks(fields.Name()).empty(), [this, &fields] {
    fields.Clean();
    std::vector<std::string> words{"room", "add", fields.Name()};
    if (!fields.Password().empty()) words.insert(words.end(), {"--password", fields.Password()});
    if (chkPermanent_->isChecked()) words.push_back("--store");
    return admin_.Audit().RecordWindow(
        AuditedWords(words),
        admin_.Rooms().Add(fields.Name(), fields.Description(), fields.Password(), chkPermanent_->isChecked()));
  });
}

}  // namespace velmorin
