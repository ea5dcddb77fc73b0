#include "admin-gui/FormFields.hpp"

#include <QLabel>

#include "admin-gui/GuiText.hpp"
#include "platform/modFilter.hpp"

namespace velmorin {

QLineEdit* AddFormField(QWidget& owner, QFormLayout& form, const char* name, const char* label, const char* caption,
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

std::string CleanFieldText(QLineEdit& field, long maxLength) {
  const std::string cleaned = CleanText(ServerText(field.text()), maxLength);
  field.setText(QtText(cleaned));
  return cleaned;
}

}  // namespace velmorin
