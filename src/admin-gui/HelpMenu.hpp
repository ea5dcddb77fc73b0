#pragma once
// The Help menu: the user guide opened in the browser, and the about box with the version and
// the licences of what the program ships with.

#include <QWidget>
#include <string>

namespace velmorin {

// The user guide: docs/user-guide.md beside the program, else in the source tree it was built
// from; empty when neither exists.
std::string UserGuidePath();
void ShowUserGuide(QWidget& parent);
// The about box's text (plain, lines separated by "\n").
QString AboutText();
void ShowAbout(QWidget& parent);

}  // namespace velmorin
