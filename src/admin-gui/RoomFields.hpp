#pragma once
// The fields of the room dialogs (name, description, password) in a form, each with the length
// the chatroom store keeps, and their cleaning before use.

#include <QFormLayout>
#include <QLineEdit>
#include <string>

namespace velmorin {

struct RoomFields {
  QLineEdit* name;
  QLineEdit* description;
  QLineEdit* password;

  // Creates the three fields (nameEdit, descriptionEdit, passwordEdit, which shows dots) in `form`.
  static RoomFields Create(QWidget& owner, QFormLayout& form);
  // Cleans every field as the store does (CleanText at 40/256/40) and shows the cleaned text.
  void Clean();
  std::string Name() const;
  std::string Description() const;
  std::string Password() const;
};

}  // namespace velmorin
