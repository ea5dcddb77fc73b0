#include "admin-gui/RoomFields.hpp"

#include "admin-gui/FormFields.hpp"
#include "admin-gui/GuiText.hpp"
#include "chat/RoomTable.hpp"

namespace velmorin {

RoomFields RoomFields::Create(QWidget& owner, QFormLayout& form) {
  RoomFields fields{};
  fields.name = AddFormField(owner, form, "txtName", "lblName", "&Name:", kMaxChatroomNameLength);
  fields.description = AddFormField(owner, form, "txtDescription", "lblDescription", "&Description:",
                                    kMaxChatroomDescriptionLength);
  fields.password =
      AddPasswordField(owner, form, "txtPassword", "lblPassword", "&Password:", kMaxChatroomPasswordLength);
  return fields;
}

void RoomFields::Clean() {
  CleanFieldText(*name, kMaxChatroomNameLength);
  CleanFieldText(*description, kMaxChatroomDescriptionLength);
  CleanFieldText(*password, kMaxChatroomPasswordLength);
}

std::string RoomFields::Name() const { return ServerText(name->text()); }
std::string RoomFields::Description() const { return ServerText(description->text()); }
std::string RoomFields::Password() const { return ServerText(password->text()); }

}  // namespace velmorin
