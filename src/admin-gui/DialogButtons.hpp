#pragma once
// The foot row of every dialog of the window, in one style: a QDialogButtonBox (the desktop's
// order and spacing of OK, Cancel, Close, ...) holding buttons of the window's own captions and
// object names, so that the language files reach them by name (Qt's stock buttons would keep
// Qt's own texts).
//
//   QDialogButtonBox* box = DialogButtons(dialog);
//   QPushButton* ok = AddDialogButton(*box, "cmdOK", "OK", QDialogButtonBox::AcceptRole);
//
// The first button of the accept role is the dialog's default button. The caller connects each
// button's clicked signal to what it does.

#include <QDialogButtonBox>
#include <QPushButton>

namespace velmorin {

QDialogButtonBox* DialogButtons(QWidget& dialog);
QPushButton* AddDialogButton(QDialogButtonBox& box, const char* objectName, const char* caption,
                             QDialogButtonBox::ButtonRole role);

}  // namespace velmorin
