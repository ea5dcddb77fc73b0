#include "admin-gui/RoomFields.hpp"

#include <QLabel>

#include "admin-gui/GuiText.hpp"
#include "chat/clsChatrooms.hpp"
#include "platform/modFilter.hpp"

namespace velmorin {
namespace {

QLineEdit* Field(QWidget& owner, QFormLayout& form, const char* name, const char* label, const char* caption,
                 long maxLength) {
  auto* field = new QLineEdit(&owner);
  field->setObjectName(name);
  field->setMaxLength(static_cast<int>(maxLength));
  auto* text = new QLabel(caption, &owner);
  text->setObjectName(label);
  text->setBuddy(field);
  form.addRow(text, field);
  return field;
}

void CleanField(QLineEdit& field, long maxLength) {
  field.setText(QtText(CleanText(ServerText(field.text()), maxLength)));
}

}  // namespace

RoomFields RoomFields::Create(QWidget& owner, QFormLayout& form) {
  RoomFields fields{};
  fields.name = Field(owner, form, "txtName", "lblName", "&Name:", kMaxChatroomNameLength);
  fields.description = Field(owner, form, "txtDescription", "lblDescription", "&Description:",
                             kMaxChatroomDescriptionLength);
  fields.password = Field(owner, form, "txtPassword", "lblPassword", "&Password:", kMaxChatroomPasswordLength);
  return fields;
}

void RoomFields::Clean() {
  CleanField(*name, kMaxChatroomNameLength);
  CleanField(*description, kMaxChatroomDescriptionLength);
  CleanField(*password, kMaxChatroomPasswordLength);
}

std::string RoomFields::Name() const { return ServerText(name->text()); }
std::string RoomFields::Description() const { return ServerText(description->text()); }
std::string RoomFields::Password() const { return ServerText(password->text()); }

}  // namespace velmorin
