#include "admin-gui/DialogButtons.hpp"

namespace velmorin {

QDialogButtonBox* DialogButtons(QWidget& dialog) {
  auto* box = new QDialogButtonBox(&dialog);
  box->setObjectName("dialogButtons");
  return box;
}

QPushButton* AddDialogButton(QDialogButtonBox& box, const char* objectName, const char* caption,
                             QDialogButtonBox::ButtonRole role) {
  QPushButton* button = box.addButton(QString::fromLatin1(caption), role);
  button->setObjectName(objectName);
  if (role != QDialogButtonBox::AcceptRole) return button;
  for (QAbstractButton* other : box.buttons()) {
    const auto* push = qobject_cast<QPushButton*>(other);
    if (push != nullptr && push != button && push->isDefault()) return button;
  }
  button->setDefault(true);
  return button;
}

}  // namespace velmorin
