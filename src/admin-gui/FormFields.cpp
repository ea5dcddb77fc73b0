#include "admin-gui/FormFields.hpp"

#include <QLabel>
#include <QPlainTextEdit>

#include "admin-gui/GuiText.hpp"
#include "admin/FieldCheck.hpp"
#include "config/TextFilters.hpp"

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

QLineEdit* AddPasswordField(QWidget& owner, QFormLayout& form, const char* name, const char* label,
                            const char* caption, long maxLength) {
  QLineEdit* field = AddFormField(owner, form, name, label, caption, maxLength);
  field->setEchoMode(QLineEdit::Password);
  return field;
}

namespace {

// What the administrator calls the field: its label without the mnemonic and the colon, or its
// object name when it has none.
std::string FieldName(const QWidget& dialog, const QWidget& field) {
  for (const QLabel* label : dialog.findChildren<QLabel*>()) {
    if (label->buddy() != &field) continue;
    QString text = label->text().remove('&').trimmed();
    if (text.endsWith(':')) text.chop(1);
    return ServerText(text);
  }
  return field.objectName().toStdString();
}

}  // namespace

std::optional<AdminResult> RefuseUncarried(const QWidget& dialog) {
  for (const QLineEdit* field : dialog.findChildren<QLineEdit*>()) {
    if (auto refused = CheckCarried("field " + FieldName(dialog, *field), Uncarried(field->text()))) return refused;
  }
  for (const QPlainTextEdit* field : dialog.findChildren<QPlainTextEdit*>()) {
    if (auto refused = CheckCarried("field " + FieldName(dialog, *field), Uncarried(field->toPlainText()))) {
      return refused;
    }
  }
  return std::nullopt;
}

std::string CleanFieldText(QLineEdit& field, long maxLength) {
  const std::string cleaned = CleanText(ServerText(field.text()), maxLength);
  field.setText(QtText(cleaned));
  return cleaned;
}

}  // namespace velmorin
