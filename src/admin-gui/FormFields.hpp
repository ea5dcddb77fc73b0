#pragma once
// The labelled text fields of the administrator's editors, and their cleaning on confirm.
//
//   AddFormField(owner, form, "txtName", "lblName", "&Name:", 40)
//       a line edit limited to maxLength, named for the language file, with its label (whose
//       mnemonic focuses it) as one row of the form
//   CleanFieldText(field, 40)
//       the field's text cleaned as the server cleans what it stores; the field shows the
//       cleaned text, so what the administrator sees is what is stored

#include <QFormLayout>
#include <QLineEdit>
#include <string>

namespace velmorin {

QLineEdit* AddFormField(QWidget& owner, QFormLayout& form, const char* name, const char* label, const char* caption,
                        long maxLength);
std::string CleanFieldText(QLineEdit& field, long maxLength);

}  // namespace velmorin
