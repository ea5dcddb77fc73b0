#pragma once
// The labelled text fields of the administrator's editors, and their cleaning on confirm.
//
//   AddFormField(owner, form, "txtName", "lblName", "&Name:", 40)
//       a line edit limited to maxLength, named for the language file, with its label (whose
//       mnemonic focuses it) as one row of the form
//   AddPasswordField(owner, form, "txtPassword", "lblPassword", "&Password:", 40)
//       the same, showing what is typed as dots
//   CleanFieldText(field, 40)
//       the field's text cleaned as the server cleans what it stores; the field shows the
//       cleaned text, so what the administrator sees is what is stored
//   RefuseUncarried(dialog)
//       before anything is cleaned or stored: "invalidValue" naming the first text field (by
//       its label) that holds characters Windows-1252 cannot carry, and those characters;
//       nothing when every field can be stored as typed

#include <QFormLayout>
#include <QLineEdit>
#include <optional>
#include <string>

#include "admin/AdminResult.hpp"

namespace velmorin {

QLineEdit* AddFormField(QWidget& owner, QFormLayout& form, const char* name, const char* label, const char* caption,
                        long maxLength);
QLineEdit* AddPasswordField(QWidget& owner, QFormLayout& form, const char* name, const char* label,
                            const char* caption, long maxLength);
std::string CleanFieldText(QLineEdit& field, long maxLength);
std::optional<AdminResult> RefuseUncarried(const QWidget& dialog);

}  // namespace velmorin
